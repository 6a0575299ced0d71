// Puts a device model behind simulated HID collections: one USB device node with the two
// protocol collections (usage page 0xFF00, usage 1 with the 7-byte report 0x10 and usage 2
// with the 20-byte report 0x11), which the host merges by their common parent. A device with
// very long reports has three instead, on usage page 0xFF43: usages 0x0701, 0x0702 and 0x0704
// with the reports 0x10 (7 bytes), 0x11 (20 bytes) and 0x12 (64 bytes).
#pragma once

#include "devices/SimProtocolDevice.h"

#include <sim/DeviceTree.h>
#include <sim/HidCollection.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform::sim {

class SimHidDevice {
public:
    using OutputHandler = std::function<void(const Bytes&)>;

    // node 0: a USB node "USB\VID_7E51&PID_pppp\SIMHIDn" is made; otherwise the collections
    // hang below the given node.
    SimHidDevice(std::uint16_t productId, const std::string& productString, OutputHandler onOutput,
                 DevInst node = 0, std::uint16_t vendorId = 0x7E51, bool veryLong = false);
    ~SimHidDevice();
    SimHidDevice(const SimHidDevice&) = delete;
    SimHidDevice& operator=(const SimHidDevice&) = delete;

    // An input report to the host, on the collection of its report id (0x12 very long, 0x11
    // long, else short).
    bool send_input(const Bytes& report);

    void plug();
    void unplug(Removal how = Removal::Surprise);
    bool is_present() const;

    DevInst node() const { return m_node; }
    std::shared_ptr<HidCollection> short_collection() const { return m_short; }
    std::shared_ptr<HidCollection> long_collection() const { return m_long; }
    std::shared_ptr<HidCollection> very_long_collection() const { return m_very_long; }
    std::vector<std::shared_ptr<HidCollection>> collections() const
    {
        if (m_very_long)
            return {m_short, m_long, m_very_long};
        return {m_short, m_long};
    }

    // The two collection descriptions for a parent node.
    static HidCollectionLayout collection_layout(std::uint16_t vendorId, std::uint16_t productId, bool longReport,
                                             const std::string& productString, DevInst parent,
                                             const std::string& tag);
    // The three collection descriptions of a device with very long reports (report id 0x10,
    // 0x11 or 0x12) on usage page 0xFF43 (SimHidVeryLong.cpp).
    static HidCollectionLayout very_long_layout(std::uint16_t vendorId, std::uint16_t productId, std::uint8_t reportId,
                                                const std::string& productString, DevInst parent,
                                                const std::string& tag);
    // Hands every output report of both collections to `onOutput`.
    static void attach(const std::vector<std::shared_ptr<HidCollection>>& collections, OutputHandler onOutput);

private:
    DevInst m_node = 0;
    bool m_own_node = false;
    std::shared_ptr<HidCollection> m_short;
    std::shared_ptr<HidCollection> m_long;
    std::shared_ptr<HidCollection> m_very_long;
};

// A protocol 2.0 keyboard or mouse model on USB.
class SimHidProtocolDevice {
public:
    explicit SimHidProtocolDevice(SimProtocolConfig config);
    ~SimHidProtocolDevice();

    SimProtocolDevice& model() { return *m_model; }
    SimHidDevice& hid() { return *m_hid; }
    void plug() { m_hid->plug(); }
    void unplug(Removal how = Removal::Surprise) { m_hid->unplug(how); }

private:
    std::unique_ptr<SimProtocolDevice> m_model;
    std::unique_ptr<SimHidDevice> m_hid;
};

}  // namespace platform::sim
