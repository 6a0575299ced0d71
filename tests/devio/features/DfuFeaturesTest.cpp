#include "FakeDevice.h"

#include "core/Subscriber.h"
#include "core/Timing.h"
#include "features/Feature.h"
#include "features/FeatureRegistry.h"
#include "features/IFeature00c0DFUControl.h"
#include "features/IFeature00c1DFUControl.h"
#include "features/IFeature00c2DFUControl.h"
#include "features/IFeature00d0DFU.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace devio;
using devio::test::FakeDevice;
using devio::test::function_of;
using devio::test::make;
using devio::test::params_of;

namespace {

using Bytes = std::vector<Byte>;

TEST(DfuControlFeatures, StateBytesAndC2FailuresAsCode1)
{
    auto dev = std::make_shared<FakeDevice>();
    dev->answer = [](const Bytes& c) { return FakeDevice::reply_to(c, {0x00, 0x05, 0x03}); };

    auto c1 = make<IFeature00c1DFUControl>(0x00C1, dev);
    std::uint32_t state1 = 0;
    ASSERT_TRUE(c1->GetDfuControl(&state1));
    EXPECT_EQ(state1, 5u);

    auto c2 = make<IFeature00c2DFUControl>(0x00C2, dev);
    ASSERT_TRUE(c2->SetDfuControl(1, 0));
    EXPECT_TRUE(dev->log().back().written); // written, no reply awaited
    EXPECT_EQ(params_of(dev->log().back().command), (Bytes{1, 0, 0, 0, 0x44, 0x46, 0x55}));
    std::uint8_t state2 = 0;
    ASSERT_TRUE(c2->GetDfuControl(&state2));
    EXPECT_EQ(state2, 1);
    dev->answer = [](const Bytes& c) { return FakeDevice::reply_to(c, {0x00, 0x00, 0x02}); };
    ASSERT_TRUE(c2->GetDfuControl(&state2));
    EXPECT_EQ(state2, 0);

    // 0x00C2 reports its failures as code 1.
    dev->answer = [](const Bytes&) { return std::nullopt; };
    EXPECT_FALSE(c2->GetDfuControl(&state2));
    EXPECT_EQ(last_error().code, 1u);
    dev->write_ok = false;
    EXPECT_FALSE(c2->SetDfuControl(1, 0));
    EXPECT_EQ(last_error().code, 1u);
}

struct CookieLog : Subscriber<IFeature00c0DFUControl::ConfigReport> {
    std::vector<std::pair<std::uint32_t, std::uint16_t>> seen;
    std::shared_ptr<IFeature00c0DFUControl> leave_from;
    void onCookieSet(std::uint32_t softwareId, std::uint16_t value) override
    {
        seen.emplace_back(softwareId, value);
        if (leave_from)
            unsubscribe(leave_from); // leaving during the call must not disturb the others
    }
};

TEST(DfuControlFeatures, C0ForeignReplyReachesDirectSubscribersOnly)
{
    auto dev = std::make_shared<FakeDevice>();
    auto c0 = make<IFeature00c0DFUControl>(0x00C0, dev);
    CookieLog a, b;
    a.leave_from = c0;
    ASSERT_TRUE(a.subscribe(c0, 1, "test"));
    ASSERT_TRUE(b.subscribe(c0, 1, "test"));
    auto base = std::dynamic_pointer_cast<Feature>(c0);
    base->onUnexpectedResponse(1, 2, {0x01, 0x02, 0x00});
    base->onUnexpectedResponse(0, 2, {0x01, 0x02, 0x00});
    base->onUnexpectedResponse(1, 4, {0x00, 0x09, 0x00});
    EXPECT_EQ(a.seen, (std::vector<std::pair<std::uint32_t, std::uint16_t>>{{2, 0x0102}}));
    EXPECT_EQ(b.seen, (std::vector<std::pair<std::uint32_t, std::uint16_t>>{{2, 0x0102}, {4, 9}}));
}

struct StatusLog : Subscriber<IFeature00d0DFU::Report> {
    std::vector<std::uint32_t> packets;
    std::vector<Bytes> payloads;
    void onDfuStatus(std::uint32_t packet, std::vector<Byte> payload) override
    {
        packets.push_back(packet);
        payloads.push_back(std::move(payload));
    }
};

TEST(DfuFeature, PacketFunctionsWrapAndStatusIsPublished)
{
    auto dev = std::make_shared<FakeDevice>();
    auto dfu = make<IFeature00d0DFU>(0x00D0, dev);
    StatusLog log;
    ASSERT_TRUE(log.subscribe(dfu, 1, "test"));
    dev->answer = [](const Bytes& c) {
        Bytes status(16, 0);
        status[3] = 1;
        return FakeDevice::reply_to(c, status);
    };
    const Bytes packet(16, 0x5A);
    for (std::uint32_t n : {0u, 1u, 2u, 3u, 4u, 0xFFFFFFFFu})
        ASSERT_TRUE(dfu->DfuCmdData(n, packet));
    std::vector<unsigned> functions;
    for (const auto& sent : dev->log()) {
        functions.push_back(function_of(sent.command));
        EXPECT_EQ(sent.command.size(), 20u);
    }
    EXPECT_EQ(functions, (std::vector<unsigned>{1, 2, 3, 0, 1, 0}));
    EXPECT_EQ(log.packets, (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 0}));

