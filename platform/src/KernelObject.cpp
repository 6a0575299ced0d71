// Handle table, waits, event state, overlapped records and last error.
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

namespace platform::detail {

namespace {

std::condition_variable& wait_cv() {
    static std::condition_variable& cv = *new std::condition_variable;  // never destroyed: threads may still use it at exit
    return cv;
}

struct HandleTable {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
    std::uintptr_t next = 0x1000;
};

HandleTable& handles() {
    static HandleTable& table = *new HandleTable;
    return table;
}

thread_local DWORD t_last_error = 0;

}  // namespace

std::mutex& wait_mutex() {
    static std::mutex& m = *new std::mutex;
    return m;
}

// Shared: a signaller that lets go of the wait lock before it wakes the thread keeps the waiter
// alive, even when the thread has left its wait meanwhile.
struct Waiter : std::enable_shared_from_this<Waiter> {
    std::condition_variable cv;
};

namespace {
// The threads blocked on an object, taken under the wait lock and woken once it is let go, so a
// woken thread does not run straight into the lock its waker still holds. Declared before the
// lock it is filled under.
class DeferredWake {
public:
    DeferredWake() = default;
    DeferredWake(const DeferredWake&) = delete;
    DeferredWake& operator=(const DeferredWake&) = delete;
    ~DeferredWake() {
        for (std::size_t i = 0; i < m_count; ++i) m_waiters[i]->cv.notify_one();
    }
    // Under wait_mutex(). Beyond the room kept here, waiters are woken at once.
    void add(const std::vector<Waiter*>& waiters) {
        for (Waiter* waiter : waiters) {
            if (m_count < m_waiters.size())
                m_waiters[m_count++] = waiter->shared_from_this();
            else
                waiter->cv.notify_one();
        }
    }

private:
    std::array<std::shared_ptr<Waiter>, 8> m_waiters;
    std::size_t m_count = 0;
};

std::vector<Waiter*>& all_waiters() {  // guarded by wait_mutex()
    static std::vector<Waiter*>& waiters = *new std::vector<Waiter*>;
    return waiters;
}

void remove_waiter(std::vector<Waiter*>& list, Waiter* waiter) {
    auto it = std::find(list.begin(), list.end(), waiter);
    if (it != list.end()) {
        *it = list.back();
        list.pop_back();
    }
}

// Registers a blocked thread with the objects it waits on, for as long as it waits.
class WaiterRegistration {
public:
    WaiterRegistration(const std::shared_ptr<KernelObject>* objects, DWORD count)
        : m_objects(objects), m_count(count) {}
    ~WaiterRegistration() {
        if (!m_waiter) return;
        for (DWORD i = 0; i < m_count; ++i) remove_waiter(m_objects[i]->m_waiters, m_waiter.get());
        remove_waiter(all_waiters(), m_waiter.get());
    }
    // Made when the thread first blocks: a wait that is satisfied at once needs none.
    Waiter& ensure() {
        if (m_waiter) return *m_waiter;
        m_waiter = std::make_shared<Waiter>();
        for (DWORD i = 0; i < m_count; ++i) m_objects[i]->m_waiters.push_back(m_waiter.get());
        all_waiters().push_back(m_waiter.get());
        return *m_waiter;
    }

private:
    std::shared_ptr<Waiter> m_waiter;
    const std::shared_ptr<KernelObject>* m_objects;
    DWORD m_count;
};
}  // namespace

void notify_waiters() {
    std::lock_guard<std::mutex> lock(wait_mutex());
    for (Waiter* waiter : all_waiters()) waiter->cv.notify_one();
    wait_cv().notify_all();
}

void notify_waiters(KernelObject& object) {
    DeferredWake wake;
    std::lock_guard<std::mutex> lock(wait_mutex());
    wake.add(object.m_waiters);
}

// --- KernelObject defaults ---
BOOL KernelObject::read(LPVOID, DWORD, LPDWORD, LPOVERLAPPED) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL KernelObject::write(LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL KernelObject::get_overlapped_result(LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) {
    return wait_overlapped_result(overlapped, transferred, wait);
}

BOOL wait_overlapped_result(LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) {
    if (!overlapped) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD error = 0, bytes = 0;
    if (!overlapped_result(overlapped, &error, &bytes)) {
        if (!wait) {
            SetLastError(ERROR_IO_INCOMPLETE);
            return FALSE;
        }
        if (overlapped->hEvent) {
            if (WaitForSingleObject(overlapped->hEvent, INFINITE) == WAIT_FAILED) return FALSE;
        }
        // Without an event (or when the event was reset by someone else) wait for the record itself.
        std::unique_lock<std::mutex> lock(wait_mutex());
        wait_cv().wait(lock, [&] { return overlapped_result(overlapped, &error, &bytes); });
    }
    if (transferred) *transferred = bytes;
    if (error != 0) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

BOOL KernelObject::cancel_io(LPOVERLAPPED) {
    SetLastError(ERROR_NOT_FOUND);
    return FALSE;
}

DWORD KernelObject::file_size(LPDWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
}

// --- handle table ---
HANDLE insert_handle(std::shared_ptr<KernelObject> object) {
    auto& table = handles();
    std::lock_guard<std::mutex> lock(table.mutex);
    std::uintptr_t value = table.next;
    table.next += 4;  // never reused: a stale handle stays invalid
    object->m_handle_count.fetch_add(1);
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> lookup_handle(HANDLE handle) {
    auto& table = handles();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == table.objects.end()) return nullptr;
    return it->second;
}

bool close_handle(HANDLE handle) {
    std::shared_ptr<KernelObject> object;
    {
        auto& table = handles();
        std::lock_guard<std::mutex> lock(table.mutex);
        auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == table.objects.end()) return false;
        object = std::move(it->second);
        table.objects.erase(it);
    }
    if (object->m_handle_count.fetch_sub(1) == 1) object->on_close();
    return true;
}

// --- events ---
void Event::set() {
    DeferredWake wake;
    std::lock_guard<std::mutex> lock(wait_mutex());
    m_signaled = true;
    wake.add(m_waiters);
}

void Event::reset() {
    std::lock_guard<std::mutex> lock(wait_mutex());
    m_signaled = false;
}

// --- waits ---
DWORD wait_objects(const std::shared_ptr<KernelObject>* objects, DWORD count, bool waitAll, DWORD milliseconds) {
    const DWORD self = GetCurrentThreadId();
    bool polling = false;
    for (DWORD i = 0; i < count; ++i) polling = polling || objects[i]->needs_polling();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    std::unique_lock<std::mutex> lock(wait_mutex());
    WaiterRegistration registration(objects, count);  // leaves (under the lock) before it is released
    for (;;) {
        if (!waitAll) {
            for (DWORD i = 0; i < count; ++i) {
                if (objects[i]->is_signaled_locked(self)) {
                    bool abandoned = objects[i]->acquire_locked(self);
                    return (abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i;
                }
            }
        } else {
            bool all = true;
            for (DWORD i = 0; i < count && all; ++i) all = objects[i]->is_signaled_locked(self);
            if (all) {
                bool abandoned = false;
                for (DWORD i = 0; i < count; ++i) abandoned = objects[i]->acquire_locked(self) || abandoned;
                return abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0;
            }
            for (DWORD i = 0; i < count; ++i) objects[i]->unprobe_locked(self);
        }
        if (milliseconds == 0) return WAIT_TIMEOUT;
        const auto now = std::chrono::steady_clock::now();
        if (milliseconds != INFINITE && now >= deadline) return WAIT_TIMEOUT;
        Waiter& waiter = registration.ensure();
        if (polling) {
            auto slice = now + std::chrono::milliseconds(2);
            waiter.cv.wait_until(lock, milliseconds == INFINITE ? slice : std::min(slice, deadline));
        } else if (milliseconds == INFINITE) {
            waiter.cv.wait(lock);
        } else {
            waiter.cv.wait_until(lock, deadline);
        }
    }
}

// --- overlapped records ---
void overlapped_set_pending(LPOVERLAPPED overlapped) {
    __atomic_store_n(&overlapped->InternalHigh, 0, __ATOMIC_RELAXED);
    __atomic_store_n(&overlapped->Internal, static_cast<ULONG_PTR>(STATUS_PENDING), __ATOMIC_RELEASE);
}

namespace {
// Errors are kept apart from STATUS_PENDING (0x103 is also ERROR_NO_MORE_ITEMS).
constexpr ULONG_PTR kErrorTag = 0xE0000000ull;
}  // namespace

void complete_overlapped(LPOVERLAPPED overlapped, DWORD error, DWORD bytes) {
    HANDLE event = overlapped->hEvent;
    __atomic_store_n(&overlapped->InternalHigh, static_cast<ULONG_PTR>(bytes), __ATOMIC_RELAXED);
    {
        // Under the wait lock so that a waiter checking the record cannot miss the wake-up.
        std::lock_guard<std::mutex> lock(wait_mutex());
        __atomic_store_n(&overlapped->Internal, error == 0 ? 0 : (kErrorTag | error), __ATOMIC_RELEASE);
    }
    if (event) {
        if (auto e = lookup_handle_as<Event>(event)) e->set();
    }
    // Threads waiting for the record itself (GetOverlappedResult without a usable event).
    wait_cv().notify_all();
}

bool overlapped_result(const OVERLAPPED* overlapped, DWORD* error, DWORD* bytes) {
    ULONG_PTR status = __atomic_load_n(&overlapped->Internal, __ATOMIC_ACQUIRE);
    if (status == STATUS_PENDING) return false;
    if (error) *error = status == 0 ? 0 : static_cast<DWORD>(status & ~kErrorTag);
    if (bytes) *bytes = static_cast<DWORD>(__atomic_load_n(&overlapped->InternalHigh, __ATOMIC_RELAXED));
    return true;
}

}  // namespace platform::detail

using namespace platform::detail;

DWORD GetLastError() { return t_last_error; }
void SetLastError(DWORD error) { t_last_error = error; }

BOOL CloseHandle(HANDLE handle) {
    if (handle == GetCurrentProcess() || handle == GetCurrentThread()) return TRUE;
    if (!close_handle(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL DuplicateHandle(HANDLE, HANDLE source, HANDLE, LPHANDLE target, DWORD, BOOL, DWORD options) {
    auto object = lookup_handle(source);
    if (!object || !target) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *target = insert_handle(object);
    if (options & DUPLICATE_CLOSE_SOURCE) close_handle(source);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) { return WaitForMultipleObjects(1, &handle, FALSE, milliseconds); }

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<KernelObject>> objects;
    objects.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        auto object = lookup_handle(handles[i]);
        if (!object || !object->is_waitable()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objects.push_back(std::move(object));
    }
    return wait_objects(objects.data(), count, waitAll != FALSE, milliseconds);
}
