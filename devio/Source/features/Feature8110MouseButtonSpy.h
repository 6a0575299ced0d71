#pragma once
#include "features/Feature.h"
#include "features/IFeature8110MouseButtonSpy.h"

namespace devio {

class Feature8110MouseButtonSpy : public FeatureClass<Feature8110MouseButtonSpy, IFeature8110MouseButtonSpy>,
                                  public Producer<IFeature8110MouseButtonSpy::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetButtonCount(std::uint32_t* count) override;
    bool CallFunction1() override;
    bool CallFunction2() override;
    bool GetButtonTable(std::vector<Byte>& table) override;
    bool SetButtonTable(const std::vector<Byte>& table) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
};

} // namespace devio
