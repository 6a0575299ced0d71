#pragma once
// Setting writes that a device refusing requests (code 5) keeps for its next configuration
// change. Each feature family that defers writes adds its cases in a file of its own
// (DeferredWrites<family>.cpp) through DeferredCases; DeferredWritesTest.cpp runs them all.
#include "GoldenWire.h"

#include <functional>
#include <string>
#include <vector>

namespace devio::test {

struct DeferredCase {
    std::string name;
    std::uint16_t feature = 0;
    // Makes the n-th write (n = 0..99, each with different arguments) and reports its result.
    std::function<bool(IFeature& feature, int n)> write;
    // The request write n puts on the wire.
    std::function<Wire(int n)> wire;
    // How many writes with different arguments the feature can make (0: as many as asked).
    int distinct = 0;
};

std::vector<DeferredCase>& deferred_cases();
struct DeferredCases {
    explicit DeferredCases(std::vector<DeferredCase> cases)
    {
        for (auto& c : cases)
            deferred_cases().push_back(std::move(c));
    }
};

} // namespace devio::test
