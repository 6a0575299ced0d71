#pragma once
// A simulated protocol device seen directly as a devio hardware device (no HID layer):
// output reports go straight to the model, its input reports come back as Read events on
// the model's own thread, its leaving and returning as FastDisconnect/Connect events.

#include "core/IHardwareDevice.h"
#include "core/IRunLoopManager.h"
#include "core/Producer.h"
#include "devices/SimProtocolDevice.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <memory>
#include <string>

namespace platform::sim {

class SimHardwareDevice : public devio::IHardwareDevice,
                          public devio::Producer<devio::IHardwareDevice::Connect>,
                          public devio::Producer<devio::IHardwareDevice::FastDisconnect>,
                          public devio::Producer<devio::IHardwareDevice::Read>,
                          public devio::Producer<devio::IHardwareDevice::Write>,
                          public std::enable_shared_from_this<SimHardwareDevice> {
public:
    // runLoop: where queued subscribers (a device's Connect handler) are served.
    static std::shared_ptr<SimHardwareDevice> create(std::shared_ptr<SimProtocolDevice> model,
                                                     std::weak_ptr<devio::IRunLoopManager> runLoop,
                                                     std::string path = "sim\\protocol\\1",
                                                     std::uint32_t transport = devio::TransportUsbHid,
                                                     std::uint32_t subIndex = 0);
    SimHardwareDevice(std::shared_ptr<SimProtocolDevice> model, std::string path, std::uint32_t transport,
                      std::uint32_t subIndex);
    ~SimHardwareDevice() override;

    bool isConnected() override;
    bool open() override;
    void close() override;
    bool write(std::vector<devio::Byte> report, bool awaitReply) override;
    std::shared_ptr<devio::IHardwareBus> getBus() override { return nullptr; }
    std::string getPath() override { return m_path; }
    std::uint16_t getProductId() override { return m_model->product_id(); }
    std::string getName() override { return m_model->name(); }
    std::shared_ptr<devio::IDataRequest<std::string>> nameRequest() override;
    std::uint32_t getTransportType() override { return m_transport; }
    std::uint32_t getSubIndex() override { return m_sub_index; }
    bool stillPresent() override { return m_model->present(); }

    SimProtocolDevice& model() { return *m_model; }
    // Announces the device as connected (what a bus does at arrival).
    void announce_connect();
    // Sees every output report before the model does; returning false loses the report on
    // the way (the write still succeeds). Tests use it to time device-side events exactly.
    using WriteHook = std::function<bool(const Bytes& report)>;
    void set_write_hook(WriteHook hook);

private:
    void on_input(const Bytes& report);
    void on_presence(bool present);

    std::shared_ptr<SimProtocolDevice> m_model;
    std::string m_path;
    std::uint32_t m_transport;
    std::uint32_t m_sub_index;
    std::atomic<bool> m_connected{true};
    std::atomic<bool> m_closed{false};
    std::mutex m_hook_mutex;
    WriteHook m_write_hook;
};

} // namespace platform::sim
