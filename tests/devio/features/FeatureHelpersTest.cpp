// The helpers every feature family builds on: readers that stop at the end of a payload, the
// short-reply policies of the synchronous read, the parameter limit, the first-byte merge rule,
// the deferred setting writes and the own-version read through Root.
#include "FakeDevice.h"

#include "features/Feature.h"
#include "features/FeatureHelpers.h"
#include "features/IFeature0000Root.h"

#include <gtest/gtest.h>

#include <thread>

using namespace devio;
using namespace devio::test;

namespace {

using Bytes = std::vector<Byte>;

std::shared_ptr<Feature> plain_feature(const std::shared_ptr<FakeDevice>& dev, std::uint32_t id = 0x7777)
{
    return std::make_shared<Feature>(id, 5, dev);
}

void answer_payload(FakeDevice& dev, Bytes payload)
{
    dev.answer = [payload](const Bytes& c) { return FakeDevice::reply_to(c, payload); };
}

TEST(FeatureReaders, ReadZerosPastTheEndAndWidenSigns)
{
    const Bytes p{0x12, 0x34, 0x56};
    EXPECT_EQ(read_be16(p, 1), 0x3456);
    EXPECT_EQ(read_be16(p, 2), 0x5600);
    EXPECT_EQ(read_be32(p, 0), 0x12345600u);
    EXPECT_EQ(read_le16(p, 0), 0x3412);
    EXPECT_EQ(read_le32(p, 1), 0x00005634u);
    EXPECT_EQ(read_be32(p, 40), 0u);
    EXPECT_EQ(byte_at({}, 0), 0);
    EXPECT_TRUE(bit_at(p, 0, 1));
    EXPECT_FALSE(bit_at(p, 9, 0));

    struct Row {
        std::uint32_t value;
        unsigned bits;
        std::int32_t widened;
    };
    for (const Row& r : {Row{0x80, 8, -128}, Row{0x7F, 8, 127}, Row{0x1FF, 8, -1}, Row{0x2000, 14, -8192},
                         Row{0x3FFF, 14, -1}, Row{0x1FFF, 14, 8191}, Row{0xFF38, 16, -200}, Row{0x00C8, 16, 200},
                         Row{0xFFFFFFFF, 32, -1}}) {
        SCOPED_TRACE(std::to_string(r.value) + " in " + std::to_string(r.bits) + " bits");
        EXPECT_EQ(sign_extend(r.value, r.bits), r.widened);
    }

    Bytes out{9};
    store_le32(out, 2, 0x01020304);
    EXPECT_EQ(out, (Bytes{9, 0, 4, 3, 2, 1}));
}

// Each policy against replies of minimum - 1, minimum, and beyond.
TEST(ReadReply, ShortReplyPolicies)
{
    struct Row {
        const char* name;
        ReplyRule rule;
        std::size_t replyBytes;
        bool ok;
        ErrorCode code;       // after the call (a completed request leaves 0)
        std::size_t outBytes; // on success
    };
    const Row rows[] = {
        {"strict below", ReplyRule::strict(5), 4, false, 2, 0},
        {"strict at", ReplyRule::strict(5), 5, true, 0, 5},
        {"quiet below", ReplyRule::quiet(5), 4, false, 0, 0},
        {"quiet at", ReplyRule::quiet(5), 16, true, 0, 16},
        {"fit below", ReplyRule::fit(5, 9), 4, false, 2, 0},
        {"fit fills", ReplyRule::fit(5, 9), 5, true, 0, 9},
        {"fit cuts", ReplyRule::fit(5, 9), 16, true, 0, 9},
        {"any", ReplyRule::any(), 3, true, 0, 3},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        auto dev = std::make_shared<FakeDevice>();
        Bytes payload(r.replyBytes, 0xAB);
        answer_payload(*dev, payload);
        auto f = plain_feature(dev);
        Bytes reply{1, 2};
        set_last_error(99, 0, nullptr);
        EXPECT_EQ(read_reply(*f, 3, {7}, r.rule, reply), r.ok);
        EXPECT_EQ(last_error().code, r.code);
        if (r.ok) {
            ASSERT_EQ(reply.size(), r.outBytes);
            EXPECT_EQ(reply[0], 0xAB);
            if (r.outBytes > r.replyBytes) {
                EXPECT_EQ(reply.back(), 0);
            }
        } else {
            EXPECT_EQ(reply, (Bytes{1, 2})) << "outputs untouched";
        }
    }
}

TEST(ReadReply, RefusesMoreThanSixteenParameterBytesBeforeSending)
{
    auto dev = std::make_shared<FakeDevice>();
    answer_payload(*dev, {1, 2, 3});
    auto f = plain_feature(dev);
    Bytes reply;
    EXPECT_FALSE(read_reply(*f, 1, Bytes(17, 0), ReplyRule::any(), reply));
    EXPECT_EQ(last_error().code, 46u);
    EXPECT_FALSE(write_request(*f, 1, Bytes(17, 0)));
    EXPECT_EQ(last_error().code, 46u);
    EXPECT_EQ(write_async(*f, 1, Bytes(20, 0), nullptr, "x"), nullptr);
    EXPECT_FALSE(write_and_forget(*f, 1, Bytes(17, 0), nullptr));
    EXPECT_TRUE(dev->log().empty());

    EXPECT_TRUE(write_request(*f, 1, Bytes(16, 0)));
    EXPECT_EQ(dev->log().back().command.size(), 20u);
    // Features of 64-byte reports lift the limit.
    EXPECT_TRUE(read_reply(*f, 1, Bytes(40, 0), ReplyRule::any().wide(), reply));
    EXPECT_EQ(dev->log().back().command.size(), 44u);
}

TEST(FirstByteMerge, ReplacesOnlyTheSameFirstByte)
{
    const auto merge = first_byte_merge();
    EXPECT_TRUE(merge({3, 1}, {3, 9}));
    EXPECT_FALSE(merge({3, 1}, {4, 1}));
    EXPECT_FALSE(merge({}, {3}));
    EXPECT_FALSE(merge({3}, {}));
}

struct Setting {
    Byte key;
    Byte value;
};

// A feature keeping one setting per write; the device refuses while `refusing` (code 5).
struct Deferring {
    std::shared_ptr<FakeDevice> dev = std::make_shared<FakeDevice>();
    std::shared_ptr<Feature> feature = plain_feature(dev);
    PendingSettings<Setting> pending;
    PendingSettings<Setting>::Send send = [this](const Setting& s) { return write_request(*feature, 5, {s.key, s.value}); };

