#include "features/Feature6501GestureTable.h"

#include "features/Feature.h"

namespace devio {

std::uint32_t GestureBitReader::bit()
{
    const std::size_t byte = m_cursor / 8;
    const unsigned shift = 7 - static_cast<unsigned>(m_cursor % 8);
    ++m_cursor;
    return byte < m_data.size() ? (m_data[byte] >> shift) & 1u : 0u;
}

std::uint32_t GestureBitReader::read(unsigned count, bool isSigned)
{
    if (count > 0) {
        std::uint32_t value = 0;
        std::uint32_t first = 0;
        for (unsigned i = 0; i < count; ++i) {
            const std::uint32_t b = bit();
            if (i == 0)
                first = b;
            value = (value << 1) | b; // a field wider than 32 bits keeps its low 32
        }
        if (isSigned && first && count < 32)
            value |= ~0u << count;
        return value;
    }
    std::uint32_t value = 0;
    for (unsigned group = 0;; ++group) {
        std::uint32_t nibble = 0;
        for (int i = 0; i < 4; ++i)
            nibble = (nibble << 1) | bit();
        if (3 * group < 32)
            value |= (nibble & 7u) << (3 * group);
        if ((nibble & 8u) == 0)
            break;
    }
    if (isSigned)
        value = (value >> 1) ^ (0u - (value & 1u));
    return value;
}

std::uint32_t Feature6501GestureTable::report_type(std::uint32_t id)
{
    if (id == 0x0001 || id == 0x0004 || id == 0x000A)
        return 2;
    if (id >= 0x005A && id <= 0x0063)
        return 3;
    if (id == 0x0014 || id == 0x001E || id == 0x001F || id == 0x0020 || (id >= 0x0028 && id <= 0x002C) ||
        id == 0x002E || (id >= 0x0032 && id <= 0x0036) || (id >= 0x003C && id <= 0x003F) ||
        (id >= 0x0046 && id <= 0x0049) || id == 0x2762 || id == 0x27D3 || id == 0x27D4)
        return 4;
    if (id == 0x0050 || id == 0x0053)
        return 5;
    if (id == 0x0057)
        return 6;
    return 7;
}

std::uint32_t Feature6501GestureTable::feed(const std::vector<Byte>& reply)
{
    if (reply.empty() || reply[0] == 0)
        return 2;
    for (std::size_t offset = 0; offset < 16; offset += 2) {
        if (!current)
            current.emplace();
        if (offset >= reply.size() || reply[offset] == 0x00)
            break;
        if (reply[offset] == 0x01) {
            complete = true;
            templates.clear();
            return 0;
        }
        if (offset + 1 >= reply.size())
            return 56;
        const auto entry = static_cast<std::uint16_t>(reply[offset] << 8 | reply[offset + 1]);
        raw.push_back(entry);
        interpret(entry);
    }
    return 0;
}

void Feature6501GestureTable::interpret(std::uint16_t entry)
{
    const unsigned kind = entry >> 12;
    const unsigned n = (entry >> 8) & 0x0F;
    const unsigned low = entry & 0xFF;
    GestureRecord& record = *current;
    switch (kind) {
    case 0:
        if (n == 2) {
            record.prefix = (record.prefix << 8) | low;
        } else if (n == 3) {
            record.secondPrefix = (record.secondPrefix << 8) | low;
        } else if (n == 4) {
            if (low == 0 && !templates.empty()) {
                GestureRecord& base = templates.front();
                base.specs.insert(base.specs.end(), record.specs.begin(), record.specs.end());
                base.params.insert(base.params.end(), record.params.begin(), record.params.end());
                base.extras.insert(base.extras.end(), record.extras.begin(), record.extras.end());
            } else if (low == 1 && !templates.empty()) {
                templates.front().specs.clear();
                templates.front().params.clear();
                templates.front().extras.clear();
            } else if (low == 2) {
                templates.push_back(record);
            } else if (low == 3 && templates.size() > 1) {
                templates.pop_back();
            }
            current.reset();
        }
        break;
    case 2:
    case 3: {
        const std::uint32_t value = (record.prefix << 8) | low;
        record.prefix = 0;
        paramLengths.push_back(n);
        record.params.push_back({value, n, static_cast<std::uint32_t>(paramLengths.size() - 1), kind == 3});
        break;
    }
    case 4: {
        const std::uint32_t value = (record.prefix << 8) | low;
        record.prefix = 0;
        specLengths.push_back(n);
        record.specs.push_back({value, n, static_cast<std::uint32_t>(specLengths.size() - 1)});
        break;
    }
    case 6:
    case 7:
        record.extras.push_back({kind == 6 ? 256u : 1u, (entry & 0x0FFFu) | (record.prefix << 12)});
        record.prefix = 0;
        break;
    default:
        add_gesture(entry);
        break;
    }
}

void Feature6501GestureTable::add_gesture(std::uint16_t entry)
{
    GestureRecord record = *current;
    current.reset();
    record.gestureId = (record.prefix << 8) | (entry & 0xFFu);
    record.prefix = 0;
    record.enableCapable = (entry >> 8) & 1;
    record.divertCapable = (entry >> 9) & 1;
    record.flag10 = (entry >> 10) & 1;
    record.flag11 = (entry >> 11) & 1;
    record.flag12 = (entry >> 12) & 1;
    record.flag13 = (entry >> 13) & 1;
    const auto index = static_cast<std::uint32_t>(gestures.size());
    if (record.enableCapable) {
        record.enableBit = static_cast<std::uint32_t>(enableMap.size());
        enableMap.push_back(index);
    }
    if (record.divertCapable) {
        record.divertBit = static_cast<std::uint32_t>(divertMap.size());
        divertMap.push_back(index);
    }
    record.reportType = report_type(record.gestureId);
    // The templates' entries first, base to top, then the gesture's own.
    GestureRecord own = record;
    record.specs.clear();
    record.params.clear();
    record.extras.clear();
    for (const GestureRecord& t : templates) {
        record.specs.insert(record.specs.end(), t.specs.begin(), t.specs.end());
        record.params.insert(record.params.end(), t.params.begin(), t.params.end());
        record.extras.insert(record.extras.end(), t.extras.begin(), t.extras.end());
    }
    record.specs.insert(record.specs.end(), own.specs.begin(), own.specs.end());
    record.params.insert(record.params.end(), own.params.begin(), own.params.end());
    record.extras.insert(record.extras.end(), own.extras.begin(), own.extras.end());
    gestures.push_back(std::move(record));
}

std::vector<Feature6501GestureTable::Notice>
Feature6501GestureTable::decode_gesture_reports(const std::vector<Byte>& payload) const
{
    std::vector<Notice> out;
    std::size_t offset = 0;
    while (offset < payload.size()) {
        const Byte header = payload[offset];
        const std::size_t n = header & 0x0F;
        if (header == 0 || n == 0 || offset + 1 + n > payload.size())
            break;
        const std::vector<Byte> data(payload.begin() + static_cast<std::ptrdiff_t>(offset + 1),
                                     payload.begin() + static_cast<std::ptrdiff_t>(offset + 1 + n));
        decode_gesture_report(header >> 4, data, out);
        // The next header follows this sub-report's data.
        offset += 1 + n;
    }
    return out;
}

void Feature6501GestureTable::decode_gesture_report(std::uint32_t type, const std::vector<Byte>& data,
                                                    std::vector<Notice>& out) const
{
    if (!indexWidthLoaded)
        return;
    GestureBitReader reader(data);
    const std::uint32_t field = reader.read(indexWidth, true);
    if (field >= divertMap.size())
        return;
    const std::uint32_t g = divertMap[field];
    if (g >= gestures.size())
        return;
    const GestureRecord& record = gestures[g];
    const std::vector<std::uint8_t>& widths = record.fieldWidths;
    auto w = [&widths](std::size_t i) -> unsigned {
        if (widths.empty())
            return 0;
        return i < widths.size() ? widths[i] : widths.back();
    };
    const bool leadPresent = record.leadValue != 0;
    Notice notice;
    notice.first = g;
    notice.id = record.gestureId;
    notice.type = type;
    auto sread = [&reader](unsigned count) { return static_cast<int>(reader.read(count, true)); };
    switch (record.reportType) {
    case 1:
        notice.handler = Gesture;
        break;
    case 2:
        notice.handler = TriggerXY;
        notice.values[0] = static_cast<int>(reader.read(w(0), false));
        notice.values[1] = static_cast<int>(reader.read(w(1), false));
        break;
    case 3:
        if (type == 1) {
            notice.handler = FingerStart;
            for (int i = 0; i < 4; ++i)
                notice.values[i] = sread(w(static_cast<std::size_t>(i)));
        } else {
            notice.handler = FingerProgress;
            notice.values[0] = leadPresent ? static_cast<int>(reader.read(w(0), false)) : 1;
            for (int i = 0; i < 4; ++i)
                notice.values[1 + i] = sread(w(static_cast<std::size_t>(i)));
        }
        break;
    case 4:
    case 5:
    case 6: {
        notice.handler = DxDy;
        const std::size_t s = leadPresent ? 1 : 0;
        notice.values[0] = leadPresent ? static_cast<int>(reader.read(w(0), false)) : 1;
        const int a = sread(w(s));
        const int b = sread(w(s + 1));
        notice.values[1] = a;
        notice.values[record.reportType - 2] = b; // type 4: second, 5: third, 6: fourth
        break;
    }
    default:
        notice.handler = Unknown;
        notice.data = data;
        break;
    }
    out.push_back(std::move(notice));
}

std::vector<Feature6501GestureTable::Notice>
Feature6501GestureTable::decode_response(unsigned function, unsigned softwareId, const std::vector<Byte>& payload) const
{
    std::vector<Notice> out;
    if (function == 2 || function == 4) {
        if (payload.size() < 2)
            return out;
        const std::vector<std::uint32_t>& map = function == 2 ? enableMap : divertMap;
        const std::size_t base = payload[0];
        const std::size_t pairs = payload[1];
        for (std::size_t i = 0; i < pairs && i < (payload.size() - 2) / 2; ++i) {
            const Byte mask = payload[2 + 2 * i];
            const Byte values = payload[3 + 2 * i];
            for (unsigned j = 0; j < 8; ++j) {
                const std::size_t k = 8 * (base + i) + j;
                if (!((mask >> j) & 1) || k >= map.size())
                    continue;
                Notice notice;
                notice.handler = function == 2 ? Enabled : Diverted;
                notice.first = softwareId;
                notice.second = map[k];
                notice.flag = (values >> j) & 1;
                out.push_back(std::move(notice));
            }
        }
    } else if (function == 8) {
        std::size_t offset = 0;
        while (offset < payload.size()) {
            const std::size_t p = payload[offset];
            if (p == 0xFF || p >= paramLengths.size())
                break;
            const std::size_t end = offset + 1 + paramLengths[p];
            if (end > payload.size())
                break;
            Notice notice;
            notice.handler = ParamChange;
            notice.first = softwareId;
            notice.second = static_cast<std::uint32_t>(p);
            notice.data.assign(payload.begin() + static_cast<std::ptrdiff_t>(offset + 1),
                               payload.begin() + static_cast<std::ptrdiff_t>(end));
            out.push_back(std::move(notice));
            offset = end;
        }
    }
    return out;
}

} // namespace devio
