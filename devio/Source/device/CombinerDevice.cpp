#include "device/CombinerDevice.h"

#include "core/DataRequest.h"
#include "core/ErrorRecord.h"
#include "core/IHardwareBus.h"

#include <algorithm>

namespace devio {

namespace {

// The combined devices delivering an event on this thread, innermost last.
thread_local std::vector<const CombinerDevice*> t_delivering;

class Delivering {
public:
    explicit Delivering(const CombinerDevice* device) { t_delivering.push_back(device); }
    ~Delivering() { t_delivering.pop_back(); }
    Delivering(const Delivering&) = delete;
    Delivering& operator=(const Delivering&) = delete;
};

} // namespace

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
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        const int key = static_cast<int>(member->getUsage());
        if (m_members.count(key))
            return true;
        m_members[key] = member;
        m_departed.erase(std::remove(m_departed.begin(), m_departed.end(), member), m_departed.end());
        ++m_generation;
    }
    return sync_members() == 0;
}

bool CombinerDevice::remove_member(const std::shared_ptr<IHardwareDevice>& member)
{
    bool empty = false;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        const std::string path = member->getPath();
        for (auto it = m_members.begin(); it != m_members.end(); ++it) {
            if (it->second->getPath() == path) {
                m_departed.push_back(it->second);
                m_members.erase(it);
                ++m_generation;
                break;
            }
        }
        empty = m_members.empty();
    }
    sync_members();
    return empty;
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
    const DeliveryHold<CombinerDevice> held(weak_from_this());
    if (!held)
        return;
    Delivering delivering(this);
    Producer<IHardwareDevice::Read>::notify(
        [data, relayed, status, length](IHardwareDevice::Read* s) { s->onRead(data, relayed, status, length); },
        "CombinerDevice::Read::onRead");
}

void CombinerDevice::onWrite(std::vector<Byte> data, ErrorCode code, unsigned detail)
{
    const DeliveryHold<CombinerDevice> held(weak_from_this());
    if (!held)
        return;
    Delivering delivering(this);
    Producer<IHardwareDevice::Write>::notify([data, code, detail](IHardwareDevice::Write* s) { s->onWrite(data, code, detail); },
                                             "CombinerDevice::Write::onWrite");
}

void CombinerDevice::onFastDisconnect()
{
    const DeliveryHold<CombinerDevice> held(weak_from_this());
    if (!held)
        return;
    Delivering delivering(this);
    Producer<IHardwareDevice::FastDisconnect>::notify([](IHardwareDevice::FastDisconnect* s) { s->onFastDisconnect(); },
                                                      "CombinerDevice::FastDisconnect::onFastDisconnect");
}

CombinerDevice::~CombinerDevice()
{
    // Another member's reader may be calling in right now: leave every member (waiting for such
    // a call) before any part of this object goes.
    Subscriber<IHardwareDevice::Read>::unsubscribe_all();
    Subscriber<IHardwareDevice::Write>::unsubscribe_all();
    Subscriber<IHardwareDevice::FastDisconnect>::unsubscribe_all();
}

bool CombinerDevice::delivering_here() const
{
    return std::find(t_delivering.begin(), t_delivering.end(), this) != t_delivering.end();
}

template <class E>
bool CombinerDevice::sync_member(const std::shared_ptr<IHardwareDevice>& member, bool wanted, bool mayLeave)
{
    if (wanted)
        return Subscriber<E>::subscribe(member, 1, "");
    if (mayLeave)
        Subscriber<E>::unsubscribe(member);
    return true;
}

// Brings the members' subscriptions in line with the forwarding flags, calling the members
// outside m_mutex. Syncs may run on several threads at once and undo each other's calls; each
// repeats until no change came in while it called, so the last one leaves the members as the
// flags say. Inside our own delivery this thread holds a member's producer lock and ours:
// leaving another member from there could deadlock with that member's reader delivering to
// us, so such a sync only subscribes, and members it would leave keep forwarding to nobody
// until a later sync. Returns the events whose wanted subscription failed.
unsigned CombinerDevice::sync_members()
{
    const bool mayLeave = !delivering_here();
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    ++m_syncing;
    for (;;) {
        const std::uint64_t generation = m_generation;
        std::vector<std::shared_ptr<IHardwareDevice>> current;
        for (const auto& entry : m_members)
            current.push_back(entry.second);
        const std::vector<std::shared_ptr<IHardwareDevice>> departed = m_departed;
        const bool read = m_read_forwarding;
        const bool fastDisconnect = m_fast_disconnect_forwarding;
        const bool write = m_write_forwarding;
        lock.unlock();

        unsigned failed = 0;
        for (const auto& member : current) {
            if (!sync_member<IHardwareDevice::Read>(member, read, mayLeave))
                failed |= ReadEvent;
            if (!sync_member<IHardwareDevice::FastDisconnect>(member, fastDisconnect, mayLeave))
                failed |= FastDisconnectEvent;
            if (!sync_member<IHardwareDevice::Write>(member, write, mayLeave))
                failed |= WriteEvent;
        }
        for (const auto& member : departed) {
            if (!mayLeave)
                break;
            Subscriber<IHardwareDevice::Read>::unsubscribe(member);
            Subscriber<IHardwareDevice::FastDisconnect>::unsubscribe(member);
            Subscriber<IHardwareDevice::Write>::unsubscribe(member);
        }

        lock.lock();
        if (generation == m_generation) {
            if (--m_syncing == 0 && mayLeave)
                m_departed.clear();
            return failed;
        }
    }
}

bool CombinerDevice::forward(bool& flag, int& subscribers, unsigned event)
{
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        // Counted before the members are asked, so a last subscriber leaving meanwhile keeps them.
        ++subscribers;
        flag = true;
        ++m_generation;
    }
    if ((sync_members() & event) == 0)
        return true;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (--subscribers == 0)
            flag = false;
        ++m_generation;
    }
    sync_members();
    return false;
}

void CombinerDevice::stop_forwarding(bool& flag, int& subscribers)
{
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        if (subscribers > 0 && --subscribers > 0)
            return;
        flag = false;
        ++m_generation;
    }
    if (!delivering_here())
        sync_members();
}

bool CombinerDevice::on_subscribe(IHardwareDevice::Read*) { return forward(m_read_forwarding, m_read_subscribers, ReadEvent); }

bool CombinerDevice::on_subscribe(IHardwareDevice::Write*) { return forward(m_write_forwarding, m_write_subscribers, WriteEvent); }

bool CombinerDevice::on_subscribe(IHardwareDevice::FastDisconnect*)
{
    return forward(m_fast_disconnect_forwarding, m_fast_disconnect_subscribers, FastDisconnectEvent);
}

void CombinerDevice::on_unsubscribed(IHardwareDevice::Read*) { stop_forwarding(m_read_forwarding, m_read_subscribers); }

void CombinerDevice::on_unsubscribed(IHardwareDevice::Write*)
{
    stop_forwarding(m_write_forwarding, m_write_subscribers);
}

void CombinerDevice::on_unsubscribed(IHardwareDevice::FastDisconnect*)
{
    stop_forwarding(m_fast_disconnect_forwarding, m_fast_disconnect_subscribers);
}

} // namespace devio
