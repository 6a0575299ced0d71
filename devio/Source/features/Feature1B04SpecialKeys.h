#pragma once
#include "features/Feature.h"
#include "features/FeatureHelpers.h"
#include "features/IFeature1B04SpecialKeys.h"

namespace devio {

class Feature1B04SpecialKeys : public FeatureClass<Feature1B04SpecialKeys, IFeature1B04SpecialKeys>,
                               public Producer<IFeature1B04SpecialKeys::KeyReport>,
                               public Producer<IFeature1B04SpecialKeys::RawXYReport> {
public:
    using FeatureClass::FeatureClass;

    struct Setting {
        std::uint32_t keyId = 0;
        std::uint8_t reporting = 0;
        std::uint32_t targetId = 0;
        std::uint8_t option = 0;
    };

    bool GetCount(std::uint32_t* count) override;
    bool GetKeyInfo(std::uint8_t index, std::uint32_t* keyId, std::uint32_t* secondId, std::uint8_t* keyFlags,
                    std::uint32_t* byte5, std::uint32_t* byte6, std::uint8_t* byte7, std::uint8_t* byte8) override;
    bool GetKeyReporting(std::uint32_t keyId, std::uint8_t* reporting, std::uint32_t* targetId,
                         std::uint8_t* option) override;
    bool SetKeyReporting(std::uint32_t keyId, std::uint8_t reporting, std::uint32_t targetId,
                         std::uint8_t option) override;

protected:
    bool on_reapply() override;
    void on_notification(int function, const std::vector<Byte>& payload) override;
    void on_unexpected_response(unsigned function, unsigned softwareId, const std::vector<Byte>& payload) override;

private:
    bool send_setting(const Setting& setting);

    PendingSettings<Setting> m_pending;
};

} // namespace devio
