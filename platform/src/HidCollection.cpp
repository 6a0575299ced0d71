#include "HidFile.h"
#include "NodeFile.h"

#include "DeviceTree.h"

#include <hidclass.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace platform::sim {

using detail::HidFile;

namespace {

std::uint16_t longest(const std::vector<HidReportLayout>& reports)
{
    std::uint16_t n = 0;
    for (const auto& r : reports)
        n = std::max(n, r.length);
    return n;
}

std::string hex4(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value & 0xFFFF);
    return text;
}

// Collection numbers for generated instance ids, per process.
std::atomic<unsigned> g_serial{0};

}  // namespace

HidCollectionLayout HidCollectionLayout::simple(std::uint16_t vendorId, std::uint16_t productId, std::uint16_t usagePage,
                                            std::uint16_t usage, std::uint8_t reportId, std::uint16_t length)
{
    HidCollectionLayout layout;
    layout.vendorId = vendorId;
    layout.productId = productId;
    layout.usagePage = usagePage;
    layout.usage = usage;
    layout.inputReports.push_back({reportId, length, false});
    layout.outputReports.push_back({reportId, length, false});
    return layout;
}

HidCollection::HidCollection(HidCollectionLayout layout)
    : m_layout(std::move(layout)), m_state(std::make_unique<State>())
{
    m_inputLength = longest(m_layout.inputReports);
    m_outputLength = longest(m_layout.outputReports);
    m_featureLength = longest(m_layout.featureReports);
}

HidCollection::~HidCollection() = default;

std::shared_ptr<HidCollection> create_hid_collection(const HidCollectionLayout& given)
{
    HidCollectionLayout layout = given;
    if (layout.inputReports.empty() && layout.outputReports.empty() && layout.featureReports.empty())
        throw std::invalid_argument("HID collection without reports");
    for (const auto* list : {&layout.inputReports, &layout.outputReports, &layout.featureReports})
        for (const auto& r : *list)
            if (r.length < 1)
                throw std::invalid_argument("HID report of length 0");
    if (layout.inputQueueLength == 0)
        layout.inputQueueLength = 1;
    auto& tree = detail::DeviceTree::instance();
    if (layout.instanceId.empty()) {
        const unsigned serial = ++g_serial;
        std::string id = "HID\\VID_" + hex4(layout.vendorId) + "&PID_" + hex4(layout.productId);
        // A composite parent names its interface ("&MI_02") and the collection carries it on.
        const std::string parentId = layout.parent ? instance_id_of(layout.parent) : std::string();
        const auto mi = detail::lower(parentId).find("&mi_");
        if (mi != std::string::npos && mi + 6 <= parentId.size())
            id += parentId.substr(mi, 6);
        char tail[40];
        std::snprintf(tail, sizeof tail, "&COL%02u\\7&%08X&0&%04u", (serial % 99) + 1, 0x2A6C0000u + serial, serial % 10000);
        layout.instanceId = id + tail;
    }
    if (layout.path.empty()) {
        std::string path = "\\\\?\\" + layout.instanceId;
        std::replace(path.begin() + 4, path.end(), '\\', '#');
        layout.path = path + "#" + detail::guid_text(GUID_DEVINTERFACE_HID);
    }
    std::shared_ptr<HidCollection> collection(new HidCollection(layout));
    collection->m_node = tree.add(DevNodeLayout{layout.instanceId, layout.parent, layout.enumeratorName});
    try {
        tree.add_interface(collection->m_node, GUID_DEVINTERFACE_HID, detail::utf8_to_utf16(layout.path));
    } catch (...) {
        tree.remove(collection->m_node);
        throw;
    }
    tree.attachHid(collection->m_node, collection);
    return collection;
}

std::shared_ptr<HidCollection> find_hid_collection(DevInst node)
{
    return detail::DeviceTree::instance().hidOf(node);
}

std::shared_ptr<HidCollection> find_hid_collection(const std::string& path)
{
    auto& tree = detail::DeviceTree::instance();
    auto itf = tree.findInterface(detail::utf8_to_utf16(path));
    return itf ? tree.hidOf(itf->node) : nullptr;
}

void HidCollection::set_model(std::shared_ptr<IHidDeviceModel> model)
{
    std::shared_ptr<IHidDeviceModel> old;  // released outside the lock
    std::lock_guard<std::mutex> lock(m_state->mutex);
    old = std::move(m_state->model);
    m_state->model = std::move(model);
}

std::shared_ptr<IHidDeviceModel> HidCollection::model() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->model;
}

void HidCollection::plug()
{
    detail::DeviceTree::instance().plug(m_node);
}

void HidCollection::unplug(Removal how)
{
    detail::DeviceTree::instance().unplug(m_node, how);
}

