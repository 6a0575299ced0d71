// "paired.xml": the remembered Bluetooth devices, parsed from and printed to text apart from any
// file or bus, so that tests and fuzzers reach the format directly.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace devio {

struct PairedEntry {
    std::string path;
    std::string pid;  // as written: upper-case hexadecimal, no prefix
    std::string name;
    std::string radio;
    std::string interfaceName;  // "bluetooth", "bletessel" or "blepp"
};

// A document the parser rejects; the text is the parser's own literal (e.g. "expected <").
class PairedFileError : public std::runtime_error {
public:
    explicit PairedFileError(const char* literal) : std::runtime_error(literal), m_text(literal) {}
    const char* text() const { return m_text; }

private:
    const char* m_text;
};

// Entries in file order, values as the file holds them: the first `device` element below the first
// top-level `devices` and every sibling after it; an entry lacking one of the five attributes is
// skipped. A UTF-8 byte-order mark is skipped. Throws PairedFileError.
std::vector<PairedEntry> parse_paired_file(std::string_view text);
// False when a value holds a character that cannot be written so that it reads back: a NUL or
// another control character (a character reference in the file brings them in).
bool paired_entry_writable(const PairedEntry& entry);
// Only writable entries are printed, so that what is printed parses back to the same entries.
std::string print_paired_file(const std::vector<PairedEntry>& entries);

// Hexadecimal as the standard library's stoul reads it, within 32 bits; throws
// std::invalid_argument ("invalid stoul argument") or std::out_of_range ("stoul argument out of range").
std::uint32_t parse_paired_pid(const std::string& text);
std::string format_paired_pid(std::uint32_t productId);

} // namespace devio
