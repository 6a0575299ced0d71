// Receiver update through its bootloader: restart into the bootloader, then write the image in
// 33-byte HID reports. Also the readers of Intel HEX and binary images.
#pragma once

#include "DFUProtocol.h"

#include <atomic>

namespace qv {

class CHidDevice;

class DFUHostToReceiver : public DFUProtocol {
public:
    using DFUProtocol::DFUProtocol;
};

class CDFUPureHid : public DFUHostToReceiver {
public:
    // Bootloader commands.
    enum Command : std::uint8_t {
        kWrite = 0x20, kRead = 0x10, kErase = 0x30, kInfo = 0x80, kSignature = 0xC0, kRestart = 0x70,
        kVersionA = 0x50, kVersionB = 0xA0, kBuffer = 0xD0, kSignatureBuffered = 0xE0,
    };

    explicit CDFUPureHid(std::uint32_t flags);

    int Prepare() override;
    int Run(FirmwareRecord& firmware, FirmwareRecord* signature) override;
    int Finish() override;
    int Abort(int code) override;
    int GetInfo(VersionRecord& version, std::uint64_t& handle) override;
    void stop() override;
    int check_image(const FirmwareRecord& firmware, const FirmwareRecord* signature) override;

    virtual int Program(const std::vector<ImageRecord>& records, CHidDevice& device, Progress& progress);
    virtual int EnterBootloader();
    virtual int Reboot();
    virtual int ReadBootloaderVersion(VersionRecord& out);
    virtual int Erase();
    virtual int ReadBack();
    virtual int WriteSignature(const std::vector<ImageRecord>& records, CHidDevice& device, Progress& progress);

    // Image readers. ParseHex keeps the data records inside [start, end]; 0 or 11.
    static int ParseHex(const std::uint8_t* text, std::size_t size, std::uint32_t start, std::uint32_t end,
                        std::vector<ImageRecord>& out);
    static int ParseBin(const std::uint8_t* bytes, std::size_t size, std::vector<ImageRecord>& out);
    // "RQR12.05_B0123"-style text from the bootloader: prefix, number, release, build (low 8 bits).
    static bool ParseVersion(const std::string& text, VersionRecord& out);

    // The bootloader's answers, decoded (pure; replies are 33 bytes). Its window and page size
    // from the info reply; false unless the reply echoes the command.
    static bool decode_info(const std::uint8_t* reply, std::uint16_t& start, std::uint16_t& end, std::uint16_t& page);
    // Erase requests for the window: pages from address 0 while below its end (0 without a page size).
    static std::uint32_t erase_count(std::uint16_t end, std::uint16_t page);
    // The version in a reply to version command `cmd` (0x50 or 0xA0).
    static bool version_from_reply(std::uint8_t cmd, const std::uint8_t* reply, VersionRecord& out);

    std::uint16_t window_start() const { return m_start; }
    std::uint16_t window_end() const { return m_end; }
    std::uint16_t page_size() const { return m_page; }

    // Tuning of every receiver update in the process.
    static std::atomic<std::uint32_t> s_usbEnumerationWaitMs;

protected:
    // One command: request [0, cmd, addr hi, addr lo, length, data...]; false when the transfer failed.
    bool command(std::uint8_t cmd, std::uint16_t address, std::uint8_t length, const std::uint8_t* data,
                 std::uint8_t* reply, DWORD timeoutMs);
    bool command_raw(const std::uint8_t* request, std::uint8_t* reply, DWORD timeoutMs);
    void milestone(std::uint64_t value);
    void progress_event(std::uint32_t percent);
    std::uint64_t progress_handle() const { return m_target ? m_target : m_carrier; }
    int bootloader_info();

    std::uint16_t m_start = 0;
    std::uint16_t m_end = 0xFFFF;
    std::uint16_t m_page = 0;
    std::vector<ImageRecord> m_signature;
    bool m_haveSignature = false;
    std::atomic<bool> m_stopped{false};
    // The carrier while Run holds a reference to it; otherwise each command looks it up.
    CHidDevice* m_active = nullptr;
};

}  // namespace qv
