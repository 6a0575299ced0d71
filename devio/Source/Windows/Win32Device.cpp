#include "Windows/Win32Device.h"

#include "Windows/Win32Bus.h"
#include "Windows/Win32System.h"
#include "core/DataRequest.h"
#include "core/ErrorRecord.h"
#include "core/Timing.h"

#include <hidsdi.h>
#include <setupapi.h>

#include <cstdio>
#include <cstring>
#include <system_error>

namespace devio {

namespace {

void log_stop_failure(const char* kind, int line, const std::exception* e, const std::system_error* se)
{
    char text[512];
    if (se)
        std::snprintf(text, sizeof(text), "%s%s(%d) code=%s:%d what=%s\n", kind, __FILE__, line,
                      se->code().category().name(), se->code().value(), se->what());
    else if (e)
        std::snprintf(text, sizeof(text), "%s%s(%d)  what=%s\n", kind, __FILE__, line, e->what());
    else
        std::snprintf(text, sizeof(text), "%s%s(%d) \n", kind, __FILE__, line);
    ::OutputDebugStringA(text);
}

} // namespace

Win32Device::Win32Device(std::shared_ptr<Win32Bus> bus, std::shared_ptr<IWin32System> system, std::string path,
                         std::uint32_t parentKind)
    : m_bus(bus), m_system(std::move(system)), m_path(std::move(path)), m_parent_kind(parentKind)
{
    if (bus)
        set_run_loop(bus->get_run_loop());
}

Win32Device::~Win32Device()
{
    m_destroying = true;
    close();
}

std::shared_ptr<IHardwareBus> Win32Device::getBus()
{
    return m_bus.lock();
}

std::string Win32Device::getName()
{
    std::lock_guard<std::recursive_mutex> lock(m_state_mutex);
    return m_name;
}

std::shared_ptr<IDataRequest<std::string>> Win32Device::nameRequest()
{
    return make_data_success(getName());
}

bool Win32Device::stillPresent()
{
    auto bus = m_bus.lock();
    return bus ? bus->isDevicePresent(m_path) : true;
}

std::string Win32Device::getParentId()
{
    if (getProtocolKind() == getUsage())
        return m_path;
    std::lock_guard<std::recursive_mutex> lock(m_state_mutex);
    // Without a parent the collection stands alone: grouping by an empty id would merge strangers.
    return m_parent_id.empty() ? m_path : m_parent_id;
}

std::uint32_t Win32Device::getProtocolKind()
{
    if (m_product_id == 0x5800)
        return 2;
    if (m_usage_page == 0xFF43)
        return m_usage >> 8;
    if (m_usage_page != 0xFF00)
        return m_usage & 0xFF;
    if (m_usage == 1 || m_usage == 2)
        return 3;
    return m_usage & 0xFF;
}

void Win32Device::ids_from_path(const std::string& path, std::uint16_t& vendorId, std::uint16_t& productId)
{
    static const char kMarker[] = "}_dev_vid&02";
    const std::size_t pos = path.find(kMarker);
    if (pos == std::string::npos || path.size() - pos <= 25)
        return;
    try {
        const long vid = std::stol(path.substr(pos + 12, 4), nullptr, 16);
        const long pid = std::stol(path.substr(pos + 21, 4), nullptr, 16);
        vendorId = static_cast<std::uint16_t>(vid);
        productId = static_cast<std::uint16_t>(pid);
    } catch (const std::exception&) {
        // Not a number: the ids stay as they were, and the vendor check refuses the device.
    }
}

bool Win32Device::on_subscribe(IHardwareDevice::Read*)
{
    std::lock_guard<std::recursive_mutex> lock(m_state_mutex);
    m_read_subscriber = true;
    if (m_opened)
        start_reader();
    return true;
}

bool Win32Device::open()
{
    std::lock_guard<std::recursive_mutex> lock(m_state_mutex);
    if (m_gone) {
        set_last_error(28);
        return false;
    }
    if (m_destroying)
        return false;
    auto bus = m_bus.lock();
    if (m_opened) {
        if (m_notification && bus && bus->checkDeviceNotificationHandle(m_notification, m_file))
            return true;
        close_locked();
    }
    if (m_path.empty()) {
        set_last_error(32);
        return false;
    }
    if (bus)
        m_plug_generation = bus->plug_generation(m_path);
    const std::vector<WCHAR> wide = utf8_to_wide(m_path);
    m_file = m_system->CreateFileW(wide.data(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (m_file == INVALID_HANDLE_VALUE) {
        set_last_error(33, ::GetLastError(), "CreateFile failed");
        return false;
    }
    m_opened = true;
    auto fail = [this]() {
        const ErrorRecord record = last_error_record();
        close_locked();
        set_last_error(record);
        return false;
    };
    if (!m_inspected) {
        try {
            if (!inspect())
                return fail();
        } catch (const DevioException& e) {
            e.to_last_error();
            return fail();
        }
    }
    m_write_event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    m_reader_events = {::CreateEventW(nullptr, FALSE, FALSE, nullptr), ::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    m_read_operation = OVERLAPPED{};
    m_read_operation.hEvent = m_reader_events[1];
    if (!bus) {
        set_last_error(72);
        return fail();
    }
    HDEVNOTIFY notification = bus->registerDeviceNotificationAndTakeOwnershipOfHandle(m_file);
    if (!notification)
        return fail();
    m_notification = notification;
    if (m_read_subscriber)
        start_reader();
    set_last_error(0);
    return true;
}

bool Win32Device::inspect()
{
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    if (!m_system->HidD_GetAttributes(m_file, &attributes)) {
        set_last_error(34, ::GetLastError());
        return false;
    }
    m_vendor_id = attributes.VendorID;
    m_product_id = attributes.ProductID;
    if (m_vendor_id == 0 && m_product_id == 0)
        ids_from_path(m_path, m_vendor_id, m_product_id);
    if (m_vendor_id != kVendorId) {
        set_last_error(70, m_product_id);
        return false;
    }
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!m_system->HidD_GetPreparsedData(m_file, &preparsed) || !preparsed) {
        set_last_error(35, ::GetLastError());
        return false;
    }
    struct Free {
        IWin32System* system;
        PHIDP_PREPARSED_DATA data;
        ~Free() { system->HidD_FreePreparsedData(data); }
    } freeData{m_system.get(), preparsed};

    HIDP_CAPS caps{};
    if (m_system->HidP_GetCaps(preparsed, &caps) < 0) {
        set_last_error(36, ::GetLastError());
        return false;
    }
    m_report_length = caps.OutputReportByteLength;
    m_usage = caps.Usage;
    m_usage_page = caps.UsagePage;
    if (m_usage_page == 0xFF00) {
        if (m_usage != 1 && m_usage != 2) {
            set_last_error(38);
            return false;
        }
    } else if (m_usage_page == 0xFF43) {
        const unsigned low = m_usage & 0xFF, high = m_usage >> 8;
        if (low == 0 || (low & (low - 1)) != 0 || (high & low) == 0) {
            set_last_error(38);
            return false;
        }
    } else {
        set_last_error(37);
        return false;
    }
    if (caps.NumberOutputButtonCaps + caps.NumberOutputValueCaps != 1 ||
        caps.NumberInputButtonCaps + caps.NumberInputValueCaps != 1 ||
        caps.InputReportByteLength != caps.OutputReportByteLength) {
        set_last_error(38);
        return false;
    }
    if (caps.NumberOutputValueCaps) {
        std::vector<HIDP_VALUE_CAPS> values(caps.NumberOutputValueCaps);
        USHORT count = caps.NumberOutputValueCaps;
        if (m_system->HidP_GetValueCaps(HidP_Output, values.data(), &count, preparsed) < 0) {
            set_last_error(36, ::GetLastError());
            return false;
        }
        for (USHORT i = 0; i < count && i < values.size(); ++i)
            m_report_ids[values[i].ReportID] = m_report_length;
    }
    if (caps.NumberOutputButtonCaps) {
        std::vector<HIDP_BUTTON_CAPS> buttons(caps.NumberOutputButtonCaps);
        USHORT count = caps.NumberOutputButtonCaps;
        if (m_system->HidP_GetButtonCaps(HidP_Output, buttons.data(), &count, preparsed) < 0) {
            set_last_error(36, ::GetLastError());
            return false;
        }
        for (USHORT i = 0; i < count && i < buttons.size(); ++i)
            m_report_ids[buttons[i].ReportID] = m_report_length;
    }
    WCHAR product[126];
    std::memset(product, 0, sizeof(product));
    if (m_system->HidD_GetProductString(m_file, product, sizeof(product))) {
        product[125] = 0;
        wide_to_utf8(product, m_name);
    } else {
        m_name.clear();
    }
    m_inspected = true;
    if (getProtocolKind() != getUsage() && m_parent_id.empty())
        read_parent_id();
    return true;
}

void Win32Device::read_parent_id()
{
    HDEVINFO set = m_system->SetupDiCreateDeviceInfoList(nullptr, nullptr);
    if (set == INVALID_HANDLE_VALUE || set == nullptr)
        return;
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof(iface);
    SP_DEVINFO_DATA element{};
    element.cbSize = sizeof(element);
    DEVINST parent = 0;
    ULONG size = 0;
    const std::vector<WCHAR> wide = utf8_to_wide(m_path);
    if (m_system->SetupDiOpenDeviceInterfaceW(set, wide.data(), 0, &iface) &&
        m_system->SetupDiEnumDeviceInfo(set, 0, &element) &&
        m_system->CM_Get_Parent(&parent, element.DevInst, 0) == CR_SUCCESS &&
        m_system->CM_Get_Device_ID_Size(&size, parent, 0) == CR_SUCCESS) {
        std::vector<WCHAR> id(size + 1, 0);
        if (m_system->CM_Get_Device_IDW(parent, id.data(), size + 1, 0) == CR_SUCCESS) {
            id.back() = 0;
            m_parent_id = wide_to_lower_utf8(id.data());
        }
    }
    m_system->SetupDiDestroyDeviceInfoList(set);
}

void Win32Device::start_reader()
{
    if (m_reader_running || m_reader_events.size() != 2)
        return;
    ::ResetEvent(m_reader_events[0]);
    m_reader_running = true;
    m_reader_stop = std::make_shared<std::atomic<bool>>(false);
    {
        std::lock_guard<std::mutex> lock(m_reader_mutex);
        m_reader_started = false;
    }
    m_reader = std::make_unique<std::thread>([this]() { readerLoop(); });
    m_reader_id = m_reader->get_id();
    std::unique_lock<std::mutex> lock(m_reader_mutex);
    m_reader_condition.wait(lock, [this]() { return m_reader_started; });
}

void Win32Device::readerLoop()
{
    // Everything the loop needs is copied first: a subscriber may close or even destroy the
    // device from this thread, and the loop must then leave without touching it.
    const std::shared_ptr<std::atomic<bool>> stop = m_reader_stop;
    const std::weak_ptr<Win32Device> weak = weak_from_this();
    const HANDLE file = m_file;
    const HANDLE events[2] = {m_reader_events[0], m_reader_events[1]};
    const DWORD length = m_report_length;
    OVERLAPPED* operation = &m_read_operation;
    {
        std::lock_guard<std::mutex> lock(m_reader_mutex);
        m_reader_started = true;
    }
    m_reader_condition.notify_all();
    if (m_destroying)
        return;
    std::vector<Byte> buffer(length, 0);
    bool lastFailed = false;
    while (!stop->load()) {
        DWORD transferred = 0;
        BOOL ok = ::ReadFile(file, buffer.data(), length, &transferred, operation);
        DWORD error = ok ? 0 : ::GetLastError();
        if (!ok && error != ERROR_IO_PENDING && error != ERROR_DEVICE_NOT_CONNECTED) {
            // The read cannot even start (the bus may have closed the handle on a removal
            // notification): say so once, unless the read before failed already, then wait to
            // be stopped.
            if (!lastFailed)
                if (auto self = weak.lock())
                    Producer<IHardwareDevice::Read>::notify(
                        [error, length](IHardwareDevice::Read* s) { s->onRead({}, false, error, length); },
                        "Win32Device::Read::onRead");
            if (stop->load())
                return;
            ::WaitForSingleObject(events[0], INFINITE);
            return;
        }
        if (!ok && error == ERROR_IO_PENDING) {
            const DWORD waited = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
            if (waited != WAIT_OBJECT_0 + 1) {
                // Stopped (or the wait broke): the read must finish before its buffer goes.
                ::CancelIoEx(file, operation);
                ::GetOverlappedResult(file, operation, &transferred, TRUE);
                return;
            }
            ok = ::GetOverlappedResult(file, operation, &transferred, FALSE);
            error = ok ? 0 : ::GetLastError();
        }
        if (m_destroying)
            return;
        auto self = weak.lock();
        if (!self)
            return;
        if (!ok && error == ERROR_DEVICE_NOT_CONNECTED) {
            if (auto bus = m_bus.lock()) {
                bus->reader_lost(m_path, m_plug_generation.load());
                m_gone = true;
            }
            Producer<IHardwareDevice::Read>::notify(
                [](IHardwareDevice::Read* s) { s->onRead({}, false, ERROR_DEVICE_NOT_CONNECTED, 0); },
                "Win32Device::Read::onRead");
            Producer<IHardwareDevice::FastDisconnect>::notify(
                [](IHardwareDevice::FastDisconnect* s) { s->onFastDisconnect(); },
                "Win32Device::FastDisconnect::onFastDisconnect");
            return;
        }
        std::vector<Byte> data = ok ? buffer : std::vector<Byte>();
        const unsigned status = ok ? 0 : error;
        lastFailed = !ok;
        Producer<IHardwareDevice::Read>::notify(
            [data, status, length](IHardwareDevice::Read* s) { s->onRead(data, false, status, length); },
            "Win32Device::Read::onRead");
        if (stop->load())
            return;
        self.reset();  // may end the device here; only `stop` is touched afterwards
        if (stop->load())
            return;
    }
}

void Win32Device::close()
{
    std::unique_ptr<std::thread> reader;
    {
        std::lock_guard<std::recursive_mutex> lock(m_state_mutex);
        if (m_reader) {
            reader = std::move(m_reader);
            if (m_reader_stop)
                m_reader_stop->store(true);
            if (m_reader_events.size() == 2)
                ::SetEvent(m_reader_events[0]);
            m_reader_running = false;
        }
    }
    if (reader) {
        try {
            if (reader->get_id() == std::this_thread::get_id())
                reader->detach();
            else
                reader->join();
        } catch (const std::system_error& e) {
            log_stop_failure("std::system_error: ", __LINE__, &e, &e);
        } catch (const std::exception& e) {
            log_stop_failure("std::exception: ", __LINE__, &e, nullptr);
        } catch (...) {
            log_stop_failure("unknown exception: ", __LINE__, nullptr, nullptr);
        }
    }
    std::lock_guard<std::mutex> writeLock(m_write_mutex);
    std::lock_guard<std::recursive_mutex> lock(m_state_mutex);
    close_locked();
}

void Win32Device::close_locked()
{
    if (m_reader) {
        // Reached from open(): the same stop as close(), under the state lock.
        std::unique_ptr<std::thread> reader = std::move(m_reader);
        if (m_reader_stop)
            m_reader_stop->store(true);
        if (m_reader_events.size() == 2)
            ::SetEvent(m_reader_events[0]);
        m_reader_running = false;
        if (reader->get_id() == std::this_thread::get_id())
            reader->detach();
        else
            reader->join();
    }
    const ErrorRecord saved = last_error_record();
    if (m_notification) {
        if (auto bus = m_bus.lock())
            bus->unregisterDeviceNotificationAndCloseHandle(m_notification, m_file);
    } else if (m_file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(m_file);
    }
    m_file = INVALID_HANDLE_VALUE;
    m_notification = nullptr;
    if (m_write_event)
        ::CloseHandle(m_write_event);
    m_write_event = nullptr;
    for (HANDLE e : m_reader_events)
        if (e)
            ::CloseHandle(e);
    m_reader_events.clear();
    m_opened = false;
    set_last_error(saved);
}

void Win32Device::publish_write(const std::vector<Byte>& data, ErrorCode code, std::uint32_t detail)
{
    Producer<IHardwareDevice::Write>::notify([data, code, detail](IHardwareDevice::Write* s) { s->onWrite(data, code, detail); },
                                             "Win32Device::Write::onWrite");
}

bool Win32Device::write(std::vector<Byte> report, bool awaitReply)
{
    ErrorCode code = 0;
    std::uint32_t detail = 0;
    bool written = false;  // reached WriteFile: the event carries the report even when it failed
    ErrorRecord openFailure;
    {
        std::lock_guard<std::mutex> writeLock(m_write_mutex);
        [&]() {
            if (!open()) {
                openFailure = last_error_record();
                code = openFailure.code;
                detail = openFailure.detail;
                return;
            }
            HANDLE file, event;
            bool readerRunning;
            std::thread::id readerId;
            {
                std::lock_guard<std::recursive_mutex> lock(m_state_mutex);
                file = m_file;
                event = m_write_event;
                readerRunning = m_reader_running && m_reader;
                readerId = m_reader_id;
            }
            if (file == INVALID_HANDLE_VALUE || !event) {
                code = 7;
                return;
            }
            if (report.empty()) {
                code = 71;
                return;
            }
            for (const auto& entry : m_report_ids) {
                if (entry.second >= static_cast<int>(report.size())) {
                    report[0] = static_cast<Byte>(entry.first);
                    break;
                }
            }
            if (report.size() > m_report_length) {
                code = 25;
                return;
            }
            report.resize(m_report_length, 0);
            if (awaitReply && !readerRunning) {
                code = 27;
                return;
            }
            if (awaitReply && readerId == std::this_thread::get_id()) {
                code = 26;
                return;
            }
            OVERLAPPED operation{};
            operation.hEvent = event;
            DWORD transferred = 0;
            written = true;
            if (::WriteFile(file, report.data(), static_cast<DWORD>(report.size()), &transferred, &operation))
                return;
            const DWORD error = ::GetLastError();
            if (error == ERROR_IO_PENDING) {
                if (::WaitForSingleObject(event, Timing::scaled(m_write_timeout)) != WAIT_OBJECT_0) {
                    code = 39;
                    // The operation record lives on this stack: it must be finished before we leave.
                    ::CancelIoEx(file, &operation);
                    ::GetOverlappedResult(file, &operation, &transferred, TRUE);
                    return;
                }
                if (!::GetOverlappedResult(file, &operation, &transferred, FALSE)) {
                    code = 40;
                    detail = ::GetLastError();
                }
            } else {
                code = 40;
                detail = error;
            }
            if (code == 40 && detail == ERROR_GEN_FAILURE)
                code = 61;
        }();
    }
    // Published outside the write lock: a subscriber may write again.
    publish_write(written ? report : std::vector<Byte>(), code, detail);
    if (openFailure.code)
        set_last_error(openFailure);  // keeps the text open left ("CreateFile failed", ...)
    else
        set_last_error(code, detail);
    return code == 0;
}

} // namespace devio
