// Waits, events, mutexes (also across processes), overlapped records and change notifications.
#include <windows.h>

#include <sim/Kernel.h>

#include "KernelObject.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono;

class KernelTest : public ::testing::Test {
protected:
    void SetUp() override { platform::sim::reset_machine(); }
};

TEST_F(KernelTest, WaitAnyTakesLowestSignalledIndexAndConsumesOnlyThatAutoResetEvent) {
    HANDLE events[3] = {CreateEventW(nullptr, FALSE, FALSE, nullptr), CreateEventW(nullptr, FALSE, TRUE, nullptr),
                        CreateEventW(nullptr, FALSE, TRUE, nullptr)};
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(SetEvent(events[2]));
    ASSERT_TRUE(SetEvent(events[0]));
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(events[2], 0), WAIT_OBJECT_0);
    for (HANDLE e : events) EXPECT_TRUE(CloseHandle(e));
}

TEST_F(KernelTest, ManualResetEventStaysSignalledUntilReset) {
    HANDLE e = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(SetEvent(e));
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(ResetEvent(e));
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
    CloseHandle(e);
}

TEST_F(KernelTest, WaitTimesOutAndRejectsClosedHandles) {
    HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    auto start = steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(e, 30), WAIT_TIMEOUT);
    EXPECT_GE(steady_clock::now() - start, milliseconds(30));
    CloseHandle(e);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(CloseHandle(e));
}

TEST_F(KernelTest, EventSetOnAnotherThreadWakesWaiterAndLastErrorIsPerThread) {
    HANDLE e = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    SetLastError(1234);
    std::thread setter([&] {
        SetLastError(99);
        SetEvent(e);
    });
    EXPECT_EQ(WaitForSingleObject(e, 10000), WAIT_OBJECT_0);
    setter.join();
    EXPECT_EQ(GetLastError(), 1234u);
    CloseHandle(e);
}

// A signal wakes only the threads waiting on that object: none may be lost, whether the waiter
// watches one object among several, all of several, or a mutex handed on by its owner.
TEST_F(KernelTest, SignalsReachTheirWaitersUnderLoad) {
    constexpr int kThreads = 6, kRounds = 300;
    HANDLE quit = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    HANDLE work[kThreads], done[kThreads];
    for (int i = 0; i < kThreads; ++i) {
        work[i] = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        done[i] = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    std::atomic<int> inside{0}, overlap{0}, served{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < kThreads; ++i)
        workers.emplace_back([&, i] {
            const HANDLE waits[2] = {quit, work[i]};
            for (;;) {
                const DWORD w = WaitForMultipleObjects(2, waits, FALSE, 10000);
                if (w != WAIT_OBJECT_0 + 1) return;
                if (WaitForSingleObject(mutex, 10000) != WAIT_OBJECT_0) return;
                if (inside.fetch_add(1) != 0) overlap.fetch_add(1);
                inside.fetch_sub(1);
                ReleaseMutex(mutex);
                served.fetch_add(1);
                SetEvent(done[i]);
            }
        });
    for (int round = 0; round < kRounds; ++round) {
        // Every worker at once, then wait for all of them to answer.
        for (int i = 0; i < kThreads; ++i) SetEvent(work[(i + round) % kThreads]);
        ASSERT_EQ(WaitForMultipleObjects(kThreads, done, TRUE, 10000), WAIT_OBJECT_0) << "round " << round;
    }
    SetEvent(quit);
    for (auto& t : workers) t.join();
    EXPECT_EQ(served.load(), kThreads * kRounds);
    EXPECT_EQ(overlap.load(), 0);
    for (int i = 0; i < kThreads; ++i) {
        CloseHandle(work[i]);
        CloseHandle(done[i]);
    }
    CloseHandle(mutex);
    CloseHandle(quit);
}

TEST_F(KernelTest, MutexIsRecursiveForItsOwnerAndRefusesReleaseByOthers) {
    HANDLE m = CreateMutexW(nullptr, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    DWORD other = 0;
    BOOL released = TRUE;
    std::thread([&] {
        other = WaitForSingleObject(m, 0);
        released = ReleaseMutex(m);
    }).join();
    EXPECT_EQ(other, WAIT_TIMEOUT);
    EXPECT_FALSE(released);
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_FALSE(ReleaseMutex(m));  // no longer owned: harmless failure
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_OWNER));
    std::thread([&] { other = WaitForSingleObject(m, 0); }).join();
    EXPECT_EQ(other, WAIT_OBJECT_0);
    CloseHandle(m);
}

