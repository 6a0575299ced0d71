// The register transport of a receiver: its HID collections, one request at a time under a
// machine-wide mutex, replies matched on the reader thread, notifications handed in order to
// the dispatcher thread.
#pragma once

#include "EngineTypes.h"

#include <windows.h>
#include <hidsdi.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace qv {

class CTSLDevice {
public:
    static constexpr int kSlots = 3;

    struct Collection {
        DWORD devInst = 0;
        HANDLE file = INVALID_HANDLE_VALUE;
        HDEVNOTIFY notify = nullptr;
        std::uint8_t reportId = 0;
        WString path;
        std::uint16_t outputLength = 0;
        std::uint8_t writeSub = 0;
        std::uint16_t inputLength = 0;
        std::uint8_t readSub = 0;
    };

    CTSLDevice();
    virtual ~CTSLDevice();
    CTSLDevice(const CTSLDevice&) = delete;
    CTSLDevice& operator=(const CTSLDevice&) = delete;

    // Takes the file (closed with the transport). 0 when the usage is 0 or above 3 or its slot is taken.
    int open_collection(DWORD devInst, HANDLE file, HDEVNOTIFY notify, const WString& path, const HIDP_CAPS& caps,
                        std::uint8_t reportId);
    bool has_report_id(std::uint8_t reportId) const;
    // Bit 0, 1, 2 for the short, long and third collection.
    unsigned open_mask() const;
    bool has_collection_file(HANDLE file) const;
    bool has_collection_instance(DWORD devInst) const;

    // Names the mutex, starts the reader and dispatcher. Removal posts (window, message, file, 0).
    bool open_transport(HWND window, UINT message);
    // Ends both threads (a pending request ends with -3); idempotent.
    void stop_transport();
    // Closes the files and notifications (after stop_transport).
    void close_collections();

    // slot 1..3; request[0] is set to the collection's report id. Raw code (see RawCode).
    int SendAndWait(int slot, std::vector<std::uint8_t>& request, std::vector<std::uint8_t>* response,
                    DWORD timeoutMs, std::size_t matchLength);

    // Register access; index 0xFF is the receiver. Reads send params (3 bytes) and return the
    // reply payload (from byte 4). Long means a 16-byte register.
    int register_read(std::uint8_t index, std::uint8_t reg, bool longReg, const std::uint8_t* params,
                      std::vector<std::uint8_t>& payload);
    int register_write(std::uint8_t index, std::uint8_t reg, const std::uint8_t* data, std::size_t length,
                       std::vector<std::uint8_t>* payload);
    // Protocol 2.0 request (16 parameter bytes); the reply parameters from byte 4.
    int feature_request(std::uint8_t index, std::uint8_t feature, std::uint8_t function,
                        const std::vector<std::uint8_t>& params, std::vector<std::uint8_t>& reply);

    void set_link_event(int index, HANDLE event);

    virtual void OnRead(const std::uint8_t* report, std::size_t length);
    virtual void OnReport(const std::uint8_t* report, std::size_t length);
    virtual bool OnResponse(const std::uint8_t* report, std::size_t length);

    // Tuning seen by tests.
    DWORD mutex_wait_ms() const { return m_mutexWaitMs.load(); }
    int contention_threshold() const { return m_contentionThreshold.load(); }
    static std::string mutex_name_for(const WString& path);
    // How a report answers a request (pure): not at all (none), as its reply (0), or as the
    // receiver's error reply (its error code; an error reply without a code is kRawErrorReply).
    static std::optional<int> match_reply(const std::vector<std::uint8_t>& request, std::size_t matchLength,
                                          const std::uint8_t* report, std::size_t length);

protected:
    Collection collection(int slot) const;
    HANDLE quit_event() const { return m_quit; }

private:
    struct Pending {
        bool active = false;
        std::vector<std::uint8_t> request;
        std::size_t matchLength = 0;
        std::vector<std::uint8_t> response;
        bool answered = false;
        int error = 0;
    };

    int collection_for_output(std::size_t length) const;
    int collection_for_input(std::size_t length) const;
    bool write_report(const Collection& c, const std::vector<std::uint8_t>& report);
    int wait_reply(int index, DWORD timeoutMs, bool& timedOut);
    void reader_loop();
    void dispatcher_loop();

    mutable std::mutex m_collectionMutex;
    bool m_present[kSlots] = {false, false, false};
    Collection m_collections[kSlots];

    // Set up by open_transport, read by every thread after.
    HANDLE m_mutex = nullptr;
    HANDLE m_quit = nullptr;  // set once, in the constructor
    HANDLE m_responseEvent = nullptr;
    HANDLE m_queueEvent = nullptr;
    HANDLE m_rescanEvent = nullptr;
    HWND m_window = nullptr;
    UINT m_message = 0;
    std::thread m_reader;
    std::thread m_dispatcher;
    std::atomic<bool> m_started{false};
    std::mutex m_stopMutex;

    // Pending request: written by the caller, answered by the reader thread.
    std::mutex m_pendingMutex;
    Pending m_pending;
    LARGE_INTEGER m_sendTime{};
    LARGE_INTEGER m_receiveTime{};
    LONGLONG m_frequency = 0;

    std::atomic<DWORD> m_mutexWaitMs{4000};
    std::atomic<int> m_contentionThreshold{10};

    // Reports for the dispatcher, in arrival order.
    std::mutex m_queueMutex;
    std::deque<std::vector<std::uint8_t>> m_queue;

    std::mutex m_linkMutex;
    HANDLE m_linkEvents[7] = {};
};

}  // namespace qv
