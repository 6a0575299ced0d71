#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace devio {

// One firmware property of feature 0x1F1F: name, kind (32-bit integer or float), value and
// range. Not a feature of its own: writes go back through the feature that made it.
class IFeature1F1FFirmwareProperty {
public:
    class Notification {
    public:
        virtual void onPropertyChanged() {}
        virtual ~Notification() = default;
    };

    virtual ~IFeature1F1FFirmwareProperty() = default;
    virtual void NotifyPropertyChanged() = 0;
    virtual std::uint32_t GetIndex() = 0;
    virtual std::string GetName() = 0;
    virtual bool GetFlagA() = 0;
    virtual std::uint8_t GetFlagB() = 0;
    virtual std::uint32_t GetSize() = 0;
    virtual bool GetFlagC() = 0;
    // Through the feature; false with code 28 once it is gone.
    virtual bool CallFunction5() = 0;
    virtual bool CallFunction6() = 0;
    virtual bool IsInteger() = 0;
    virtual std::int32_t GetIntValue() = 0;
    virtual std::int32_t GetIntMin() = 0;
    virtual std::int32_t GetIntMax() = 0;
    // Keeps the new value even when the write fails.
    virtual bool SetIntValue(std::int32_t value) = 0;
    virtual bool IsFloat() = 0;
    virtual float GetFloatValue() = 0;
    virtual float GetFloatMin() = 0;
    virtual float GetFloatMax() = 0;
    virtual bool SetFloatValue(float value) = 0;
    virtual void SetName(const std::string& name) = 0;
    // Returns the record size (bits 0-3 of kindByte).
    virtual std::uint32_t SetInfo(bool flagA, std::uint8_t flagB, bool hasRange, std::uint8_t kindByte) = 0;
    virtual void SetRangeData(std::vector<Byte> data) = 0;
    // The value's 4 little-endian bytes at position (zeros past the end of bytes).
    virtual void UpdateValue(const std::vector<Byte>& bytes, std::uint32_t position) = 0;
    virtual void PutValue(std::vector<Byte>& bytes, std::uint32_t position) = 0;
};

// Feature 0x1F1F: the device's firmware properties as a list of property objects.
class IFeature1F1FFirmwareProperties : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x1F1F;

    // Subscribers may join; nothing publishes it.
    class Report {
    public:
        virtual ~Report() = default;
    };

    ~IFeature1F1FFirmwareProperties() override = default;
    virtual bool GetCount(std::uint32_t* count) = 0;
    // Each needs a 16-byte reply carrying the property's index in byte 0.
    virtual bool ReadInfo(IFeature1F1FFirmwareProperty* property) = 0;
    virtual bool ReadName(IFeature1F1FFirmwareProperty* property) = 0;
    virtual bool ReadValue(IFeature1F1FFirmwareProperty* property) = 0;
    virtual bool WriteValue(IFeature1F1FFirmwareProperty* property) = 0;
    virtual bool CallFunction5(IFeature1F1FFirmwareProperty* property) = 0;
    virtual bool CallFunction6(IFeature1F1FFirmwareProperty* property) = 0;
    // Replaces every property object with new ones read from the device.
    virtual bool LoadProperties() = 0;
    virtual std::uint32_t GetPropertyCount() = 0;
    virtual std::shared_ptr<IFeature1F1FFirmwareProperty> GetProperty(std::uint32_t index) = 0;
};

} // namespace devio
