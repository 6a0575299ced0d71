// Message queues and timers.
//
// Every thread that owns a window or pumps messages has a queue. A message sent from another thread
// waits in the target queue's sent list and is handled inside the target's GetMessageW/PeekMessageW
// before any posted message. All queue and window state is guarded by one lock; window procedures
// always run without it.
#include "Desktop.h"
#include "KernelObject.h"

#include <sim/Kernel.h>

#include <algorithm>
#include <deque>
#include <vector>

namespace platform::detail {

namespace {

// The queue that keeps a window's timers (the calling thread's for thread timers); null on failure.
std::shared_ptr<ThreadQueue> timer_queue_locked(Desktop& d, HWND hwnd) {
    if (!hwnd) return current_queue_locked(d);
    auto window = window_or_fail_locked(d, hwnd);
    return window ? window->queue : nullptr;
}

bool is_descendant_locked(Desktop& d, HWND child, HWND ancestor) {
    for (int depth = 0; child && depth < 64; ++depth) {
        if (child == ancestor) return true;
        auto w = find_window_locked(d, child);
        if (!w) return false;
        child = w->parent;
    }
    return false;
}

bool matches_locked(Desktop& d, const MSG& msg, HWND filter, UINT min, UINT max) {
    if (min != 0 || max != 0) {
        if (msg.message < min || msg.message > max) return false;
    }
    if (filter == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) return msg.hwnd == nullptr;
    if (filter) return is_descendant_locked(d, msg.hwnd, filter);
    return true;
}

// Handles the first message sent to this thread; false when there is none. Lock held on entry/exit.
bool handle_one_sent(std::unique_lock<std::mutex>& lock, Desktop& d, ThreadQueue& q) {
    if (q.sent.empty()) return false;
    auto sm = q.sent.front();
    q.sent.pop_front();
    sm->picked = true;
    auto window = find_window_locked(d, sm->hwnd);
    if (!window) {
        finish_sent_locked(sm, 0, true);
        return true;
    }
    WNDPROC proc = window->proc;
    lock.unlock();
    LRESULT result = proc(sm->hwnd, sm->message, sm->wParam, sm->lParam);
    lock.lock();
    finish_sent_locked(sm, result, false);
    return true;
}

DWORD message_time() { return GetTickCount(); }

// One pass of GetMessageW/PeekMessageW after sent messages were handled: posted, quit, timers.
// Returns 1 with a message, 0 with WM_QUIT, -1 with nothing.
int take_message_locked(Desktop& d, ThreadQueue& q, LPMSG msg, HWND filter, UINT min, UINT max, bool remove) {
    for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
        if (matches_locked(d, *it, filter, min, max)) {
            *msg = *it;
            if (remove) q.posted.erase(it);
            return 1;
        }
    }
    if (q.quit && ((min == 0 && max == 0) || (WM_QUIT >= min && WM_QUIT <= max))) {
        *msg = MSG{};
        msg->message = WM_QUIT;
        msg->wParam = static_cast<WPARAM>(q.quitCode);
        msg->time = message_time();
        if (remove) q.quit = false;
        return 0;
    }
    auto now = Clock::now();
    for (auto& timer : q.timers) {
        if (timer.due > now) continue;
        MSG m{};
        m.hwnd = timer.hwnd;
        m.message = WM_TIMER;
        m.wParam = timer.id;
        m.lParam = reinterpret_cast<LPARAM>(timer.proc);
        m.time = message_time();
        if (!matches_locked(d, m, filter, min, max)) continue;
        *msg = m;
        if (remove) timer.due = now + std::chrono::milliseconds(timer.elapse);
        return 1;
    }
    return -1;
}

Clock::time_point next_timer_locked(const ThreadQueue& q) {
    Clock::time_point next = Clock::time_point::max();
    for (const auto& timer : q.timers) next = std::min(next, timer.due);
    return next;
}

bool is_top_level(const Window& w) { return w.parent == nullptr && !w.messageOnly && !w.destroying; }

std::vector<HWND> top_level_windows() {
    auto& d = desktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    std::vector<std::shared_ptr<Window>> list;
    for (auto& entry : d.windows)
        if (is_top_level(*entry.second)) list.push_back(entry.second);
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a->order < b->order; });
    std::vector<HWND> result;
    for (auto& w : list) result.push_back(w->hwnd);
    return result;
}

}  // namespace

