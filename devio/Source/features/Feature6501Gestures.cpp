#include "features/Feature6501Gestures.h"

#include "core/ErrorRecord.h"
#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

namespace {
constexpr std::size_t kMaxTableEntries = 1000;
// The index byte 0xFF ends a list on the wire, so values beyond it cannot be addressed.
constexpr std::uint32_t kMaxWireIndex = 0xFE;

bool fail(std::uint32_t code)
{
    set_last_error(code, 0, nullptr);
    return false;
}
} // namespace

template <class Fn>
bool Feature6501Gestures::with_batch(std::uint32_t batch, Fn fn)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_batches.find(batch);
    if (batch == 0 || it == m_batches.end())
        return fail(60);
    fn(it->second);
    return true;
}

bool Feature6501Gestures::load_to(std::uint32_t target)
{
    for (;;) {
        std::size_t offset = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_table.complete || m_table.gestures.size() > target)
                return true;
            if (m_table.raw.size() >= kMaxTableEntries)
                return fail(56);
            offset = m_table.raw.size();
        }
        std::vector<Byte> reply;
        if (!read_reply(*this, 0, {Byte(offset >> 8), Byte(offset)}, ReplyRule::any(), reply, 1))
            return false;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_table.raw.size() != offset || m_table.complete)
            continue; // another caller read this part meanwhile
        if (const std::uint32_t code = m_table.feed(reply))
            return fail(code);
    }
}

bool Feature6501Gestures::capable(std::uint32_t index, Capability capability, std::uint32_t* bit)
{
    if (!load_to(index))
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index >= m_table.gestures.size())
        return fail(57);
    const GestureRecord& record = m_table.gestures[index];
    const bool ok = capability == Capability::Enable ? record.enableCapable : record.divertCapable;
    if (!ok)
        return fail(58);
    if (bit)
        *bit = capability == Capability::Enable ? record.enableBit : record.divertBit;
    return true;
}

bool Feature6501Gestures::GetTableEntry(std::uint32_t entryIndex, std::uint32_t* entry)
{
    for (;;) {
        std::uint32_t target = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (entryIndex < m_table.raw.size()) {
                if (entry)
                    *entry = m_table.raw[entryIndex];
                return true;
            }
            if (m_table.complete)
                return fail(57);
            target = static_cast<std::uint32_t>(m_table.gestures.size());
        }
        if (!load_to(target))
            return false;
    }
}

bool Feature6501Gestures::GetGesture(std::uint32_t index, GestureRecord* record)
{
    if (!load_to(index))
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index >= m_table.gestures.size())
        return fail(57);
    if (record)
        *record = m_table.gestures[index];
    return true;
}

bool Feature6501Gestures::read_bit(std::uint32_t index, Capability capability, bool* value, std::uint32_t batch)
{
    std::uint32_t bit = 0;
    if (!capable(index, capability, &bit))
        return false;
    const bool divert = capability == Capability::Divert;
    std::optional<bool> cached;
    if (batch != 0) {
        const bool open = with_batch(batch, [&](GestureBatch& b) {
            if (divert)
                b.pendingPreparations.insert(index);
            auto& values = divert ? b.divertedValues : b.enabledValues;
            auto it = values.find(index);
            if (it != values.end())
                cached = it->second;
        });
        if (!open)
            return false;
    } else if (divert && !prepare(index)) {
        return false;
    }
    if (!cached) {
        const Byte mask = static_cast<Byte>(1u << (bit & 7));
        std::vector<Byte> reply;
        if (!read_reply(*this, divert ? 3 : 1, {Byte(bit >> 3), 0x01, mask}, ReplyRule::strict(1), reply))
            return false;
        cached = (reply[0] & mask) != 0;
        if (batch != 0) {
            std::lock_guard<std::mutex> lock(m_mutex);
            auto it = m_batches.find(batch);
            if (it != m_batches.end())
                (divert ? it->second.divertedValues : it->second.enabledValues)[index] = *cached;
        }
    }
    if (value)
        *value = *cached;
    return true;
}

bool Feature6501Gestures::write_bit(std::uint32_t index, bool value, Capability capability)
{
    std::uint32_t bit = 0;
    if (!capable(index, capability, &bit))
        return false;
    if (!begin_setting_change())
        return false;
    const bool divert = capability == Capability::Divert;
    if (divert && !prepare(index))
        return false;
    const unsigned shift = bit & 7;
    return write_request(*this, divert ? 4 : 2,
                         {Byte(bit >> 3), 0x01, Byte(1u << shift), Byte(unsigned(value) << shift)});
}

