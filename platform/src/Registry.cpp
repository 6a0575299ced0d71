// The registry: in-memory HKEY_LOCAL_MACHINE / HKEY_CURRENT_USER trees and the shell helpers.
#include "KernelObject.h"
#include "Machine.h"

#include <sim/Kernel.h>

#include <cstring>
#include <vector>

namespace platform::detail {

bool token_elevated();  // Security.cpp

namespace {

constexpr DWORD kWriteAccess = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | 0x00040000u /*WRITE_DAC*/ |
                               0x00080000u /*WRITE_OWNER*/;

struct Value {
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Key {
    std::u16string name;
    bool machine = false;  // below HKEY_LOCAL_MACHINE: writing needs an elevated token
    bool deleted = false;
    std::map<std::u16string, std::shared_ptr<Key>> children;  // by lower-case name
    std::map<std::u16string, Value> values;                   // by lower-case name
};

struct OpenKey {
    std::shared_ptr<Key> key;
    DWORD access;
};

struct Registry {
    std::mutex mutex;
    std::shared_ptr<Key> machine;
    std::shared_ptr<Key> user;
    std::shared_ptr<Key> users;
    std::map<std::uintptr_t, OpenKey> open;
    std::uintptr_t next = 0x30000;
};

Registry& registry() {
    static Registry& r = *new Registry;  // never destroyed: threads may still use it at exit
    return r;
}

std::vector<std::u16string> split_path(const std::u16string& path) {
    std::vector<std::u16string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(u'\\', start);
        if (end == std::u16string::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

void seed_defaults_locked(Registry& r);

void ensure_roots_locked(Registry& r) {
    if (r.machine) return;
    r.machine = std::make_shared<Key>();
    r.machine->name = u"HKEY_LOCAL_MACHINE";
    r.machine->machine = true;
    r.user = std::make_shared<Key>();
    r.user->name = u"HKEY_CURRENT_USER";
    r.users = std::make_shared<Key>();
    r.users->name = u"HKEY_USERS";
    seed_defaults_locked(r);
}

std::shared_ptr<Key> child_locked(const std::shared_ptr<Key>& key, const std::u16string& path, bool create,
                                  bool* created = nullptr) {
    std::shared_ptr<Key> current = key;
    for (const auto& part : split_path(path)) {
        auto& slot = current->children[lower(part)];
        if (!slot) {
            if (!create) {
                current->children.erase(lower(part));
                return nullptr;
            }
            slot = std::make_shared<Key>();
            slot->name = part;
            slot->machine = current->machine;
            if (created) *created = true;
        }
        current = slot;
    }
    return current;
}

// The key behind a handle, with the access the handle grants. Null: ERROR_INVALID_HANDLE.
std::shared_ptr<Key> resolve_locked(Registry& r, HKEY handle, DWORD* access) {
    ensure_roots_locked(r);
    *access = KEY_ALL_ACCESS;
    if (handle == HKEY_LOCAL_MACHINE) return r.machine;
    if (handle == HKEY_CURRENT_USER) return r.user;
    if (handle == HKEY_USERS) return r.users;
    if (handle == HKEY_CLASSES_ROOT) return child_locked(r.machine, u"SOFTWARE\\Classes", true);
    auto it = r.open.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == r.open.end()) return nullptr;
    *access = it->second.access;
    return it->second.key;
}

// Holds the registry lock for one call and the key behind a handle; status tells whether it can be used.
struct KeyAccess {
    std::lock_guard<std::mutex> lock{registry().mutex};
    DWORD access = 0;
    std::shared_ptr<Key> key;
    LSTATUS status = ERROR_SUCCESS;
    explicit KeyAccess(HKEY handle) : key(resolve_locked(registry(), handle, &access)) {
        if (!key)
            status = ERROR_INVALID_HANDLE;
        else if (key->deleted)
            status = ERROR_KEY_DELETED;
    }
};

HKEY insert_locked(Registry& r, std::shared_ptr<Key> key, DWORD access) {
    std::uintptr_t value = r.next;
    r.next += 4;
    r.open[value] = OpenKey{std::move(key), access};
    return reinterpret_cast<HKEY>(value);
}

bool may_write(const Key& key) { return !key.machine || token_elevated(); }

void set_value_locked(Key& key, const std::u16string& name, DWORD type, const BYTE* data, DWORD size) {
    Value v;
    v.name = name;
    v.type = type;
    if (data && size) v.data.assign(data, data + size);
    key.values[lower(name)] = std::move(v);
}

void seed_defaults_locked(Registry& r) {
    // What a fresh machine carries and the program reads.
    auto system = child_locked(r.machine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", true);
    DWORD one = 1;
    set_value_locked(*system, u"EnableLUA", REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4);
    auto searching = child_locked(r.machine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\DriverSearching", true);
    set_value_locked(*searching, u"SearchOrderConfig", REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4);
}

void mark_deleted(Key& key) {
    key.deleted = true;
    for (auto& child : key.children) mark_deleted(*child.second);
}

// Copies a stored value out with the Windows size protocol.
LSTATUS copy_out(const std::vector<BYTE>& bytes, DWORD type, LPDWORD typeOut, LPBYTE data, LPDWORD size) {
    if (data && !size) return ERROR_INVALID_PARAMETER;
    if (typeOut) *typeOut = type;
    DWORD needed = static_cast<DWORD>(bytes.size());
    if (!data) {
        if (size) *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed) std::memcpy(data, bytes.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

bool is_string_type(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Narrow (UTF-8) string data of the A functions <-> the UTF-16 form kept in the tree.
std::vector<BYTE> narrow_to_stored(const BYTE* data, DWORD size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::u16string wide = utf8_to_utf16(text);
    std::vector<BYTE> out(wide.size() * 2);
    std::memcpy(out.data(), wide.data(), out.size());
    return out;
}

std::vector<BYTE> stored_to_narrow(const std::vector<BYTE>& bytes) {
    std::u16string wide(bytes.size() / 2, u'\0');
    std::memcpy(&wide[0], bytes.data(), wide.size() * 2);
    std::string text = utf16_to_utf8(wide);
    return std::vector<BYTE>(text.begin(), text.end());
}

LSTATUS open_key(HKEY key, const std::u16string& subKey, REGSAM desired, PHKEY result, bool create,
                 LPDWORD disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    KeyAccess held(key);
    if (held.status != ERROR_SUCCESS) return held.status;
    const auto& parent = held.key;
    DWORD wanted = desired & ~(KEY_WOW64_32KEY | KEY_WOW64_64KEY);
    bool created = false;
    std::shared_ptr<Key> target = child_locked(parent, subKey, false);
    if (!target) {
        if (!create) return ERROR_FILE_NOT_FOUND;
        if (!may_write(*parent)) return ERROR_ACCESS_DENIED;
        target = child_locked(parent, subKey, true, &created);
    }
    if ((wanted & kWriteAccess) && !may_write(*target)) return ERROR_ACCESS_DENIED;
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = insert_locked(registry(), target, wanted);
    return ERROR_SUCCESS;
}

LSTATUS query_value(HKEY key, const std::u16string& name, LPDWORD type, LPBYTE data, LPDWORD size, bool narrow) {
    KeyAccess held(key);
    if (held.status != ERROR_SUCCESS) return held.status;
    const auto& k = held.key;
    if (!(held.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    auto it = k->values.find(lower(name));
    if (it == k->values.end()) return ERROR_FILE_NOT_FOUND;
    const Value& v = it->second;
    if (narrow && is_string_type(v.type)) return copy_out(stored_to_narrow(v.data), v.type, type, data, size);
    return copy_out(v.data, v.type, type, data, size);
}

LSTATUS set_value(HKEY key, const std::u16string& name, DWORD type, const BYTE* data, DWORD size, bool narrow) {
    if (size && !data) return ERROR_INVALID_PARAMETER;
    KeyAccess held(key);
    if (held.status != ERROR_SUCCESS) return held.status;
    const auto& k = held.key;
    if (!(held.access & KEY_SET_VALUE) || !may_write(*k)) return ERROR_ACCESS_DENIED;
    if (narrow && is_string_type(type)) {
        auto stored = narrow_to_stored(data, size);
        set_value_locked(*k, name, type, stored.data(), static_cast<DWORD>(stored.size()));
    } else {
        set_value_locked(*k, name, type, data, size);
    }
    return ERROR_SUCCESS;
}

LSTATUS delete_key(HKEY key, const std::u16string& subKey, bool recursive) {
    KeyAccess held(key);
    if (held.status != ERROR_SUCCESS) return held.status;
    const auto& parentOfPath = held.key;
    auto parts = split_path(subKey);
    if (parts.empty()) return ERROR_INVALID_PARAMETER;
    std::u16string leaf = parts.back();
    parts.pop_back();
    std::u16string parentPath;
    for (const auto& p : parts) parentPath += p + u"\\";
    auto parent = child_locked(parentOfPath, parentPath, false);
    if (!parent) return ERROR_FILE_NOT_FOUND;
    auto it = parent->children.find(lower(leaf));
    if (it == parent->children.end()) return ERROR_FILE_NOT_FOUND;
    if (!may_write(*parent)) return ERROR_ACCESS_DENIED;
    if (!recursive && !it->second->children.empty()) return ERROR_ACCESS_DENIED;
    mark_deleted(*it->second);
    parent->children.erase(it);
    return ERROR_SUCCESS;
}

}  // namespace

void reset_registry() {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.machine.reset();
    r.user.reset();
    r.users.reset();
    ensure_roots_locked(r);
}

// Keeps the policy value in step with the simulated user account control.
void registry_set_uac(bool enabled) {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    ensure_roots_locked(r);
    auto system = child_locked(r.machine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", true);
    DWORD value = enabled ? 1 : 0;
    set_value_locked(*system, u"EnableLUA", REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
}

}  // namespace platform::detail

using namespace platform::detail;

namespace {
std::u16string from_narrow(LPCSTR text) { return text ? utf8_to_utf16(text) : std::u16string(); }
}  // namespace

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM desired, PHKEY result) {
    return open_key(key, wide_string(subKey), desired, result, false, nullptr);
}

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM desired, PHKEY result) {
    return open_key(key, from_narrow(subKey), desired, result, false, nullptr);
}

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM desired, LPSECURITY_ATTRIBUTES,
                        PHKEY result, LPDWORD disposition) {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    return open_key(key, subKey, desired, result, true, disposition);
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM desired, LPSECURITY_ATTRIBUTES,
                        PHKEY result, LPDWORD disposition) {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    return open_key(key, from_narrow(subKey), desired, result, true, disposition);
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    return query_value(key, wide_string(valueName), type, data, size, false);
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
    return query_value(key, from_narrow(valueName), type, data, size, true);
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size) {
    return set_value(key, wide_string(valueName), type, data, size, false);
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD size) {
    return set_value(key, from_narrow(valueName), type, data, size, true);
}

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD, LPWSTR className,
                      LPDWORD classLength, LPFILETIME lastWriteTime) {
    if (!name || !nameLength) return ERROR_INVALID_PARAMETER;
    KeyAccess held(key);
    if (held.status != ERROR_SUCCESS) return held.status;
    const auto& k = held.key;
    if (!(held.access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
    if (index >= k->children.size()) return ERROR_NO_MORE_ITEMS;
    auto it = k->children.begin();
    std::advance(it, index);
    const std::u16string& child = it->second->name;
    if (*nameLength < child.size() + 1) return ERROR_MORE_DATA;
    std::copy(child.begin(), child.end(), name);
    name[child.size()] = 0;
    *nameLength = static_cast<DWORD>(child.size());
    if (className && classLength && *classLength) className[0] = 0;
    if (classLength) *classLength = 0;
    if (lastWriteTime) *lastWriteTime = FILETIME{};
    return ERROR_SUCCESS;
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, LPDWORD valueNameLength, LPDWORD, LPDWORD type,
                      LPBYTE data, LPDWORD size) {
    if (!valueName || !valueNameLength) return ERROR_INVALID_PARAMETER;
    KeyAccess held(key);
    if (held.status != ERROR_SUCCESS) return held.status;
    const auto& k = held.key;
    if (index >= k->values.size()) return ERROR_NO_MORE_ITEMS;
    auto it = k->values.begin();
    std::advance(it, index);
    const Value& v = it->second;
    if (*valueNameLength < v.name.size() + 1) return ERROR_MORE_DATA;
    std::copy(v.name.begin(), v.name.end(), valueName);
    valueName[v.name.size()] = 0;
    *valueNameLength = static_cast<DWORD>(v.name.size());
    return copy_out(v.data, v.type, type, data, size);
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) {
    KeyAccess held(key);
    if (held.status != ERROR_SUCCESS) return held.status;
    const auto& k = held.key;
    if (!(held.access & KEY_SET_VALUE) || !may_write(*k)) return ERROR_ACCESS_DENIED;
    if (k->values.erase(lower(wide_string(valueName))) == 0) return ERROR_FILE_NOT_FOUND;
    return ERROR_SUCCESS;
}

LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName) {
    std::u16string name = from_narrow(valueName);
    return RegDeleteValueW(key, name.c_str());
}

LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    return delete_key(key, subKey, false);
}

LSTATUS RegCloseKey(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER || key == HKEY_USERS || key == HKEY_CLASSES_ROOT)
        return ERROR_SUCCESS;
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.open.erase(reinterpret_cast<std::uintptr_t>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS SHRegGetUSValueA(LPCSTR subKey, LPCSTR value, DWORD* type, void* data, DWORD* size, BOOL ignoreHKCU,
                         void* defaultData, DWORD defaultSize) {
    LSTATUS status = ERROR_FILE_NOT_FOUND;
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        if (root == HKEY_CURRENT_USER && ignoreHKCU) continue;
        HKEY key;
        if (RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) continue;
        status = RegQueryValueExA(key, value, nullptr, type, static_cast<LPBYTE>(data), size);
        RegCloseKey(key);
        if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) return status;
    }
    if (defaultData && defaultSize) {
        if (!size) return ERROR_INVALID_PARAMETER;
        if (data) {
            if (*size < defaultSize) {
                *size = defaultSize;
                return ERROR_MORE_DATA;
            }
            std::memcpy(data, defaultData, defaultSize);
        }
        *size = defaultSize;
        return ERROR_SUCCESS;
    }
    return status;
}

LSTATUS SHRegSetUSValueA(LPCSTR subKey, LPCSTR value, DWORD type, const void* data, DWORD size, DWORD flags) {
    LSTATUS status = ERROR_INVALID_PARAMETER;
    struct Target {
        HKEY root;
        DWORD onlyIfAbsent;
        DWORD force;
    };
    for (Target t : {Target{HKEY_CURRENT_USER, SHREGSET_HKCU, SHREGSET_FORCE_HKCU},
                     Target{HKEY_LOCAL_MACHINE, SHREGSET_HKLM, SHREGSET_FORCE_HKLM}}) {
        if (!(flags & (t.onlyIfAbsent | t.force))) continue;
        HKEY key;
        status = RegCreateKeyExA(t.root, subKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr);
        if (status != ERROR_SUCCESS) continue;
        bool write = true;
        if (!(flags & t.force)) write = RegQueryValueExA(key, value, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS;
        if (write) status = RegSetValueExA(key, value, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }
    return status;
}

LSTATUS SHDeleteKeyW(HKEY key, LPCWSTR subKey) {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    return delete_key(key, subKey, true);
}

LSTATUS SHDeleteKeyA(HKEY key, LPCSTR subKey) {
    if (!subKey) return ERROR_INVALID_PARAMETER;
    return delete_key(key, from_narrow(subKey), true);
}

namespace platform::sim {

void registry_clear() {
    reset_registry();
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.machine->children.clear();  // nothing at all, not even the defaults
}

namespace {
std::shared_ptr<Key> seed_key_locked(Registry& r, HKEY root, const std::string& key, bool create) {
    DWORD access;
    auto base = resolve_locked(r, root, &access);
    return base ? child_locked(base, utf8_to_utf16(key), create) : nullptr;
}
}  // namespace

void registry_set_string(HKEY root, const std::string& key, const std::string& name, const std::string& value) {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (auto k = seed_key_locked(r, root, key, true)) {
        std::u16string wide = utf8_to_utf16(value);
        wide.push_back(0);
        set_value_locked(*k, utf8_to_utf16(name), REG_SZ, reinterpret_cast<const BYTE*>(wide.data()),
                         static_cast<DWORD>(wide.size() * 2));
    }
}

void registry_set_dword(HKEY root, const std::string& key, const std::string& name, DWORD value) {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (auto k = seed_key_locked(r, root, key, true))
        set_value_locked(*k, utf8_to_utf16(name), REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
}

void registry_set_binary(HKEY root, const std::string& key, const std::string& name,
                         const std::vector<std::uint8_t>& value) {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (auto k = seed_key_locked(r, root, key, true))
        set_value_locked(*k, utf8_to_utf16(name), REG_BINARY, value.data(), static_cast<DWORD>(value.size()));
}

void registry_create_key(HKEY root, const std::string& key) {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    seed_key_locked(r, root, key, true);
}

bool registry_get_string(HKEY root, const std::string& key, const std::string& name, std::string& value) {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto k = seed_key_locked(r, root, key, false);
    if (!k) return false;
    auto it = k->values.find(lower(utf8_to_utf16(name)));
    if (it == k->values.end() || !is_string_type(it->second.type)) return false;
    auto narrow = stored_to_narrow(it->second.data);
    value.assign(narrow.begin(), narrow.end());
    while (!value.empty() && value.back() == '\0') value.pop_back();
    return true;
}

bool registry_get_dword(HKEY root, const std::string& key, const std::string& name, DWORD& value) {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto k = seed_key_locked(r, root, key, false);
    if (!k) return false;
    auto it = k->values.find(lower(utf8_to_utf16(name)));
    if (it == k->values.end() || it->second.type != REG_DWORD || it->second.data.size() != 4) return false;
    std::memcpy(&value, it->second.data.data(), 4);
    return true;
}

bool registry_key_exists(HKEY root, const std::string& key) {
    auto& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return seed_key_locked(r, root, key, false) != nullptr;
}

}  // namespace platform::sim
