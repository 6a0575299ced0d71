#include "devices/SimProtocolDevice.h"

#include "devices/SimOta.h"

#include <algorithm>

namespace platform::sim {

namespace {

constexpr std::uint16_t kRoot = 0x0000;
constexpr std::uint16_t kFeatureSet = 0x0001;
constexpr std::uint16_t kFirmwareInfo = 0x0003;
constexpr std::uint16_t kDeviceName = 0x0005;
constexpr std::uint16_t kConfigChange = 0x0020;
constexpr std::uint16_t kDfuControlC1 = 0x00C1;
constexpr std::uint16_t kDfuControlC2 = 0x00C2;
constexpr std::uint16_t kDfu = 0x00D0;
constexpr std::uint16_t kBattery = 0x1000;
constexpr std::uint16_t kWirelessStatus = 0x1D4B;

constexpr std::size_t kLongLength = 20;
constexpr std::size_t kShortLength = 7;

std::uint8_t at(const Bytes& b, std::size_t i) { return i < b.size() ? b[i] : 0; }

bool has_dfu_magic(const Bytes& cmd)
{
    return at(cmd, 8) == 0x44 && at(cmd, 9) == 0x46 && at(cmd, 10) == 0x55;
}

// The entities as the running firmware lists them. A bootloader lists its own first, so a host
// that kept the application's entity index sees the firmware changed; a configuration that names
// no bootloader entity still runs one, which reports itself.
std::vector<SimFirmwareEntity> reported_firmware(const std::vector<SimFirmwareEntity>& firmware, bool bootloader)
{
    if (!bootloader)
        return firmware;
    std::vector<SimFirmwareEntity> listed;
    for (std::size_t i = 0; i < firmware.size(); ++i)
        listed.push_back(firmware[bootloader_entity_order(firmware, i)]);
    if (listed.empty() || listed.front().type != 1)
        listed.insert(listed.begin(), SimFirmwareEntity{1, "BOT", 0x0100, 0x0000, true, {}});
    for (SimFirmwareEntity& f : listed)
        f.active = f.type == 1;
    return listed;
}

SimProtocolConfig base_config()
{
    SimProtocolConfig c;
    c.features = {{kRoot, 0, 0},          {kFeatureSet, 0, 0}, {kFirmwareInfo, 0, 2},
                  {kDeviceName, 0, 0},    {kConfigChange, 0, 0}, {kBattery, 0, 1},
                  {kWirelessStatus, 0, 0}, {kDfuControlC2, 0, 0}};
    c.bootloader_features = {{kRoot, 0, 0}, {kFeatureSet, 0, 0}, {kFirmwareInfo, 0, 2},
                             {kDfu, 0, 0}};
    c.firmware = {{0, "APP", 0x0102, 0x0033, true, {}}, {1, "BOT", 0x0100, 0x0007, false, {}},
                  {2, "HW ", 0x0001, 0x0000, false, {}}};
    return c;
}

} // namespace

// Pulls the scenario kinds into every program that links the model.
void (*g_keep_scenario_kinds)() = &register_protocol_scenario_kinds;

SimProtocolConfig sim_keyboard_config()
{
    SimProtocolConfig c = base_config();
    c.kind = "keyboard";
    c.product_id = 0x4001;
    c.model_ids[0] = 0x4001;
    c.name = "Sim Keyboard";
    c.device_type = 0;
    return c;
}

SimProtocolConfig sim_mouse_config()
{
    SimProtocolConfig c = base_config();
    c.kind = "mouse";
    c.product_id = 0x4010;
    c.model_ids[0] = 0x4010;
    c.name = "Sim Mouse";
    c.device_type = 3;
    c.unit_id = 0x5E6F7081;
    // The mouse takes the switch that needs a power cycle.
    c.features.back() = {kDfuControlC1, 0, 0};
    return c;
}

namespace {
std::vector<SimAnswer> with_defaults(std::vector<SimAnswer> answers)
{
    std::vector<SimAnswer> defaults = sim_default_answers();
    answers.insert(answers.end(), defaults.begin(), defaults.end());
    return answers;
}
} // namespace

SimProtocolDevice::SimProtocolDevice(SimProtocolConfig config)
    : m_config(std::move(config)), m_answer_table(with_defaults(m_config.answers))
{
    if (m_config.features.empty() || m_config.features[0].id != kRoot)
        m_config.features.insert(m_config.features.begin(), SimFeature{kRoot, 0, 0});
    if (m_config.bootloader_features.empty() || m_config.bootloader_features[0].id != kRoot)
        m_config.bootloader_features.insert(m_config.bootloader_features.begin(), SimFeature{kRoot, 0, 0});
    m_ota = std::make_unique<SimOta>(*this);
    m_thread = std::thread([this] { run(); });
}

SimProtocolDevice::~SimProtocolDevice()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_queue_condition.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void SimProtocolDevice::set_sink(Sink sink)
{
    std::lock_guard<std::recursive_mutex> lock(m_sink_mutex);
    m_sink = std::move(sink);
}

void SimProtocolDevice::set_presence_handler(PresenceHandler handler)
{
    std::lock_guard<std::recursive_mutex> lock(m_sink_mutex);
    m_presence = std::move(handler);
}

void SimProtocolDevice::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_stop)
            return;
        if (m_outgoing.empty()) {
            m_queue_condition.wait(lock);
            continue;
        }
        const auto due = m_outgoing.front().due;
        if (std::chrono::steady_clock::now() < due) {
            m_queue_condition.wait_until(lock, due);
            continue;
        }
        Outgoing item = std::move(m_outgoing.front());
        m_outgoing.pop_front();
        if (item.event == Event::EnterBootloader) {
            m_bootloader = true;
            m_log_condition.notify_all();
            continue;
        }
        if (item.event == Event::Leave)
            m_present = false;
        else if (item.event == Event::Arrive)
            m_present = true;
        lock.unlock();
        {
            // Called through copies: a receiver may clear its handler from inside it.
            std::lock_guard<std::recursive_mutex> sinkLock(m_sink_mutex);
            if (item.event != Event::Report) {
                if (PresenceHandler presence = m_presence)
                    presence(item.event == Event::Arrive);
            } else if (Sink sink = m_sink) {
                sink(item.report);
            }
        }
        lock.lock();
    }
}

