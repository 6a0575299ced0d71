#include "features/Feature0007DeviceFriendlyName.h"

#include "features/FeatureRegistry.h"

#include <algorithm>

namespace devio {

bool Feature0007DeviceFriendlyName::GetFriendlyNameLen(std::uint16_t* nameLength, std::uint16_t* maxNameLength,
                                                       std::uint16_t* defaultNameLength)
{
    std::vector<Byte> reply;
    if (!execute_payload(0, {}, 0, 3, reply))
        return false;
    if (nameLength)
        *nameLength = reply[0];
    if (maxNameLength)
        *maxNameLength = reply[1];
    if (defaultNameLength)
        *defaultNameLength = reply[2];
    return true;
}

bool Feature0007DeviceFriendlyName::read_chunk(std::uint32_t function, std::uint16_t position,
                                               std::vector<Byte>* chunk)
{
    std::vector<Byte> reply;
    if (!execute_payload(function, {Byte(position)}, 0, 16, reply))
        return false;
    // Byte 0 echoes the position.
    if (chunk)
        chunk->assign(reply.begin() + 1, reply.end());
    return true;
}

bool Feature0007DeviceFriendlyName::read_name(std::uint16_t length, std::uint32_t function, std::string* name)
{
    if (!name)
        return false;
    name->clear();
    std::uint16_t position = 0;
    while (position < length) {
        std::vector<Byte> chunk;
        if (!read_chunk(function, position, &chunk))
            return false;
        if (chunk.empty() || chunk[0] == 0)
            return true;
        // Fill bytes after the name's end stay: the last chunk is not cut to the length.
        name->append(chunk.begin(), chunk.end());
        position = static_cast<std::uint16_t>(position + chunk.size());
    }
    return true;
}

bool Feature0007DeviceFriendlyName::GetFriendlyName(std::string* name)
{
    std::uint16_t length = 0;
    if (!GetFriendlyNameLen(&length, nullptr, nullptr))
        return false;
    return read_name(length, 1, name);
}

bool Feature0007DeviceFriendlyName::GetFriendlyName(std::uint16_t position, std::vector<Byte>* chunk)
{
    return read_chunk(1, position, chunk);
}

bool Feature0007DeviceFriendlyName::GetDefaultFriendlyName(std::string* name)
{
    std::uint16_t length = 0;
    if (!GetFriendlyNameLen(nullptr, nullptr, &length))
        return false;
    return read_name(length, 2, name);
}

bool Feature0007DeviceFriendlyName::GetDefaultFriendlyName(std::uint16_t position, std::vector<Byte>* chunk)
{
    return read_chunk(2, position, chunk);
}

bool Feature0007DeviceFriendlyName::SetFriendlyName(std::uint8_t position, const std::vector<Byte>& chunk)
{
    std::vector<Byte> params(1 + chunk.size());
    params[0] = position;
    std::copy(chunk.begin(), chunk.end(), params.begin() + 1);
    std::vector<Byte> reply;
    if (!execute_payload(3, params, 0, 1, reply))
        return false;
    return true;
}

bool Feature0007DeviceFriendlyName::SetFriendlyName(const std::string& name)
{
    std::uint16_t maxLength = 0;
    if (!GetFriendlyNameLen(nullptr, &maxLength, nullptr))
        return false;
    const std::size_t max = maxLength;
    std::size_t n = std::min(max, name.size());
    // Never split a UTF-8 character at the device's maximum length.
    if (n > 0 && static_cast<Byte>(name[n - 1]) >= 0x80) {
        static const Byte kLeadMasks[] = {0xFC, 0xF8, 0xF0, 0xE0, 0xC0};
        static const std::size_t kLengths[] = {6, 5, 4, 3, 2};
        for (std::size_t p = n; p-- > 0;) {
            const Byte b = static_cast<Byte>(name[p]);
            std::size_t sequence = 0;
            for (int m = 0; m < 5 && sequence == 0; ++m)
                if ((b & kLeadMasks[m]) == kLeadMasks[m])
                    sequence = kLengths[m];
            if (sequence != 0) {
                if (p + sequence > max)
                    n = p;
                break;
            }
        }
    }
    for (std::size_t position = 0; position < n; position += 15) {
        const std::size_t count = std::min<std::size_t>(15, n - position);
        std::vector<Byte> chunk(name.begin() + position, name.begin() + position + count);
        chunk.resize(15, 0);
        if (!SetFriendlyName(static_cast<std::uint8_t>(position), chunk))
            return false;
    }
    return true;
}

bool Feature0007DeviceFriendlyName::ResetFriendlyName()
{
    std::vector<Byte> reply;
    return execute(4, {}, reply, 0);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature0007DeviceFriendlyName, 0x0007)
