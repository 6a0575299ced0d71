#include "DfuManager.h"

#include "DFUProtocol.h"
#include "Enumerator.h"
#include "EventHolder.h"
#include "FSRepository.h"
#include "core/Timing.h"

#include <vector>

using devio::Timing;

namespace qv {

namespace {

constexpr DWORD kWatchSettleMs = 500;

bool is_directory(const WString& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

DfuManager& DfuManager::instance()
{
    // Outlives every engine thread: shutdown() ends its own, the process ends the rest.
    static DfuManager* manager = new DfuManager;
    return *manager;
}

WString DfuManager::folder_from_system()
{
    WCHAR module[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        WString dir(module, n);
        const auto slash = dir.find_last_of(QV_W("\\/"));
        if (slash != WString::npos) {
            dir.resize(slash);
            const WString candidate = dir + QV_W("\\Firmware");
            if (candidate.size() < MAX_PATH && is_directory(candidate))
                return candidate;
        }
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, QV_W("SOFTWARE\\TARNWICK\\RAVELIN"), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    WCHAR value[260] = {};
    DWORD type = 0;
    DWORD size = sizeof value;
    const LONG r = RegQueryValueExW(key, QV_W("DFUBinaryPath"), nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || size > 520 || size % 2 != 0 || size == 0)
        return {};
    const std::size_t chars = size / 2;
    if (value[chars - 1] != 0)
        return {};
    return WString(value, chars - 1);
}

DfuManager::DfuManager() : m_folder(folder_from_system())
{
    for (int id : {0, 1, 2, 4, 5, 6})
        // Stop stays set once set: every waiter must see it.
        m_events[id] = CreateEventW(nullptr, id == kStop, FALSE, nullptr);
    if (!m_folder.empty()) {
        m_watching.store(true);
        m_watchThread = std::thread([this] { watch_loop(); });
    }
}

void DfuManager::signal(int id)
{
    std::lock_guard<std::mutex> lock(m_eventMutex);
    const auto it = m_events.find(id);
    if (it != m_events.end() && it->second)
        SetEvent(it->second);
}

void DfuManager::reset_event(int id)
{
    std::lock_guard<std::mutex> lock(m_eventMutex);
    const auto it = m_events.find(id);
    if (it != m_events.end() && it->second)
        ResetEvent(it->second);
}

DWORD DfuManager::wait(DWORD timeoutMs, std::initializer_list<int> ids)
{
    std::vector<HANDLE> handles;
    {
        std::lock_guard<std::mutex> lock(m_eventMutex);
        for (int id : ids) {
            const auto it = m_events.find(id);
            if (it == m_events.end() || !it->second)
                return WAIT_TIMEOUT;
            handles.push_back(it->second);
        }
    }
    const DWORD w = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                                           Timing::scaled(timeoutMs));
    if (w < WAIT_OBJECT_0 + handles.size())
        return w - WAIT_OBJECT_0;
    return WAIT_TIMEOUT;
}

void DfuManager::bind_link_events(HANDLE up, HANDLE lost)
{
    std::lock_guard<std::mutex> lock(m_eventMutex);
    m_events[kLinkUp] = up;
    m_events[kLinkLost] = lost;
}

void DfuManager::unbind_link_events()
{
    // The device owns these events and may go once the operation ends.
    std::lock_guard<std::mutex> lock(m_eventMutex);
    m_events.erase(kLinkUp);
    m_events.erase(kLinkLost);
}

void DfuManager::request_check()
{
    if (Enumerator::instance().first_enumeration_done())
        signal(kCheck);
}

void DfuManager::fire(std::uint64_t handle, std::uint32_t event, std::uint64_t value)
{
    EventHolder::instance().fire(handle, event, value);
}

void DfuManager::firmware_check(std::uint64_t handle)
{
    Enumerator& e = Enumerator::instance();
    const std::vector<std::uint64_t> all = handle ? std::vector<std::uint64_t>{handle} : e.handles();
    for (std::uint64_t h : all) {
        DeviceRef ref = e.lookup(h);
        if (!ref || ref->busy() || ref->info().DFUStatus == QV_DFU_IN_PROGRESS_STATUS)
            continue;
        VersionRecord v;
        if (!ref->read_version(v) || !v.present())
            continue;
        ref->set_version(v);
        FirmwareRecord found;
        const bool newer = FSRepository::instance().FindFirmware(v, found, 0) == 1;
        const int status = newer ? QV_DFU_NEWER_FW_AVAILABLE : QV_DFU_NO_NEWER_FW;
        const WString next = version_text(newer ? found.version : v);
        int old = 0;
        ref->update_info([&](QV_DEVICE_INFO& r) {
            old = r.DFUStatus;
            copy_bounded(r.NextFW, 80, next);
            r.DFUStatus = status;
        });
        if (old != status)
            fire(h, QV_EVENT_DFU_STATUS_CHANGED, static_cast<std::uint64_t>(status));
    }
}

void DfuManager::watch_loop()
{
    HANDLE change = FindFirstChangeNotificationW(m_folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
    if (change == INVALID_HANDLE_VALUE || change == nullptr) {
        m_watching.store(false);
        return;
    }
    HANDLE check, stop;
    {
        std::lock_guard<std::mutex> lock(m_eventMutex);
        check = m_events[kCheck];
        stop = m_events[kStop];
    }
    for (;;) {
        const HANDLE waits[3] = {change, check, stop};
        const DWORD w = WaitForMultipleObjects(3, waits, FALSE, INFINITE);
        if (w == WAIT_OBJECT_0 + 2 || w == WAIT_FAILED || m_shutdown.load())
            break;
        // Let a burst of file changes settle; a stop ends the wait at once.
        if (WaitForSingleObject(stop, Timing::scaled(kWatchSettleMs)) == WAIT_OBJECT_0)
            break;
        const bool running = m_busy.load();
        if (w == WAIT_OBJECT_0) {
            if (!running)
                firmware_check(0);
            // Re-armed while an operation runs too, so a change never spins the loop.
            if (!FindNextChangeNotification(change))
                break;
        } else if (w == WAIT_OBJECT_0 + 1 && !running) {
            firmware_check(0);
        }
    }
    FindCloseChangeNotification(change);
    m_watching.store(false);
}

int DfuManager::start_operation(std::uint64_t handle, unsigned op, unsigned silent, const WString* firmwareFile,
                                const WString* signatureFile)
{
    std::lock_guard<std::mutex> lock(m_operationMutex);
    if (m_shutdown.load())
        return QV_RESOURCE_ERROR;
    // Test and set in one step: two callers never both start.
    bool idle = false;
    if (!m_busy.compare_exchange_strong(idle, true))
        return QV_DFU_IN_PROGRESS;
    // The previous thread has cleared busy; let it end before its record goes.
    if (m_operationThread.joinable())
        m_operationThread.join();
    m_record.reset();
    auto record = std::make_unique<OperationRecord>();
    if (!Enumerator::instance().copy_record(handle, record->device) && handle != static_cast<std::uint64_t>(-1)) {
        m_busy.store(false);
        return QV_INVALID_HANDLE;
    }
    record->op = op;
    record->handle = handle;
    record->silent = silent;
    if (firmwareFile)
        record->firmwarePath = *firmwareFile;
    if (signatureFile) {
        record->signaturePath = *signatureFile;
        record->hasSignature = true;
    }
    m_record = std::move(record);
    try {
        m_operationThread = std::thread([this] { operation_thread(); });
    } catch (...) {
        m_record.reset();
        m_busy.store(false);
        return QV_RESOURCE_ERROR;
    }
    return QV_SUCCESS;
}

void DfuManager::operation_thread()
{
    OperationRecord& record = *m_record;
    int result = record.op >= 8 ? QV_NOT_SUPPORTED : run_operation(record);
    finish_operation(record, result);
    m_protocol.store(nullptr);
    m_busy.store(false);
}

void DfuManager::shutdown()
{
    std::lock_guard<std::mutex> lock(m_operationMutex);
    m_shutdown.store(true);
    if (DFUProtocol* protocol = m_protocol.load())
        protocol->stop();
    signal(kStop);
    if (m_operationThread.joinable())
        m_operationThread.join();
    if (m_watchThread.joinable())
        m_watchThread.join();
    m_record.reset();
}

}  // namespace qv
