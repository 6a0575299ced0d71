#include "features/Feature6012Gestures.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature6012Gestures::GetGestureFlags(bool* a, bool* b, bool* c, bool* d)
{
    return shared_ops::get_gesture_flags(*this, 4, a, b, c, d);
}

bool Feature6012Gestures::SetGestureFlags(const bool flags[4]) { return shared_ops::set_gesture_flags(*this, 4, flags); }

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature6012Gestures, 0x6012)
