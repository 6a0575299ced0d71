// Deferred setting writes of every feature that keeps them: a refusal with code 5 counts as
// done, the kept writes go out oldest first at the re-apply, a failed re-apply keeps them all,
// other failures keep nothing, and writes racing a re-apply are neither lost nor doubled.
#include "DeferredWrites.h"

#include "features/Feature.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <map>
#include <mutex>
#include <thread>

namespace devio::test {

std::vector<DeferredCase>& deferred_cases()
{
    static std::vector<DeferredCase> cases;
    return cases;
}

namespace {

using Bytes = std::vector<Byte>;

class DeferredWrites : public ::testing::TestWithParam<DeferredCase> {
protected:
    std::shared_ptr<FakeDevice> dev = std::make_shared<FakeDevice>();
    std::shared_ptr<Feature> feature;

    void SetUp() override
    {
        feature = std::dynamic_pointer_cast<Feature>(make_feature(GetParam().feature, kGoldenIndex, dev));
        ASSERT_TRUE(feature);
        dev->software_id = kGoldenSoftwareId;
    }
    void refuse() // every request fails as while the device cannot take requests
    {
        dev->answer = nullptr;
        dev->unanswered_code = 5;
    }
    void accept()
    {
        dev->answer = [](const Bytes& c) { return FakeDevice::reply_to(c, {0, 0, 0}); };
    }
    std::vector<Bytes> sent()
    {
        std::vector<Bytes> out;
        for (const auto& s : dev->log())
            out.push_back(s.command);
        return out;
    }
};

TEST_P(DeferredWrites, RefusedWritesAreKeptAndReappliedOldestFirst)
{
    const DeferredCase& c = GetParam();
    refuse();
    set_last_error(9, 0, nullptr);
    EXPECT_TRUE(c.write(*feature, 0));
    EXPECT_EQ(last_error().code, 0u);
    EXPECT_TRUE(c.write(*feature, 1));
    EXPECT_TRUE(feature->reapply_pending());

    // A re-apply that fails keeps every write, the ones it sent included.
    dev->unanswered_code = 4;
    dev->clear_log();
    EXPECT_FALSE(feature->reapply());
    EXPECT_EQ(sent().size(), 1u);

    accept();
    dev->clear_log();
    EXPECT_TRUE(feature->reapply());
    EXPECT_EQ(sent(), (std::vector<Bytes>{golden_command(c.wire(0)), golden_command(c.wire(1))}));
    EXPECT_FALSE(feature->reapply_pending());

    dev->clear_log();
    EXPECT_TRUE(feature->reapply());
    EXPECT_TRUE(sent().empty()) << "nothing is kept twice";
}

TEST_P(DeferredWrites, OtherFailuresKeepNothing)
{
    const DeferredCase& c = GetParam();
    dev->unanswered_code = 4;
    EXPECT_FALSE(c.write(*feature, 0));
    EXPECT_EQ(last_error().code, 4u);
    accept();
    dev->clear_log();
    EXPECT_TRUE(feature->reapply());
    EXPECT_TRUE(sent().empty());

    // The device gone: code 28, nothing kept (a kept write would fail the re-apply with 28).
    dev.reset();
    EXPECT_FALSE(c.write(*feature, 1));
    EXPECT_EQ(last_error().code, 28u);
    EXPECT_TRUE(feature->reapply());
}

TEST_P(DeferredWrites, AWriteSucceedsAtOnceWhenTheDeviceTakesIt)
{
    const DeferredCase& c = GetParam();
    accept();
    EXPECT_TRUE(c.write(*feature, 2));
    EXPECT_EQ(sent().back(), golden_command(c.wire(2)));
    EXPECT_FALSE(feature->reapply_pending());
}

// One thread writes while another re-applies; the device refuses each write the first time it
// sees it and takes it afterwards. Every write reaches the device exactly once.
TEST_P(DeferredWrites, WritesRacingAReapply)
{
    const DeferredCase& c = GetParam();
    auto mutex = std::make_shared<std::mutex>();
    auto seen = std::make_shared<std::map<Bytes, int>>();
    dev->unanswered_code = 5;
    dev->answer = [mutex, seen](const Bytes& command) -> std::optional<Bytes> {
        std::lock_guard<std::mutex> lock(*mutex);
        if ((*seen)[command]++ == 0)
            return std::nullopt;
        return FakeDevice::reply_to(command, {0, 0, 0});
    };
    const int kWrites = c.distinct > 0 && c.distinct < 40 ? c.distinct : 40;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int n = 0; n < kWrites; ++n)
            c.write(*feature, n); // false (66) while a re-apply runs; the write is still kept
        done = true;
    });
    while (!done)
        feature->reapply();
    writer.join();
    feature->reapply();
    std::lock_guard<std::mutex> lock(*mutex);
    for (int n = 0; n < kWrites; ++n) {
        SCOPED_TRACE("write " + std::to_string(n));
        EXPECT_EQ((*seen)[golden_command(c.wire(n))], 2) << "refused once, then taken once";
    }
}

std::string case_name(const ::testing::TestParamInfo<DeferredCase>& info)
{
    std::string name;
    for (char ch : info.param.name)
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(DeferredWrites);
INSTANTIATE_TEST_SUITE_P(Features, DeferredWrites, ::testing::ValuesIn(deferred_cases()), case_name);

} // namespace
} // namespace devio::test
