#include "CoreTestSupport.h"

#include "core/DataRequest.h"
#include "core/DeviceRequest.h"
#include "core/Request.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <thread>

using namespace devio;
using namespace devio::test;

namespace {

// A request completed by hand.
std::shared_ptr<Request> manual(const char* name = "manual")
{
    return std::make_shared<Request>(nullptr, RequestOwner{}, RequestContinuation{}, name);
}

const ErrorRecord k_ok{};

} // namespace

// ---- plain requests ----------------------------------------------------------------------

TEST(CoreRequest, ContinuationOnCompletedSourceRunsInsideThen)
{
    auto owner = std::make_shared<int>(0);
    auto source = manual();
    source->complete(ErrorRecord{46, "busy", 2});
    bool ran = false;
    auto next = source->then(owner, [&](bool ok) {
        ran = true;
        EXPECT_FALSE(ok);
        EXPECT_EQ(last_error().code, 46u); // continuation starts with the source's result
        EXPECT_EQ(last_error().detail, 2u);
        return make_immediate_success();
    }, "c");
    EXPECT_TRUE(ran);
    EXPECT_TRUE(next->is_complete());
    EXPECT_TRUE(next->wait());
}

TEST(CoreRequest, ChainOfThreeCompletesInOnePass)
{
    auto owner = std::make_shared<int>(0);
    auto source = manual();
    int calls = 0;
    auto step = [&](bool ok) { ++calls; EXPECT_TRUE(ok); return make_immediate_success(); };
    auto r1 = source->then(owner, step, "1");
    auto r2 = r1->then(owner, step, "2");
    auto r3 = r2->then(owner, step, "3");
    EXPECT_FALSE(r3->is_complete());
    source->complete(k_ok);
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(r3->is_complete());
    EXPECT_TRUE(r3->wait());
}

TEST(CoreRequest, OwnerRulesAndSecondContinuation)
{
    auto source = manual();
    auto owner = std::make_shared<int>(0);
    bool ran = false;
    auto next = source->then(owner, [&](bool) { ran = true; return make_immediate_success(); }, "c");
    auto second = source->then(owner, [&](bool) { return make_immediate_success(); }, "again");
    EXPECT_FALSE(second->wait());
    EXPECT_EQ(last_error().code, 83u);

    owner.reset();
    source->complete(k_ok);
    EXPECT_FALSE(ran);
    EXPECT_FALSE(next->wait());
    EXPECT_EQ(last_error().code, 84u);

    // No owner given at all behaves like an expired one.
    auto s2 = manual();
    auto n2 = s2->then(RequestOwner{}, [](bool) { return make_immediate_success(); }, "no owner");
    s2->complete(k_ok);
    EXPECT_FALSE(n2->wait());
    EXPECT_EQ(last_error().code, 84u);
}

TEST(CoreRequest, FailureOfTheNextRequestIsTheResult)
{
    auto owner = std::make_shared<int>(0);
    auto source = manual();
    auto next = source->then(owner, [](bool) { return make_immediate_result(30, "absent", 4); }, "c");
    source->complete(k_ok);
    EXPECT_FALSE(next->wait());
    EXPECT_EQ(last_error().code, 30u);
    EXPECT_STREQ(last_error().text, "absent");
    EXPECT_EQ(last_error().detail, 4u);
}

TEST(CoreRequest, MisuseRaises)
{
    Request unowned(nullptr, RequestOwner{}, RequestContinuation{}, "stack");
    EXPECT_THROW(unowned.then(RequestOwner{}, [](bool) { return make_immediate_success(); }, "x"),
                 std::bad_weak_ptr);
    EXPECT_THROW(make_immediate_success()->then(RequestOwner{}, RequestContinuation{}, "x"), std::bad_function_call);
}

TEST(CoreRequest, ContinuationReturningIncompleteRequestWaitsForIt)
{
    auto owner = std::make_shared<int>(0);
    auto source = manual();
    auto inner = manual("inner");
    auto next = source->then(owner, [&](bool) -> std::shared_ptr<IRequest> { return inner; }, "c");
    source->complete(k_ok);
    EXPECT_FALSE(next->is_complete());
    inner->complete(ErrorRecord{5, nullptr, 0});
    EXPECT_TRUE(next->is_complete());
    EXPECT_FALSE(next->wait());
    EXPECT_EQ(last_error().code, 5u);
}

