#pragma once
// The registry sweep: every registered family id with the interface its class must have.
// Each family adds its rows in a file of its own (InterfaceSweep<family>.cpp) through
// InterfaceRows; InterfaceSweepTest.cpp requires a row for every registered family id.
#include "features/IFeature.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace devio::test {

struct InterfaceRow {
    std::uint16_t feature = 0;
    std::string interface_name;
    std::function<bool(const std::shared_ptr<IFeature>&)> is_interface;
};

std::vector<InterfaceRow>& interface_rows();
struct InterfaceRows {
    explicit InterfaceRows(std::vector<InterfaceRow> rows)
    {
        for (auto& r : rows)
            interface_rows().push_back(std::move(r));
    }
};

template <class I>
InterfaceRow interface_row(const char* name)
{
    return {static_cast<std::uint16_t>(I::FeatureId), name,
            [](const std::shared_ptr<IFeature>& f) { return std::dynamic_pointer_cast<I>(f) != nullptr; }};
}

} // namespace devio::test
