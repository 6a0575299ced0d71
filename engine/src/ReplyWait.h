// How long to wait for a device's reply. Long waits follow the process-wide timing scale, but a
// reply is always given its full time up to 100 ms: shortened below that, a loaded machine would
// turn a slow answer into a failed update.
#pragma once

#include "core/Timing.h"

#include <windows.h>

#include <algorithm>

namespace qv {

inline DWORD reply_wait(DWORD ms)
{
    return std::max<DWORD>(devio::Timing::scaled(ms), std::min<DWORD>(ms, 100));
}

}  // namespace qv