unsigned broadcast_timeout() {
    auto& d = desktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.broadcastTimeout;
}

void broadcast_message(UINT msg, WPARAM wParam, LPARAM lParam) {
    const unsigned timeout = broadcast_timeout();
    for (HWND hwnd : top_level_windows()) {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(hwnd, msg, wParam, lParam, SMTO_NORMAL, timeout, &result);
    }
}

}  // namespace platform::detail

using namespace platform::detail;

namespace {

int get_or_peek(LPMSG msg, HWND filter, UINT min, UINT max, bool wait, bool remove) {
    auto& d = desktop();
    std::unique_lock<std::mutex> lock(d.mutex);
    if (filter && filter != reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)) && !find_window_locked(d, filter)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -2;
    }
    auto q = current_queue_locked(d);
    for (;;) {
        while (handle_one_sent(lock, d, *q)) {
        }
        int got = take_message_locked(d, *q, msg, filter, min, max, remove);
        if (got >= 0) return got;
        if (!wait) return -1;
        auto next = next_timer_locked(*q);
        if (next == Clock::time_point::max())
            q->cv.wait(lock);
        else
            q->cv.wait_until(lock, next);
    }
}

}  // namespace

BOOL GetMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
    if (!msg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    int got = get_or_peek(msg, window, filterMin, filterMax, true, true);
    if (got == -2) return -1;
    return got == 1 && msg->message == WM_QUIT ? 0 : got;  // a posted WM_QUIT ends the loop too
}

BOOL PeekMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMessage) {
    if (!msg) return FALSE;
    int got = get_or_peek(msg, window, filterMin, filterMax, false, (removeMessage & PM_REMOVE) != 0);
    return got >= 0 ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageW(const MSG* msg) {
    if (!msg) return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    if (!msg->hwnd) return 0;
    if (!IsWindow(msg->hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return call_window(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hwnd == HWND_BROADCAST) {
        for (HWND target : top_level_windows()) PostMessageW(target, message, wParam, lParam);
        return TRUE;
    }
    auto& d = desktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    std::shared_ptr<ThreadQueue> q;
    if (!hwnd) {
        q = current_queue_locked(d);
    } else {
        auto w = window_or_fail_locked(d, hwnd);
        if (!w) return FALSE;
        q = w->queue;
    }
    MSG m{};
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = message_time();
    q->posted.push_back(m);
    q->cv.notify_all();
    return TRUE;
}

BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
    auto& d = desktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    auto it = d.queues.find(threadId);
    if (it == d.queues.end() || !it->second->alive) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    MSG m{};
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = message_time();
    it->second->posted.push_back(m);
    it->second->cv.notify_all();
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    auto& d = desktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    auto q = current_queue_locked(d);
    q->quit = true;
    q->quitCode = exitCode;
    q->cv.notify_all();
}

LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_NORMAL, INFINITE, &result);
    return static_cast<LRESULT>(result);
}

