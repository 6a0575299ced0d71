// A device's answers during a firmware update, taken by the protocol adapter itself
// (cDevioDevice) over the real update feature 0x00D0. A scripted device answers each command the
// feature sends, raises status notifications, comes and goes, restarts and lets the transfer time
// out; the harness's own run loop hands the feature's reports to the adapter one at a time, on
// this thread, and the time-out only falls when the script says so. Whatever the device says, the
// adapter must keep its contract with the device and with its caller:
// - a start command carries the first packet of one of the caller's images;
// - a data packet is one the device asked for, with that packet's bytes of the image the last
//   start began (an empty packet beyond its end), on function (number + 1) & 3;
// - after it reported the update succeeded or failed, nothing more goes out and no other status
//   or progress follows until the caller starts again;
// - an update ends: per start by the caller, no more commands than a bound the image sizes set
//   (a device that keeps asking for what it has is given up on, and each image goes once).
//
// Input: [flags] [main size, u16 LE] [second size, u16 LE, 0: none] then the script. Sizes are
// taken modulo 4097. Flags: bits 0..1 the transport (USB, receiver, Bluetooth classic, Bluetooth
// LE); bit 2 the device is in its bootloader at the start; bit 3 its switch is 0x00C1 (power cycle)
// rather than 0x00C2; bit 4 main image first; bit 5 a restart command brings the device back in
// its bootloader at once.
//
// Script items, read as the device's answer to each command of the update feature, or (when the
// adapter waits) as the next thing the device does:
//   0x00..0x3F  n: a status record of the n bytes that follow (a reply, or a notification)
//   0x40..0x5F  the previous record (tag - 0x40 + 1) more times
//   0x60        loop: once the script ends, answers start again here, for ever (events end)
//   0x61        an error reply          0x62  no reply (the request times out)
//   0x63        connects in its bootloader    0x64  connects in its application
//   0x65        disconnects             0x66  finds its firmware changed
//   0x67        the transfer time-out falls   0x68  the caller starts the update again
// An event item met while an answer is due is silence (and stays for later); other bytes are
// skipped.
#include "cDevioDevice.h"

#include "core/IHardwareDevice.h"
#include "core/Timing.h"
#include "devio/features/FakeDevice.h"
#include "features/Feature.h"
#include "features/FeatureRegistry.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace {

using devio::Byte;

void check(bool condition)
{
    if (!condition)
        std::abort();
}

constexpr std::uint8_t kDfuIndex = 9;
constexpr std::uint8_t kSwitchIndex = 10;
constexpr std::size_t kMaxImage = 4096;

// Deliveries queued by the feature, run one at a time when the harness says so.
class RunLoop : public devio::IRunLoopManager {
public:
    void post(std::function<bool()> callable, void* subscriber, void* producer, std::string) override
    {
        m_queue.push_back(Entry{std::move(callable), subscriber, producer});
    }
    void process() override {}
    void flush(void* subscriber, void* producer) override
    {
        for (auto it = m_queue.begin(); it != m_queue.end();)
            it = (!subscriber && !producer) || (it->subscriber == subscriber && it->producer == producer)
                     ? m_queue.erase(it)
                     : it + 1;
    }
    bool run_one()
    {
        if (m_queue.empty())
            return false;
        Entry e = std::move(m_queue.front());
        m_queue.pop_front();
        e.callable();
        return true;
    }

private:
    struct Entry {
        std::function<bool()> callable;
        void* subscriber;
        void* producer;
    };
    std::deque<Entry> m_queue;
};

class Script {
public:
    enum class Kind { Record, Error, Silence, ConnectBootloader, ConnectApplication, Disconnect, FirmwareChanged,
                      TimeOut, StartAgain, End };
    struct Item {
        Kind kind = Kind::End;
        std::vector<Byte> record;
    };

