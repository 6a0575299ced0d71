// Threads, critical sections, thread and process ids, sleeping and time.
#include "DebugOutput.h"
#include "KernelObject.h"
#include "Machine.h"

#include <sim/Kernel.h>

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <future>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

using namespace platform::detail;

void Sleep(DWORD milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

namespace {
const std::chrono::steady_clock::time_point g_boot = std::chrono::steady_clock::now();
}

ULONGLONG GetTickCount64() {
    return static_cast<ULONGLONG>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - g_boot).count()) +
           60000;  // the machine has been up for a minute
}

DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (!count) return FALSE;
    count->QuadPart = std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::steady_clock::now().time_since_epoch())
                          .count() /
                      100;
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (!frequency) return FALSE;
    frequency->QuadPart = 10000000;  // 100 ns ticks
    return TRUE;
}

DWORD GetCurrentThreadId() {
    // Cached per thread; a forked child's thread gets its own id.
    thread_local pid_t pid = 0;
    thread_local DWORD id = 0;
    pid_t now = ::getpid();
    if (pid != now) {
        pid = now;
        id = static_cast<DWORD>(::syscall(SYS_gettid));
    }
    return id;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }
HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }
HANDLE GetCurrentThread() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2)); }

// --- threads ---
namespace {

// A thread made by CreateThread; its handle is signalled once the start routine has returned.
class Thread : public KernelObject {
public:
    bool is_waitable() const override { return true; }
    bool is_signaled_locked(DWORD) override { return m_done; }
    void finish(DWORD code) {
        {
            std::lock_guard<std::mutex> lock(wait_mutex());
            m_exitCode = code;
            m_done = true;
        }
        notify_waiters(*this);
    }
    DWORD exit_code() {
        std::lock_guard<std::mutex> lock(wait_mutex());
        return m_done ? m_exitCode : STILL_ACTIVE;
    }

private:
    bool m_done = false;  // guarded by wait_mutex()
    DWORD m_exitCode = 0;
};

std::recursive_mutex* section_lock(LPCRITICAL_SECTION section) {
    auto* lock = section ? static_cast<std::recursive_mutex*>(section->DebugInfo) : nullptr;
    if (!lock) debug_append("critical section used without InitializeCriticalSection\n");
    return lock;
}

}  // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                    LPDWORD threadId) {
    if (!start || (flags & CREATE_SUSPENDED)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto thread = std::make_shared<Thread>();
    std::promise<DWORD> started;
    std::future<DWORD> id = started.get_future();
    try {
        std::thread([thread, start, parameter, &started] {
            started.set_value(GetCurrentThreadId());  // `started` is not touched after this
            thread->finish(start(parameter));
        }).detach();
    } catch (const std::system_error&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    DWORD newId = id.get();
    if (threadId) *threadId = newId;
    return insert_handle(thread);
}

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode) {
    auto thread = lookup_or_fail<Thread>(handle);
    if (!thread) return FALSE;
    if (!exitCode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *exitCode = thread->exit_code();
    return TRUE;
}

BOOL TerminateThread(HANDLE handle, DWORD) {
    if (!lookup_or_fail<Thread>(handle)) return FALSE;
    debug_append("TerminateThread is not supported; the thread keeps running\n");
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

// --- critical sections ---
void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    if (!section) return;
    *section = CRITICAL_SECTION{};
    section->DebugInfo = new std::recursive_mutex;
}

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION section, DWORD spinCount) {
    InitializeCriticalSection(section);
    if (section) section->SpinCount = spinCount;
    return TRUE;
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    if (auto* lock = section_lock(section)) lock->lock();
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    auto* lock = section_lock(section);
    return lock && lock->try_lock() ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    if (auto* lock = section_lock(section)) lock->unlock();
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    if (!section) return;
    delete static_cast<std::recursive_mutex*>(section->DebugInfo);
    section->DebugInfo = nullptr;
}
