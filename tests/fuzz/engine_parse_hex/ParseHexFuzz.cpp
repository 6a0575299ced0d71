// Intel HEX text into image records: never a crash, records always inside the window.
#include "DFUPureHid.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::uint32_t start = size > 0 ? data[0] * 0x100u : 0;
    std::vector<qv::ImageRecord> out;
    for (std::uint32_t s : {0u, start}) {
        if (qv::CDFUPureHid::ParseHex(data, size, s, 0xDFFF, out) == 0 && out.empty())
            std::abort();
        for (const auto& r : out)
            if (r.length == 0 || r.length > 16 || r.address < s || r.address + r.length - 1u > 0xDFFF)
                std::abort();
    }
    return 0;
}
