#pragma once
#include "features/IFeature.h"

#include <cstdint>

namespace devio {

// Feature 0x2250: activity-tracking mode and four counters.
class IFeature2250ActivityTracking : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x2250;

    class Event {
    public:
        virtual void onModeChanged(unsigned int /*softwareId*/, bool /*on*/) {}
        virtual void onDataFetched(unsigned int /*softwareId*/, std::uint32_t /*first*/, std::uint32_t /*second*/,
                                   std::uint32_t /*third*/, std::uint32_t /*fourth*/)
        {
        }
        virtual ~Event() = default;
    };

    ~IFeature2250ActivityTracking() override = default;
    virtual bool GetMode(bool* on, bool* second = nullptr) = 0;
    virtual bool SetMode(std::uint8_t mode) = 0;
    virtual bool FetchData(std::uint32_t* first, std::uint32_t* second, std::uint32_t* third,
                           std::uint32_t* fourth) = 0;
};

} // namespace devio