bool HidCollection::is_present() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->present;
}

bool HidCollection::send_input_report(const Bytes& report)
{
    if (report.empty() || report.size() > m_inputLength)
        return false;
    Bytes full(report);
    full.resize(m_inputLength, 0);
    std::lock_guard<std::mutex> lock(m_state->mutex);
    if (!m_state->present)
        return false;
    for (HidFile* file : m_state->files)
        file->deliver_locked(full);
    m_state->changed.notify_all();
    return true;
}

void HidCollection::set_stalled(bool stalled)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->stalled = stalled;
}

void HidCollection::fail_writes(std::uint32_t error, std::size_t count)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    for (std::size_t i = 0; i < count; ++i)
        m_state->write_failures.push_back(error);
}

void HidCollection::hold_writes(bool hold)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->hold = hold;
}

std::size_t HidCollection::release_held_writes()
{
    std::size_t released = 0;
    for (;;) {
        Held h;
        std::shared_ptr<IHidDeviceModel> model;
        {
            std::lock_guard<std::mutex> lock(m_state->mutex);
            if (m_state->held.empty())
                break;
            h = std::move(m_state->held.front());
            m_state->held.erase(m_state->held.begin());
            model = m_state->model;
        }
        if (model)
            model->onOutputReport(*this, h.report);
        std::lock_guard<std::mutex> lock(m_state->mutex);
        m_state->written.push_back(h.report);
        // A handle closed meanwhile owns no operation record any more.
        if (!h.file->m_closed)
            detail::complete_overlapped(h.overlapped, h.file->m_gone ? ERROR_DEVICE_NOT_CONNECTED : 0,
                                        h.file->m_gone ? 0 : static_cast<DWORD>(h.report.size()));
        m_state->changed.notify_all();
        ++released;
    }
    return released;
}

void HidCollection::inject_read_error(std::uint32_t error, unsigned times)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    for (HidFile* file : m_state->files) {
        unsigned left = times;
        if (left && !file->m_reads.empty()) {
            detail::complete_overlapped(file->m_reads.front().overlapped, error, 0);
            file->m_reads.pop_front();
            --left;
        }
        // Ahead of any report queued meanwhile: the failures come one after the other.
        if (left) {
            file->m_read_error = error;
            file->m_read_errors_left = left;
        }
    }
    m_state->changed.notify_all();
}

std::size_t HidCollection::write_count() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->written.size();
}

std::vector<Bytes> HidCollection::written_reports() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->written;
}

std::size_t HidCollection::open_handle_count() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->files.size();
}

std::size_t HidCollection::pending_read_count() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    std::size_t n = 0;
    for (const HidFile* file : m_state->files)
        n += file->m_reads.size();
    return n;
}

std::size_t HidCollection::held_write_count() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->held.size();
}

bool HidCollection::wait_for_writes(std::size_t count, std::chrono::milliseconds deadline) const
{
    std::unique_lock<std::mutex> lock(m_state->mutex);
    return m_state->changed.wait_for(lock, deadline, [&] { return m_state->written.size() >= count; });
}

bool HidCollection::wait_for_open_handles(std::size_t count, std::chrono::milliseconds deadline) const
{
    std::unique_lock<std::mutex> lock(m_state->mutex);
    return m_state->changed.wait_for(lock, deadline, [&] { return m_state->files.size() == count; });
}

bool HidCollection::wait_for_pending_reads(std::size_t count, std::chrono::milliseconds deadline) const
{
    std::unique_lock<std::mutex> lock(m_state->mutex);
    return m_state->changed.wait_for(lock, deadline, [&] {
        std::size_t n = 0;
        for (const HidFile* file : m_state->files)
            n += file->m_reads.size();
        return n >= count;
    });
}

bool HidCollection::wait_for_held_writes(std::size_t count, std::chrono::milliseconds deadline) const
{
    std::unique_lock<std::mutex> lock(m_state->mutex);
    return m_state->changed.wait_for(lock, deadline, [&] { return m_state->held.size() >= count; });
}

void HidCollectionAccess::setPresent(HidCollection& collection, bool present)
{
    auto& state = *collection.m_state;
    std::lock_guard<std::mutex> lock(state.mutex);
    state.present = present;
    if (present)
        return;
    for (HidFile* file : state.files)
        file->fail_all_locked(ERROR_DEVICE_NOT_CONNECTED);
    // Writes held by the device are lost with it.
    for (auto& h : state.held)
        detail::complete_overlapped(h.overlapped, ERROR_DEVICE_NOT_CONNECTED, 0);
    state.held.clear();
    state.changed.notify_all();
}

