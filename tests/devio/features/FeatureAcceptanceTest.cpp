// Cases the other feature suites leave open: features never keep their device alive, the reply
// check's full byte-3 comparison, failures inside the firmware walks, the friendly name's chunk
// stepping, and 0x00C0's own delivery to direct subscribers under concurrent subscription.
#include "FakeDevice.h"

#include "core/DataRequest.h"
#include "core/IRunLoopManager.h"
#include "core/Subscriber.h"
#include "features/Feature00c0DFUControl.h"
#include "features/FeatureRegistry.h"
#include "features/IFeature0000Root.h"
#include "features/IFeature0003FirmwareInfo.h"
#include "features/IFeature0005DeviceNameType.h"
#include "features/IFeature0007DeviceFriendlyName.h"
#include "features/IFeature0020ConfigChange.h"
#include "features/IFeature00d0DFU.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

using namespace devio;
using devio::test::FakeDevice;
using devio::test::function_of;
using devio::test::make;
using devio::test::params_of;

namespace {

using Bytes = std::vector<Byte>;
using namespace std::chrono_literals;

// Waits for `done` with a generous deadline; a hang here is a deadlock, which no later step
// could recover from, so the program ends with the failure.
void join_or_die(std::vector<std::thread>& threads, std::atomic<int>& finished, const char* what)
{
    const auto until = std::chrono::steady_clock::now() + 20s;
    while (finished.load() < static_cast<int>(threads.size())) {
        if (std::chrono::steady_clock::now() > until) {
            std::fprintf(stderr, "deadlock: %s\n", what);
            std::fflush(stderr);
            std::_Exit(1);
        }
        std::this_thread::yield();
    }
    for (auto& t : threads)
        t.join();
}

// Read when the tests start, before anything asked the registry for a feature: the classes
// must already be in the map, however the archive was linked.
int g_missing_at_start = -1;

class RegistryAtStart : public ::testing::Environment {
public:
    void SetUp() override
    {
        std::lock_guard<std::recursive_mutex> lock(FeatureRegistry::mutex());
        const auto& map = FeatureRegistry::instance();
        g_missing_at_start = 0;
        for (std::int32_t id : {0x0000, 0x0001, 0x0003, 0x0005, 0x0007, 0x0008, 0x0020, 0x0021, 0x00C0, 0x00C1,
                                0x00C2, 0x00D0, 0x1000, 0x1D4B}) {
            auto it = map.find(id);
            if (it == map.end() || !it->second)
                ++g_missing_at_start;
        }
    }
};
[[maybe_unused]] ::testing::Environment* const g_registry_at_start =
    ::testing::AddGlobalTestEnvironment(new RegistryAtStart);

TEST(FeatureRegistryAtStart, EveryCoreClassIsRegisteredBeforeFirstUse)
{
    EXPECT_EQ(g_missing_at_start, 0);
}

TEST(FeatureOwnership, NoRegisteredClassKeepsItsDeviceAlive)
{
    for (const auto& entry : FeatureRegistry::registered()) {
        const auto id = static_cast<std::uint32_t>(entry.first);
        auto dev = std::make_shared<FakeDevice>();
        std::weak_ptr<FakeDevice> watch = dev;
        auto feature = make_feature(id, 4, dev);
        dev.reset();
        EXPECT_TRUE(watch.expired()) << std::hex << id;
        EXPECT_FALSE(feature->send(0, {})) << std::hex << id;
        EXPECT_EQ(last_error().code, 28u) << std::hex << id;
    }
}

TEST(FeatureBaseReplyCheck, FunctionAboveFifteenNeverMatchesItsTruncatedByte)
{
    auto dev = std::make_shared<FakeDevice>();
    auto feature = std::make_shared<Feature>(0x4321, 5, dev);
    // The device echoes byte 3 as written: function 16 travels as function 0.
    dev->answer = [](const Bytes& c) { return FakeDevice::reply_to(c, {1, 2, 3}); };
    Bytes reply;
    ASSERT_TRUE(feature->execute(0, {}, reply, 0));
    EXPECT_FALSE(feature->execute(16, {}, reply, 0));
    EXPECT_EQ(last_error().code, 1u);
    EXPECT_STREQ(last_error().text, "response does not match command");
}

TEST(RootPingRequest, NewerPingReplacesAQueuedOneWithTheSameLowNibble)
{
    auto dev = std::make_shared<FakeDevice>();
    auto root = make<IFeature0000Root>(0x0000, dev, 6);
    root->PingRequest(0x13);
    const auto merge = dev->log().back().merge_rule;
    ASSERT_TRUE(merge);
    EXPECT_EQ(dev->log().back().command, (Bytes{0x10, 0xFF, 0x06, 0x13, 0x00, 0x00, 0x13}));
    EXPECT_TRUE(merge({0, 0, 0x13}, {0, 0, 0x23}));
    EXPECT_FALSE(merge({0, 0, 0x13}, {0, 0, 0x14}));
    EXPECT_FALSE(merge({0, 0}, {0, 0, 0x13}));
}

TEST(FeatureBaseReplyCheck, SettingChangeMarksOnceWhateverTheDeviceAnswered)
{
    auto dev = std::make_shared<FakeDevice>();
    auto feature = std::make_shared<Feature>(0x4321, 5, dev);
    dev->configured_result = false;
    EXPECT_FALSE(feature->begin_setting_change());
    EXPECT_TRUE(feature->setting_change_begun());
    EXPECT_TRUE(feature->begin_setting_change()); // already marked: the device is not asked again

    auto orphan = std::make_shared<Feature>(0x4321, 5, std::weak_ptr<IDevice>());
    EXPECT_FALSE(orphan->begin_setting_change());
    EXPECT_EQ(last_error().code, 28u);
    EXPECT_FALSE(orphan->setting_change_begun());
    EXPECT_FALSE(orphan->defer_setting_change());
    EXPECT_FALSE(orphan->reapply_pending());
}

// Entities (type, name, number, build, flags); entities listed in `failing` get no reply.
struct Entity {
    Byte type;
    const char* name;
    std::uint16_t number;
    std::uint16_t build;
    Byte flags;
};

void answer_firmware(FakeDevice& dev, std::vector<Entity> entities, std::vector<unsigned> failing = {})
{
    dev.answer = [entities, failing](const Bytes& c) -> std::optional<Bytes> {
        if (function_of(c) == 0)
            return FakeDevice::reply_to(c, {Byte(entities.size()), 0, 0, 0, 0x2A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        for (unsigned f : failing)
            if (c[4] == f)
                return std::nullopt;
        const auto& e = entities.at(c[4] % entities.size());
        return FakeDevice::reply_to(c, {e.type, Byte(e.name[0]), Byte(e.name[1]), Byte(e.name[2]),
                                        Byte(e.number >> 8), Byte(e.number), Byte(e.build >> 8), Byte(e.build),
                                        e.flags, 9, 9, 9, 9, 9, 9, 9});
    };
}

TEST(FirmwareInfoWalks, FailedEntitiesAndNoMatch)
{
    auto dev = std::make_shared<FakeDevice>();
    auto fw = make<IFeature0003FirmwareInfo>(0x0003, dev, 6);
    std::dynamic_pointer_cast<Feature>(fw)->set_discovered(false, false, false, 1);
    answer_firmware(*dev, {{0, "ABC", 1, 2, 0}, {0, "DEF", 3, 4, 0}, {1, "XYZ", 5, 6, 1}}, {1});

    // The blocking walk skips an entity that does not answer.
    std::uint32_t entity = 9;
    EXPECT_EQ(fw->GetFwInfoString(nullptr, nullptr, &entity), "1XYZ000500060000002A");
    EXPECT_EQ(entity, 2u);
    // The chained walk ends with the failed step's error.
    IFeature0003FirmwareInfo::GetFwInfoStringResponse info;
    EXPECT_FALSE(fw->GetFwInfoString()->get(info));
    EXPECT_EQ(last_error().code, 4u);
    // A failed entity ends the formatted-version search.
    std::string text = "kept";
    EXPECT_FALSE(fw->GetFwFormattedVersionByKind(1, &text, nullptr, nullptr, nullptr));
    EXPECT_EQ(text, "kept");

    // No entity of the asked type: false, with the last entity's values written.
    answer_firmware(*dev, {{0, "ABC", 1, 2, 0}, {1, "XYZ", 5, 6, 1}});
    std::string name;
    std::uint16_t number = 0;
    EXPECT_FALSE(fw->GetFwInfoByType(7, &name, &number, nullptr, nullptr, nullptr));
    EXPECT_EQ(name, "XYZ");
    EXPECT_EQ(number, 5);

    // The chained formatted version fails without a type-0 entity, always with a code.
    answer_firmware(*dev, {{1, "BOT", 1, 2, 0}});
    set_last_error(0, 0, nullptr);
    IFeature0003FirmwareInfo::GetFwFormattedVersionResponse dotted;
    EXPECT_FALSE(fw->GetFwFormattedVersion()->get(dotted));
    EXPECT_NE(last_error().code, 0u);
}

TEST(FirmwareInfoWalks, NonDecimalVersionsAreNormalisedOnlyInTheDottedText)
{
    auto dev = std::make_shared<FakeDevice>();
    auto fw = make<IFeature0003FirmwareInfo>(0x0003, dev, 6);
    answer_firmware(*dev, {{0, "MPK", 0x00FF, 0xFFFF, 1}});
    std::string text;
    std::uint16_t build = 0, number = 0;
    ASSERT_TRUE(fw->GetFwFormattedVersionByKind(0, &text, &build, &number, nullptr));
    EXPECT_EQ(text, "2.55.9999");
    EXPECT_EQ(number, 0x0255);
    EXPECT_EQ(build, 0x9999);
    // The information text prints the numbers as received.
    EXPECT_EQ(fw->GetFwInfoString(nullptr, nullptr, nullptr), "0MPK00FFFFFF");
}

TEST(DeviceNameAcceptance, EmptyNameIsKeptWithoutChunks)
{
    auto dev = std::make_shared<FakeDevice>();
    auto names = make<IFeature0005DeviceNameType>(0x0005, dev, 6);
    dev->answer = [](const Bytes& c) { return FakeDevice::reply_to(c, {0, 0, 0}); };
    std::string name = "stale";
    ASSERT_TRUE(names->GetName(&name));
    EXPECT_EQ(name, "");
    ASSERT_EQ(dev->log().size(), 1u);
    EXPECT_EQ(function_of(dev->log()[0].command), 0u);
    ASSERT_TRUE(names->GetName(&name));
    EXPECT_EQ(dev->log().size(), 1u);
}

TEST(FriendlyNameAcceptance, ChunksStepByFifteenAndStopAtAZeroByte)
{
    auto dev = std::make_shared<FakeDevice>();
    auto friendly = make<IFeature0007DeviceFriendlyName>(0x0007, dev, 6);
    const std::string stored = "Living Room Keyboard"; // 20 bytes
    const std::string fallback = "Default";
    Byte nameLength = 20;
    dev->answer = [&](const Bytes& c) -> std::optional<Bytes> {
        const unsigned f = function_of(c);
        if (f == 0)
            return FakeDevice::reply_to(c, {nameLength, 32, Byte(fallback.size())});
        if (f == 1 || f == 2) {
            const std::string& text = f == 1 ? stored : fallback;
            Bytes p{c[4]};
            for (std::size_t i = c[4]; i < text.size() && p.size() < 16; ++i)
                p.push_back(Byte(text[i]));
            p.resize(16, 0);
            return FakeDevice::reply_to(c, p);
        }
        return FakeDevice::reply_to(c, {0, 0, 0});
    };
    auto positions = [&](unsigned function) {
        std::vector<unsigned> at;
        for (const auto& sent : dev->log())
            if (function_of(sent.command) == function)
                at.push_back(sent.command[4]);
        return at;
    };

    std::string name;
    ASSERT_TRUE(friendly->GetFriendlyName(&name));
    EXPECT_EQ(positions(1), (std::vector<unsigned>{0, 15}));
    ASSERT_EQ(name.size(), 30u); // two whole chunks, fill included
    EXPECT_EQ(name.substr(0, 20), stored);

    dev->clear_log();
    ASSERT_TRUE(friendly->GetDefaultFriendlyName(&name));
    EXPECT_EQ(positions(2), (std::vector<unsigned>{0}));
    EXPECT_EQ(positions(1), (std::vector<unsigned>{}));
    EXPECT_EQ(name.substr(0, 7), fallback);

    // A length beyond the text: the chunk at 30 starts with 0 and ends the read with success.
    nameLength = 40;
    dev->clear_log();
    ASSERT_TRUE(friendly->GetFriendlyName(&name));
    EXPECT_EQ(positions(1), (std::vector<unsigned>{0, 15, 30}));
    EXPECT_EQ(name.size(), 30u);

    nameLength = 0;
    dev->clear_log();
    ASSERT_TRUE(friendly->GetFriendlyName(&name));
    EXPECT_TRUE(name.empty());
    EXPECT_EQ(dev->log().size(), 1u);
}

TEST(FriendlyNameAcceptance, ThreeByteCharacterIsDroppedWhole)
{
    auto dev = std::make_shared<FakeDevice>();
    auto friendly = make<IFeature0007DeviceFriendlyName>(0x0007, dev, 6);
    std::vector<Bytes> written;
    dev->answer = [&](const Bytes& c) -> std::optional<Bytes> {
        if (function_of(c) == 0)
            return FakeDevice::reply_to(c, {0, 4, 0});
        written.push_back(params_of(c));
        return FakeDevice::reply_to(c, {0, 0, 0});
    };
    // "ab" and the euro sign (E2 82 AC): with room for 4 bytes the sign does not fit.
    ASSERT_TRUE(friendly->SetFriendlyName("ab\xE2\x82\xAC"));
    Bytes expected(16, 0);
    expected[1] = 'a', expected[2] = 'b';
    EXPECT_EQ(written, (std::vector<Bytes>{expected}));
}

TEST(DfuAcceptance, StartHandsBackTheWholeRecord)
{
    auto dev = std::make_shared<FakeDevice>();
    auto dfu = make<IFeature00d0DFU>(0x00D0, dev, 6);
    Bytes record{0, 0, 0, 1, 0x02};
    record.resize(16, 0x77);
    dev->answer = [&](const Bytes& c) { return FakeDevice::reply_to(c, record); };
    std::uint32_t status = 0;
    Bytes reply;
    ASSERT_TRUE(dfu->DfuStart(Bytes(16, 0x11), &status, &reply));
    EXPECT_EQ(status, 2u);
    EXPECT_EQ(reply, record);
}

// Counts what producers post for queued subscribers.
struct CountingRunLoop : IRunLoopManager {
    std::atomic<int> posts{0};
    void post(std::function<bool()>, void*, void*, std::string) override { ++posts; }
    void process() override {}
    void flush(void*, void*) override {}
};

struct CookieSeen : Subscriber<IFeature00c0DFUControl::ConfigReport>,
                    Subscriber<IFeature0020ConfigChange::ConfigReport> {
    std::atomic<int> calls{0};
    void onCookieSet(std::uint32_t, std::uint16_t) override { ++calls; }
};

TEST(DfuControlC0, ForeignRepliesSkipQueuedSubscribers)
{
    auto dev = std::make_shared<FakeDevice>();
    auto loop = std::make_shared<CountingRunLoop>();
    auto c0 = make_feature(0x00C0, 6, dev);
    auto config = make_feature(0x0020, 7, dev);
    std::dynamic_pointer_cast<Feature>(c0)->set_run_loop(loop);
    std::dynamic_pointer_cast<Feature>(config)->set_run_loop(loop);

    CookieSeen direct, queued;
    using C0 = Subscriber<IFeature00c0DFUControl::ConfigReport>;
    using Cookie = Subscriber<IFeature0020ConfigChange::ConfigReport>;
    ASSERT_TRUE(static_cast<C0&>(direct).subscribe(std::dynamic_pointer_cast<IFeature00c0DFUControl>(c0), 1, ""));
    ASSERT_TRUE(static_cast<C0&>(queued).subscribe(std::dynamic_pointer_cast<IFeature00c0DFUControl>(c0), 0, ""));
    std::dynamic_pointer_cast<Feature>(c0)->onUnexpectedResponse(1, 2, {0x01, 0x02, 0x00});
    EXPECT_EQ(direct.calls, 1);
    EXPECT_EQ(loop->posts, 0);

    // 0x0020 publishes through its producer: the queued subscriber gets a posted delivery.
    ASSERT_TRUE(
        static_cast<Cookie&>(queued).subscribe(std::dynamic_pointer_cast<IFeature0020ConfigChange>(config), 0, ""));
    std::dynamic_pointer_cast<Feature>(config)->onUnexpectedResponse(1, 2, {0x01, 0x02, 0x00});
    EXPECT_EQ(loop->posts, 1);
}

// Lets a test hold a subscription inside the producer's lock until another thread delivers.
class GatedC0 : public Feature00c0DFUControl {
public:
    GatedC0() : Feature00c0DFUControl(6, std::weak_ptr<IDevice>()) {}
    std::atomic<ConfigReport*> gated{nullptr};
    std::atomic<bool> delivering{false};
    std::atomic<bool> subscribing{false};

protected:
    void on_subscribed(ConfigReport* subscriber, bool direct) override
    {
        if (subscriber == gated.load()) {
            subscribing = true;
            const auto until = std::chrono::steady_clock::now() + 10s;
            while (!delivering && std::chrono::steady_clock::now() < until)
                std::this_thread::yield();
        }
        Feature00c0DFUControl::on_subscribed(subscriber, direct);
    }
};

struct Resubscriber : Subscriber<IFeature00c0DFUControl::ConfigReport> {
    std::shared_ptr<GatedC0> c0;
    Subscriber<IFeature00c0DFUControl::ConfigReport>* newcomer = nullptr;
    std::atomic<int> calls{0};
    void onCookieSet(std::uint32_t, std::uint16_t) override
    {
        ++calls;
        if (!newcomer)
            return;
        c0->delivering = true;
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (!c0->subscribing && std::chrono::steady_clock::now() < until)
            std::this_thread::yield();
        auto* joining = newcomer;
        newcomer = nullptr;
        EXPECT_TRUE(joining->subscribe(std::static_pointer_cast<IFeature00c0DFUControl>(c0), 1, ""));
    }
};

TEST(DfuControlC0, SubscribingFromAHandlerWhileAnotherThreadSubscribes)
{
    auto c0 = std::make_shared<GatedC0>();
    auto asI = std::static_pointer_cast<IFeature00c0DFUControl>(c0);
    Resubscriber handler;
    handler.c0 = c0;
    CookieSeen fromHandler, fromThread;
    using C0 = Subscriber<IFeature00c0DFUControl::ConfigReport>;
    handler.newcomer = &static_cast<C0&>(fromHandler);
    c0->gated = static_cast<IFeature00c0DFUControl::ConfigReport*>(&static_cast<C0&>(fromThread));
    ASSERT_TRUE(handler.subscribe(asI, 1, ""));

    std::atomic<int> finished{0};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        std::dynamic_pointer_cast<Feature>(c0)->onUnexpectedResponse(1, 3, {0x00, 0x05, 0x00});
        ++finished;
    });
    threads.emplace_back([&] {
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (!c0->delivering && std::chrono::steady_clock::now() < until)
            std::this_thread::yield();
        EXPECT_TRUE(static_cast<C0&>(fromThread).subscribe(asI, 1, ""));
        ++finished;
    });
    join_or_die(threads, finished, "0x00C0 delivery against a concurrent subscription");
    EXPECT_EQ(handler.calls, 1);

    // Both newcomers hear the next foreign reply.
    std::dynamic_pointer_cast<Feature>(c0)->onUnexpectedResponse(1, 3, {0x00, 0x06, 0x00});
    EXPECT_EQ(handler.calls, 2);
    EXPECT_EQ(fromHandler.calls, 1);
    EXPECT_EQ(fromThread.calls, 1);
}

TEST(DfuControlC0, DeliveriesAgainstSubscribersComingAndGoing)
{
    auto c0 = make_feature(0x00C0, 6, std::weak_ptr<IDevice>());
    auto asI = std::dynamic_pointer_cast<IFeature00c0DFUControl>(c0);
    auto base = std::dynamic_pointer_cast<Feature>(c0);
    CookieSeen steady;
    using C0 = Subscriber<IFeature00c0DFUControl::ConfigReport>;
    ASSERT_TRUE(static_cast<C0&>(steady).subscribe(asI, 1, ""));

    std::atomic<int> finished{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 300; ++i)
                base->onUnexpectedResponse(1, 1, {0x00, 0x01, 0x00});
            ++finished;
        });
    threads.emplace_back([&] {
        for (int i = 0; i < 300; ++i) {
            CookieSeen passing;
            ASSERT_TRUE(static_cast<C0&>(passing).subscribe(asI, 1, ""));
            // Once unsubscribe returns no delivery may still be calling it.
            static_cast<C0&>(passing).unsubscribe(asI);
        }
        ++finished;
    });
    join_or_die(threads, finished, "0x00C0 deliveries against subscribers coming and going");
    EXPECT_EQ(steady.calls, 600);
}

} // namespace
