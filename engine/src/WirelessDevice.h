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
    // Battery code kept in the record's `Battery` (2 low, 3 good, 4..6 charging, 1 unreadable); reads the device.
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
    // The device's answers, decoded (pure): protocol generation from the raw result and reply of
    // feature 0 function 1; a feature index (0: not supported); the battery code of feature 0x1000
    // (-1 when the reply is too short); one entity of feature 0x0003 function 1 into `v` (false
    // when the reply is too short), `found` set by the first firmware entity.
    static int generation_of(int raw, const std::vector<std::uint8_t>& reply);
    static std::uint8_t feature_index_of(const std::vector<std::uint8_t>& reply);
    static int battery_from_feature(const std::vector<std::uint8_t>& reply);
    static bool version_entity(const std::vector<std::uint8_t>& reply, VersionRecord& v, bool& found);
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
