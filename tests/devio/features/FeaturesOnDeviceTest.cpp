// The core features against a real devio::Device and the simulated protocol device: the bytes
// on the wire, replies and error replies as the device maps them, events routed from the
// device's reader thread, and the device's response cache for repeatable reads.
#include "devio/device/DeviceTestSupport.h"

#include "features/IFeature0000Root.h"
#include "features/IFeature0001FeatureSet.h"
#include "features/IFeature0003FirmwareInfo.h"
#include "features/IFeature0005DeviceNameType.h"
#include "features/IFeature0007DeviceFriendlyName.h"
#include "features/IFeature0008SwitchAndKeepAlive.h"
#include "features/IFeature0020ConfigChange.h"
#include "features/IFeature0021CryptoIdentifier.h"
#include "features/IFeature00c0DFUControl.h"
#include "features/IFeature00c1DFUControl.h"
#include "features/IFeature00c2DFUControl.h"
#include "features/IFeature00d0DFU.h"
#include "features/IFeature1000BatteryUnifiedLevelStatus.h"
#include "features/IFeature1D4BWirelessStatus.h"

#include <algorithm>
#include <atomic>
#include <optional>

using namespace devio;
using namespace devio::test;
using platform::sim::Bytes;

namespace {

// Keyboard table extended by the features the model answers with an empty record, and 0x00D0.
enum Index : Byte { kFirmware = 2, kName = 3, kConfig = 4, kC2 = 7, kFriendly = 8, kKeepAlive = 9, kCrypto = 10,
                    kDfu = 11, kC0 = 12 };

platform::sim::SimProtocolConfig table_config()
{
    auto c = platform::sim::sim_keyboard_config();
    c.features[kName].type = 0xE0;
    c.features.push_back({0x0007, 0, 0});
    c.features.push_back({0x0008, 0, 0});
    c.features.push_back({0x0021, 0, 0});
    c.features.push_back({0x00D0, 0, 0});
    c.features.push_back({0x00C0, 0, 0});
    c.dfu_switch_delay = std::chrono::milliseconds(10);
    return c;
}

template <class I>
std::shared_ptr<I> feature_of(Rig& rig, std::uint32_t id)
{
    return std::dynamic_pointer_cast<I>(rig.device->getFeatureSync(id));
}

Bytes reply_to(const Bytes& cmd, Bytes payload, std::size_t length = 20)
{
    Bytes r(cmd.begin(), cmd.begin() + 4);
    r[0] = length > 7 ? 0x11 : 0x10;
    r.insert(r.end(), payload.begin(), payload.end());
    r.resize(length, 0);
    return r;
}

// Answers in place of the model, which stays silent: every written command gets `answer`'s
// reply (nullopt: none).
class Responder {
public:
    using Answer = std::function<std::optional<Bytes>(const Bytes&)>;
    Responder(platform::sim::SimProtocolDevice& model, Answer answer)
        : m_model(model), m_answer(std::move(answer)), m_seen(model.write_count())
    {
        m_model.set_silent(true);
        m_thread = std::thread([this] {
            while (!m_stop) {
                if (!m_model.wait_for_writes(m_seen + 1, 20ms))
                    continue;
                const auto log = m_model.written();
                for (; m_seen < log.size(); ++m_seen)
                    if (auto r = m_answer(log[m_seen]))
                        m_model.inject(*r);
            }
        });
    }
    ~Responder()
    {
        m_stop = true;
        m_thread.join();
        m_model.set_silent(false);
    }

private:
    platform::sim::SimProtocolDevice& m_model;
    Answer m_answer;
    std::size_t m_seen;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Events as text, from whichever thread delivers them.
class EventLog {
public:
    void add(std::string e)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(std::move(e));
        m_condition.notify_all();
    }
    // The first `count` events, once there are that many (fewer on the deadline).
    std::vector<std::string> first(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_condition.wait_for(lock, 10s, [&] { return m_events.size() >= count; });
        return std::vector<std::string>(m_events.begin(), m_events.begin() + std::min(count, m_events.size()));
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::vector<std::string> m_events;
};

struct Listener : Subscriber<IFeature0020ConfigChange::ConfigReport>,
                  Subscriber<IFeature00c0DFUControl::ConfigReport>,
                  Subscriber<IFeature0021CryptoIdentifier::RegenDetect>,
                  Subscriber<IFeature1D4BWirelessStatus::Report>,
                  Subscriber<IFeature1000BatteryUnifiedLevelStatus::Report>,
                  Subscriber<IFeature00d0DFU::Report>,
                  Subscriber<IFeature::FeatureReport> {
    EventLog log;
    void onCookieSet(std::uint32_t sw, std::uint16_t cookie) override
    {
        log.add("cookie " + std::to_string(sw) + " " + std::to_string(cookie));
    }
    void onRegenerateIdentifier(unsigned sw) override { log.add("regen " + std::to_string(sw)); }
    void onWirelessStatusEvent(bool a, bool b, bool c) override
    {
        log.add("wireless " + std::to_string(a) + std::to_string(b) + std::to_string(c));
    }
    void onBatteryLevelStatus(short a, short b, short c) override
    {
        log.add("battery " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c));
    }
    void onDfuStatus(std::uint32_t packet, std::vector<Byte> payload) override
    {
        log.add("dfu " + std::to_string(packet) + " " + std::to_string(payload.size() > 4 ? payload[4] : 255));
    }
    void onUnexpectedResponse(unsigned function, unsigned sw, const std::vector<Byte>&) override
    {
        log.add("unexpected " + std::to_string(function) + " " + std::to_string(sw));
    }
};

template <class E, class I>
void listen(Listener& l, const std::shared_ptr<I>& feature)
{
    ASSERT_TRUE(static_cast<Subscriber<E>&>(l).subscribe(feature, 1, ""));
}

TEST(FeaturesOnDevice, FramingTypeBitsAndErrorReplies)
{
    ScaledTiming timing;
    Rig rig(table_config());
    auto root = feature_of<IFeature0000Root>(rig, 0x0000);
    auto config = feature_of<IFeature0020ConfigChange>(rig, 0x0020);
    ASSERT_TRUE(root && config);
    const Byte sw = static_cast<Byte>(rig.device->getSoftwareId());
    rig.model->clear_log();

    std::uint32_t index = 0, version = 9;
    bool b7 = false, b6 = false, b5 = false;
    ASSERT_TRUE(root->GetFeature(0x0005, &index, &b7, &b6, &b5, &version, 0));
    EXPECT_EQ(rig.model->written().back(), (Bytes{0x10, 0xFF, 0x00, sw, 0x00, 0x05}));
    EXPECT_EQ(index, kName);
    EXPECT_TRUE(b7 && b6 && b5);
    EXPECT_EQ(version, 0u);

    ASSERT_TRUE(config->SetComplete(0xABCD));
    EXPECT_EQ(rig.model->written().back(), (Bytes{0x10, 0xFF, kConfig, Byte(0x10 | sw), 0xAB, 0xCD}));
    EXPECT_EQ(rig.model->config_cookie(), 0xABCD);
    std::uint16_t cookie = 0;
    ASSERT_TRUE(config->GetCookie(&cookie));
    EXPECT_EQ(cookie, 0xABCD);
    IFeature0020ConfigChange::GetCookieResponse typed;
    ASSERT_TRUE(config->GetCookie()->get(typed));
    EXPECT_EQ(typed.cookie, 0xABCD);

    // 0xFF error replies: 44 + e up to 9, else 54; 0x8F (protocol 1.0): 8 + e.
    cookie = 7;
    rig.model->set_error_reply(platform::sim::kSimErrInvalidArgument, 1);
    EXPECT_FALSE(config->GetCookie(&cookie));
    EXPECT_EQ(last_error().code, 46u);
    EXPECT_EQ(last_error().detail, 2u);
    rig.model->set_error_reply(10, 1);
    EXPECT_FALSE(config->GetCookie()->get(typed));
    EXPECT_EQ(last_error().code, 54u);
    rig.model->set_protocol10(true);
    EXPECT_FALSE(config->GetCookie(&cookie));
    EXPECT_EQ(last_error().code, 9u);
    rig.model->set_protocol10(false);
    EXPECT_EQ(cookie, 7); // untouched by failures
}

TEST(FeaturesOnDevice, RepeatableReadsAreAnsweredFromTheCacheTheSecondTime)
{
    ScaledTiming timing;
    Rig rig(table_config());
    auto set = feature_of<IFeature0001FeatureSet>(rig, 0x0001);
    auto root = feature_of<IFeature0000Root>(rig, 0x0000);
    auto battery = feature_of<IFeature1000BatteryUnifiedLevelStatus>(rig, 0x1000);
    auto name = feature_of<IFeature0005DeviceNameType>(rig, 0x0005);
    ASSERT_TRUE(set && root && battery && name);

    auto twice = [&](const std::function<void()>& call, std::size_t second) {
        const std::size_t before = rig.model->write_count();
        call();
        EXPECT_EQ(rig.model->write_count(), before + 1);
        call();
        EXPECT_EQ(rig.model->write_count(), before + 1 + second);
    };
    twice([&] {
        std::uint32_t count = 0;
        ASSERT_TRUE(set->GetCount(&count));
        EXPECT_EQ(count, table_config().features.size() - 1);
    }, 0);
    twice([&] {
        std::uint32_t id = 0, version = 0;
        ASSERT_TRUE(set->GetFeatureId(kFirmware, &id, nullptr, nullptr, nullptr, &version));
        EXPECT_EQ(id, 0x0003u);
        EXPECT_EQ(version, 2u);
    }, 0);
    twice([&] {
        std::uint16_t first = 0, second = 0;
        std::uint32_t third = 9, fourth = 0;
        ASSERT_TRUE(battery->GetBatteryCapability(&first, &second, &third, &fourth));
        EXPECT_EQ(first, 4);
        EXPECT_EQ(third, 0u);
        EXPECT_EQ(fourth, 10u);
    }, 0);
    twice([&] {
        std::uint16_t level = 0;
        ASSERT_TRUE(battery->GetBatteryLevelStatus(&level, nullptr, nullptr));
        EXPECT_EQ(level, 80);
    }, 1); // ordinary: asked every time
    twice([&] { EXPECT_TRUE(root->Ping(0x5A, nullptr, nullptr, nullptr)); }, 1);

    // Ping 0 is TargetSw's request, which discovery already stored.
    const std::size_t before = rig.model->write_count();
    std::uint8_t major = 0, minor = 0, echo = 9;
    ASSERT_TRUE(root->Ping(0, &major, &minor, &echo));
    EXPECT_EQ(major, 4);
    EXPECT_EQ(echo, 0);
    // The name: its length and one chunk, then kept.
    std::string text;
    ASSERT_TRUE(name->GetName(&text));
    EXPECT_EQ(text, "Sim Keyboard");
    ASSERT_TRUE(name->GetName(&text));
    EXPECT_EQ(rig.model->write_count(), before + 2);
}

TEST(FeaturesOnDevice, FirmwareTextVersionAndModelId)
{
    ScaledTiming timing;
    auto config = table_config();
    config.firmware[0].active = false;
    config.firmware[2].active = true;
    Rig rig(config);
    auto fw = feature_of<IFeature0003FirmwareInfo>(rig, 0x0003);
    ASSERT_TRUE(fw);
    std::uint32_t index = 0, version = 0, entity = 9;
    EXPECT_EQ(fw->GetFwInfoString(&index, &version, &entity), "2HW 000100001A2B3C4D");
    EXPECT_EQ(index, kFirmware);
    EXPECT_EQ(version, 2u);
    EXPECT_EQ(entity, 2u);
    IFeature0003FirmwareInfo::GetFwInfoStringResponse info;
    ASSERT_TRUE(fw->GetFwInfoString()->get(info));
    EXPECT_EQ(info.text, "2HW 000100001A2B3C4D");
    EXPECT_EQ(info.entity, 2u);

    std::string text;
    ASSERT_TRUE(fw->GetFwFormattedVersion(&text));
    EXPECT_EQ(text, "1.2.33");
    IFeature0003FirmwareInfo::GetFwFormattedVersionResponse dotted;
    ASSERT_TRUE(fw->GetFwFormattedVersion()->get(dotted));
    EXPECT_EQ(dotted.text, "1.2.33");
    std::uint16_t build = 0, number = 0;
    ASSERT_TRUE(fw->GetFwFormattedVersionByKind(1, &text, &build, &number, nullptr));
    EXPECT_EQ(text, "1.0.7");
    std::uint32_t model = 0;
    ASSERT_TRUE(fw->GetModelId(&model));
    EXPECT_EQ(model, 0x4001u); // no high half: the product id

    // A function 1 answer in a short report: the blocking form fails, the typed one reads zeros.
    Responder short_replies(*rig.model, [](const Bytes& c) -> std::optional<Bytes> {
        return reply_to(c, {0x00, 'A', 'B'}, 7);
    });
    EXPECT_FALSE(fw->GetFwInfo(std::uint32_t(0), nullptr, &text, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(last_error().code, 2u);
    IFeature0003FirmwareInfo::GetFwInfoResponse r;
    ASSERT_TRUE(fw->GetFwInfo(0, 0)->get(r));
    EXPECT_EQ(r.name, "AB ");
    EXPECT_EQ(r.number, "0000");
    EXPECT_EQ(r.extra, Bytes(7, 0));
}

TEST(FeaturesOnDevice, DiscoveryFromTheCacheFileAsksOnlyTheFirmwareCheck)
{
    ScaledTiming timing;
    const std::string dir = make_temp_dir();
    ASSERT_FALSE(dir.empty());
    auto config = table_config();
    config.firmware[0].active = false;
    config.firmware[2].active = true;
    {
        Rig rig(config, "fwcache");
        rig.device->set_cache_directory(dir);
        ASSERT_TRUE(rig.device->getFeatureSync(0x0003));
        rig.device->write_response_cache();
    }
    Rig again(config, "fwcache");
    again.device->set_cache_directory(dir);
    ASSERT_TRUE(again.device->getFeatureSync(0x0003));
    // The text walk over entities 0, 1, 2 came from the file; the firmware check reads the
    // count and the active entity itself.
    std::vector<Bytes> firmware;
    for (const auto& w : again.model->written())
        if (w.size() > 3 && w[2] == kFirmware)
            firmware.push_back(w);
    ASSERT_EQ(firmware.size(), 2u);
    EXPECT_EQ(firmware[0][3] >> 4, 0);
    EXPECT_EQ(firmware[1][3] >> 4, 1);
    EXPECT_EQ(firmware[1][4], 2);
}

TEST(FeaturesOnDevice, ForeignRepliesAndNotificationsBecomeEvents)
{
    ScaledTiming timing;
    Rig rig(table_config());
    auto config = feature_of<IFeature0020ConfigChange>(rig, 0x0020);
    auto c0 = feature_of<IFeature00c0DFUControl>(rig, 0x00C0);
    auto crypto = feature_of<IFeature0021CryptoIdentifier>(rig, 0x0021);
    auto wireless = feature_of<IFeature1D4BWirelessStatus>(rig, 0x1D4B);
    auto battery = feature_of<IFeature1000BatteryUnifiedLevelStatus>(rig, 0x1000);
    ASSERT_TRUE(config && c0 && crypto && wireless && battery);
    Listener l;
    listen<IFeature0020ConfigChange::ConfigReport>(l, config);
    listen<IFeature::FeatureReport>(l, config);
    listen<IFeature00c0DFUControl::ConfigReport>(l, c0);
    listen<IFeature0021CryptoIdentifier::RegenDetect>(l, crypto);
    listen<IFeature1D4BWirelessStatus::Report>(l, wireless);
    listen<IFeature1000BatteryUnifiedLevelStatus::Report>(l, battery);
    // Queued subscribers are served through the device manager's run loop.
    Listener queued;
    ASSERT_TRUE(static_cast<Subscriber<IFeature1D4BWirelessStatus::Report>&>(queued).subscribe(wireless, 0, ""));

    auto foreign = [](Byte index, Byte functionAndSw, Bytes payload) {
        return reply_to({0x11, 0xFF, index, functionAndSw}, std::move(payload));
    };
    rig.model->inject(foreign(kConfig, 0x03, {0x00, 0x07})); // function 0: the base event only
    rig.model->inject(foreign(kConfig, 0x13, {0x00, 0x07}));
    rig.model->inject(foreign(kC0, 0x12, {0x01, 0x02}));
    rig.model->inject(foreign(kCrypto, 0x25, {}));
    rig.model->inject(foreign(kCrypto, 0x20, {}));           // a notification, not a response
    rig.model->send_wireless_status(0x01, 0x01, 0x00);
    rig.model->send_wireless_status(0x02, 0x01, 0xFF);
    ASSERT_TRUE(rig.model->notify(0x1000, 3, {0xC8, 0x1E, 0x00}));
    EXPECT_EQ(l.log.first(8), (std::vector<std::string>{"unexpected 0 3", "unexpected 1 3", "cookie 3 7", "cookie 2 258",
                                                        "regen 5", "wireless 110", "wireless 010",
                                                        "battery 200 30 0"}));
    EXPECT_EQ(queued.log.first(2), (std::vector<std::string>{"wireless 110", "wireless 010"}));
}

TEST(FeaturesOnDevice, DfuTransferAndSwitches)
{
    ScaledTiming timing;
    auto config = table_config();
    config.dfu_status_by_notification = true;
    Rig rig(config);
    auto dfu = feature_of<IFeature00d0DFU>(rig, 0x00D0);
    auto c0 = feature_of<IFeature00c0DFUControl>(rig, 0x00C0);
    auto c2 = feature_of<IFeature00c2DFUControl>(rig, 0x00C2);
    ASSERT_TRUE(dfu && c0 && c2);
    const Byte sw = static_cast<Byte>(rig.device->getSoftwareId());
    Listener l;
    listen<IFeature00d0DFU::Report>(l, dfu);

    Bytes packet(16);
    for (std::size_t i = 0; i < packet.size(); ++i)
        packet[i] = static_cast<Byte>(i);
    std::uint32_t status = 0;
    ASSERT_TRUE(dfu->DfuStart(packet, &status, nullptr));
    EXPECT_EQ(status, 1u);
    Bytes command{0x11, 0xFF, kDfu, Byte(0x40 | sw)};
    command.insert(command.end(), packet.begin(), packet.end());
    EXPECT_EQ(rig.model->written().back(), command);
    // Packet n on function (n + 1) & 3; each reply's record published as packet n + 1, and the
    // status the device sends later by notification with the packet number it carries.
    for (std::uint32_t n = 1; n <= 3; ++n) {
        ASSERT_TRUE(dfu->DfuCmdData(n, packet));
        EXPECT_EQ(rig.model->written().back()[3], Byte((((n + 1) & 3) << 4) | sw));
    }
    EXPECT_EQ(rig.model->dfu_image().size(), 64u);
    // Notifications come on the reader thread, so only the set of events is fixed.
    auto events = l.log.first(5);
    std::sort(events.begin(), events.end());
    EXPECT_EQ(events, (std::vector<std::string>{"dfu 2 1", "dfu 2 3", "dfu 3 1", "dfu 3 3", "dfu 4 2"}));

    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(dfu->Restart(0x00));
    EXPECT_GE(std::chrono::steady_clock::now() - before, Timing::scaledDuration(1000));
    // The device leaves and returns after the restart, and is probed again meanwhile.
    const auto log = rig.model->written();
    EXPECT_NE(std::find(log.begin(), log.end(), Bytes{0x10, 0xFF, kDfu, Byte(0x50 | sw), 0x00}), log.end());

    ASSERT_TRUE(c0->SetDfuControl());
    EXPECT_EQ(rig.model->written().back(), (Bytes{0x10, 0xFF, kC0, sw, 0x44, 0x46, 0x55}));
    std::uint8_t state = 9;
    ASSERT_TRUE(c2->GetDfuControl(&state));
    EXPECT_EQ(state, 0);
    // The model answers this switch with nothing but its restart: no reply is awaited.
    ASSERT_TRUE(c2->SetDfuControl(1, 0));
    EXPECT_EQ(rig.model->written().back(),
              (Bytes{0x11, 0xFF, kC2, Byte(0x10 | sw), 0x01, 0x00, 0x00, 0x00, 0x44, 0x46, 0x55}));
    EXPECT_TRUE(rig.model->wait_for_mode(true, 10s));
}

TEST(FeaturesOnDevice, MouseSwitchesThroughC1)
{
    ScaledTiming timing;
    Rig rig(platform::sim::sim_mouse_config(), "sim\\mouse\\1");
    auto c1 = feature_of<IFeature00c1DFUControl>(rig, 0x00C1);
    ASSERT_TRUE(c1);
    ASSERT_TRUE(c1->SetDfuControl(1, 0, 0, 0));
    const Bytes sent = rig.model->written().back();
    EXPECT_EQ(sent[0], 0x11);
    EXPECT_EQ(Bytes(sent.begin() + 4, sent.end()), (Bytes{0x01, 0x00, 0x00, 0x00, 0x44, 0x46, 0x55}));
    std::uint32_t state = 0;
    ASSERT_TRUE(c1->GetDfuControl(&state));
    EXPECT_EQ(state, 1u);
}

TEST(FeaturesOnDevice, ShortRepliesAndByteOrderOfTheSmallFeatures)
{
    ScaledTiming timing;
    Rig rig(table_config());
    auto friendly = feature_of<IFeature0007DeviceFriendlyName>(rig, 0x0007);
    auto keepAlive = feature_of<IFeature0008SwitchAndKeepAlive>(rig, 0x0008);
    auto crypto = feature_of<IFeature0021CryptoIdentifier>(rig, 0x0021);
    auto dfu = feature_of<IFeature00d0DFU>(rig, 0x00D0);
    ASSERT_TRUE(friendly && keepAlive && crypto && dfu);
    std::atomic<Byte> maxLength{2};
    Responder responder(*rig.model, [&](const Bytes& c) -> std::optional<Bytes> {
        const Byte function = c[3] >> 4;
        if (c[2] == kFriendly && function == 0)
            return reply_to(c, {0, maxLength.load(), 0});
        if (c[2] == kKeepAlive && function == 1)
            return reply_to(c, {0x12, 0x34});
        return reply_to(c, {1, 2, 3}, 7); // everything else in a short report
    });
    const std::size_t start = rig.model->write_count();
    auto writes_since = [&](std::size_t from) {
        const auto log = rig.model->written();
        return std::vector<Bytes>(log.begin() + static_cast<std::ptrdiff_t>(from), log.end());
    };

    // The UTF-8 cut at the maximum length: 42 C3|BC ... with M = 2 keeps only 42.
    const std::string utf8 = "\x42\xC3\xBC\x72\x6F";
    ASSERT_TRUE(friendly->SetFriendlyName(utf8));
    auto sent = writes_since(start);
    ASSERT_EQ(sent.size(), 2u);
    Bytes chunk(15, 0);
    chunk[0] = 0x42;
    EXPECT_EQ(Bytes(sent[1].begin() + 5, sent[1].end()), chunk);
    maxLength = 3;
    ASSERT_TRUE(friendly->SetFriendlyName(utf8));
    sent = writes_since(start + 2);
    ASSERT_EQ(sent.size(), 2u);
    chunk[1] = 0xC3, chunk[2] = 0xBC;
    EXPECT_EQ(Bytes(sent[1].begin() + 5, sent[1].end()), chunk);
    EXPECT_FALSE(friendly->GetFriendlyName(0, nullptr)); // a chunk needs a long reply
    EXPECT_EQ(last_error().code, 2u);

    std::uint16_t value = 0;
    ASSERT_TRUE(keepAlive->KeepAlive(0x1234, &value));
    EXPECT_EQ(rig.model->written().back()[4], 0x34); // low byte first
    EXPECT_EQ(rig.model->written().back()[5], 0x12);
    EXPECT_EQ(value, 0x1234);
    EXPECT_FALSE(keepAlive->GetInfo(&value, &value));
    EXPECT_EQ(last_error().code, 2u);

    const std::size_t beforeCrypto = rig.model->write_count();
    Bytes id{9};
    EXPECT_FALSE(crypto->GetIdentifier(&id));
    EXPECT_EQ(last_error().code, 2u);
    EXPECT_EQ(rig.model->write_count(), beforeCrypto + 1); // no request for the second half
    std::uint32_t status = 77;
    EXPECT_FALSE(dfu->DfuStart(Bytes(16, 0), &status, nullptr));
    EXPECT_EQ(last_error().code, 2u);
    EXPECT_EQ(status, 77u);
}

} // namespace