void SimProtocolDevice::queue(Bytes report, std::chrono::steady_clock::time_point due, bool wake)
{
    // Keep due order; equal times keep their arrival order.
    auto it = std::upper_bound(m_outgoing.begin(), m_outgoing.end(), due,
                               [](const auto& t, const Outgoing& o) { return t < o.due; });
    m_outgoing.insert(it, Outgoing{due, Event::Report, std::move(report)});
    ++m_replies;
    if (wake)
        m_queue_condition.notify_all();
}

void SimProtocolDevice::queue_event(Event event, std::chrono::steady_clock::time_point due)
{
    auto it = std::upper_bound(m_outgoing.begin(), m_outgoing.end(), due,
                               [](const auto& t, const Outgoing& o) { return t < o.due; });
    m_outgoing.insert(it, Outgoing{due, event, {}});
    m_queue_condition.notify_all();
}

bool SimProtocolDevice::write(const Bytes& report)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_present)
        return false;
    m_log.push_back(report);
    m_log_condition.notify_all();
    // Taken before handling: a link change the request schedules "after the reply" must fall
    // after this, however late this thread runs on.
    const auto due = std::chrono::steady_clock::now() + m_config.latency;
    std::vector<Bytes> out;
    handle(report, out);
    for (auto& r : out)
        queue(std::move(r), due, false);
    lock.unlock();
    // Woken after the unlock: the delivery thread does not wake only to wait for this mutex.
    if (!out.empty())
        m_queue_condition.notify_all();
    return true;
}

const std::vector<SimFeature>& SimProtocolDevice::table() const
{
    return m_bootloader ? m_config.bootloader_features : m_config.features;
}

int SimProtocolDevice::index_of(std::uint16_t featureId) const
{
    const auto& t = table();
    for (std::size_t i = 0; i < t.size(); ++i)
        if (t[i].id == featureId)
            return static_cast<int>(i);
    return -1;
}

