// Signature bytes into blocks: at most 17 whole blocks from address 0.
#include "DFUPureHid.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<qv::ImageRecord> out;
    const int r = qv::CDFUPureHid::ParseBin(data, size, out);
    if ((r == 0) != (size >= 16) || out.size() > 17)
        std::abort();
    for (std::size_t i = 0; i < out.size(); ++i)
        if (out[i].address != i * 16 || out[i].length != 16)
            std::abort();
    return 0;
}
