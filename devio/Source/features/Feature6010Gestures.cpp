#include "features/Feature6010Gestures.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature6010Gestures::GetGestureFlags(bool* a, bool* b, bool* c, bool* d)
{
    return shared_ops::get_gesture_flags(*this, 8, a, b, c, d);
}

bool Feature6010Gestures::SetGestureFlags(const bool flags[8]) { return shared_ops::set_gesture_flags(*this, 8, flags); }

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature6010Gestures, 0x6010)