TEST(CoreRequest, ThenAndCompletionOnTwoThreadsRunTheContinuationOnce)
{
    auto owner = std::make_shared<int>(0);
    for (int round = 0; round < 500; ++round) {
        auto source = manual();
        auto inner = manual("inner");
        std::atomic<int> calls{0};
        std::atomic<bool> go{false};
        std::thread completer([&] {
            while (!go) {
            }
            source->complete(k_ok);
            inner->complete(k_ok);
        });
        go = true;
        auto next = source->then(owner, [&](bool ok) -> std::shared_ptr<IRequest> {
            ++calls;
            EXPECT_TRUE(ok);
            return inner;
        }, "c");
        completer.join();
        EXPECT_TRUE(next->wait());
        EXPECT_EQ(calls.load(), 1);
    }
}

// ---- data requests -----------------------------------------------------------------------

TEST(CoreDataRequest, ImmediateForms)
{
    set_last_error(9, 1, nullptr);
    auto ok = make_data_success<std::string>("name");
    std::string out;
    EXPECT_TRUE(ok->get(out));
    EXPECT_EQ(out, "name");
    EXPECT_EQ(last_error().code, 9u); // untouched
    int seen = 0;
    ok->then(RequestOwner{}, [&](std::string* v) { seen += v != nullptr; return make_immediate_success(); }, "1");
    EXPECT_FALSE(ok->then(RequestOwner{}, [&](std::string*) { ++seen; return make_immediate_success(); }, "2")->wait());
    EXPECT_EQ(last_error().code, 83u);
    EXPECT_EQ(seen, 1);

    auto failed = make_data_failure<std::string>(28, nullptr, 0);
    int nulls = 0;
    for (int i = 0; i < 2; ++i)
        failed->then(RequestOwner{}, [&](std::string* v) { nulls += v == nullptr; return make_immediate_success(); }, "n");
    EXPECT_EQ(nulls, 2);
    EXPECT_FALSE(failed->get(out));
    EXPECT_EQ(last_error().code, 28u);
    EXPECT_EQ(failed->value(), "");

    set_last_error(0, 0, nullptr);
    EXPECT_FALSE(make_data_failure_from_error<int>()->get(seen));
    EXPECT_EQ(last_error().code, 1u);
}

TEST(CoreDataRequest, ValueComesThroughTargetBeforeCompletion)
{
    auto owner = std::make_shared<int>(0);
    auto outerSource = manual("outer");
    auto innerSource = manual("inner");
    auto inner = DataRequest<int, IRequest, bool>::create(
        innerSource, owner, [](bool ok) { return ok ? make_data_success(42) : make_data_failure_from_error<int>(); },
        "decoding inner");
    auto outer = DataRequest<int, IRequest, bool>::create(
        outerSource, owner, [&](bool) -> std::shared_ptr<IDataRequest<int>> { return inner; }, "decoding outer");
    int later = -1;
    auto after = outer->then(owner, [&](int* v) { later = v ? *v : -2; return make_immediate_success(); }, "after");
    outerSource->complete(k_ok);
    EXPECT_FALSE(outer->request()->is_complete());
    innerSource->complete(k_ok);
    EXPECT_EQ(later, 42); // set before the chain's continuation ran
    int v = 0;
    EXPECT_TRUE(outer->get(v));
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(after->wait());
}

TEST(CoreDataRequest, FailedSourcePassesItsRecord)
{
    auto owner = std::make_shared<int>(0);
    auto source = manual();
    auto dr = DataRequest<int, IRequest, bool>::create(
        source, owner, [](bool ok) { return ok ? make_data_success(1) : make_data_failure_from_error<int>(); }, "d");
    source->complete(ErrorRecord{47, "t", 3});
    int v = 0;
    EXPECT_FALSE(dr->get(v));
    EXPECT_EQ(last_error().code, 47u);
    EXPECT_EQ(last_error().detail, 3u);
}

TEST(CoreDataRequest, InnerValueRacingTheTargetLinkIsNotLost)
{
    auto owner = std::make_shared<int>(0);
    for (int round = 0; round < 300; ++round) {
        auto outerSource = manual("outer");
        auto innerSource = manual("inner");
        auto inner = DataRequest<int, IRequest, bool>::create(
            innerSource, owner, [round](bool) { return make_data_success(round + 1); }, "inner");
        auto outer = DataRequest<int, IRequest, bool>::create(
            outerSource, owner, [&](bool) -> std::shared_ptr<IDataRequest<int>> { return inner; }, "outer");
        std::atomic<bool> go{false};
        std::thread a([&] { while (!go) {} outerSource->complete(k_ok); });
        std::thread b([&] { while (!go) {} innerSource->complete(k_ok); });
        go = true;
        a.join();
        b.join();
        int v = 0;
        ASSERT_TRUE(outer->get(v)) << "round " << round;
        EXPECT_EQ(v, round + 1);
    }
}

