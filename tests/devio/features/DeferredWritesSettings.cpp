// Deferred setting writes of the special-key features.
#include "DeferredWrites.h"

#include "features/IFeature1B03SpecialKeys.h"
#include "features/IFeature1B04SpecialKeys.h"

namespace devio::test {
namespace {

const DeferredCases cases8({
    {"Feature1B03SetKeyReporting", 0x1B03,
     [](IFeature& f, int n) {
         return dynamic_cast<IFeature1B03SpecialKeys&>(f).SetKeyReporting(0x0100 + n, static_cast<std::uint8_t>(n));
     },
     [](int n) { return Wire{5, {0x01, static_cast<Byte>(n), static_cast<Byte>(n)}}; }},
    {"Feature1B04SetKeyReporting", 0x1B04,
     [](IFeature& f, int n) {
         return dynamic_cast<IFeature1B04SpecialKeys&>(f).SetKeyReporting(0x0200 + n, 2, 0x0300 + n, 1);
     },
     [](int n) { return Wire{3, {0x02, static_cast<Byte>(n), 2, 0x03, static_cast<Byte>(n), 1}}; }},
});

} // namespace
} // namespace devio::test
