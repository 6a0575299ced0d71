#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x807A: indicator LEDs whose states travel as three bytes (mode 1), one byte (mode 2)
// or one bit (mode 3) per LED.
class IFeature807aRpmIndicator : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x807A;

    enum mode : std::uint8_t {};

    class Report {
    public:
        virtual void OnRPMModeChanged(mode /*newMode*/) {}
        virtual ~Report() = default;
    };

    ~IFeature807aRpmIndicator() override = default;
    virtual bool GetInfo(std::uint8_t* mode, std::uint32_t* infoByte1, std::uint32_t* ledCount) = 0;
    virtual bool GetLedBytes(std::vector<Byte>* bytes) = 0;
    virtual bool GetStateByte(std::uint8_t* value) = 0;
    virtual bool GetIndexedByte(std::uint8_t index, std::uint8_t* value) = 0;
    virtual bool GetLedStates(std::uint8_t first, std::uint8_t count, std::vector<std::uint32_t>& states) = 0;
    // Packed states beyond one long report are refused with code 46.
    virtual bool SetLedStates(std::uint8_t first, std::uint8_t count, const std::vector<std::uint32_t>& states) = 0;
    virtual bool SetThreeWords(std::uint32_t a, std::uint32_t b, std::uint32_t c) = 0;
    virtual bool GetThreeWords(std::uint32_t* a, std::uint32_t* b, std::uint32_t* c) = 0;
};

} // namespace devio
