// Events and mutexes: creation, naming and ownership.
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

}  // namespace platform::detail

using namespace platform::detail;

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
