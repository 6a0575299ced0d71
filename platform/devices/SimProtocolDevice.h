#pragma once
// Simulated protocol 2.0 keyboard or mouse, seen from the device side.
// Transport-neutral: it takes each output report through write() and emits its input
// reports (replies and notifications) through a sink, from a thread of its own, so the
// same model can sit behind a test adapter, a simulated HID collection or a receiver slot.

#include "devices/SimAnswerTable.h"
#include "devices/SimDfuSession.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform::sim {

struct SimFirmwareEntity {
    std::uint8_t type = 0;          // 0 application, 1 bootloader, 2 hardware, ...
    std::string name = "APP";       // three characters
    std::uint16_t number = 0x0100;  // major in the high byte, minor in the low byte
    std::uint16_t build = 0x0001;
    bool active = false;
    Bytes extra;                    // up to 7 raw bytes
};

struct SimFeature {
    std::uint16_t id = 0;
    std::uint8_t type = 0;     // type byte: bits 7, 6, 5 are the flags
    std::uint8_t version = 0;
};

struct SimProtocolConfig {
    std::string kind = "keyboard";
    std::uint16_t product_id = 0x4001;
    std::uint16_t bootloader_product_id = 0;  // 0: same as product_id
    // The product id in the header of the images the bootloader takes (0: product_id). A
    // Bluetooth device shows its own id but takes the images made for its wired id.
    std::uint16_t image_product_id = 0;
    std::uint32_t unit_id = 0x1A2B3C4D;
    std::uint16_t model_id_high = 0;
    std::uint16_t model_ids[3] = {0x4001, 0, 0};
    std::uint8_t extended_model_id = 0;
    std::string name = "Sim Keyboard";
    std::uint8_t device_type = 0;
    std::uint8_t protocol_major = 4;
    std::uint8_t protocol_minor = 2;
    // Feature table of the application firmware, index order; index 0 must be Root.
    std::vector<SimFeature> features;
    // Feature table while the bootloader runs.
    std::vector<SimFeature> bootloader_features;
    std::vector<SimFirmwareEntity> firmware;
    // What the application entity becomes after a completed update and restart.
    std::uint16_t updated_number = 0x0200;
    std::uint16_t updated_build = 0x0002;
    std::uint8_t battery_level = 80;
    std::uint8_t battery_critical = 10;
    std::chrono::microseconds latency{0};
    // DFU: packets the image has (first packet in DfuStart included).
    std::uint32_t dfu_packet_count = 4;
    // 0x00C2: the device reboots into its bootloader this long after the switch request.
    std::chrono::milliseconds dfu_switch_delay{1000};
    // 0x00C2: the device drops off at once and comes back in its bootloader after the delay, as a
    // Bluetooth device's link does; otherwise it switches in place, as on USB or behind a receiver.
    bool dfu_switch_restarts = false;
    // DFU data replies carry status 3 and the real status follows as a notification.
    bool dfu_status_by_notification = false;
    // Answers for features without a model of their own, before the defaults of
    // sim_default_answers() (the first matching row answers).
    std::vector<SimAnswer> answers;
    // Very long reports: requests of up to 64 bytes (id 0x11 or 0x12) are taken, and a payload
    // over 16 bytes goes out as a 64-byte report 0x12. Without them such requests get no answer
    // and payloads are cut at 16.
    bool very_long_reports = false;
};

// Ready-made configurations of the two kinds.
SimProtocolConfig sim_keyboard_config();
SimProtocolConfig sim_mouse_config();

class ScenarioElement;
struct ScenarioDevice;
// The model behind a scenario device of kind "keyboard" or "mouse"; null for other kinds.
class SimProtocolDevice;
SimProtocolDevice* scenario_protocol_model(const ScenarioDevice& device);
// The <feature id version type> children of a scenario device, each with <answer function
// bytes> rows: appended to the feature table (or replacing an entry of the same id) and to
// the answers. Throws ScenarioError on bad values.
void add_scenario_features(const ScenarioElement& device, SimProtocolConfig& config);

// Registers the scenario kinds "keyboard" and "mouse" (a model behind two HID collections).
// Runs by itself in every program that links this model; calling it again does nothing.
void register_protocol_scenario_kinds();

// Protocol error numbers the model answers with (byte 5 of a 0xFF error reply).
enum SimProtocolError : std::uint8_t {
    kSimErrInvalidArgument = 2,
    kSimErrOutOfRange = 3,
    kSimErrInvalidFeatureIndex = 6,
    kSimErrInvalidFunction = 7,
    kSimErrBusy = 8,
};

class SimOta;

class SimProtocolDevice {
public:
    using Sink = std::function<void(const Bytes&)>;
    using PresenceHandler = std::function<void(bool present)>;

    explicit SimProtocolDevice(SimProtocolConfig config);
    ~SimProtocolDevice();
    SimProtocolDevice(const SimProtocolDevice&) = delete;
    SimProtocolDevice& operator=(const SimProtocolDevice&) = delete;

    // Input reports go here, called on the model's own thread. Replacing or clearing the
    // sink waits for a delivery in progress, so the old target may be destroyed afterwards.
    void set_sink(Sink sink);
    // True on the thread that delivers the model's reports (it cannot end the model itself).
    bool on_delivery_thread() const { return std::this_thread::get_id() == m_thread.get_id(); }
    // Called (on the model's thread) when the device leaves or comes back: power cycle,
    // vanishing, switch into or out of the bootloader.
    void set_presence_handler(PresenceHandler handler);

    // One output report from the host. False when the device is not there.
    bool write(const Bytes& report);
    bool present() const;

