// A wireless device paired behind a USB receiver: it writes through the receiver's protocol
// device and receives what the receiver bus relays to it.
#pragma once

#include "core/IHardwareDevice.h"
#include "core/Producer.h"
#include "device/IReceiverLink.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace devio {

class RavelinBus;

class RavelinDevice : public IHardwareDevice,
                      public Producer<IHardwareDevice::Write>,
                      public Producer<IHardwareDevice::Read>,
                      public Producer<IHardwareDevice::Connect>,
                      public Producer<IHardwareDevice::FastDisconnect>,
                      public IReceiverLink,
                      public std::enable_shared_from_this<RavelinDevice> {
public:
    static std::shared_ptr<RavelinDevice> create(std::shared_ptr<RavelinBus> bus, std::uint32_t slot,
                                                 std::uint32_t productId, bool connected);
    RavelinDevice(std::shared_ptr<RavelinBus> bus, std::uint32_t slot, std::uint32_t productId, bool connected);

    bool isConnected() override { return m_connected.load(); }
    bool open() override { return true; }
    void close() override {}
    bool write(std::vector<Byte> report, bool awaitReply) override;
    std::shared_ptr<IHardwareBus> getBus() override;
    std::string getPath() override { return m_path; }
    std::uint16_t getProductId() override { return static_cast<std::uint16_t>(m_product_id); }
    std::string getName() override;
    std::shared_ptr<IDataRequest<std::string>> nameRequest() override;
    std::uint32_t getTransportType() override { return TransportReceiver; }
    std::uint32_t getSubIndex() override { return m_slot + 1; }
    std::uint64_t receiverPassThrough(std::uintptr_t a, std::uintptr_t b, std::uintptr_t c) override;
    bool stillPresent() override { return !m_fast_disconnected.load(); }

    std::uint32_t slot() const { return m_slot; }

    // Called by the receiver bus, on the receiver's reader thread. `byReport`: on the word of a
    // report from the device rather than of a link notice.
    void mark_connected(bool byReport = false);
    void mark_disconnected();
    // Connected on a report's word since the last link notice, which said the link was down.
    bool connected_by_report() const { return m_connected_by_report.load(); }
    void read_relay(const std::vector<Byte>& report, unsigned status, unsigned length);
    void write_relay(const std::vector<Byte>& report, ErrorCode code, unsigned detail);

    // Called by the device model while it configures the device behind the receiver.
    bool set_receiver_flag() override;      // register 0x00 configured bit, once per receiver
    bool set_receiver_slot_bit() override;  // this device's bit in register 0x03
    bool clear_receiver_flag() override;    // the receiver's release of its configured bit

protected:
    bool on_subscribe(IHardwareDevice::Write* subscriber) override;

private:
    std::weak_ptr<RavelinBus> m_bus;
    const std::uint32_t m_slot;
    const std::uint32_t m_product_id;
    const std::string m_path;
    std::atomic<bool> m_connected;
    std::atomic<bool> m_fast_disconnected{false};
    std::atomic<bool> m_connected_by_report{false};
    std::mutex m_name_mutex;
    std::string m_name;
    bool m_name_known = false;
};

} // namespace devio
