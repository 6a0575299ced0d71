#include "features/Feature2121HiResWheel.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

Feature2121HiResWheel::WheelMode Feature2121HiResWheel::decode_wheel_mode(const std::vector<Byte>& record)
{
    WheelMode mode;
    mode.flagA = bit_at(record, 0, 0);
    mode.flagB = bit_at(record, 0, 1);
    mode.flagC = bit_at(record, 0, 2);
    mode.flagD = bit_at(record, 0, 3);
    mode.value1 = byte_at(record, 1);
    mode.value2 = byte_at(record, 2);
    return mode;
}

Byte Feature2121HiResWheel::encode_wheel_flags(bool flagA, bool flagB, bool flagC, bool flagD)
{
    return static_cast<Byte>((flagA ? 0x01 : 0) | (flagB ? 0x02 : 0) | (flagC ? 0x04 : 0) | (flagD ? 0x08 : 0));
}

void Feature2121HiResWheel::store_mode(const WheelMode& mode, bool* flagA, bool* flagB, bool* flagC,
                                       std::uint32_t* value1, std::uint32_t* value2, bool* flagD)
{
    if (flagA)
        *flagA = mode.flagA;
    if (flagB)
        *flagB = mode.flagB;
    if (flagC)
        *flagC = mode.flagC;
    if (flagD)
        *flagD = mode.flagD;
    if (value1)
        *value1 = mode.value1;
    if (value2)
        *value2 = mode.value2;
}

bool Feature2121HiResWheel::GetWheelCapability(std::uint32_t* capability0, bool* capFlag0, bool* capFlag1,
                                               bool* capFlag2, bool* capFlag3, bool* capFlag4,
                                               std::uint32_t* capability2, std::uint32_t* capability3)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {}, ReplyRule::fit(2, 16), reply, 1))
        return false;
    if (capability0)
        *capability0 = reply[0];
    bool* flags[] = {capFlag0, capFlag1, capFlag2, capFlag3, capFlag4};
    for (int bit = 0; bit < 5; ++bit)
        if (flags[bit])
            *flags[bit] = bit_at(reply, 1, static_cast<unsigned>(bit));
    if (capability2)
        *capability2 = reply[2];
    if (capability3)
        *capability3 = reply[3];
    return true;
}

bool Feature2121HiResWheel::GetWheelMode(bool* flagA, bool* flagB, std::uint32_t* value1, std::uint32_t* value2)
{
    return GetWheelMode(flagA, flagB, nullptr, value1, value2, nullptr);
}

bool Feature2121HiResWheel::GetWheelMode(bool* flagA, bool* flagB, bool* flagC, std::uint32_t* value1,
                                         std::uint32_t* value2, bool* flagD)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 1, {}, ReplyRule::fit(3, 16), reply))
        return false;
    store_mode(decode_wheel_mode(reply), flagA, flagB, flagC, value1, value2, flagD);
    return true;
}

bool Feature2121HiResWheel::SetWheelMode(bool flagA, bool flagB, std::uint8_t value1, std::uint8_t value2,
                                         bool* outFlagA, bool* outFlagB, std::uint32_t* outValue1,
                                         std::uint32_t* outValue2)
{
    return SetWheelMode(flagA, flagB, false, value1, value2, false, outFlagA, outFlagB, nullptr, outValue1,
                        outValue2, nullptr);
}

bool Feature2121HiResWheel::SetWheelMode(bool flagA, bool flagB, bool flagC, std::uint8_t value1,
                                         std::uint8_t value2, bool flagD, bool* outFlagA, bool* outFlagB,
                                         bool* outFlagC, std::uint32_t* outValue1, std::uint32_t* outValue2,
                                         bool* outFlagD)
{
    if (!begin_setting_change())
        return false;
    std::vector<Byte> reply;
    if (!read_reply(*this, 2, {encode_wheel_flags(flagA, flagB, flagC, flagD), value1, value2}, ReplyRule::fit(3, 16),
                    reply))
        return false;
    store_mode(decode_wheel_mode(reply), outFlagA, outFlagB, outFlagC, outValue1, outValue2, outFlagD);
    return true;
}

bool Feature2121HiResWheel::GetRatchetSwitchState(bool* state)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 3, {}, ReplyRule::strict(1), reply))
        return false;
    if (state)
        *state = (reply[0] & 0x01) != 0;
    return true;
}

bool Feature2121HiResWheel::GetAnalyticsData(std::vector<Byte>* data)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 4, {}, ReplyRule::strict(16), reply))
        return false;
    if (data)
        *data = reply;
    return true;
}

void Feature2121HiResWheel::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function == 0 && payload.size() >= 5) {
        const bool highResolution = (payload[0] & 0x10) != 0;
        const unsigned periods = payload[0] & 0x0F;
        const int delta = sign16(read_be16(payload, 1));
        const int second = sign16(read_be16(payload, 3));
        Producer<Report>::notify(
            [=](Report* s) { s->onWheelMovement(highResolution, periods, delta, second); },
            "Feature2121HiResWheel::Report::onWheelMovement");
    } else if (function == 1 && !payload.empty()) {
        const bool state = (payload[0] & 0x01) != 0;
        Producer<RatchetSwitch>::notify([state](RatchetSwitch* s) { s->onRatchetSwitch(state); },
                                        "Feature2121HiResWheel::RatchetSwitch::onRatchetSwitch");
    }
}

void Feature2121HiResWheel::on_unexpected_response(unsigned function, unsigned softwareId,
                                                   const std::vector<Byte>& payload)
{
    if (function == 2 && payload.size() >= 3) {
        const WheelMode m = decode_wheel_mode(payload);
        Producer<SettingChange>::notify(
            [softwareId, m](SettingChange* s) {
                s->onSettingChange(softwareId, m.flagA, m.flagB, m.flagC, m.value1, m.value2, m.flagD);
            },
            "Feature2121HiResWheel::SettingChange::onSettingChange");
    } else if (function == 4 && payload.size() == 16) {
        Producer<Report>::notify([softwareId, payload](Report* s) { s->onGetAnalyticsData(softwareId, payload); },
                                 "Feature2121HiResWheel::Report::onGetAnalyticsData");
    }
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature2121HiResWheel, 0x2121)
