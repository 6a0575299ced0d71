#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x9001: test access to a mouse's optical sensor: registers, commands, measurements.
class IFeature9001TestPMW3816 : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x9001;

    class Event {
    public:
        virtual void OnTrackingReport(std::uint16_t /*first*/, std::uint16_t /*second*/, std::uint8_t /*b4*/,
                                      std::uint8_t /*b5*/, std::uint8_t /*b6*/, std::uint8_t /*b7*/,
                                      std::uint16_t /*seventh*/, std::uint16_t /*eighth*/, std::uint8_t /*ninth*/,
                                      std::uint16_t /*tenth*/)
        {
        }
        virtual void OnFrameCaptureReport(const std::vector<Byte>& /*frame*/) {}
        virtual ~Event() = default;
    };

    ~IFeature9001TestPMW3816() override = default;
    virtual bool ReadRegister(std::uint8_t address, std::uint8_t* value) = 0;
    virtual bool WriteRegister(std::uint8_t address, std::uint8_t value) = 0;
    virtual bool SendFunction2() = 0;
    virtual bool SendFunction3() = 0;
    virtual bool SendFunction4(std::int16_t value) = 0;
    virtual bool SendFunction5() = 0;
    virtual bool SendFunction6() = 0;
};

} // namespace devio
