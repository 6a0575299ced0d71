#pragma once
#include "features/Feature.h"
#include "features/IFeature8081PerKeyLighting.h"

namespace devio {

class Feature8081PerKeyLighting : public FeatureClass<Feature8081PerKeyLighting, IFeature8081PerKeyLighting> {
public:
    using FeatureClass::FeatureClass;

    bool GetInfo(Block& info) override;
    bool SetIndividualRgbZones(std::vector<RgbZone> zones) override;
    bool SetConsecutiveRgbZones(ConsecutiveRgbZones run) override;
    bool SetConsecutiveRgbZonesDeltaCompression_5bit(const Block& block) override;
    bool SetConsecutiveRgbZonesDeltaCompression_4bit(ConsecutiveRgbZones run) override;
    bool SetRangeRgbZones(std::vector<RgbRange> ranges) override;
    bool SetRgbZonesSingleValue(RgbZonesSingleValue value) override;
    bool FrameEnd(std::uint8_t a, std::uint16_t b, std::uint16_t c) override;
    std::shared_ptr<IRequest> SetIndividualRgbZones_Async(std::vector<RgbZone> zones) override;
    std::shared_ptr<IRequest> SetConsecutiveRgbZones_Async(ConsecutiveRgbZones run) override;
    std::shared_ptr<IRequest> SetConsecutiveRgbZonesDeltaCompression_5bit_Async(const Block& block) override;
    std::shared_ptr<IRequest> SetConsecutiveRgbZonesDeltaCompression_4bit_Async(ConsecutiveRgbZones run) override;
    std::shared_ptr<IRequest> SetRangeRgbZones_Async(std::vector<RgbRange> ranges) override;
    std::shared_ptr<IRequest> SetRgbZonesSingleValue_Async(RgbZonesSingleValue value) override;
    std::shared_ptr<IRequest> FrameEnd_Async(std::uint8_t a, std::uint16_t b, std::uint16_t c) override;
    bool BuildIndividualRgbZonesReport(std::vector<Byte>& report, std::vector<RgbZone> zones) override;
    bool BuildConsecutiveRgbZonesReport(std::vector<Byte>& report, ConsecutiveRgbZones run) override;
    bool BuildDeltaCompression5bitReport(std::vector<Byte>& report, const Block& block) override;
    bool BuildDeltaCompression4bitReport(std::vector<Byte>& report, ConsecutiveRgbZones run) override;
    bool BuildRangeRgbZonesReport(std::vector<Byte>& report, std::vector<RgbRange> ranges) override;
    bool BuildRgbZonesSingleValueReport(std::vector<Byte>& report, RgbZonesSingleValue value) override;
    bool BuildFrameEndReport(std::vector<Byte>& report, std::uint8_t a, std::uint16_t b, std::uint16_t c) override;

private:
    // Frames the parameters into `report`, which is replaced only on success.
    bool build(std::vector<Byte>& report, std::uint32_t function, const std::vector<Byte>& params);
    // A synchronous write: the exchange, then `echo_ok` on the reply (false: code in the last error).
    template <class Check>
    bool write_checked(std::uint32_t function, const std::vector<Byte>& params, Check echo_ok);
};

} // namespace devio
