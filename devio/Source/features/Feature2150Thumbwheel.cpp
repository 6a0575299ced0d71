#include "features/Feature2150Thumbwheel.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature2150Thumbwheel::GetThumbwheelInfo(unsigned short* info0, unsigned short* info2, bool* infoFlag4,
                                              bool* infoFlag50, bool* infoFlag51, bool* infoFlag52,
                                              bool* infoFlag53, unsigned short* info6)
{
    if (!begin_setting_change())
        return false;
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(8), reply))
        return false;
    if (info0)
        *info0 = read_be16(reply, 0);
    if (info2)
        *info2 = read_be16(reply, 2);
    if (infoFlag4)
        *infoFlag4 = (reply[4] & 0x01) != 0;
    bool* flags[] = {infoFlag50, infoFlag51, infoFlag52, infoFlag53};
    for (int bit = 0; bit < 4; ++bit)
        if (flags[bit])
            *flags[bit] = (reply[5] >> bit) & 1;
    if (info6)
        *info6 = read_be16(reply, 6);
    return true;
}

bool Feature2150Thumbwheel::GetThumbwheelStatus(std::uint8_t* reportingMode, bool* status0, bool* status1,
                                                bool* status2)
{
    if (!begin_setting_change())
        return false;
    std::vector<Byte> reply;
    if (!read_reply(*this, 1, {}, ReplyRule::strict(2), reply))
        return false;
    if (reportingMode) {
        // Only modes 0 and 1 exist; another value fails without an error of its own.
        if (reply[0] > 1)
            return false;
        *reportingMode = reply[0];
    }
    if (status0)
        *status0 = (reply[1] & 0x01) != 0;
    if (status1)
        *status1 = (reply[1] & 0x02) != 0;
    if (status2)
        *status2 = (reply[1] & 0x04) != 0;
    return true;
}

bool Feature2150Thumbwheel::SetThumbwheelReporting(std::uint8_t reportingMode, std::uint8_t second)
{
    if (!begin_setting_change())
        return false;
    return write_request(*this, 2, {reportingMode, second});
}

void Feature2150Thumbwheel::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0 || payload.size() < 6)
        return;
    const unsigned short rotation = read_be16(payload, 0);
    const unsigned int timestamp = read_be16(payload, 2);
    const std::uint8_t state = payload[4];
    const bool flag1 = (payload[5] & 0x02) != 0;
    const bool flag2 = (payload[5] & 0x04) != 0;
    const bool flag3 = (payload[5] & 0x08) != 0;
    Producer<Event>::notify([=](Event* s) { s->OnThumbwheelEvent(rotation, timestamp, state, flag1, flag2, flag3); },
           "Feature2150Thumbwheel::Event::OnThumbwheelEvent");
}

void Feature2150Thumbwheel::on_unexpected_response(unsigned function, unsigned softwareId,
                                                   const std::vector<Byte>& /*payload*/)
{
    if (function != 2)
        return;
    auto runLoop = lock_run_loop();
    if (!runLoop)
        return; // nowhere to wait for the reply but this thread
    std::weak_ptr<Feature> weak = self();
    runLoop->post(
        [weak, softwareId]() -> bool {
            if (auto feature = std::static_pointer_cast<Feature2150Thumbwheel>(weak.lock()))
                feature->publish_reporting(softwareId);
            return false;
        },
        static_cast<Feature*>(this), Producer<Event>::producer_key(),
        "Feature2150Thumbwheel::Event::OnThumbwheelReportingChanged");
}

void Feature2150Thumbwheel::publish_reporting(unsigned softwareId)
{
    std::uint8_t reportingMode = 0;
    bool status0 = false;
    if (!GetThumbwheelStatus(&reportingMode, &status0, nullptr, nullptr))
        return;
    Producer<Event>::notify([=](Event* s) { s->OnThumbwheelReportingChanged(softwareId, reportingMode, status0); },
           "Feature2150Thumbwheel::Event::OnThumbwheelReportingChanged");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature2150Thumbwheel, 0x2150)
