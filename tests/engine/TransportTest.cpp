// The register transport against a simulated receiver: reply matching, time-outs, contention,
// the machine-wide mutex held by another process, and ends while a request waits.
#include "EngineTestSupport.h"
#include "TSLDevice.h"

#include "devices/SimHidReceiver.h"

#include <gtest/gtest.h>
#include <hidsdi.h>

#include <future>
#include <sys/wait.h>
#include <unistd.h>

using namespace enginetest;
using namespace platform::sim;
using qv::CTSLDevice;

namespace {

class TransportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fresh_machine();
        rx = std::make_unique<SimHidReceiver>(0xC510, 0x01020304);
        rx->receiver().set_latency(std::chrono::milliseconds(2));
        rx->plug();
    }

    void open()
    {
        for (const auto& c : rx->hid().collections()) {
            const std::u16string path = wide(c->path() + "\\QVAPI");
            HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
            ASSERT_NE(file, INVALID_HANDLE_VALUE);
            PHIDP_PREPARSED_DATA preparsed = nullptr;
            ASSERT_TRUE(HidD_GetPreparsedData(file, &preparsed));
            HIDP_CAPS caps{};
            HidP_GetCaps(preparsed, &caps);
            HidD_FreePreparsedData(preparsed);
            ASSERT_EQ(transport.open_collection(0, file, nullptr, qv::widen(c->path()), caps, caps.Usage == 1 ? 0x10 : 0x11), 1);
        }
        ASSERT_TRUE(transport.open_transport(nullptr, 0));
    }

    int read_count(std::vector<std::uint8_t>& payload)
    {
        const std::uint8_t params[3] = {0, 0, 0};
        return transport.register_read(0xFF, 0x02, false, params, payload);
    }

    std::unique_ptr<SimHidReceiver> rx;
    CTSLDevice transport;
};

TEST_F(TransportTest, RegistersAndErrors)
{
    rx->pair(2, SimProtocolConfig{});
    open();
    std::vector<std::uint8_t> payload;
    ASSERT_EQ(read_count(payload), qv::kRawOk);
    ASSERT_GE(payload.size(), 3u);
    EXPECT_EQ(payload[1], 1) << "one device connected";

    const std::uint8_t page[3] = {0x30, 0, 0};
    ASSERT_EQ(transport.register_read(0xFF, 0xB5, true, page, payload), qv::kRawOk);
    ASSERT_GE(payload.size(), 5u);
    EXPECT_EQ(payload[0], 0x30);

    // The receiver's own error code for an address it does not have.
    EXPECT_EQ(transport.register_read(0xFF, 0x77, false, page, payload), 2);
    const std::uint8_t value[3] = {0, 1, 0};
    EXPECT_EQ(transport.register_write(0xFF, 0x00, value, 3, nullptr), qv::kRawOk);
    // A device index with nobody paired: the receiver answers for it.
    EXPECT_EQ(transport.register_read(5, 0x0D, false, page, payload), 9);
}

TEST_F(TransportTest, LostRepliesAreAskedForAgainThreeTimes)
{
    open();
    std::vector<std::uint8_t> payload;
    rx->receiver().drop_replies(2);
    EXPECT_EQ(read_count(payload), qv::kRawOk);
    rx->receiver().drop_replies(3);
    EXPECT_EQ(read_count(payload), qv::kRawTimeout);
    EXPECT_EQ(rx->receiver().register_reads(0x02), 5 + 1);
}

TEST_F(TransportTest, FastRepliesLowerTheContentionThreshold)
{
    open();
    std::vector<std::uint8_t> payload;
    ASSERT_EQ(read_count(payload), qv::kRawOk);
    EXPECT_EQ(transport.contention_threshold(), 10) << "a 2 ms reply is nobody else's";
    rx->receiver().set_latency(std::chrono::microseconds(0));
    // Whether an instant reply is measured below the threshold depends on the machine's load, so
    // the count of early replies is not fixed: each read lowers the threshold by at most one, and
    // enough of them bring it to 5, where it stays.
    int previous = transport.contention_threshold();
    int reads = 0;
    for (; reads < 200 && previous > 5; ++reads) {
        ASSERT_EQ(read_count(payload), qv::kRawOk);
        const int now = transport.contention_threshold();
        ASSERT_TRUE(now == previous || now == previous - 1) << previous << " -> " << now;
        previous = now;
    }
    EXPECT_EQ(previous, 5) << "after " << reads << " instant replies";
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(read_count(payload), qv::kRawOk);
    EXPECT_EQ(transport.contention_threshold(), 5) << "not below 5";
}

