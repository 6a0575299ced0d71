// Control of one simulated HID top-level collection: its description, its model, faults,
// and deterministic waits on what the host did to it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sim/DeviceTree.h>
#include <sim/IHidDeviceModel.h>

namespace platform::detail {
class HidFile;
}

namespace platform::sim {

using Bytes = std::vector<std::uint8_t>;

// One report of the collection. Its length counts the report id byte (the byte is there even
// when the id is 0). Described to the HID parser as one value capability with ReportCount =
// length - 1 bytes, or as one button capability when `button` is set.
struct HidReportLayout {
    std::uint8_t id = 0;
    std::uint16_t length = 0;
    bool button = false;
};

struct HidCollectionLayout {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;
    std::vector<HidReportLayout> inputReports;
    std::vector<HidReportLayout> outputReports;
    std::vector<HidReportLayout> featureReports;
    std::string productString;   // UTF-8
    std::string serialNumber;    // UTF-8
    DevInst parent = 0;          // the device the collection belongs to (0: the root)
    // Empty: made from the ids, e.g. "HID\\VID_7E51&PID_C52B&MI_02&COL01\\8&2F1E0D3C&0&0000"
    // (MI_ taken from the parent's instance id when it has one).
    std::string instanceId;
    // Empty: "\\\\?\\" + instance id with '\\' as '#' + "#{4d1e55b2-...}" (the platform's mixed case).
    std::string path;
    std::optional<std::string> enumeratorName = std::string("HID");
    std::size_t inputQueueLength = 32;  // reports each open handle keeps; the oldest is dropped

    // A collection with one input and one output report of the same id and length.
    static HidCollectionLayout simple(std::uint16_t vendorId, std::uint16_t productId, std::uint16_t usagePage,
                                    std::uint16_t usage, std::uint8_t reportId, std::uint16_t length);
};

class HidCollection : public std::enable_shared_from_this<HidCollection> {
public:
    ~HidCollection();
    HidCollection(const HidCollection&) = delete;
    HidCollection& operator=(const HidCollection&) = delete;

    const HidCollectionLayout& layout() const { return m_layout; }
    DevInst dev_inst() const { return m_node; }
    std::string instance_id() const { return m_layout.instanceId; }
    std::string path() const { return m_layout.path; }
    std::uint16_t input_length() const { return m_inputLength; }
    std::uint16_t output_length() const { return m_outputLength; }

    void set_model(std::shared_ptr<IHidDeviceModel> model);
    std::shared_ptr<IHidDeviceModel> model() const;

    // Presence of the collection's own node (see plug/unplug in DeviceTree.h).
    void plug();
    void unplug(Removal how = Removal::Surprise);
    bool is_present() const;

    // Queues one input report on every open handle (completing a pending read at once).
    // A shorter report is zero-filled to the input length. False when the collection is
    // absent or the report is empty or too long.
    bool send_input_report(const Bytes& report);

    // ---- faults ----
    void set_stalled(bool stalled);                       // writes fail with ERROR_GEN_FAILURE
    void fail_writes(std::uint32_t error, std::size_t count = 1);  // the next writes fail at once
    void hold_writes(bool hold);                          // writes stay pending until released
    std::size_t release_held_writes();                     // completes held writes, delivering them
    // The next `times` reads of every open handle fail, one after the other.
    void inject_read_error(std::uint32_t error, unsigned times = 1);

    // ---- what the host did ----
    std::size_t write_count() const;                      // writes delivered to the device
    std::vector<Bytes> written_reports() const;
    std::size_t open_handle_count() const;
    std::size_t pending_read_count() const;
    std::size_t held_write_count() const;
    bool wait_for_writes(std::size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(10)) const;
    bool wait_for_open_handles(std::size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(10)) const;
    bool wait_for_pending_reads(std::size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(10)) const;
    bool wait_for_held_writes(std::size_t count, std::chrono::milliseconds deadline = std::chrono::seconds(10)) const;

private:
    friend class platform::detail::HidFile;
    friend std::shared_ptr<HidCollection> create_hid_collection(const HidCollectionLayout& layout);
    friend struct HidCollectionAccess;
    explicit HidCollection(HidCollectionLayout layout);

    struct Held;
    struct State;

    HidCollectionLayout m_layout;
    DevInst m_node = 0;
    std::uint16_t m_inputLength = 0;
    std::uint16_t m_outputLength = 0;
    std::uint16_t m_featureLength = 0;
    std::unique_ptr<State> m_state;
};

// Makes the collection's device node (absent until plugged) with its HID interface.
// Throws std::invalid_argument for a bad description (taken instance id, unknown parent,
// no reports of any kind).
std::shared_ptr<HidCollection> create_hid_collection(const HidCollectionLayout& layout);

// The collection behind a device node or an interface path (case-insensitive); empty when none.
std::shared_ptr<HidCollection> find_hid_collection(DevInst node);
std::shared_ptr<HidCollection> find_hid_collection(const std::string& path);

}  // namespace platform::sim
