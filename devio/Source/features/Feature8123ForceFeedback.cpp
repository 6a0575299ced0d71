#include "features/Feature8123ForceFeedback.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

#include <cmath>
#include <limits>

namespace devio {

namespace {

// Scaled, clamped in floating point, then truncated toward zero: out-of-range and NaN inputs
// never reach the integer conversion.
long scaled(float v, double multiplier, double lo, double hi)
{
    double x = static_cast<double>(v) * multiplier;
    if (std::isnan(x))
        return 0;
    if (x < lo)
        x = lo;
    if (x > hi)
        x = hi;
    return static_cast<long>(std::trunc(x));
}

// Appends at the block's next offsets.
struct BlockWriter {
    std::vector<Byte> bytes;
    void u8(std::uint32_t v) { bytes.push_back(static_cast<Byte>(v)); }
    void u16(std::uint32_t v) { put_be16(bytes, v); }
};

// Every force block opens with its slot, its header byte and two 16-bit values.
BlockWriter start(std::uint32_t* slot, std::uint32_t kind, std::uint32_t option, std::uint32_t flag,
                  std::uint32_t value1, std::uint32_t value2)
{
    BlockWriter w;
    w.u8(*slot);
    w.u8(Feature8123ForceFeedback::header(kind, option, flag));
    w.u16(value1);
    w.u16(value2);
    return w;
}

// Attack and fade: a byte level and a 16-bit time each.
void envelope(BlockWriter& w, float level1, std::uint32_t time1, float level2, std::uint32_t time2)
{
    w.u8(Feature8123ForceFeedback::byte_level(level1));
    w.u16(time1);
    w.u8(Feature8123ForceFeedback::byte_level(level2));
    w.u16(time2);
}

} // namespace

std::uint16_t Feature8123ForceFeedback::signed_level(float v)
{
    return static_cast<std::uint16_t>(scaled(v, 32767.0, -32768.0, 32767.0));
}
std::uint16_t Feature8123ForceFeedback::unsigned_level(float v)
{
    return static_cast<std::uint16_t>(scaled(v, 32767.0, 0.0, 65535.0));
}
std::uint8_t Feature8123ForceFeedback::byte_level(float v)
{
    return static_cast<std::uint8_t>(scaled(v, 255.0, 0.0, 255.0));
}
std::uint16_t Feature8123ForceFeedback::factor(float v)
{
    return static_cast<std::uint16_t>(scaled(v, 65535.0, 0.0, 65535.0));
}
std::uint8_t Feature8123ForceFeedback::header(std::uint32_t kind, std::uint32_t option, std::uint32_t flag)
{
    return static_cast<std::uint8_t>((kind & 0x0F) | ((option & 0x07) << 4) | ((flag & 1) << 7));
}

bool Feature8123ForceFeedback::GetForceInfo(std::uint32_t* a, std::uint32_t* b)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(1), r))
        return false;
    if (a)
        *a = r[0];
    if (b)
        *b = byte_at(r, 1);
    return true;
}

bool Feature8123ForceFeedback::ResetForces() { return shared_ops::call_function1(*this); }

bool Feature8123ForceFeedback::download(std::uint32_t* slot, std::vector<Byte> block)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 2, block, ReplyRule::strict(1).wide(), r))
        return false;
    *slot = r[0];
    return true;
}

bool Feature8123ForceFeedback::DownloadForceA(std::uint32_t* slot, std::uint32_t kind, std::uint32_t option,
                                              std::uint32_t flag, std::uint32_t value1, std::uint32_t value2,
                                              float level, float envelopeLevel1, std::uint32_t envelopeTime1,
                                              float envelopeLevel2, std::uint32_t envelopeTime2)
{
    if (!slot)
        return false;
    BlockWriter w = start(slot, kind, option, flag, value1, value2);
    w.u16(signed_level(level));
    envelope(w, envelopeLevel1, envelopeTime1, envelopeLevel2, envelopeTime2);
    w.bytes.resize(16, 0);
    return download(slot, std::move(w.bytes));
}

