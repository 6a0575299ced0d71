#pragma once
#include "features/Feature.h"
#include "features/IFeature4600Crown.h"

namespace devio {

class Feature4600Crown : public FeatureClass<Feature4600Crown, IFeature4600Crown>,
                         public Producer<IFeature4600Crown::CrownEvent> {
public:
    using FeatureClass::FeatureClass;

    // Each record is read zero-filled to its length.
    static CrownCapabilities decode_capabilities(const std::vector<Byte>& record);
    static CrownMode decode_mode(const std::vector<Byte>& record);
    static std::vector<Byte> encode_mode(const CrownMode& mode);
    static CrownEventData decode_event(const std::vector<Byte>& payload);

    bool GetCapabilities(CrownCapabilities& capabilities) override;
    bool GetMode(CrownMode& mode) override;
    bool SetMode(CrownMode& mode) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;
    void on_unexpected_response(unsigned function, unsigned softwareId, const std::vector<Byte>& payload) override;
};

} // namespace devio
