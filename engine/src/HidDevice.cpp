#include "HidDevice.h"

#include "ReplyWait.h"

#include <atomic>
#include <cstring>
#include <vector>


namespace qv {

namespace {
std::atomic<int> g_bootloaderCounter{1};
}

CHidDevice::CHidDevice(Enumerator* enumerator, DWORD devInst) : CDevice(enumerator), m_devInst(devInst)
{
    m_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    update_info([](QV_DEVICE_INFO& r) {
        r.DevType = QV_DEVTYPE_BOOTLOADER;
        r.RadioType = 4;
        r.RadioStatus = 3;
        r.Battery = 1;
        r.DFUStatus = QV_DFU_NO_NEWER_FW;
    });
}

CHidDevice::~CHidDevice()
{
    stop();
    std::lock_guard<std::mutex> lock(m_ioMutex);
    if (m_notify)
        UnregisterDeviceNotification(m_notify);
    if (m_file != INVALID_HANDLE_VALUE)
        CloseHandle(m_file);
    if (m_event)
        CloseHandle(m_event);
    if (m_stop)
        CloseHandle(m_stop);
}

void CHidDevice::init(HANDLE file, HDEVNOTIFY notify, std::uint8_t reportId, std::uint16_t outputLength,
                      std::uint16_t inputLength, const HIDD_ATTRIBUTES& attributes, const WString&)
{
    m_file = file;
    m_notify = notify;
    m_reportId = reportId == 255 ? 0 : reportId;
    m_outputLength = outputLength ? outputLength : 33;
    m_inputLength = inputLength ? inputLength : 33;
    const WString name = wformat("Ravelin receiver [%d] (DFU mode)", g_bootloaderCounter.fetch_add(1));
    update_info([&](QV_DEVICE_INFO& r) {
        r.ModelID = (static_cast<std::uint32_t>(attributes.VendorID) << 16) | attributes.ProductID;
        copy_bounded(r.Name, 80, name);
        r.SN[0] = 0;
    });
}

bool CHidDevice::start()
{
    VersionRecord v;
    read_version(v);
    return CDevice::start();
}

void CHidDevice::stop()
{
    m_stopped.store(true);
    if (m_stop)
        SetEvent(m_stop);
    CDevice::stop();
}

bool CHidDevice::match(std::int64_t kind, std::uint64_t value)
{
    if (kind == -2)
        return reinterpret_cast<HANDLE>(value) == m_file;
    if (kind == 0)
        return value == m_devInst;
    return false;
}

bool CHidDevice::io(bool write, std::uint8_t* buffer, DWORD length, DWORD timeoutMs)
{
    OVERLAPPED ov{};
    ov.hEvent = m_event;
    ResetEvent(m_event);
    DWORD done = 0;
    BOOL ok = write ? WriteFile(m_file, buffer, length, &done, &ov) : ReadFile(m_file, buffer, length, &done, &ov);
    if (ok)
        return true;
    if (GetLastError() != ERROR_IO_PENDING)
        return false;
    const HANDLE waits[2] = {m_event, m_stop};
    const DWORD w = WaitForMultipleObjects(2, waits, FALSE, reply_wait(timeoutMs));
    if (w == WAIT_OBJECT_0)
        return GetOverlappedResult(m_file, &ov, &done, FALSE) != FALSE;
    // Nothing may stay pending on the caller's buffer.
    CancelIoEx(m_file, &ov);
    GetOverlappedResult(m_file, &ov, &done, TRUE);
    return false;
}

bool CHidDevice::transfer(const std::uint8_t* request, std::uint8_t* response, DWORD timeoutMs)
{
    std::lock_guard<std::mutex> lock(m_ioMutex);
    if (m_file == INVALID_HANDLE_VALUE || m_stopped.load())
        return false;
    // Reports of the usual size stay on the stack: one transfer per image record.
    std::uint8_t small[2][64];
    std::vector<std::uint8_t> large[2];
    std::uint8_t* out = small[0];
    std::uint8_t* in = small[1];
    if (m_outputLength > sizeof small[0] || m_inputLength > sizeof small[1]) {
        large[0].resize(m_outputLength);
        large[1].resize(m_inputLength);
        out = large[0].data();
        in = large[1].data();
    }
    std::memset(out, 0, m_outputLength);
    std::memcpy(out, request, std::min<std::size_t>(33, m_outputLength));
    out[0] = m_reportId;
    if (!io(true, out, m_outputLength, timeoutMs))
        return false;
    std::memset(in, 0, m_inputLength);
    if (!io(false, in, m_inputLength, timeoutMs))
        return false;
    std::memset(response, 0, 33);
    std::memcpy(response, in, std::min<std::size_t>(33, m_inputLength));
    return true;
}

bool CHidDevice::parse_bootloader_reply(const std::uint8_t* reply, std::size_t length, VersionRecord& out)
{
    if (length < 5 || reply[1] != 0x90)
        return false;
    std::size_t n = std::min<std::size_t>(reply[4], 28);
    n = std::min(n, length - 5);
    std::string text(reinterpret_cast<const char*>(reply + 5), n);
    text = text.substr(0, text.find('\0'));
    std::vector<std::string> tokens;
    std::string current;
    for (char c : text) {
        if (c == '.' || c == '_') {
            tokens.push_back(current);
            current.clear();
        } else {
            current.push_back(c);
        }
    }
    tokens.push_back(current);
    if (tokens.size() < 3 || tokens[2].size() < 2)
        return false;
    char* end = nullptr;
    const unsigned long major = std::strtoul(tokens[1].c_str(), &end, 16);
    if (tokens[1].empty() || *end != 0)
        return false;
    const std::string minorText = tokens[2].substr(1);
    const unsigned long minor = std::strtoul(minorText.c_str(), &end, 16);
    if (*end != 0)
        return false;
    out.blMajor = static_cast<std::uint16_t>(major);
    out.blMinor = static_cast<std::uint16_t>(minor);
    return true;
}

bool CHidDevice::read_version(VersionRecord& out)
{
    std::uint8_t request[33] = {0, 0x90};
    std::uint8_t reply[33] = {};
    if (!transfer(request, reply, 500))
        return false;
    VersionRecord v;
    if (!parse_bootloader_reply(reply, sizeof reply, v))
        return false;
    const WString bl = bootloader_text(v);
    update_info([&](QV_DEVICE_INFO& r) { copy_bounded(r.BL, 80, bl); });
    out = v;
    return false;  // the bootloader tells no firmware version
}

}  // namespace qv