    void refuse(bool on)
    {
        dev->unanswered_code = 5;
        if (on)
            dev->answer = nullptr;
        else
            answer_payload(*dev, {0, 0, 0});
    }
    std::vector<Bytes> writes()
    {
        std::vector<Bytes> out;
        for (const auto& s : dev->log())
            out.push_back(params_of(s.command));
        return out;
    }
};

TEST(PendingSettings, RefusedWritesCountAsDoneAndGoOutOldestFirst)
{
    Deferring d;
    d.refuse(true);
    EXPECT_TRUE(d.pending.write(*d.feature, {1, 10}, d.send));
    EXPECT_EQ(last_error().code, 0u);
    EXPECT_TRUE(d.feature->reapply_pending());
    EXPECT_TRUE(d.pending.write(*d.feature, {1, 11}, d.send));
    EXPECT_EQ(d.pending.records().size(), 2u) << "equal keys are not merged";

    // A failed re-apply keeps every record, the ones it sent included.
    d.dev->clear_log();
    EXPECT_FALSE(d.pending.reapply(*d.feature, d.send));
    EXPECT_EQ(d.pending.records().size(), 2u);

    d.refuse(false);
    d.dev->clear_log();
    EXPECT_TRUE(d.pending.reapply(*d.feature, d.send));
    EXPECT_EQ(d.writes(), (std::vector<Bytes>{{1, 10}, {1, 11}}));
    EXPECT_TRUE(d.pending.records().empty());
}

TEST(PendingSettings, OtherFailuresAppendNothing)
{
    Deferring d;
    d.dev->unanswered_code = 4;
    EXPECT_FALSE(d.pending.write(*d.feature, {1, 10}, d.send));
    EXPECT_EQ(last_error().code, 4u);
    EXPECT_TRUE(d.pending.records().empty());

    // The device gone: code 28, nothing kept.
    auto gone = plain_feature(std::make_shared<FakeDevice>());
    PendingSettings<Setting> pending;
    {
        auto dev = std::make_shared<FakeDevice>();
        gone = plain_feature(dev);
    }
    EXPECT_FALSE(pending.write(*gone, {1, 1}, [&](const Setting&) { return gone->send(0, {}); }));
    EXPECT_EQ(last_error().code, 28u);
    EXPECT_TRUE(pending.records().empty());
}

TEST(PendingSettings, ARefusedDeferralReportsItsCode)
{
    Deferring d;
    d.refuse(true);
    d.dev->pending_result = false;
    set_last_error(0, 0, nullptr);
    EXPECT_FALSE(d.pending.write(*d.feature, {1, 10}, d.send));
    EXPECT_EQ(d.pending.records().size(), 1u) << "the appended record stays";
}

// Writes arriving while a re-apply runs stay for the next one.
TEST(PendingSettings, AReapplyRemovesOnlyWhatItSent)
{
    Deferring d;
    d.refuse(true);
    ASSERT_TRUE(d.pending.write(*d.feature, {1, 1}, d.send));
    bool once = false;
    PendingSettings<Setting>::Send sendAndRace = [&](const Setting& s) {
        if (!once) {
            once = true;
            d.refuse(true);
            EXPECT_TRUE(d.pending.write(*d.feature, {2, 2}, d.send));
            d.refuse(false);
        }
        return write_request(*d.feature, 5, {s.key, s.value});
    };
    d.refuse(false);
    EXPECT_TRUE(d.pending.reapply(*d.feature, sendAndRace));
    ASSERT_EQ(d.pending.records().size(), 1u);
    EXPECT_EQ(d.pending.records()[0].key, 2);
}

// Threads writing while another re-applies: no record is lost or sent twice in one round.
TEST(PendingSettings, WritesRacingAReapply)
{
    Deferring d;
    d.refuse(true);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (Byte i = 0; i < 200; ++i)
            d.pending.write(*d.feature, {i, i}, [](const Setting&) {
                set_last_error(5, 0, nullptr);
                return false;
            });
        stop = true;
    });
    std::size_t sent = 0;
    PendingSettings<Setting>::Send count = [&](const Setting&) {
        ++sent;
        return true;
    };
    while (!stop)
        d.pending.reapply(*d.feature, count);
    writer.join();
    d.pending.reapply(*d.feature, count);
    EXPECT_EQ(sent, 200u);
    EXPECT_TRUE(d.pending.records().empty());
}

