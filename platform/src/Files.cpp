// Files and folders of the simulated machine, change notifications, code pages and the clock
// (profile files are in ProfileFiles.cpp).
// Windows paths live below the machine root; share modes are honoured between the handles of
// this process.
#include "FileFaults.h"
#include "KernelObject.h"
#include "Machine.h"

#include <sim/Kernel.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <thread>
#include <vector>

namespace platform::detail {

namespace {

std::atomic<DeviceOpenHook> g_device_open_hook{nullptr};

DWORD error_from_errno(int error, const std::string& path) {
    switch (error) {
    case ENOENT: {
        auto slash = path.find_last_of('/');
        struct stat st;
        if (slash != std::string::npos && ::stat(path.substr(0, slash).c_str(), &st) != 0) return ERROR_PATH_NOT_FOUND;
        return ERROR_FILE_NOT_FOUND;
    }
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ENOSPC:
        return ERROR_DISK_FULL;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    default:
        return ERROR_GEN_FAILURE;
    }
}

struct Access {
    bool read = false;
    bool write = false;
    bool remove = false;
};

Access access_of(DWORD desired) {
    Access a;
    a.read = (desired & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0;
    a.write = (desired & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
    a.remove = (desired & (DELETE | GENERIC_ALL)) != 0;
    return a;
}

struct FileId {
    dev_t dev;
    ino_t ino;
    bool operator<(const FileId& o) const { return dev != o.dev ? dev < o.dev : ino < o.ino; }
};

struct OpenEntry {
    const void* owner;
    Access access;
    DWORD share;
};

struct ShareTable {
    std::mutex mutex;
    std::map<FileId, std::vector<OpenEntry>> open;
};

ShareTable& shares() {
    static ShareTable& t = *new ShareTable;  // never destroyed: threads may still use it at exit
    return t;
}

bool conflicts(const Access& a, DWORD share, const OpenEntry& e) {
    return (a.read && !(e.share & FILE_SHARE_READ)) || (a.write && !(e.share & FILE_SHARE_WRITE)) ||
           (a.remove && !(e.share & FILE_SHARE_DELETE)) || (e.access.read && !(share & FILE_SHARE_READ)) ||
           (e.access.write && !(share & FILE_SHARE_WRITE)) || (e.access.remove && !(share & FILE_SHARE_DELETE));
}

class File : public KernelObject {
public:
    File(int fd, FileId id, std::string path, Access access, bool overlapped, bool deleteOnClose)
        : m_fd(fd), m_id(id), m_path(std::move(path)), m_access(access), m_overlapped(overlapped),
          m_deleteOnClose(deleteOnClose) {}
    ~File() override { release(); }

    BOOL read(LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped) override {
        return transfer(true, buffer, size, done, overlapped);
    }

    BOOL write(LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped) override {
        if (platform::detail::file_writes_fail()) {
            if (done) *done = 0;
            SetLastError(ERROR_DISK_FULL);
            return FALSE;
        }
        return transfer(false, const_cast<LPVOID>(buffer), size, done, overlapped);
    }

    DWORD file_size(LPDWORD high) override {
        struct stat st;
        if (::fstat(m_fd, &st) != 0) {
            SetLastError(ERROR_GEN_FAILURE);
            return INVALID_FILE_SIZE;
        }
        ULONGLONG size = static_cast<ULONGLONG>(st.st_size);
        if (high) *high = static_cast<DWORD>(size >> 32);
        SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(size);
    }

    void on_close() override { release(); }

    int fd() const { return m_fd; }
    bool writable() const { return m_access.write; }

private:
    // One read or write; with an operation record at its offset (ordinary files complete at once).
    BOOL transfer(bool reading, LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped) {
        if (!(reading ? m_access.read : m_access.write)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (!buffer && size) {
            SetLastError(ERROR_INVALID_USER_BUFFER);
            return FALSE;
        }
        ssize_t n;
        if (overlapped) {
            off_t offset = static_cast<off_t>((static_cast<ULONGLONG>(overlapped->OffsetHigh) << 32) | overlapped->Offset);
            n = reading ? ::pread(m_fd, buffer, size, offset) : ::pwrite(m_fd, buffer, size, offset);
        } else {
            n = reading ? ::read(m_fd, buffer, size) : ::write(m_fd, buffer, size);
        }
        return finish(n, done, overlapped, reading);
    }

    BOOL finish(ssize_t n, LPDWORD done, LPOVERLAPPED overlapped, bool reading) {
        if (n < 0) {
            DWORD error = error_from_errno(errno, m_path);
            if (done) *done = 0;
            if (overlapped) complete_overlapped(overlapped, error, 0);
            SetLastError(error);
            return FALSE;
        }
        if (done) *done = static_cast<DWORD>(n);
        if (overlapped) {
            // Ordinary files complete at once; reading past the end is an error for positioned reads.
            if (reading && n == 0 && m_overlapped) {
                complete_overlapped(overlapped, ERROR_HANDLE_EOF, 0);
                SetLastError(ERROR_HANDLE_EOF);
                return FALSE;
            }
            complete_overlapped(overlapped, 0, static_cast<DWORD>(n));
        }
        return TRUE;
    }

    void release() {
        std::lock_guard<std::mutex> lock(m_closeMutex);
        if (m_fd < 0) return;
        {
            auto& t = shares();
            std::lock_guard<std::mutex> tableLock(t.mutex);
            auto& list = t.open[m_id];
            list.erase(std::remove_if(list.begin(), list.end(), [&](const OpenEntry& e) { return e.owner == this; }),
                       list.end());
            if (list.empty()) t.open.erase(m_id);
        }
        if (m_deleteOnClose) ::unlink(m_path.c_str());
        ::close(m_fd);
        m_fd = -1;
    }

    std::mutex m_closeMutex;
    int m_fd;
    const FileId m_id;
    const std::string m_path;
    const Access m_access;
    const bool m_overlapped;
    const bool m_deleteOnClose;
};

bool is_device_path(const std::u16string& path) {
    if (path.size() < 4) return false;
    bool prefix = path[0] == u'\\' && path[1] == u'\\' && (path[2] == u'?' || path[2] == u'.') && path[3] == u'\\';
    if (!prefix) return false;
    // \\?\C:\... is the long form of an ordinary path.
    return !(path.size() >= 6 && path[5] == u':');
}

HANDLE open_file(const std::u16string& name, DWORD desired, DWORD share, DWORD creation, DWORD flags) {
    if (is_device_path(name)) {
        DeviceOpenHook hook = g_device_open_hook.load();
        if (!hook) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        return hook(name.c_str(), desired, share, creation, flags);
    }
    if (name.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (creation < CREATE_NEW || creation > TRUNCATE_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    Access access = access_of(desired);
    if (creation == TRUNCATE_EXISTING && !access.write) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string path = host_path(name);
    struct stat st;
    bool existed = ::stat(path.c_str(), &st) == 0;
    if (existed && S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (existed && creation == CREATE_NEW) {
        SetLastError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
    }
    int oflags = O_CLOEXEC;
    if (access.write)
        oflags |= access.read ? O_RDWR : O_WRONLY;
    else
        oflags |= O_RDONLY;
    if (creation == CREATE_NEW) oflags |= O_CREAT | O_EXCL;
    if (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS) oflags |= O_CREAT;
    // A handle that may only append writes at the end of the file, wherever its position is.
    if ((desired & FILE_APPEND_DATA) && !(desired & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA))) oflags |= O_APPEND;
    // O_RDONLY cannot create a file: open for writing on the host while the handle stays read-only.
    if ((oflags & O_CREAT) && !access.write) oflags = (oflags & ~O_ACCMODE) | O_RDWR;
    int fd = ::open(path.c_str(), oflags, 0666);
    if (fd < 0) {
        DWORD error = error_from_errno(errno, path);
        if (error == ERROR_ALREADY_EXISTS) error = ERROR_FILE_EXISTS;
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    ::fstat(fd, &st);
    FileId id{st.st_dev, st.st_ino};
    std::shared_ptr<File> file;
    {
        auto& t = shares();
        std::lock_guard<std::mutex> lock(t.mutex);
        auto& list = t.open[id];
        for (const auto& entry : list) {
            if (conflicts(access, share, entry)) {
                ::close(fd);
                if (!existed) ::unlink(path.c_str());
                SetLastError(ERROR_SHARING_VIOLATION);
                return INVALID_HANDLE_VALUE;
            }
        }
        file = std::make_shared<File>(fd, id, path, access, (flags & FILE_FLAG_OVERLAPPED) != 0,
                                      (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0);
        list.push_back(OpenEntry{file.get(), access, share});
    }
    if (existed && (creation == CREATE_ALWAYS || creation == TRUNCATE_EXISTING)) {
        if (::ftruncate(fd, 0) != 0) {
            SetLastError(ERROR_ACCESS_DENIED);
            return INVALID_HANDLE_VALUE;
        }
    }
    HANDLE handle = insert_handle(file);
    SetLastError(existed && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                  : ERROR_SUCCESS);
    return handle;
}

// A deleted or renamed file must not be open without FILE_SHARE_DELETE.
bool delete_allowed(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return true;
    auto& t = shares();
    std::lock_guard<std::mutex> lock(t.mutex);
    auto it = t.open.find(FileId{st.st_dev, st.st_ino});
    if (it == t.open.end()) return true;
    for (const auto& entry : it->second)
        if (!(entry.share & FILE_SHARE_DELETE)) return false;
    return true;
}

// --- text ---
bool has_lone_surrogate(const char16_t* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        char16_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00) {
            if (i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
                ++i;
                continue;
            }
            return true;
        }
        if (c >= 0xDC00 && c < 0xE000) return true;
    }
    return false;
}

bool supported_code_page(UINT codePage) { return codePage == CP_UTF8 || codePage == CP_ACP || codePage == CP_OEMCP; }

// Copies text (plus NUL) into a Windows string buffer; returns the length, or the size needed
// (with NUL) when the buffer is too small, as GetTempPathW does.
DWORD copy_path_out(const std::u16string& text, LPWSTR buffer, DWORD size) {
    if (!buffer || size < text.size() + 1) return static_cast<DWORD>(text.size() + 1);
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    return static_cast<DWORD>(text.size());
}

const std::u16string kTempFolder = u"C:\\Users\\User\\AppData\\Local\\Temp\\";

void make_host_dirs(const std::string& path) {
    std::string current;
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find('/', start + 1);
        if (end == std::string::npos) end = path.size();
        current = path.substr(0, end);
        ::mkdir(current.c_str(), 0777);
        start = end;
    }
}

FILETIME to_filetime(const struct timespec& ts) {
    ULONGLONG value = (static_cast<ULONGLONG>(ts.tv_sec) + 11644473600ull) * 10000000ull +
                      static_cast<ULONGLONG>(ts.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
}

DWORD attributes_of(const struct stat& st, const std::string& name) {
    DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : 0;
    if (!(st.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
    if (!name.empty() && name[0] == '.' && name != "." && name != "..") attributes |= FILE_ATTRIBUTE_HIDDEN;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

bool wildcard_match(const std::u16string& pattern, const std::u16string& name) {
    if (pattern == u"*" || pattern == u"*.*") return true;
    // Iterative '*' / '?' matching.
    size_t p = 0, n = 0, star = std::u16string::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            mark = n;
        } else if (star != std::u16string::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

struct FoundEntry {
    std::u16string name;
    struct stat st;
};

class FindSearch : public KernelObject {
public:
    explicit FindSearch(std::vector<FoundEntry> entries) : m_entries(std::move(entries)) {}
    bool next(WIN32_FIND_DATAW* data) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_index >= m_entries.size()) return false;
        fill(m_entries[m_index++], data);
        return true;
    }
    static void fill(const FoundEntry& e, WIN32_FIND_DATAW* data) {
        std::memset(data, 0, sizeof *data);
        data->dwFileAttributes = attributes_of(e.st, utf16_to_utf8(e.name));
        data->ftCreationTime = to_filetime(e.st.st_ctim);
        data->ftLastAccessTime = to_filetime(e.st.st_atim);
        data->ftLastWriteTime = to_filetime(e.st.st_mtim);
        if (!S_ISDIR(e.st.st_mode)) {
            ULONGLONG size = static_cast<ULONGLONG>(e.st.st_size);
            data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
            data->nFileSizeLow = static_cast<DWORD>(size);
        }
        size_t n = std::min<size_t>(e.name.size(), MAX_PATH - 1);
        std::copy(e.name.begin(), e.name.begin() + static_cast<std::ptrdiff_t>(n), data->cFileName);
    }

private:
    std::mutex m_mutex;
    std::vector<FoundEntry> m_entries;
    size_t m_index = 0;
};

// --- change notifications ---
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

void set_device_open_hook(DeviceOpenHook hook) { g_device_open_hook.store(hook); }

}  // namespace platform::detail

using namespace platform::detail;

HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD creation, DWORD flags,
                   HANDLE) {
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return open_file(fileName, access, shareMode, creation, flags);
}

HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD creation, DWORD flags,
                   HANDLE) {
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return open_file(utf8_to_utf16(fileName), access, shareMode, creation, flags);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
    auto object = lookup_or_fail(file);
    if (!object) return FALSE;
    return object->read(buffer, toRead, read, overlapped);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped) {
    auto object = lookup_or_fail(file);
    if (!object) return FALSE;
    return object->write(buffer, toWrite, written, overlapped);
}

BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait) {
    // A finished operation is answered from its record alone; the handle only matters for
    // waiting, so closing it after the operation ended does not hide the operation's outcome.
    DWORD error = 0, bytes = 0;
    if (overlapped && overlapped_result(overlapped, &error, &bytes)) {
        if (transferred) *transferred = bytes;
        if (error != 0) {
            SetLastError(error);
            return FALSE;
        }
        return TRUE;
    }
    auto object = lookup_handle(file);
    if (!object) {
        // A pending operation is waited for on its event, not its file: when another thread closes
        // the handle meanwhile, the waiter gets the aborted outcome instead of leaving while the
        // record is still owed a completion.
        if (overlapped && overlapped->hEvent) return wait_overlapped_result(overlapped, transferred, wait);
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return object->get_overlapped_result(overlapped, transferred, wait);
}

BOOL CancelIo(HANDLE file) {
    auto object = lookup_or_fail(file);
    if (!object) return FALSE;
    return object->cancel_io(nullptr);
}

BOOL CancelIoEx(HANDLE file, LPOVERLAPPED overlapped) {
    auto object = lookup_or_fail(file);
    if (!object) return FALSE;
    return object->cancel_io(overlapped);
}

BOOL FlushFileBuffers(HANDLE file) {
    auto f = lookup_or_fail<File>(file);
    if (!f) return FALSE;
    return ::fsync(f->fd()) == 0 ? TRUE : FALSE;
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
    auto object = lookup_or_fail(file);
    if (!object) return INVALID_FILE_SIZE;
    return object->file_size(sizeHigh);
}

BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size) {
    if (!size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD high = 0;
    SetLastError(ERROR_SUCCESS);
    DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) return FALSE;
    size->QuadPart = static_cast<LONGLONG>((static_cast<ULONGLONG>(high) << 32) | low);
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
    auto f = lookup_or_fail<File>(file);
    if (!f) return INVALID_SET_FILE_POINTER;
    LONGLONG move = distanceHigh ? static_cast<LONGLONG>((static_cast<ULONGLONG>(static_cast<DWORD>(*distanceHigh)) << 32) |
                                                         static_cast<DWORD>(distance))
                                 : distance;
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    off_t pos = ::lseek(f->fd(), static_cast<off_t>(move), whence);
    if (pos < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<ULONGLONG>(pos) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(pos);
}

BOOL SetEndOfFile(HANDLE file) {
    auto f = lookup_or_fail<File>(file);
    if (!f) return FALSE;
    if (!f->writable()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    off_t pos = ::lseek(f->fd(), 0, SEEK_CUR);
    return pos >= 0 && ::ftruncate(f->fd(), pos) == 0 ? TRUE : FALSE;
}

BOOL DeleteFileW(LPCWSTR fileName) {
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string path = host_path(fileName);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        SetLastError(error_from_errno(errno, path));
        return FALSE;
    }
    if (S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!delete_allowed(path)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (::unlink(path.c_str()) != 0) {
        SetLastError(error_from_errno(errno, path));
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileA(LPCSTR fileName) {
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string wide = utf8_to_utf16(fileName);
    return DeleteFileW(wide.c_str());
}

BOOL MoveFileExW(LPCWSTR existing, LPCWSTR newName, DWORD flags) {
    if (!existing || !newName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string from = host_path(existing), to = host_path(newName);
    struct stat st;
    if (::stat(from.c_str(), &st) != 0) {
        SetLastError(error_from_errno(errno, from));
        return FALSE;
    }
    if (::stat(to.c_str(), &st) == 0 && !(flags & MOVEFILE_REPLACE_EXISTING)) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (!delete_allowed(from) || !delete_allowed(to)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        SetLastError(error_from_errno(errno, to));
        return FALSE;
    }
    return TRUE;
}

BOOL CopyFileW(LPCWSTR existing, LPCWSTR newName, BOOL failIfExists) {
    HANDLE in = CreateFileW(existing, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE) return FALSE;
    HANDLE out = CreateFileW(newName, GENERIC_WRITE, 0, nullptr, failIfExists ? CREATE_NEW : CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        CloseHandle(in);
        SetLastError(error);
        return FALSE;
    }
    char buffer[65536];
    DWORD n = 0;
    BOOL ok = TRUE;
    while (ok && ReadFile(in, buffer, sizeof buffer, &n, nullptr) && n > 0) {
        DWORD written = 0;
        ok = WriteFile(out, buffer, n, &written, nullptr) && written == n;
    }
    CloseHandle(in);
    CloseHandle(out);
    return ok;
}

BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string host = host_path(path);
    if (::mkdir(host.c_str(), 0777) != 0) {
        SetLastError(error_from_errno(errno, host));
        return FALSE;
    }
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES attributes) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string wide = utf8_to_utf16(path);
    return CreateDirectoryW(wide.c_str(), attributes);
}

BOOL RemoveDirectoryW(LPCWSTR path) {
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string host = host_path(path);
    if (::rmdir(host.c_str()) != 0) {
        SetLastError(errno == ENOTDIR ? ERROR_DIRECTORY : error_from_errno(errno, host));
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR fileName) {
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    std::string path = host_path(fileName);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        SetLastError(error_from_errno(errno, path));
        return INVALID_FILE_ATTRIBUTES;
    }
    return attributes_of(st, path.substr(path.find_last_of('/') + 1));
}

DWORD GetFileAttributesA(LPCSTR fileName) {
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_FILE_ATTRIBUTES;
    }
    std::u16string wide = utf8_to_utf16(fileName);
    return GetFileAttributesW(wide.c_str());
}

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
    if (!pattern || !data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::u16string full = full_windows_path(pattern);
    size_t slash = full.find_last_of(u'\\');
    std::u16string folder = full.substr(0, slash + 1);
    std::u16string mask = lower(full.substr(slash + 1));
    if (mask.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::string hostFolder = host_path(folder);
    DIR* dir = ::opendir(hostFolder.c_str());
    if (!dir) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    bool driveRoot = folder.size() <= 3;
    std::vector<FoundEntry> entries;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (driveRoot && (name == "." || name == "..")) continue;
        std::u16string wide = utf8_to_utf16(name);
        if (!wildcard_match(mask, lower(wide))) continue;
        FoundEntry found{wide, {}};
        if (::stat((hostFolder + "/" + name).c_str(), &found.st) != 0) continue;
        entries.push_back(std::move(found));
    }
    ::closedir(dir);
    if (entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(entries.begin(), entries.end(),
              [](const FoundEntry& a, const FoundEntry& b) { return lower(a.name) < lower(b.name); });
    auto search = std::make_shared<FindSearch>(std::move(entries));
    search->next(data);
    return insert_handle(search);
}

BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data) {
    auto search = lookup_handle_as<FindSearch>(find);
    if (!search || !data) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!search->next(data)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

BOOL FindClose(HANDLE find) {
    return lookup_or_fail<FindSearch>(find) ? CloseHandle(find) : FALSE;
}

DWORD GetTempPathW(DWORD bufferLength, LPWSTR buffer) {
    if (platform::detail::temp_path_fails()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    make_host_dirs(host_path(kTempFolder));
    return copy_path_out(kTempFolder, buffer, bufferLength);
}

DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer) {
    if (platform::detail::temp_path_fails()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    make_host_dirs(host_path(kTempFolder));
    std::string narrow = utf16_to_utf8(kTempFolder);
    if (!buffer || bufferLength < narrow.size() + 1) return static_cast<DWORD>(narrow.size() + 1);
    std::memcpy(buffer, narrow.c_str(), narrow.size() + 1);
    return static_cast<DWORD>(narrow.size());
}

UINT GetTempFileNameW(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR tempFileName) {
    if (platform::detail::temp_file_name_fails()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    if (!path || !tempFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string folder = path;
    if (!folder.empty() && folder.back() != u'\\' && folder.back() != u'/') folder += u'\\';
    std::u16string pre = wide_string(prefix).substr(0, 3);
    auto name_for = [&](UINT number) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%X", number & 0xFFFF);
        return folder + pre + utf8_to_utf16(hex) + u".TMP";
    };
    auto emit = [&](const std::u16string& name) -> bool {
        if (name.size() >= MAX_PATH) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return false;
        }
        std::copy(name.begin(), name.end(), tempFileName);
        tempFileName[name.size()] = 0;
        return true;
    };
    if (unique != 0) return emit(name_for(unique)) ? (unique & 0xFFFF) : 0;
    struct stat st;
    std::string hostFolder = host_path(folder);
    if (::stat(hostFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_DIRECTORY);
        return 0;
    }
    static std::atomic<UINT> counter{static_cast<UINT>(GetTickCount())};
    for (int attempt = 0; attempt < 0x10000; ++attempt) {
        UINT number = (counter.fetch_add(1) & 0xFFFF);
        if (number == 0) continue;
        std::u16string name = name_for(number);
        int fd = ::open(host_path(name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            SetLastError(error_from_errno(errno, hostFolder));
            return 0;
        }
        ::close(fd);
        return emit(name) ? number : 0;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
    std::u16string name;
    if (!module || module == GetModuleHandleW(nullptr)) {
        name = module_file_name();
    } else {
        std::string builtin = module_display_name(module);
        if (builtin.empty()) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        name = u"C:\\Windows\\System32\\" + utf8_to_utf16(builtin);
    }
    if (!fileName || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (size <= name.size()) {
        std::copy(name.begin(), name.begin() + (size - 1), fileName);
        fileName[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::copy(name.begin(), name.end(), fileName);
    fileName[name.size()] = 0;
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(name.size());
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    WCHAR wide[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(module, wide, MAX_PATH * 4);
    if (n == 0) return 0;
    std::string narrow = utf16_to_utf8(std::u16string(wide, n));
    if (!fileName || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (size <= narrow.size()) {
        std::memcpy(fileName, narrow.data(), size - 1);
        fileName[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(fileName, narrow.c_str(), narrow.size() + 1);
    return static_cast<DWORD>(narrow.size());
}

DWORD GetCurrentDirectoryW(DWORD bufferLength, LPWSTR buffer) {
    std::u16string folder = module_file_name();
    folder = folder.substr(0, folder.find_last_of(u'\\'));
    return copy_path_out(folder, buffer, bufferLength);
}

HRESULT SHGetFolderPathW(HWND, int folder, HANDLE, DWORD, LPWSTR path) {
    if (!path) return E_INVALIDARG;
    std::u16string result;
    switch (folder & 0xFF) {
    case CSIDL_COMMON_APPDATA:
        result = u"C:\\ProgramData";
        break;
    case CSIDL_APPDATA:
        result = u"C:\\Users\\User\\AppData\\Roaming";
        break;
    case CSIDL_LOCAL_APPDATA:
        result = u"C:\\Users\\User\\AppData\\Local";
        break;
    case CSIDL_WINDOWS:
        result = u"C:\\Windows";
        break;
    case CSIDL_SYSTEM:
        result = u"C:\\Windows\\System32";
        break;
    case CSIDL_PROGRAM_FILES:
        result = u"C:\\Program Files";
        break;
    case CSIDL_PROGRAM_FILESX86:
        result = u"C:\\Program Files (x86)";
        break;
    case CSIDL_PROFILE:
        result = u"C:\\Users\\User";
        break;
    case CSIDL_COMMON_DOCUMENTS:
        result = u"C:\\Users\\Public\\Documents";
        break;
    default:
        path[0] = 0;
        return E_INVALIDARG;
    }
    make_host_dirs(host_path(result));
    std::copy(result.begin(), result.end(), path);
    path[result.size()] = 0;
    return S_OK;
}

HRESULT SHGetFolderPathA(HWND owner, int folder, HANDLE token, DWORD flags, LPSTR path) {
    if (!path) return E_INVALIDARG;
    WCHAR wide[MAX_PATH];
    HRESULT hr = SHGetFolderPathW(owner, folder, token, flags, wide);
    if (FAILED(hr)) return hr;
    std::string narrow = utf16_to_utf8(wide);
    std::memcpy(path, narrow.c_str(), std::min<size_t>(narrow.size() + 1, MAX_PATH));
    path[MAX_PATH - 1] = 0;
    return S_OK;
}

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

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide, int wideLength) {
    if (!supported_code_page(codePage) || !text || length == 0 || length < -1 || wideLength < 0 ||
        (wideLength > 0 && !wide)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = length == -1 ? std::strlen(text) + 1 : static_cast<size_t>(length);
    std::u16string out;
    bool valid = decode_utf8(text, n, out);
    if (!valid && (flags & MB_ERR_INVALID_CHARS)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (wideLength == 0) return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(wideLength)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::copy(out.begin(), out.end(), wide);
    return static_cast<int>(out.size());
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR text, int length,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar) {
    if (!supported_code_page(codePage) || !wide || wideLength == 0 || wideLength < -1 || length < 0 ||
        (length > 0 && !text) || (codePage == CP_UTF8 && (defaultChar || usedDefaultChar))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = wideLength == -1 ? std::char_traits<char16_t>::length(wide) + 1 : static_cast<size_t>(wideLength);
    if ((flags & WC_ERR_INVALID_CHARS) && has_lone_surrogate(wide, n)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    std::string out = utf16_to_utf8(std::u16string(wide, n));
    if (usedDefaultChar) *usedDefaultChar = FALSE;
    if (length == 0) return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(length)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(text, out.data(), out.size());
    return static_cast<int>(out.size());
}

namespace {
void fill_time(LPSYSTEMTIME time, bool local) {
    struct timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    struct tm parts;
    if (local)
        ::localtime_r(&ts.tv_sec, &parts);
    else
        ::gmtime_r(&ts.tv_sec, &parts);
    time->wYear = static_cast<WORD>(parts.tm_year + 1900);
    time->wMonth = static_cast<WORD>(parts.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(parts.tm_wday);
    time->wDay = static_cast<WORD>(parts.tm_mday);
    time->wHour = static_cast<WORD>(parts.tm_hour);
    time->wMinute = static_cast<WORD>(parts.tm_min);
    time->wSecond = static_cast<WORD>(parts.tm_sec);
    time->wMilliseconds = static_cast<WORD>(ts.tv_nsec / 1000000);
}
}  // namespace

void GetLocalTime(LPSYSTEMTIME time) {
    if (time) fill_time(time, true);
}

void GetSystemTime(LPSYSTEMTIME time) {
    if (time) fill_time(time, false);
}

void GetSystemTimeAsFileTime(LPFILETIME time) {
    if (!time) return;
    struct timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    *time = to_filetime(ts);
}
