// Debugger output as the other parts of the stand-in report to it.
#pragma once

#include <string>

namespace platform::detail {

void debug_append(std::string text);

}  // namespace platform::detail
