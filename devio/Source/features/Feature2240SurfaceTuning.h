#pragma once
#include "features/Feature.h"
#include "features/IFeature2240SurfaceTuning.h"

namespace devio {

class Feature2240SurfaceTuning : public FeatureClass<Feature2240SurfaceTuning, IFeature2240SurfaceTuning>,
                                 public Producer<IFeature2240SurfaceTuning::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetSurfaceTuningInfo(std::uint8_t* block) override;
    bool SetSurfaceTuning(const std::uint8_t* setting) override;
    bool SurfaceTuningCommand2() override;
    bool SurfaceTuningCommand3() override;
    bool SurfaceTuningCommand4() override;
    bool SurfaceTuningCommand5() override;
    bool SurfaceTuningCommand6() override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;

private:
    bool command(std::uint32_t function);
};

} // namespace devio