Bytes SimProtocolDevice::reply(const Bytes& cmd, const Bytes& payload) const
{
    if (payload.size() > kLongLength - 4 && m_config.very_long_reports)
        return sized_reply(cmd, payload, SimAnswer::Length::VeryLong);
    Bytes r(kLongLength, 0);
    r[0] = 0x11;
    r[1] = at(cmd, 1);
    r[2] = at(cmd, 2);
    r[3] = at(cmd, 3);
    std::copy_n(payload.begin(), std::min<std::size_t>(payload.size(), kLongLength - 4), r.begin() + 4);
    return r;
}

Bytes SimProtocolDevice::error_reply(const Bytes& cmd, std::uint8_t error) const
{
    Bytes r(kLongLength, 0);
    r[0] = 0x11;
    r[1] = at(cmd, 1);
    r[2] = 0xFF;
    r[3] = at(cmd, 2);
    r[4] = at(cmd, 3);
    r[5] = error;
    return r;
}

void SimProtocolDevice::handle(const Bytes& cmd, std::vector<Bytes>& out)
{
    if (m_silent || cmd.size() < 4 || !takes_request(cmd))
        return;
    if (m_vanish_next) {
        m_vanish_next = false;
        m_present = false;
        queue_event(Event::Leave, std::chrono::steady_clock::now());
        return;
    }
    if (m_ota->handle(cmd, out))
        return;
    if (m_protocol10) {
        out.push_back({0x10, at(cmd, 1), 0x8F, at(cmd, 2), at(cmd, 3), 0x01, 0x00});
        return;
    }
    const std::uint8_t index = at(cmd, 2);
    const std::uint8_t function = at(cmd, 3) >> 4;
    const bool ping = index == 0 && function == 1 && at(cmd, 6) != 0;

    std::vector<Bytes> answers;
    if (m_error_times > 0 && !ping) {
        --m_error_times;
        answers.push_back(error_reply(cmd, m_error));
    } else if (index >= table().size()) {
        answers.push_back(error_reply(cmd, kSimErrInvalidFeatureIndex));
    } else {
        answer_feature(table()[index].id, cmd, answers);
    }
    if (answers.empty())
        return;
    if (m_unsolicited_sw >= 0) {
        Bytes u(kLongLength, 0);
        u[0] = 0x11;
        u[1] = at(cmd, 1);
        u[2] = index;
        u[3] = static_cast<std::uint8_t>((((function + 1) & 0x0F) << 4) | (m_unsolicited_sw & 0x0F));
        out.push_back(u);
    }
    for (auto& a : answers) {
        out.push_back(a);
        if (m_duplicate || (ping && m_double_ping))
            out.push_back(a);
    }
}

