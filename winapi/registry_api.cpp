#include "winapi/registry_api.h"

#include "winapi/environment.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <stdexcept>

namespace {

using orvo::registry::Key;
using orvo::registry::KeyPath;
using orvo::registry::Tree;
using orvo::registry::Value;
using orvo::winapi::Environment;
using orvo::winapi::OpenKey;

struct PredefinedKey {
    ULONG_PTR handle;
    const char* root;
};
constexpr std::array<PredefinedKey, 6> kPredefinedKeys = {{
    {0x80000000, "HKEY_CLASSES_ROOT"},
    {0x80000001, "HKEY_CURRENT_USER"},
    {0x80000002, "HKEY_LOCAL_MACHINE"},
    {0x80000003, "HKEY_USERS"},
    {0x80000005, "HKEY_CURRENT_CONFIG"},
    {0x80000006, "HKEY_DYN_DATA"},
}};

const PredefinedKey* predefined(HKEY key) {
    auto value = reinterpret_cast<ULONG_PTR>(key);
    auto it = std::find_if(kPredefinedKeys.begin(), kPredefinedKeys.end(),
                           [value](const PredefinedKey& k) { return k.handle == value; });
    return it == kPredefinedKeys.end() ? nullptr : &*it;
}

// Generic rights stand for the key rights they map to; predefined keys are open for everything.
REGSAM effective_access(REGSAM requested) {
    REGSAM access = requested & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL |
                                  MAXIMUM_ALLOWED);
    if (requested & (GENERIC_READ | GENERIC_EXECUTE)) access |= KEY_READ;
    if (requested & GENERIC_WRITE) access |= KEY_WRITE;
    if (requested & (GENERIC_ALL | MAXIMUM_ALLOWED)) access |= KEY_ALL_ACCESS;
    return access;
}

std::optional<OpenKey> resolve(Environment& env, HKEY key) {
    if (const PredefinedKey* root = predefined(key)) return OpenKey{{root->root}, KEY_ALL_ACCESS};
    if (OpenKey* open = env.keys().find(reinterpret_cast<ULONG_PTR>(key))) return *open;
    return std::nullopt;
}

// Appends a subkey path given relative to an open key. One trailing backslash is accepted; an
// empty name elsewhere (a leading or doubled backslash) is not.
LONG append_subkey(KeyPath& path, LPCSTR sub_key) {
    if (!sub_key || !*sub_key) return ERROR_SUCCESS;
    auto parts = orvo::registry::split_key_path(sub_key);
    if (!parts) return ERROR_BAD_PATHNAME;
    path.insert(path.end(), parts->begin(), parts->end());
    return ERROR_SUCCESS;
}

HKEY to_handle(ULONG_PTR number) {
    return reinterpret_cast<HKEY>(number);
}

bool is_windows_9x(const Environment& env) {
    using orvo::winapi::OperatingSystem;
    auto os = env.settings().operating_system;
    return os == OperatingSystem::Windows95 || os == OperatingSystem::Windows98;
}

// Runs one call. Store failures become the platform's registry failure codes and are reported
// with the file and line; a name the registry cannot hold is an invalid parameter.
template <class Call> LONG guarded(Environment& env, Call&& call) {
    try {
        return call();
    } catch (const orvo::registry::StoreError& e) {
        env.report(e.what());
        return e.kind() == orvo::registry::StoreError::Kind::Corrupt ? ERROR_REGISTRY_CORRUPT
                                                                     : ERROR_REGISTRY_IO_FAILED;
    } catch (const std::invalid_argument&) {
        return ERROR_INVALID_PARAMETER;
    }
}

// The open key a handle stands for, after the access check; an error code otherwise.
struct KeyForCall {
    LONG error = ERROR_SUCCESS;
    KeyPath path;
    std::size_t open_depth = 0; // the leading part of path that names the handle's own key
};

KeyForCall key_for_call(Environment& env, HKEY handle, REGSAM needed) {
    auto open = resolve(env, handle);
    if (!open) return {ERROR_INVALID_HANDLE, {}};
    if ((open->access & needed) != needed) return {ERROR_ACCESS_DENIED, {}};
    if (!env.registry().tree().find(open->path)) return {ERROR_KEY_DELETED, {}};
    std::size_t depth = open->path.size();
    return {ERROR_SUCCESS, std::move(open->path), depth};
}