// Runs body in a forked child and returns its exit code.
template <class F> int in_child(F body, int readyPipe = -1) {
    pid_t pid = fork();
    if (pid == 0) {
        int code = body();
        if (readyPipe >= 0) ::close(readyPipe);
        _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(KernelTest, NamedMutexExcludesAnotherProcessAndIsAbandonedWhenItsOwnerDies) {
    const char* name = "tarn.tsl:\\\\?\\hid#vid_7e51&pid_c52b#1";
    HANDLE m = CreateMutexA(nullptr, FALSE, name);
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);

    // Held here: the other process cannot take it.
    EXPECT_EQ(in_child([&] {
                  HANDLE c = CreateMutexA(nullptr, FALSE, name);
                  return WaitForSingleObject(c, 50) == WAIT_TIMEOUT ? 0 : 1;
              }),
              0);

    ASSERT_TRUE(ReleaseMutex(m));
    // Free: the child takes it and dies holding it.
    EXPECT_EQ(in_child([&] {
                  HANDLE c = CreateMutexA(nullptr, FALSE, name);
                  return WaitForSingleObject(c, 5000) == WAIT_OBJECT_0 ? 0 : 1;
              }),
              0);
    EXPECT_EQ(WaitForSingleObject(m, 5000), WAIT_ABANDONED);
    ASSERT_TRUE(ReleaseMutex(m));

    // Released properly, the next owner sees an ordinary wait.
    EXPECT_EQ(in_child([&] {
                  HANDLE c = CreateMutexA(nullptr, FALSE, name);
                  if (WaitForSingleObject(c, 5000) != WAIT_OBJECT_0) return 1;
                  return ReleaseMutex(c) ? 0 : 2;
              }),
              0);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    ReleaseMutex(m);
    CloseHandle(m);
}

TEST_F(KernelTest, NamedMutexWaitEndsWhenAnotherProcessReleases) {
    const char* name = "quillon-test-handover";
    HANDLE m = CreateMutexA(nullptr, FALSE, name);
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    pid_t pid = fork();
    if (pid == 0) {
        HANDLE c = CreateMutexA(nullptr, FALSE, name);
        int code = WaitForSingleObject(c, 5000) == WAIT_OBJECT_0 ? 0 : 1;
        char byte = 1;
        (void)!write(toParent[1], &byte, 1);  // holding it now
        (void)!read(toChild[0], &byte, 1);    // until told to let go
        if (!ReleaseMutex(c)) code = 2;
        _exit(code);
    }
    char byte;
    ASSERT_EQ(read(toParent[0], &byte, 1), 1);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_TIMEOUT);
    ASSERT_EQ(write(toChild[1], &byte, 1), 1);
    EXPECT_EQ(WaitForSingleObject(m, 10000), WAIT_OBJECT_0);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ReleaseMutex(m);
    CloseHandle(m);
    for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) close(fd);
}

// A handle type with pending reads, as a device handle would have.
class PendingReader : public platform::detail::KernelObject {
public:
    BOOL read(LPVOID, DWORD, LPDWORD, LPOVERLAPPED overlapped) override {
        platform::detail::overlapped_set_pending(overlapped);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pending = overlapped;
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    BOOL cancel_io(LPOVERLAPPED overlapped) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_pending || (overlapped && overlapped != m_pending)) {
            SetLastError(ERROR_NOT_FOUND);
            return FALSE;
        }
        platform::detail::complete_overlapped(m_pending, ERROR_OPERATION_ABORTED, 0);
        m_pending = nullptr;
        return TRUE;
    }
    void complete(DWORD bytes) {
        std::lock_guard<std::mutex> lock(m_mutex);
        platform::detail::complete_overlapped(m_pending, 0, bytes);
        m_pending = nullptr;
    }

private:
    std::mutex m_mutex;
    LPOVERLAPPED m_pending = nullptr;
};

