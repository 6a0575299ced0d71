#include "EngineLog.h"

#include <shlobj.h>

#include <atomic>
#include <cstdio>

namespace qv {

namespace {

std::atomic<int> g_attempt{0};

HKEY const kRoot = HKEY_LOCAL_MACHINE;

bool write_all(HANDLE file, const void* data, std::size_t size)
{
    DWORD written = 0;
    return size == 0 || (WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size);
}

}  // namespace

EngineLog& EngineLog::instance()
{
    static EngineLog* log = new EngineLog;
    return *log;
}

EngineLog::EngineLog()
{
    m_started = start();
    if (!m_started)
        OutputDebugStringA("The Logging system had trouble initializing");
}

int EngineLog::next_attempt()
{
    return g_attempt.fetch_add(1);
}

bool EngineLog::start()
{
    WCHAR common[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common)))
        return false;
    const WString shared = WString(common) + QV_W("\\TarnShrd");
    m_folder = shared + QV_W("\\Ravelin");
    CreateDirectoryW(shared.c_str(), nullptr);
    CreateDirectoryW(m_folder.c_str(), nullptr);
    const WString logPath = m_folder + QV_W("\\EngineLog.txt");
    m_log = CreateFileW(logPath.c_str(), GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_log != INVALID_HANDLE_VALUE)
        trim();

    HKEY key = nullptr;
    DWORD level = 0;
    if (RegOpenKeyExW(kRoot, QV_W("SOFTWARE\\TARNWICK\\RAVELIN"), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        DWORD type = 0, size = sizeof level;
        if (RegQueryValueExW(key, QV_W("LoggingLevel"), nullptr, &type, reinterpret_cast<BYTE*>(&level), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD)
            level = 0;
        RegCloseKey(key);
    }
    m_verbose = (level & 0x8) != 0;
    if (level & 0x4) {
        const WString debug = m_folder + QV_W("\\__DEBUG_LOGS__");
        if (CreateDirectoryW(debug.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) {
            SYSTEMTIME t{};
            GetLocalTime(&t);
            m_statisticsPath = wformat("%s\\%s_%d_%d_%d_Time_%d_%d_%d.csv", narrow(debug).c_str(), "DFU_Engineering_Stats",
                                       t.wDay, t.wMonth, t.wYear, t.wHour, t.wMinute, t.wSecond);
            m_statistics = CreateFileW(m_statisticsPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (m_statistics != INVALID_HANDLE_VALUE)
                write_line(m_statistics, QV_W("TEST NAME; DEVICE NAME; ATTEMPT; RESULT; EXEC TIME; PACKETS SENT; "
                                              "PACKET FAILURE; LINK LOSSES; RESTARTS; COMMENTS;"));
        }
    }
    if (m_log == INVALID_HANDLE_VALUE) {
        OutputDebugStringA("Failure opening the EngineLog file\n");
        return false;
    }
    return true;
}

std::vector<std::uint8_t> EngineLog::trimmed_tail(const std::vector<std::uint8_t>& tail)
{
    std::vector<std::uint8_t> kept = tail;
    // Characters are UTF-16LE: blank the cut first line up to its CR.
    std::size_t i = 0;
    for (; i + 1 < kept.size(); i += 2) {
        if (kept[i] == '\r' && kept[i + 1] == 0)
            break;
        kept[i] = ' ';
        kept[i + 1] = 0;
    }
    if (kept.size() >= 2) {
        kept[kept.size() - 2] = 0;
        kept[kept.size() - 1] = 0;
    }
    return kept;
}

void EngineLog::trim()
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(m_log, &size) || static_cast<std::uint64_t>(size.QuadPart) <= kTrimAbove)
        return;
    std::vector<std::uint8_t> tail(kKeep);
    const LONGLONG at = size.QuadPart - static_cast<LONGLONG>(kKeep);
    LONG high = static_cast<LONG>(at >> 32);
    DWORD got = 0;
    if (SetFilePointer(m_log, static_cast<LONG>(at & 0xFFFFFFFF), &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
        !ReadFile(m_log, tail.data(), static_cast<DWORD>(kKeep), &got, nullptr) ||
        got != kKeep)
        return;
    const std::vector<std::uint8_t> kept = trimmed_tail(tail);
    const WString path = m_folder + QV_W("\\EngineLog.txt");
    CloseHandle(m_log);
    DeleteFileW(path.c_str());
    m_log = CreateFileW(path.c_str(), GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_log != INVALID_HANDLE_VALUE)
        write_all(m_log, kept.data(), kept.size());
}

void EngineLog::write_line(HANDLE file, const WString& line)
{
    // Each line carries its terminating NUL before CR LF.
    WString text = line;
    text.push_back(0);
    text.push_back('\r');
    text.push_back('\n');
    std::vector<std::uint8_t> bytes;
    for (WCHAR c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    write_all(file, bytes.data(), bytes.size());
}

void EngineLog::write_statistics(const WString& line)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_statistics != INVALID_HANDLE_VALUE)
        write_line(m_statistics, line);
}

int EngineLog::pending_marker(const WString* text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_folder.empty())
        return 0;
    const WString path = m_folder + QV_W("\\PendingDfu.txt");
    if (!text)
        return DeleteFileW(path.c_str()) ? 1 : 0;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return 0;
    std::vector<std::uint8_t> bytes;
    for (WCHAR c : *text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    const bool ok = write_all(f, bytes.data(), bytes.size());
    CloseHandle(f);
    return ok ? 1 : 0;
}

WString EngineLog::record_dump(const QV_DEVICE_INFO& r)
{
    return wformat("DevType [%d]\nParent [0X%llx]\nRadioType [%d]\nModelID [0X%x]\nName [%s]\nRadioStatus [%d]\nFlags "
                   "[%d]\nSlider [%d]\nDFUStatus [%d]\nBattery [%d]\nSN [%s]\nFW [%s]\nNextFW [%s]",
                   static_cast<int>(r.DevType), static_cast<unsigned long long>(r.Parent), r.RadioType, r.ModelID,
                   narrow(r.Name).c_str(), r.RadioStatus, r.Flags, r.Slider, r.DFUStatus, r.Battery, narrow(r.SN).c_str(),
                   narrow(r.FW).c_str(), narrow(r.NextFW).c_str());
}

WString EngineLog::hex_dump(const std::uint8_t* bytes, std::size_t count)
{
    std::string text = "[";
    char item[8];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(item, sizeof item, " %02x ", bytes[i]);
        text += item;
    }
    text += "]";
    return widen(text);
}

}  // namespace qv
