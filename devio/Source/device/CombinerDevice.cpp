#include "device/CombinerDevice.h"

#include "core/DataRequest.h"
#include "core/ErrorRecord.h"
#include "core/IHardwareBus.h"

namespace devio {

CombinerDevice::CombinerDevice(std::shared_ptr<IHardwareDevice> first, std::weak_ptr<IHardwareBus> bus)
    : m_path(first->getParentId()),
      m_product_id(first->getProductId()),
      m_name(first->getName()),
      m_required_kinds(first->getProtocolKind()),
      m_bus(std::move(bus))
{
    // Queued subscribers (a device waiting for Connect) are served by the bus's run loop;
    // a bus without one leaves the first member's.
    std::weak_ptr<IRunLoopManager> runLoop;
    if (auto owner = std::dynamic_pointer_cast<IRunLoopAccess>(m_bus.lock()))
        runLoop = owner->get_run_loop();
    if (runLoop.expired())
        if (auto access = std::dynamic_pointer_cast<IRunLoopAccess>(first))
            runLoop = access->get_run_loop();
    set_run_loop(std::move(runLoop));
    m_members[static_cast<int>(first->getUsage())] = std::move(first);
}

std::vector<std::shared_ptr<IHardwareDevice>> CombinerDevice::members()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    std::vector<std::shared_ptr<IHardwareDevice>> list;
    for (const auto& entry : m_members)
        list.push_back(entry.second);
    return list;
}

bool CombinerDevice::open()
{
    for (const auto& member : members())
        if (!member->open())
            return false;
    return true;
}

void CombinerDevice::close()
{
    for (const auto& member : members())
        member->close();
}

bool CombinerDevice::write(std::vector<Byte> report, bool awaitReply)
{
    if (awaitReply && !open())
        return false;
    for (const auto& member : members())
        if (member->getMaxReportLength() >= report.size())
            return member->write(std::move(report), awaitReply);
    set_last_error(25);
    return false;
}

void CombinerDevice::appendPaths(std::vector<std::string>& out)
{
    for (const auto& member : members())
        out.push_back(member->getPath());
}

std::shared_ptr<IDataRequest<std::string>> CombinerDevice::nameRequest() { return make_data_success(m_name); }

bool CombinerDevice::stillPresent()
{
    bool present = true;
    for (const auto& member : members())
        present = member->stillPresent() && present;  // every member is asked
    return present;
}

bool CombinerDevice::add_member(const std::shared_ptr<IHardwareDevice>& member)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const int key = static_cast<int>(member->getUsage());
    if (m_members.count(key))
        return true;
    bool result = true;
    if (m_read_forwarding)
        result = Subscriber<IHardwareDevice::Read>::subscribe(member, 1, "IHardwareDevice::Read");
    if (m_fast_disconnect_forwarding)
        result = Subscriber<IHardwareDevice::FastDisconnect>::subscribe(member, 1, "IHardwareDevice::FastDisconnect");
    if (m_write_forwarding)
        result = Subscriber<IHardwareDevice::Write>::subscribe(member, 1, "IHardwareDevice::Write");
    m_members[key] = member;
    return result;
}

bool CombinerDevice::remove_member(const std::shared_ptr<IHardwareDevice>& member)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const std::string path = member->getPath();
    for (auto it = m_members.begin(); it != m_members.end(); ++it) {
        if (it->second->getPath() == path) {
            Subscriber<IHardwareDevice::Read>::unsubscribe(it->second);
            Subscriber<IHardwareDevice::FastDisconnect>::unsubscribe(it->second);
            Subscriber<IHardwareDevice::Write>::unsubscribe(it->second);
            m_members.erase(it);
            break;
        }
    }
    return m_members.empty();
}

bool CombinerDevice::is_complete()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (m_members.empty())
        return m_required_kinds == 0;
    std::uint32_t kinds = 0;
    for (const auto& entry : m_members)
        kinds |= static_cast<std::uint32_t>(entry.first);
    return (kinds & m_required_kinds) == m_required_kinds;
}

void CombinerDevice::onRead(std::vector<Byte> data, bool relayed, unsigned status, unsigned length)
{
    Producer<IHardwareDevice::Read>::notify(
        [data, relayed, status, length](IHardwareDevice::Read* s) { s->onRead(data, relayed, status, length); },
        "CombinerDevice::Read::onRead");
}

void CombinerDevice::onWrite(std::vector<Byte> data, ErrorCode code, unsigned detail)
{
    Producer<IHardwareDevice::Write>::notify([data, code, detail](IHardwareDevice::Write* s) { s->onWrite(data, code, detail); },
                                             "CombinerDevice::Write::onWrite");
}

void CombinerDevice::onFastDisconnect()
{
    Producer<IHardwareDevice::FastDisconnect>::notify([](IHardwareDevice::FastDisconnect* s) { s->onFastDisconnect(); },
                                                      "CombinerDevice::FastDisconnect::onFastDisconnect");
}

template <class E>
bool CombinerDevice::forward(bool& flag, int& subscribers)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    flag = true;
    for (const auto& entry : m_members)
        if (!Subscriber<E>::subscribe(entry.second, 1, ""))
            return false;
    ++subscribers;
    return true;
}

template <class E>
void CombinerDevice::stop_forwarding(bool& flag, int& subscribers)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    if (subscribers > 0 && --subscribers > 0)
        return;
    flag = false;
    for (const auto& entry : m_members)
        Subscriber<E>::unsubscribe(entry.second);
}

bool CombinerDevice::on_subscribe(IHardwareDevice::Read*) { return forward<IHardwareDevice::Read>(m_read_forwarding, m_read_subscribers); }

bool CombinerDevice::on_subscribe(IHardwareDevice::Write*) { return forward<IHardwareDevice::Write>(m_write_forwarding, m_write_subscribers); }

bool CombinerDevice::on_subscribe(IHardwareDevice::FastDisconnect*)
{
    return forward<IHardwareDevice::FastDisconnect>(m_fast_disconnect_forwarding, m_fast_disconnect_subscribers);
}

void CombinerDevice::on_unsubscribed(IHardwareDevice::Read*) { stop_forwarding<IHardwareDevice::Read>(m_read_forwarding, m_read_subscribers); }

void CombinerDevice::on_unsubscribed(IHardwareDevice::Write*)
{
    stop_forwarding<IHardwareDevice::Write>(m_write_forwarding, m_write_subscribers);
}

void CombinerDevice::on_unsubscribed(IHardwareDevice::FastDisconnect*)
{
    stop_forwarding<IHardwareDevice::FastDisconnect>(m_fast_disconnect_forwarding, m_fast_disconnect_subscribers);
}

} // namespace devio
