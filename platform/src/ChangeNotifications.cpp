// Change notifications of folders (FindFirstChangeNotificationW), watched on the host with inotify.
#include "KernelObject.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace platform::detail {

namespace {

class ChangeNotification : public KernelObject {
public:
    ChangeNotification(int inotify, int stopRead, int stopWrite, bool subtree, DWORD filter)
        : m_inotify(inotify), m_stopRead(stopRead), m_stopWrite(stopWrite), m_subtree(subtree), m_filter(filter) {}
    ~ChangeNotification() override { stop(); }

    bool is_waitable() const override { return true; }
    bool is_signaled_locked(DWORD) override { return m_signaled; }

    void start(const std::string& folder) {
        add_watch(folder);
        m_thread = std::thread([this] { run(); });
    }

    // Re-arms the notification: a change seen since it was last signalled signals it again at once.
    void rearm() {
        {
            std::lock_guard<std::mutex> lock(wait_mutex());
            m_signaled = m_pending;
            m_pending = false;
        }
        notify_waiters();
    }

    void on_close() override { stop(); }

private:
    uint32_t mask() const {
        uint32_t m = 0;
        if (m_filter & (FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_CREATION))
            m |= IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
        if (m_filter & (FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SECURITY)) m |= IN_ATTRIB;
        if (m_filter & (FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE)) m |= IN_MODIFY | IN_CLOSE_WRITE;
        if (m_filter & FILE_NOTIFY_CHANGE_LAST_ACCESS) m |= IN_ACCESS;
        if (m_subtree) m |= IN_CREATE | IN_MOVED_TO;  // to follow new folders
        return m;
    }

    void add_watch(const std::string& folder) {
        int wd = ::inotify_add_watch(m_inotify, folder.c_str(), mask() | IN_ONLYDIR);
        if (wd < 0) return;
        m_folders[wd] = folder;
        if (!m_subtree) return;
        if (DIR* dir = ::opendir(folder.c_str())) {
            while (dirent* entry = ::readdir(dir)) {
                std::string name = entry->d_name;
                if (name == "." || name == "..") continue;
                std::string child = folder + "/" + name;
                struct stat st;
                if (::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) add_watch(child);
            }
            ::closedir(dir);
        }
    }

    bool relevant(const inotify_event& e) const {
        bool dir = (e.mask & IN_ISDIR) != 0;
        if (e.mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO)) {
            if (dir ? (m_filter & FILE_NOTIFY_CHANGE_DIR_NAME) : (m_filter & FILE_NOTIFY_CHANGE_FILE_NAME)) return true;
            if ((e.mask & IN_CREATE) && (m_filter & FILE_NOTIFY_CHANGE_CREATION)) return true;
        }
        if ((e.mask & IN_ATTRIB) && (m_filter & (FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SECURITY)))
            return true;
        if ((e.mask & (IN_MODIFY | IN_CLOSE_WRITE)) && !dir &&
            (m_filter & (FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE)))
            return true;
        if ((e.mask & IN_ACCESS) && (m_filter & FILE_NOTIFY_CHANGE_LAST_ACCESS)) return true;
        return false;
    }

    void run() {
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            pollfd fds[2] = {{m_inotify, POLLIN, 0}, {m_stopRead, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents) return;
            ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
            if (n <= 0) continue;
            bool changed = false;
            for (char* p = buffer; p < buffer + n;) {
                auto* e = reinterpret_cast<inotify_event*>(p);
                if (m_subtree && (e->mask & IN_ISDIR) && (e->mask & (IN_CREATE | IN_MOVED_TO)) && e->len) {
                    auto it = m_folders.find(e->wd);
                    if (it != m_folders.end()) add_watch(it->second + "/" + e->name);
                }
                changed = changed || relevant(*e);
                p += sizeof(inotify_event) + e->len;
            }
            if (changed) {
                {
                    std::lock_guard<std::mutex> lock(wait_mutex());
                    if (m_signaled)
                        m_pending = true;
                    else
                        m_signaled = true;
                }
                notify_waiters();
            }
        }
    }

    void stop() {
        std::lock_guard<std::mutex> lock(m_stopMutex);
        if (m_stopWrite < 0) return;
        char c = 1;
        (void)!::write(m_stopWrite, &c, 1);
        if (m_thread.joinable()) m_thread.join();
        ::close(m_stopWrite);
        ::close(m_stopRead);
        ::close(m_inotify);
        m_stopWrite = -1;
    }

    std::mutex m_stopMutex;
    int m_inotify;
    int m_stopRead;
    int m_stopWrite;
    const bool m_subtree;
    const DWORD m_filter;
    std::map<int, std::string> m_folders;  // used by the watcher thread (and start, before it runs)
    std::thread m_thread;
    bool m_signaled = false;  // guarded by wait_mutex()
    bool m_pending = false;   // guarded by wait_mutex()
};

}  // namespace

}  // namespace platform::detail

using namespace platform::detail;

HANDLE FindFirstChangeNotificationW(LPCWSTR path, BOOL watchSubtree, DWORD filter) {
    if (!path || filter == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string folder = host_path(path);
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    int fd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    int pipes[2];
    if (fd < 0 || ::pipe2(pipes, O_CLOEXEC) != 0) {
        if (fd >= 0) ::close(fd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    auto notification = std::make_shared<ChangeNotification>(fd, pipes[0], pipes[1], watchSubtree != FALSE, filter);
    notification->start(folder);
    return insert_handle(notification);
}

BOOL FindNextChangeNotification(HANDLE change) {
    auto notification = lookup_or_fail<ChangeNotification>(change);
    if (!notification) return FALSE;
    notification->rearm();
    return TRUE;
}

BOOL FindCloseChangeNotification(HANDLE change) {
    return lookup_or_fail<ChangeNotification>(change) ? CloseHandle(change) : FALSE;
}
