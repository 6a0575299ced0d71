// A receiver in bootloader mode: a plain HID device exchanging 33-byte reports.
#pragma once

#include "Device.h"

#include <windows.h>
#include <hidsdi.h>

#include <atomic>
#include <mutex>

namespace qv {

class CHidDevice : public CDevice {
public:
    CHidDevice(Enumerator* enumerator, DWORD devInst);
    ~CHidDevice() override;

    // Takes the file and its notification (closed with the device).
    void init(HANDLE file, HDEVNOTIFY notify, std::uint8_t reportId, std::uint16_t outputLength,
              std::uint16_t inputLength, const HIDD_ATTRIBUTES& attributes, const WString& path);
    bool start() override;
    void stop() override;
    bool match(std::int64_t kind, std::uint64_t value) override;
    bool read_version(VersionRecord& out) override;

    // Writes the request, then reads one report, each within the time-out.
    bool transfer(const std::uint8_t* request, std::uint8_t* response, DWORD timeoutMs);

    // "BL_%03x_%03x" from the 0x90 reply's text; false when it holds no version.
    static bool parse_bootloader_reply(const std::uint8_t* reply, std::size_t length, VersionRecord& out);

private:
    bool io(bool write, std::uint8_t* buffer, DWORD length, DWORD timeoutMs);

    const DWORD m_devInst;
    std::mutex m_ioMutex;  // one transfer at a time
    HANDLE m_file = INVALID_HANDLE_VALUE;
    HDEVNOTIFY m_notify = nullptr;
    HANDLE m_event = nullptr;
    HANDLE m_stop = nullptr;  // set on stop: a transfer in flight ends at once
    std::atomic<bool> m_stopped{false};
    std::uint8_t m_reportId = 0;
    std::uint16_t m_outputLength = 33;
    std::uint16_t m_inputLength = 33;
};

}  // namespace qv
