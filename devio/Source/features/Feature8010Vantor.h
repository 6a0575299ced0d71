#pragma once
#include "features/Feature.h"
#include "features/IFeature8010Vantor.h"

namespace devio {

class Feature8010Vantor : public FeatureClass<Feature8010Vantor, IFeature8010Vantor>,
                          public Producer<IFeature8010Vantor::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetButtonCount(std::uint32_t& count) override;
    bool GetButtonWord(std::uint32_t& value) override;
    bool SetModeByte(std::uint8_t value) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
