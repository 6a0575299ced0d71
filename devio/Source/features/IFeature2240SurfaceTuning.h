#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x2240: tunes a pointing device to the surface under it.
class IFeature2240SurfaceTuning : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x2240;

    class Report {
    public:
        // succeeded: the device's status byte was 0.
        virtual void onShutterCalibrationDone(bool /*succeeded*/, Byte /*result1*/) {}
        virtual void onSqualCalibrationDone(bool /*succeeded*/, Byte /*result1*/, Byte /*result2*/) {}
        virtual ~Report() = default;
    };

    ~IFeature2240SurfaceTuning() override = default;
    // block receives 9 bytes.
    virtual bool GetSurfaceTuningInfo(std::uint8_t* block) = 0;
    // setting holds 3 bytes.
    virtual bool SetSurfaceTuning(const std::uint8_t* setting) = 0;
    virtual bool SurfaceTuningCommand2() = 0;
    virtual bool SurfaceTuningCommand3() = 0;
    virtual bool SurfaceTuningCommand4() = 0;
    virtual bool SurfaceTuningCommand5() = 0;
    virtual bool SurfaceTuningCommand6() = 0;
};

} // namespace devio
