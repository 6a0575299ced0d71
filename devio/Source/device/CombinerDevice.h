#pragma once
#include "core/IHardwareDevice.h"
#include "core/Producer.h"
#include "core/Subscriber.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace devio {

class IHardwareBus;

// The HID collections of one physical device seen as one hardware device. Members are keyed
// by their usage bits; a write goes to the first member long enough for it.
class CombinerDevice : public IHardwareDevice,
                       public Producer<IHardwareDevice::Connect>,
                       public Producer<IHardwareDevice::FastDisconnect>,
                       public Producer<IHardwareDevice::Read>,
                       public Producer<IHardwareDevice::Write>,
                       public Subscriber<IHardwareDevice::Read>,
                       public Subscriber<IHardwareDevice::Write>,
                       public Subscriber<IHardwareDevice::FastDisconnect>,
                       public std::enable_shared_from_this<CombinerDevice> {
public:
    // The first member gives path (its parent id), product id, name and the kinds needed.
    CombinerDevice(std::shared_ptr<IHardwareDevice> first, std::weak_ptr<IHardwareBus> bus);
    ~CombinerDevice() override;

    bool isConnected() override { return true; }
    bool open() override;
    void close() override;
    bool write(std::vector<Byte> report, bool awaitReply) override;
    std::shared_ptr<IHardwareBus> getBus() override { return m_bus.lock(); }
    std::string getPath() override { return m_path; }
    void appendPaths(std::vector<std::string>& out) override;
    std::uint16_t getProductId() override { return m_product_id; }
    std::string getName() override { return m_name; }
    std::shared_ptr<IDataRequest<std::string>> nameRequest() override;
    std::uint32_t getTransportType() override { return TransportUsbHid; }
    std::uint32_t getSubIndex() override { return 0; }
    std::uint32_t getResponseTimeout() override { return 3000; }
    bool stillPresent() override;
    std::string getParentId() override { return m_path; }
    std::uint32_t getUsage() override { return 2; }
    std::uint32_t getProtocolKind() override { return 2; }
    std::uint32_t getMaxReportLength() override { return 20; }

    // True when the usage key was already there or every needed subscription succeeded.
    bool add_member(const std::shared_ptr<IHardwareDevice>& member);
    // Removes the member with that path; true when no member is left.
    bool remove_member(const std::shared_ptr<IHardwareDevice>& member);
    bool is_complete();

    // Relays from the members, on their threads.
    void onRead(std::vector<Byte> data, bool relayed, unsigned status, unsigned length) override;
    void onWrite(std::vector<Byte> data, ErrorCode code, unsigned detail) override;
    void onFastDisconnect() override;

protected:
    bool on_subscribe(IHardwareDevice::Read* subscriber) override;
    bool on_subscribe(IHardwareDevice::Write* subscriber) override;
    bool on_subscribe(IHardwareDevice::FastDisconnect* subscriber) override;
    void on_unsubscribed(IHardwareDevice::Read* subscriber) override;
    void on_unsubscribed(IHardwareDevice::Write* subscriber) override;
    void on_unsubscribed(IHardwareDevice::FastDisconnect* subscriber) override;

private:
    // Events, as bits of what sync_members() reports failed.
    enum : unsigned { ReadEvent = 1, FastDisconnectEvent = 2, WriteEvent = 4 };

    std::vector<std::shared_ptr<IHardwareDevice>> members();
    bool forward(bool& flag, int& subscribers, unsigned event);
    void stop_forwarding(bool& flag, int& subscribers);
    template <class E>
    bool sync_member(const std::shared_ptr<IHardwareDevice>& member, bool wanted, bool mayLeave);
    unsigned sync_members();
    bool delivering_here() const;

    std::string m_path;
    std::uint16_t m_product_id;
    std::string m_name;
    std::uint32_t m_required_kinds;
    std::map<int, std::shared_ptr<IHardwareDevice>> m_members;
    std::weak_ptr<IHardwareBus> m_bus;
    bool m_read_forwarding = false;
    bool m_fast_disconnect_forwarding = false;
    bool m_write_forwarding = false;
    // Subscribers accepted per event, counted under m_mutex: the producer stores a new
    // subscriber only after its hook returns, so its own count cannot tell a leaving last
    // subscriber from one arriving at the same time.
    int m_read_subscribers = 0;
    int m_fast_disconnect_subscribers = 0;
    int m_write_subscribers = 0;
    // Members removed while a sync may still be (re)subscribing them; cleared once no sync runs.
    std::vector<std::shared_ptr<IHardwareDevice>> m_departed;
    std::uint64_t m_generation = 0;  // bumped under m_mutex by every change a sync must apply
    int m_syncing = 0;
    // Never held while calling a member: members deliver under their own producer locks, and
    // a subscriber leaving this device from such a delivery takes it.
    std::recursive_mutex m_mutex;
};

} // namespace devio