struct Base {
    virtual ~Base() = default;
};
struct Wanted : Base {
    static constexpr std::uint32_t FeatureId = 0x1000;
};
struct Other : Base {};

struct FakeFeatureDevice {
    std::shared_ptr<Base> feature;
    std::uint32_t asked = 0;
    std::shared_ptr<IDataRequest<std::shared_ptr<Base>>> getFeature(std::uint32_t id)
    {
        asked = id;
        if (!feature)
            return make_data_failure<std::shared_ptr<Base>>(30, nullptr, 0);
        return make_data_success(feature);
    }
};

TEST(CoreDataRequest, ThenValueAndFeatureLookup)
{
    auto holder = make_data_success<std::shared_ptr<Base>>(std::make_shared<Wanted>());
    std::shared_ptr<Base> got;
    auto owner = std::make_shared<int>(0);
    EXPECT_TRUE(then_value(holder, owner, std::function<void(std::shared_ptr<Base>)>([&](std::shared_ptr<Base> f) {
        got = f;
    }), "take")->wait());
    EXPECT_TRUE(got);
    EXPECT_FALSE(holder->value()); // moved out

    auto device = std::make_shared<FakeFeatureDevice>();
    device->feature = std::make_shared<Wanted>();
    EXPECT_TRUE(getFeatureSync<Wanted>(device));
    EXPECT_EQ(device->asked, 0x1000u);
    device->feature = std::make_shared<Other>();
    EXPECT_FALSE(getFeatureSync<Wanted>(device));
    EXPECT_EQ(last_error().code, 1u);
    EXPECT_STREQ(last_error().text, "cannot cast feature to proper type");
    device->feature.reset();
    EXPECT_FALSE(getFeatureSync<Wanted>(device));
    EXPECT_EQ(last_error().code, 30u);
}

// ---- device requests ---------------------------------------------------------------------

TEST(CoreDeviceRequest, ReplyMatching)
{
    auto host = std::make_shared<FakeRequestHost>();
    auto r = device_request(host, {0x10, 0x01, 0x05, 0x2A, 0x00, 0x00, 0x00});
    EXPECT_TRUE(r->is_response({0x11, 0x01, 0x05, 0x2A, 0x01}));
    EXPECT_FALSE(r->is_response({0x11, 0x02, 0x05, 0x2A, 0x01}));
    EXPECT_FALSE(r->is_response({0x11, 0x01, 0x05, 0x2B, 0x01}));
    EXPECT_TRUE(r->is_response({0x11, 0x01, 0xFF, 0x05, 0x2A, 0x09, 0x00})); // 2.0 error
    EXPECT_FALSE(r->is_response({}));

    // Receiver error with index 0 answers a request to 0xFF.
    auto toReceiver = device_request(host, {0x10, 0xFF, 0x81, 0x02, 0x00, 0x00, 0x00});
    EXPECT_TRUE(toReceiver->is_response({0x10, 0x00, 0x8F, 0x81, 0x02, 0x03, 0x00}));
    EXPECT_FALSE(toReceiver->is_response({0x10, 0x00, 0x8F, 0x81, 0x03, 0x03, 0x00}));

    auto ping = make_ping_request(host, 0x0B, 0x5A);
    auto* p = static_cast<DeviceRequest*>(ping.get());
    EXPECT_EQ(ping->command(), (std::vector<Byte>{0x10, 0xFF, 0x00, 0x1B, 0x00, 0x00, 0x5A}));
    EXPECT_TRUE(p->is_response({0x10, 0xFF, 0x00, 0x1B, 0x04, 0x05, 0x5A}));
    EXPECT_FALSE(p->is_response({0x10, 0xFF, 0x00, 0x1B, 0x04, 0x05, 0x5B}));
    // A short reply counts its missing bytes as 0.
    EXPECT_FALSE(p->is_response({0x10, 0xFF, 0x00, 0x1B}));
}