    Script(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    // The device's answer to a command.
    Item answer() { return next(true); }
    // What the device does next while nothing is asked of it; End once the script is done.
    Item event() { return next(false); }

private:
    Item next(bool answering)
    {
        bool wrapped = false;
        for (;;) {
            if (m_repeat > 0) {
                --m_repeat;
                return Item{Kind::Record, m_last};
            }
            if (m_at >= m_size) {
                // Answers go round the loop; the device does nothing more of its own.
                // A loop that yields no answer (empty, or only bytes skipped) answers nothing.
                if (!answering || !m_loop || wrapped)
                    return Item{answering ? Kind::Silence : Kind::End, {}};
                m_at = *m_loop;
                wrapped = true;
                m_wrapped = true;
                continue;
            }
            if (!answering && m_wrapped)
                return Item{Kind::End, {}};
            const std::uint8_t tag = m_data[m_at];
            if (answering && tag >= 0x63 && tag <= 0x68)
                return Item{Kind::Silence, {}};
            ++m_at;
            if (tag < 0x40) {
                const std::size_t take = tag < m_size - m_at ? tag : m_size - m_at;
                m_last.assign(m_data + m_at, m_data + m_at + take);
                m_at += take;
                return Item{Kind::Record, m_last};
            }
            if (tag < 0x60) {
                m_repeat = tag - 0x40;
                return Item{Kind::Record, m_last};
            }
            switch (tag) {
            case 0x60:
                if (!m_loop)
                    m_loop = m_at;
                continue;
            case 0x61: return Item{Kind::Error, {}};
            case 0x62: return Item{Kind::Silence, {}};
            case 0x63: return Item{Kind::ConnectBootloader, {}};
            case 0x64: return Item{Kind::ConnectApplication, {}};
            case 0x65: return Item{Kind::Disconnect, {}};
            case 0x66: return Item{Kind::FirmwareChanged, {}};
            case 0x67: return Item{Kind::TimeOut, {}};
            case 0x68: return Item{Kind::StartAgain, {}};
            default: continue;
            }
        }
    }

    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
    unsigned m_repeat = 0;
    std::optional<std::size_t> m_loop;
    bool m_wrapped = false;
    std::vector<Byte> m_last;
};

class ScriptedDevice : public devio::test::FakeDevice {
public:
    std::uint32_t transport = devio::TransportUsbHid;
    std::function<void(const std::vector<Byte>&)> on_write;

    std::uint32_t getTransport() const override { return transport; }
    bool write(const std::vector<Byte>& bytes, bool flag) override
    {
        if (on_write)
            on_write(bytes);
        clear_log();
        return FakeDevice::write(bytes, flag);
    }
};

// Byte i of an image: the packet's number in its first byte, the image's tag in its third, so a
// packet sent tells which packet of which image it is.
std::vector<char> make_image(std::size_t size, std::uint8_t tag)
{
    std::vector<char> image(size);
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t at = i % DfuPacing::kPacketSize;
        image[i] = static_cast<char>(at == 0 ? i / DfuPacing::kPacketSize : at == 2 ? tag : (i * 31 + 7) & 0xFF);
    }
    return image;
}

// The packet's bytes as they go out: zero-padded to a whole packet.
std::vector<Byte> packet_of(const std::vector<char>& image, std::size_t number)
{
    std::vector<Byte> packet(DfuPacing::kPacketSize, 0);
    for (std::size_t i = 0; i < DfuPacing::kPacketSize && number * DfuPacing::kPacketSize + i < image.size(); ++i)
        packet[i] = static_cast<Byte>(image[number * DfuPacing::kPacketSize + i]);
    return packet;
}

std::size_t packets_in(const std::vector<char>& image)
{
    return (image.size() + DfuPacing::kPacketSize - 1) / DfuPacing::kPacketSize;
}

