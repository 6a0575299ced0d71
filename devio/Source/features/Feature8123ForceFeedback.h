#pragma once
#include "features/Feature.h"
#include "features/IFeature8123ForceFeedback.h"

namespace devio {

class Feature8123ForceFeedback : public FeatureClass<Feature8123ForceFeedback, IFeature8123ForceFeedback>,
                                 public Producer<IFeature8123ForceFeedback::ForceNotification> {
public:
    using FeatureClass::FeatureClass;

    bool GetForceInfo(std::uint32_t* a, std::uint32_t* b) override;
    bool ResetForces() override;
    bool DownloadForceA(std::uint32_t* slot, std::uint32_t kind, std::uint32_t option, std::uint32_t flag,
                        std::uint32_t value1, std::uint32_t value2, float level, float envelopeLevel1,
                        std::uint32_t envelopeTime1, float envelopeLevel2, std::uint32_t envelopeTime2) override;
    bool DownloadForceB(std::uint32_t* slot, std::uint32_t kind, std::uint32_t option, std::uint32_t flag,
                        std::uint32_t value1, std::uint32_t value2, float level1, float level2, std::uint32_t value3,
                        float level3, float envelopeLevel1, std::uint32_t envelopeTime1, float envelopeLevel2,
                        std::uint32_t envelopeTime2, float level4) override;
    bool DownloadForceC(std::uint32_t* slot, std::uint32_t kind, std::uint32_t option, std::uint32_t flag,
                        std::uint32_t value1, std::uint32_t value2, float level1, float level2, float level3,
                        float level4, float level5, float level6) override;
    bool DownloadForceD(std::uint32_t* slot, std::uint32_t kind, std::uint32_t option, std::uint32_t flag,
                        std::uint32_t value1, std::uint32_t value2, float level1, float level2, float envelopeLevel1,
                        std::uint32_t envelopeTime1, float envelopeLevel2, std::uint32_t envelopeTime2) override;
    bool SetForceState(std::uint8_t slot, std::uint8_t state) override;
    bool ReleaseForce(std::uint8_t slot) override;
    bool GetForceSetting(std::uint32_t* value) override;
    bool SetForceSetting(std::int32_t value) override;
    bool GetForceFactors(float* a, float* b) override;
    bool SetForceFactors(float a, float b) override;

    // The scaled encodings, clamped before they become integers (NaN gives 0).
    static std::uint16_t signed_level(float v);
    static std::uint16_t unsigned_level(float v);
    static std::uint8_t byte_level(float v);
    static std::uint16_t factor(float v);
    static std::uint8_t header(std::uint32_t kind, std::uint32_t option, std::uint32_t flag);

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;

private:
    bool download(std::uint32_t* slot, std::vector<Byte> block);
};

} // namespace devio
