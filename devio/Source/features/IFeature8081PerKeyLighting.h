#pragma once
#include "features/IFeature.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace devio {

class IRequest;

// Feature 0x8081: colours of individually addressable zones in one 16-byte block per command,
// each command synchronous (the device's echo checked), queued, or built as a report to write.
// More entries than the block holds are refused with code 46 before anything is sent.
class IFeature8081PerKeyLighting : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8081;
    static constexpr std::size_t kMaxZones = 4;
    static constexpr std::size_t kMaxTriples = 5;
    static constexpr std::size_t kMaxRanges = 3;
    static constexpr std::size_t kMaxZoneIds = 13;

    struct RgbZone {
        Byte zoneId = 0;
        Byte red = 0;
        Byte green = 0;
        Byte blue = 0;
    };
    struct RgbTriple {
        Byte red = 0;
        Byte green = 0;
        Byte blue = 0;
    };
    struct ConsecutiveRgbZones {
        Byte startZoneId = 0;
        std::vector<RgbTriple> triples;
    };
    struct RgbRange {
        std::array<Byte, 5> bytes{};
    };
    struct RgbZonesSingleValue {
        Byte red = 0;
        Byte green = 0;
        Byte blue = 0;
        std::vector<Byte> zoneIds;
    };
    using Block = std::array<Byte, 16>;

    ~IFeature8081PerKeyLighting() override = default;
    virtual bool GetInfo(Block& info) = 0;
    virtual bool SetIndividualRgbZones(std::vector<RgbZone> zones) = 0;
    virtual bool SetConsecutiveRgbZones(ConsecutiveRgbZones run) = 0;
    virtual bool SetConsecutiveRgbZonesDeltaCompression_5bit(const Block& block) = 0;
    virtual bool SetConsecutiveRgbZonesDeltaCompression_4bit(ConsecutiveRgbZones run) = 0;
    virtual bool SetRangeRgbZones(std::vector<RgbRange> ranges) = 0;
    virtual bool SetRgbZonesSingleValue(RgbZonesSingleValue value) = 0;
    virtual bool FrameEnd(std::uint8_t a, std::uint16_t b, std::uint16_t c) = 0;
    virtual std::shared_ptr<IRequest> SetIndividualRgbZones_Async(std::vector<RgbZone> zones) = 0;
    virtual std::shared_ptr<IRequest> SetConsecutiveRgbZones_Async(ConsecutiveRgbZones run) = 0;
    virtual std::shared_ptr<IRequest> SetConsecutiveRgbZonesDeltaCompression_5bit_Async(const Block& block) = 0;
    virtual std::shared_ptr<IRequest> SetConsecutiveRgbZonesDeltaCompression_4bit_Async(ConsecutiveRgbZones run) = 0;
    virtual std::shared_ptr<IRequest> SetRangeRgbZones_Async(std::vector<RgbRange> ranges) = 0;
    virtual std::shared_ptr<IRequest> SetRgbZonesSingleValue_Async(RgbZonesSingleValue value) = 0;
    virtual std::shared_ptr<IRequest> FrameEnd_Async(std::uint8_t a, std::uint16_t b, std::uint16_t c) = 0;
    virtual bool BuildIndividualRgbZonesReport(std::vector<Byte>& report, std::vector<RgbZone> zones) = 0;
    virtual bool BuildConsecutiveRgbZonesReport(std::vector<Byte>& report, ConsecutiveRgbZones run) = 0;
    virtual bool BuildDeltaCompression5bitReport(std::vector<Byte>& report, const Block& block) = 0;
    virtual bool BuildDeltaCompression4bitReport(std::vector<Byte>& report, ConsecutiveRgbZones run) = 0;
    virtual bool BuildRangeRgbZonesReport(std::vector<Byte>& report, std::vector<RgbRange> ranges) = 0;
    virtual bool BuildRgbZonesSingleValueReport(std::vector<Byte>& report, RgbZonesSingleValue value) = 0;
    virtual bool BuildFrameEndReport(std::vector<Byte>& report, std::uint8_t a, std::uint16_t b, std::uint16_t c) = 0;
};

} // namespace devio
