// HID collections and device-change delivery under stress: windows that stop pumping or act on
// a removal, devices that vanish or are forgotten mid-operation, and concurrent use of a handle.
#include "SimTestSupport.h"

#include <hidclass.h>
#include <hidsdi.h>
#include <sim/Kernel.h>

#include <atomic>
#include <functional>
#include <future>
#include <thread>

using namespace platform::sim;
using namespace simtest;

namespace {

using Clock = std::chrono::steady_clock;

// A window on its own thread whose WM_DEVICECHANGE goes to a handler, and which can be told to
// stop pumping until released.
class ActingWindow {
public:
    using Handler = std::function<void(WPARAM, const DEV_BROADCAST_HDR*)>;

    explicit ActingWindow(Handler handler) : m_handler(std::move(handler))
    {
        m_thread = std::thread([this] { run(); });
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_window != nullptr; });
    }
    ~ActingWindow()
    {
        release();
        PostMessageW(m_window, WM_CLOSE, 0, 0);
        m_thread.join();
    }

    HWND window() const { return m_window; }
    // The window thread blocks (inside a message) until release(); returns once it does.
    void stall()
    {
        PostMessageW(m_window, WM_APP, 0, 0);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_stalled; });
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stalled = false;
        m_released = true;
        m_changed.notify_all();
    }

private:
    static LRESULT procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE)
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        auto* self = reinterpret_cast<ActingWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && message == WM_DEVICECHANGE) {
            self->m_handler(wParam, reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam));
            return TRUE;
        }
        if (self && message == WM_APP) {
            std::unique_lock<std::mutex> lock(self->m_mutex);
            self->m_released = false;
            self->m_stalled = true;
            self->m_changed.notify_all();
            self->m_changed.wait(lock, [&] { return self->m_released; });
            return 0;
        }
        if (message == WM_DESTROY) {
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    void run()
    {
        static const std::u16string className = u"SimTestActingWindow";
        WNDCLASSW wc{};
        wc.lpfnWndProc = &ActingWindow::procedure;
        wc.lpszClassName = className.c_str();
        RegisterClassW(&wc);
        HWND window = CreateWindowExW(0, className.c_str(), u"acting", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                      this);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_window = window;
            m_changed.notify_all();
        }
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0)
            DispatchMessageW(&msg);
    }

    Handler m_handler;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    HWND m_window = nullptr;
    bool m_stalled = false;
    bool m_released = false;
    std::thread m_thread;
};

class HidRobustnessTest : public simtest::DeviceTreeTest {
protected:
    void TearDown() override
    {
        set_broadcast_timeout(10000);
        DeviceTreeTest::TearDown();
    }
};

TEST_F(HidRobustnessTest, DeviceChangeDeliveryToAStalledWindowEndsAfterTheBroadcastTimeout)
{
    ActingWindow stalled([](WPARAM, const DEV_BROADCAST_HDR*) {});
    std::atomic<int> heard{0};
    ActingWindow live([&](WPARAM event, const DEV_BROADCAST_HDR*) {
        if (event == DBT_DEVICEARRIVAL)
            ++heard;
    });
    ASSERT_NE(watch_hid_class(stalled.window()), nullptr);
    ASSERT_NE(watch_hid_class(live.window()), nullptr);
    auto c = make_collection();
    set_broadcast_timeout(100);
    stalled.stall();
    const auto start = Clock::now();
    c->plug();
    c->unplug(Removal::Orderly);
    broadcast_power(PBT_APMRESUMEAUTOMATIC);
    // Three deliveries to the stalled window, each bounded by the setting, not by a fixed wait.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(heard.load(), 1);  // the window registered after it still heard of the arrival
    EXPECT_EQ(pending_sent_messages(stalled.window()), 0u);  // timed-out deliveries were withdrawn
    stalled.release();
}

