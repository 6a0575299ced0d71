#pragma once
// A receiver bus in front of the simulated register-protocol receiver, without the HID layer:
// the receiver's hardware device hands output reports to the model and delivers its input
// reports on a reader thread of its own, as a HID collection would.

#include "Windows/RavelinBus.h"
#include "Windows/RavelinDevice.h"
#include "devices/SimProtocolDevice.h"
#include "devices/SimReceiver.h"
#include "devio/device/DeviceTestSupport.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace devio::test {

class LoopbackHardware : public IHardwareDevice,
                         public Producer<IHardwareDevice::Write>,
                         public Producer<IHardwareDevice::Read>,
                         public Producer<IHardwareDevice::Connect>,
                         public Producer<IHardwareDevice::FastDisconnect>,
                         public std::enable_shared_from_this<LoopbackHardware> {
public:
    // `gone` is set when the hardware has let go of the receiver model for good.
    LoopbackHardware(platform::sim::SimReceiver& receiver, std::weak_ptr<IRunLoopManager> runLoop,
                     std::shared_ptr<std::atomic<bool>> gone = nullptr)
        : m_receiver(receiver), m_gone(std::move(gone))
    {
        set_run_loop(runLoop);
        m_receiver.set_sink([this](const platform::sim::Bytes& report) { queue(report); });
        m_reader = std::thread([this] { reader(); });
    }
    ~LoopbackHardware() override
    {
        m_receiver.set_sink(nullptr);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_condition.notify_all();
        m_reader.join();
        if (m_gone)
            m_gone->store(true);
    }

    bool isConnected() override { return true; }
    bool open() override { return true; }
    void close() override {}
    bool write(std::vector<Byte> report, bool) override
    {
        report.resize(report.size() <= 7 ? 7 : 20, 0);
        report[0] = report.size() == 7 ? 0x10 : 0x11;
        m_receiver.on_output_report(report);
        Producer<IHardwareDevice::Write>::notify([report](IHardwareDevice::Write* s) { s->onWrite(report, 0, 0); },
                                                 "LoopbackHardware::Write::onWrite");
        return true;
    }
    std::shared_ptr<IHardwareBus> getBus() override { return nullptr; }
    std::string getPath() override { return "sim#receiver"; }
    std::uint16_t getProductId() override { return m_receiver.product_id(); }
    std::string getName() override { return "Sim Receiver"; }
    std::shared_ptr<IDataRequest<std::string>> nameRequest() override { return make_data_success(getName()); }
    std::uint32_t getTransportType() override { return TransportUsbHid; }
    std::uint32_t getSubIndex() override { return 0; }

private:
    void queue(const platform::sim::Bytes& report)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back(report);
        m_condition.notify_all();
    }
    void reader()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_condition.wait(lock, [&] { return m_stop || !m_queue.empty(); });
            if (m_stop)
                return;
            std::vector<Byte> report = m_queue.front();
            m_queue.pop_front();
            lock.unlock();
            const unsigned length = static_cast<unsigned>(report.size());
            Producer<IHardwareDevice::Read>::notify(
                [report, length](IHardwareDevice::Read* s) { s->onRead(report, false, 0, length); },
                "LoopbackHardware::Read::onRead");
            lock.lock();
        }
    }

    platform::sim::SimReceiver& m_receiver;
    std::shared_ptr<std::atomic<bool>> m_gone;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::deque<std::vector<Byte>> m_queue;
    bool m_stop = false;
    std::thread m_reader;
};

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
