#include "devices/SimProtocolDevice.h"

#include <sim/Scenario.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>

using namespace platform::sim;
using namespace std::chrono_literals;

namespace {

// Collects what the model sends; waits on a condition, never sleeps.
class Host {
public:
    explicit Host(SimProtocolDevice& device) : m_device(device)
    {
        device.set_sink([this](const Bytes& r) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_reports.push_back(r);
            m_condition.notify_all();
        });
        device.set_presence_handler([this](bool present) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_presence.push_back(present);
            m_condition.notify_all();
        });
    }
    ~Host()
    {
        m_device.set_sink(nullptr);
        m_device.set_presence_handler(nullptr);
    }
    bool wait_reports(std::size_t n)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_condition.wait_for(lock, 5s, [&] { return m_reports.size() >= n; });
    }
    bool wait_presence(std::size_t n)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_condition.wait_for(lock, 5s, [&] { return m_presence.size() >= n; });
    }
    // Writes a request and returns the next report that arrives.
    Bytes ask(const Bytes& cmd)
    {
        std::size_t before;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            before = m_reports.size();
        }
        EXPECT_TRUE(m_device.write(cmd));
        EXPECT_TRUE(wait_reports(before + 1));
        std::lock_guard<std::mutex> lock(m_mutex);
        return before < m_reports.size() ? m_reports[before] : Bytes{};
    }
    std::vector<Bytes> reports()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_reports;
    }
    std::vector<bool> presence()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_presence;
    }

private:
    SimProtocolDevice& m_device;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::vector<Bytes> m_reports;
    std::vector<bool> m_presence;
};

Bytes payload(const Bytes& r) { return Bytes(r.begin() + 4, r.end()); }

} // namespace

TEST(SimProtocolDevice, AnswersCoreFeaturesEchoingTheHeader)
{
    SimProtocolDevice device(sim_keyboard_config());
    Host host(device);

    // Root GetFeature for FirmwareInfo (index 2, version 2), software id 3.
    Bytes r = host.ask({0x10, 0xFF, 0x00, 0x03, 0x00, 0x03, 0x00});
    ASSERT_EQ(r.size(), 20u);
    EXPECT_EQ((Bytes{r[0], r[1], r[2], r[3]}), (Bytes{0x11, 0xFF, 0x00, 0x03}));
    EXPECT_EQ(r[4], 2);
    EXPECT_EQ(r[6], 2);
    // Absent feature: index 0.
    EXPECT_EQ(host.ask({0x10, 0xFF, 0x00, 0x03, 0x12, 0x34, 0x00})[4], 0);
    // Ping echoes its byte.
    r = host.ask({0x10, 0xFF, 0x00, 0x1A, 0x00, 0x00, 0x5A});
    EXPECT_EQ(r[3], 0x1A);
    EXPECT_EQ(r[6], 0x5A);
    EXPECT_EQ(r[4], 4);
    // FeatureSet count and an id; short command (no padding) is fine.
    EXPECT_EQ(host.ask({0x10, 0xFF, 0x01, 0x04})[4], 7);
    r = host.ask({0x10, 0xFF, 0x01, 0x14, 0x06});
    EXPECT_EQ(r[4], 0x1D);
    EXPECT_EQ(r[5], 0x4B);
    // FirmwareInfo: count + unit id, then the active application entity.
    r = host.ask({0x10, 0xFF, 0x02, 0x05});
    EXPECT_EQ(r[4], 3);
    EXPECT_EQ((Bytes{r[5], r[6], r[7], r[8]}), (Bytes{0x1A, 0x2B, 0x3C, 0x4D}));
    r = host.ask({0x10, 0xFF, 0x02, 0x15, 0x00});
    EXPECT_EQ(std::string(r.begin() + 5, r.begin() + 8), "APP");
    EXPECT_EQ(r[12], 1);
    // Entity out of range and a bad feature index are protocol 2.0 errors.
    r = host.ask({0x10, 0xFF, 0x02, 0x15, 0x09});
    EXPECT_EQ((Bytes{r[2], r[3], r[4], r[5]}), (Bytes{0xFF, 0x02, 0x15, kSimErrInvalidArgument}));
    r = host.ask({0x10, 0xFF, 0x30, 0x05});
    EXPECT_EQ(r[5], kSimErrInvalidFeatureIndex);
    // Name in chunks, battery.
    EXPECT_EQ(host.ask({0x10, 0xFF, 0x03, 0x05})[4], 12);
    r = host.ask({0x10, 0xFF, 0x03, 0x15, 0x04});
    EXPECT_EQ(std::string(r.begin() + 4, r.begin() + 12), "Keyboard");
    device.set_battery(9, 10);
    r = host.ask({0x10, 0xFF, 0x05, 0x15});
    EXPECT_EQ(r[8], 10);
    EXPECT_EQ(host.ask({0x10, 0xFF, 0x05, 0x05})[4], 9);

    EXPECT_EQ(device.write_count(), 13u);
    EXPECT_EQ(device.written()[0], (Bytes{0x10, 0xFF, 0x00, 0x03, 0x00, 0x03, 0x00}));
}

