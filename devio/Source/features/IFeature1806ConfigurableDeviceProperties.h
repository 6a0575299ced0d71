#pragma once
#include "features/IFeature.h"

#include <array>
#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x1806: a limit, chunked data writes, a bounded value, a setting, and property
// records of an id, a flag bit, a 7-bit value and 14 data bytes.
class IFeature1806ConfigurableDeviceProperties : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1806;

    ~IFeature1806ConfigurableDeviceProperties() override = default;
    // Writes value in both cases: byte 0 on success, 0 on failure. Sent with kind 1.
    virtual bool GetMaxValue(std::uint32_t& value) = 0;
    // Pieces of 15 bytes, one after another; later pieces carry 15 x their number as first byte.
    virtual bool WriteChunks(std::uint8_t first, std::vector<Byte> data, std::uint32_t chunkIndex) = 0;
    virtual bool SetBoundedValue(std::uint32_t value) = 0;
    virtual bool SetFunction3Value(std::uint8_t value) = 0;
    // The flag bit is set only when flag is exactly 1; data is cut or zero-filled to 14 bytes.
    virtual bool WriteProperty(std::uint8_t id, std::uint8_t flag, std::uint8_t value, std::vector<Byte> data) = 0;
    virtual bool ReadProperty(std::uint32_t& id, bool& flag, std::uint32_t& value, std::array<Byte, 14>& buffer) = 0;
};

} // namespace devio
