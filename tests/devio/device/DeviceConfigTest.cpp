#include "DeviceTestSupport.h"

#include "core/ErrorRecord.h"

using namespace devio;
using namespace devio::test;
using platform::sim::Bytes;

namespace {

Bytes header(const Bytes& r) { return Bytes(r.begin(), r.begin() + std::min<std::size_t>(r.size(), 4)); }

std::vector<std::uint16_t> set_complete_values(const std::vector<Bytes>& log, Byte configIndex)
{
    std::vector<std::uint16_t> values;
    for (const auto& r : log)
        if (r.size() >= 6 && r[2] == configIndex && (r[3] >> 4) == 1)
            values.push_back(static_cast<std::uint16_t>(r[4] << 8 | r[5]));
    return values;
}

} // namespace

TEST(DeviceConfig, CookieIsSetAndCheckedOnReconnection)
{
    ScaledTiming timing;
    Rig rig;
    ConnectLog events;
    ASSERT_TRUE(events.subscribe(std::shared_ptr<IDevice>(rig.device), 1, "test"));
    rig.hardware->announce_connect();
    ASSERT_TRUE(events.wait_for("connect(false)"));  // nothing configured yet: not retained
    EXPECT_EQ(events.events(), (std::vector<std::string>{"connect", "connect(false)"}));

    auto battery = rig.device->getFeatureSync(0x1000);
    ASSERT_TRUE(battery);
    ASSERT_TRUE(rig.device->register_configured_feature(battery));
    const std::uint16_t cookie = rig.model->config_cookie();
    EXPECT_NE(cookie, 0);
    EXPECT_TRUE(rig.device->has_configured_features());

    // Back without losing power: the cookie is ours.
    events.clear();
    rig.hardware->announce_connect();
    ASSERT_TRUE(events.wait_for("connect(true)")) << ::testing::PrintToString(events.events());
    EXPECT_TRUE(rig.device->has_configured_features());

    // A power cycle clears the cookie: settings lost.
    events.clear();
    rig.model->power_cycle();
    ASSERT_TRUE(events.wait_for("connect(false)"));
    EXPECT_EQ(events.events(), (std::vector<std::string>{"disconnect", "connect", "connect(false)"}));
    EXPECT_FALSE(rig.device->has_configured_features());
}

TEST(DeviceConfig, ForeignCookieIsClearedAndNeverReused)
{
    ScaledTiming timing;
    Rig rig;
    rig.model->set_config_cookie(0x1234);
    auto battery = rig.device->getFeatureSync(0x1000);
    ASSERT_TRUE(battery);
    rig.model->clear_log();
    ASSERT_TRUE(rig.device->register_configured_feature(battery));
    const auto values = set_complete_values(rig.model->written(), 4);
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[0], 0);
    EXPECT_NE(values[1], 0);
    EXPECT_NE(values[1], 0x1234);
    EXPECT_EQ(rig.model->config_cookie(), values[1]);

    // Released at shutdown: cookie 0 written; later registrations change nothing.
    EXPECT_TRUE(rig.device->release_configuration());
    EXPECT_EQ(rig.model->config_cookie(), 0);
    const std::size_t before = rig.model->write_count();
    EXPECT_TRUE(rig.device->register_configured_feature(battery));
    EXPECT_EQ(rig.model->write_count(), before);
}

TEST(DeviceConfig, InvalidateForgetsOnlyWhatItsReasonSays)
{
    ScaledTiming timing;
    Rig rig;
    ASSERT_TRUE(rig.device->getFeatureSync(0x1000));
    rig.device->invalidate("cache-something");
    std::size_t before = rig.model->write_count();
    ASSERT_TRUE(rig.device->getFeatureSync(0x1000));
    EXPECT_EQ(rig.model->write_count(), before);

    rig.device->invalidate(nullptr);
    ASSERT_TRUE(rig.device->getFeatureSync(0x1000));
    EXPECT_GT(rig.model->write_count(), before);  // discovered again
}

TEST(DeviceConfig, ChangedFirmwareIsNoticedAfterATimeOut)
{
    ScaledTiming timing(30);
    Rig rig;
    ConnectLog events;
    ASSERT_TRUE(events.subscribe(std::shared_ptr<IDevice>(rig.device), 1, "test"));
    ASSERT_TRUE(rig.device->getFeatureSync(0x0020));
    // The device stops answering once, and comes back with other firmware.
    rig.model->set_silent(true);
    Bytes reply;
    auto request = rig.device->send({0x10, 0xFF, 0x04, 0x01}, 0, {}, nullptr, 0);
    ASSERT_TRUE(rig.model->wait_for_writes(rig.model->write_count() + 1, std::chrono::seconds(5)));
    rig.model->update_firmware(0x0300, 0x0099);
    rig.model->set_silent(false);
    EXPECT_FALSE(request->wait());
    EXPECT_EQ(last_error().code, 67u);
    EXPECT_TRUE(events.wait_for("firmware"));
}

TEST(DeviceConfig, WirelessReconnectionTellsOnlyWhenSettingsWereLost)
{
    ScaledTiming timing;
    Rig rig(platform::sim::sim_keyboard_config(), "sim\\receiver\\1", TransportReceiver);
    ConnectLog events;
    ASSERT_TRUE(events.subscribe(std::shared_ptr<IDevice>(rig.device), 1, "test"));
    auto battery = rig.device->getFeatureSync(0x1000);  // discovery follows WirelessStatus
    ASSERT_TRUE(battery);
    ASSERT_TRUE(rig.device->register_configured_feature(battery));
    const std::uint16_t cookie = rig.model->config_cookie();
    ASSERT_NE(cookie, 0);

    // Back in range with the settings: the cookie is read and nothing is published.
    rig.model->clear_log();
    rig.model->send_wireless_status(0, 1, 0);
    ASSERT_TRUE(rig.model->wait_for_writes(3, 10s));
    const auto log = rig.model->written();
    EXPECT_EQ(header(log.back()), (Bytes{0x10, 0xFF, 0x04, 0x01}));  // GetCookie
    rig.model->send_wireless_status(0, 0, 0);  // not a reconnection

    // Back after losing power: the device reads as disconnected and newly connected.
    rig.model->set_config_cookie(0);
    rig.model->send_wireless_status(0, 1, 0);
    ASSERT_TRUE(events.wait_for("connect(false)"));
    EXPECT_EQ(events.events(), (std::vector<std::string>{"disconnect", "connect", "connect(false)"}));
    EXPECT_FALSE(rig.device->has_configured_features());
}
