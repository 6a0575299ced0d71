#include "devices/SimAnswerTable.h"

#include <algorithm>

namespace platform::sim {

namespace {
constexpr std::uint8_t kErrOutOfRange = 3;
std::uint8_t at(const Bytes& b, std::size_t i) { return i < b.size() ? b[i] : 0; }
} // namespace

SimAnswer SimAnswer::fixed(std::uint16_t feature, std::uint8_t function, Bytes bytes)
{
    SimAnswer a;
    a.feature = feature;
    a.function = function;
    a.kind = Kind::Fixed;
    a.bytes = std::move(bytes);
    return a;
}

SimAnswer SimAnswer::echoed(std::uint16_t feature, std::uint8_t function)
{
    SimAnswer a = fixed(feature, function, {});
    a.kind = Kind::Echo;
    return a;
}

SimAnswer SimAnswer::stored(std::uint16_t feature, std::uint8_t function, std::uint8_t slot, Bytes initial)
{
    SimAnswer a = fixed(feature, function, std::move(initial));
    a.kind = Kind::Stored;
    a.slot = slot;
    return a;
}

SimAnswer SimAnswer::store(std::uint16_t feature, std::uint8_t function, std::uint8_t slot, std::size_t skip)
{
    SimAnswer a = fixed(feature, function, {});
    a.kind = Kind::Store;
    a.slot = slot;
    a.skip = skip;
    return a;
}

SimAnswer SimAnswer::record(std::uint16_t feature, std::uint8_t function, std::map<std::uint8_t, Bytes> records)
{
    SimAnswer a = fixed(feature, function, {});
    a.kind = Kind::Record;
    a.records = std::move(records);
    return a;
}

SimAnswer SimAnswer::slice(std::uint16_t feature, std::uint8_t function, std::map<std::uint8_t, Bytes> streams,
                           std::size_t offsetAt, std::size_t echo, std::size_t length, bool keyed)
{
    SimAnswer a = fixed(feature, function, {});
    a.kind = Kind::Slice;
    a.records = std::move(streams);
    a.offset_at = offsetAt;
    a.echo = echo;
    a.length = length;
    a.keyed = keyed;
    return a;
}

SimAnswer SimAnswer::by_prefix(std::uint16_t feature, std::uint8_t function, std::map<Bytes, Bytes> records)
{
    SimAnswer a = fixed(feature, function, {});
    a.kind = Kind::Prefix;
    a.prefixed = std::move(records);
    return a;
}

SimAnswer SimAnswer::sized(Length length) const
{
    SimAnswer a = *this;
    a.reply_length = length;
    return a;
}

SimAnswerTable::SimAnswerTable(std::vector<SimAnswer> answers)
    : m_answers(std::move(answers))
{
    // The first Stored row of a slot gives its starting value.
    for (const auto& a : m_answers)
        if (a.kind == SimAnswer::Kind::Stored)
            m_values.emplace(std::make_pair(a.feature, a.slot), a.bytes);
}

std::optional<SimAnswerTable::Result> SimAnswerTable::answer(std::uint16_t feature, std::uint8_t function,
                                                             const Bytes& params)
{
    auto row = std::find_if(m_answers.begin(), m_answers.end(), [&](const SimAnswer& a) {
        return a.feature == feature && a.function == function;
    });
    if (row == m_answers.end())
        return std::nullopt;
    Result r;
    r.length = row->reply_length;
    switch (row->kind) {
    case SimAnswer::Kind::Fixed:
        r.payload = row->bytes;
        break;
    case SimAnswer::Kind::Echo:
        r.payload = params;
        break;
    case SimAnswer::Kind::Stored:
        r.payload = m_values[{feature, row->slot}];
        break;
    case SimAnswer::Kind::Store:
        m_values[{feature, row->slot}] =
            Bytes(params.begin() + static_cast<std::ptrdiff_t>(std::min(row->skip, params.size())), params.end());
        r.payload = params;
        break;
    case SimAnswer::Kind::Record: {
        auto it = row->records.find(at(params, 0));
        if (it == row->records.end()) {
            r.error = true;
            r.code = kErrOutOfRange;
        } else {
            r.payload = it->second;
        }
        break;
    }
    case SimAnswer::Kind::Slice: {
        auto it = row->records.find(row->keyed ? at(params, 0) : 0);
        if (it == row->records.end()) {
            r.error = true;
            r.code = kErrOutOfRange;
            break;
        }
        for (std::size_t k = 0; k < row->echo; ++k)
            r.payload.push_back(at(params, k));
        const Bytes& stream = it->second;
        const std::size_t from = std::min<std::size_t>(at(params, row->offset_at), stream.size());
        const std::size_t n = std::min(row->length, stream.size() - from);
        r.payload.insert(r.payload.end(), stream.begin() + static_cast<std::ptrdiff_t>(from),
                         stream.begin() + static_cast<std::ptrdiff_t>(from + n));
        break;
    }
    case SimAnswer::Kind::Prefix: {
        const Bytes* found = nullptr;
        std::size_t longest = 0;
        for (const auto& [key, payload] : row->prefixed) {
            if (key.size() <= params.size() && key.size() >= longest &&
                std::equal(key.begin(), key.end(), params.begin())) {
                found = &payload;
                longest = key.size();
            }
        }
        if (!found) {
            r.error = true;
            r.code = kErrOutOfRange;
        } else {
            r.payload = *found;
        }
        break;
    }
    }
    return r;
}

Bytes SimAnswerTable::value(std::uint16_t feature, std::uint8_t slot) const
{
    auto it = m_values.find({feature, slot});
    return it == m_values.end() ? Bytes{} : it->second;
}

} // namespace platform::sim
