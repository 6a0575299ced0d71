#pragma once
// A rig that puts a devio::Device in front of a simulated protocol device, behind the
// HostManager, and the waits and files the device tests share.

#include "devio/device/HostManager.h"

#include "core/Subscriber.h"
#include "core/Timing.h"
#include "device/Device.h"
#include "devices/SimHardwareDevice.h"

#include <gtest/gtest.h>
#include <sim/Kernel.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace devio::test {

using namespace std::chrono_literals;

// Records the device's connection events.
class ConnectLog : public Subscriber<IDevice::Connect> {
public:
    void onConnect(std::shared_ptr<IDevice>, bool retained) override { add(retained ? "connect(true)" : "connect(false)"); }
    void onConnect(std::shared_ptr<IDevice>) override { add("connect"); }
    void onDisconnect(std::shared_ptr<IDevice>) override { add("disconnect"); }
    void onFirmwareChanged(std::shared_ptr<IDevice>) override { add("firmware"); }
    void onUnresponsive(std::shared_ptr<IDevice>) override { add("unresponsive"); }
    void onUnresponsiveTimeout(std::shared_ptr<IDevice>) override { add("unresponsive-timeout"); }

    bool wait_for(const std::string& event, std::chrono::milliseconds deadline = 10s)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_condition.wait_for(lock, deadline, [&] {
            for (const auto& e : m_events)
                if (e == event)
                    return true;
            return false;
        });
    }
    std::vector<std::string> events()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.clear();
    }

private:
    void add(const std::string& e)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(e);
        m_condition.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::vector<std::string> m_events;
};

// Long waits of the system shrink to a tenth in tests.
struct ScaledTiming {
    explicit ScaledTiming(std::uint32_t den = 10) { Timing::setScale(1, den); }
    ~ScaledTiming() { Timing::reset(); }
};

// A liveness ping: a root-feature request with a ping byte.
inline bool is_ping(const std::vector<Byte>& r) { return r.size() >= 7 && r[2] == 0 && (r[3] >> 4) == 1 && r[6] != 0; }

// Polls a condition that another thread makes true, up to a generous deadline.
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds deadline = 10s)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Folders of make_temp_dir go when the test that made them ends, passed or failed.
class TempDirCleanup : public ::testing::EmptyTestEventListener {
public:
    static void track(const std::string& dir)
    {
        static TempDirCleanup* const listener = [] {
            auto* made = new TempDirCleanup;
            ::testing::UnitTest::GetInstance()->listeners().Append(made);  // GoogleTest owns it
            return made;
        }();
        std::lock_guard<std::mutex> lock(listener->m_mutex);
        listener->m_dirs.push_back(dir);
    }
    void OnTestEnd(const ::testing::TestInfo&) override
    {
        std::vector<std::string> dirs;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            dirs.swap(m_dirs);
        }
        for (const auto& dir : dirs) {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        }
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_dirs;
};

// A fresh folder of the simulated machine for cache files, by its Windows path with a trailing
// backslash (named outside ASCII, as a profile folder may be); empty when none could be made.
inline std::string make_temp_dir()
{
    const std::string parent = "C:\\Users\\Jos\xC3\xA9\\AppData\\Local\\Temp";
    const std::string hostParent = platform::sim::host_path(parent);
    std::error_code ignored;
    std::filesystem::create_directories(hostParent, ignored);
    std::string pattern = hostParent + "/devio-test-XXXXXX";
    const char* made = mkdtemp(pattern.data());
    if (!made)
        return std::string();
    TempDirCleanup::track(made);
    return parent + "\\" + std::filesystem::path(made).filename().string() + "\\";
}

// Files of the simulated machine by Windows path.
inline std::string read_text(const std::string& name)
{
    std::string text;
    platform::sim::read_file(name, text);
    return text;
}

inline void write_text(const std::string& name, const std::string& text) { platform::sim::write_file(name, text); }

// The simulated keyboard with the features `ids` added after its own (version 0, no flags).
inline platform::sim::SimProtocolConfig keyboard_with(std::initializer_list<std::uint16_t> ids)
{
    auto c = platform::sim::sim_keyboard_config();
    for (std::uint16_t id : ids)
        c.features.push_back({id, 0, 0});
    return c;
}

struct Rig {
    explicit Rig(platform::sim::SimProtocolConfig config = platform::sim::sim_keyboard_config(),
                 std::string path = "sim\\keyboard\\1", std::uint32_t transport = TransportUsbHid)
    {
        manager = HostManager::create();
        model = std::make_shared<platform::sim::SimProtocolDevice>(std::move(config));
        hardware = platform::sim::SimHardwareDevice::create(model, std::weak_ptr<IRunLoopManager>(manager), path,
                                                            transport, transport == TransportReceiver ? 1 : 0);
        device = Device::create(manager, hardware, manager->config());
        device->initDevice(manager);
        device->attach();
    }
    ~Rig()
    {
        device.reset();
        hardware.reset();
        manager->shutdown();
    }
    std::shared_ptr<HostManager> manager;
    std::shared_ptr<platform::sim::SimProtocolDevice> model;
    std::shared_ptr<platform::sim::SimHardwareDevice> hardware;
    std::shared_ptr<Device> device;
};

} // namespace devio::test