TEST_F(HidRobustnessTest, WatcherClosingItsHandleOnQueryRemoveAndUnregisteringFromTheNotification)
{
    // A watcher as the HID bus is: it closes the watched handle on the query and drops the
    // registration when the removal is complete, all from inside the notification.
    auto c = make_collection();
    c->plug();
    HANDLE file = open_path(c->path());
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::vector<WPARAM> events;
    ActingWindow window([&](WPARAM event, const DEV_BROADCAST_HDR* header) {
        if (!header || header->dbch_devicetype != DBT_DEVTYP_HANDLE)
            return;
        events.push_back(event);
        const auto* h = reinterpret_cast<const DEV_BROADCAST_HANDLE*>(header);
        if (event == DBT_DEVICEQUERYREMOVE) {
            EXPECT_TRUE(CloseHandle(h->dbch_handle));
        }
        if (event == DBT_DEVICEREMOVECOMPLETE) {
            EXPECT_TRUE(UnregisterDeviceNotification(h->dbch_hdevnotify));
        }
    });
    HDEVNOTIFY notify = watch_file(window.window(), file);
    ASSERT_NE(notify, nullptr);
    c->unplug(Removal::Orderly);
    EXPECT_EQ(events, (std::vector<WPARAM>{DBT_DEVICEQUERYREMOVE, DBT_DEVICEREMOVECOMPLETE}));
    EXPECT_EQ(c->open_handle_count(), 0u);
    EXPECT_FALSE(UnregisterDeviceNotification(notify));  // already gone

    // Plugged again, the device opens afresh and writes reach it.
    c->plug();
    HANDLE again = open_path(c->path());
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    Bytes report(20, 0);
    report[0] = 0x11;
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    OVERLAPPED o{};
    o.hEvent = event;
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(again, report.data(), 20, &done, &o));
    EXPECT_EQ(c->write_count(), 1u);
    CloseHandle(event);
    CloseHandle(again);
}