TEST(CoreDeviceRequest, ResultCheckOfReplies)
{
    auto host = std::make_shared<FakeRequestHost>();
    auto r = device_request(host, {0x10, 0x01, 0x05, 0x2A});
    struct Case {
        std::vector<Byte> reply;
        ErrorCode code;
        std::uint32_t detail;
    } cases[] = {
        {{0x11, 0x01, 0xFF, 0x05, 0x2A, 0x09, 0x00}, 53, 9},
        {{0x11, 0x01, 0xFF, 0x05, 0x2A, 0x0C}, 54, 12},
        {{0x10, 0x01, 0x8F, 0x05, 0x2A, 0x03, 0x00}, 11, 3},
        {{0x10, 0x01, 0x8F, 0x05, 0x2A, 0x0D}, 21, 13},
        {{0x10, 0x01, 0x8F, 0x05}, 8, 0},       // error byte missing: read as 0
        {{0x10, 0x01, 0xFF, 0x05, 0x2A}, 44, 0},
        {{0x10, 0x01, 0x05}, 2, 0},             // too short to judge
    };
    for (const auto& c : cases) {
        r->clear_error();
        r->response() = c.reply;
        EXPECT_FALSE(r->check_response());
        EXPECT_EQ(last_error().code, c.code);
        EXPECT_EQ(last_error().detail, c.detail);
    }
    r->response() = {0x11, 0x01, 0x05, 0x2A, 0x07, 0x08};
    EXPECT_TRUE(r->check_response());
    EXPECT_EQ(r->payload(), (std::vector<Byte>{0x07, 0x08}));
    r->resize_response(3);
    EXPECT_EQ(r->response().size(), 6u);
    r->resize_response(8);
    EXPECT_EQ(r->response().back(), 0);

    // An error reply stored by set_response becomes the result.
    r->set_response({0x11, 0x01, 0xFF, 0x05, 0x2A, 0x05});
    EXPECT_EQ(r->result().code, 49u);
}

TEST(CoreDeviceRequest, NameKindAndSoftwareId)
{
    auto host = std::make_shared<FakeRequestHost>();
    std::vector<Byte> longCommand(40, 0xAB);
    auto r = device_request(host, longCommand);
    EXPECT_EQ(std::string(r->name()).size(), 95u);
    EXPECT_EQ(std::string(device_request(host, {0x10, 0x0F})->name()), "10 0F");
    EXPECT_EQ(std::string(device_request(host, {})->name()), "");
    EXPECT_EQ(DeviceRequest(host, {0x10, 0x01, 0x83, 0x00}, 1, {}).kind(), 0u);
    EXPECT_EQ(DeviceRequest(host, {0x10, 0x01, 0x03, 0x00}, 1, {}).kind(), 1u);
    auto s = device_request(host, {0x10, 0x01, 0x03, 0x2F, 0x01, 0x02});
    s->set_software_id(0x1B);
    EXPECT_EQ(s->command()[3], 0x2B);
    EXPECT_EQ(s->params(), (std::vector<Byte>{0x01, 0x02}));
}

TEST(CoreDeviceRequest, ContinuationOnCompletedRequestAndSecondOne)
{
    auto host = std::make_shared<FakeRequestHost>();
    auto owner = std::make_shared<int>(0);
    auto r = device_request(host, {0x10, 0x01, 0x05, 0x2A});
    host->complete(r, {0x10, 0x01, 0x05, 0x2A, 0x11});
    std::shared_ptr<IDeviceRequest> seen;
    auto next = r->then(owner, [&](std::shared_ptr<IDeviceRequest> d) { seen = d; return make_immediate_success(); }, "c");
    EXPECT_EQ(seen, r);
    EXPECT_TRUE(next->wait());
    EXPECT_FALSE(r->then(owner, [](std::shared_ptr<IDeviceRequest>) { return make_immediate_success(); }, "2")->wait());
    EXPECT_EQ(last_error().code, 83u);

    auto failed = make_device_request_failure(5, nullptr, 0);
    int calls = 0;
    for (int i = 0; i < 2; ++i)
        failed->then(owner, [&](std::shared_ptr<IDeviceRequest> d) {
            ++calls;
            EXPECT_FALSE(d->check_response());
            return make_immediate_failure_from_error();
        }, "f");
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(failed->state(), 2u);
}

TEST(CoreDeviceRequest, WaiterRunsContinuationCompletedOnAnotherThread)
{
    auto host = std::make_shared<FakeRequestHost>();
    auto owner = std::make_shared<int>(0);
    for (int round = 0; round < 100; ++round) {
        auto r = device_request(host, {0x10, 0x01, 0x05, 0x2A});
        std::atomic<int> calls{0};
        auto chained = r->then(owner, [&](std::shared_ptr<IDeviceRequest> d) {
            ++calls;
            return d->check_response() ? make_immediate_success() : make_immediate_failure_from_error();
        }, "c");
        std::thread reader([&] { host->complete(r, {0x11, 0x01, 0x05, 0x2A, 0x01}); });
        EXPECT_TRUE(chained->wait());
        reader.join();
        EXPECT_EQ(calls.load(), 1);
        host->run_continuation(); // nothing left behind
        EXPECT_EQ(host->queued(), 0u);
    }
}