// The path of hKey\lpSubKey for the calls that name a key below an open one. They need no
// right on the parent handle: the platform checks the named key's own security, which here
// grants everything.
KeyForCall subkey_for_call(Environment& env, HKEY handle, LPCSTR sub_key) {
    KeyForCall key = key_for_call(env, handle, 0);
    if (key.error == ERROR_SUCCESS) key.error = append_subkey(key.path, sub_key);
    return key;
}

} // namespace

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                   PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    Environment& env = orvo::winapi::environment();
    return guarded(env, [&]() -> LONG {
        auto key = subkey_for_call(env, hKey, lpSubKey);
        if (key.error != ERROR_SUCCESS) return key.error;
        KeyPath path = std::move(key.path);
        if (!env.registry().tree().find(path)) return ERROR_FILE_NOT_FOUND;
        *phkResult = to_handle(env.keys().open({std::move(path), effective_access(samDesired)}));
        return ERROR_SUCCESS;
    });
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR /*lpClass*/, DWORD dwOptions,
                     REGSAM samDesired, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/,
                     PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (!phkResult || !lpSubKey || Reserved != 0) return ERROR_INVALID_PARAMETER;
    // A volatile key is kept like any other: the parts of the registry that are volatile on
    // the platform are rewritten by the machine at every boot.
    if (dwOptions & ~(REG_OPTION_NON_VOLATILE | REG_OPTION_VOLATILE))
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    Environment& env = orvo::winapi::environment();
    return guarded(env, [&]() -> LONG {
        auto key = subkey_for_call(env, hKey, lpSubKey);
        if (key.error != ERROR_SUCCESS) return key.error;
        KeyPath path = std::move(key.path);
        const KeyPath open_key(path.begin(),
                               path.begin() + static_cast<std::ptrdiff_t>(key.open_depth));
        bool created = false;
        bool deleted = false;
        env.registry().modify([&](Tree& tree) {
            deleted = !tree.find(open_key); // by another writer since the check
            if (!deleted) tree.create(path, &created);
            return created;
        });
        if (deleted) return ERROR_KEY_DELETED;
        *phkResult = to_handle(env.keys().open({std::move(path), effective_access(samDesired)}));
        if (lpdwDisposition)
            *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    });
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData) {
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    Environment& env = orvo::winapi::environment();
    return guarded(env, [&]() -> LONG {
        auto key = key_for_call(env, hKey, KEY_QUERY_VALUE);
        if (key.error != ERROR_SUCCESS) return key.error;
        const Key* target = env.registry().tree().find(key.path);
        if (!target) return ERROR_KEY_DELETED; // by another writer since the check
        const Value* value = target->value(lpValueName ? lpValueName : "");
        if (!value) return ERROR_FILE_NOT_FOUND;
        auto size = static_cast<DWORD>(value->data.size());
        if (lpType) *lpType = value->type;
        if (lpData) {
            if (*lpcbData < size) {
                *lpcbData = size;
                return ERROR_MORE_DATA;
            }
            if (size) std::memcpy(lpData, value->data.data(), size);
        }
        if (lpcbData) *lpcbData = size;
        return ERROR_SUCCESS;
    });
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
    if (Reserved != 0) return ERROR_INVALID_PARAMETER;
    if (!lpData && cbData) return ERROR_NOACCESS;
    Environment& env = orvo::winapi::environment();
    return guarded(env, [&]() -> LONG {
        auto key = key_for_call(env, hKey, KEY_SET_VALUE);
        if (key.error != ERROR_SUCCESS) return key.error;
        LONG result = ERROR_SUCCESS;
        Value value = Value::from_bytes(dwType, {lpData, lpData ? cbData : 0});
        env.registry().modify([&](Tree& tree) {
            Key* target = tree.find(key.path);
            if (!target) {
                result = ERROR_KEY_DELETED; // deleted by another writer meanwhile
                return false;
            }
            const std::string name = lpValueName ? lpValueName : "";
            const Value* old = target->value(name);
            if (old && *old == value) return false; // nothing to save
            target->set_value(name, std::move(value));
            return true;
        });
        return result;
    });
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    if (!lpName || !lpcchName || lpReserved) return ERROR_INVALID_PARAMETER;
    Environment& env = orvo::winapi::environment();
    return guarded(env, [&]() -> LONG {
        auto key = key_for_call(env, hKey, KEY_ENUMERATE_SUB_KEYS);
        if (key.error != ERROR_SUCCESS) return key.error;
        const Key* target = env.registry().tree().find(key.path);
        if (!target) return ERROR_KEY_DELETED; // by another writer since the check
        const auto& children = target->children();
        if (dwIndex >= children.size()) return ERROR_NO_MORE_ITEMS;
        const std::string& name = std::next(children.begin(), dwIndex)->first;
        if (name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
        std::memcpy(lpName, name.c_str(), name.size() + 1);
        *lpcchName = static_cast<DWORD>(name.size());
        // Keys carry no class, and no write times are kept.
        if (lpClass && lpcchClass && *lpcchClass > 0) {
            lpClass[0] = '\0';
            *lpcchClass = 0;
        }
        if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
    // Deleting the key of the handle itself (an empty subkey) is not offered.
    if (!lpSubKey || !*lpSubKey) return ERROR_INVALID_PARAMETER;
    Environment& env = orvo::winapi::environment();
    return guarded(env, [&]() -> LONG {
        auto key = subkey_for_call(env, hKey, lpSubKey);
        if (key.error != ERROR_SUCCESS) return key.error;
        KeyPath path = std::move(key.path);
        LONG result = ERROR_SUCCESS;
        // Windows NT refuses to delete a key that has subkeys; Windows 95 and 98 delete the
        // whole tree.
        const bool whole_tree = is_windows_9x(env);
        env.registry().modify([&](Tree& tree) {
            const Key* target = tree.find(path);
            if (!target)
                result = ERROR_FILE_NOT_FOUND;
            else if (path.size() < 2 || (!whole_tree && !target->children().empty()))
                result = ERROR_ACCESS_DENIED;
            else
                tree.remove(path);
            return result == ERROR_SUCCESS;
        });
        return result;
    });
}

LONG RegCloseKey(HKEY hKey) {
    if (predefined(hKey)) return ERROR_SUCCESS;
    return orvo::winapi::environment().keys().close(reinterpret_cast<ULONG_PTR>(hKey))
               ? ERROR_SUCCESS
               : ERROR_INVALID_HANDLE;
}