    dev->answer = [](const Bytes&) { return std::nullopt; };
    EXPECT_FALSE(dfu->DfuCmdData(5, packet));
    EXPECT_EQ(log.packets.size(), 6u);

    // Notifications: the record's packet number, whatever the event number.
    Bytes record{0x00, 0x00, 0x01, 0x02, 0x01};
    record.resize(16, 0);
    auto base = std::dynamic_pointer_cast<Feature>(dfu);
    base->onFeatureReport(7, record);
    EXPECT_EQ(log.packets.back(), 0x102u);
    EXPECT_EQ(log.payloads.back(), record);
    base->onFeatureReport(0, {0, 0, 1});
    EXPECT_EQ(log.packets.size(), 7u);
    EXPECT_EQ(last_error().code, 2u);
}

TEST(DfuFeature, StartReadsTheStatusOnlyFromAWholeRecord)
{
    auto dev = std::make_shared<FakeDevice>();
    auto dfu = make<IFeature00d0DFU>(0x00D0, dev);
    dev->answer = [](const Bytes& c) { return FakeDevice::reply_to(c, {0, 0, 0, 1, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}); };
    std::uint32_t status = 99;
    ASSERT_TRUE(dfu->DfuStart(Bytes(16, 0x11), &status, nullptr));
    EXPECT_EQ(status, 2u);
    EXPECT_EQ(function_of(dev->log().back().command), 4u);

    // A short report carries only 3 payload bytes: no status byte to read.
    dev->answer = [](const Bytes& c) { return FakeDevice::reply_to(c, {0, 0, 0}); };
    status = 99;
    Bytes reply{0xEE};
    EXPECT_FALSE(dfu->DfuStart(Bytes(16, 0x11), &status, &reply));
    EXPECT_EQ(last_error().code, 2u);
    EXPECT_EQ(status, 99u);
    EXPECT_EQ(reply, Bytes{0xEE});
}

TEST(DfuFeature, RestartWaitsASecondAfterItsWriteEvenWhenItFails)
{
    Timing::setScale(1, 20); // 1000 ms becomes 50 ms
    auto dev = std::make_shared<FakeDevice>();
    auto dfu = make<IFeature00d0DFU>(0x00D0, dev);
    dev->write_ok = false;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(dfu->Restart(0x03));
    EXPECT_GE(std::chrono::steady_clock::now() - start, Timing::scaledDuration(1000));
    EXPECT_TRUE(dev->log().back().written);
    EXPECT_EQ(dev->log().back().command, (Bytes{0x10, 0xFF, 9, 0x53, 0x03}));
    Timing::reset();
}

} // namespace
