// The provider's Windows 10 check on Windows 10 as a process sees it: Windows tells a program
// whose manifest does not declare Windows 10 that it runs on 6.2, and Bluetooth LE then stays off.
#include "ProviderRig.h"

#include "core/CDevio.h"

#include <gtest/gtest.h>

#include <cstring>

namespace app::test {
namespace {

TEST(ApplicationManifest, DecidesTheWindows10Check)
{
    std::string windows81Only = applicationManifest();
    const std::string windows10Id = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}";
    ASSERT_NE(windows81Only.find(windows10Id), std::string::npos);
    windows81Only.erase(windows81Only.find(windows10Id), windows10Id.size());

    struct Row {
        const char* name;
        std::string manifest;
        bool bluetoothLE;
        DWORD major, minor;
    };
    const Row rows[] = {
        {"the program's manifest", applicationManifest(), true, 10, 0},
        {"no manifest", "", false, 6, 2},
        {"a manifest up to Windows 8.1", windows81Only, false, 6, 3},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ProviderRig rig;
        platform::sim::set_os_version(platform::sim::OsVersion{});  // Windows 10
        platform::sim::declare_manifest(r.manifest);
        rig.start();

        OSVERSIONINFOW info;
        std::memset(&info, 0, sizeof info);
        info.dwOSVersionInfoSize = sizeof info;
        ASSERT_TRUE(GetVersionExW(&info));
        EXPECT_EQ(info.dwMajorVersion, r.major);
        EXPECT_EQ(info.dwMinorVersion, r.minor);
        for (auto item : {devio::ConfigBluetoothLE, devio::ConfigWinRTBluetooth}) {
            bool on = !r.bluetoothLE;
            ASSERT_TRUE(devio::CDevio::instance().getConfig(item, &on));
            EXPECT_EQ(on, r.bluetoothLE) << "configuration item " << item;
        }
    }
    platform::sim::declare_manifest(applicationManifest());
}

}  // namespace
}  // namespace app::test
