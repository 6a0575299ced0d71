#include "features/Feature1F1FFirmwareProperty.h"

#include "core/ErrorRecord.h"
#include "features/FeatureHelpers.h"

#include <cfloat>
#include <climits>
#include <cstdio>
#include <cstring>

namespace devio {

namespace {
float as_float(std::uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}
std::uint32_t bits_of(float f)
{
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}
} // namespace

Feature1F1FFirmwareProperty::Feature1F1FFirmwareProperty(std::weak_ptr<IFeature1F1FFirmwareProperties> owner,
                                                         std::uint32_t index)
    : m_owner(std::move(owner)), m_index(index)
{
}

std::shared_ptr<IFeature1F1FFirmwareProperties> Feature1F1FFirmwareProperty::owner()
{
    auto o = m_owner.lock();
    if (!o)
        set_last_error(28, 0, nullptr);
    return o;
}

void Feature1F1FFirmwareProperty::NotifyPropertyChanged()
{
    Producer<Notification>::notify([](Notification* s) { s->onPropertyChanged(); },
                                   "IFeature1F1FFirmwareProperty::Notification::onPropertyChanged");
}

std::uint32_t Feature1F1FFirmwareProperty::GetIndex() { return m_index; }

#define DEVIO_PROPERTY_GETTER(Type, Name, member)                                                                    \
    Type Feature1F1FFirmwareProperty::Name()                                                                         \
    {                                                                                                                \
        std::lock_guard<std::mutex> lock(m_mutex);                                                                   \
        return member;                                                                                               \
    }
DEVIO_PROPERTY_GETTER(std::string, GetName, m_name)
DEVIO_PROPERTY_GETTER(bool, GetFlagA, m_flag_a)
DEVIO_PROPERTY_GETTER(std::uint8_t, GetFlagB, m_flag_b)
DEVIO_PROPERTY_GETTER(std::uint32_t, GetSize, m_size)
DEVIO_PROPERTY_GETTER(bool, GetFlagC, m_flag_c)
DEVIO_PROPERTY_GETTER(bool, IsInteger, m_is_integer)
DEVIO_PROPERTY_GETTER(std::int32_t, GetIntValue, m_int_value)
DEVIO_PROPERTY_GETTER(std::int32_t, GetIntMin, m_int_min)
DEVIO_PROPERTY_GETTER(std::int32_t, GetIntMax, m_int_max)
DEVIO_PROPERTY_GETTER(bool, IsFloat, m_is_float)
DEVIO_PROPERTY_GETTER(float, GetFloatValue, m_float_value)
DEVIO_PROPERTY_GETTER(float, GetFloatMin, m_float_min)
DEVIO_PROPERTY_GETTER(float, GetFloatMax, m_float_max)
#undef DEVIO_PROPERTY_GETTER

bool Feature1F1FFirmwareProperty::CallFunction5()
{
    auto o = owner();
    return o && o->CallFunction5(this);
}

bool Feature1F1FFirmwareProperty::CallFunction6()
{
    auto o = owner();
    return o && o->CallFunction6(this);
}

bool Feature1F1FFirmwareProperty::SetIntValue(std::int32_t value)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_int_value = value;
    }
    auto o = owner();
    return o && o->WriteValue(this);
}

bool Feature1F1FFirmwareProperty::SetFloatValue(float value)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_float_value = value;
    }
    auto o = owner();
    return o && o->WriteValue(this);
}

void Feature1F1FFirmwareProperty::SetName(const std::string& name)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_name = name;
}

std::uint32_t Feature1F1FFirmwareProperty::SetInfo(bool flagA, std::uint8_t flagB, bool hasRange, std::uint8_t kindByte)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_flag_a = flagA;
    m_flag_b = flagB;
    m_has_range = hasRange;
    m_kind_byte = kindByte;
    m_size = kindByte & 0x0F;
    const unsigned kind = (kindByte >> 4) & 0x07;
    // Neither kind is ever cleared once set.
    if (kind == 0)
        m_is_integer = true;
    else if (kind == 1)
        m_is_float = true;
    return m_size;
}

void Feature1F1FFirmwareProperty::SetRangeData(std::vector<Byte> data)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_is_integer) {
        m_int_value = static_cast<std::int32_t>(read_le32(data, 0));
        if (m_has_range) {
            m_int_min = static_cast<std::int32_t>(read_le32(data, 4));
            m_int_max = static_cast<std::int32_t>(read_le32(data, 8));
        } else {
            m_int_min = INT_MIN;
            m_int_max = INT_MAX;
            m_has_range = true;
        }
        const std::int32_t v = m_int_value, lo = m_int_min, hi = m_int_max;
        lock.unlock();
        std::printf("cmm: %d %d %d\n", v, lo, hi);
    } else if (m_is_float) {
        m_float_value = as_float(read_le32(data, 0));
        if (m_has_range) {
            m_float_min = as_float(read_le32(data, 4));
            m_float_max = as_float(read_le32(data, 8));
        } else {
            m_float_min = -FLT_MAX;
            m_float_max = FLT_MAX;
            m_has_range = true;
        }
    }
}

void Feature1F1FFirmwareProperty::UpdateValue(const std::vector<Byte>& bytes, std::uint32_t position)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_is_integer)
        m_int_value = static_cast<std::int32_t>(read_le32(bytes, position));
    else if (m_is_float)
        m_float_value = as_float(read_le32(bytes, position));
}

void Feature1F1FFirmwareProperty::PutValue(std::vector<Byte>& bytes, std::uint32_t position)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_is_integer)
        store_le32(bytes, position, static_cast<std::uint32_t>(m_int_value));
    else if (m_is_float)
        store_le32(bytes, position, bits_of(m_float_value));
}

} // namespace devio
