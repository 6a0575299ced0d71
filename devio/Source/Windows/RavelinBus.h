// A USB receiver seen three ways: the receiver's own protocol device, a bus whose devices
// are the wireless devices paired to it, and a receiver with pairing operations.
#pragma once

#include "Windows/TSL10Command.h"
#include "core/IHardwareBus.h"
#include "core/IReceiver.h"
#include "core/Producer.h"
#include "core/Subscriber.h"
#include "device/Device.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace devio {

class Configuration;
class RavelinDevice;

class RavelinBus : public Device,
                   public IHardwareBus,
                   public IReceiver,
                   public Producer<IHardwareBus::PlugUnplug>,
                   public Producer<IReceiver::LockingChange>,
                   public Producer<IReceiver::RegisterZeroOverwritten>,
                   public Subscriber<IReceiver::RegisterZeroOverwritten> {
public:
    static std::shared_ptr<RavelinBus> create(std::shared_ptr<IDeviceManager> manager,
                                              std::shared_ptr<IHardwareDevice> receiver, std::uint32_t slotCount,
                                              std::shared_ptr<Configuration> configuration);
    RavelinBus(std::shared_ptr<IDeviceManager> manager, std::shared_ptr<IHardwareDevice> receiver,
               std::uint32_t slotCount, std::shared_ptr<Configuration> configuration);
    ~RavelinBus() override;

    // Device
    void initDevice(std::shared_ptr<IDeviceManager> manager) override;
    bool release_configuration() override;
    void onRead(std::vector<Byte> report, bool flag, unsigned status, unsigned length) override;
    void onWrite(std::vector<Byte> bytes, ErrorCode error, unsigned detail) override;
    void onActiveChanged(bool active) override;

    // IHardwareBus
    std::vector<std::shared_ptr<IHardwareDevice>> enumerate() override;

    // IReceiver
    std::vector<std::shared_ptr<IDevice>> getChildDevices() override;
    bool getLongRegisterB3(std::vector<Byte>& value) override;
    std::uint32_t getSerialNumber() override;
    bool matchesReceiverPidPair() override;
    bool openLock() override;
    bool closeLock() override;
    bool unpair(std::uint32_t index) override;

    void onRegisterZeroOverwritten() override;

    // Used by the paired devices.
    std::uint32_t slotCount() const { return m_slot_count; }
    std::shared_ptr<RavelinDevice> slot(std::uint32_t index);
    std::vector<std::shared_ptr<RavelinDevice>> present_devices();
    std::shared_ptr<IDataRequest<std::string>> name_request(std::uint32_t slot);
    bool set_configured_flag();
    bool subscribe_write_relay();
    std::shared_ptr<RavelinBus> self();

protected:
    bool on_subscribe(IHardwareBus::PlugUnplug* subscriber) override;

private:
    bool enable_notifications();
    void subscribe_self();
    void on_connection(std::uint32_t slot, std::uint32_t productId, bool linked, bool announcing);
    void on_removal(std::uint32_t slot);
    void set_slot(std::uint32_t slot, std::shared_ptr<RavelinDevice> device);

    const std::uint32_t m_slot_count;
    std::shared_ptr<IHardwareDevice> m_receiver;
    std::weak_ptr<IDeviceManager> m_bus_manager;
    std::vector<std::shared_ptr<RavelinDevice>> m_slots;
    std::mutex m_slot_mutex;
    std::map<int, int> m_arrival_counts;
    std::mutex m_arrival_mutex;
    std::atomic<int> m_expected_count{0};
    std::atomic<bool> m_notifications_on{false};
    std::atomic<bool> m_announcing{false};
    std::atomic<bool> m_configured_flag_set{false};
    std::atomic<bool> m_self_subscribed{false};
    std::mutex m_self_subscribe_mutex;
    std::atomic<bool> m_active{false};
};

} // namespace devio