bool Feature6501Gestures::GetGestureEnabled(std::uint32_t index, bool* enabled, std::uint32_t batch)
{
    return read_bit(index, Capability::Enable, enabled, batch);
}

bool Feature6501Gestures::GetGestureDiverted(std::uint32_t index, bool* diverted, std::uint32_t batch)
{
    return read_bit(index, Capability::Divert, diverted, batch);
}

bool Feature6501Gestures::SetGestureEnabled(std::uint32_t index, bool value, std::uint32_t batch)
{
    if (batch != 0)
        return with_batch(batch, [&](GestureBatch& b) {
            b.enabledValues[index] = value;
            b.pendingEnables.insert(index);
        });
    return write_bit(index, value, Capability::Enable);
}

bool Feature6501Gestures::SetGestureDiverted(std::uint32_t index, bool value, std::uint32_t batch)
{
    if (batch != 0)
        return with_batch(batch, [&](GestureBatch& b) {
            b.pendingPreparations.insert(index);
            b.divertedValues[index] = value;
            b.pendingDiverts.insert(index);
        });
    return write_bit(index, value, Capability::Divert);
}

// Functions 5 (values a gesture's entries describe), 6 (static parameter values) and 7 (parameter values).
bool Feature6501Gestures::read_value(std::uint32_t function, std::uint32_t index, std::vector<Byte>* value,
                                     std::uint32_t batch)
{
    std::size_t length = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto& lengths = function == 5 ? m_table.specLengths : m_table.paramLengths;
        if (index >= lengths.size() || index > kMaxWireIndex)
            return fail(58);
        length = lengths[index];
    }
    auto cache = [function](GestureBatch& b) -> std::map<std::uint32_t, std::vector<Byte>>& {
        return function == 5 ? b.specValues : function == 6 ? b.staticParamValues : b.paramValues;
    };
    if (batch != 0) {
        std::optional<std::vector<Byte>> cached;
        if (!with_batch(batch, [&](GestureBatch& b) {
                auto& values = cache(b);
                auto it = values.find(index);
                if (it != values.end())
                    cached = it->second;
            }))
            return false;
        if (cached) {
            if (value)
                *value = *cached;
            return true;
        }
    }
    std::vector<Byte> reply;
    if (!read_reply(*this, function, {Byte(index), 0xFF}, ReplyRule::fit(0, length), reply, function == 7 ? 0 : 1))
        return false;
    if (value)
        *value = reply;
    // Parameter values read from the device are not kept: the batch holds only what it sets.
    if (batch != 0 && function != 7) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_batches.find(batch);
        if (it != m_batches.end())
            cache(it->second)[index] = reply;
    }
    return true;
}

bool Feature6501Gestures::GetSpecValue(std::uint32_t specIndex, std::vector<Byte>* value, std::uint32_t batch)
{
    return read_value(5, specIndex, value, batch);
}

bool Feature6501Gestures::GetParamStaticValue(std::uint32_t paramIndex, std::vector<Byte>* value,
                                              std::uint32_t batch)
{
    return read_value(6, paramIndex, value, batch);
}

bool Feature6501Gestures::GetParamValue(std::uint32_t paramIndex, std::vector<Byte>* value, std::uint32_t batch)
{
    return read_value(7, paramIndex, value, batch);
}

bool Feature6501Gestures::write_param(std::uint32_t paramIndex, const std::vector<Byte>& value)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (paramIndex >= m_table.paramLengths.size() || paramIndex > kMaxWireIndex)
            return fail(58);
        if (value.size() != m_table.paramLengths[paramIndex])
            return fail(59);
    }
    std::vector<Byte> params;
    params.reserve(value.size() + 2);
    params.push_back(Byte(paramIndex));
    params.insert(params.end(), value.begin(), value.end());
    params.push_back(0xFF);
    // A value too long for one report is refused before the configuration is marked.
    if (!params_fit(params) || !begin_setting_change())
        return false;
    return write_request(*this, 8, params);
}

bool Feature6501Gestures::SetParamValue(std::uint32_t paramIndex, std::vector<Byte> value, std::uint32_t batch)
{
    if (batch != 0)
        return with_batch(batch, [&](GestureBatch& b) {
            b.paramValues[paramIndex] = value;
            b.pendingParams.insert(paramIndex);
        });
    return write_param(paramIndex, value);
}