void SimProtocolDevice::answer_feature(std::uint16_t id, const Bytes& cmd, std::vector<Bytes>& out)
{
    const std::uint8_t function = at(cmd, 3) >> 4;
    switch (id) {
    case kRoot:
        if (function == 0) {
            const int i = index_of(static_cast<std::uint16_t>(at(cmd, 4) << 8 | at(cmd, 5)));
            if (i < 0)
                out.push_back(reply(cmd, {0, 0, 0}));
            else
                out.push_back(reply(cmd, {static_cast<std::uint8_t>(i), table()[i].type, table()[i].version}));
        } else if (function == 1) {
            out.push_back(reply(cmd, {m_config.protocol_major, m_config.protocol_minor, at(cmd, 6)}));
        } else {
            out.push_back(error_reply(cmd, kSimErrInvalidFunction));
        }
        return;
    case kFeatureSet:
        if (function == 0) {
            out.push_back(reply(cmd, {static_cast<std::uint8_t>(table().size() - 1)}));
        } else if (function == 1) {
            const std::size_t i = at(cmd, 4);
            if (i >= table().size()) {
                out.push_back(error_reply(cmd, kSimErrOutOfRange));
            } else {
                const auto& f = table()[i];
                out.push_back(reply(cmd, {static_cast<std::uint8_t>(f.id >> 8), static_cast<std::uint8_t>(f.id),
                                          f.type, f.version}));
            }
        } else {
            out.push_back(error_reply(cmd, kSimErrInvalidFunction));
        }
        return;
    case kFirmwareInfo:
        if (function == 0) {
            const auto u = m_config.unit_id;
            auto hi = [](std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); };
            auto lo = [](std::uint16_t v) { return static_cast<std::uint8_t>(v); };
            out.push_back(reply(cmd, {static_cast<std::uint8_t>(reported_firmware(m_config.firmware, m_bootloader).size()),
                                      static_cast<std::uint8_t>(u >> 24), static_cast<std::uint8_t>(u >> 16),
                                      static_cast<std::uint8_t>(u >> 8), static_cast<std::uint8_t>(u),
                                      hi(m_config.model_id_high), lo(m_config.model_id_high),
                                      hi(m_config.model_ids[0]), lo(m_config.model_ids[0]),
                                      hi(m_config.model_ids[1]), lo(m_config.model_ids[1]),
                                      hi(m_config.model_ids[2]), lo(m_config.model_ids[2]),
                                      m_config.extended_model_id}));
        } else if (function == 1) {
            const std::size_t e = at(cmd, 4);
            const std::vector<SimFirmwareEntity> listed = reported_firmware(m_config.firmware, m_bootloader);
            if (e >= listed.size()) {
                out.push_back(error_reply(cmd, kSimErrInvalidArgument));
                return;
            }
            const SimFirmwareEntity& f = listed[e];
            const bool active = f.active;
            Bytes p = {f.type};
            for (std::size_t k = 0; k < 3; ++k)
                p.push_back(k < f.name.size() ? static_cast<std::uint8_t>(f.name[k]) : ' ');
            p.insert(p.end(), {static_cast<std::uint8_t>(f.number >> 8), static_cast<std::uint8_t>(f.number),
                               static_cast<std::uint8_t>(f.build >> 8), static_cast<std::uint8_t>(f.build),
                               static_cast<std::uint8_t>(active ? 1 : 0)});
            for (std::size_t k = 0; k < 7; ++k)
                p.push_back(at(f.extra, k));
            out.push_back(reply(cmd, p));
        } else {
            out.push_back(error_reply(cmd, kSimErrInvalidFunction));
        }
        return;
    case kDeviceName:
        if (function == 0) {
            out.push_back(reply(cmd, {static_cast<std::uint8_t>(std::min<std::size_t>(m_config.name.size(), 255))}));
        } else if (function == 1) {
            Bytes p;
            for (std::size_t k = at(cmd, 4); k < m_config.name.size() && p.size() < 16; ++k)
                p.push_back(static_cast<std::uint8_t>(m_config.name[k]));
            out.push_back(reply(cmd, p));
        } else if (function == 2) {
            out.push_back(reply(cmd, {m_config.device_type}));
        } else {
            out.push_back(error_reply(cmd, kSimErrInvalidFunction));
        }
        return;
    case kConfigChange:
        if (function == 0) {
            out.push_back(reply(cmd, {static_cast<std::uint8_t>(m_cookie >> 8), static_cast<std::uint8_t>(m_cookie)}));
        } else if (function == 1) {
            m_cookie = static_cast<std::uint16_t>(at(cmd, 4) << 8 | at(cmd, 5));
            out.push_back(reply(cmd, {at(cmd, 4), at(cmd, 5)}));
        } else {
            out.push_back(error_reply(cmd, kSimErrInvalidFunction));
        }
        return;
    case kBattery:
        if (function == 0)
            out.push_back(reply(cmd, {m_config.battery_level, 0, 0}));
        else if (function == 1)
            out.push_back(reply(cmd, {4, 0, 0, 0, m_config.battery_critical}));
        else
            out.push_back(error_reply(cmd, kSimErrInvalidFunction));
        return;
    case kDfuControlC1:
        if (function == 0) {
            out.push_back(reply(cmd, {0, m_dfu_state, 0}));
        } else if (function == 1) {
            if (!has_dfu_magic(cmd)) {
                out.push_back(error_reply(cmd, kSimErrInvalidArgument));
                return;
            }
            m_dfu_state = at(cmd, 4);
            // Takes effect at the next power cycle.
            m_bootloader_pending = m_dfu_state == 1;
            out.push_back(reply(cmd, {at(cmd, 4), at(cmd, 5), at(cmd, 6), at(cmd, 7)}));
        } else {
            out.push_back(error_reply(cmd, kSimErrInvalidFunction));
        }
        return;
    case kDfuControlC2:
        if (function == 0) {
            out.push_back(reply(cmd, {0, 0, static_cast<std::uint8_t>(m_dfu_state & 1)}));
        } else if (function == 1) {
            if (!has_dfu_magic(cmd)) {
                out.push_back(error_reply(cmd, kSimErrInvalidArgument));
                return;
            }
            m_dfu_state = at(cmd, 4);
            if (m_dfu_state == 1) {
                // Reboots into the bootloader on its own; the request gets no answer.
                const auto now = std::chrono::steady_clock::now();
                if (m_config.dfu_switch_restarts) {
                    ++m_firmware_restarts;
                    m_present = false;
                    queue_event(Event::Leave, now);
                    queue_event(Event::EnterBootloader, now + m_config.dfu_switch_delay);
                    queue_event(Event::Arrive, now + m_config.dfu_switch_delay);
                } else {
                    queue_event(Event::EnterBootloader, now + m_config.dfu_switch_delay);
                }
                return;
            }
            out.push_back(reply(cmd, {at(cmd, 4), at(cmd, 5), 0}));
        } else {
            out.push_back(error_reply(cmd, kSimErrInvalidFunction));
        }
        return;
    case kDfu:
        answer_dfu(static_cast<std::uint8_t>(function), cmd, out);
        return;
    default: {
        // Features without a model answer from the answer table, else with an empty record.
        const Bytes params(cmd.begin() + std::min<std::size_t>(4, cmd.size()), cmd.end());
        const auto answer = m_answer_table.answer(id, static_cast<std::uint8_t>(function), params);
        if (answer && answer->error)
            out.push_back(error_reply(cmd, answer->code));
        else
            out.push_back(answer ? sized_reply(cmd, answer->payload, answer->length) : reply(cmd, Bytes{}));
        return;
    }
    }
}

