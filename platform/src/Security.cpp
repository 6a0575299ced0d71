// Process and security: OS version, the process token, SIDs, ShellExecuteEx and process handles.
#include "KernelObject.h"
#include "Machine.h"

#include <sim/Kernel.h>

#include <cctype>
#include <cstring>
#include <tuple>
#include <vector>

namespace platform::detail {

void registry_set_uac(bool enabled);  // Registry.cpp

namespace {

struct SecurityState {
    std::mutex mutex;
    sim::OsVersion version;
    sim::Security security;
    std::vector<sim::ShellLaunch> launches;
    DWORD nextProcessId = 4000;
    // What the program's manifest declares; a property of the program, so reset_machine keeps it.
    bool supportsWindows81 = false;
    bool supportsWindows10 = false;
};

SecurityState& state() {
    static SecurityState& s = *new SecurityState;  // never destroyed: threads may still use it at exit
    return s;
}

// The version Windows shows the process: from 8.1 on, a program whose manifest does not declare
// the running version is told 6.2 (build 9200), or 6.3 when it declares 8.1 only.
sim::OsVersion version_seen(const SecurityState& s) {
    sim::OsVersion v = s.version;
    const bool above8 = v.major > 6 || (v.major == 6 && v.minor >= 3);
    const bool above81 = v.major >= 10;
    if (!above8 || (above81 && s.supportsWindows10) || (!above81 && s.supportsWindows81))
        return v;
    if (s.supportsWindows81) {
        v.major = 6;
        v.minor = 3;
        v.build = 9600;
    } else {
        v.major = 6;
        v.minor = 2;
        v.build = 9200;
    }
    v.servicePackMajor = 0;
    v.servicePackMinor = 0;
    return v;
}

// A process started through ShellExecuteEx: it has already run to its end with exit code 0.
class Process : public KernelObject {
public:
    explicit Process(DWORD id) : m_id(id) {}
    bool is_waitable() const override { return true; }
    bool is_signaled_locked(DWORD) override { return true; }
    DWORD id() const { return m_id; }

private:
    const DWORD m_id;
};

class Token : public KernelObject {};

struct Sid {
    BYTE revision = 1;
    BYTE count = 0;
    SID_IDENTIFIER_AUTHORITY authority{};
    DWORD sub[8] = {};
};

bool is_current_process(HANDLE process) { return process == GetCurrentProcess(); }

}  // namespace

bool token_elevated() {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.security.elevated || (s.security.administrator && !s.security.uacEnabled);
}

void reset_security() {
    {
        auto& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.version = sim::OsVersion{};
        s.security = sim::Security{};
        s.launches.clear();
    }
    registry_set_uac(true);
}

}  // namespace platform::detail

using namespace platform::detail;
namespace sim = platform::sim;

BOOL GetVersionExW(LPOSVERSIONINFOW info) {
    if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW) &&
                  info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXW))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const sim::OsVersion seen = version_seen(s);
    info->dwMajorVersion = seen.major;
    info->dwMinorVersion = seen.minor;
    info->dwBuildNumber = seen.build;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
    if (info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXW)) {
        auto* ex = reinterpret_cast<LPOSVERSIONINFOEXW>(info);
        ex->wServicePackMajor = seen.servicePackMajor;
        ex->wServicePackMinor = seen.servicePackMinor;
        ex->wSuiteMask = 0x100;  // single user
        ex->wProductType = seen.productType;
        ex->wReserved = 0;
    }
    return TRUE;
}

namespace {

int type_index(DWORD typeBit) {
    for (int i = 0; i < 8; ++i)
        if (typeBit == (1u << i)) return i;
    return -1;
}

BYTE condition_of(DWORDLONG mask, DWORD typeBit) {
    int i = type_index(typeBit);
    return i < 0 ? 0 : static_cast<BYTE>((mask >> (i * 3)) & 7);
}

bool compare(ULONGLONG actual, ULONGLONG wanted, BYTE condition) {
    switch (condition) {
    case VER_EQUAL:
        return actual == wanted;
    case VER_GREATER:
        return actual > wanted;
    case VER_GREATER_EQUAL:
        return actual >= wanted;
    case VER_LESS:
        return actual < wanted;
    case VER_LESS_EQUAL:
        return actual <= wanted;
    default:
        return false;
    }
}

}  // namespace

