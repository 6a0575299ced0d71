// Queue order, the attempt loop's counting, the ends of a device with work still queued,
// the response cache's own writes and the cross-process lock around transmissions.
#include "DeviceTestSupport.h"

#include "core/ErrorRecord.h"
#include "device/DeviceLock.h"
#include "support/Within.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <future>
#include <sstream>
#include <utility>
#include <sys/wait.h>
#include <unistd.h>

using namespace devio;
using namespace devio::test;
using platform::sim::Bytes;

namespace {

// GetCookie with a marker byte the model ignores: tells the queue's order in the log.
Bytes marked(Byte marker) { return {0x10, 0xFF, 0x04, 0x01, marker, 0x00, 0x00}; }

std::vector<Byte> markers(const std::vector<Bytes>& log)
{
    std::vector<Byte> out;
    for (const auto& r : log)
        if (r.size() >= 5 && r[2] == 0x04 && (r[3] >> 4) == 0)
            out.push_back(r[4]);
    return out;
}

} // namespace

TEST(DeviceQueue, FrontSendsServeNewestFirstAndOthersInOrder)
{
    ScaledTiming timing;
    Rig rig;
    ASSERT_TRUE(rig.device->getFeatureSync(0x0020));
    rig.model->set_latency(std::chrono::milliseconds(50));  // the worker is busy with the first
    rig.model->clear_log();
    auto first = rig.device->send(marked(1), 0, {}, nullptr, 0);
    ASSERT_TRUE(rig.model->wait_for_writes(1, 5s));
    auto a = rig.device->send(marked(2), 0, {}, nullptr, 0);
    auto b = rig.device->send(marked(3), 0, {}, nullptr, 0);
    auto c = rig.device->send(marked(4), 0, {}, nullptr, 1);
    auto d = rig.device->send(marked(5), 0, {}, nullptr, 1);
    for (const auto& r : {first, a, b, c, d})
        EXPECT_TRUE(r->wait());
    EXPECT_EQ(markers(rig.model->written()), (std::vector<Byte>{1, 5, 4, 2, 3}));
}

TEST(DeviceQueue, TimeOutsWhileTheDeviceTalksAreAttemptsNotSilence)
{
    ScaledTiming timing(30);  // replies time out after 100 ms
    Rig rig;
    ConnectLog events;
    ASSERT_TRUE(events.subscribe(std::shared_ptr<IDevice>(rig.device), 1, "test"));
    ASSERT_TRUE(rig.device->getFeatureSync(0x0020));
    rig.model->set_silent(true);
    auto model = rig.model;
    // Every write is followed by a report for another device index: the link is alive.
    rig.hardware->set_write_hook([model](const Bytes&) {
        Bytes other(20, 0);
        other[0] = 0x11;
        other[1] = 0x03;
        other[2] = 0x05;
        model->inject(other);
        return true;
    });
    rig.model->clear_log();
    Bytes reply;
    EXPECT_FALSE(rig.device->execute(marked(9), reply, 0, {}));
    EXPECT_EQ(last_error().code, 4u);
    rig.hardware->set_write_hook(nullptr);
    const auto log = rig.model->written();
    ASSERT_EQ(log.size(), 10u);  // ten counted attempts: the request, then nine probes
    EXPECT_EQ(log[0], marked(9));
    for (std::size_t i = 1; i < log.size(); ++i)
        EXPECT_TRUE(is_ping(log[i])) << i;
    EXPECT_FALSE(rig.device->is_unresponsive());
    EXPECT_TRUE(events.events().empty());
}

TEST(DeviceQueue, WithoutQuarantineASilentDeviceStaysUsable)
{
    ScaledTiming timing(30);
    Rig rig;
    ConnectLog events;
    ASSERT_TRUE(events.subscribe(std::shared_ptr<IDevice>(rig.device), 1, "test"));
    ASSERT_TRUE(rig.device->getFeatureSync(0x0020));
    rig.device->set_parameters(9, 2, 0);
    rig.model->set_silent(true);
    Bytes reply;
    EXPECT_FALSE(rig.device->execute(marked(1), reply, 0, {}));
    EXPECT_EQ(last_error().code, 4u);
    EXPECT_FALSE(rig.device->is_unresponsive());
    rig.model->set_silent(false);
    EXPECT_TRUE(rig.device->execute(marked(2), reply, 0, {}));
    EXPECT_TRUE(events.events().empty());
}