TEST(SimProtocolDevice, CookieSurvivesUntilPowerCycle)
{
    SimProtocolDevice device(sim_keyboard_config());
    Host host(device);
    host.ask({0x10, 0xFF, 0x04, 0x15, 0x12, 0x34});
    EXPECT_EQ(payload(host.ask({0x10, 0xFF, 0x04, 0x05}))[0], 0x12);
    EXPECT_EQ(device.config_cookie(), 0x1234);
    device.power_cycle();
    ASSERT_TRUE(host.wait_presence(2));
    EXPECT_EQ(host.presence(), (std::vector<bool>{false, true}));
    EXPECT_EQ(device.config_cookie(), 0);
}

TEST(SimProtocolDevice, FaultSwitches)
{
    SimProtocolDevice device(sim_keyboard_config());
    Host host(device);
    const Bytes getCount = {0x10, 0xFF, 0x01, 0x02};

    device.set_busy(2);
    EXPECT_EQ(host.ask({0x10, 0xFF, 0x00, 0x12, 0, 0, 0x77})[6], 0x77);  // pings are spared
    for (int i = 0; i < 2; ++i) {
        Bytes r = host.ask(getCount);
        EXPECT_EQ(r[2], 0xFF);
        EXPECT_EQ(r[5], kSimErrBusy);
    }
    EXPECT_EQ(host.ask(getCount)[2], 0x01);

    device.set_protocol10(true);
    Bytes r = host.ask(getCount);
    EXPECT_EQ(r, (Bytes{0x10, 0xFF, 0x8F, 0x01, 0x02, 0x01, 0x00}));
    device.set_protocol10(false);

    device.set_duplicate_replies(true);
    const std::size_t before = host.reports().size();
    device.write(getCount);
    ASSERT_TRUE(host.wait_reports(before + 2));
    device.set_duplicate_replies(false);

    device.set_unsolicited_before_reply(2);
    r = host.ask(getCount);
    EXPECT_EQ(r[3] & 0x0F, 2);
    EXPECT_NE(r[3], getCount[3]);
    device.set_unsolicited_before_reply(-1);

    device.set_silent(true);
    const std::size_t sent = device.replies_sent();
    EXPECT_TRUE(device.write(getCount));
    EXPECT_EQ(device.replies_sent(), sent);
    device.set_silent(false);

    device.vanish_on_next_request();
    EXPECT_TRUE(device.write(getCount));
    ASSERT_TRUE(host.wait_presence(1));
    EXPECT_FALSE(device.present());
    EXPECT_FALSE(device.write(getCount));
}