bool Feature6501Gestures::prepare(std::uint32_t index)
{
    GestureRecord record;
    bool loadWidth = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (index >= m_table.gestures.size())
            return fail(57);
        if (!m_table.indexWidthLoaded) {
            m_table.indexWidthLoaded = true;
            loadWidth = true;
        }
        record = m_table.gestures[index];
    }
    if (loadWidth) {
        for (const auto& entry : record.specs) {
            if (entry.id != 1)
                continue;
            std::vector<Byte> value;
            if (!GetSpecValue(entry.specIndex, &value, 0))
                return false;
            std::lock_guard<std::mutex> lock(m_mutex);
            m_table.indexWidth = value.empty() ? 0 : value[0];
            break;
        }
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_table.gestures[index].prepared)
            return true;
        m_table.gestures[index].prepared = true;
    }
    for (const auto& entry : record.specs) {
        if (entry.id != 2 && entry.id != 3)
            continue;
        std::vector<Byte> value;
        if (!GetSpecValue(entry.specIndex, &value, 0))
            return false;
        std::lock_guard<std::mutex> lock(m_mutex);
        GestureRecord& target = m_table.gestures[index];
        if (entry.id == 2)
            target.fieldWidths.assign(value.begin(), value.end());
        else if (value.size() >= 2)
            target.leadValue = read_be16(value, 0);
    }
    return true;
}

std::uint32_t Feature6501Gestures::BeginBatch()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const std::uint32_t id = ++m_batch_counter;
    m_batches[id];
    return id;
}

bool Feature6501Gestures::load_each(std::uint32_t batch, const std::vector<std::uint32_t>& indices,
                                    bool (Feature6501Gestures::*read)(std::uint32_t, std::uint32_t))
{
    if (!with_batch(batch, [](GestureBatch&) {}))
        return false;
    for (std::uint32_t index : indices)
        if (!(this->*read)(index, batch))
            return false;
    return true;
}

bool Feature6501Gestures::load_enabled(std::uint32_t index, std::uint32_t batch)
{
    return GetGestureEnabled(index, nullptr, batch);
}
bool Feature6501Gestures::load_diverted(std::uint32_t index, std::uint32_t batch)
{
    return GetGestureDiverted(index, nullptr, batch);
}
bool Feature6501Gestures::load_param(std::uint32_t index, std::uint32_t batch)
{
    return GetParamValue(index, nullptr, batch);
}
bool Feature6501Gestures::load_static_param(std::uint32_t index, std::uint32_t batch)
{
    return GetParamStaticValue(index, nullptr, batch);
}

bool Feature6501Gestures::LoadGesturesEnabled(std::uint32_t batch, std::vector<std::uint32_t> indices)
{
    return load_each(batch, indices, &Feature6501Gestures::load_enabled);
}
bool Feature6501Gestures::LoadGesturesDiverted(std::uint32_t batch, std::vector<std::uint32_t> indices)
{
    return load_each(batch, indices, &Feature6501Gestures::load_diverted);
}
bool Feature6501Gestures::LoadParamValues(std::uint32_t batch, std::vector<std::uint32_t> indices)
{
    return load_each(batch, indices, &Feature6501Gestures::load_param);
}
bool Feature6501Gestures::LoadParamStaticValues(std::uint32_t batch, std::vector<std::uint32_t> indices)
{
    return load_each(batch, indices, &Feature6501Gestures::load_static_param);
}
bool Feature6501Gestures::LoadParamValuesAgain(std::uint32_t batch, std::vector<std::uint32_t> indices)
{
    return LoadParamValues(batch, std::move(indices));
}

bool Feature6501Gestures::CommitBatch(std::uint32_t batch)
{
    GestureBatch work;
    if (!with_batch(batch, [&](GestureBatch& b) { work = b; }))
        return false;
    auto value_of = [](const std::map<std::uint32_t, bool>& values, std::uint32_t index) {
        auto it = values.find(index);
        return it != values.end() && it->second;
    };
    // Each step empties its pending set only once all of it went through.
    auto done = [this, batch](std::set<std::uint32_t> GestureBatch::*pending) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_batches.find(batch);
        if (it != m_batches.end())
            (it->second.*pending).clear();
    };
    for (std::uint32_t index : work.pendingEnables)
        if (!write_bit(index, value_of(work.enabledValues, index), Capability::Enable))
            return false;
    done(&GestureBatch::pendingEnables);
    for (std::uint32_t index : work.pendingPreparations)
        if (!load_to(index) || !prepare(index))
            return false;
    done(&GestureBatch::pendingPreparations);
    for (std::uint32_t index : work.pendingDiverts)
        if (!write_bit(index, value_of(work.divertedValues, index), Capability::Divert))
            return false;
    done(&GestureBatch::pendingDiverts);
    for (std::uint32_t index : work.pendingParams) {
        auto it = work.paramValues.find(index);
        if (!write_param(index, it != work.paramValues.end() ? it->second : std::vector<Byte>{}))
            return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_batches.erase(batch);
    return true;
}

