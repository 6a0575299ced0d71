// A device paired behind a receiver: its registers and features are reached through the receiver.
#pragma once

#include "Device.h"

#include <windows.h>

#include <atomic>

namespace qv {

class CReceiver;

class CWirelessDevice : public CDevice {
public:
    enum Generation { kUnknown = -1, kRegisters = 0, kFeatures20 = 1, kFeatures4x = 2 };

    CWirelessDevice(Enumerator* enumerator, CReceiver* receiver, std::uint8_t index, std::uint32_t devType);
    ~CWirelessDevice() override;

    int read_register(std::uint8_t reg, std::size_t length, std::uint8_t* buffer, int* raw) override;
    int write_register(std::uint8_t reg, std::size_t length, std::uint8_t* buffer, int* raw) override;
    bool match(std::int64_t kind, std::uint64_t value) override;
    bool read_version(VersionRecord& out) override;
    int unpair_self() override;

    // From a connection notification's payload; false refuses the device.
    bool fill_from_notification(const std::uint8_t* payload);
    // The notification is this device's (same wireless product id, or the device is busy).
    bool belongs(const std::uint8_t* payload) const;
    void apply_link(const std::uint8_t* payload);
    void battery_from_notification(std::uint8_t subId, const std::uint8_t* payload);

    int generation();
    // Feature index of a feature id; 0 when not supported.
    int feature_index(std::uint16_t featureId, std::uint8_t& index);
    int feature_request(std::uint8_t featureIndex, std::uint8_t function, const std::vector<std::uint8_t>& params,
                        std::vector<std::uint8_t>& reply, int* raw = nullptr);
    int long_write(std::uint8_t reg, const std::uint8_t* data16, std::vector<std::uint8_t>& reply, int* raw);
    // Battery code (Part of the record); reads the device.
    int read_battery();
    int switch_to_bootloader();

    std::uint8_t index() const { return m_index; }
    CReceiver* receiver() const { return m_receiver; }
    HANDLE link_up_event() const { return m_linkUp; }
    HANDLE link_lost_event() const { return m_linkLost; }
    bool link_lost() const { return m_link.load() == 2; }

    // Battery code from register 0x0D's 24-bit value, register 0x07's two bytes (pure).
    static int battery_from_0d(std::uint32_t value);
    static int battery_from_07(std::uint8_t b0, std::uint8_t b1);
    static std::uint32_t model_id_of(const std::uint8_t* payload);
    // `RadioType` from a connection notification's protocol byte; -1 refuses the device.
    static int radio_type_of(std::uint8_t protocol, int receiverRadioType);

private:
    void set_link(bool lost, bool notify);
    void set_battery(int code);

    CReceiver* const m_receiver;
    const std::uint8_t m_index;
    std::atomic<int> m_link{1};
    HANDLE m_linkUp = nullptr;
    HANDLE m_linkLost = nullptr;
    std::atomic<int> m_generation{kUnknown};
    std::atomic<int> m_batteryFailures{0};
};

}  // namespace qv
