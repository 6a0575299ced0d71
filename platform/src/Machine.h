// Internal: the simulated machine's shared state (root folder, resets) used across platform/src.
#pragma once

#include <windows.h>

#include <string>

namespace platform::detail {

std::string machine_root();
// Folder for named kernel objects below the machine root (created on demand).
std::string kernel_object_folder();
// Windows path of the running program (GetModuleFileNameW(NULL)).
std::u16string module_file_name();
// Absolute Windows form of a path ("C:\..."), relative paths taken from the program's folder.
std::u16string full_windows_path(const std::u16string& path);

// Name of a built-in module behind a handle ("hid.dll"); empty when the handle is not one.
std::string module_display_name(HMODULE module);

// Resets of each area, called by platform::sim::reset_machine().
void reset_debug_output();
void reset_registry();
void reset_modules();
void reset_security();

}  // namespace platform::detail
