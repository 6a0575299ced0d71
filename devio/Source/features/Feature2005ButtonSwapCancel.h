#pragma once
#include "features/Feature.h"
#include "features/FeatureHelpers.h"
#include "features/IFeature2005ButtonSwapCancel.h"

namespace devio {

class Feature2005ButtonSwapCancel : public FeatureClass<Feature2005ButtonSwapCancel, IFeature2005ButtonSwapCancel>,
                                    public Producer<IFeature2005ButtonSwapCancel::SettingChange> {
public:
    using FeatureClass::FeatureClass;

    bool GetButtonSwapCancel(bool* enabled) override;
    bool SetButtonSwapCancel(std::uint8_t value) override;

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
