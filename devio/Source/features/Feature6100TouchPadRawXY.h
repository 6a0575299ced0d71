#pragma once
#include "features/Feature.h"
#include "features/IFeature6100TouchPadRawXY.h"

namespace devio {

class Feature6100TouchPadRawXY : public FeatureClass<Feature6100TouchPadRawXY, IFeature6100TouchPadRawXY>,
                                 public Producer<IFeature6100TouchPadRawXY::Report> {
public:
    using FeatureClass::FeatureClass;

    // Both read their input zero-filled to 16 bytes.
    static DualXYData decode_dual_xy(const std::vector<Byte>& payload);
    static TouchPadInfo decode_info(const std::vector<Byte>& reply);

    bool GetTouchPadInfo(TouchPadInfo* info) override;
    bool GetMode(std::uint8_t* mode) override;
    bool SetMode(std::uint8_t mode) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
    void on_unexpected_response(unsigned function, unsigned softwareId, const std::vector<Byte>& payload) override;
};

} // namespace devio