TEST_F(KernelTest, OverlappedRecordCompletesFromAnotherThreadAndCancels) {
    auto reader = std::make_shared<PendingReader>();
    HANDLE h = platform::detail::insert_handle(reader);
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    char buffer[8];
    EXPECT_FALSE(ReadFile(h, buffer, sizeof buffer, nullptr, &ov));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    DWORD n = 0;
    EXPECT_FALSE(GetOverlappedResult(h, &ov, &n, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));

    std::thread completer([&] { reader->complete(7); });
    EXPECT_TRUE(GetOverlappedResult(h, &ov, &n, TRUE));
    completer.join();
    EXPECT_EQ(n, 7u);

    EXPECT_FALSE(ReadFile(h, buffer, sizeof buffer, nullptr, &ov));
    EXPECT_TRUE(CancelIoEx(h, &ov));
    EXPECT_EQ(WaitForSingleObject(ov.hEvent, 5000), WAIT_OBJECT_0);
    EXPECT_FALSE(GetOverlappedResult(h, &ov, &n, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_FALSE(CancelIo(h));
    CloseHandle(ov.hEvent);
    CloseHandle(h);
}

TEST_F(KernelTest, ChangeNotificationSignalsOnceUntilRearmedAndFollowsSubfolders) {
    ASSERT_TRUE(CreateDirectoryW(u"C:\\ProgramData\\Watched", nullptr));
    ASSERT_TRUE(CreateDirectoryW(u"C:\\ProgramData\\Watched\\Sub", nullptr));
    HANDLE change = FindFirstChangeNotificationW(u"C:\\ProgramData\\Watched", TRUE, FILE_NOTIFY_CHANGE_FILE_NAME);
    ASSERT_NE(change, INVALID_HANDLE_VALUE);
    EXPECT_EQ(WaitForSingleObject(change, 0), WAIT_TIMEOUT);

    ASSERT_TRUE(platform::sim::write_file("C:\\ProgramData\\Watched\\a.ini", "x"));
    EXPECT_EQ(WaitForSingleObject(change, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(change, 0), WAIT_OBJECT_0);  // stays signalled until re-armed
    ASSERT_TRUE(FindNextChangeNotification(change));

    ASSERT_TRUE(platform::sim::write_file("C:\\ProgramData\\Watched\\Sub\\b.ini", "y"));
    EXPECT_EQ(WaitForSingleObject(change, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(FindCloseChangeNotification(change));
    EXPECT_EQ(FindFirstChangeNotificationW(u"C:\\Missing", FALSE, FILE_NOTIFY_CHANGE_FILE_NAME), INVALID_HANDLE_VALUE);
}

struct Counting {
    CRITICAL_SECTION section;
    long value = 0;
};

DWORD countUnderSection(LPVOID parameter) {
    auto* c = static_cast<Counting*>(parameter);
    for (int i = 0; i < 1000; ++i) {
        EnterCriticalSection(&c->section);
        EnterCriticalSection(&c->section);  // recursive for its owner
        ++c->value;
        LeaveCriticalSection(&c->section);
        LeaveCriticalSection(&c->section);
    }
    return 17;
}

DWORD tryFromOtherThread(LPVOID parameter) {
    return TryEnterCriticalSection(&static_cast<Counting*>(parameter)->section);
}

TEST_F(KernelTest, ThreadHandlesSignalAtTheEndWithTheExitCodeAndCriticalSectionsExclude) {
    Counting c;
    InitializeCriticalSection(&c.section);
    DWORD ids[2] = {};
    HANDLE threads[2] = {CreateThread(nullptr, 0, countUnderSection, &c, 0, &ids[0]),
                         CreateThread(nullptr, 0, countUnderSection, &c, 0, &ids[1])};
    ASSERT_NE(threads[0], nullptr);
    ASSERT_NE(threads[1], nullptr);
    EXPECT_NE(ids[0], ids[1]);
    EXPECT_NE(ids[0], GetCurrentThreadId());
    ASSERT_EQ(WaitForMultipleObjects(2, threads, TRUE, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(c.value, 2000);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(threads[0], &code));
    EXPECT_EQ(code, 17u);
    EXPECT_FALSE(TerminateThread(threads[1], 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
    CloseHandle(threads[0]);
    CloseHandle(threads[1]);

    // Held here, the section cannot be entered by another thread.
    EnterCriticalSection(&c.section);
    HANDLE other = CreateThread(nullptr, 0, tryFromOtherThread, &c, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(other, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(other, &code));
    EXPECT_EQ(code, static_cast<DWORD>(FALSE));
    LeaveCriticalSection(&c.section);
    CloseHandle(other);
    DeleteCriticalSection(&c.section);
    EXPECT_EQ(CreateThread(nullptr, 0, countUnderSection, &c, CREATE_SUSPENDED, nullptr), nullptr);
}

TEST_F(KernelTest, DebugOutputIsCaptured) {
    OutputDebugStringA("first\n");
    OutputDebugStringW(u"zweite \u00e9\n");
    auto lines = platform::sim::debug_output();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "zweite \xc3\xa9\n");
    EXPECT_TRUE(platform::sim::wait_for_debug_output("first", 0));
}

}  // namespace
