#include "features/Feature807aRpmIndicator.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature807aRpmIndicator::GetInfo(std::uint8_t* mode, std::uint32_t* infoByte1, std::uint32_t* ledCount)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 0, {}, ReplyRule::any(), r))
        return false;
    m_led_count = byte_at(r, 2);
    if (mode) {
        *mode = byte_at(r, 0);
        m_mode = byte_at(r, 0);
    }
    if (infoByte1)
        *infoByte1 = byte_at(r, 1);
    if (ledCount)
        *ledCount = byte_at(r, 2);
    return true;
}

bool Feature807aRpmIndicator::GetLedBytes(std::vector<Byte>* bytes)
{
    if (!bytes)
        return false;
    std::vector<Byte> r;
    if (m_led_count == 0) {
        if (!read_reply(*this, 0, {}, ReplyRule::any(), r))
            return false;
        m_led_count = byte_at(r, 2);
    }
    if (!read_reply(*this, 1, {}, ReplyRule::any(), r))
        return false;
    const std::uint32_t count = m_led_count;
    if (r.size() < count)
        return false;
    bytes->assign(r.begin(), r.begin() + count);
    return true;
}

bool Feature807aRpmIndicator::GetStateByte(std::uint8_t* value)
{
    std::vector<Byte> r;
    if (!value || !read_reply(*this, 2, {}, ReplyRule::any(), r))
        return false;
    *value = byte_at(r, 0);
    return true;
}

bool Feature807aRpmIndicator::GetIndexedByte(std::uint8_t index, std::uint8_t* value)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 3, {index}, ReplyRule::any(), r))
        return false;
    if (value)
        *value = byte_at(r, 0);
    return true;
}

std::uint8_t Feature807aRpmIndicator::current_mode()
{
    if (m_mode == 0) {
        std::uint8_t mode = 0;
        GetInfo(&mode, nullptr, nullptr);
    }
    return m_mode;
}

std::vector<std::uint32_t> Feature807aRpmIndicator::unpack(std::uint8_t mode, const std::vector<Byte>& reply)
{
    std::vector<std::uint32_t> states;
    const std::size_t n = byte_at(reply, 1);
    if (mode == 1)
        states.assign(n, 0);
    for (std::size_t k = 2; k < reply.size() && states.size() < n; ++k) {
        if (mode == 2)
            states.push_back(reply[k]);
        else if (mode == 3)
            for (unsigned bit = 0; bit < 8 && states.size() < n; ++bit)
                states.push_back((reply[k] >> bit) & 1u);
    }
    return states;
}

bool Feature807aRpmIndicator::GetLedStates(std::uint8_t first, std::uint8_t count, std::vector<std::uint32_t>& states)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 4, {first, count}, ReplyRule::any(), r))
        return false;
    states.clear();
    states = unpack(current_mode(), r);
    return true;
}

std::vector<Byte> Feature807aRpmIndicator::pack(std::uint8_t mode, std::uint8_t count,
                                                 const std::vector<std::uint32_t>& states)
{
    std::vector<Byte> out;
    if (mode == 1) {
        // Every value goes, whatever the count.
        for (std::uint32_t v : states)
            out.insert(out.end(), {static_cast<Byte>(v >> 16), static_cast<Byte>(v >> 8), static_cast<Byte>(v)});
    } else if (mode == 2) {
        for (std::size_t k = 0; k < states.size() && k < count; ++k)
            out.push_back(static_cast<Byte>(states[k]));
    } else if (mode == 3) {
        Byte acc = 0;
        unsigned bits = 0;
        for (std::size_t k = 0; k < states.size() && k < count; ++k) {
            if (states[k] != 0)
                acc = static_cast<Byte>(acc | (1u << bits));
            if (++bits == 8) {
                out.push_back(acc);
                acc = 0;
                bits = 0;
            }
        }
        if (bits > 0)
            out.push_back(acc);
    }
    return out;
}

bool Feature807aRpmIndicator::SetLedStates(std::uint8_t first, std::uint8_t count,
                                           const std::vector<std::uint32_t>& states)
{
    std::vector<Byte> params{first, count};
    const auto packed = pack(current_mode(), count, states);
    params.insert(params.end(), packed.begin(), packed.end());
    return write_request(*this, 5, params);
}

bool Feature807aRpmIndicator::SetThreeWords(std::uint32_t a, std::uint32_t b, std::uint32_t c)
{
    return shared_ops::set_three_words(*this, a, b, c);
}

bool Feature807aRpmIndicator::GetThreeWords(std::uint32_t* a, std::uint32_t* b, std::uint32_t* c)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 7, {}, ReplyRule::any(), r))
        return false;
    if (a)
        *a = read_be16(r, 0);
    if (b)
        *b = read_be16(r, 2);
    if (c)
        *c = read_be16(r, 4);
    return true;
}

void Feature807aRpmIndicator::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0 || payload.empty())
        return;
    // States are packed by mode: forget the kept one, the next lookup asks the device.
    m_mode = 0;
    const auto newMode = static_cast<mode>(payload[0]);
    Producer<Report>::notify([newMode](Report* s) { s->OnRPMModeChanged(newMode); },
                             "Feature807aRpmIndicator::report::OnRPMModeChanged");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature807aRpmIndicator, 0x807A)