TEST(SimProtocolDevice, UpdateThroughQuickSwitchAndDfu)
{
    SimProtocolConfig config = sim_keyboard_config();
    config.dfu_switch_delay = 5ms;
    config.dfu_packet_count = 3;
    SimProtocolDevice device(config);
    Host host(device);

    // 0x00C2 (index 7): no answer, bootloader shortly after.
    EXPECT_TRUE(device.write({0x11, 0xFF, 0x07, 0x1F, 1, 0, 0, 0, 0x44, 0x46, 0x55}));
    ASSERT_TRUE(device.wait_for_mode(true, 5s));
    EXPECT_TRUE(host.reports().empty());
    // DFU is at index 3 of the bootloader table.
    EXPECT_EQ(host.ask({0x10, 0xFF, 0x00, 0x0F, 0x00, 0xD0, 0x00})[4], 3);

    auto packet = [](std::uint8_t function, std::uint8_t fill) {
        Bytes cmd = {0x11, 0xFF, 0x03, static_cast<std::uint8_t>(function << 4 | 0x0F)};
        cmd.resize(20, fill);
        return cmd;
    };
    Bytes r = host.ask(packet(4, 0xA0));
    EXPECT_EQ(payload(r), (Bytes{0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    r = host.ask(packet(0, 0xA1));  // wrong function for packet 1
    EXPECT_EQ(r[8], 4);
    r = host.ask(packet(2, 0xA1));  // packet 1 on function 2
    EXPECT_EQ(r[7], 2);
    EXPECT_EQ(r[8], 1);
    r = host.ask(packet(3, 0xA2));
    EXPECT_EQ(r[7], 3);
    EXPECT_EQ(r[8], 2);  // done
    EXPECT_EQ(device.dfu_image().size(), 48u);

    device.write({0x10, 0xFF, 0x03, 0x5F, 0x00});  // restart
    ASSERT_TRUE(host.wait_presence(2));
    EXPECT_FALSE(device.in_bootloader());
    EXPECT_EQ(device.firmware()[0].number, config.updated_number);
}

TEST(SimProtocolDevice, QuickSwitchInPlaceOrByARestart)
{
    // Over a cable the device switches in place; over the air its link drops and the bootloader
    // comes back after the delay. The restarts into other firmware are counted either way.
    struct Case {
        const char* name;
        bool restarts;
        std::vector<bool> presence;
        unsigned counted;
    };
    const Case cases[] = {
        {"in place", false, {}, 0},
        {"restart", true, {false, true}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimProtocolConfig config = sim_keyboard_config();
        config.dfu_switch_delay = 30ms;
        config.dfu_switch_restarts = c.restarts;
        SimProtocolDevice device(config);
        Host host(device);
        EXPECT_TRUE(device.write({0x11, 0xFF, 0x07, 0x1F, 1, 0, 0, 0, 0x44, 0x46, 0x55}));
        if (c.restarts) {
            // Gone at once: nothing more is taken until the bootloader is up.
            EXPECT_FALSE(device.write({0x10, 0xFF, 0x00, 0x1A, 0x00, 0x00, 0x5A}));
        }
        ASSERT_TRUE(host.wait_presence(c.presence.size()));
        ASSERT_TRUE(device.wait_for_mode(true, 5s));
        // In its bootloader by the time it is back.
        EXPECT_EQ(host.ask({0x10, 0xFF, 0x00, 0x0F, 0x00, 0xD0, 0x00})[4], 3);
        EXPECT_EQ(host.presence(), c.presence);
        EXPECT_TRUE(host.reports().size() == 1u) << "the switch itself is not answered";
        EXPECT_EQ(device.firmware_restarts(), c.counted);
    }
}

TEST(SimProtocolDevice, BootloaderTakesTheImagesOfItsImageProduct)
{
    // A Bluetooth keyboard shows 0xB001 but is sent the images made for 0x4001.
    struct Case {
        const char* name;
        std::uint16_t imageProduct;
        std::uint16_t headerProduct;
        std::uint8_t status;
    };
    const Case cases[] = {
        {"the image product's image", 0x4001, 0x4001, 1},
        {"an image of the id it shows", 0x4001, 0xB001, 4},
        {"no image product: the id it shows", 0, 0xB001, 1},
        {"no image product: another's", 0, 0x4001, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimProtocolConfig config = sim_keyboard_config();
        config.product_id = 0xB001;
        config.image_product_id = c.imageProduct;
        config.dfu_switch_delay = 1ms;
        SimProtocolDevice device(config);
        Host host(device);
        EXPECT_TRUE(device.write({0x11, 0xFF, 0x07, 0x1F, 1, 0, 0, 0, 0x44, 0x46, 0x55}));
        ASSERT_TRUE(device.wait_for_mode(true, 5s));
        quillon::dfu::Header h;
        h.productId = c.headerProduct;
        h.length = 64;
        Bytes start = {0x11, 0xFF, 0x03, 0x4F};
        const Bytes header = quillon::dfu::encodeHeader(h);
        start.insert(start.end(), header.begin(), header.end());
        EXPECT_EQ(host.ask(start)[8], c.status);
    }
}

TEST(SimProtocolDevice, SlowSwitchWaitsForPowerCycleAndStatusMayComeLater)
{
    SimProtocolConfig config = sim_mouse_config();
    config.dfu_status_by_notification = true;
    SimProtocolDevice device(config);
    Host host(device);
    Bytes r = host.ask({0x11, 0xFF, 0x07, 0x1F, 1, 0, 0, 0, 0x44, 0x46, 0x55});
    EXPECT_EQ(r[2], 0x07);
    EXPECT_FALSE(device.in_bootloader());
    device.power_cycle();
    ASSERT_TRUE(host.wait_presence(2));
    EXPECT_TRUE(device.in_bootloader());

    Bytes cmd = {0x11, 0xFF, 0x03, 0x4F};
    cmd.resize(20);
    host.ask(cmd);
    cmd[3] = 0x2F;
    const std::size_t before = host.reports().size();
    device.write(cmd);
    ASSERT_TRUE(host.wait_reports(before + 2));
    const auto reports = host.reports();
    EXPECT_EQ(reports[before][8], 3);         // reply: status 3
    EXPECT_EQ(reports[before + 1][3], 0x00);  // notification, software id 0
    EXPECT_EQ(reports[before + 1][8], 1);
}

TEST(SimProtocolDevice, ScenarioKindsPutTheModelBehindTwoCollections)
{
    auto kinds = device_kinds();
    EXPECT_NE(std::find(kinds.begin(), kinds.end(), "keyboard"), kinds.end());
    EXPECT_NE(std::find(kinds.begin(), kinds.end(), "mouse"), kinds.end());
    Scenario scenario = Scenario::from_text(
        "<scenario><device kind=\"mouse\" name=\"m\" vendor=\"0x7E51\" product=\"0x4010\" battery=\"5\"/></scenario>");
    ASSERT_EQ(scenario.devices().size(), 1u);
    EXPECT_EQ(scenario.devices()[0].kind, "mouse");
    EXPECT_EQ(scenario.devices()[0].collections.size(), 2u);
    EXPECT_THROW(Scenario::from_text("<scenario><device kind=\"keyboard\" product=\"0x12345\"/></scenario>"),
                 ScenarioError);
}
