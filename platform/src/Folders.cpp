// Folders of the simulated machine: creating and removing them, the temporary folder and its file
// names, the program's path and folder, and the shell's known folders.
#include "FileFaults.h"
#include "FileSupport.h"
#include "KernelObject.h"
#include "Machine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform::detail {

namespace {

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

}  // namespace

}  // namespace platform::detail

using namespace platform::detail;

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
