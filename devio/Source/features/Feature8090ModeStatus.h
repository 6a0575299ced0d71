#pragma once
#include "features/Feature.h"
#include "features/IFeature8090ModeStatus.h"

namespace devio {

class Feature8090ModeStatus : public FeatureClass<Feature8090ModeStatus, IFeature8090ModeStatus>,
                              public Producer<IFeature8090ModeStatus::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetModeStatus(ModeStatusPair& status) override;
    bool SetModeStatus(const std::array<Byte, 4>& mode) override;
    bool GetModeStatusB(ModeStatusPair& status) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;

private:
    bool read_pair(std::uint32_t function, ModeStatusPair& status);
};

} // namespace devio