void Feature6501Gestures::on_notification(int /*function*/, const std::vector<Byte>& payload)
{
    std::vector<Feature6501GestureTable::Notice> notices;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        notices = m_table.decode_gesture_reports(payload);
    }
    for (const auto& notice : notices)
        publish(notice);
}

void Feature6501Gestures::on_unexpected_response(unsigned function, unsigned softwareId,
                                                 const std::vector<Byte>& payload)
{
    std::vector<Feature6501GestureTable::Notice> notices;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        notices = m_table.decode_response(function, softwareId, payload);
    }
    for (const auto& notice : notices)
        publish(notice);
}

void Feature6501Gestures::publish(const Feature6501GestureTable::Notice& n)
{
    using Table = Feature6501GestureTable;
    const auto id = static_cast<GestureId>(n.id);
    const auto type = static_cast<EventType>(n.type);
    const std::uint32_t g = n.first;
    const int* v = n.values;
    auto& producer = static_cast<Producer<GestureReport>&>(*this);
    switch (n.handler) {
    case Table::Gesture:
        producer.notify([=](GestureReport* s) { s->OnGesture(g, id, type); },
                        "Feature6501Gestures::GestureReport::OnGesture");
        break;
    case Table::TriggerXY: {
        const int x = v[0], y = v[1];
        producer.notify([=](GestureReport* s) { s->OnGestureTriggerXY(g, id, type, x, y); },
                        "Feature6501Gestures::GestureReport::OnGestureTriggerXY");
        break;
    }
    case Table::DxDy: {
        const int lead = v[0], a = v[1], b = v[2], c = v[3], d = v[4];
        producer.notify([=](GestureReport* s) { s->OnGestureDxDy(g, id, type, lead, a, b, c, d); },
                        "Feature6501Gestures::GestureReport::OnGestureDxDy");
        break;
    }
    case Table::FingerStart: {
        const int f0 = v[0], f1 = v[1], f2 = v[2], f3 = v[3];
        producer.notify([=](GestureReport* s) { s->OnGestureFingerStart(g, id, type, f0, f1, f2, f3); },
                        "Feature6501Gestures::GestureReport::OnGestureFingerStart");
        break;
    }
    case Table::FingerProgress: {
        const int lead = v[0], f0 = v[1], f1 = v[2], f2 = v[3], f3 = v[4];
        producer.notify([=](GestureReport* s) { s->OnGestureFingerProgress(g, id, type, lead, f0, f1, f2, f3); },
                        "Feature6501Gestures::GestureReport::OnGestureFingerProgress");
        break;
    }
    case Table::Unknown: {
        const std::vector<Byte> data = n.data;
        producer.notify([=](GestureReport* s) { s->OnGestureUnknown(g, id, type, data); },
                        "Feature6501Gestures::GestureReport::OnGestureUnknown");
        break;
    }
    case Table::Enabled: {
        const std::uint32_t index = n.second;
        const bool on = n.flag;
        producer.notify([=](GestureReport* s) { s->OnGestureEnabled(g, index, on); },
                        "Feature6501Gestures::GestureReport::OnGestureEnabled");
        break;
    }
    case Table::Diverted: {
        const std::uint32_t index = n.second;
        const bool on = n.flag;
        producer.notify([=](GestureReport* s) { s->OnGestureDiverted(g, index, on); },
                        "Feature6501Gestures::GestureReport::OnGestureDiverted");
        break;
    }
    case Table::ParamChange: {
        const std::uint32_t index = n.second;
        const std::vector<Byte> data = n.data;
        producer.notify([=](GestureReport* s) { s->OnParamChange(g, index, data); },
                        "Feature6501Gestures::GestureReport::OnParamChange");
        break;
    }
    }
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature6501Gestures, 0x6501)
