#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x1A00: a 16-bit presenter setting and a 10-byte presenter configuration record.
class IFeature1A00PresenterControl : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1A00;

    ~IFeature1A00PresenterControl() override = default;
    virtual bool GetPresenterSetting(unsigned short* value) = 0;
    virtual bool SetPresenterSetting(short value, std::uint8_t extra) = 0;
    virtual bool SetPresenterConfiguration(std::uint8_t selector, std::uint8_t config0, short config1,
                                           std::uint8_t config3, unsigned short config4, std::uint8_t config6,
                                           std::uint8_t config7, std::uint8_t config8, std::uint8_t config9) = 0;
    // config9 is written only when the reply holds all 10 bytes.
    virtual bool GetPresenterConfiguration(std::uint8_t* config0, unsigned short* config1, std::uint8_t* config3,
                                           unsigned short* config4, std::uint8_t* config6, std::uint8_t* config7,
                                           std::uint8_t* config8, std::uint8_t* config9) = 0;
};

} // namespace devio