    // ---- configuration read back ----
    std::uint16_t product_id() const;  // the bootloader's while it runs
    std::string kind() const;
    std::string name() const;

    // ---- fault switches ----
    void set_silent(bool on);                        // answer nothing
    void set_busy(unsigned times);                   // error 8 for the next `times` requests (pings spared)
    void set_error_reply(std::uint8_t error, unsigned times);  // same, with another error number
    void set_duplicate_replies(bool on);             // every reply twice
    void set_protocol10(bool on);                    // answer everything as a protocol 1.0 device
    void set_latency(std::chrono::microseconds latency);
    // Before each reply, an unrelated report carrying this software id (-1: off).
    void set_unsolicited_before_reply(int softwareId);
    // The next request is swallowed and the device disappears.
    void vanish_on_next_request();
    // Answer pings (root function 1 with a non-zero ping byte) twice each.
    void set_double_ping_replies(bool on);

    // ---- device-initiated traffic ----
    void inject(const Bytes& report);                // any input report, as given
    // Notification (software id 0) of a feature by id; false when the table lacks it.
    bool notify(std::uint16_t featureId, std::uint8_t function, const Bytes& payload);
    void send_wireless_status(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2);

    // ---- state ----
    void power_cycle();        // leaves, forgets the cookie, takes a pending bootloader switch, returns
    void disappear();          // leaves for good (until power_cycle)
    void set_battery(std::uint8_t level, std::uint8_t critical);
    // The application entity now reports this version (as after an update by other means).
    void update_firmware(std::uint16_t number, std::uint16_t build);
    std::uint16_t config_cookie() const;
    void set_config_cookie(std::uint16_t cookie);
    bool in_bootloader() const;
    // Restarts the device made by itself into other firmware: the 0x00C2 switch, and the restart
    // after a completed image (a radio stack or a main image).
    unsigned firmware_restarts() const;
    // Waits until the device runs its bootloader (true) or its application (false).
    bool wait_for_mode(bool bootloader, std::chrono::milliseconds deadline) const;
    Bytes dfu_image() const;
    // Faults of the firmware transfer (see SimDfuSession); header of the last image started;
    // images completed so far.
    void set_dfu_faults(const SimDfuFaults& faults);
    std::optional<quillon::dfu::Header> dfu_header() const;
    unsigned dfu_completed() const;
    std::vector<SimFirmwareEntity> firmware() const;
    // The value a stored answer of (feature, slot) gives now (see SimAnswerTable).
    Bytes answer_value(std::uint16_t featureId, std::uint8_t slot) const;
    std::uint32_t dfu_next_packet() const;
    std::uint64_t dfu_packets_received() const;

    // ---- log of every report written to the device ----
    std::vector<Bytes> written() const;
    std::size_t write_count() const;
    void clear_log();
    // Waits until at least `count` reports were written in all; false on the deadline.
    bool wait_for_writes(std::size_t count, std::chrono::milliseconds deadline) const;
    std::size_t replies_sent() const;

    // The over-the-air update side (devices/SimOta.h).
    SimOta& ota() { return *m_ota; }

private:
    friend class SimOta;
    enum class Event { Report, Leave, Arrive, EnterBootloader };
    struct Outgoing {
        std::chrono::steady_clock::time_point due;
        Event event = Event::Report;
        Bytes report;
    };

    void run();
    // wake false: the caller wakes the delivery thread itself once it lets go of m_mutex.
    void queue(Bytes report, std::chrono::steady_clock::time_point due, bool wake = true);
    void queue_event(Event event, std::chrono::steady_clock::time_point due);
    void handle(const Bytes& cmd, std::vector<Bytes>& out);
    Bytes reply(const Bytes& cmd, const Bytes& payload) const;
    // The reply in the report an answer asks for (SimVeryLongReports.cpp).
    Bytes sized_reply(const Bytes& cmd, const Bytes& payload, SimAnswer::Length length) const;
    bool takes_request(const Bytes& cmd) const;
    Bytes error_reply(const Bytes& cmd, std::uint8_t error) const;
    const std::vector<SimFeature>& table() const;
    int index_of(std::uint16_t featureId) const;
    void answer_feature(std::uint16_t id, const Bytes& cmd, std::vector<Bytes>& out);
    void answer_dfu(std::uint8_t function, const Bytes& cmd, std::vector<Bytes>& out);
    void restart_into_application();

    SimProtocolConfig m_config;
    SimAnswerTable m_answer_table;  // guarded by m_mutex

    mutable std::mutex m_mutex;  // state, log, outgoing queue
    mutable std::condition_variable m_log_condition;
    std::condition_variable m_queue_condition;
    std::deque<Outgoing> m_outgoing;
    bool m_stop = false;

    bool m_present = true;
    bool m_bootloader = false;
    bool m_bootloader_pending = false;  // 0x00C1 switch waiting for a power cycle
    std::uint16_t m_cookie = 0;
    std::uint8_t m_dfu_state = 0;
    unsigned m_firmware_restarts = 0;

    bool m_silent = false;
    unsigned m_error_times = 0;
    std::uint8_t m_error = kSimErrBusy;
    bool m_duplicate = false;
    bool m_protocol10 = false;
    int m_unsolicited_sw = -1;
    bool m_vanish_next = false;
    bool m_double_ping = false;

    SimDfuSession m_dfu;

    std::vector<Bytes> m_log;
    std::size_t m_replies = 0;

    std::recursive_mutex m_sink_mutex;  // held while a report is delivered
    Sink m_sink;
    PresenceHandler m_presence;

    std::unique_ptr<SimOta> m_ota;
    std::thread m_thread;
};

} // namespace platform::sim
