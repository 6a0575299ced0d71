// "paired.xml" as the pairing bus loads it: parse, read every product id, print and parse again.
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
    // What is printed reads back as the same entries.
    const auto again = devio::parse_paired_file(devio::print_paired_file(entries));
    if (again.size() != entries.size())
        std::abort();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (again[i].path != entries[i].path || again[i].name != entries[i].name || again[i].pid != entries[i].pid ||
            again[i].radio != entries[i].radio || again[i].interfaceName != entries[i].interfaceName)
            std::abort();
    return 0;
}