namespace platform::detail {
namespace {

LRESULT send_message_timeout(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeout,
                             PDWORD_PTR result, std::shared_ptr<const void> data) {
    if (result) *result = 0;
    if (hwnd == HWND_BROADCAST) {
        for (HWND target : top_level_windows())
            send_message_timeout(target, message, wParam, lParam, flags, timeout, nullptr, data);
        return TRUE;
    }
    auto& d = desktop();
    std::unique_lock<std::mutex> lock(d.mutex);
    auto window = window_or_fail_locked(d, hwnd);
    if (!window) return 0;
    if (window->queue->thread == GetCurrentThreadId()) {
        WNDPROC proc = window->proc;
        lock.unlock();
        LRESULT r = proc(hwnd, message, wParam, lParam);
        if (result) *result = static_cast<DWORD_PTR>(r);
        return TRUE;
    }
    auto self = current_queue_locked(d);
    auto sm = std::make_shared<SentMessage>();
    sm->hwnd = hwnd;
    sm->message = message;
    sm->wParam = wParam;
    sm->lParam = lParam;
    sm->data = std::move(data);
    sm->sender = self;
    auto target = window->queue;
    target->sent.push_back(sm);
    target->cv.notify_all();
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout);
    while (!sm->done) {
        // Unless blocked, answer messages sent to this thread meanwhile (two threads sending to
        // each other would otherwise wait for ever).
        if (!(flags & SMTO_BLOCK) && handle_one_sent(lock, d, *self)) continue;
        if (timeout == INFINITE) {
            self->cv.wait(lock);
        } else if (self->cv.wait_until(lock, deadline) == std::cv_status::timeout && !sm->done) {
            // As on Windows, the time-out ends the wait even while the target is handling the
            // message: a handler that is still at work may write through the parameters later,
            // so what they point at must outlive this call (the sender's business, as there).
            auto& sent = target->sent;
            sent.erase(std::remove(sent.begin(), sent.end(), sm), sent.end());
            SetLastError(ERROR_TIMEOUT);
            return 0;
        }
    }
    if (sm->failed) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (result) *result = static_cast<DWORD_PTR>(sm->result);
    return TRUE;
}

}  // namespace

LRESULT send_message_with_data(HWND hwnd, UINT message, WPARAM wParam, std::shared_ptr<const void> data, UINT flags,
                               UINT timeout, PDWORD_PTR result) {
    const auto lParam = reinterpret_cast<LPARAM>(data.get());
    return send_message_timeout(hwnd, message, wParam, lParam, flags, timeout, result, std::move(data));
}

}  // namespace platform::detail

LRESULT SendMessageTimeoutW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT flags, UINT timeout,
                            PDWORD_PTR result) {
    return platform::detail::send_message_timeout(hwnd, message, wParam, lParam, flags, timeout, result, nullptr);
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC timerFunc) {
    auto& d = desktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    auto q = timer_queue_locked(d, hwnd);
    if (!q) return 0;
    if (!hwnd) {
        bool known = false;
        for (auto& t : q->timers) known = known || (t.hwnd == nullptr && t.id == id);
        if (!known) id = d.nextThreadTimer++;
    }
    elapse = std::max<UINT>(elapse, 1);
    Timer timer{hwnd, id, elapse, timerFunc, Clock::now() + std::chrono::milliseconds(elapse)};
    auto existing = std::find_if(q->timers.begin(), q->timers.end(),
                                 [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (existing != q->timers.end())
        *existing = timer;
    else
        q->timers.push_back(timer);
    q->cv.notify_all();
    return id != 0 ? id : 1;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    auto& d = desktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    auto q = timer_queue_locked(d, hwnd);
    if (!q) return FALSE;
    auto it = std::find_if(q->timers.begin(), q->timers.end(),
                           [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it == q->timers.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    q->timers.erase(it);
    // A WM_TIMER already taken is not recalled; none is generated from now on.
    return TRUE;
}

namespace platform::sim {

size_t pending_sent_messages(HWND window) {
    auto& d = desktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    auto w = find_window_locked(d, window);
    return w ? w->queue->sent.size() : 0;
}

void set_broadcast_timeout(unsigned milliseconds) {
    auto& d = desktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    d.broadcastTimeout = milliseconds;
}

void broadcast_power(WPARAM event) { broadcast_message(WM_POWERBROADCAST, event, 0); }

}  // namespace platform::sim
