// Internal: the handle model of the stand-in kernel, shared by every part of platform/src.
//
// Every HANDLE maps to a KernelObject in one thread-safe table. CloseHandle, the waits and the
// file I/O calls look the object up and dispatch to its virtual hooks, so other parts (device
// handles, change notifications) add their own handle types by deriving from KernelObject.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform::detail {

// All signal state of waitable objects changes under this one lock; every change that may wake a
// waiter is followed by notify_waiters() (called without the lock held).
std::mutex& wait_mutex();
class KernelObject;
// Wakes every blocked waiter; for changes not tied to one object.
void notify_waiters();
// Wakes only the threads blocked on this object: a busy process has many waiting threads, and
// waking them all at each signal costs more than the work itself.
void notify_waiters(KernelObject& object);
struct Waiter;  // a thread blocked in wait_objects

class KernelObject : public std::enable_shared_from_this<KernelObject> {
public:
    virtual ~KernelObject() = default;

    // --- waiting (called with wait_mutex() held; thread is GetCurrentThreadId of the waiter) ---
    virtual bool is_waitable() const { return false; }
    virtual bool is_signaled_locked(DWORD /*thread*/) { return false; }
    // Takes the object for a satisfied wait (auto-reset consumption, mutex ownership). Returns
    // true when the wait was satisfied by an abandoned mutex.
    virtual bool acquire_locked(DWORD /*thread*/) { return false; }
    // Undoes what is_signaled_locked prepared when a wait-all could not be satisfied.
    virtual void unprobe_locked(DWORD /*thread*/) {}
    // True when the state can change without notify_waiters() (other processes): waits poll.
    virtual bool needs_polling() const { return false; }

    // --- I/O (defaults fail with ERROR_INVALID_HANDLE) ---
    virtual BOOL read(LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped);
    virtual BOOL write(LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped);
    // Default: the generic overlapped record protocol below (waits on hEvent when asked).
    virtual BOOL get_overlapped_result(LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait);
    // overlapped null: every operation of this handle. Default: nothing to cancel (ERROR_NOT_FOUND).
    virtual BOOL cancel_io(LPOVERLAPPED overlapped);
    virtual DWORD file_size(LPDWORD high);
    // Called once when the last handle to the object is closed (pending I/O ends with 995 here).
    virtual void on_close() {}

    std::atomic<int> m_handle_count{0};
    std::vector<Waiter*> m_waiters;  // guarded by wait_mutex()
};

// --- handle table ---
HANDLE insert_handle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> lookup_handle(HANDLE handle);  // null for invalid/closed handles
template <class T> std::shared_ptr<T> lookup_handle_as(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(lookup_handle(handle));
}
bool close_handle(HANDLE handle);  // false (no SetLastError) when the handle is unknown
// As lookup_handle_as, but sets ERROR_INVALID_HANDLE when the handle is not a T.
template <class T = KernelObject> std::shared_ptr<T> lookup_or_fail(HANDLE handle) {
    auto object = lookup_handle_as<T>(handle);
    if (!object) SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

// --- events, usable by any part ---
class Event : public KernelObject {
public:
    Event(bool manualReset, bool initial) : m_manual(manualReset), m_signaled(initial) {}
    bool is_waitable() const override { return true; }
    bool is_signaled_locked(DWORD) override { return m_signaled; }
    bool acquire_locked(DWORD) override {
        if (!m_manual) m_signaled = false;
        return false;
    }
    void set();
    void reset();

private:
    const bool m_manual;
    bool m_signaled;  // guarded by wait_mutex()
};

// Waits for one or more objects like WaitForMultipleObjects (WAIT_OBJECT_0 + i, WAIT_ABANDONED_0 + i,
// WAIT_TIMEOUT).
DWORD wait_objects(const std::shared_ptr<KernelObject>* objects, DWORD count, bool waitAll, DWORD milliseconds);

// --- overlapped records ---
// An operation in progress has Internal == STATUS_PENDING; completion stores the byte count and the
// Win32 error (0 = success), then signals hEvent (when it is a valid event) and wakes waiters.
// These functions may be called from any thread.
void overlapped_set_pending(LPOVERLAPPED overlapped);
void complete_overlapped(LPOVERLAPPED overlapped, DWORD error, DWORD bytes);
// Reads the state: false while pending; otherwise error and bytes are filled.
bool overlapped_result(const OVERLAPPED* overlapped, DWORD* error, DWORD* bytes);
// GetOverlappedResult's answer from the record alone, waiting on its event (or the record) if asked.
BOOL wait_overlapped_result(LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait);

// --- CreateFileW dispatch ---
// Paths beginning with \\?\ or \\.\ go to the device-open hook (device interfaces). Without a hook
// such opens fail with ERROR_FILE_NOT_FOUND. The hook returns a handle from insert_handle, or
// INVALID_HANDLE_VALUE after SetLastError.
using DeviceOpenHook = HANDLE (*)(LPCWSTR path, DWORD access, DWORD shareMode, DWORD creation, DWORD flags);
void set_device_open_hook(DeviceOpenHook hook);

// --- built-in modules (LoadLibraryW / GetProcAddress) ---
// Adds entry points to a module ("hid.dll"); names match case-insensitively, ".dll" may be omitted
// by callers of LoadLibraryW. Registering again merges the entries.
void register_module(const std::string& name, const std::map<std::string, FARPROC>& entries);

// --- messages ---
// Sends msg synchronously (as SendMessageW, bounded by the broadcast time-out) to every top-level
// window of the process, in creation order. Message-only windows are not reached.
void broadcast_message(UINT msg, WPARAM wParam, LPARAM lParam);
// How long a broadcast waits for each window (platform::sim::set_broadcast_timeout).
unsigned broadcast_timeout();
// SendMessageTimeoutW whose lParam is `data`, kept alive until the target has handled the message:
// the system's own messages carry data the system owns, which a handler slower than the time-out
// may still read after the send has returned.
LRESULT send_message_with_data(HWND hwnd, UINT message, WPARAM wParam, std::shared_ptr<const void> data, UINT flags,
                               UINT timeout, PDWORD_PTR result);

// --- simulated machine ---
// Called by platform::sim::reset_machine() after the kernel's own state was reset.
void add_reset_hook(void (*hook)());
// Host path of a Windows path below the machine root (case-insensitive match of existing entries).
std::string host_path(const std::u16string& windowsPath);

// --- text helpers ---
// Strict UTF-8 decoding: false when the input holds an invalid sequence (each replaced by U+FFFD).
bool decode_utf8(const char* text, size_t length, std::u16string& out);
std::u16string utf8_to_utf16(const std::string& text);  // invalid sequences become U+FFFD
std::string utf16_to_utf8(const std::u16string& text);
std::u16string wide_string(LPCWSTR text);  // null -> empty
std::u16string lower(std::u16string text);  // ASCII letters only
std::string lower(std::string text);

}  // namespace platform::detail
