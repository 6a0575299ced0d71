// Our device image header: decoding arbitrary bytes, and encoding what was decoded again.
#include "quillon/DfuImage.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    quillon::dfu::Header header;
    if (!quillon::dfu::decodeHeader(data, size, &header))
        return 0;
    // A header that decodes writes back as the same 16 bytes.
    const auto again = quillon::dfu::encodeHeader(header);
    if (std::memcmp(again.data(), data, quillon::dfu::kHeaderSize) != 0)
        __builtin_trap();
    if (header.packetCount() == 0)
        __builtin_trap();
    return 0;
}
