// Windows: classes, creation and destruction, window data and visibility (message queues and
// timers are in MessageQueue.cpp).
//
// Every thread that owns a window has a queue; a thread that ends takes its windows with it. All
// queue and window state is guarded by one lock; window procedures always run without it.
#include "Desktop.h"
#include "KernelObject.h"
#include "Machine.h"

#include <sim/Kernel.h>

#include <algorithm>
#include <vector>

namespace platform::detail {

// Never destroyed: threads may still end (and clean up their queue) during static destruction.
Desktop& desktop() {
    static Desktop* d = new Desktop;
    return *d;
}

namespace {

void cleanup_thread_locked(Desktop& d, const std::shared_ptr<ThreadQueue>& q);

struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueHolder() {
        if (!queue) return;
        auto& d = desktop();
        std::lock_guard<std::mutex> lock(d.mutex);
        cleanup_thread_locked(d, queue);
    }
};

thread_local QueueHolder t_queue;

}  // namespace

// The calling thread's queue, made on first use. Caller holds the desktop lock.
std::shared_ptr<ThreadQueue> current_queue_locked(Desktop& d) {
    if (!t_queue.queue || !t_queue.queue->alive) {
        auto q = std::make_shared<ThreadQueue>();
        q->thread = GetCurrentThreadId();
        d.queues[q->thread] = q;
        t_queue.queue = q;
    }
    return t_queue.queue;
}

std::shared_ptr<Window> find_window_locked(Desktop& d, HWND hwnd) {
    auto it = d.windows.find(reinterpret_cast<std::uintptr_t>(hwnd));
    return it == d.windows.end() ? nullptr : it->second;
}

// As find_window_locked, but sets ERROR_INVALID_WINDOW_HANDLE when there is no such window.
std::shared_ptr<Window> window_or_fail_locked(Desktop& d, HWND hwnd) {
    auto window = find_window_locked(d, hwnd);
    if (!window) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return window;
}

void finish_sent_locked(const std::shared_ptr<SentMessage>& sm, LRESULT result, bool failed) {
    sm->result = result;
    sm->failed = failed;
    sm->done = true;
    if (sm->sender) sm->sender->cv.notify_all();
}

namespace {

// Drops a window from the tables: its timers, posted messages and unhandled sent messages go too.
void remove_window_locked(Desktop& d, HWND hwnd) {
    auto window = find_window_locked(d, hwnd);
    if (!window) return;
    d.windows.erase(reinterpret_cast<std::uintptr_t>(hwnd));
    auto& q = *window->queue;
    q.timers.erase(std::remove_if(q.timers.begin(), q.timers.end(), [&](const Timer& t) { return t.hwnd == hwnd; }),
                   q.timers.end());
    q.posted.erase(std::remove_if(q.posted.begin(), q.posted.end(), [&](const MSG& m) { return m.hwnd == hwnd; }),
                   q.posted.end());
    for (auto it = q.sent.begin(); it != q.sent.end();) {
        if ((*it)->hwnd == hwnd) {
            finish_sent_locked(*it, 0, true);
            it = q.sent.erase(it);
        } else {
            ++it;
        }
    }
}

// A thread that ends takes its windows with it (without messages) and fails what was sent to it.
void cleanup_thread_locked(Desktop& d, const std::shared_ptr<ThreadQueue>& q) {
    q->alive = false;
    std::vector<HWND> owned;
    for (auto& entry : d.windows)
        if (entry.second->queue == q) owned.push_back(entry.second->hwnd);
    for (HWND hwnd : owned) remove_window_locked(d, hwnd);
    for (auto& sm : q->sent) finish_sent_locked(sm, 0, true);
    q->sent.clear();
    q->posted.clear();
    q->timers.clear();
    auto it = d.queues.find(q->thread);
    if (it != d.queues.end() && it->second == q) d.queues.erase(it);
}

}  // namespace

LRESULT call_window(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc = nullptr;
    {
        auto& d = desktop();
        std::lock_guard<std::mutex> lock(d.mutex);
        if (auto w = find_window_locked(d, hwnd)) proc = w->proc;
    }
    return proc ? proc(hwnd, message, wParam, lParam) : 0;
}

namespace {

const WindowClass* find_class_locked(Desktop& d, LPCWSTR name) {
    auto atom = reinterpret_cast<std::uintptr_t>(name);
    if (atom < 0x10000) {
        for (auto& entry : d.classes)
            if (entry.second.atom == atom) return &entry.second;
        return nullptr;
    }
    auto it = d.classes.find(lower(std::u16string(name)));
    return it == d.classes.end() ? nullptr : &it->second;
}

}  // namespace

}  // namespace platform::detail

using namespace platform::detail;

