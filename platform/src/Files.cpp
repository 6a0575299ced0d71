// Files of the simulated machine: handles, reads and writes, sharing, deleting, moving, copying and
// attributes (folders, searches, change notifications, code pages and the clock have sources of
// their own; profile files are in ProfileFiles.cpp).
// Windows paths live below the machine root; share modes are honoured between the handles of
// this process.
#include "FileFaults.h"
#include "FileSupport.h"
#include "KernelObject.h"
#include "Machine.h"

#include <sim/Kernel.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace platform::detail {

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

namespace {

std::atomic<DeviceOpenHook> g_device_open_hook{nullptr};

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

// What a power cut would undo (see sim::cut_power): data written and not flushed, by file and its
// path now, and the moves made without write-through since the last one made with it.
struct Durability {
    struct Move {
        std::string from, to;
        FileId moved;
        bool replaced;
        std::string previous;  // the replaced file's content
    };
    std::mutex mutex;
    std::map<FileId, std::string> unflushed;
    std::vector<Move> moves;
};

Durability& durability() {
    static Durability& d = *new Durability;  // never destroyed: threads may still write at exit
    return d;
}

void note_unflushed(const FileId& id, const std::string& path) {
    auto& d = durability();
    std::lock_guard<std::mutex> lock(d.mutex);
    d.unflushed.emplace(id, path);
}

void note_flushed(const FileId& id) {
    auto& d = durability();
    std::lock_guard<std::mutex> lock(d.mutex);
    d.unflushed.erase(id);
}

void reset_durability() {
    auto& d = durability();
    std::lock_guard<std::mutex> lock(d.mutex);
    d.unflushed.clear();
    d.moves.clear();
}

const bool g_durability_hooked = (add_reset_hook(&reset_durability), true);

bool has_id(const std::string& path, const FileId& id) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && st.st_dev == id.dev && st.st_ino == id.ino;
}

std::string host_content(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A write-through move reaches the disk with every name change before it.
void sync_folder(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const int fd = ::open(slash == std::string::npos ? "." : path.substr(0, slash + 1).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Notes a move for the power cut (before it is made: the replaced file is still there).
Durability::Move note_move(const std::string& from, const std::string& to, const struct stat& moved,
                           bool writeThrough) {
    Durability::Move move{from, to, FileId{moved.st_dev, moved.st_ino}, false, {}};
    struct stat st;
    if (!writeThrough && ::stat(to.c_str(), &st) == 0) {
        move.replaced = true;
        move.previous = host_content(to);
    }
    return move;
}

// After a move: unflushed data travels with its file, and the replaced file's is gone.
void record_move(Durability::Move move, bool writeThrough) {
    auto& d = durability();
    std::lock_guard<std::mutex> lock(d.mutex);
    for (auto it = d.unflushed.begin(); it != d.unflushed.end();) {
        if (it->first.dev == move.moved.dev && it->first.ino == move.moved.ino) {
            it->second = move.to;
            ++it;
        } else if (it->second == move.to) {
            it = d.unflushed.erase(it);
        } else {
            ++it;
        }
    }
    if (writeThrough)
        d.moves.clear();
    else
        d.moves.push_back(std::move(move));
}

class File : public KernelObject {
public:
    File(int fd, FileId id, std::string path, Access access, bool overlapped, bool deleteOnClose)
        : m_fd(fd), m_id(id), m_path(std::move(path)), m_access(access), m_overlapped(overlapped),
          m_deleteOnClose(deleteOnClose) {}
    ~File() override { release(); }

    BOOL read(LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped) override {
        if (platform::detail::file_reads_fail() && m_access.read) {
            if (done) *done = 0;
            SetLastError(ERROR_READ_FAULT);
            return FALSE;
        }
        return transfer(true, buffer, size, done, overlapped);
    }

    BOOL write(LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped) override {
        if (platform::detail::file_writes_fail()) {
            if (done) *done = 0;
            SetLastError(ERROR_DISK_FULL);
            return FALSE;
        }
        const BOOL ok = transfer(false, const_cast<LPVOID>(buffer), size, done, overlapped);
        if (ok && size) note_unflushed(m_id, m_path);
        return ok;
    }

    BOOL flush() {
        if (!m_access.write) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (platform::detail::file_flushes_fail()) {
            SetLastError(ERROR_IO_DEVICE);
            return FALSE;
        }
        if (::fsync(m_fd) != 0) {
            SetLastError(error_from_errno(errno, m_path));
            return FALSE;
        }
        note_flushed(m_id);
        return TRUE;
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
    return f->flush();
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
    note_flushed(FileId{st.st_dev, st.st_ino});
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
    struct stat moved;
    if (::stat(from.c_str(), &moved) != 0) {
        SetLastError(error_from_errno(errno, from));
        return FALSE;
    }
    const bool writeThrough = (flags & MOVEFILE_WRITE_THROUGH) != 0;
    Durability::Move move = note_move(from, to, moved, writeThrough);
    if (::rename(from.c_str(), to.c_str()) != 0) {
        SetLastError(error_from_errno(errno, to));
        return FALSE;
    }
    if (writeThrough) {
        sync_folder(to);
        if (from.substr(0, from.find_last_of('/')) != to.substr(0, to.find_last_of('/'))) sync_folder(from);
    }
    record_move(std::move(move), writeThrough);
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

namespace platform::sim {

void cut_power() {
    auto& d = durability();
    std::lock_guard<std::mutex> lock(d.mutex);
    for (auto it = d.moves.rbegin(); it != d.moves.rend(); ++it) {
        if (!has_id(it->to, it->moved) || ::rename(it->to.c_str(), it->from.c_str()) != 0) continue;
        for (auto& entry : d.unflushed)
            if (entry.first.dev == it->moved.dev && entry.first.ino == it->moved.ino) entry.second = it->from;
        if (it->replaced) std::ofstream(it->to, std::ios::binary | std::ios::trunc) << it->previous;
    }
    d.moves.clear();
    for (const auto& entry : d.unflushed)
        if (has_id(entry.second, entry.first)) ::truncate(entry.second.c_str(), 0);
    d.unflushed.clear();
}

}  // namespace platform::sim
