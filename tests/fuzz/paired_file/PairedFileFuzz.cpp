// "paired.xml" as the pairing bus loads it: parse, read every product id, print and parse again.
// (tests/fuzz/paired_bus takes the file through the bus itself.)
#include "bluetooth/PairedFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<devio::PairedEntry> entries;
    try {
        entries = devio::parse_paired_file(text);
    } catch (const devio::PairedFileError&) {
        return 0;
    }
    for (const auto& e : entries) {
        try {
            devio::parse_paired_pid(e.pid);
        } catch (const std::invalid_argument&) {
        } catch (const std::out_of_range&) {
        }
    }
    // What is printed reads back as the same entries: every one that can be written.
    std::vector<devio::PairedEntry> writable;
    for (const auto& e : entries)
        if (devio::paired_entry_writable(e))
            writable.push_back(e);
    const auto again = devio::parse_paired_file(devio::print_paired_file(entries));
    if (again.size() != writable.size())
        std::abort();
    for (std::size_t i = 0; i < writable.size(); ++i)
        if (again[i].path != writable[i].path || again[i].name != writable[i].name || again[i].pid != writable[i].pid ||
            again[i].radio != writable[i].radio || again[i].interfaceName != writable[i].interfaceName)
            std::abort();
    return 0;
}
