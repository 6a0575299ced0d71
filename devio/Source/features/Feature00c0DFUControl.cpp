#include "features/Feature00c0DFUControl.h"

#include "features/FeatureRegistry.h"

namespace devio {

bool Feature00c0DFUControl::SetDfuControl()
{
    std::vector<Byte> reply;
    return execute(0, {0x44, 0x46, 0x55}, reply, 0);
}

void Feature00c0DFUControl::on_subscribed(ConfigReport* subscriber, bool direct)
{
    if (!direct)
        return;
    std::lock_guard<std::mutex> lock(m_direct_mutex);
    m_direct.insert(subscriber);
}

void Feature00c0DFUControl::on_unsubscribed(ConfigReport* subscriber)
{
    // Called outside the producer's lock: waits for a delivery in progress, so a subscriber is
    // never called after it left.
    std::lock_guard<std::recursive_mutex> delivery(m_delivery_mutex);
    std::lock_guard<std::mutex> lock(m_direct_mutex);
    m_direct.erase(subscriber);
}

void Feature00c0DFUControl::on_unexpected_response(unsigned function, unsigned softwareId,
                                                   const std::vector<Byte>& payload)
{
    if (function != 1 || payload.size() < 2)
        return;
    const std::uint16_t value = be16(payload, 0);
    std::lock_guard<std::recursive_mutex> delivery(m_delivery_mutex);
    // A snapshot: a handler may subscribe or unsubscribe, here or on another thread.
    std::set<ConfigReport*> snapshot;
    {
        std::lock_guard<std::mutex> lock(m_direct_mutex);
        snapshot = m_direct;
    }
    for (ConfigReport* s : snapshot) {
        bool present = false;
        {
            std::lock_guard<std::mutex> lock(m_direct_mutex);
            present = m_direct.count(s) != 0;
        }
        if (present)
            s->onCookieSet(softwareId, value);
    }
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature00c0DFUControl, 0x00C0)
