#include "features/Feature4220LockKeyState.h"

#include "core/ErrorRecord.h"
#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature4220LockKeyState::GetLockKeyState(std::uint16_t* state)
{
    return shared_ops::get_backlight_value(*this, state);
}

void Feature4220LockKeyState::on_notification(int /*function*/, const std::vector<Byte>& payload)
{
    if (payload.empty()) {
        set_last_error(2, 0, nullptr);
        return;
    }
    const short state = payload[0];
    Producer<Report>::notify([state](Report* s) { s->onLockKeyChange(state); },
                             "Feature4220LockKeyState::Report::onLockKeyChange");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature4220LockKeyState, 0x4220)
