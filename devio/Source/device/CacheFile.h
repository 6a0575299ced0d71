// A response cache file, parsed from and printed to text apart from the device and its files.
#pragma once

#include "core/Types.h"

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace devio {

struct CacheFile {
    std::string firmware;  // "fw": the firmware the replies belong to
    std::string path;      // "path": the device's path, for whoever reads the file; not used when loading
    std::map<std::vector<Byte>, std::vector<Byte>> replies;  // command -> reply
};

// A damaged file: the parser's error, nesting too deep, or a firmware text that could not be written
// back.
class CacheFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Nothing without a top-level "cache" element. Absent attributes read as empty; hex as
// hex_to_bytes reads it; a later command replaces an earlier one. Throws CacheFileError.
std::optional<CacheFile> parse_cache(std::string_view text);
// Nothing when the firmware text or the path holds a character that cannot be written so that it
// reads back (a control character).
std::optional<std::string> print_cache(const CacheFile& file);

} // namespace devio