// A device that goes while requests wait in its queue ends them, and the chains built on
// them, with a failure instead of never.
TEST(DeviceQueue, QueuedRequestsEndWhenTheDeviceGoes)
{
    ScaledTiming timing;
    std::shared_ptr<IDeviceRequest> queued;
    std::shared_ptr<IRequest> chained;
    auto owner = std::make_shared<int>(0);
    {
        Rig rig;
        ASSERT_TRUE(rig.device->getFeatureSync(0x0020));
        rig.model->set_latency(std::chrono::milliseconds(100));
        const std::size_t before = rig.model->write_count();
        auto inFlight = rig.device->send(marked(1), 0, {}, nullptr, 0);
        ASSERT_TRUE(rig.model->wait_for_writes(before + 1, 5s));
        queued = rig.device->send(marked(2), 0, {}, nullptr, 0);
        chained = queued->then(owner, [](std::shared_ptr<IDeviceRequest> r) -> std::shared_ptr<IRequest> {
            const bool ok = r->check_response();
            return make_immediate_result(ok ? 0 : last_error().code, nullptr, 0);
        }, "test");
        // Only the worker holds the device now; it ends after the request in flight.
        std::weak_ptr<Device> weak = rig.device;
        rig.device.reset();
        ASSERT_TRUE(eventually([&] { return weak.expired(); }));
        EXPECT_TRUE(inFlight->wait());
    }
    // Expiry shows the destructor has begun (on the worker); it ends the queued request.
    EXPECT_TRUE(eventually([&] { return queued->is_complete(); }));
    EXPECT_FALSE(queued->wait());
    EXPECT_NE(last_error().code, 0u);
    // The continuation ends after the queued request, possibly on another thread.
    EXPECT_TRUE(eventually([&] { return chained->is_complete(); }));
    EXPECT_FALSE(chained->wait());
    EXPECT_NE(last_error().code, 0u);
}

// A shutdown that catches a request in flight: the run loop stops (its queue flushed) while the
// worker waits for it to run the request's write. The write can never run, so the request ends
// with 28 and the worker lets the device go.
TEST(DeviceQueue, RequestWhoseRunLoopStopsEndsAndLetsTheDeviceGo)
{
    ScaledTiming timing;
    Rig rig;
    ASSERT_TRUE(rig.device->getFeatureSync(0x0020));
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    auto entered = std::make_shared<std::promise<void>>();
    std::future<void> running = entered->get_future();
    std::weak_ptr<HostManager> manager = rig.manager;
    rig.manager->post([manager, released, entered] {
        entered->set_value();
        released.wait();
        if (auto m = manager.lock())
            m->shutdown();  // on its own thread: stops serving and drops what is queued
        return false;
    }, nullptr, nullptr, "test-stop");
    // Write triggers of the discovery's writes may still be queued ahead of the stop; any of
    // them would run the request's write. Send only once they have run and the loop is held.
    ASSERT_EQ(running.wait_for(10s), std::future_status::ready);
    auto request = rig.device->send(marked(1), 0, {}, nullptr, 0);
    ASSERT_TRUE(eventually([&] { return rig.manager->queued() > 0; }));
    release.set_value();

    ASSERT_TRUE(eventually([&] { return request->is_complete(); }));
    EXPECT_FALSE(request->wait());
    EXPECT_EQ(last_error().code, 28u);
    std::weak_ptr<Device> weak = rig.device;
    rig.device.reset();
    EXPECT_TRUE(eventually([&] { return weak.expired(); }));
}