TEST(OwnVersion, ReadsOnceThroughRootAndRetriesAfterAFailure)
{
    auto dev = std::make_shared<FakeDevice>();
    auto root = make_feature(0x0000, 0, dev);
    dev->feature_lookup = [root](std::uint32_t id) { return id == 0 ? root : nullptr; };
    auto f = plain_feature(dev, 0x1F20);
    OwnVersion version;

    // Root does not answer: unread, asked again next time.
    EXPECT_EQ(version.read(*f), OwnVersion::kUnread);
    dev->answer = [](const Bytes& c) { return FakeDevice::reply_to(c, {0x09, 0x00, 0x03}); };
    EXPECT_EQ(version.read(*f), 3u);
    EXPECT_EQ(dev->log().back().command, (Bytes{0x10, 0xFF, 0x00, 0x03, 0x1F, 0x20}));
    dev->clear_log();
    EXPECT_EQ(version.read(*f), 3u);
    EXPECT_TRUE(dev->log().empty());

    // No Root: unread.
    auto lonely = std::make_shared<FakeDevice>();
    OwnVersion other;
    EXPECT_EQ(other.read(*plain_feature(lonely)), OwnVersion::kUnread);
}

TEST(SharedOperations, BodiesOnTheWire)
{
    auto dev = std::make_shared<FakeDevice>();
    answer_payload(*dev, {0x04, 0x05, 0x06});
    auto f = plain_feature(dev);
    std::uint32_t count = 0;
    ASSERT_TRUE(shared_ops::get_sensor_count(*f, count));
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(dev->log().back().kind, 1u);
    std::uint32_t c2 = 0;
    ASSERT_TRUE(shared_ops::get_count(*f, &c2, 0));
    EXPECT_EQ(dev->log().back().kind, 0u);
    ASSERT_TRUE(shared_ops::set_three_words(*f, 0x10203, 0x0405, 0xFFFF0607));
    EXPECT_EQ(params_of(dev->log().back().command), (Bytes{0x02, 0x03, 0x04, 0x05, 0x06, 0x07}));
    EXPECT_EQ(function_of(dev->log().back().command), 6u);
    bool enabled = true;
    answer_payload(*dev, {0x02, 0, 0});
    ASSERT_TRUE(shared_ops::get_enabled(*f, enabled));
    EXPECT_FALSE(enabled) << "only 1 reads as enabled";
    // The reset body waits and ignores the outcome.
    dev->answer = nullptr;
    shared_ops::reset_device(*f);
    EXPECT_EQ(last_error().code, 4u);
}

} // namespace