TEST_F(TransportTest, QuitWhileWaitingEndsTheRequest)
{
    open();
    rx->receiver().drop_replies(100);
    devio::Timing::setScale(1, 1);  // the request would wait 3 x 3 s
    auto pending = std::async(std::launch::async, [&] {
        std::vector<std::uint8_t> payload;
        return read_count(payload);
    });
    ASSERT_TRUE(rx->hid().short_collection()->wait_for_writes(1));
    transport.stop_transport();
    ASSERT_EQ(pending.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(pending.get(), qv::kRawErrorReply);
    std::vector<std::uint8_t> payload;
    EXPECT_EQ(read_count(payload), qv::kRawClosing);
}

// A second process takes the receiver's mutex: waits grow, a release lets requests through, and
// the death of the holder passes ownership on (abandoned).
TEST_F(TransportTest, MutexHeldByAnotherProcess)
{
    const std::string name = CTSLDevice::mutex_name_for(qv::widen(rx->hid().short_collection()->path()));
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // 'h' take and hold, 'r' release, 'd' die holding it.
        HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
        char c = 0;
        while (read(toChild[0], &c, 1) == 1) {
            if (c == 'h') {
                const char answer = WaitForSingleObject(mutex, 5000) == WAIT_OBJECT_0 ? 'y' : 'n';
                (void)!write(toParent[1], &answer, 1);
            } else if (c == 'r') {
                ReleaseMutex(mutex);
                (void)!write(toParent[1], "y", 1);
            } else if (c == 'd') {
                _exit(0);
            }
        }
        _exit(0);
    }
    auto ask = [&](char c) {
        char answer = 0;
        (void)!write(toChild[1], &c, 1);
        return read(toParent[0], &answer, 1) == 1 ? answer : 'x';
    };
    open();
    std::vector<std::uint8_t> payload;
    ASSERT_EQ(ask('h'), 'y');
    const DWORD expected[] = {6000, 8000, 10000, 10000};
    for (DWORD wait : expected) {
        EXPECT_EQ(read_count(payload), qv::kRawBusy);
        EXPECT_EQ(transport.mutex_wait_ms(), wait);
    }
    ASSERT_EQ(ask('r'), 'y');
    EXPECT_EQ(read_count(payload), qv::kRawOk);

    ASSERT_EQ(ask('h'), 'y');
    (void)!write(toChild[1], "d", 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(read_count(payload), qv::kRawOk) << "an abandoned mutex is obtained";
}

}  // namespace

namespace {

// A receiver double that answers register 0x02 with an error reply (7, "busy", by default) a set
// number of times.
class BusyReceiver : public IHidDeviceModel {
public:
    explicit BusyReceiver(int busyReplies, std::uint8_t code = 0x07) : m_busy(busyReplies), m_code(code) {}
    // Weak: the collection owns its model.
    void set_short(const std::shared_ptr<HidCollection>& c) { m_short = c; }
    void onOutputReport(HidCollection&, const std::vector<std::uint8_t>& r) override
    {
        if (r.size() < 4 || r[3] != 0x02)
            return;
        ++m_requests;
        auto out = m_short.lock();
        if (!out)
            return;
        if (m_busy > 0) {
            --m_busy;
            out->send_input_report({0x10, r[1], 0x8F, r[2], r[3], m_code, 0});
        } else {
            out->send_input_report({0x10, r[1], r[2], r[3], 0, 2, 0});
        }
    }
    int requests() const { return m_requests.load(); }

private:
    std::atomic<int> m_busy;
    const std::uint8_t m_code;
    std::atomic<int> m_requests{0};
    std::weak_ptr<HidCollection> m_short;
};

// Two collections of a receiver whose answers a test scripts, opened by a transport.
struct ScriptedRig {
    std::shared_ptr<HidCollection> shortCollection, longCollection;
    CTSLDevice transport;