namespace {

// A run loop driven by hand: what is posted waits until the test runs or drops it.
class HandRunLoop : public HostManager {
public:
    static std::shared_ptr<HandRunLoop> create()
    {
        auto m = std::make_shared<HandRunLoop>();
        m->set_run_loop(std::weak_ptr<IRunLoopManager>(m));
        return m;
    }
    void post(std::function<bool()> callable, void*, void*, std::string) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_closed)
            m_tasks.push_back(std::move(callable));
    }
    void flush(void*, void*) override
    {
        // Released after the unlock: a dropped task may post again as it goes.
        std::vector<std::function<bool()>> dropped;
        std::lock_guard<std::mutex> lock(m_mutex);
        dropped.swap(m_tasks);
    }
    void close()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_closed = true;
        }
        flush(nullptr, nullptr);
    }
    // Runs the `index`th of the tasks posted so far and removes it; false when there is none.
    bool run(std::size_t index)
    {
        std::function<bool()> task;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (index >= m_tasks.size() || !m_tasks[index])
                return false;
            task.swap(m_tasks[index]);
        }
        task();
        return true;
    }
    // Drops the `index`th posted task unrun, as a flush of it alone would.
    void drop(std::size_t index)
    {
        std::function<bool()> task;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (index < m_tasks.size())
            task.swap(m_tasks[index]);
    }

private:
    std::mutex m_mutex;
    std::vector<std::function<bool()>> m_tasks;  // by posting order; run or dropped ones empty
    bool m_closed = false;
};

} // namespace

