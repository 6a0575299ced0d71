#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x8123: force definitions sent into device slots, their state and release, two
// device-wide values, and reports of expired forces. Blocks B to D outgrow the long report and
// need a transport with 64-byte reports.
class IFeature8123ForceFeedback : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8123;

    class ForceNotification {
    public:
        virtual void onExpiredForces(const std::vector<unsigned int>& /*slots*/) {}
        virtual ~ForceNotification() = default;
    };

    ~IFeature8123ForceFeedback() override = default;
    virtual bool GetForceInfo(std::uint32_t* a, std::uint32_t* b) = 0;
    virtual bool ResetForces() = 0;
    // Levels are fractions: signed and unsigned levels scale by 32767, byte levels by 255.
    // The slot goes out as byte 0 and comes back as the device's slot number.
    virtual bool DownloadForceA(std::uint32_t* slot, std::uint32_t kind, std::uint32_t option, std::uint32_t flag,
                                std::uint32_t value1, std::uint32_t value2, float level, float envelopeLevel1,
                                std::uint32_t envelopeTime1, float envelopeLevel2, std::uint32_t envelopeTime2) = 0;
    virtual bool DownloadForceB(std::uint32_t* slot, std::uint32_t kind, std::uint32_t option, std::uint32_t flag,
                                std::uint32_t value1, std::uint32_t value2, float level1, float level2,
                                std::uint32_t value3, float level3, float envelopeLevel1, std::uint32_t envelopeTime1,
                                float envelopeLevel2, std::uint32_t envelopeTime2, float level4) = 0;
    virtual bool DownloadForceC(std::uint32_t* slot, std::uint32_t kind, std::uint32_t option, std::uint32_t flag,
                                std::uint32_t value1, std::uint32_t value2, float level1, float level2, float level3,
                                float level4, float level5, float level6) = 0;
    virtual bool DownloadForceD(std::uint32_t* slot, std::uint32_t kind, std::uint32_t option, std::uint32_t flag,
                                std::uint32_t value1, std::uint32_t value2, float level1, float level2,
                                float envelopeLevel1, std::uint32_t envelopeTime1, float envelopeLevel2,
                                std::uint32_t envelopeTime2) = 0;
    virtual bool SetForceState(std::uint8_t slot, std::uint8_t state) = 0;
    virtual bool ReleaseForce(std::uint8_t slot) = 0;
    virtual bool GetForceSetting(std::uint32_t* value) = 0;
    virtual bool SetForceSetting(std::int32_t value) = 0;
    virtual bool GetForceFactors(float* a, float* b) = 0;
    virtual bool SetForceFactors(float a, float b) = 0;
};

} // namespace devio
