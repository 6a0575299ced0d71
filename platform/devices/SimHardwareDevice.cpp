#include "devices/SimHardwareDevice.h"

#include "core/DataRequest.h"
#include "core/ErrorRecord.h"

#include <thread>

namespace platform::sim {

using namespace devio;

std::shared_ptr<SimHardwareDevice> SimHardwareDevice::create(std::shared_ptr<SimProtocolDevice> model,
                                                             std::weak_ptr<IRunLoopManager> runLoop, std::string path,
                                                             std::uint32_t transport, std::uint32_t subIndex)
{
    auto device = std::make_shared<SimHardwareDevice>(std::move(model), std::move(path), transport, subIndex);
    device->set_run_loop(std::move(runLoop));
    std::weak_ptr<SimHardwareDevice> weak = device;
    device->m_model->set_sink([weak](const Bytes& report) {
        if (auto self = weak.lock())
            self->on_input(report);
    });
    device->m_model->set_presence_handler([weak](bool present) {
        if (auto self = weak.lock())
            self->on_presence(present);
    });
    return device;
}

SimHardwareDevice::SimHardwareDevice(std::shared_ptr<SimProtocolDevice> model, std::string path,
                                     std::uint32_t transport, std::uint32_t subIndex)
    : m_model(std::move(model)), m_path(std::move(path)), m_transport(transport), m_sub_index(subIndex)
{
}

SimHardwareDevice::~SimHardwareDevice()
{
    // Waits for a delivery in progress; nothing reaches this object afterwards.
    m_model->set_sink(nullptr);
    m_model->set_presence_handler(nullptr);
    // Ended by a delivery on the model's own thread: that thread cannot join itself, so the
    // model (if this was its last owner) ends on another.
    if (m_model->on_delivery_thread())
        std::thread([model = std::move(m_model)] {}).detach();
}

bool SimHardwareDevice::isConnected() { return m_connected; }

bool SimHardwareDevice::open()
{
    if (!m_model->present()) {
        set_last_error(5);
        return false;
    }
    m_closed = false;
    return true;
}

void SimHardwareDevice::close() { m_closed = true; }

void SimHardwareDevice::set_write_hook(WriteHook hook)
{
    std::lock_guard<std::mutex> lock(m_hook_mutex);
    m_write_hook = std::move(hook);
}

bool SimHardwareDevice::write(std::vector<Byte> report, bool)
{
    bool deliver = true;
    {
        std::lock_guard<std::mutex> lock(m_hook_mutex);
        if (m_write_hook)
            deliver = m_write_hook(report);
    }
    const bool ok = !m_closed && (!deliver || m_model->write(report));
    const ErrorCode code = ok ? 0 : 5;
    if (!ok)
        set_last_error(code);
    if (Producer<IHardwareDevice::Write>::subscriber_count() != 0)
        Producer<IHardwareDevice::Write>::notify(
            [report, code](IHardwareDevice::Write* s) { s->onWrite(report, code, 0); }, "SimHardwareDevice::Write::onWrite");
    return ok;
}

std::shared_ptr<IDataRequest<std::string>> SimHardwareDevice::nameRequest()
{
    return make_data_success(m_model->name());
}

void SimHardwareDevice::announce_connect()
{
    m_connected = true;
    auto self = shared_from_this();
    Producer<IHardwareDevice::Connect>::notify([self](IHardwareDevice::Connect* s) { s->onConnect(self); },
                                               "SimHardwareDevice::Connect::onConnect");
}

void SimHardwareDevice::on_input(const Bytes& report)
{
    if (m_closed)
        return;
    const unsigned length = static_cast<unsigned>(report.size());
    Producer<IHardwareDevice::Read>::notify([report, length](IHardwareDevice::Read* s) { s->onRead(report, false, 0, length); },
                                            "SimHardwareDevice::Read::onRead");
}

void SimHardwareDevice::on_presence(bool present)
{
    auto self = shared_from_this();
    if (!present) {
        m_connected = false;
        Producer<IHardwareDevice::FastDisconnect>::notify([](IHardwareDevice::FastDisconnect* s) { s->onFastDisconnect(); },
                                                          "SimHardwareDevice::FastDisconnect::onFastDisconnect");
        Producer<IHardwareDevice::Connect>::notify([self](IHardwareDevice::Connect* s) { s->onDisconnect(self); },
                                                   "SimHardwareDevice::Connect::onDisconnect");
    } else {
        announce_connect();
    }
}

} // namespace platform::sim