    explicit ScriptedRig(const std::shared_ptr<IHidDeviceModel>& model, const char* instance)
    {
        DevNodeLayout usb;
        usb.instanceId = std::string("USB\\VID_7E51&PID_C510\\") + instance;
        usb.enumeratorName = std::string("USB");
        const DevInst node = add_dev_node(usb);
        auto shortLayout = HidCollectionLayout::simple(0x7E51, 0xC510, 0xFF00, 1, 0x10, 7);
        auto longLayout = HidCollectionLayout::simple(0x7E51, 0xC510, 0xFF00, 2, 0x11, 20);
        shortLayout.parent = longLayout.parent = node;
        shortCollection = create_hid_collection(shortLayout);
        longCollection = create_hid_collection(longLayout);
        shortCollection->set_model(model);
        longCollection->set_model(model);
        plug(node);
        for (const auto& c : {shortCollection, longCollection}) {
            HANDLE file = CreateFileW(wide(c->path()).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                                      nullptr);
            HIDP_CAPS caps{};
            caps.Usage = c == shortCollection ? 1 : 2;
            caps.InputReportByteLength = caps.OutputReportByteLength = c == shortCollection ? 7 : 20;
            transport.open_collection(0, file, nullptr, qv::widen(c->path()), caps, caps.Usage == 1 ? 0x10 : 0x11);
        }
        transport.open_transport(nullptr, 0);
    }
    ~ScriptedRig()
    {
        transport.stop_transport();
        transport.close_collections();
        remove_all_dev_nodes();
    }
};

// Answers nothing; the device's link drops as soon as a request to it goes out, so the request is
// in flight when the loss is known, however slowly the test's threads run.
class LinkDroppingReceiver : public IHidDeviceModel {
public:
    explicit LinkDroppingReceiver(HANDLE lost) : m_lost(lost) {}
    void onOutputReport(HidCollection&, const std::vector<std::uint8_t>&) override { SetEvent(m_lost); }

private:
    HANDLE m_lost;
};

TEST(TransportLinkTest, LinkLostEndsARequestToThatDevice)
{
    fresh_machine();
    HANDLE lost = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ScriptedRig rig(std::make_shared<LinkDroppingReceiver>(lost), "SILENT");
    rig.transport.set_link_event(3, lost);
    const std::uint8_t params[3] = {0, 0, 0};
    std::vector<std::uint8_t> payload;
    EXPECT_EQ(rig.transport.register_read(3, 0x0D, false, params, payload), qv::kRawLinkLost);
    EXPECT_EQ(rig.shortCollection->write_count(), 1u) << "a lost link is not asked again";
    rig.transport.set_link_event(3, nullptr);
    CloseHandle(lost);
}

TEST(TransportBusyTest, BusyReceiverIsAskedAgainAfterAPause)
{
    struct Row {
        const char* name;
        int busy;
        int result;
        int requests;
    };
    const Row rows[] = {{"busy twice", 2, qv::kRawOk, 3}, {"busy three times", 3, 7, 3}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fresh_machine();
        auto model = std::make_shared<BusyReceiver>(row.busy);
        ScriptedRig rig(model, "BUSY");
        model->set_short(rig.shortCollection);
        CTSLDevice& transport = rig.transport;
        const auto started = std::chrono::steady_clock::now();
        const std::uint8_t params[3] = {0, 0, 0};
        std::vector<std::uint8_t> payload;
        EXPECT_EQ(transport.register_read(0xFF, 0x02, false, params, payload), row.result);
        EXPECT_EQ(model->requests(), row.requests);
        // Two pauses of 500 ms (scaled to 25 ms) between the three tries.
        EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(50));
    }
}

// An error reply that carries no error code is still an error: the request's own parameters never
// pass for the receiver's answer.
TEST(TransportBusyTest, ErrorReplyWithoutACodeIsNoAnswer)
{
    fresh_machine();
    auto model = std::make_shared<BusyReceiver>(1, 0);
    ScriptedRig rig(model, "NOCODE");
    model->set_short(rig.shortCollection);
    const std::uint8_t params[3] = {0, 0, 0};
    std::vector<std::uint8_t> payload;
    EXPECT_EQ(rig.transport.register_read(0xFF, 0x02, false, params, payload), qv::kRawErrorReply);
    EXPECT_TRUE(payload.empty());
    EXPECT_EQ(model->requests(), 1);
}

}  // namespace
