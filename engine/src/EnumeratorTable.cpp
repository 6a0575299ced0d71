// The enumerator's device table, pending-arrival count and event relay.
#include "Enumerator.h"

#include "EventHolder.h"
#include "Receiver.h"

namespace qv {

std::uint64_t Enumerator::add(CDevice* device, std::uint8_t parentByte)
{
    std::lock_guard<std::mutex> lock(m_tableMutex);
    const std::int64_t high = static_cast<std::int32_t>(static_cast<std::uint32_t>(parentByte) << 24);
    const std::uint64_t handle = static_cast<std::uint64_t>(high) ^ (m_serial & 0xFFFFFF);
    ++m_serial;
    device->set_handle(handle);
    m_table[handle] = device;
    return handle;
}

std::uint64_t Enumerator::find(std::int64_t kind, std::uint64_t value)
{
    std::vector<std::pair<std::uint64_t, CDevice*>> candidates;
    {
        std::lock_guard<std::mutex> lock(m_tableMutex);
        for (const auto& [handle, device] : m_table)
            if (device && device->acquire())
                candidates.emplace_back(handle, device);
    }
    std::uint64_t found = 0;
    for (const auto& [handle, device] : candidates) {
        if (!found && device->match(kind, value))
            found = handle;
        device->release();
    }
    return found;
}

DeviceRef Enumerator::lookup(std::uint64_t handle)
{
    std::lock_guard<std::mutex> lock(m_tableMutex);
    const auto it = m_table.find(handle);
    if (it == m_table.end() || !it->second || !it->second->acquire())
        return DeviceRef{};
    return DeviceRef{it->second};
}

bool Enumerator::copy_record(std::uint64_t handle, QV_DEVICE_INFO& out)
{
    DeviceRef ref = lookup(handle);
    if (!ref)
        return false;
    out = ref->info();
    return true;
}

std::vector<std::uint64_t> Enumerator::handles()
{
    std::lock_guard<std::mutex> lock(m_tableMutex);
    std::vector<std::uint64_t> all;
    for (const auto& [handle, device] : m_table)
        if (device)
            all.push_back(handle);
    return all;
}

std::size_t Enumerator::device_count()
{
    return handles().size();
}

bool Enumerator::remove(std::uint64_t handle)
{
    CDevice* device = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_tableMutex);
        const auto it = m_table.find(handle);
        if (it == m_table.end() || !it->second)
            return false;
        device = it->second;
        it->second = nullptr;
    }
    // A receiver's pending requests end at once rather than after their time-outs.
    // Its threads end first, so no paired device is added behind it while it goes.
    if (auto* receiver = dynamic_cast<CReceiver*>(device)) {
        receiver->signal_quit();
        receiver->stop_transport();
    }
    std::vector<std::uint64_t> children;
    {
        std::lock_guard<std::mutex> lock(m_tableMutex);
        for (const auto& [h, d] : m_table)
            if (d && d->info().Parent == handle && handle != 0)
                children.push_back(h);
    }
    for (std::uint64_t child : children)
        remove(child);
    device->stop();
    device->release_and_wait();
    delete device;
    {
        std::lock_guard<std::mutex> lock(m_tableMutex);
        const auto it = m_table.find(handle);
        if (it != m_table.end() && it->second == nullptr)
            m_table.erase(it);
    }
    return true;
}

void Enumerator::purge()
{
    std::lock_guard<std::mutex> lock(m_tableMutex);
    for (auto it = m_table.begin(); it != m_table.end();)
        it = it->second ? std::next(it) : m_table.erase(it);
}

void Enumerator::adjust_pending(int delta)
{
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    const int before = m_pending;
    m_pending += delta;
    if (m_pending < 0)
        m_pending = 0;
    if (!m_allAnnounced)
        return;
    if (before == 0 && m_pending > 0)
        ResetEvent(m_allAnnounced);
    else if (m_pending == 0)
        SetEvent(m_allAnnounced);
}

int Enumerator::pending() const
{
    std::lock_guard<std::mutex> lock(m_pendingMutex);
    return m_pending;
}

void Enumerator::relay(std::uint64_t handle, std::uint32_t event, std::uint64_t value)
{
    // A device rebooting into its bootloader during an update is not reported as gone.
    if (event == QV_EVENT_DEVICE_REMOVAL && handle != 0 && handle == underUpdate.load())
        return;
    EventHolder::instance().fire(handle, event, value);
}

}  // namespace qv
