// Every registered family id makes a class of its own that casts to its interface; a family id
// without a row fails the sweep, so no registration goes unchecked.
#include "InterfaceSweep.h"

#include "FakeDevice.h"

#include "features/Feature.h"
#include "features/FeatureRegistry.h"

#include <gtest/gtest.h>

#include <map>
#include <typeinfo>

namespace devio::test {

std::vector<InterfaceRow>& interface_rows()
{
    static std::vector<InterfaceRow> rows;
    return rows;
}

namespace {

// The core protocol features, swept by the registry's own test.
bool core(std::uint32_t id) { return id < 0x1000 || id == 0x1000 || id == 0x1D4B; }

TEST(InterfaceSweep, EveryFamilyIdCastsToItsInterface)
{
    auto dev = std::make_shared<FakeDevice>();
    std::map<std::uint32_t, const InterfaceRow*> byId;
    for (const auto& row : interface_rows()) {
        EXPECT_TRUE(byId.emplace(row.feature, &row).second) << "two rows for " << std::hex << row.feature;
    }
    const auto registered = FeatureRegistry::registered();
    for (const auto& [id, row] : byId) {
        SCOPED_TRACE(row->interface_name);
        EXPECT_EQ(registered.count(static_cast<std::int32_t>(id)), 1u) << "not registered";
        auto feature = make_feature(id, 4, dev);
        EXPECT_EQ(feature->feature_id(), id);
        EXPECT_NE(typeid(*feature), typeid(Feature));
        EXPECT_TRUE(row->is_interface(feature));
        EXPECT_EQ(feature->self().get(), std::dynamic_pointer_cast<Feature>(feature).get());
    }
    for (const auto& entry : registered) {
        const auto id = static_cast<std::uint32_t>(entry.first);
        if (!core(id)) {
            EXPECT_EQ(byId.count(id), 1u) << "registered without a sweep row: " << std::hex << id;
        }
    }
}

} // namespace
} // namespace devio::test
