// The simulated machine: its root folder, Windows path mapping, resets and text helpers.
#include "KernelObject.h"
#include "Machine.h"

#include <sim/Kernel.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace platform::detail {

namespace {

struct MachineState {
    std::mutex mutex;
    std::string root;
    std::string temporaryRoot;  // made by reset_machine, removed at exit by its creator
    pid_t temporaryOwner = 0;
    std::u16string moduleFileName = u"C:\\Program Files\\Quillon\\Quillon.exe";
    std::vector<void (*)()> resetHooks;
};

MachineState& machine() {
    static MachineState& state = *new MachineState;  // never destroyed: threads may still use it at exit
    return state;
}

void make_dirs(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
}

void make_standard_folders(const std::string& root) {
    for (const char* folder : {"C/Windows/System32", "C/ProgramData", "C/Program Files/Quillon",
                               "C/Users/User/AppData/Local/Temp", "C/Users/User/AppData/Roaming", ".kernel"})
        make_dirs(root + "/" + folder);
}

void remove_temporary_root() {
    auto& m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    if (!m.temporaryRoot.empty() && m.temporaryOwner == ::getpid()) {
        std::error_code ec;
        std::filesystem::remove_all(m.temporaryRoot, ec);
    }
    m.temporaryRoot.clear();
}

std::string default_root() {
    if (const char* env = std::getenv("QUILLON_MACHINE_ROOT"); env && *env) return env;
    return "/tmp/quillon-machine-" + std::to_string(::getuid());
}

// Finds an entry of folder whose name equals name ignoring ASCII case; exact match first.
std::string resolve_component(const std::string& folder, const std::string& name) {
    struct stat st;
    if (::lstat((folder + "/" + name).c_str(), &st) == 0) return name;
    std::string wanted = lower(name);
    std::string found = name;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            if (lower(std::string(entry->d_name)) == wanted) {
                found = entry->d_name;
                break;
            }
        }
        ::closedir(dir);
    }
    return found;
}

}  // namespace

std::string machine_root() {
    auto& m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    if (m.root.empty()) {
        m.root = default_root();
        make_standard_folders(m.root);
    }
    return m.root;
}

std::string kernel_object_folder() {
    std::string folder = machine_root() + "/.kernel";
    make_dirs(folder);
    return folder;
}

std::u16string module_file_name() {
    auto& m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    return m.moduleFileName;
}

std::u16string full_windows_path(const std::u16string& input) {
    std::u16string path = input;
    for (auto& c : path)
        if (c == u'/') c = u'\\';
    if (path.rfind(u"\\\\?\\", 0) == 0 || path.rfind(u"\\\\.\\", 0) == 0) path = path.substr(4);
    bool hasDrive = path.size() >= 2 && path[1] == u':' &&
                    ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
    if (hasDrive) return path;
    if (!path.empty() && path[0] == u'\\') return u"C:" + path;
    std::u16string base = module_file_name();
    base = base.substr(0, base.find_last_of(u'\\') + 1);
    return base + path;
}

std::string host_path(const std::u16string& windowsPath) {
    std::u16string full = full_windows_path(windowsPath);
    char drive = static_cast<char>(full[0]);
    if (drive >= 'a' && drive <= 'z') drive = static_cast<char>(drive - 'a' + 'A');
    std::vector<std::string> parts;
    std::string rest = utf16_to_utf8(full.substr(2));
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find('\\', start);
        if (end == std::string::npos) end = rest.size();
        std::string part = rest.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string result = machine_root() + "/" + std::string(1, drive);
    for (const auto& part : parts) result += "/" + resolve_component(result, part);
    return result;
}

void add_reset_hook(void (*hook)()) {
    auto& m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    for (auto h : m.resetHooks)
        if (h == hook) return;
    m.resetHooks.push_back(hook);
}

// --- text helpers ---
bool decode_utf8(const char* text, size_t length, std::u16string& out) {
    bool valid = true;
    size_t i = 0;
    auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    while (i < length) {
        unsigned char c = byte(i);
        char32_t cp = 0;
        size_t extra = 0;
        char32_t min = 0;
        if (c < 0x80) {
            cp = c;
        } else if (c >= 0xC2 && c <= 0xDF) {
            cp = c & 0x1F;
            extra = 1;
            min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            cp = c & 0x0F;
            extra = 2;
            min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            cp = c & 0x07;
            extra = 3;
            min = 0x10000;
        } else {
            valid = false;
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        bool ok = true;
        for (size_t k = 1; ok && k <= extra; ++k) {
            if (i + k >= length || (byte(i + k) & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (byte(i + k) & 0x3F);
        }
        if (ok && extra && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))) ok = false;
        if (!ok) {
            valid = false;
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return valid;
}

std::u16string utf8_to_utf16(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    decode_utf8(text.data(), text.size(), out);
    return out;
}

std::string utf16_to_utf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::u16string wide_string(LPCWSTR text) { return text ? std::u16string(text) : std::u16string(); }

std::u16string lower(std::u16string text) {
    for (auto& c : text)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return text;
}

std::string lower(std::string text) {
    for (auto& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace platform::detail

namespace platform::sim {

using namespace platform::detail;

void reset_machine() {
    remove_temporary_root();
    char pattern[] = "/tmp/quillon-machine-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    std::vector<void (*)()> hooks;
    {
        auto& m = machine();
        std::lock_guard<std::mutex> lock(m.mutex);
        static bool atexitInstalled = false;
        if (!atexitInstalled) {
            atexitInstalled = true;
            std::atexit(remove_temporary_root);
        }
        m.root = made ? std::string(made) : default_root();
        if (made) {
            m.temporaryRoot = m.root;
            m.temporaryOwner = ::getpid();
        }
        make_standard_folders(m.root);
        m.moduleFileName = u"C:\\Program Files\\Quillon\\Quillon.exe";
        hooks = m.resetHooks;
    }
    reset_debug_output();
    reset_registry();
    reset_modules();
    reset_security();
    for (auto hook : hooks) hook();
}

std::string machine_root() { return platform::detail::machine_root(); }

void set_machine_root(const std::string& hostFolder) {
    auto& m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.root = hostFolder;
    make_standard_folders(m.root);
}

std::string host_path(const std::u16string& windowsPath) { return platform::detail::host_path(windowsPath); }
std::string host_path(const std::string& windowsPath) { return platform::detail::host_path(utf8_to_utf16(windowsPath)); }

bool write_file(const std::string& windowsPath, const std::string& content) {
    std::string path = host_path(windowsPath);
    make_dirs(std::filesystem::path(path).parent_path().string());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    return static_cast<bool>(out);
}

bool read_file(const std::string& windowsPath, std::string& content) {
    std::ifstream in(host_path(windowsPath), std::ios::binary);
    if (!in) return false;
    content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

void set_module_file_name(const std::u16string& windowsPath) {
    auto& m = machine();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.moduleFileName = windowsPath;
}

}  // namespace platform::sim
