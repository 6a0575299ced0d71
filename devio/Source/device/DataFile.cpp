#include "device/DataFile.h"

#include "quillon/WideText.h"

#include <windows.h>

#include <algorithm>
#include <climits>

namespace devio {

namespace {

// NUL-terminated UTF-16 of a UTF-8 path; empty for a path that is not UTF-8 or holds a NUL.
quillon::WString wide_path(const std::string& path)
{
    if (path.empty() || path.size() > INT_MAX || path.find('\0') != std::string::npos)
        return {};
    const int length = static_cast<int>(path.size());
    const int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), length, nullptr, 0);
    if (wideLength <= 0)
        return {};
    quillon::WString wide(static_cast<std::size_t>(wideLength), WCHAR(0));
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), length, &wide[0], wideLength) != wideLength)
        return {};
    return wide;
}

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : m_handle(handle) {}
    ~FileHandle() { close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }
    bool close()
    {
        if (!valid())
            return true;
        const HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return CloseHandle(handle) != FALSE;
    }

private:
    HANDLE m_handle;
};

bool write_all(HANDLE file, std::string_view content)
{
    while (!content.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, content.data(), chunk, &written, nullptr) || written == 0)
            return false;
        content.remove_prefix(written);
    }
    return true;
}

} // namespace

DataFileRead read_data_file(const std::string& path, std::string& content, std::uint32_t* error)
{
    const auto unread = [error](DataFileRead result, DWORD code) {
        if (error)
            *error = code;
        return result;
    };
    const quillon::WString name = wide_path(path);
    if (name.empty())
        return unread(DataFileRead::Unreadable, ERROR_INVALID_NAME);
    // Deleting is shared so that a writer may put a new file in this one's place meanwhile.
    FileHandle file(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const DWORD code = GetLastError();
        const bool absent = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
        return unread(absent ? DataFileRead::NotFound : DataFileRead::Unreadable, code);
    }
    std::string text;
    char chunk[16384];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr))
            return unread(DataFileRead::Unreadable, GetLastError());
        if (got == 0)
            break;
        text.append(chunk, got);
    }
    content = std::move(text);
    return DataFileRead::Read;
}

bool write_data_file(const std::string& path, std::string_view content, std::uint32_t* error)
{
    const quillon::WString name = wide_path(path);
    const quillon::WString temporary = wide_path(path + ".tmp");
    if (name.empty() || temporary.empty()) {
        if (error)
            *error = ERROR_INVALID_NAME;
        return false;
    }
    FileHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file.valid()) {
        if (error)
            *error = GetLastError();
        return false;
    }
    // Flushed before the move: a file moved with its data still in the cache may come back empty
    // after a power cut, and a write error can show only here. The move itself is written through,
    // so that success means the new file is on the disk.
    const bool done = write_all(file.get(), content) && FlushFileBuffers(file.get()) && file.close() &&
                      MoveFileExW(temporary.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!done) {
        const DWORD code = GetLastError();
        file.close();
        DeleteFileW(temporary.c_str());
        if (error)
            *error = code != ERROR_SUCCESS ? code : DWORD(ERROR_GEN_FAILURE);
        return false;
    }
    return true;
}

} // namespace devio
