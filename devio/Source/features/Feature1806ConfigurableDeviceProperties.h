#pragma once
#include "features/Feature.h"
#include "features/IFeature1806ConfigurableDeviceProperties.h"

namespace devio {

class Feature1806ConfigurableDeviceProperties
    : public FeatureClass<Feature1806ConfigurableDeviceProperties, IFeature1806ConfigurableDeviceProperties> {
public:
    using FeatureClass::FeatureClass;

    bool GetMaxValue(std::uint32_t& value) override;
    bool WriteChunks(std::uint8_t first, std::vector<Byte> data, std::uint32_t chunkIndex) override;
    bool SetBoundedValue(std::uint32_t value) override;
    bool SetFunction3Value(std::uint8_t value) override;
    bool WriteProperty(std::uint8_t id, std::uint8_t flag, std::uint8_t value, std::vector<Byte> data) override;
    bool ReadProperty(std::uint32_t& id, bool& flag, std::uint32_t& value, std::array<Byte, 14>& buffer) override;
};

} // namespace devio
