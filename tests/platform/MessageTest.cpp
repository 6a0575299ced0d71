// Windows, message order between threads, timers and broadcasts.
#include <windows.h>

#include <sim/Kernel.h>

#include "KernelObject.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Log {
    std::mutex mutex;
    std::vector<UINT> messages;
    std::vector<LPARAM> params;
    void add(UINT m, LPARAM l) {
        std::lock_guard<std::mutex> lock(mutex);
        messages.push_back(m);
        params.push_back(l);
    }
};

Log* g_log = nullptr;
bool g_refuse_nccreate = false;

// Holds a handler on the window thread until the test releases it.
struct Hold {
    std::mutex mutex;
    std::condition_variable cv;
    bool entered = false;
    bool released = false;
    bool finished = false;

    void enter_and_wait() {
        std::unique_lock<std::mutex> lock(mutex);
        entered = true;
        cv.notify_all();
        cv.wait(lock, [&] { return released; });
    }
    void finish() {
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
        cv.notify_all();
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex);
        released = true;
        cv.notify_all();
    }
    bool wait_finished() {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(10), [&] { return finished; });
    }
    bool was_entered() {
        std::lock_guard<std::mutex> lock(mutex);
        return entered;
    }
};
Hold g_hold;

LRESULT recordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (g_log && msg != WM_NCCREATE && msg != WM_CREATE) g_log->add(msg, lParam);
    switch (msg) {
    case WM_NCCREATE: {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        if (g_log) g_log->add(msg, reinterpret_cast<LPARAM>(cs->lpCreateParams));
        if (g_refuse_nccreate) return 0;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        return TRUE;
    }
    case WM_CREATE:
        if (g_log) g_log->add(msg, GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        return 0;
    case WM_DESTROY:
        PostQuitMessage(7);
        return 0;
    case WM_USER + 1:
        return static_cast<LRESULT>(wParam) * 2;
    case WM_USER + 2:  // work on a record of the sender, held until the test lets it go
        g_hold.enter_and_wait();
        *reinterpret_cast<int*>(lParam) = 5;
        g_hold.finish();
        return 9;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

class MessageTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::sim::reset_machine();
        g_log = &m_log;
        g_refuse_nccreate = false;
        static bool registered = false;
        if (!registered) {
            WNDCLASSW wc{};
            wc.lpfnWndProc = recordingProc;
            wc.lpszClassName = u"QuillonTestWindow";
            ASSERT_NE(RegisterClassW(&wc), 0);
            registered = true;
        }
    }
    void TearDown() override { g_log = nullptr; }

    static HWND create(HWND parent = nullptr, void* param = nullptr) {
        return CreateWindowExW(WS_EX_TOOLWINDOW, u"QuillonTestWindow", u"test", WS_POPUP, 0, 0, 0, 0, parent, nullptr,
                               nullptr, param);
    }

    // Pumps until GetMessageW returns 0 (the window's WM_DESTROY posts the quit).
    static int pump() {
        MSG msg;
        BOOL r;
        while ((r = GetMessageW(&msg, nullptr, 0, 0)) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        return r == 0 ? static_cast<int>(msg.wParam) : -1;
    }

    Log m_log;
};

TEST_F(MessageTest, CreationSendsNcCreateWithParameterThenCreateAndRefusalAborts) {
    int marker = 0;
    HWND hwnd = create(nullptr, &marker);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_GE(m_log.messages.size(), 2u);
    EXPECT_EQ(m_log.messages[0], WM_NCCREATE);
    EXPECT_EQ(m_log.params[0], reinterpret_cast<LPARAM>(&marker));
    EXPECT_EQ(m_log.messages[1], WM_CREATE);
    EXPECT_EQ(m_log.params[1], reinterpret_cast<LPARAM>(&marker));  // user data stored during WM_NCCREATE

    WNDCLASSW again{};
    again.lpfnWndProc = recordingProc;
    again.lpszClassName = u"quillontestwindow";
    EXPECT_EQ(RegisterClassW(&again), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

    size_t before = platform::sim::window_count();
    g_refuse_nccreate = true;
    EXPECT_EQ(create(), nullptr);
    EXPECT_EQ(platform::sim::window_count(), before);
    g_refuse_nccreate = false;

    // WM_CLOSE through the default handling destroys the window; its WM_DESTROY ends the loop.
    ASSERT_TRUE(PostMessageW(hwnd, WM_CLOSE, 0, 0));
    EXPECT_EQ(pump(), 7);
    EXPECT_FALSE(IsWindow(hwnd));
}

// A window on its own thread that waits for `go` before it starts pumping.
struct WindowThread {
    std::mutex mutex;
    std::condition_variable cv;
    HWND hwnd = nullptr;
    bool go = false;
    std::thread thread;

    void start() {
        thread = std::thread([this] {
            HWND h = MessageTest_create();
            {
                std::unique_lock<std::mutex> lock(mutex);
                hwnd = h;
                cv.notify_all();
                cv.wait(lock, [&] { return go; });
            }
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        });
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait(lock, [&] { return hwnd != nullptr; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex);
        go = true;
        cv.notify_all();
    }
    void stop() {
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
        thread.join();
    }
    static HWND MessageTest_create() {
        return CreateWindowExW(0, u"QuillonTestWindow", u"t", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    }
};

bool wait_until(const std::function<bool()>& condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

TEST_F(MessageTest, MessageSentFromAnotherThreadIsHandledBeforePostedOnesOnTheOwnerThread) {
    WindowThread w;
    w.start();
    ASSERT_TRUE(PostMessageW(w.hwnd, WM_USER + 5, 0, 1));
    LRESULT sent = 0;
    std::thread sender([&] { sent = SendMessageW(w.hwnd, WM_USER + 1, 21, 2); });
    ASSERT_TRUE(wait_until([&] { return platform::sim::pending_sent_messages(w.hwnd) == 1; }));
    w.release();
    sender.join();
    EXPECT_EQ(sent, 42);
    w.stop();
    std::lock_guard<std::mutex> lock(m_log.mutex);
    ASSERT_GE(m_log.messages.size(), 4u);
    EXPECT_EQ(m_log.messages[2], WM_USER + 1);  // after WM_NCCREATE, WM_CREATE
    EXPECT_EQ(m_log.messages[3], WM_USER + 5);
}

TEST_F(MessageTest, SendMessageTimeoutCancelsAMessageNotYetPickedUp) {
    WindowThread w;
    w.start();
    DWORD_PTR result = 123;
    EXPECT_EQ(SendMessageTimeoutW(w.hwnd, WM_USER + 1, 1, 3, SMTO_BLOCK, 30, &result), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_EQ(platform::sim::pending_sent_messages(w.hwnd), 0u);
    ASSERT_TRUE(PostMessageW(w.hwnd, WM_USER + 6, 0, 4));
    w.release();
    w.stop();
    std::lock_guard<std::mutex> lock(m_log.mutex);
    for (size_t i = 0; i < m_log.messages.size(); ++i) EXPECT_NE(m_log.messages[i], WM_USER + 1u);
    EXPECT_NE(std::find(m_log.messages.begin(), m_log.messages.end(), WM_USER + 6u), m_log.messages.end());
}

// As on Windows, the time-out ends the wait even while the target is handling the message (a
// hung handler does not stop it): the handler finishes later, on a record the sender kept alive.
TEST_F(MessageTest, SendMessageTimeoutReturnsAtTheTimeOutWhileTheHandlerIsHeld) {
    WindowThread w;
    w.start();
    w.release();
    auto record = std::make_shared<int>(0);
    DWORD_PTR result = 123;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SendMessageTimeoutW(w.hwnd, WM_USER + 2, 0, reinterpret_cast<LPARAM>(record.get()), SMTO_BLOCK, 500,
                                  &result),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(result, 0u);
    ASSERT_TRUE(g_hold.was_entered());  // picked up within the time-out, still at work
    EXPECT_EQ(*record, 0);
    g_hold.release();
    ASSERT_TRUE(g_hold.wait_finished());
    EXPECT_EQ(*record, 5);
    w.stop();
}

TEST_F(MessageTest, PostedMessagesFromManyThreadsArriveInOrderWithFullParameters) {
    WindowThread w;
    w.start();
    w.release();
    constexpr int kThreads = 4, kEach = 500;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i)
                PostMessageW(w.hwnd, WM_APP + t, static_cast<WPARAM>(0x1122334455667788ull),
                             (static_cast<LPARAM>(t) << 40) | i);
        });
    for (auto& p : posters) p.join();
    w.stop();
    std::lock_guard<std::mutex> lock(m_log.mutex);
    std::vector<int> next(kThreads, 0);
    int total = 0;
    for (size_t i = 0; i < m_log.messages.size(); ++i) {
        UINT m = m_log.messages[i];
        if (m < WM_APP || m >= WM_APP + kThreads) continue;
        int t = static_cast<int>(m - WM_APP);
        EXPECT_EQ(m_log.params[i], (static_cast<LPARAM>(t) << 40) | next[t]);
        ++next[t];
        ++total;
    }
    EXPECT_EQ(total, kThreads * kEach);
}

std::atomic<int> g_timer_ticks{0};

TEST_F(MessageTest, TimerDeliversWmTimerWithItsIdOnTheOwnerThread) {
    HWND hwnd = create();
    const UINT_PTR id = 0x1234567890ull;
    ASSERT_EQ(SetTimer(hwnd, id, 5, nullptr), id);
    MSG msg;
    ASSERT_GT(GetMessageW(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, WM_TIMER);
    EXPECT_EQ(msg.hwnd, hwnd);
    EXPECT_EQ(msg.wParam, id);
    EXPECT_TRUE(KillTimer(hwnd, id));
    EXPECT_FALSE(KillTimer(hwnd, id));
    DestroyWindow(hwnd);
    ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), 0);  // the quit posted by WM_DESTROY
}

LRESULT broadcastProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_POWERBROADCAST && g_log) g_log->add(msg, reinterpret_cast<LPARAM>(hwnd));
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

TEST_F(MessageTest, PowerBroadcastReachesTopLevelWindowsOfOtherThreadsButNotMessageOnlyOnes) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = broadcastProc;
        wc.lpszClassName = u"QuillonBroadcastWindow";
        ASSERT_NE(RegisterClassW(&wc), 0);
        registered = true;
    }
    HWND topLevel = nullptr, messageOnly = nullptr;
    std::mutex mutex;
    std::condition_variable cv;
    std::thread owner([&] {
        HWND a = CreateWindowExW(0, u"QuillonBroadcastWindow", u"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        HWND b = CreateWindowExW(0, u"QuillonBroadcastWindow", u"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        {
            std::lock_guard<std::mutex> lock(mutex);
            topLevel = a;
            messageOnly = b;
        }
        cv.notify_all();
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait(lock, [&] { return topLevel != nullptr; });
    }
    platform::sim::broadcast_power(PBT_APMRESUMEAUTOMATIC);  // returns once handled
    {
        std::lock_guard<std::mutex> lock(m_log.mutex);
        ASSERT_EQ(m_log.messages.size(), 1u);
        EXPECT_EQ(m_log.params[0], reinterpret_cast<LPARAM>(topLevel));
    }
    PostThreadMessageW(GetWindowThreadProcessId(topLevel, nullptr), WM_QUIT, 0, 0);
    owner.join();
    EXPECT_FALSE(IsWindow(topLevel));  // the thread took its windows with it
    EXPECT_FALSE(IsWindow(messageOnly));
}

TEST_F(MessageTest, SendToAWindowWhoseThreadEndedFails) {
    HWND hwnd = nullptr;
    std::thread([&] { hwnd = create(); }).join();
    DWORD_PTR result = 0;
    EXPECT_EQ(SendMessageTimeoutW(hwnd, WM_USER + 1, 1, 0, SMTO_BLOCK, 1000, &result), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(PostMessageW(hwnd, WM_USER, 0, 0));
}

}  // namespace