void SimProtocolDevice::answer_dfu(std::uint8_t function, const Bytes& cmd, std::vector<Bytes>& out)
{
    Bytes packet(16, 0);
    for (std::size_t k = 0; k < 16; ++k)
        packet[k] = at(cmd, 4 + k);
    m_dfu.set_default_packet_count(m_config.dfu_packet_count);
    m_dfu.set_status_by_notification(m_config.dfu_status_by_notification);
    m_dfu.set_product_id(m_config.image_product_id != 0 ? m_config.image_product_id : m_config.product_id);
    if (function == 5) {  // restart; no answer
        const SimDfuRestart outcome = m_dfu.restart();
        if (outcome != SimDfuRestart::Unchanged)
            ++m_firmware_restarts;
        if (outcome == SimDfuRestart::Application) {
            if (const auto header = m_dfu.header()) {
                m_config.updated_number = header->version;
                m_config.updated_build = header->build;
            }
            restart_into_application();
        }
        const auto now = std::chrono::steady_clock::now();
        m_present = false;
        queue_event(Event::Leave, now);
        queue_event(Event::Arrive, now + std::chrono::milliseconds(20));
        return;
    }
    if (function > 5) {
        out.push_back(error_reply(cmd, kSimErrInvalidFunction));
        return;
    }
    const SimDfuAnswer answer = function == 4 ? m_dfu.start(packet) : m_dfu.data(function, packet);
    for (const Bytes& payload : answer.replies) {
        Bytes r = reply(cmd, payload);
        if (payload.size() <= kShortLength - 4) {
            r.resize(kShortLength);
            r[0] = 0x10;
        }
        out.push_back(r);
    }
    for (const Bytes& payload : answer.notifications) {
        Bytes n = reply(cmd, payload);
        n[3] = 0x00;  // function 0, software id 0
        out.push_back(n);
    }
}

void SimProtocolDevice::restart_into_application()
{
    m_bootloader = false;
    m_log_condition.notify_all();
    m_dfu_state = 0;
    for (auto& f : m_config.firmware) {
        if (f.type == 0) {
            f.number = m_config.updated_number;
            f.build = m_config.updated_build;
            break;
        }
    }
}

bool SimProtocolDevice::present() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_present;
}

std::uint16_t SimProtocolDevice::product_id() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bootloader && m_config.bootloader_product_id != 0)
        return m_config.bootloader_product_id;
    return m_config.product_id;
}

std::string SimProtocolDevice::kind() const { return m_config.kind; }

std::string SimProtocolDevice::name() const { return m_config.name; }

void SimProtocolDevice::set_silent(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_silent = on;
}

