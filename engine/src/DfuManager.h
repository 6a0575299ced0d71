// The engine's core: the firmware folder and its watch, the table of wake-up events, and at
// most one update operation at a time on a thread of its own.
#pragma once

#include "EngineTypes.h"

#include <windows.h>

#include <atomic>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace qv {

class DFUProtocol;

// One update operation: what to install, on which device, and the protocol doing it.
struct OperationRecord {
    unsigned op = 0;
    FirmwareRecord firmware;
    FirmwareRecord signature;
    std::uint64_t handle = 0;
    QV_DEVICE_INFO device{};
    std::unique_ptr<DFUProtocol> protocol;
    unsigned silent = 0;
    WString firmwarePath;
    WString signaturePath;
    bool hasSignature = false;
};

class DfuManager {
public:
    enum EventId {
        kStop = 2,
        kLinkUp = 3,
        kCheck = 4,
        kDeviceInBootloader = 5,
        kReceiverInBootloader = 6,
        kLinkLost = 7,
    };

    static DfuManager& instance();

    WString firmware_folder() const { return m_folder; }
    // 0 started, 14 busy, 11 no resources, 2 unknown handle.
    int start_operation(std::uint64_t handle, unsigned op, unsigned silent, const WString* firmwareFile,
                        const WString* signatureFile);
    void signal(int id);
    void reset_event(int id);
    // Index of the signalled id in the list, 258 on time-out (at once when an id has no event).
    DWORD wait(DWORD timeoutMs, std::initializer_list<int> ids);
    void request_check();
    void fire(std::uint64_t handle, std::uint32_t event, std::uint64_t value);
    // For one handle, or every handle with 0.
    void firmware_check(std::uint64_t handle);
    bool busy() const { return m_busy.load(); }
    // Ends the operation and the folder watch (their threads are joined).
    void shutdown();

    void bind_link_events(HANDLE up, HANDLE lost);
    void unbind_link_events();

    static WString folder_from_system();
    // The `QV_DFUStatus` an operation's result leaves on its device.
    static int status_for(unsigned op, std::uint32_t devType, int result);

private:
    DfuManager();
    void watch_loop();
    void operation_thread();
    int run_operation(OperationRecord& record);
    int run_protocol(OperationRecord& record);
    void finish_operation(OperationRecord& record, int result);

    WString m_folder;

    std::mutex m_eventMutex;
    std::map<int, HANDLE> m_events;

    std::mutex m_operationMutex;  // start and end of operations
    std::atomic<bool> m_busy{false};
    std::thread m_operationThread;
    std::unique_ptr<OperationRecord> m_record;
    std::atomic<DFUProtocol*> m_protocol{nullptr};

    std::thread m_watchThread;
    std::atomic<bool> m_watching{false};
    std::atomic<bool> m_shutdown{false};
};

}  // namespace qv