ULONGLONG VerSetConditionMask(ULONGLONG conditionMask, DWORD typeMask, BYTE condition) {
    for (int i = 0; i < 8; ++i) {
        if (!(typeMask & (1u << i))) continue;
        conditionMask &= ~(7ull << (i * 3));
        conditionMask |= static_cast<ULONGLONG>(condition & 7) << (i * 3);
    }
    return conditionMask;
}

BOOL VerifyVersionInfoW(LPOSVERSIONINFOEXW info, DWORD typeMask, DWORDLONG conditionMask) {
    if (!info || typeMask == 0 || conditionMask == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    sim::OsVersion v;
    {
        auto& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        v = version_seen(s);
    }
    bool ok = true;
    // Major, minor and service pack form one version, compared as a whole with the condition of the
    // most significant part asked for (so 10.0 is "at least 6.1").
    const DWORD parts[] = {VER_MAJORVERSION, VER_MINORVERSION, VER_SERVICEPACKMAJOR, VER_SERVICEPACKMINOR};
    const ULONGLONG actual[] = {v.major, v.minor, v.servicePackMajor, v.servicePackMinor};
    const ULONGLONG wanted[] = {info->dwMajorVersion, info->dwMinorVersion, info->wServicePackMajor,
                                info->wServicePackMinor};
    BYTE condition = 0;
    std::vector<std::pair<ULONGLONG, ULONGLONG>> tuple;
    for (int i = 0; i < 4; ++i) {
        if (!(typeMask & parts[i])) continue;
        if (!condition) condition = condition_of(conditionMask, parts[i]);
        tuple.emplace_back(actual[i], wanted[i]);
    }
    if (!tuple.empty()) {
        int order = 0;
        for (auto& p : tuple) {
            if (p.first != p.second) {
                order = p.first < p.second ? -1 : 1;
                break;
            }
        }
        ok = compare(static_cast<ULONGLONG>(order + 1), 1, condition);
    }
    if (ok && (typeMask & VER_BUILDNUMBER))
        ok = compare(v.build, info->dwBuildNumber, condition_of(conditionMask, VER_BUILDNUMBER));
    if (ok && (typeMask & VER_PLATFORMID))
        ok = compare(VER_PLATFORM_WIN32_NT, info->dwPlatformId, condition_of(conditionMask, VER_PLATFORMID));
    if (ok && (typeMask & VER_PRODUCT_TYPE))
        ok = compare(v.productType, info->wProductType, condition_of(conditionMask, VER_PRODUCT_TYPE));
    if (!ok) {
        SetLastError(ERROR_OLD_WIN_VERSION);
        return FALSE;
    }
    return TRUE;
}

BOOL OpenProcessToken(HANDLE process, DWORD, PHANDLE token) {
    if (!token) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!is_current_process(process) && !lookup_handle_as<Process>(process)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *token = insert_handle(std::make_shared<Token>());
    return TRUE;
}

BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info, DWORD length,
                         PDWORD returnLength) {
    if (!lookup_handle_as<Token>(token)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    sim::Security sec;
    {
        auto& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        sec = s.security;
    }
    DWORD value;
    switch (infoClass) {
    case TokenElevation:
        value = token_elevated() ? 1 : 0;
        break;
    case TokenElevationType:
        if (!sec.administrator || !sec.uacEnabled)
            value = TokenElevationTypeDefault;
        else
            value = sec.elevated ? TokenElevationTypeFull : TokenElevationTypeLimited;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (returnLength) *returnLength = 4;
    if (!info || length < 4) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(info, &value, 4);
    return TRUE;
}

BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD sub0, DWORD sub1, DWORD sub2,
                              DWORD sub3, DWORD sub4, DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid) {
    if (!authority || !sid || count == 0 || count > 8) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto* s = new Sid;
    s->count = count;
    s->authority = *authority;
    const DWORD subs[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
    std::copy(subs, subs + count, s->sub);
    *sid = s;
    return TRUE;
}

PVOID FreeSid(PSID sid) {
    delete static_cast<Sid*>(sid);
    return nullptr;
}

BOOL CheckTokenMembership(HANDLE token, PSID sid, PBOOL isMember) {
    if (!sid || !isMember) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (token && !lookup_handle_as<Token>(token)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const auto* s = static_cast<const Sid*>(sid);
    const SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    bool builtin = std::memcmp(s->authority.Value, nt.Value, 6) == 0 && s->count == 2 &&
                   s->sub[0] == SECURITY_BUILTIN_DOMAIN_RID;
    bool member = false;
    if (builtin && s->sub[1] == DOMAIN_ALIAS_RID_ADMINS) member = token_elevated();  // filtered when limited
    if (builtin && s->sub[1] == DOMAIN_ALIAS_RID_USERS) member = true;
    *isMember = member ? TRUE : FALSE;
    return TRUE;
}

namespace {

BOOL shell_execute(const std::string& verb, const std::string& file, const std::string& parameters,
                   const std::string& directory, int show, ULONG mask, HINSTANCE* instApp, HANDLE* process) {
    if (file.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        *instApp = reinterpret_cast<HINSTANCE>(2);
        return FALSE;
    }
    DWORD pid;
    {
        auto& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (lower(verb) == "runas" && !s.security.consentGiven) {
            *instApp = reinterpret_cast<HINSTANCE>(5);  // access denied
            SetLastError(ERROR_CANCELLED);
            return FALSE;
        }
        pid = s.nextProcessId;
        s.nextProcessId += 4;
        s.launches.push_back(sim::ShellLaunch{verb, file, parameters, directory, show, pid});
    }
    *instApp = reinterpret_cast<HINSTANCE>(42);
    if (mask & SEE_MASK_NOCLOSEPROCESS) *process = insert_handle(std::make_shared<Process>(pid));
    return TRUE;
}

std::string narrow(LPCSTR text) { return text ? std::string(text) : std::string(); }
std::string narrow(LPCWSTR text) { return utf16_to_utf8(wide_string(text)); }

}  // namespace

BOOL ShellExecuteExA(SHELLEXECUTEINFOA* info) {
    if (!info || info->cbSize != sizeof(SHELLEXECUTEINFOA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->hProcess = nullptr;
    return shell_execute(narrow(info->lpVerb), narrow(info->lpFile), narrow(info->lpParameters),
                         narrow(info->lpDirectory), info->nShow, info->fMask, &info->hInstApp, &info->hProcess);
}

BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info) {
    if (!info || info->cbSize != sizeof(SHELLEXECUTEINFOW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->hProcess = nullptr;
    return shell_execute(narrow(info->lpVerb), narrow(info->lpFile), narrow(info->lpParameters),
                         narrow(info->lpDirectory), info->nShow, info->fMask, &info->hInstApp, &info->hProcess);
}

DWORD GetProcessId(HANDLE process) {
    if (is_current_process(process)) return GetCurrentProcessId();
    if (auto p = lookup_handle_as<Process>(process)) return p->id();
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    if (!exitCode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (is_current_process(process)) {
        *exitCode = STILL_ACTIVE;
        return TRUE;
    }
    if (!lookup_handle_as<Process>(process)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *exitCode = 0;
    return TRUE;
}

namespace platform::sim {

void set_os_version(const OsVersion& version) {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.version = version;
}

void declare_manifest(const std::string& manifest) {
    // The compatibility section's supportedOS ids of Windows 10 and of Windows 8.1 (GUIDs compare
    // without regard to case).
    std::string text = manifest;
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto declares = [&text](const char* id) {
        return text.find(std::string("supportedos id=\"") + id + "\"") != std::string::npos;
    };
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.supportsWindows10 = declares("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}");
    s.supportsWindows81 = declares("{1f676c76-80e1-4239-95bb-83d0f6d0da78}");
}

OsVersion os_version() {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.version;
}

void set_security(const Security& security) {
    {
        auto& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.security = security;
    }
    registry_set_uac(security.uacEnabled);
}

Security security() {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.security;
}

std::vector<ShellLaunch> shell_launches() {
    auto& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.launches;
}

}  // namespace platform::sim
