// Searches of folders: FindFirstFileW / FindNextFileW / FindClose with '*' and '?' masks.
#include "FileSupport.h"
#include "KernelObject.h"
#include "Machine.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace platform::detail {

namespace {

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

}  // namespace

}  // namespace platform::detail

using namespace platform::detail;

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