TEST_F(HidRobustnessTest, VanishedCollectionRefusesOpensAndItsOldHandlesStayDeadAfterReplug)
{
    auto c = make_collection();
    c->plug();
    HANDLE old = open_path(c->path());
    ASSERT_NE(old, INVALID_HANDLE_VALUE);
    c->unplug(Removal::Surprise);
    EXPECT_EQ(open_path(c->path()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    EXPECT_FALSE(HidD_GetAttributes(old, &attributes));

    c->plug();
    HANDLE fresh = open_path(c->path());
    ASSERT_NE(fresh, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(HidD_GetAttributes(fresh, &attributes));
    EXPECT_EQ(attributes.VendorID, 0x7E51);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED o{};
    o.hEvent = event;
    Bytes buffer(20);
    DWORD done = 0;
    EXPECT_FALSE(ReadFile(old, buffer.data(), 20, &done, &o));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    // A report after the replug reaches the new handle only.
    ASSERT_TRUE(start_read(fresh, buffer, o));
    ASSERT_TRUE(c->send_input_report({0x11, 0x42}));
    EXPECT_EQ(outcome(fresh, o), 0u);
    EXPECT_EQ(buffer[1], 0x42);
    CloseHandle(event);
    CloseHandle(fresh);
    CloseHandle(old);
}

TEST_F(HidRobustnessTest, ForgettingTheDeviceEndsPendingReadsAndHeldWritesAndLeavesHandlesClosable)
{
    auto c = make_collection();
    c->plug();
    HANDLE file = open_path(c->path());
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE readEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE writeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED r{}, w{};
    r.hEvent = readEvent;
    w.hEvent = writeEvent;
    Bytes buffer(20), report(20, 0x11);
    ASSERT_TRUE(start_read(file, buffer, r));
    c->hold_writes(true);
    ASSERT_FALSE(WriteFile(file, report.data(), 20, nullptr, &w));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    ASSERT_TRUE(c->wait_for_held_writes(1));

    const std::string path = c->path();
    c.reset();
    remove_all_dev_nodes();
    EXPECT_EQ(WaitForSingleObject(readEvent, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(writeEvent, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(outcome(file, r), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(outcome(file, w), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_FALSE(WriteFile(file, report.data(), 20, nullptr, &w));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(open_path(path), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(file));
    CloseHandle(readEvent);
    CloseHandle(writeEvent);
}

// Unplugs its own collection while handling a write, as a device that resets on a command.
class VanishingModel : public IHidDeviceModel {
public:
    void onOutputReport(HidCollection& collection, const std::vector<std::uint8_t>&) override { collection.unplug(); }
};

TEST_F(HidRobustnessTest, ModelUnpluggingItsCollectionDuringAWriteEndsCleanly)
{
    auto c = make_collection();
    c->set_model(std::make_shared<VanishingModel>());
    c->plug();
    HANDLE file = open_path(c->path());
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED r{}, w{};
    r.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    w.hEvent = event;
    Bytes buffer(20), report(20, 0);
    report[0] = 0x11;
    ASSERT_TRUE(start_read(file, buffer, r));
    DWORD done = 0;
    const BOOL written = WriteFile(file, report.data(), 20, &done, &w);
    if (!written) {
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    }
    EXPECT_EQ(outcome(file, r), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_FALSE(c->is_present());
    EXPECT_FALSE(WriteFile(file, report.data(), 20, &done, &w));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    CloseHandle(r.hEvent);
    CloseHandle(event);
    CloseHandle(file);
}

TEST_F(HidRobustnessTest, ClosingAHandleWakesAThreadWaitingForItsRead)
{
    auto c = make_collection();
    c->plug();
    HANDLE file = open_path(c->path());
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED o{};
    o.hEvent = event;
    Bytes buffer(20);
    ASSERT_TRUE(start_read(file, buffer, o));
    auto waiter = std::async(std::launch::async, [&] {
        DWORD done = 7;
        const BOOL ok = WaitForSingleObject(event, 10000) == WAIT_OBJECT_0 &&
                        GetOverlappedResult(file, &o, &done, FALSE);
        return std::make_pair(ok ? 0u : GetLastError(), done);
    });
    ASSERT_TRUE(c->wait_for_pending_reads(1));
    CloseHandle(file);
    auto [error, done] = waiter.get();
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(c->pending_read_count(), 0u);
    CloseHandle(event);
}

// The window between a handle leaving the table and its file closing, held open by a duplicate:
// a thread that issued a read just before another closed the handle waits for the read's end.
TEST_F(HidRobustnessTest, AReadOnAHandleClosedMeanwhileIsStillOwedItsOutcome)
{
    auto c = make_collection();
    c->plug();
    HANDLE file = open_path(c->path());
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE other = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &other, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED o{};
    o.hEvent = event;
    Bytes buffer(20);
    ASSERT_TRUE(start_read(file, buffer, o));
    ASSERT_TRUE(CloseHandle(file));
    DWORD done = 7;
    EXPECT_FALSE(GetOverlappedResult(file, &o, &done, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));
    auto waiter = std::async(std::launch::async, [&] {
        DWORD got = 7;
        const BOOL ok = GetOverlappedResult(file, &o, &got, TRUE);
        return std::make_pair(ok ? 0u : GetLastError(), got);
    });
    CloseHandle(other);  // the last handle: its close aborts the read
    auto [error, got] = waiter.get();
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(c->pending_read_count(), 0u);
    CloseHandle(event);
}

TEST_F(HidRobustnessTest, ReaderWritersAndInjectorsOnManyThreadsLoseNoEchoedReport)
{
    auto c = make_collection();
    c->set_model(std::make_shared<EchoModel>());
    c->plug();
    HANDLE file = open_path(c->path());
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    constexpr int kWriters = 3, kPerWriter = 8;  // well inside the input queue
    std::atomic<int> received{0};
    std::thread reader([&] {
        HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        Bytes buffer(20);
        for (;;) {
            OVERLAPPED o{};
            o.hEvent = event;
            DWORD done = 0;
            // A read refused at once has no outcome in its record: only a pending one is waited for.
            if (!ReadFile(file, buffer.data(), 20, &done, &o) &&
                (GetLastError() != ERROR_IO_PENDING || !GetOverlappedResult(file, &o, &done, TRUE)))
                break;
            ++received;
        }
        CloseHandle(event);
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < kWriters; ++t)
        writers.emplace_back([&, t] {
            HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
            for (int i = 0; i < kPerWriter; ++i) {
                Bytes report(20, static_cast<std::uint8_t>(t * 16 + i));
                report[0] = 0x11;
                OVERLAPPED o{};
                o.hEvent = event;
                DWORD done = 0;
                EXPECT_TRUE(WriteFile(file, report.data(), 20, &done, &o) || GetOverlappedResult(file, &o, &done, TRUE));
            }
            CloseHandle(event);
        });
    for (auto& w : writers)
        w.join();
    ASSERT_TRUE(c->wait_for_writes(kWriters * kPerWriter));
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (received.load() < kWriters * kPerWriter && Clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_EQ(received.load(), kWriters * kPerWriter);
    CloseHandle(file);  // ends the reader's last pending read
    reader.join();
}

}  // namespace