void HidCollectionAccess::notifyModel(HidCollection& collection, bool present)
{
    if (auto model = collection.model())
        model->onPresenceChanged(collection, present);
}

void EchoModel::onOutputReport(HidCollection& collection, const std::vector<std::uint8_t>& report)
{
    Bytes echo(report);
    echo.resize(collection.input_length(), 0);
    if (!echo.empty())
        collection.send_input_report(echo);
}

}  // namespace platform::sim

// ---------------------------------------------------------------------------------------------
// Handles

namespace platform::detail {

using sim::Bytes;
using sim::HidCollection;
using sim::HidCollectionAccess;

HidFile::HidFile(std::shared_ptr<HidCollection> collection, DWORD access, DWORD shareMode, bool overlapped)
    : m_collection(std::move(collection)), m_access(access), m_share(shareMode), m_overlapped(overlapped)
{
}

namespace {

bool can_read(DWORD access)
{
    return (access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0;
}

bool can_write(DWORD access)
{
    return (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA)) != 0;
}

}  // namespace

HANDLE HidFile::open(LPCWSTR path, DWORD access, DWORD shareMode, DWORD creation, DWORD flags)
{
    auto& tree = DeviceTree::instance();
    const auto itf = tree.findInterface(wide_string(path));
    if (!itf) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto collection = tree.hidOf(itf->node);
    if (!collection)
        return open_node_file(itf->node, itf->path, access, flags);
    if (creation != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto file = std::make_shared<HidFile>(collection, access, shareMode, (flags & FILE_FLAG_OVERLAPPED) != 0);
    auto& state = HidCollectionAccess::state(*collection);
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (!state.present) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        for (const HidFile* other : state.files) {
            const bool clash = (can_read(access) && !(other->m_share & FILE_SHARE_READ)) ||
                               (can_write(access) && !(other->m_share & FILE_SHARE_WRITE)) ||
                               (can_read(other->m_access) && !(shareMode & FILE_SHARE_READ)) ||
                               (can_write(other->m_access) && !(shareMode & FILE_SHARE_WRITE));
            if (clash) {
                SetLastError(ERROR_SHARING_VIOLATION);
                return INVALID_HANDLE_VALUE;
            }
        }
        state.files.push_back(file.get());
        state.changed.notify_all();
    }
    return insert_handle(file);
}

bool HidFile::is_gone() const
{
    auto& state = HidCollectionAccess::state(*m_collection);
    std::lock_guard<std::mutex> lock(state.mutex);
    return m_gone || !state.present;
}

void HidFile::deliver_locked(const Bytes& report)
{
    if (m_gone || m_closed)
        return;
    if (!m_reads.empty()) {
        PendingRead r = m_reads.front();
        m_reads.pop_front();
        std::memcpy(r.buffer, report.data(), report.size());
        complete_overlapped(r.overlapped, 0, static_cast<DWORD>(report.size()));
        return;
    }
    // The class driver keeps a ring of reports per handle; the oldest goes first.
    if (m_queue.size() >= m_collection->layout().inputQueueLength)
        m_queue.pop_front();
    m_queue.push_back(report);
}

void HidFile::fail_all_locked(DWORD error)
{
    if (error == ERROR_DEVICE_NOT_CONNECTED) {
        m_gone = true;
        m_queue.clear();
    }
    for (const auto& r : m_reads)
        complete_overlapped(r.overlapped, error, 0);
    m_reads.clear();
}

DWORD HidFile::refusal_locked(bool permitted, LPCVOID buffer, bool sizeFits, LPOVERLAPPED overlapped,
                              DWORD length) const
{
    // A call that looked the handle up just before another thread closed it must not leave a
    // pending entry behind: nothing would ever complete it.
    if (m_closed)
        return ERROR_INVALID_HANDLE;
    if (m_gone || !HidCollectionAccess::state(*m_collection).present)
        return ERROR_DEVICE_NOT_CONNECTED;
    if (!permitted)
        return ERROR_ACCESS_DENIED;
    if (m_overlapped && !overlapped)
        return ERROR_INVALID_PARAMETER;
    if (length == 0)
        return ERROR_INVALID_FUNCTION;  // the collection has no report of that direction
    if (!buffer || !sizeFits)
        return ERROR_INVALID_USER_BUFFER;
    return 0;
}

BOOL HidFile::read(LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped)
{
    if (done)
        *done = 0;
    const DWORD length = m_collection->input_length();
    auto& state = HidCollectionAccess::state(*m_collection);
    std::unique_lock<std::mutex> lock(state.mutex);
    DWORD error = refusal_locked(can_read(m_access), buffer, size >= length, overlapped, length);
    if (!error)
        error = take_read_error_locked();
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    if (!m_queue.empty()) {
        std::memcpy(bytes, m_queue.front().data(), length);
        m_queue.pop_front();
        if (done)
            *done = length;
        if (overlapped)
            complete_overlapped(overlapped, 0, length);
        return TRUE;
    }
    if (!m_overlapped) {
        // A synchronous handle blocks until a report comes or the handle ends.
        state.changed.wait(lock, [&] { return !m_queue.empty() || m_gone || m_closed || m_read_error; });
        if (m_queue.empty()) {
            const DWORD injected = take_read_error_locked();
            DWORD e = m_gone ? ERROR_DEVICE_NOT_CONNECTED : m_closed ? ERROR_OPERATION_ABORTED : injected;
            SetLastError(e);
            return FALSE;
        }
        std::memcpy(bytes, m_queue.front().data(), length);
        m_queue.pop_front();
        if (done)
            *done = length;
        return TRUE;
    }
    if (auto event = lookup_handle_as<Event>(overlapped->hEvent))
        event->reset();
    overlapped_set_pending(overlapped);
    m_reads.push_back(PendingRead{overlapped, bytes, GetCurrentThreadId()});
    state.changed.notify_all();
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

BOOL HidFile::write(LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped)
{
    if (done)
        *done = 0;
    auto& state = HidCollectionAccess::state(*m_collection);
    const DWORD length = m_collection->output_length();
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    std::shared_ptr<sim::IHidDeviceModel> model;
    Bytes report;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        DWORD error = refusal_locked(can_write(m_access), buffer, size == length, overlapped, length);
        if (!error) {
            const auto& outputs = m_collection->layout().outputReports;
            const bool known = std::any_of(outputs.begin(), outputs.end(),
                                           [&](const sim::HidReportLayout& r) { return r.id == bytes[0]; });
            if (!known)
                error = ERROR_INVALID_PARAMETER;
            else if (state.stalled)
                error = ERROR_GEN_FAILURE;
            else if (!state.write_failures.empty()) {
                error = state.write_failures.front();
                state.write_failures.pop_front();
            }
        }
        if (error) {
            SetLastError(error);
            return FALSE;
        }
        report.assign(bytes, bytes + size);
        if (state.hold && overlapped) {
            if (auto event = lookup_handle_as<Event>(overlapped->hEvent))
                event->reset();
            overlapped_set_pending(overlapped);
            state.held.push_back(HidCollection::Held{
                std::static_pointer_cast<HidFile>(shared_from_this()), overlapped, report, GetCurrentThreadId()});
            state.changed.notify_all();
            SetLastError(ERROR_IO_PENDING);
            return FALSE;
        }
        model = state.model;
    }
    // The model runs without our lock: it may answer at once through send_input_report.
    if (model)
        model->onOutputReport(*m_collection, report);
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.written.push_back(std::move(report));
        state.changed.notify_all();
    }
    if (done)
        *done = size;
    if (overlapped)
        complete_overlapped(overlapped, 0, size);
    return TRUE;
}

