#pragma once
#include "features/Feature.h"
#include "features/IFeature1F1FFirmwareProperties.h"

#include <mutex>

namespace devio {

class Feature1F1FFirmwareProperty;

class Feature1F1FFirmwareProperties
    : public FeatureClass<Feature1F1FFirmwareProperties, IFeature1F1FFirmwareProperties>,
      public Producer<IFeature1F1FFirmwareProperties::Report> {
public:
    using FeatureClass::FeatureClass;

    bool GetCount(std::uint32_t* count) override;
    bool ReadInfo(IFeature1F1FFirmwareProperty* property) override;
    bool ReadName(IFeature1F1FFirmwareProperty* property) override;
    bool ReadValue(IFeature1F1FFirmwareProperty* property) override;
    bool WriteValue(IFeature1F1FFirmwareProperty* property) override;
    bool CallFunction5(IFeature1F1FFirmwareProperty* property) override;
    bool CallFunction6(IFeature1F1FFirmwareProperty* property) override;
    bool LoadProperties() override;
    std::uint32_t GetPropertyCount() override;
    std::shared_ptr<IFeature1F1FFirmwareProperty> GetProperty(std::uint32_t index) override;

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;

private:
    // A 16-byte reply that carries the property's index in byte 0.
    bool exchange(std::uint32_t function, const std::vector<Byte>& params, IFeature1F1FFirmwareProperty* property,
                  std::vector<Byte>& reply);

    // Replaced by LoadProperties on a caller's thread while the report thread walks it: taken
    // under the lock, used from a copy.
    std::mutex m_properties_mutex;
    std::vector<std::shared_ptr<IFeature1F1FFirmwareProperty>> m_properties;
};

} // namespace devio