void SimProtocolDevice::set_busy(unsigned times) { set_error_reply(kSimErrBusy, times); }

void SimProtocolDevice::set_error_reply(std::uint8_t error, unsigned times)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_error = error;
    m_error_times = times;
}

void SimProtocolDevice::set_duplicate_replies(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_duplicate = on;
}

void SimProtocolDevice::set_protocol10(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_protocol10 = on;
}

void SimProtocolDevice::set_latency(std::chrono::microseconds latency)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_config.latency = latency;
}

void SimProtocolDevice::set_unsolicited_before_reply(int softwareId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_unsolicited_sw = softwareId;
}

void SimProtocolDevice::vanish_on_next_request()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_vanish_next = true;
}

void SimProtocolDevice::set_double_ping_replies(bool on)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_double_ping = on;
}

void SimProtocolDevice::inject(const Bytes& report)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    queue(report, std::chrono::steady_clock::now());
}

bool SimProtocolDevice::notify(std::uint16_t featureId, std::uint8_t function, const Bytes& payload)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int i = index_of(featureId);
    if (i < 0)
        return false;
    const Bytes header = {0x11, 0xFF, static_cast<std::uint8_t>(i), static_cast<std::uint8_t>((function & 0x0F) << 4)};
    queue(reply(header, payload), std::chrono::steady_clock::now());
    return true;
}

void SimProtocolDevice::send_wireless_status(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2)
{
    notify(kWirelessStatus, 0, {b0, b1, b2});
}

void SimProtocolDevice::power_cycle()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cookie = 0;
    m_vanish_next = false;
    const bool enter = m_bootloader_pending;
    m_bootloader_pending = false;
    const auto now = std::chrono::steady_clock::now();
    m_present = false;
    queue_event(Event::Leave, now);
    if (enter)
        queue_event(Event::EnterBootloader, now);
    queue_event(Event::Arrive, now);
}

void SimProtocolDevice::disappear()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_present = false;
    queue_event(Event::Leave, std::chrono::steady_clock::now());
}

void SimProtocolDevice::set_battery(std::uint8_t level, std::uint8_t critical)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_config.battery_level = level;
    m_config.battery_critical = critical;
}

void SimProtocolDevice::update_firmware(std::uint16_t number, std::uint16_t build)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto& f : m_config.firmware) {
        if (f.type == 0) {
            f.number = number;
            f.build = build;
            break;
        }
    }
}

std::uint16_t SimProtocolDevice::config_cookie() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cookie;
}

void SimProtocolDevice::set_config_cookie(std::uint16_t cookie)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cookie = cookie;
}

bool SimProtocolDevice::in_bootloader() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bootloader;
}

unsigned SimProtocolDevice::firmware_restarts() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_firmware_restarts;
}

Bytes SimProtocolDevice::dfu_image() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dfu.image();
}

void SimProtocolDevice::set_dfu_faults(const SimDfuFaults& faults)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_dfu.set_faults(faults);
}

std::optional<quillon::dfu::Header> SimProtocolDevice::dfu_header() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dfu.header();
}

unsigned SimProtocolDevice::dfu_completed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dfu.completed();
}

bool SimProtocolDevice::wait_for_mode(bool bootloader, std::chrono::milliseconds deadline) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_log_condition.wait_for(lock, deadline, [&] { return m_bootloader == bootloader; });
}

std::vector<SimFirmwareEntity> SimProtocolDevice::firmware() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_config.firmware;
}

std::uint32_t SimProtocolDevice::dfu_next_packet() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dfu.next_packet();
}

std::uint64_t SimProtocolDevice::dfu_packets_received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dfu.packets_received();
}

std::vector<Bytes> SimProtocolDevice::written() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log;
}

std::size_t SimProtocolDevice::write_count() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_log.size();
}

void SimProtocolDevice::clear_log()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_log.clear();
}

bool SimProtocolDevice::wait_for_writes(std::size_t count, std::chrono::milliseconds deadline) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_log_condition.wait_for(lock, deadline, [&] { return m_log.size() >= count; });
}

std::size_t SimProtocolDevice::replies_sent() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_replies;
}

Bytes SimProtocolDevice::answer_value(std::uint16_t featureId, std::uint8_t slot) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_answer_table.value(featureId, slot);
}

} // namespace platform::sim
