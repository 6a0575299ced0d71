#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x8010: button reports of the programmable keys, passed on as raw payloads.
class IFeature8010Vantor : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8010;

    class Report {
    public:
        virtual void onButtonReport(const std::vector<Byte>& /*payload*/) {}
        virtual ~Report() = default;
    };

    ~IFeature8010Vantor() override = default;
    virtual bool GetButtonCount(std::uint32_t& count) = 0;
    virtual bool GetButtonWord(std::uint32_t& value) = 0;
    virtual bool SetModeByte(std::uint8_t value) = 0;
};

} // namespace devio
