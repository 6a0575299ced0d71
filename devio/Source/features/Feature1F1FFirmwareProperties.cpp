#include "features/Feature1F1FFirmwareProperties.h"

#include "features/Feature1F1FFirmwareProperty.h"
#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

#include <cstdio>

namespace devio {

bool Feature1F1FFirmwareProperties::GetCount(std::uint32_t* count) { return shared_ops::get_count(*this, count, 0); }

bool Feature1F1FFirmwareProperties::exchange(std::uint32_t function, const std::vector<Byte>& params,
                                             IFeature1F1FFirmwareProperty* property, std::vector<Byte>& reply)
{
    if (!property)
        return false;
    if (!read_reply(*this, function, params, ReplyRule::strict(16), reply))
        return false;
    return reply[0] == static_cast<Byte>(property->GetIndex());
}

bool Feature1F1FFirmwareProperties::ReadInfo(IFeature1F1FFirmwareProperty* property)
{
    std::vector<Byte> r;
    if (!property || !exchange(1, {static_cast<Byte>(property->GetIndex())}, property, r))
        return false;
    property->SetInfo(bit_at(r, 2, 1), static_cast<std::uint8_t>(bit_at(r, 1, 7)), bit_at(r, 2, 0), r[1]);
    property->SetRangeData(std::vector<Byte>(r.begin() + 3, r.end()));
    return true;
}

bool Feature1F1FFirmwareProperties::ReadName(IFeature1F1FFirmwareProperty* property)
{
    std::vector<Byte> r;
    if (!property || !exchange(2, {static_cast<Byte>(property->GetIndex())}, property, r))
        return false;
    property->SetName(std::string(r.begin() + 1, r.end()));
    return true;
}

bool Feature1F1FFirmwareProperties::ReadValue(IFeature1F1FFirmwareProperty* property)
{
    std::vector<Byte> r;
    if (!property || !exchange(3, {static_cast<Byte>(property->GetIndex()), 0xFF}, property, r))
        return false;
    property->UpdateValue(r, 2);
    return true;
}

bool Feature1F1FFirmwareProperties::WriteValue(IFeature1F1FFirmwareProperty* property)
{
    if (!property)
        return false;
    std::vector<Byte> params(16, 0);
    params[0] = static_cast<Byte>(property->GetIndex());
    params[1] = 4;
    property->PutValue(params, 2);
    params[6] = 0xFF;
    std::vector<Byte> r;
    if (!exchange(4, params, property, r))
        return false;
    property->UpdateValue(r, 2);
    return true;
}

bool Feature1F1FFirmwareProperties::CallFunction5(IFeature1F1FFirmwareProperty* property)
{
    std::vector<Byte> r;
    return property && exchange(5, {static_cast<Byte>(property->GetIndex()), 0xFF}, property, r);
}

bool Feature1F1FFirmwareProperties::CallFunction6(IFeature1F1FFirmwareProperty* property)
{
    std::vector<Byte> r;
    return property && exchange(6, {static_cast<Byte>(property->GetIndex()), 0xFF}, property, r);
}

bool Feature1F1FFirmwareProperties::LoadProperties()
{
    std::uint32_t count = 0;
    if (!GetCount(&count))
        return false;
    std::printf("props: %d\n", static_cast<int>(count));
    {
        std::lock_guard<std::mutex> lock(m_properties_mutex);
        m_properties.clear();
        m_properties.resize(count);
    }
    auto owner = std::dynamic_pointer_cast<IFeature1F1FFirmwareProperties>(self());
    for (std::uint32_t i = 0; i < count; ++i) {
        auto property = std::make_shared<Feature1F1FFirmwareProperty>(owner, i);
        // Queued subscribers of the property are served by the feature's run loop.
        property->set_run_loop(get_run_loop());
        {
            std::lock_guard<std::mutex> lock(m_properties_mutex);
            if (i < m_properties.size())
                m_properties[i] = property;
        }
        if (!ReadName(property.get()) || !ReadInfo(property.get()))
            return false;
    }
    return true;
}

std::uint32_t Feature1F1FFirmwareProperties::GetPropertyCount()
{
    std::lock_guard<std::mutex> lock(m_properties_mutex);
    return static_cast<std::uint32_t>(m_properties.size());
}

std::shared_ptr<IFeature1F1FFirmwareProperty> Feature1F1FFirmwareProperties::GetProperty(std::uint32_t index)
{
    std::lock_guard<std::mutex> lock(m_properties_mutex);
    return index < m_properties.size() ? m_properties[index] : nullptr;
}

void Feature1F1FFirmwareProperties::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0)
        return;
    std::vector<std::shared_ptr<IFeature1F1FFirmwareProperty>> properties;
    {
        std::lock_guard<std::mutex> lock(m_properties_mutex);
        properties = m_properties;
    }
    // Records [index][one byte][value of the property's size], up to an index of 0xFF.
    std::size_t at = 0;
    while (at < payload.size()) {
        const Byte index = payload[at];
        if (index == 0xFF || index >= properties.size() || !properties[index])
            return;
        // A value that would reach past the payload ends the walk.
        if (at + 2 + 4 > payload.size())
            return;
        const auto& property = properties[index];
        property->UpdateValue(payload, static_cast<std::uint32_t>(at + 2));
        property->NotifyPropertyChanged();
        at += property->GetSize() + 2;
    }
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1F1FFirmwareProperties, 0x1F1F)
