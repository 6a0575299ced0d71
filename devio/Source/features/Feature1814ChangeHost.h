#pragma once
#include "features/Feature.h"
#include "features/IFeature1814ChangeHost.h"

namespace devio {

class Feature1814ChangeHost : public FeatureClass<Feature1814ChangeHost, IFeature1814ChangeHost>,
                              public Producer<IFeature1814ChangeHost::CookieChange> {
public:
    using FeatureClass::FeatureClass;

    bool GetHostStatus(std::uint16_t* a, std::uint16_t* b, std::uint16_t* c) override;
    bool SetCurrentHost(std::uint8_t host, bool waitForReply) override;
    bool GetCookies(std::int16_t* count, std::uint16_t* buffer) override;
    bool SetCookie(std::uint16_t a, std::uint16_t b) override;
};

} // namespace devio
