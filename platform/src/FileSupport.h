// Internal: what the sources of files, folders, searches and the clock share.
#pragma once

#include <windows.h>

#include <sys/stat.h>

#include <ctime>
#include <string>

namespace platform::detail {

// The Windows error for a failed host call on path.
DWORD error_from_errno(int error, const std::string& path);
// A host time as a FILETIME (100 ns units since 1601).
FILETIME to_filetime(const struct timespec& ts);
// FILE_ATTRIBUTE_* of a host entry; name is its last path component.
DWORD attributes_of(const struct stat& st, const std::string& name);

}  // namespace platform::detail
