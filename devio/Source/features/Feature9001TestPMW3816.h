#pragma once
#include "features/Feature.h"
#include "features/IFeature9001TestPMW3816.h"

namespace devio {

class Feature9001TestPMW3816 : public FeatureClass<Feature9001TestPMW3816, IFeature9001TestPMW3816>,
                               public Producer<IFeature9001TestPMW3816::Event> {
public:
    using FeatureClass::FeatureClass;

    bool ReadRegister(std::uint8_t address, std::uint8_t* value) override;
    bool WriteRegister(std::uint8_t address, std::uint8_t value) override;
    bool SendFunction2() override;
    bool SendFunction3() override;
    bool SendFunction4(std::int16_t value) override;
    bool SendFunction5() override;
    bool SendFunction6() override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;

private:
    bool command(std::uint32_t function, const std::vector<Byte>& params);
};

} // namespace devio
