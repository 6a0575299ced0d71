// Internal: the desktop's windows and the threads' message queues, shared by the window functions
// (WindowManager.cpp) and the message and timer functions (MessageQueue.cpp). All queue and window
// state is guarded by the desktop's one lock; the *_locked functions are called with it held.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform::detail {

using Clock = std::chrono::steady_clock;

struct ThreadQueue;

struct SentMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::shared_ptr<ThreadQueue> sender;
    bool picked = false;
    bool done = false;
    bool failed = false;
    LRESULT result = 0;
    std::shared_ptr<const void> data;  // what lParam points at, when the system owns it
};

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT elapse;
    TIMERPROC proc;
    Clock::time_point due;
};

struct ThreadQueue {
    DWORD thread = 0;
    std::condition_variable cv;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    std::vector<Timer> timers;
    bool quit = false;
    int quitCode = 0;
    bool alive = true;
};

struct WindowClass {
    std::u16string name;
    WNDPROC proc;
    HINSTANCE instance;
    ATOM atom;
};

struct Window {
    HWND hwnd;
    WNDPROC proc;
    std::shared_ptr<ThreadQueue> queue;
    HWND parent = nullptr;
    bool messageOnly = false;
    bool destroying = false;
    bool visible = false;
    LONG_PTR userData = 0;
    LONG_PTR id = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    HINSTANCE instance = nullptr;
    std::u16string title;
    std::uint64_t order = 0;
};

struct Desktop {
    std::mutex mutex;
    std::map<std::u16string, WindowClass> classes;  // key: lower-case name
    std::map<std::uintptr_t, std::shared_ptr<Window>> windows;
    std::map<DWORD, std::shared_ptr<ThreadQueue>> queues;
    std::uintptr_t nextWindow = 0x20000;
    std::uint64_t nextOrder = 1;
    ATOM nextAtom = 0xC000;
    UINT_PTR nextThreadTimer = 0x7FF0;
    unsigned broadcastTimeout = 10000;
};

Desktop& desktop();
std::shared_ptr<ThreadQueue> current_queue_locked(Desktop& d);
std::shared_ptr<Window> find_window_locked(Desktop& d, HWND hwnd);
std::shared_ptr<Window> window_or_fail_locked(Desktop& d, HWND hwnd);
// Ends a sent message's wait with its result (failed: the window was gone).
void finish_sent_locked(const std::shared_ptr<SentMessage>& sm, LRESULT result, bool failed);
// Calls a window's procedure without the lock; 0 when there is no such window.
LRESULT call_window(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace platform::detail