BOOL HidFile::cancel_io(LPOVERLAPPED overlapped)
{
    auto& state = HidCollectionAccess::state(*m_collection);
    std::lock_guard<std::mutex> lock(state.mutex);
    bool found = false;
    for (auto it = m_reads.begin(); it != m_reads.end();) {
        if (!overlapped || it->overlapped == overlapped) {
            complete_overlapped(it->overlapped, ERROR_OPERATION_ABORTED, 0);
            it = m_reads.erase(it);
            found = true;
        } else {
            ++it;
        }
    }
    for (auto it = state.held.begin(); it != state.held.end();) {
        if (it->file.get() == this && (!overlapped || it->overlapped == overlapped)) {
            complete_overlapped(it->overlapped, ERROR_OPERATION_ABORTED, 0);
            it = state.held.erase(it);
            found = true;
        } else {
            ++it;
        }
    }
    state.changed.notify_all();
    if (!found) {
        SetLastError(ERROR_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

void HidFile::on_close()
{
    auto& state = HidCollectionAccess::state(*m_collection);
    std::vector<HidCollection::Held> dropped;  // released outside the lock
    std::lock_guard<std::mutex> lock(state.mutex);
    m_closed = true;
    fail_all_locked(ERROR_OPERATION_ABORTED);
    for (auto it = state.held.begin(); it != state.held.end();) {
        if (it->file.get() == this) {
            complete_overlapped(it->overlapped, ERROR_OPERATION_ABORTED, 0);
            dropped.push_back(std::move(*it));
            it = state.held.erase(it);
        } else {
            ++it;
        }
    }
    state.files.erase(std::remove(state.files.begin(), state.files.end(), this), state.files.end());
    state.changed.notify_all();
}

}  // namespace platform::detail
