#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x4531: platform summary, per-index platform records and states, platform choice.
class IFeature4531MultiPlatform : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x4531;

    class Report {
    public:
        virtual void onPlatformChangeEvent(short /*first*/, short /*second*/, short /*third*/) {}
        virtual ~Report() = default;
    };

    ~IFeature4531MultiPlatform() override = default;
    // first: a signed 16-bit value widened to 32 bits.
    virtual bool GetPlatformInfo(std::uint32_t* first, std::uint16_t* second, std::uint16_t* third,
                                 std::uint16_t* fourth, std::uint16_t* fifth, std::uint16_t* sixth) = 0;
    virtual bool GetPlatformRecord(std::uint8_t index, std::vector<Byte>* record) = 0;
    virtual bool GetPlatformState(std::uint8_t index, std::uint16_t* v0, std::uint16_t* v1, std::uint16_t* v2,
                                  std::uint16_t* v3, std::uint16_t* v4, std::uint16_t* v5) = 0;
    virtual bool SetPlatform(std::uint8_t first, std::uint8_t second) = 0;
};

} // namespace devio
