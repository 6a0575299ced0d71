#pragma once
#include "features/Feature.h"
#include "features/FeatureHelpers.h"
#include "features/IFeature40A2FnInversion.h"

namespace devio {

class Feature40A2FnInversion : public FeatureClass<Feature40A2FnInversion, IFeature40A2FnInversion>,
                               public Producer<IFeature40A2FnInversion::SettingChange> {
public:
    using FeatureClass::FeatureClass;

    bool GetFnInversion(bool* inverted, bool* second) override;
    bool SetFnInversion(bool inverted) override;

    // Values kept for the next re-apply, oldest first.
    std::vector<Byte> pending() const { return m_pending.records(); }

protected:
    bool on_reapply() override;
    void on_unexpected_response(unsigned function, unsigned softwareId, const std::vector<Byte>& payload) override;

private:
    bool send_value(Byte value);

    PendingSettings<Byte> m_pending;
};

} // namespace devio
