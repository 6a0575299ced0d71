#pragma once
#include "core/Producer.h"
#include "features/IFeature1F1FFirmwareProperties.h"

#include <mutex>

namespace devio {

// A property made by LoadProperties. Its fields are read by callers while the report thread
// updates the value, so each access takes the property's lock.
class Feature1F1FFirmwareProperty : public IFeature1F1FFirmwareProperty,
                                    public Producer<IFeature1F1FFirmwareProperty::Notification> {
public:
    Feature1F1FFirmwareProperty(std::weak_ptr<IFeature1F1FFirmwareProperties> owner, std::uint32_t index);

    void NotifyPropertyChanged() override;
    std::uint32_t GetIndex() override;
    std::string GetName() override;
    bool GetFlagA() override;
    std::uint8_t GetFlagB() override;
    std::uint32_t GetSize() override;
    bool GetFlagC() override;
    bool CallFunction5() override;
    bool CallFunction6() override;
    bool IsInteger() override;
    std::int32_t GetIntValue() override;
    std::int32_t GetIntMin() override;
    std::int32_t GetIntMax() override;
    bool SetIntValue(std::int32_t value) override;
    bool IsFloat() override;
    float GetFloatValue() override;
    float GetFloatMin() override;
    float GetFloatMax() override;
    bool SetFloatValue(float value) override;
    void SetName(const std::string& name) override;
    std::uint32_t SetInfo(bool flagA, std::uint8_t flagB, bool hasRange, std::uint8_t kindByte) override;
    void SetRangeData(std::vector<Byte> data) override;
    void UpdateValue(const std::vector<Byte>& bytes, std::uint32_t position) override;
    void PutValue(std::vector<Byte>& bytes, std::uint32_t position) override;

private:
    // The owner, or empty with code 28 when the feature is gone.
    std::shared_ptr<IFeature1F1FFirmwareProperties> owner();

    const std::weak_ptr<IFeature1F1FFirmwareProperties> m_owner;
    const std::uint32_t m_index;
    std::mutex m_mutex; // the fields below
    std::string m_name;
    bool m_flag_a = false;
    std::uint8_t m_flag_b = 0;
    std::uint32_t m_size = 0;
    bool m_has_range = false;
    bool m_flag_c = false;
    std::uint8_t m_kind_byte = 0;
    bool m_is_integer = false;
    std::int32_t m_int_value = 0, m_int_min = 0, m_int_max = 0;
    bool m_is_float = false;
    float m_float_value = 0, m_float_min = 0, m_float_max = 0;
};

} // namespace devio
