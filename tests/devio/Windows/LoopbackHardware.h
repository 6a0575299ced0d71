#pragma once
// The receiver model behind a hardware device without the HID layer: output reports go to the
// model, and its input reports arrive on a reader thread of their own, as from a HID collection.
// Free of GoogleTest, so fuzz targets use it too.

#include "core/IHardwareDevice.h"
#include "core/Subscriber.h"
#include "devices/SimReceiver.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

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
        m_receiver.set_sink([this](const std::vector<Byte>& report) { queue(report); });
        m_reader = std::thread([this, inbox = m_inbox] { reader(inbox); });
    }
    ~LoopbackHardware() override
    {
        m_receiver.set_sink(nullptr);
        {
            std::lock_guard<std::mutex> lock(m_inbox->mutex);
            m_inbox->stop = true;
        }
        m_inbox->condition.notify_all();
        // A handler may let go of the last owner on the reader thread (as with a HID device).
        if (m_reader.get_id() == std::this_thread::get_id())
            m_reader.detach();
        else
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
    // What the reader thread shares with the hardware: it may outlive the hardware by a moment.
    struct Inbox {
        std::mutex mutex;
        std::condition_variable condition;
        std::deque<std::vector<Byte>> queue;
        bool stop = false;
    };

    void queue(const std::vector<Byte>& report)
    {
        std::lock_guard<std::mutex> lock(m_inbox->mutex);
        m_inbox->queue.push_back(report);
        m_inbox->condition.notify_all();
    }
    void reader(std::shared_ptr<Inbox> inbox)
    {
        std::unique_lock<std::mutex> lock(inbox->mutex);
        for (;;) {
            inbox->condition.wait(lock, [&] { return inbox->stop || !inbox->queue.empty(); });
            if (inbox->stop)
                return;
            std::vector<Byte> report = std::move(inbox->queue.front());
            inbox->queue.pop_front();
            lock.unlock();
            // Held for the delivery, so that a handler letting go of the last owner ends the
            // hardware only after it; the loop then touches the inbox alone.
            if (auto self = weak_from_this().lock()) {
                const unsigned length = static_cast<unsigned>(report.size());
                Producer<IHardwareDevice::Read>::notify(
                    [report, length](IHardwareDevice::Read* s) { s->onRead(report, false, 0, length); },
                    "LoopbackHardware::Read::onRead");
            }
            lock.lock();
        }
    }

    platform::sim::SimReceiver& m_receiver;
    std::shared_ptr<std::atomic<bool>> m_gone;
    std::shared_ptr<Inbox> m_inbox = std::make_shared<Inbox>();
    std::thread m_reader;
};

} // namespace devio::test
