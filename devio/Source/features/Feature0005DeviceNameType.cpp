#include "features/Feature0005DeviceNameType.h"

#include "features/FeatureRegistry.h"

namespace devio {

// Every request is repeatable and read-only (kind 1): the device may answer it from its cache.

bool Feature0005DeviceNameType::GetCount(std::uint32_t* count)
{
    std::vector<Byte> reply;
    if (!execute_payload(0, {}, 1, 1, reply))
        return false;
    if (count)
        *count = reply[0];
    return true;
}

bool Feature0005DeviceNameType::GetName(std::uint8_t charIndex, std::vector<Byte>* chunk)
{
    std::vector<Byte> reply;
    if (!execute(1, {charIndex}, reply, 1))
        return false;
    if (chunk)
        *chunk = reply;
    return true;
}

bool Feature0005DeviceNameType::GetName(std::string* name)
{
    if (!m_cached_name_valid) {
        std::uint32_t count = 0;
        if (!GetCount(&count))
            return false;
        m_cached_name.clear();
        std::uint32_t position = 0;
        while (position < count) {
            std::vector<Byte> chunk;
            if (!GetName(static_cast<std::uint8_t>(position), &chunk))
                return false;
            if (chunk.empty()) {
                set_last_error(29, 0, nullptr);
                return false;
            }
            m_cached_name.append(chunk.begin(), chunk.end());
            position += static_cast<std::uint32_t>(chunk.size());
        }
        m_cached_name.resize(count);
        m_cached_name_valid = true;
    }
    if (name && name != &m_cached_name)
        *name = m_cached_name;
    return true;
}

bool Feature0005DeviceNameType::GetType(std::uint32_t* type)
{
    std::uint8_t value = 0;
    if (!GetType(&value))
        return false;
    if (type)
        *type = value;
    return true;
}

bool Feature0005DeviceNameType::GetType(std::uint8_t* type)
{
    std::vector<Byte> reply;
    if (!execute_payload(2, {}, 1, 1, reply))
        return false;
    if (type)
        *type = reply[0];
    return true;
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature0005DeviceNameType, 0x0005)