ATOM RegisterClassW(const WNDCLASSW* windowClass) {
    if (!windowClass || !windowClass->lpszClassName || !windowClass->lpfnWndProc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto& d = desktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    std::u16string key = lower(std::u16string(windowClass->lpszClassName));
    if (d.classes.count(key)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    ATOM atom = d.nextAtom++;
    d.classes[key] = WindowClass{windowClass->lpszClassName, windowClass->lpfnWndProc, windowClass->hInstance, atom};
    return atom;
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE) {
    auto& d = desktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    const WindowClass* cls = className ? find_class_locked(d, className) : nullptr;
    if (!cls) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    std::u16string key = lower(cls->name);
    d.classes.erase(key);
    return TRUE;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
    auto& d = desktop();
    HWND hwnd;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        const WindowClass* cls = className ? find_class_locked(d, className) : nullptr;
        if (!cls) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        bool messageOnly = parent == HWND_MESSAGE;
        if (parent && !messageOnly && !find_window_locked(d, parent)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        auto window = std::make_shared<Window>();
        hwnd = reinterpret_cast<HWND>(d.nextWindow);
        d.nextWindow += 4;
        window->hwnd = hwnd;
        window->proc = cls->proc;
        window->queue = current_queue_locked(d);
        window->parent = messageOnly ? nullptr : parent;
        window->messageOnly = messageOnly;
        window->style = style;
        window->exStyle = exStyle;
        window->instance = instance;
        window->title = wide_string(windowName);
        window->order = d.nextOrder++;
        d.windows[reinterpret_cast<std::uintptr_t>(hwnd)] = window;
    }
    CREATESTRUCTW cs{};
    cs.lpCreateParams = param;
    cs.hInstance = instance;
    cs.hMenu = menu;
    cs.hwndParent = parent;
    cs.cy = height;
    cs.cx = width;
    cs.y = y;
    cs.x = x;
    cs.style = static_cast<LONG>(style);
    cs.lpszName = windowName;
    cs.lpszClass = className;
    cs.dwExStyle = exStyle;
    if (call_window(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) == 0) {
        call_window(hwnd, WM_NCDESTROY, 0, 0);
        std::lock_guard<std::mutex> lock(d.mutex);
        remove_window_locked(d, hwnd);
        return nullptr;
    }
    if (call_window(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (style & WS_VISIBLE) {
        std::lock_guard<std::mutex> lock(d.mutex);
        if (auto w = find_window_locked(d, hwnd)) w->visible = true;
    }
    return hwnd;
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_DEVICECHANGE:
    case WM_POWERBROADCAST:
        return TRUE;
    case WM_SETTEXT: {
        auto& d = desktop();
        std::lock_guard<std::mutex> lock(d.mutex);
        if (auto w = find_window_locked(d, window)) w->title = wide_string(reinterpret_cast<LPCWSTR>(lParam));
        return TRUE;
    }
    case WM_GETTEXT: {
        auto& d = desktop();
        std::lock_guard<std::mutex> lock(d.mutex);
        auto w = find_window_locked(d, window);
        if (!w || wParam == 0 || !lParam) return 0;
        auto* out = reinterpret_cast<LPWSTR>(lParam);
        size_t n = std::min<size_t>(w->title.size(), wParam - 1);
        std::copy(w->title.begin(), w->title.begin() + static_cast<std::ptrdiff_t>(n), out);
        out[n] = 0;
        return static_cast<LRESULT>(n);
    }
    default:
        return 0;
    }
}

BOOL DestroyWindow(HWND hwnd) {
    auto& d = desktop();
    std::vector<HWND> children;
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        auto window = window_or_fail_locked(d, hwnd);
        if (!window) return FALSE;
        if (window->queue->thread != GetCurrentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (window->destroying) return TRUE;
        window->destroying = true;
        window->visible = false;
        for (auto& entry : d.windows)
            if (entry.second->parent == hwnd) children.push_back(entry.second->hwnd);
    }
    call_window(hwnd, WM_DESTROY, 0, 0);
    for (HWND child : children) DestroyWindow(child);
    call_window(hwnd, WM_NCDESTROY, 0, 0);
    std::lock_guard<std::mutex> lock(d.mutex);
    remove_window_locked(d, hwnd);
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    auto& d = desktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    return find_window_locked(d, hwnd) ? TRUE : FALSE;
}

LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
    auto& d = desktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    auto w = window_or_fail_locked(d, hwnd);
    if (!w) return 0;
    LONG_PTR old = 0;
    switch (index) {
    case GWLP_USERDATA:
        old = w->userData;
        w->userData = value;
        break;
    case GWLP_WNDPROC:
        old = reinterpret_cast<LONG_PTR>(w->proc);
        w->proc = reinterpret_cast<WNDPROC>(value);
        break;
    case GWLP_ID:
        old = w->id;
        w->id = value;
        break;
    case GWL_STYLE:
        old = w->style;
        w->style = static_cast<DWORD>(value);
        break;
    case GWL_EXSTYLE:
        old = w->exStyle;
        w->exStyle = static_cast<DWORD>(value);
        break;
    default:
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return old;
}

LONG_PTR GetWindowLongPtrW(HWND hwnd, int index) {
    auto& d = desktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    auto w = window_or_fail_locked(d, hwnd);
    if (!w) return 0;
    switch (index) {
    case GWLP_USERDATA:
        return w->userData;
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_ID:
        return w->id;
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
        return reinterpret_cast<LONG_PTR>(w->parent);
    case GWL_STYLE:
        return w->style | (w->visible ? WS_VISIBLE : 0);
    case GWL_EXSTYLE:
        return w->exStyle;
    default:
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
}

BOOL ShowWindow(HWND hwnd, int command) {
    auto& d = desktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    auto w = window_or_fail_locked(d, hwnd);
    if (!w) return FALSE;
    BOOL wasVisible = w->visible ? TRUE : FALSE;
    w->visible = command != SW_HIDE;
    return wasVisible;
}

BOOL IsWindowVisible(HWND hwnd) {
    auto& d = desktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    auto w = find_window_locked(d, hwnd);
    return w && w->visible ? TRUE : FALSE;
}

DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD processId) {
    auto& d = desktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    auto w = window_or_fail_locked(d, hwnd);
    if (!w) return 0;
    if (processId) *processId = GetCurrentProcessId();
    return w->queue->thread;
}

namespace platform::sim {

size_t window_count() {
    auto& d = desktop();
    std::lock_guard<std::mutex> lock(d.mutex);
    return d.windows.size();
}

}  // namespace platform::sim
