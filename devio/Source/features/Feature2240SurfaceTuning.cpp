#include "features/Feature2240SurfaceTuning.h"

#include "core/ErrorRecord.h"
#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

#include <algorithm>

namespace devio {

bool Feature2240SurfaceTuning::GetSurfaceTuningInfo(std::uint8_t* block)
{
    if (!block)
        return false;
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(2), reply))
        return false;
    // A short report cannot hold the block: refused quietly.
    if (reply.size() < 9)
        return false;
    std::copy(reply.begin(), reply.begin() + 9, block);
    return true;
}

bool Feature2240SurfaceTuning::SetSurfaceTuning(const std::uint8_t* setting)
{
    if (!setting)
        return false;
    return write_request(*this, 1, {setting[0], setting[1], setting[2], 0x01});
}

bool Feature2240SurfaceTuning::command(std::uint32_t function)
{
    return write_request(*this, function, {});
}

bool Feature2240SurfaceTuning::SurfaceTuningCommand2() { return command(2); }
bool Feature2240SurfaceTuning::SurfaceTuningCommand3() { return shared_ops::surface_tuning_command3(*this); }
bool Feature2240SurfaceTuning::SurfaceTuningCommand4() { return command(4); }
bool Feature2240SurfaceTuning::SurfaceTuningCommand5() { return command(5); }
bool Feature2240SurfaceTuning::SurfaceTuningCommand6() { return command(6); }

void Feature2240SurfaceTuning::on_notification(int function, const std::vector<Byte>& payload)
{
    if (payload.size() < 3)
        return;
    const bool succeeded = payload[0] == 0;
    const Byte result1 = payload[1];
    const Byte result2 = payload[2];
    if (function == 0)
        Producer<Report>::notify([=](Report* s) { s->onShutterCalibrationDone(succeeded, result1); },
               "Feature2240SurfaceTuning::Report::onShutterCalibrationDone");
    else if (function == 1)
        Producer<Report>::notify([=](Report* s) { s->onSqualCalibrationDone(succeeded, result1, result2); },
               "Feature2240SurfaceTuning::Report::onSqualCalibrationDone");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature2240SurfaceTuning, 0x2240)
