// The framework's small data files (response caches, "paired.xml"), read and written whole through
// the wide Windows file API: a UTF-8 path reaches the file system as it is, whatever the ANSI code
// page (a profile folder named in another script), and the system's share modes apply.
#pragma once

#include <string>
#include <string_view>

namespace devio {

// The whole file; false when it cannot be opened or read.
bool read_data_file(const std::string& path, std::string& content);
// Replaces the file: the content goes to a file beside it first, which then takes its place, so
// that a write that fails part-way (a full disk) keeps the previous file. False when a step failed.
bool write_data_file(const std::string& path, std::string_view content);

} // namespace devio
