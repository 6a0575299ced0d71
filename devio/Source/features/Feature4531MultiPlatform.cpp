#include "features/Feature4531MultiPlatform.h"

#include "core/ErrorRecord.h"
#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature4531MultiPlatform::GetPlatformInfo(std::uint32_t* first, std::uint16_t* second, std::uint16_t* third,
                                               std::uint16_t* fourth, std::uint16_t* fifth, std::uint16_t* sixth)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(7), reply))
        return false;
    if (first)
        *first = static_cast<std::uint32_t>(static_cast<std::int32_t>(sign16(read_be16(reply, 0))));
    std::uint16_t* rest[] = {second, third, fourth, fifth, sixth};
    for (std::size_t i = 0; i < 5; ++i)
        if (rest[i])
            *rest[i] = reply[2 + i];
    return true;
}

bool Feature4531MultiPlatform::GetPlatformRecord(std::uint8_t index, std::vector<Byte>* record)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 1, {index}, ReplyRule::strict(16), reply))
        return false;
    if (record)
        *record = reply;
    return true;
}

bool Feature4531MultiPlatform::GetPlatformState(std::uint8_t index, std::uint16_t* v0, std::uint16_t* v1,
                                                std::uint16_t* v2, std::uint16_t* v3, std::uint16_t* v4,
                                                std::uint16_t* v5)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 2, {index}, ReplyRule::strict(6), reply))
        return false;
    std::uint16_t* out[] = {v0, v1, v2, v3, v4, v5};
    for (std::size_t i = 0; i < 6; ++i)
        if (out[i])
            *out[i] = reply[i];
    return true;
}

bool Feature4531MultiPlatform::SetPlatform(std::uint8_t first, std::uint8_t second)
{
    return write_request(*this, 3, {first, second});
}

void Feature4531MultiPlatform::on_notification(int /*function*/, const std::vector<Byte>& payload)
{
    if (payload.size() < 3) {
        set_last_error(2, 0, nullptr);
        return;
    }
    const short a = payload[0], b = payload[1], c = payload[2];
    Producer<Report>::notify([=](Report* s) { s->onPlatformChangeEvent(a, b, c); },
                             "Feature4531MultiPlatform::Report::onPlatformChangeEvent");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature4531MultiPlatform, 0x4531)
