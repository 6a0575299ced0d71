#include "FakeDevice.h"

#include "core/DataRequest.h"
#include "core/Subscriber.h"
#include "features/Feature.h"

#include <gtest/gtest.h>

using namespace devio;
using devio::test::FakeDevice;

namespace {

using Bytes = std::vector<Byte>;

struct FeatureBase : ::testing::Test {
    std::shared_ptr<FakeDevice> dev = std::make_shared<FakeDevice>();
    std::shared_ptr<Feature> feature = std::make_shared<Feature>(0x1234, 5, dev);
};

TEST_F(FeatureBase, FramesShortLongAndOversizedCommandsUnpadded)
{
    Bytes command;
    ASSERT_TRUE(feature->build_command(1, {}, command));
    EXPECT_EQ(command, (Bytes{0x10, 0xFF, 0x05, 0x13}));

    ASSERT_TRUE(feature->build_command(2, {1, 2, 3}, command));
    EXPECT_EQ(command, (Bytes{0x10, 0xFF, 0x05, 0x23, 1, 2, 3}));
    ASSERT_TRUE(feature->build_command(2, {1, 2, 3, 4}, command));
    EXPECT_EQ(command.size(), 8u);
    EXPECT_EQ(command[0], 0x11);

    // A 64-byte report's worth of parameters passes through whole.
    Bytes params(60);
    for (std::size_t i = 0; i < params.size(); ++i)
        params[i] = static_cast<Byte>(i);
    ASSERT_TRUE(feature->build_command(7, params, command));
    ASSERT_EQ(command.size(), 64u);
    EXPECT_EQ(command[0], 0x11);
    EXPECT_EQ(Bytes(command.begin() + 4, command.end()), params);
}

TEST_F(FeatureBase, ExecuteChecksLengthIndexAndSoftwareId)
{
    Bytes reply;
    dev->answer = [](const Bytes& c) { return FakeDevice::reply_to(c, {1, 2}); }; // 6 bytes
    EXPECT_FALSE(feature->execute(1, {}, reply, 0));
    EXPECT_EQ(last_error().code, 2u);

    dev->answer = [](const Bytes& c) {
        Bytes r = FakeDevice::reply_to(c, {1, 2, 3});
        r[3] = (r[3] & 0xF0) | 0x04; // another program's software id
        return r;
    };
    EXPECT_FALSE(feature->execute(1, {}, reply, 0));
    EXPECT_EQ(last_error().code, 1u);
    EXPECT_STREQ(last_error().text, "response does not match command");

    dev->answer = [](const Bytes& c) {
        Bytes r = FakeDevice::reply_to(c, {1, 2, 3});
        r[2] = 0x06;
        return r;
    };
    EXPECT_FALSE(feature->execute(1, {}, reply, 0));
    EXPECT_EQ(last_error().code, 1u);
}

TEST_F(FeatureBase, ExecuteZeroFillsToEntrySizeAndComparedGivesExactPayload)
{
    dev->answer = [](const Bytes& c) { return FakeDevice::reply_to(c, {7, 8, 9}); };
    Bytes reply(16, 0xEE);
    ASSERT_TRUE(feature->execute(1, {}, reply, 1));
    Bytes expected(16, 0);
    expected[0] = 7, expected[1] = 8, expected[2] = 9;
    EXPECT_EQ(reply, expected);
    EXPECT_EQ(dev->log().back().kind, 1u);

    Bytes exact(16, 0xEE);
    ASSERT_TRUE(feature->execute_compared(1, {0, 0, 9}, exact, 0, {2}));
    EXPECT_EQ(exact, (Bytes{7, 8, 9}));
    EXPECT_EQ(dev->log().back().positions, (std::vector<unsigned>{2}));
}

TEST_F(FeatureBase, ErrorRepliesBecomeCodes)
{
    Bytes reply;
    dev->answer = [](const Bytes& c) { return Bytes{0x10, 0xFF, 0xFF, c[2], c[3], 0x09, 0}; };
    EXPECT_FALSE(feature->execute(0, {}, reply, 0));
    EXPECT_EQ(last_error().code, 53u);
    EXPECT_EQ(last_error().detail, 9u);

    dev->answer = [](const Bytes& c) { return Bytes{0x10, 0xFF, 0x8F, c[2], c[3], 0x03, 0}; };
    EXPECT_FALSE(feature->execute(0, {}, reply, 0));
    EXPECT_EQ(last_error().code, 11u);

    auto request = chain_request(feature->execute_async(0, {}, 0, {}, {}, 0), "decoding test");
    EXPECT_FALSE(request->wait());
    EXPECT_EQ(last_error().code, 11u);
}

TEST_F(FeatureBase, DeviceGoneFailsWith28AndSendsNothing)
{
    auto orphan = std::make_shared<Feature>(0x1234, 5, std::weak_ptr<IDevice>());
    Bytes reply;
    EXPECT_FALSE(orphan->execute(0, {}, reply, 0));
    EXPECT_EQ(last_error().code, 28u);
    EXPECT_FALSE(orphan->send(0, {}));
    EXPECT_EQ(last_error().code, 28u);
    EXPECT_EQ(orphan->device(), nullptr);
    auto request = orphan->execute_async(0, {}, 0, {}, {}, 0);
    ASSERT_TRUE(request->is_complete());
    EXPECT_FALSE(request->wait());
    EXPECT_EQ(last_error().code, 28u);
}

struct ReportLog : Subscriber<IFeature::FeatureReport> {
    std::vector<std::string>* order = nullptr;
    void onFeatureReport(int function, const std::vector<Byte>& payload) override
    {
        order->push_back("subscriber " + std::to_string(function) + " " + std::to_string(payload.size()));
    }
    void onUnexpectedResponse(unsigned function, unsigned softwareId, const std::vector<Byte>&) override
    {
        order->push_back("unexpected " + std::to_string(function) + " " + std::to_string(softwareId));
    }
};

struct HookedFeature : Feature {
    HookedFeature(std::weak_ptr<IDevice> d) : Feature(0x4242, 2, std::move(d)) {}
    std::vector<std::string> order;
    bool reapply_result = true;
    bool defer_in_hook = false;
    bool defer_result = true;
    void on_notification(int function, const std::vector<Byte>&) override
    {
        order.push_back("hook " + std::to_string(function));
    }
    void on_unexpected_response(unsigned function, unsigned, const std::vector<Byte>&) override
    {
        order.push_back("hook unexpected " + std::to_string(function));
    }
    bool on_reapply() override
    {
        if (defer_in_hook)
            defer_result = defer_setting_change();
        return reapply_result;
    }
};

TEST_F(FeatureBase, NotificationsReachSubscribersBeforeTheDecoder)
{
    auto hooked = std::make_shared<HookedFeature>(dev);
    ReportLog log;
    log.order = &hooked->order;
    ASSERT_TRUE(log.subscribe(std::static_pointer_cast<IFeature>(hooked), 1, "test"));
    hooked->onFeatureReport(3, {1, 2, 3});
    hooked->onUnexpectedResponse(1, 7, {0, 0, 0});
    EXPECT_EQ(hooked->order, (std::vector<std::string>{"subscriber 3 3", "hook 3", "unexpected 1 7",
                                                        "hook unexpected 1"}));
}

TEST_F(FeatureBase, SettingChangeAndReapplyBookkeeping)
{
    auto hooked = std::make_shared<HookedFeature>(dev);
    EXPECT_TRUE(hooked->begin_setting_change());
    EXPECT_TRUE(hooked->setting_change_begun());
    hooked->clear_state_flag();
    EXPECT_FALSE(hooked->setting_change_begun());

    EXPECT_TRUE(hooked->defer_setting_change());
    EXPECT_TRUE(hooked->reapply_pending());

    // A hook that fails and tries to defer again: stays pending, the deferral is refused with 66.
    hooked->reapply_result = false;
    hooked->defer_in_hook = true;
    EXPECT_FALSE(hooked->reapply());
    EXPECT_FALSE(hooked->defer_result);
    EXPECT_EQ(last_error().code, 66u);
    EXPECT_TRUE(hooked->reapply_pending());

    hooked->reapply_result = true;
    hooked->defer_in_hook = false;
    EXPECT_TRUE(hooked->reapply());
    EXPECT_FALSE(hooked->reapply_pending());
}

} // namespace
