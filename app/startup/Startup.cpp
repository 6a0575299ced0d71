#include "Startup.h"

#include "ProcessEnd.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <cstring>
#include <mutex>

namespace {

constexpr const char* kDriverSearchingKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\DriverSearching";
constexpr const char* kSearchOrderConfig = "SearchOrderConfig";
constexpr const char* kBackupKey = "SOFTWARE\\Tarnwick\\Quillon";
// Marks a backup of a value that did not exist: at quit the value is deleted, not set.
constexpr const char* kAbsentMarker = "SearchOrderConfigAbsent";
constexpr const char* kPolicyKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005u);

HMODULE combase()
{
    static HMODULE module = LoadLibraryExW(u"combase.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module;
}

FARPROC combaseProc(const char* name)
{
    HMODULE module = combase();
    return module ? GetProcAddress(module, name) : nullptr;
}

FARPROC roInitializeProc()
{
    static FARPROC proc = combaseProc("RoInitialize");
    return proc;
}

FARPROC roGetActivationFactoryProc()
{
    static FARPROC proc = combaseProc("RoGetActivationFactory");
    return proc;
}

FARPROC roActivateInstanceProc()
{
    static FARPROC proc = combaseProc("RoActivateInstance");
    return proc;
}

bool readDword(HKEY key, const char* name, DWORD& value)
{
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&data), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof data)
        return false;
    value = data;
    return true;
}

bool valueAbsent(HKEY key, const char* name)
{
    return RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_FILE_NOT_FOUND;
}

bool readBackup(const char* name, DWORD& value)
{
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    if (SHRegGetUSValueA(kBackupKey, name, &type, &data, &size, FALSE, nullptr, 0) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof data)
        return false;
    value = data;
    return true;
}

bool backupExists()
{
    DWORD ignored = 0;
    return readBackup(kSearchOrderConfig, ignored) || readBackup(kAbsentMarker, ignored);
}

void writeBackup(const char* name, DWORD value)
{
    SHRegSetUSValueA(kBackupKey, name, REG_DWORD, &value, sizeof value, SHREGSET_FORCE_HKCU);
}

}  // namespace

bool winrt_available()
{
    return roInitializeProc() && roGetActivationFactoryProc() && roActivateInstanceProc();
}

HRESULT ro_initialize(std::uint32_t type)
{
    using RoInitializeFn = HRESULT (*)(std::uint32_t);
    FARPROC proc = roInitializeProc();
    if (!proc)
        return kFail;
    // Through void* as GetProcAddress's callers do: the export's real type is known only here.
    return reinterpret_cast<RoInitializeFn>(reinterpret_cast<void*>(proc))(type);
}

bool isWindows7()
{
    OSVERSIONINFOW info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExW(&info))
        return false;
    return info.dwMajorVersion == 6 && info.dwMinorVersion == 1;
}

bool isProcessElevated()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    TOKEN_ELEVATION elevation{};
    DWORD returned = 0;
    const BOOL ok = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &returned);
    CloseHandle(token);
    return ok && returned == sizeof elevation && elevation.TokenIsElevated == 1;
}

DWORD relaunchElevated(const std::string& path, bool wait)
{
    DWORD enableLua = 0;
    HKEY policy = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPolicyKey, 0, KEY_READ, &policy) == ERROR_SUCCESS) {
        if (!readDword(policy, "EnableLUA", enableLua))
            enableLua = 0;
        RegCloseKey(policy);
    }

    if (enableLua == 0) {
        // Without user account control "runas" gives nothing more unless we are an administrator.
        SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
        PSID administrators = nullptr;
        if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                      0, 0, 0, 0, &administrators))
            return 0;
        BOOL member = FALSE;
        const BOOL checked = CheckTokenMembership(nullptr, administrators, &member);
        FreeSid(administrators);
        if (!checked || !member)
            return 0;
    }

    SHELLEXECUTEINFOA info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = "runas";
    info.lpFile = path.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&info))
        return 0;
    const DWORD pid = GetProcessId(info.hProcess);
    if (wait)
        WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hProcess);
    return pid;
}

void saveDriverSearchSetting()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDriverSearchingKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    // A backup left by a run that never reached its quit holds the user's value: the current
    // value is our 0 and must not replace it.
    if (!backupExists()) {
        DWORD value = 0;
        if (readDword(key, kSearchOrderConfig, value))
            writeBackup(kSearchOrderConfig, value);
        else if (valueAbsent(key, kSearchOrderConfig))
            writeBackup(kAbsentMarker, 1);
    }
    const DWORD zero = 0;
    RegSetValueExA(key, kSearchOrderConfig, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&zero), sizeof zero);
    RegCloseKey(key);
}

void restoreDriverSearchSetting()
{
    HKEY key = nullptr;
    // Without write access the backup stays for a later run that has it.
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDriverSearchingKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    bool restored = true;
    DWORD value = 0;
    DWORD absent = 0;
    if (readBackup(kSearchOrderConfig, value)) {
        restored = RegSetValueExA(key, kSearchOrderConfig, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                  sizeof value) == ERROR_SUCCESS;
    } else if (readBackup(kAbsentMarker, absent)) {
        const LSTATUS status = RegDeleteValueA(key, kSearchOrderConfig);
        restored = status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    RegCloseKey(key);
    if (restored)
        SHDeleteKeyA(HKEY_CURRENT_USER, kBackupKey);
}

bool prepareProcess(const char* argv0)
{
    if (winrt_available())
        ro_initialize(1);  // RO_INIT_MULTITHREADED; its result does not matter
    if (isWindows7()) {
        if (!isProcessElevated() && relaunchElevated(argv0 ? argv0 : "", true) != 0) {
            endProcess(ProcessEnd::Orderly, 0);
            return false;
        }
        saveDriverSearchSetting();
    }
    return true;
}