// Continuations A and B queued by two threads, whose run-loop triggers reach the loop in either
// order, and waiters that take the oldest continuation meanwhile: each continuation ends exactly
// once, they start in the order they were queued, a trigger that runs leaves its own
// continuation ended, and a continuation that holds its device does not keep it once the run
// loop is flushed or closes.
TEST(DeviceQueue, EachContinuationTriggerEndsItsOwnContinuation)
{
    enum class Step { RunA, RunB, DropA, DropB, Waiter, Flush, Close };
    struct Row {
        const char* name;
        std::vector<Step> steps;
    };
    const Row rows[] = {
        {"triggers in queue order", {Step::RunA, Step::RunB}},
        {"B's trigger first, then the run loop is flushed", {Step::RunB, Step::Flush}},
        {"B's trigger first, then the run loop closes", {Step::RunB, Step::Close}},
        {"B's trigger first, then A's", {Step::RunB, Step::RunA}},
        {"A's trigger dropped, then B's runs", {Step::DropA, Step::RunB}},
        {"B's trigger dropped, then A's runs", {Step::DropB, Step::RunA}},
        {"a waiter takes A, B's trigger runs, A's is dropped", {Step::Waiter, Step::RunB, Step::DropA}},
        {"a waiter takes A, A's trigger runs, then the run loop closes", {Step::Waiter, Step::RunA, Step::Close}},
        {"a waiter takes A, B's trigger is dropped, A's runs", {Step::Waiter, Step::DropB, Step::RunA}},
        {"the run loop is flushed before either runs", {Step::Flush}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto manager = HandRunLoop::create();
        auto model = std::make_shared<platform::sim::SimProtocolDevice>(platform::sim::sim_keyboard_config());
        auto hardware = platform::sim::SimHardwareDevice::create(model, std::weak_ptr<IRunLoopManager>(manager),
                                                                 "sim\\keyboard\\1", TransportUsbHid, 0);
        auto device = Device::create(manager, hardware, manager->config());
        std::weak_ptr<Device> weak = device;

        // What became of each continuation, in the order it happened.
        auto ends = std::make_shared<std::vector<std::string>>();
        auto queue = [&](const std::string& name) {
            // The continuation holds its device, as a caller's chain may.
            device->post_continuation([ends, name, held = device](bool run) {
                ends->push_back(name + (run ? " ran" : " discarded"));
            });
        };
        auto ended = [&](const std::string& name) {
            return std::count(ends->begin(), ends->end(), name + " ran") +
                   std::count(ends->begin(), ends->end(), name + " discarded");
        };
        queue("A");  // trigger 0
        queue("B");  // trigger 1
        for (Step step : row.steps) {
            switch (step) {
            case Step::RunA:
                EXPECT_TRUE(manager->run(0));
                EXPECT_EQ(ended("A"), 1) << "A's trigger ran and left A queued";
                break;
            case Step::RunB:
                EXPECT_TRUE(manager->run(1));
                EXPECT_EQ(ended("B"), 1) << "B's trigger ran and left B queued";
                break;
            case Step::DropA:
                manager->drop(0);
                break;
            case Step::DropB:
                manager->drop(1);
                break;
            case Step::Waiter:
                EXPECT_TRUE(device->run_continuation());
                break;
            case Step::Flush:
                manager->flush(nullptr, nullptr);
                break;
            case Step::Close:
                manager->close();
                break;
            }
        }
        EXPECT_EQ(ended("A"), 1);
        EXPECT_EQ(ended("B"), 1);
        const auto aRan = std::find(ends->begin(), ends->end(), "A ran");
        const auto bRan = std::find(ends->begin(), ends->end(), "B ran");
        if (aRan != ends->end() && bRan != ends->end()) {
            EXPECT_LT(aRan, bRan) << "B ran before A";
        }
        device.reset();
        EXPECT_TRUE(weak.expired()) << "a continuation still holds the device";
        manager->close();
    }
}

TEST(DeviceQueue, CacheIsWrittenByItsTimerAndWhenTheDeviceEnds)
{
    ScaledTiming timing;  // the 10 s write delay becomes 1 s
    const std::string dir = make_temp_dir();
    ASSERT_FALSE(dir.empty());
    std::string name;
    {
        Rig rig;
        rig.device->set_cache_directory(dir);
        name = rig.device->cache_file_name();
        ASSERT_TRUE(rig.device->getFeatureSync(0x1000));
        ASSERT_TRUE(eventually([&] { return read_text(name).find("<command") != std::string::npos; }));
        EXPECT_NE(read_text(name).find("path=\"sim\\keyboard\\1\""), std::string::npos) << read_text(name);
    }
    std::remove(platform::sim::host_path(name).c_str());
    {
        Rig rig;
        rig.device->set_cache_directory(dir);
        ASSERT_TRUE(rig.device->getFeatureSync(0x1000));
    }  // gone before its timer fired
    // The last reference may go on the device's worker a moment later: the write comes from
    // the destructor wherever it runs.
    EXPECT_TRUE(eventually([&] { return read_text(name).find("<command") != std::string::npos; }));
}

// A cache file of the firmware the device ran before: discovery answered from it is checked
// against the device, found out, and the file follows the new firmware.
TEST(DeviceQueue, CacheOfEarlierFirmwareIsFoundOutAndReplaced)
{
    ScaledTiming timing;
    const std::string dir = make_temp_dir();
    std::string name, before;
    {
        Rig rig;
        rig.device->set_cache_directory(dir);
        name = rig.device->cache_file_name();
        ASSERT_TRUE(rig.device->getFeatureSync(0x1000));
    }
    // Written by the destructor, which may run on the device's worker a moment later.
    ASSERT_TRUE(eventually([&] { return read_text(name).find("fw=\"") != std::string::npos; }));
    before = read_text(name);
    const auto fwAt = before.find("fw=\"");
    ASSERT_NE(fwAt, std::string::npos);
    const std::string oldFw = before.substr(fwAt, before.find('"', fwAt + 4) - fwAt);

    Rig rig;
    rig.model->update_firmware(0x0300, 0x0099);
    ConnectLog events;
    ASSERT_TRUE(events.subscribe(std::shared_ptr<IDevice>(rig.device), 1, "test"));
    rig.device->set_cache_directory(dir);
    auto battery = rig.device->getFeatureSync(0x1000);
    ASSERT_TRUE(events.wait_for("firmware"));
    if (!battery)
        battery = rig.device->getFeatureSync(0x1000);
    ASSERT_TRUE(battery);
    ASSERT_TRUE(rig.device->getFeatureSync(0x0003));
    rig.device->write_response_cache();
    const std::string after = read_text(name);
    EXPECT_EQ(after.find(oldFw), std::string::npos) << after;
    EXPECT_NE(after.find("<command"), std::string::npos) << after;
}

TEST(DeviceQueue, CacheFileWithByteOrderMarkAndOddTextLoads)
{
    ScaledTiming timing;
    const std::string dir = make_temp_dir();
    Rig rig;
    rig.model->set_silent(true);  // every answer must come from the file
    const std::string name = [&] {
        rig.device->set_cache_directory(dir);
        return rig.device->cache_file_name();
    }();
    // Lower-case hex, a stray pair and an odd last digit are all tolerated.
    write_text(name, "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<cache fw=\"X\" path=\"p\">"
                     "<command cmd=\"10ff001a0000zz07\" rsp=\"11FF001A0000070\"/><command/></cache>");
    rig.device->set_cache_directory(dir);
    Bytes reply;
    EXPECT_TRUE(rig.device->execute({0x10, 0xFF, 0x00, 0x11, 0x00, 0x00, 0x07}, reply, 1, {}));
    EXPECT_EQ(reply, (Bytes{0x11, 0xFF, 0x00, 0x11, 0x00, 0x00, 0x07}));
    EXPECT_EQ(rig.model->write_count(), 0u);
}

// Item 11 on: the named mutex of the device's path is held for each transmission only, and
// a peer that keeps it does not stop the device.
TEST(DeviceQueue, CrossProcessLockBracketsEachTransmission)
{
    ScaledTiming timing(100);  // the 15 s wait for a stuck peer becomes 150 ms
    const std::string path = "sim\\lock\\" + std::to_string(getpid());
    const std::string mutexName = DeviceLock::mutex_name(path);
    Rig rig(platform::sim::sim_keyboard_config(), path);
    rig.device->set_response_timeout(100000);  // 1 s
    ASSERT_TRUE(rig.device->getFeatureSync(0x0020));
    rig.manager->config()->set(ConfigDeviceLock, true);

    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Peer: on 't' try the mutex at once and tell; on 'h' hold it until 'r'; 'q' ends.
        HANDLE mutex = CreateMutexA(nullptr, FALSE, mutexName.c_str());
        char c = 0;
        while (read(toChild[0], &c, 1) == 1 && c != 'q') {
            if (c == 't') {
                char answer = WaitForSingleObject(mutex, 0) == WAIT_OBJECT_0 ? 'y' : 'n';
                if (answer == 'y')
                    ReleaseMutex(mutex);
                (void)!write(toParent[1], &answer, 1);
            } else if (c == 'h') {
                char answer = WaitForSingleObject(mutex, 5000) == WAIT_OBJECT_0 ? 'y' : 'n';
                (void)!write(toParent[1], &answer, 1);
            } else if (c == 'r') {
                ReleaseMutex(mutex);
                (void)!write(toParent[1], "y", 1);
            }
        }
        CloseHandle(mutex);
        _exit(0);
    }
    auto ask = [&](char c) {
        char answer = 0;
        (void)!write(toChild[1], &c, 1);
        return read(toParent[0], &answer, 1) == 1 ? answer : 'x';
    };

    // During a slow request the mutex is taken; after it, free again.
    rig.model->set_latency(std::chrono::milliseconds(300));
    const std::size_t before = rig.model->write_count();
    auto slow = rig.device->send(marked(1), 0, {}, nullptr, 0);
    ASSERT_TRUE(rig.model->wait_for_writes(before + 1, 5s));
    EXPECT_EQ(ask('t'), 'n');
    EXPECT_TRUE(slow->wait());
    EXPECT_EQ(ask('t'), 'y');

    // A peer holding it on: the request still goes ahead.
    rig.model->set_latency(std::chrono::milliseconds(0));
    ASSERT_EQ(ask('h'), 'y');
    Bytes reply;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(rig.device->execute(marked(2), reply, 0, {}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(ask('r'), 'y');
    EXPECT_TRUE(rig.device->execute(marked(3), reply, 0, {}));
    EXPECT_EQ(ask('t'), 'y');

    (void)!write(toChild[1], "q", 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    rig.manager->config()->set(ConfigDeviceLock, false);
}

// Behind a receiver with item 8 on, a reply that comes after its request timed out makes every
// later request write a flush report after it, for the rest of the device's life; the flush's
// echo is no software-id collision.
TEST(DeviceQueue, LateReplyBehindAReceiverSwitchesFlushReportsOn)
{
    ScaledTiming timing(30);  // replies time out after 100 ms
    Rig rig(platform::sim::sim_keyboard_config(), "sim\\receiver\\2", TransportReceiver);
    rig.manager->config()->set(ConfigLateReplies, true);
    ASSERT_TRUE(rig.device->getFeatureSync(0x0020));
    auto is_flush = [](const Bytes& r) { return r == Bytes{0x00, 0x00, 0x00, 0x11, 0x00, 0x00, 0x00}; };

    Bytes reply;
    rig.model->clear_log();
    EXPECT_TRUE(rig.device->execute(marked(1), reply, 0, {}));
    EXPECT_EQ(rig.model->written().size(), 1u);

    rig.model->set_latency(std::chrono::milliseconds(150));
    auto late = rig.device->send(marked(2), 0, {}, nullptr, 0);
    ASSERT_TRUE(rig.model->wait_for_writes(3, 5s));  // the request and the probe after its time-out
    rig.model->set_latency(std::chrono::milliseconds(0));
    EXPECT_TRUE(late->wait());

    rig.model->clear_log();
    EXPECT_TRUE(rig.device->execute(marked(3), reply, 0, {}));
    EXPECT_TRUE(rig.device->execute(marked(4), reply, 0, {}));
    const auto log = rig.model->written();
    ASSERT_EQ(log.size(), 4u) << ::testing::PrintToString(log);
    EXPECT_EQ(log[0], marked(3));
    EXPECT_TRUE(is_flush(log[1]));
    EXPECT_EQ(log[2], marked(4));
    EXPECT_TRUE(is_flush(log[3]));
    EXPECT_EQ(rig.device->getSoftwareId(), 1u);
}

// The worker awaits a request's write and its reply in one sleep: whatever ends first, the
// request must end as soon as both are known, never only at the reply time-out (a minute here).
TEST(DeviceQueue, RequestEndsOnceItsWriteAndReplyAreKnownInEitherOrder)
{
    class ReplySeen : public Subscriber<IDevice::Report> {
    public:
        void onReport(const std::vector<Byte>&, std::uint32_t, std::uint32_t, IDevice::ReportType type) override
        {
            if (type == IDevice::ReportReply)
                seen = true;
        }
        std::atomic<bool> seen{false};
    };
    struct Case {
        const char* name;
        bool replyDuringWrite;  // else the write fails
    };
    for (const Case& c : {Case{"reply routed before the write ends", true}, Case{"write fails", false}}) {
        SCOPED_TRACE(c.name);
        ScaledTiming timing;
        Rig rig;
        ASSERT_TRUE(rig.device->getFeatureSync(0x0020));
        rig.device->set_response_timeout(600000);
        ReplySeen replies;
        ASSERT_TRUE(replies.subscribe(std::shared_ptr<IDevice>(rig.device), 1, "test"));
        auto model = rig.model;
        auto hardware = rig.hardware.get();
        const bool replyDuringWrite = c.replyDuringWrite;
        rig.hardware->set_write_hook([&replies, model, hardware, replyDuringWrite](const Bytes& report) {
            if (!replyDuringWrite) {
                hardware->close();  // the link drops under the write
                return true;
            }
            model->write(report);
            eventually([&] { return replies.seen.load(); });
            return false;  // written already
        });
        const auto outcome = quillon::test::within([&] {
            Bytes reply;
            const bool ok = rig.device->execute(marked(1), reply, 0, {});
            return std::make_pair(ok, static_cast<std::uint32_t>(last_error().code));
        }, "the request");
        rig.hardware->set_write_hook(nullptr);
        EXPECT_EQ(outcome.first, c.replyDuringWrite);
        if (c.replyDuringWrite)
            EXPECT_TRUE(replies.seen.load());
        else
            EXPECT_EQ(outcome.second, 5u);
    }
}

// A Connect while the device is still talking waits until it has been quiet for a second,
// then runs the whole sequence once.
TEST(DeviceQueue, ConnectWhileTalkingWaitsForQuiet)
{
    ScaledTiming timing;  // the quiet second becomes 100 ms
    Rig rig;
    ConnectLog events;
    ASSERT_TRUE(events.subscribe(std::shared_ptr<IDevice>(rig.device), 1, "test"));
    ASSERT_TRUE(rig.device->getFeatureSync(0x0020));
    const auto start = std::chrono::steady_clock::now();
    rig.hardware->announce_connect();
    ASSERT_TRUE(events.wait_for("connect(false)"));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(90));
    EXPECT_EQ(events.events(), (std::vector<std::string>{"connect", "connect(false)"}));
}
