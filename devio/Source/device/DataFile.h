// The framework's small data files (response caches, "paired.xml"), read and written whole through
// the wide Windows file API: a UTF-8 path reaches the file system as it is, whatever the ANSI code
// page (a profile folder named in another script), and the system's share modes apply.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace devio {

enum class DataFileRead {
    Read,
    NotFound,    // neither the file nor its folder exists
    Unreadable,  // it may exist but could not be opened or read (shared, denied, a read error)
};

// The whole file. When it is not read, *error (when given) receives the system's error.
DataFileRead read_data_file(const std::string& path, std::string& content, std::uint32_t* error = nullptr);
// Replaces the file: the content goes to a file beside it first, which reaches the disk before it
// takes the file's place, so that a write that fails part-way (a full disk) or a power cut keeps
// the previous file whole. False when a step failed; *error (when given) then receives the
// system's error.
bool write_data_file(const std::string& path, std::string_view content, std::uint32_t* error = nullptr);

} // namespace devio
