#include "Windows/RavelinDevice.h"

#include "Windows/RavelinBus.h"
#include "Windows/TSL10Command.h"
#include "core/DataRequest.h"
#include "core/ErrorRecord.h"

namespace devio {

std::shared_ptr<RavelinDevice> RavelinDevice::create(std::shared_ptr<RavelinBus> bus, std::uint32_t slot,
                                                     std::uint32_t productId, bool connected)
{
    return std::make_shared<RavelinDevice>(std::move(bus), slot, productId, connected);
}

RavelinDevice::RavelinDevice(std::shared_ptr<RavelinBus> bus, std::uint32_t slot, std::uint32_t productId,
                             bool connected)
    : m_bus(bus), m_slot(slot), m_product_id(productId),
      m_path((bus ? bus->getPath() : std::string()) + ":" + std::to_string(slot)), m_connected(connected)
{
    if (bus)
        set_run_loop(bus->Producer<IHardwareBus::PlugUnplug>::get_run_loop());
}

std::shared_ptr<IHardwareBus> RavelinDevice::getBus()
{
    return m_bus.lock();
}

bool RavelinDevice::write(std::vector<Byte> report, bool awaitReply)
{
    if (report.size() < 2) {
        set_last_error(71);
        return false;
    }
    report[1] = static_cast<Byte>(m_slot + 1);
    auto bus = m_bus.lock();
    if (!bus) {
        set_last_error(28);
        return false;
    }
    if (!m_connected) {
        set_last_error(5);
        return false;
    }
    m_fast_disconnected = false;
    return bus->Device::write(report, awaitReply);
}

std::string RavelinDevice::getName()
{
    {
        std::lock_guard<std::mutex> lock(m_name_mutex);
        if (m_name_known)
            return m_name;
    }
    std::string name;
    if (nameRequest()->get(name))
        return name;
    return std::string();
}

std::shared_ptr<IDataRequest<std::string>> RavelinDevice::nameRequest()
{
    {
        std::lock_guard<std::mutex> lock(m_name_mutex);
        if (m_name_known)
            return make_data_success(m_name);
    }
    auto bus = m_bus.lock();
    if (!bus)
        return make_data_failure<std::string>(28, nullptr, 0);
    auto self = shared_from_this();
    return DataRequest<std::string, IDataRequest<std::string>, std::string*>::create(
        bus->name_request(m_slot), std::weak_ptr<void>(self),
        [self](std::string* name) -> std::shared_ptr<IDataRequest<std::string>> {
            if (!name)
                return make_data_failure_from_error<std::string>();
            {
                std::lock_guard<std::mutex> lock(self->m_name_mutex);
                self->m_name = *name;
                self->m_name_known = true;
            }
            return make_data_success(*name);
        },
        "RavelinDevice::nameRequest");
}

std::uint64_t RavelinDevice::receiverPassThrough(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c)
{
    auto bus = m_bus.lock();
    if (!bus)
        return 0;
    return bus->forward_hardware_second(a, b, c);
}

bool RavelinDevice::on_subscribe(IHardwareDevice::Write*)
{
    auto bus = m_bus.lock();
    if (!bus) {
        set_last_error(28);
        return false;
    }
    return bus->subscribe_write_relay();
}

void RavelinDevice::mark_connected(bool byReport)
{
    m_connected_by_report = byReport;
    m_connected = true;
    auto self = shared_from_this();
    Producer<IHardwareDevice::Connect>::notify([self](IHardwareDevice::Connect* s) { s->onConnect(self); },
                                               "RavelinDevice::Connect::onConnect");
}

void RavelinDevice::mark_disconnected()
{
    m_connected_by_report = false;
    m_connected = false;
    m_fast_disconnected = true;
    auto self = shared_from_this();
    Producer<IHardwareDevice::FastDisconnect>::notify([](IHardwareDevice::FastDisconnect* s) { s->onFastDisconnect(); },
                                                      "RavelinDevice::FastDisconnect::onFastDisconnect");
    Producer<IHardwareDevice::Connect>::notify([self](IHardwareDevice::Connect* s) { s->onDisconnect(self); },
                                               "RavelinDevice::Connect::onDisconnect");
}

void RavelinDevice::read_relay(const std::vector<Byte>& report, unsigned status, unsigned length)
{
    Producer<IHardwareDevice::Read>::notify(
        [report, status, length](IHardwareDevice::Read* s) { s->onRead(report, true, status, length); },
        "RavelinDevice::Read::onRead");
}

void RavelinDevice::write_relay(const std::vector<Byte>& report, ErrorCode code, unsigned detail)
{
    Producer<IHardwareDevice::Write>::notify(
        [report, code, detail](IHardwareDevice::Write* s) { s->onWrite(report, code, detail); },
        "RavelinDevice::Write::onWrite");
}

bool RavelinDevice::set_receiver_flag()
{
    auto bus = m_bus.lock();
    if (!bus) {
        set_last_error(28);
        return false;
    }
    return bus->set_configured_flag();
}

bool RavelinDevice::set_receiver_slot_bit()
{
    auto bus = m_bus.lock();
    if (!bus) {
        set_last_error(28);
        return false;
    }
    return TSL10Command::set_receiver_register_03_bit(bus.get(), m_slot);
}

bool RavelinDevice::clear_receiver_flag()
{
    auto bus = m_bus.lock();
    if (!bus) {
        set_last_error(28);
        return false;
    }
    return bus->release_configuration();
}

} // namespace devio
