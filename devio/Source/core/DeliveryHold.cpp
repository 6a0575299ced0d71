#include "core/DeliveryHold.h"

#include <vector>

namespace devio {

namespace {

// Plain values only: built by mingw-w64, a thread-local list with a destructor of its own made
// the run-loop suites fault under Wine. The list exists only while something waits in it, and it
// is emptied before the depth returns to 0, so no thread ends with one.
thread_local int t_depth = 0;
thread_local std::vector<std::shared_ptr<void>>* t_released = nullptr;

} // namespace

DeliveryScope::DeliveryScope()
{
    ++t_depth;
}

DeliveryScope::~DeliveryScope()
{
    if (t_depth > 1) {
        --t_depth;
        return;
    }
    // Still counted as inside: what an ending object lets go of in its own deliveries joins this
    // loop instead of ending under them.
    while (std::vector<std::shared_ptr<void>>* ending = t_released) {
        t_released = nullptr;
        delete ending;
    }
    --t_depth;
}

void release_after_deliveries(std::shared_ptr<void> object)
{
    if (t_depth == 0)
        return;
    if (!t_released)
        t_released = new std::vector<std::shared_ptr<void>>();
    t_released->push_back(std::move(object));
}

} // namespace devio
