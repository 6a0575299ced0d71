// Without "combase.dll" the runtime is reported missing and never loaded a second time.
#include "bluetooth/WinRTBinding.h"

#include <sim/Kernel.h>

#include <gtest/gtest.h>

namespace {

TEST(WinRTAbsent, MissingModuleIsAskedForOnce)
{
    platform::sim::set_module_absent("combase.dll", true);
    EXPECT_FALSE(devio::winrt_available());
    EXPECT_EQ(devio::ro_initialize(1), E_FAIL);
    HSTRING out = reinterpret_cast<HSTRING>(1);
    EXPECT_EQ(devio::ro_activate_instance(nullptr, reinterpret_cast<IInspectable**>(&out)), E_FAIL);
    EXPECT_EQ(devio::hstring_create(u"text").get(), nullptr);

    // Back on the machine, the process keeps its first answer.
    platform::sim::set_module_absent("combase.dll", false);
    EXPECT_FALSE(devio::winrt_available());
    devio::HString s = devio::hstring_create(u"text");
    EXPECT_EQ(s.get(), nullptr);
    EXPECT_EQ(devio::hstring_raw_buffer(s.get(), nullptr), nullptr);
    EXPECT_EQ(platform::sim::module_load_count("combase.dll"), 0u);
}

} // namespace