class Rig {
public:
    Rig(const std::uint8_t* data, std::size_t size)
        : m_script(data + 5, size - 5), m_main(make_image((data[1] | data[2] << 8) % (kMaxImage + 1), 0xA1)),
          m_second(make_image((data[3] | data[4] << 8) % (kMaxImage + 1), 0xB2)), m_main_first((data[0] & 0x10) != 0),
          m_power_cycle((data[0] & 0x08) != 0), m_back_after_restart((data[0] & 0x20) != 0),
          m_in_bootloader((data[0] & 0x04) != 0)
    {
        static const std::uint32_t transports[] = {devio::TransportUsbHid, devio::TransportReceiver,
                                                   devio::TransportClassicBluetooth, devio::TransportBluetoothLE};
        m_device->transport = transports[data[0] & 3];
        m_device->feature_lookup = [this](std::uint32_t id) -> std::shared_ptr<devio::IFeature> {
            if (id == 0x00D0)
                return m_in_bootloader ? m_dfu : nullptr;
            if (id == (m_power_cycle ? 0x00C1u : 0x00C2u) && !m_in_bootloader)
                return m_switch;
            return nullptr;
        };
        m_device->answer = [this](const std::vector<Byte>& command) { return answer(command); };
        m_device->on_write = [this](const std::vector<Byte>& bytes) { written(bytes); };
        m_switch = devio::make_feature(m_power_cycle ? 0x00C1 : 0x00C2, kSwitchIndex, m_device);
        if (m_in_bootloader)
            new_dfu_feature();
        // The bound on commands per start: each packet of each image once, and after each (and
        // after the start) the repeats a device may ask for before the update is given up.
        m_bound = (packets_in(m_main) + packets_in(m_second) + 2) * (DfuPacing::kMaxRepeats + 1) + 2;
    }

    void run()
    {
        DfuAdapterHost host;
        host.notify = [this](DFU_DEVICE, DFU_EVENTTYPE event, int parameter) { heard(event, parameter); };
        host.setDetection = [](bool) {};
        m_adapter = std::make_shared<cDevioDevice>(m_device, host);
        start();
        for (;;) {
            while (m_loop->run_one()) {
            }
            const Script::Item item = m_script.event();
            if (item.kind == Script::Kind::End)
                break;
            act(item);
        }
        m_adapter.reset();
        m_device->answer = nullptr;
        m_device->feature_lookup = nullptr;
    }

private:
    void new_dfu_feature()
    {
        // A device that comes back has discovered its features anew: a new feature object.
        m_dfu = devio::make_feature(0x00D0, kDfuIndex, m_device);
        std::dynamic_pointer_cast<devio::Feature>(m_dfu)->set_run_loop(m_loop);
    }

    void start()
    {
        m_terminal = false;
        m_commands = 0;
        m_named.clear();
        m_adapter->startUpdate(m_main.data(), static_cast<int>(m_main.size()),
                               m_second.empty() ? nullptr : m_second.data(), static_cast<int>(m_second.size()),
                               m_main_first);
    }

    void connect(bool bootloader)
    {
        if (bootloader)
            new_dfu_feature();
        m_in_bootloader = bootloader;
        m_adapter->onConnect(m_device);
    }

    void act(const Script::Item& item)
    {
        switch (item.kind) {
        case Script::Kind::Record:
            if (m_in_bootloader) {
                note_named(item.record);
                std::dynamic_pointer_cast<devio::Feature>(m_dfu)->onFeatureReport(0, item.record);
            }
            return;
        case Script::Kind::ConnectBootloader: connect(true); return;
        case Script::Kind::ConnectApplication: connect(false); return;
        case Script::Kind::Disconnect: m_adapter->onDisconnect(m_device); return;
        case Script::Kind::FirmwareChanged: m_adapter->onFirmwareChanged(m_device); return;
        case Script::Kind::TimeOut: m_adapter->onTimerEvent(0); return;
        case Script::Kind::StartAgain: start(); return;
        case Script::Kind::Error:
        case Script::Kind::Silence:
        case Script::Kind::End: return;
        }
    }

    // A status record that asks for a packet.
    void note_named(const std::vector<Byte>& record)
    {
        if (record.size() >= 5 && record[4] == 1)
            m_named.insert(std::uint32_t(record[0]) << 24 | std::uint32_t(record[1]) << 16 |
                           std::uint32_t(record[2]) << 8 | record[3]);
    }

