// Handle table, waits, events, mutexes, overlapped records, last error, time and debugger output.
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

// --- mutexes ---
namespace {

// A mutex; with a name it is shared with other processes through an fcntl lock on a file below the
// machine root. The file's first byte is 1 while an owner holds it, so a lock left behind by a dead
// process (the kernel drops its fcntl locks) is seen as abandoned.
class Mutex : public KernelObject {
public:
    explicit Mutex(int fd) : m_fd(fd) {}
    ~Mutex() override {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool is_waitable() const override { return true; }
    bool needs_polling() const override { return m_fd >= 0; }

    bool is_signaled_locked(DWORD thread) override {
        if (m_owner == thread) return true;
        if (m_owner != 0) return false;
        if (m_fd < 0 || m_probed) return true;
        struct flock fl = {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        if (::fcntl(m_fd, F_SETLK, &fl) != 0) return false;
        char held = 0;
        m_probe_abandoned = ::pread(m_fd, &held, 1, 0) == 1 && held == 1;
        m_probed = true;
        return true;
    }

    bool acquire_locked(DWORD thread) override;

    void unprobe_locked(DWORD) override {
        if (m_probed && m_owner == 0) unlock_file();
        m_probed = false;
    }

    // Under wait_mutex().
    bool release_locked(DWORD thread) {
        if (m_owner != thread || m_count == 0) return false;
        if (--m_count == 0) {
            m_owner = 0;
            if (m_fd >= 0) {
                const char held = 0;
                (void)!::pwrite(m_fd, &held, 1, 0);
                unlock_file();
            }
        }
        return true;
    }

    // The owning thread ended without releasing: the next owner is told the mutex was abandoned.
    // A named one stays marked as held in its file, which other processes read the same way.
    void abandon_locked(DWORD thread) {
        if (m_owner != thread) return;
        m_owner = 0;
        m_count = 0;
        m_abandoned = true;
        if (m_fd >= 0) unlock_file();
    }

    // After fork: the child holds none of the parent's locks.
    void forget_owner_locked() {
        m_owner = 0;
        m_count = 0;
        m_probed = false;
    }

private:
    void unlock_file() {
        struct flock fl = {};
        fl.l_type = F_UNLCK;
        fl.l_whence = SEEK_SET;
        ::fcntl(m_fd, F_SETLK, &fl);
    }

    const int m_fd;
    DWORD m_owner = 0;
    unsigned m_count = 0;
    bool m_probed = false;
    bool m_probe_abandoned = false;
    bool m_abandoned = false;
};

// The mutexes a thread came to own; those it still owns when it ends are abandoned, so waiters
// are not stuck for ever (nor is a later thread given the same id mistaken for their owner).
struct OwnedMutexes {
    DWORD thread = 0;
    std::vector<std::weak_ptr<KernelObject>> mutexes;
    ~OwnedMutexes() {
        if (mutexes.empty()) return;
        {
            std::lock_guard<std::mutex> lock(wait_mutex());
            for (auto& weak : mutexes)
                if (auto m = std::static_pointer_cast<Mutex>(weak.lock())) m->abandon_locked(thread);
        }
        notify_waiters();
    }
};

thread_local OwnedMutexes t_owned;

bool Mutex::acquire_locked(DWORD thread) {
    if (m_owner == thread) {
        ++m_count;
        return false;
    }
    m_owner = thread;
    m_count = 1;
    bool abandoned = m_abandoned;
    m_abandoned = false;
    if (m_fd >= 0) {
        const char held = 1;
        (void)!::pwrite(m_fd, &held, 1, 0);
        abandoned = abandoned || m_probe_abandoned;
        m_probed = false;
        m_probe_abandoned = false;
    }
    auto& owned = t_owned;
    owned.thread = thread;
    owned.mutexes.erase(std::remove_if(owned.mutexes.begin(), owned.mutexes.end(),
                                       [this](const std::weak_ptr<KernelObject>& m) {
                                           auto held = m.lock();
                                           return !held || held.get() == this;
                                       }),
                        owned.mutexes.end());
    owned.mutexes.push_back(weak_from_this());
    return abandoned;
}

struct NamedObjects {
    std::mutex mutex;
    std::map<std::u16string, std::weak_ptr<Mutex>> mutexes;
    std::map<std::u16string, std::weak_ptr<Event>> events;
};

NamedObjects& named_objects() {
    static NamedObjects& objects = *new NamedObjects;
    return objects;
}

void fork_prepare() {
    named_objects().mutex.lock();
    wait_mutex().lock();
}
void fork_parent() {
    wait_mutex().unlock();
    named_objects().mutex.unlock();
}
void fork_child() {
    for (auto& entry : named_objects().mutexes)
        if (auto m = entry.second.lock()) m->forget_owner_locked();
    wait_mutex().unlock();
    named_objects().mutex.unlock();
}

void install_fork_handlers() {
    static std::once_flag once;
    std::call_once(once, [] { pthread_atfork(fork_prepare, fork_parent, fork_child); });
}

std::string mutex_file_name(const std::u16string& name) {
    std::uint64_t hash = 1469598103934665603ull;
    for (char16_t c : name) {
        hash ^= static_cast<std::uint64_t>(c);
        hash *= 1099511628211ull;
    }
    std::string readable;
    for (char16_t c : name) {
        if (readable.size() >= 40) break;
        readable += (c < 128 && std::isalnum(static_cast<int>(c))) ? static_cast<char>(c) : '_';
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return readable + "-" + hex;
}

HANDLE create_mutex(BOOL initialOwner, const std::u16string* name) {
    install_fork_handlers();
    std::shared_ptr<Mutex> mutex;
    bool existed = false;
    if (name && !name->empty()) {
        std::lock_guard<std::mutex> lock(named_objects().mutex);
        auto& slot = named_objects().mutexes[*name];
        mutex = slot.lock();
        if (mutex) {
            existed = true;
        } else {
            std::string folder = kernel_object_folder();
            std::string path = folder + "/" + mutex_file_name(*name);
            int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno == EEXIST) {
                existed = true;
                fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
            }
            if (fd < 0) {
                SetLastError(ERROR_ACCESS_DENIED);
                return nullptr;
            }
            mutex = std::make_shared<Mutex>(fd);
            slot = mutex;
        }
    } else {
        mutex = std::make_shared<Mutex>(-1);
    }
    if (initialOwner && !existed) {
        std::lock_guard<std::mutex> lock(wait_mutex());
        DWORD self = GetCurrentThreadId();
        if (mutex->is_signaled_locked(self)) mutex->acquire_locked(self);
    }
    HANDLE handle = insert_handle(mutex);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

}  // namespace

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

// --- debugger output ---
namespace {
struct DebugOutput {
    std::mutex mutex;
    std::condition_variable cv;
    std::vector<std::string> lines;
    bool echo = std::getenv("QUILLON_DEBUG_ECHO") != nullptr;
};
DebugOutput& debug() {
    static DebugOutput& output = *new DebugOutput;
    return output;
}
void debug_append(std::string text) {
    auto& d = debug();
    {
        std::lock_guard<std::mutex> lock(d.mutex);
        if (d.echo) std::fprintf(stderr, "%s", text.c_str());
        d.lines.push_back(std::move(text));
    }
    d.cv.notify_all();
}
}  // namespace

void reset_debug_output() {
    std::lock_guard<std::mutex> lock(debug().mutex);
    debug().lines.clear();
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

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
    std::shared_ptr<Event> event;
    bool existed = false;
    if (name && *name) {
        std::lock_guard<std::mutex> lock(named_objects().mutex);
        auto& slot = named_objects().events[std::u16string(name)];
        event = slot.lock();
        existed = event != nullptr;
        if (!event) slot = event = std::make_shared<Event>(manualReset != FALSE, initialState != FALSE);
    } else {
        event = std::make_shared<Event>(manualReset != FALSE, initialState != FALSE);
    }
    HANDLE handle = insert_handle(event);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCSTR name) {
    if (!name) return CreateEventW(attributes, manualReset, initialState, nullptr);
    std::u16string wide = utf8_to_utf16(name);
    return CreateEventW(attributes, manualReset, initialState, wide.c_str());
}

HANDLE CreateEventExW(LPSECURITY_ATTRIBUTES attributes, LPCWSTR name, DWORD flags, DWORD) {
    return CreateEventW(attributes, (flags & CREATE_EVENT_MANUAL_RESET) != 0, (flags & CREATE_EVENT_INITIAL_SET) != 0,
                        name);
}

BOOL SetEvent(HANDLE handle) {
    auto event = lookup_or_fail<Event>(handle);
    if (!event) return FALSE;
    event->set();
    return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
    auto event = lookup_or_fail<Event>(handle);
    if (!event) return FALSE;
    event->reset();
    return TRUE;
}

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCWSTR name) {
    if (!name) return create_mutex(initialOwner, nullptr);
    std::u16string n(name);
    return create_mutex(initialOwner, &n);
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR name) {
    if (!name) return create_mutex(initialOwner, nullptr);
    std::u16string n = utf8_to_utf16(name);
    return create_mutex(initialOwner, &n);
}

HANDLE OpenMutexW(DWORD, BOOL, LPCWSTR name) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(named_objects().mutex);
        auto it = named_objects().mutexes.find(name);
        if (it != named_objects().mutexes.end()) {
            if (auto m = it->second.lock()) return insert_handle(m);
        }
    }
    std::string path = kernel_object_folder() + "/" + mutex_file_name(name);
    if (::access(path.c_str(), F_OK) != 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return CreateMutexW(nullptr, FALSE, name);
}

BOOL ReleaseMutex(HANDLE handle) {
    auto mutex = lookup_or_fail<Mutex>(handle);
    if (!mutex) return FALSE;
    bool released;
    {
        std::lock_guard<std::mutex> lock(wait_mutex());
        released = mutex->release_locked(GetCurrentThreadId());
    }
    if (!released) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    notify_waiters(*mutex);
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

void OutputDebugStringA(LPCSTR text) { debug_append(text ? std::string(text) : std::string()); }
void OutputDebugStringW(LPCWSTR text) { debug_append(utf16_to_utf8(wide_string(text))); }
BOOL IsDebuggerPresent() { return FALSE; }

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

namespace platform::sim {

std::vector<std::string> debug_output() {
    std::lock_guard<std::mutex> lock(debug().mutex);
    return debug().lines;
}

void clear_debug_output() { reset_debug_output(); }

void set_debug_echo(bool toStderr) {
    std::lock_guard<std::mutex> lock(debug().mutex);
    debug().echo = toStderr;
}

bool wait_for_debug_output(const std::string& containing, unsigned timeoutMs) {
    auto& d = debug();
    std::unique_lock<std::mutex> lock(d.mutex);
    return d.cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const auto& line : d.lines)
            if (line.find(containing) != std::string::npos) return true;
        return false;
    });
}

}  // namespace platform::sim
