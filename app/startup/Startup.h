// Preparing the process before the window exists, and putting things back at quit: the Windows
// Runtime, and on Windows 7 an elevated relaunch and Windows Update's driver-search setting.
#pragma once

#include <windows.h>

#include <string>

// "combase.dll" bound at run time: true when RoInitialize, RoGetActivationFactory and
// RoActivateInstance are all exported. Each is looked up once.
bool winrt_available();
// RoInitialize(type); E_FAIL when the export is missing.
HRESULT ro_initialize(std::uint32_t type);

// Major and minor version 6.1, as GetVersionExW reports them.
bool isWindows7();
// TokenElevation of the process token reads exactly 1.
bool isProcessElevated();
// Starts `path` again through the "runas" verb; with `wait`, returns once it has ended.
// Its process id, or 0 when no copy was started (UAC off and not an administrator, consent
// refused, launch failed).
DWORD relaunchElevated(const std::string& path, bool wait);

// Windows Update's "SearchOrderConfig" under HKEY_LOCAL_MACHINE is held at 0 while we run; the
// user's value waits in "SOFTWARE\Tarnwick\Quillon" under HKEY_CURRENT_USER.
void saveDriverSearchSetting();
void restoreDriverSearchSetting();

// Start-up before the Qt application exists: the Windows Runtime, then on Windows 7 an elevated
// relaunch (after which this process ends through endProcess) and the driver-search setting.
// False when this process must not go on.
bool prepareProcess(const char* argv0);
