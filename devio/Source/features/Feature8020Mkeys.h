#pragma once
#include "features/Feature.h"
#include "features/IFeature8020Mkeys.h"

namespace devio {

class Feature8020Mkeys : public FeatureClass<Feature8020Mkeys, IFeature8020Mkeys>,
                         public Producer<IFeature8020Mkeys::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetButtonCount(std::uint32_t& count) override;
    bool SetSelectedKey(std::uint32_t selection) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
