// Control API of the simulated machine: the kernel, files, registry, modules, process and security.
// Tests and the program drive the stand-in Windows layer through these functions.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace platform::sim {

// Returns the machine to its defaults: a fresh temporary root folder (removed at exit), an empty
// registry, default OS version and security, no module switches, zeroed counters, no debug output.
// Windows, classes and open handles are left alone. Other parts of the machine reset with it.
void reset_machine();
// Root folder on the host under which the Windows drives live ("<root>/C/ProgramData/...").
// Default: $QUILLON_MACHINE_ROOT, else /tmp/quillon-machine-<uid>.
std::string machine_root();
void set_machine_root(const std::string& hostFolder);
// Where a Windows path ("C:\ProgramData\x.ini") lives on the host.
std::string host_path(const std::string& windowsPath);
std::string host_path(const std::u16string& windowsPath);
// Seeding and inspecting files by Windows path; parent folders are created.
bool write_file(const std::string& windowsPath, const std::string& content);
bool read_file(const std::string& windowsPath, std::string& content);

// Debugger output (OutputDebugStringA/W), one entry per call, UTF-8.
std::vector<std::string> debug_output();
void clear_debug_output();
void set_debug_echo(bool toStderr);  // default: on when $QUILLON_DEBUG_ECHO is set
bool wait_for_debug_output(const std::string& containing, unsigned timeoutMs);

// Built-in modules: make a module or one entry point absent (LoadLibrary 126, GetProcAddress 127).
void set_module_absent(const std::string& module, bool absent);
void set_entry_absent(const std::string& module, const std::string& entry, bool absent);
unsigned module_load_count(const std::string& module);    // successful loads
unsigned module_lookup_count(const std::string& module, const std::string& entry);  // look-ups, found or not
int module_reference_count(const std::string& module);    // loads minus frees
bool module_registered(const std::string& module);

// Registry seeding (UTF-8 paths below a root key such as HKEY_LOCAL_MACHINE).
void registry_clear();
void registry_set_string(HKEY root, const std::string& key, const std::string& name, const std::string& value);
void registry_set_dword(HKEY root, const std::string& key, const std::string& name, DWORD value);
void registry_set_binary(HKEY root, const std::string& key, const std::string& name,
                         const std::vector<std::uint8_t>& value);
void registry_create_key(HKEY root, const std::string& key);
bool registry_get_string(HKEY root, const std::string& key, const std::string& name, std::string& value);
bool registry_get_dword(HKEY root, const std::string& key, const std::string& name, DWORD& value);
bool registry_key_exists(HKEY root, const std::string& key);

// Operating system version seen by GetVersionExW / VerifyVersionInfoW (default Windows 10).
struct OsVersion {
    DWORD major = 10;
    DWORD minor = 0;
    DWORD build = 19045;
    WORD servicePackMajor = 0;
    WORD servicePackMinor = 0;
    BYTE productType = VER_NT_WORKSTATION;
};
void set_os_version(const OsVersion& version);
OsVersion os_version();
// The program's application manifest (its XML text), as Windows' loader reads it from the
// executable. As on Windows, from 8.1 on a process is told the version its manifest declares
// support for (6.2 with none); the program's entry point declares it, reset_machine keeps it.
void declare_manifest(const std::string& manifest);

// The user and token the process runs with. Elevated token: `elevated`, or an administrator with
// UAC off. Administrators-group membership counts only for an elevated token.
struct Security {
    bool administrator = true;
    bool elevated = false;
    bool uacEnabled = true;
    bool consentGiven = true;  // answer to a "runas" consent prompt
};
void set_security(const Security& security);
Security security();

// Programs started through ShellExecuteExA/W (recorded, not run).
struct ShellLaunch {
    std::string verb;
    std::string file;
    std::string parameters;
    std::string directory;
    int show = 0;
    DWORD processId = 0;
};
std::vector<ShellLaunch> shell_launches();

// GetModuleFileNameW(NULL, ...); default "C:\Program Files\Quillon\Quillon.exe".
void set_module_file_name(const std::u16string& windowsPath);

// Windows and messages.
size_t window_count();
// Messages sent (SendMessage from another thread) to the window's thread and not yet picked up.
size_t pending_sent_messages(HWND window);
// How long a broadcast (power, device change) waits for each window; default 10000.
void set_broadcast_timeout(unsigned milliseconds);
// Sends WM_POWERBROADCAST (PBT_APMSUSPEND, PBT_APMRESUMESUSPEND, PBT_APMRESUMEAUTOMATIC...) to every
// top-level window and returns once all handled it.
void broadcast_power(WPARAM event);

}  // namespace platform::sim