    std::optional<std::vector<Byte>> answer(const std::vector<Byte>& command)
    {
        m_device->clear_log();
        if (command.size() < 4)
            return std::nullopt;
        if (command[2] == kSwitchIndex)
            return devio::test::FakeDevice::reply_to(command, {});
        if (command[2] != kDfuIndex)
            return std::nullopt;
        sent(command);
        const Script::Item item = m_script.answer();
        switch (item.kind) {
        case Script::Kind::Record:
            note_named(item.record);
            return devio::test::FakeDevice::reply_to(command, item.record);
        case Script::Kind::Error:
            return std::vector<Byte>{0x10, command[1], 0xFF, command[2], command[3], 0x05, 0x00};
        default:
            return std::nullopt;
        }
    }

    // A start or data command of the update feature: what the device receives.
    void sent(const std::vector<Byte>& command)
    {
        check(!m_terminal);
        check(++m_commands <= m_bound);
        const unsigned function = command[3] >> 4;
        const std::vector<Byte> params(command.begin() + 4, command.end());
        if (function == 4) {
            if (params == packet_of(m_main, 0))
                m_image = &m_main;
            else if (!m_second.empty() && params == packet_of(m_second, 0))
                m_image = &m_second;
            else
                check(false);
            return;
        }
        check(function < 4 && m_image);
        if (params.empty()) {
            // Beyond the image: a packet the device asked for past its end.
            bool named = false;
            for (std::uint32_t n : m_named)
                named = named || (n >= packets_in(*m_image) && ((n + 1) & 3) == function);
            check(named);
            return;
        }
        const std::uint32_t number = params[0];
        check(number < packets_in(*m_image) && params == packet_of(*m_image, number));
        check(m_named.count(number) != 0 && ((number + 1) & 3) == function);
    }

    void written(const std::vector<Byte>& bytes)
    {
        if (bytes.size() < 4)
            return;
        if (bytes[2] == kSwitchIndex && (bytes[3] >> 4) == 1) {
            // The 0x00C2 switch: the device is in its bootloader when it is looked at again.
            new_dfu_feature();
            m_in_bootloader = true;
        } else if (bytes[2] == kDfuIndex && (bytes[3] >> 4) == 5 && m_back_after_restart) {
            m_loop->post([this] {
                connect(true);
                return true;
            }, nullptr, nullptr, "restarted");
        }
    }

    void heard(DFU_EVENTTYPE event, int parameter)
    {
        if (event == DFU_EVENT_PROGRESS) {
            check(!m_terminal && parameter >= 0 && parameter <= 100);
        } else if (event == DFU_EVENT_STATUS) {
            check(!m_terminal);
            m_terminal = parameter == DFU_STATUS_SUCCEEDED || parameter == DFU_STATUS_FAILED;
        }
    }

    Script m_script;
    const std::vector<char> m_main;
    const std::vector<char> m_second;
    const bool m_main_first;
    const bool m_power_cycle;
    const bool m_back_after_restart;
    bool m_in_bootloader;
    std::shared_ptr<RunLoop> m_loop = std::make_shared<RunLoop>();
    std::shared_ptr<ScriptedDevice> m_device = std::make_shared<ScriptedDevice>();
    std::shared_ptr<devio::IFeature> m_dfu;
    std::shared_ptr<devio::IFeature> m_switch;
    std::shared_ptr<cDevioDevice> m_adapter;

    std::uint64_t m_bound = 0;
    std::uint64_t m_commands = 0;        // start and data commands since the caller's start
    std::set<std::uint32_t> m_named;     // packets the device asked for since then
    const std::vector<char>* m_image = nullptr;  // the image the last start command began
    bool m_terminal = false;             // succeeded or failed was reported
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // No real waits: the one-second pauses after a switch or a restart take no time, and the
    // transfer time-out falls only when the script says so (its timer delivers to no run loop).
    devio::Timing::setScale(0, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5)
        return 0;
    Rig(data, size).run();
    return 0;
}
