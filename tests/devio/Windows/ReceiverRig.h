#pragma once
// A receiver bus in front of the simulated register-protocol receiver, without the HID layer.

#include "LoopbackHardware.h"
#include "Windows/RavelinBus.h"
#include "Windows/RavelinDevice.h"
#include "devices/SimProtocolDevice.h"
#include "devices/SimReceiver.h"
#include "devio/device/DeviceTestSupport.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace devio::test {

// Records the plug and unplug events of a bus, directly on the publishing thread.
class PlugLog : public Subscriber<IHardwareBus::PlugUnplug> {
public:
    void onPlug(std::shared_ptr<IHardwareDevice> d) override { add("plug " + d->getPath(), d); }
    void onUnplug(std::shared_ptr<IHardwareDevice> d) override { add("unplug " + d->getPath(), d); }
    void onPowerChange(bool on) override { add(on ? "power on" : "power off", nullptr); }

    bool wait_count(std::size_t n, std::chrono::milliseconds deadline = 10s)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_condition.wait_for(lock, deadline, [&] { return m_events.size() >= n; });
    }
    std::vector<std::string> events()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }
    std::vector<std::shared_ptr<IHardwareDevice>> devices()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_devices;
    }

private:
    void add(const std::string& e, std::shared_ptr<IHardwareDevice> d)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(e);
        m_devices.push_back(std::move(d));
        m_condition.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::vector<std::string> m_events;
    std::vector<std::shared_ptr<IHardwareDevice>> m_devices;
};

// The receiver model with protocol 2.0 models paired in its slots, behind a receiver bus.
struct ReceiverRig {
    ScaledTiming timing{20};
    std::shared_ptr<HostManager> manager = HostManager::create();
    platform::sim::SimReceiver receiver{0xC510, 0x1A2B3C4D};
    std::shared_ptr<platform::sim::SimProtocolDevice> models[6];
    std::shared_ptr<LoopbackHardware> hardware;
    std::shared_ptr<RavelinBus> bus;

    std::shared_ptr<std::atomic<bool>> hardwareGone = std::make_shared<std::atomic<bool>>(false);

    ReceiverRig() { hardware = std::make_shared<LoopbackHardware>(receiver, manager, hardwareGone); }
    ~ReceiverRig()
    {
        if (bus)
            bus->close();
        bus.reset();
        for (auto& m : models)
            if (m)
                m->set_sink(nullptr);
        hardware.reset();
        // The receiver device's worker may drop the last reference a moment later: the
        // receiver model that the hardware talks to must outlive it.
        eventually([&] { return hardwareGone->load(); });
        manager->shutdown();
    }

    platform::sim::SimProtocolDevice& pair(int index, std::uint16_t pid, const std::string& name, bool linked = true)
    {
        platform::sim::SimProtocolConfig config = platform::sim::sim_keyboard_config();
        config.product_id = pid;
        config.name = name;
        auto model = std::make_shared<platform::sim::SimProtocolDevice>(config);
        models[index - 1] = model;
        platform::sim::SimReceiver* rx = &receiver;
        model->set_sink([rx, index](const platform::sim::Bytes& r) { rx->from_device(index, r); });
        receiver.pair(index, pid, name, [raw = model.get()](const platform::sim::Bytes& r) { raw->write(r); }, linked);
        return *model;
    }

    std::shared_ptr<RavelinBus> make_bus(std::uint32_t slots = 6)
    {
        bus = RavelinBus::create(manager, hardware, slots, manager->config());
        bus->initDevice(manager);
        return bus;
    }
};

} // namespace devio::test
