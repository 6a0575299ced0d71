#pragma once
#include "features/Feature.h"
#include "features/FeatureHelpers.h"
#include "features/IFeature1B03SpecialKeys.h"

namespace devio {

class Feature1B03SpecialKeys : public FeatureClass<Feature1B03SpecialKeys, IFeature1B03SpecialKeys>,
                               public Producer<IFeature1B03SpecialKeys::KeyReport> {
public:
    using FeatureClass::FeatureClass;

    struct Setting {
        std::uint32_t keyId = 0;
        std::uint8_t reporting = 0;
    };

    bool GetCount(std::uint32_t* count) override;
    bool GetKeyInfo(std::uint8_t index, std::uint32_t* keyId, std::uint32_t* secondId,
                    std::uint8_t* keyFlags) override;
    bool GetKeyReporting(std::uint32_t keyId, std::uint8_t* reporting) override;
    bool SetKeyReporting(std::uint32_t keyId, std::uint8_t reporting) override;

protected:
    bool on_reapply() override;
    void on_notification(int function, const std::vector<Byte>& payload) override;
    void on_unexpected_response(unsigned function, unsigned softwareId, const std::vector<Byte>& payload) override;

private:
    bool send_setting(const Setting& setting);

    PendingSettings<Setting> m_pending;
};

} // namespace devio
