#include "core/DeliveryHold.h"

#include <vector>

namespace devio {

namespace {

thread_local int t_depth = 0;
thread_local std::vector<std::shared_ptr<void>> t_released;

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
    while (!t_released.empty()) {
        std::vector<std::shared_ptr<void>> ending;
        ending.swap(t_released);
        ending.clear();
    }
    --t_depth;
}

void release_after_deliveries(std::shared_ptr<void> object)
{
    if (t_depth > 0)
        t_released.push_back(std::move(object));
}

} // namespace devio
