// Built-in modules: LoadLibrary/GetProcAddress/FreeLibrary over registered entry-point tables.
#include "KernelObject.h"
#include "Machine.h"

#include <sim/Kernel.h>

#include <set>

namespace platform::detail {

namespace {

struct Module {
    std::string name;  // as registered, e.g. "hid.dll"
    std::map<std::string, FARPROC> entries;
    std::set<std::string> absentEntries;
    bool absent = false;
    int references = 0;
    unsigned loads = 0;
    std::map<std::string, unsigned> lookups;
};

struct Modules {
    std::mutex mutex;
    std::map<std::string, std::unique_ptr<Module>> byName;  // lower-case name with extension
    Module program;                                         // the running executable
};

Modules& modules() {
    static Modules& m = *new Modules;  // never destroyed: threads may still use it at exit
    return m;
}

// "C:\Windows\System32\HID.DLL" -> "hid.dll"; a name without extension gets ".dll".
std::string module_key(const std::string& name) {
    std::string base = name;
    size_t slash = base.find_last_of("\\/");
    if (slash != std::string::npos) base = base.substr(slash + 1);
    base = lower(base);
    if (base.find('.') == std::string::npos) base += ".dll";
    if (!base.empty() && base.back() == '.') base.pop_back();  // "name." means: no extension
    return base;
}

Module* find_locked(const std::string& name) {
    auto& m = modules();
    auto it = m.byName.find(module_key(name));
    return it == m.byName.end() ? nullptr : it->second.get();
}

Module& get_or_add_locked(const std::string& name) {
    auto& m = modules();
    auto& slot = m.byName[module_key(name)];
    if (!slot) {
        slot = std::make_unique<Module>();
        slot->name = name;
    }
    return *slot;
}

Module* from_handle_locked(HMODULE handle) {
    auto& m = modules();
    for (auto& entry : m.byName)
        if (reinterpret_cast<HMODULE>(entry.second.get()) == handle) return entry.second.get();
    return nullptr;
}

HMODULE load(const std::string& name) {
    auto& m = modules();
    std::lock_guard<std::mutex> lock(m.mutex);
    Module* module = find_locked(name);
    if (!module || module->absent || module->entries.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ++module->references;
    ++module->loads;
    return reinterpret_cast<HMODULE>(module);
}

}  // namespace

void register_module(const std::string& name, const std::map<std::string, FARPROC>& entries) {
    auto& m = modules();
    std::lock_guard<std::mutex> lock(m.mutex);
    Module& module = get_or_add_locked(name);
    for (const auto& entry : entries) module.entries[entry.first] = entry.second;
}

void reset_modules() {
    auto& m = modules();
    std::lock_guard<std::mutex> lock(m.mutex);
    for (auto& entry : m.byName) {
        Module& module = *entry.second;
        module.absent = false;
        module.absentEntries.clear();
        module.loads = 0;
        module.lookups.clear();
    }
}

std::string module_display_name(HMODULE handle) {
    auto& m = modules();
    std::lock_guard<std::mutex> lock(m.mutex);
    Module* module = from_handle_locked(handle);
    return module ? module->name : std::string();
}

}  // namespace platform::detail

using namespace platform::detail;

HMODULE LoadLibraryW(LPCWSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return load(utf16_to_utf8(name));
}

HMODULE LoadLibraryA(LPCSTR name) {
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return load(name);
}

HMODULE LoadLibraryExW(LPCWSTR name, HANDLE reserved, DWORD) {
    if (reserved) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadLibraryW(name);
}

FARPROC GetProcAddress(HMODULE handle, LPCSTR name) {
    auto& m = modules();
    std::lock_guard<std::mutex> lock(m.mutex);
    Module* module = from_handle_locked(handle);
    if (!module || module->references <= 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // Look-up by ordinal (a small integer in place of the name) is not offered.
    if (!name || reinterpret_cast<std::uintptr_t>(name) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    ++module->lookups[name];
    auto it = module->entries.find(name);
    if (it == module->entries.end() || module->absentEntries.count(name)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return it->second;
}

BOOL FreeLibrary(HMODULE handle) {
    auto& m = modules();
    std::lock_guard<std::mutex> lock(m.mutex);
    Module* module = from_handle_locked(handle);
    if (!module || module->references <= 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    --module->references;
    return TRUE;
}

HMODULE GetModuleHandleW(LPCWSTR name) {
    auto& m = modules();
    if (!name) return reinterpret_cast<HMODULE>(&m.program);
    std::lock_guard<std::mutex> lock(m.mutex);
    Module* module = find_locked(utf16_to_utf8(name));
    if (!module || module->references <= 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(module);
}

HMODULE GetModuleHandleA(LPCSTR name) {
    if (!name) return GetModuleHandleW(nullptr);
    std::u16string wide = utf8_to_utf16(name);
    return GetModuleHandleW(wide.c_str());
}

namespace platform::sim {

void set_module_absent(const std::string& module, bool absent) {
    auto& m = modules();
    std::lock_guard<std::mutex> lock(m.mutex);
    get_or_add_locked(module).absent = absent;
}

void set_entry_absent(const std::string& module, const std::string& entry, bool absent) {
    auto& m = modules();
    std::lock_guard<std::mutex> lock(m.mutex);
    Module& mod = get_or_add_locked(module);
    if (absent)
        mod.absentEntries.insert(entry);
    else
        mod.absentEntries.erase(entry);
}

unsigned module_load_count(const std::string& module) {
    auto& m = modules();
    std::lock_guard<std::mutex> lock(m.mutex);
    Module* mod = find_locked(module);
    return mod ? mod->loads : 0;
}

unsigned module_lookup_count(const std::string& module, const std::string& entry) {
    auto& m = modules();
    std::lock_guard<std::mutex> lock(m.mutex);
    Module* mod = find_locked(module);
    if (!mod) return 0;
    auto it = mod->lookups.find(entry);
    return it == mod->lookups.end() ? 0 : it->second;
}

int module_reference_count(const std::string& module) {
    auto& m = modules();
    std::lock_guard<std::mutex> lock(m.mutex);
    Module* mod = find_locked(module);
    return mod ? mod->references : 0;
}

bool module_registered(const std::string& module) {
    auto& m = modules();
    std::lock_guard<std::mutex> lock(m.mutex);
    Module* mod = find_locked(module);
    return mod && !mod->entries.empty();
}

}  // namespace platform::sim
