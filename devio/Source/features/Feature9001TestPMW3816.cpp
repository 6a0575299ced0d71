#include "features/Feature9001TestPMW3816.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature9001TestPMW3816::ReadRegister(std::uint8_t address, std::uint8_t* value)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {address}, ReplyRule::strict(1), reply))
        return false;
    if (value)
        *value = reply[0];
    return true;
}

bool Feature9001TestPMW3816::command(std::uint32_t function, const std::vector<Byte>& params)
{
    return write_request(*this, function, params);
}

bool Feature9001TestPMW3816::WriteRegister(std::uint8_t address, std::uint8_t value)
{
    return command(1, {address, value});
}
bool Feature9001TestPMW3816::SendFunction2() { return command(2, {}); }
bool Feature9001TestPMW3816::SendFunction3() { return command(3, {}); }
bool Feature9001TestPMW3816::SendFunction4(std::int16_t value)
{
    const auto v = static_cast<std::uint16_t>(value);
    return command(4, {Byte(v >> 8), Byte(v)});
}
bool Feature9001TestPMW3816::SendFunction5() { return command(5, {}); }
bool Feature9001TestPMW3816::SendFunction6() { return command(6, {}); }

void Feature9001TestPMW3816::on_notification(int function, const std::vector<Byte>& p)
{
    if (p.size() < 16)
        return;
    if (function == 0) {
        if (p[12] != 0x00)
            return;
        const std::uint16_t a = read_le16(p, 0), b = read_le16(p, 2);
        const std::uint8_t c = p[4], d = p[5], e = p[6], f = p[7];
        const std::uint16_t g = read_be16(p, 8), h = read_be16(p, 10);
        const std::uint8_t i = p[13];
        const std::uint16_t j = read_be16(p, 14);
        Producer<Event>::notify([=](Event* s) { s->OnTrackingReport(a, b, c, d, e, f, g, h, i, j); },
                                "Feature9001TestPMW3816::Event::OnTrackingReport");
    } else if (function == 1) {
        Producer<Event>::notify([p](Event* s) { s->OnFrameCaptureReport(p); },
                                "Feature9001TestPMW3816::Event::OnFrameCaptureReport");
    }
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature9001TestPMW3816, 0x9001)
