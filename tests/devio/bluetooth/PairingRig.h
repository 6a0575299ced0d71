// The pairing bus over the fakes, with a device manager whose run loop the test drains, and a
// folder of the simulated machine for "paired.xml".
#pragma once

#include "PairingFakes.h"

#include <gtest/gtest.h>
#include <sim/Kernel.h>
#include <unistd.h>

#include <filesystem>

namespace bt_test {

// A fresh folder of the simulated machine, named by its Windows path (with a trailing backslash),
// where the bus keeps "paired.xml".
struct TempDir {
    explicit TempDir(const std::string& name = "quillon-bt")
    {
        static int counter = 0;
        windows = "C:\\Users\\User\\AppData\\Local\\" + name + "-" + std::to_string(::getpid()) + "-" +
                  std::to_string(++counter) + "\\";
        host = platform::sim::host_path(windows);
        std::filesystem::create_directories(host);
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(host, ignored);
    }
    std::string dir() const { return windows; }
    std::string file() const { return dir() + "paired.xml"; }
    std::string read() const
    {
        std::string text;
        platform::sim::read_file(file(), text);
        return text;
    }
    void write(const std::string& text) const { platform::sim::write_file(file(), text); }
    std::string windows;
    std::string host;
};

// Items 0 to 3 as the bus reads them when it is made.
struct PairingRig {
    explicit PairingRig(bool item2 = true, bool item3 = false)
    {
        manager = std::make_shared<DeviceManager>(std::make_shared<NullFactory>());
        manager->set_run_loop(manager);
        manager->setConfig(ConfigItem(2), item2);
        manager->setConfig(ConfigItem(3), item3);
        child->set_run_loop(manager);
        bt->set_run_loop(manager);
        child->bluetooth.push_back(bt);
        errors.Subscriber<IDeviceManager::UnreportedError>::subscribe(manager, 1, "");
    }
    std::shared_ptr<PairingBus> make_bus()
    {
        bus = std::make_shared<PairingBus>(manager, child);
        EXPECT_TRUE(plugs.Subscriber<IHardwareBus::PlugUnplug>::subscribe(bus, 1, "plugs"));
        return bus;
    }
    void drain() { manager->process(); }
    std::shared_ptr<PairingDevice> remembered(const std::string& path)
    {
        for (const auto& d : bus->remembered())
            if (d->getPath() == path)
                return d;
        return nullptr;
    }

    std::shared_ptr<DeviceManager> manager;
    std::shared_ptr<FakeChildBus> child = std::make_shared<FakeChildBus>();
    std::shared_ptr<FakeBtBus> bt = std::make_shared<FakeBtBus>();
    std::shared_ptr<PairingBus> bus;
    PlugLog plugs;
    ErrorLog errors;
};

} // namespace bt_test
