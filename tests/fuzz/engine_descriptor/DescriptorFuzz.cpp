// Descriptor files through the decoder: plain text passes whole, enciphered text is checked.
#include "DescriptorCodec.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto plain = qv::decode_descriptor(data, size);
    const auto& marker = qv::descriptor_marker();
    const bool enciphered = size >= marker.size() && std::memcmp(data, marker.data(), marker.size()) == 0;
    if (!enciphered && (!plain || plain->size() != size))
        std::abort();
    if (enciphered && plain && plain->size() + 140 > size)
        std::abort();
    return 0;
}