TEST(CoreDeviceRequest, DiscardedContinuationEndsTheChainWith28)
{
    auto host = std::make_shared<FakeRequestHost>();
    auto owner = std::make_shared<int>(0);
    auto r = device_request(host, {0x10, 0x01, 0x05, 0x2A});
    bool ran = false;
    auto chained = r->then(owner, [&](std::shared_ptr<IDeviceRequest>) { ran = true; return make_immediate_success(); }, "c");
    int outerCalls = 0;
    auto outer = chained->then(owner, [&](bool ok) { ++outerCalls; EXPECT_FALSE(ok); return make_immediate_failure_from_error(); }, "o");
    host->complete(r, {0x11, 0x01, 0x05, 0x2A, 0x01});
    host->discard_all();
    EXPECT_FALSE(ran);
    EXPECT_FALSE(outer->wait()); // returns instead of spinning
    EXPECT_EQ(last_error().code, 28u);
    EXPECT_EQ(outerCalls, 1);
    EXPECT_FALSE(r->wait());
    EXPECT_EQ(last_error().code, 28u);
}

TEST(CoreDeviceRequest, ChainEndedWithoutItsContinuationReleasesEverything)
{
    // A typed request over a device request holds the chain that holds its converter: when the
    // continuation is dropped, nothing may keep that circle alive.
    auto host = std::make_shared<FakeRequestHost>();
    auto owner = std::make_shared<int>(0);
    auto r = device_request(host, {0x10, 0x01, 0x05, 0x2A});
    std::weak_ptr<IDeviceRequest> weakSource = r;
    bool converted = false;
    auto typed = DataRequest<int, IDeviceRequest, std::shared_ptr<IDeviceRequest>>::create(
        r, owner, [&](std::shared_ptr<IDeviceRequest>) { converted = true; return make_data_success(1); }, "typed");
    std::weak_ptr<IDataRequest<int>> weakTyped = typed;
    host->complete(r, {0x11, 0x01, 0x05, 0x2A, 0x01});
    r.reset();
    host->discard_all();
    int value = 0;
    EXPECT_FALSE(typed->get(value));
    EXPECT_EQ(last_error().code, 28u);
    EXPECT_FALSE(converted);
    typed.reset();
    EXPECT_TRUE(weakTyped.expired());
    EXPECT_TRUE(weakSource.expired());

    // The same when the device went before the continuation was due.
    auto host2 = std::make_shared<FakeRequestHost>();
    auto r2 = device_request(host2, {0x10, 0x01, 0x05, 0x2A});
    std::weak_ptr<IDeviceRequest> weakSource2 = r2;
    auto typed2 = DataRequest<int, IDeviceRequest, std::shared_ptr<IDeviceRequest>>::create(
        r2, owner, [](std::shared_ptr<IDeviceRequest>) { return make_data_success(2); }, "typed");
    std::weak_ptr<IDataRequest<int>> weakTyped2 = typed2;
    host2.reset();
    r2.reset();
    EXPECT_FALSE(typed2->get(value));
    EXPECT_EQ(last_error().code, 28u);
    typed2.reset();
    EXPECT_TRUE(weakTyped2.expired());
    EXPECT_TRUE(weakSource2.expired());
}

TEST(CoreDeviceRequest, DeviceGoneBeforeCompletionFailsWith28)
{
    auto host = std::make_shared<FakeRequestHost>();
    auto owner = std::make_shared<int>(0);
    auto r = device_request(host, {0x10, 0x01, 0x05, 0x2A});
    auto chained = r->then(owner, [](std::shared_ptr<IDeviceRequest>) { return make_immediate_success(); }, "c");
    host.reset();
    EXPECT_FALSE(r->wait());
    EXPECT_EQ(last_error().code, 28u);
    EXPECT_FALSE(chained->wait());
    EXPECT_EQ(last_error().code, 28u);

    // Completed while the device still existed, continuation due after it went.
    auto host2 = std::make_shared<FakeRequestHost>();
    auto r2 = device_request(host2, {0x10, 0x01, 0x05, 0x2A});
    host2->complete(r2, {0x11, 0x01, 0x05, 0x2A});
    host2.reset();
    auto c2 = r2->then(owner, [](std::shared_ptr<IDeviceRequest>) { return make_immediate_success(); }, "late");
    EXPECT_FALSE(c2->wait());
    EXPECT_EQ(last_error().code, 28u);
}
