#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x8020: the M keys; a one-byte button state and the selection of one key or none.
class IFeature8020Mkeys : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8020;

    class Report {
    public:
        virtual void onButtonReport(const Byte& /*state*/) {}
        virtual ~Report() = default;
    };

    ~IFeature8020Mkeys() override = default;
    virtual bool GetButtonCount(std::uint32_t& count) = 0;
    // 0 none, 1-3 a key; 4 and above are refused without sending.
    virtual bool SetSelectedKey(std::uint32_t selection) = 0;
};

} // namespace devio