bool Feature8123ForceFeedback::DownloadForceB(std::uint32_t* slot, std::uint32_t kind, std::uint32_t option,
                                              std::uint32_t flag, std::uint32_t value1, std::uint32_t value2,
                                              float level1, float level2, std::uint32_t value3, float level3,
                                              float envelopeLevel1, std::uint32_t envelopeTime1, float envelopeLevel2,
                                              std::uint32_t envelopeTime2, float level4)
{
    if (!slot)
        return false;
    BlockWriter w = start(slot, kind, option, flag, value1, value2);
    w.u16(signed_level(level1));
    w.u16(signed_level(level2));
    w.u16(value3);
    w.u16(signed_level(level3));
    envelope(w, envelopeLevel1, envelopeTime1, envelopeLevel2, envelopeTime2);
    w.u16(unsigned_level(level4));
    return download(slot, std::move(w.bytes));
}

bool Feature8123ForceFeedback::DownloadForceC(std::uint32_t* slot, std::uint32_t kind, std::uint32_t option,
                                              std::uint32_t flag, std::uint32_t value1, std::uint32_t value2,
                                              float level1, float level2, float level3, float level4, float level5,
                                              float level6)
{
    if (!slot)
        return false;
    BlockWriter w = start(slot, kind, option, flag, value1, value2);
    w.u16(unsigned_level(level1));
    w.u16(signed_level(level2));
    w.u16(signed_level(level3));
    w.u16(signed_level(level4));
    w.u16(signed_level(level5));
    w.u16(unsigned_level(level6));
    return download(slot, std::move(w.bytes));
}

bool Feature8123ForceFeedback::DownloadForceD(std::uint32_t* slot, std::uint32_t kind, std::uint32_t option,
                                              std::uint32_t flag, std::uint32_t value1, std::uint32_t value2,
                                              float level1, float level2, float envelopeLevel1,
                                              std::uint32_t envelopeTime1, float envelopeLevel2,
                                              std::uint32_t envelopeTime2)
{
    if (!slot)
        return false;
    BlockWriter w = start(slot, kind, option, flag, value1, value2);
    w.u16(signed_level(level1));
    w.u16(signed_level(level2));
    envelope(w, envelopeLevel1, envelopeTime1, envelopeLevel2, envelopeTime2);
    w.bytes.resize(18, 0);
    return download(slot, std::move(w.bytes));
}

bool Feature8123ForceFeedback::SetForceState(std::uint8_t slot, std::uint8_t state)
{
    std::vector<Byte> r;
    return read_reply(*this, 3, {slot, state}, ReplyRule::strict(16), r);
}

bool Feature8123ForceFeedback::ReleaseForce(std::uint8_t slot)
{
    std::vector<Byte> r;
    return read_reply(*this, 4, {slot}, ReplyRule::strict(16), r);
}

bool Feature8123ForceFeedback::GetForceSetting(std::uint32_t* value)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 5, {}, ReplyRule::strict(2), r))
        return false;
    if (value)
        *value = read_be16(r, 0);
    return true;
}

bool Feature8123ForceFeedback::SetForceSetting(std::int32_t value)
{
    std::vector<Byte> params;
    put_be16(params, static_cast<std::uint32_t>(value));
    return write_request(*this, 6, params);
}

bool Feature8123ForceFeedback::GetForceFactors(float* a, float* b)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 7, {}, ReplyRule::strict(4), r))
        return false;
    if (a)
        *a = static_cast<float>(read_be16(r, 0) / 65535.0);
    if (b)
        *b = static_cast<float>(read_be16(r, 2) / 65535.0);
    return true;
}

bool Feature8123ForceFeedback::SetForceFactors(float a, float b)
{
    std::vector<Byte> params;
    put_be16(params, factor(a));
    put_be16(params, factor(b));
    return write_request(*this, 8, params);
}

void Feature8123ForceFeedback::on_notification(int /*function*/, const std::vector<Byte>& payload)
{
    // Cut to the entries the payload holds.
    std::vector<unsigned int> slots;
    const std::size_t n = byte_at(payload, 0);
    for (std::size_t i = 1; i <= n && i < payload.size(); ++i)
        slots.push_back(payload[i]);
    Producer<ForceNotification>::notify([slots](ForceNotification* s) { s->onExpiredForces(slots); },
                                        "Feature8123ForceFeedback::ForceNotification::onExpiredForces");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8123ForceFeedback, 0x8123)
