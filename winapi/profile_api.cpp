#include "winapi/profile_api.h"

#include "machine/registry/file_io.h"
#include "winapi/environment.h"
#include "winapi/error_api.h"
#include "winapi/host_paths.h"
#include "winapi/profile_file.h"

#include <cstring>
#include <system_error>

namespace {

using orvo::winapi::ProfileFile;

// The longest prefix of at most max_bytes that ends on a UTF-8 character boundary.
std::string_view utf8_prefix(std::string_view text, std::size_t max_bytes) {
    if (text.size() <= max_bytes) return text;
    std::size_t cut = max_bytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return text.substr(0, cut);
}

DWORD copy_string(std::string_view text, LPSTR out, DWORD size) {
    std::string_view part = utf8_prefix(text, size - 1);
    std::memcpy(out, part.data(), part.size());
    out[part.size()] = '\0';
    return static_cast<DWORD>(part.size());
}

// Names, each NUL-terminated, and a final NUL. When they do not fit, the name that overflows
// is cut and followed by two NULs, and the result is nSize - 2. A cut that keeps a UTF-8
// character whole may end the name earlier: NULs then fill the buffer to its end, so that no
// byte within the result is left unwritten.
DWORD copy_name_list(const std::vector<std::string>& names, LPSTR out, DWORD size) {
    if (size < 2) {
        out[0] = '\0';
        return 0;
    }
    std::size_t used = 0;
    for (const auto& name : names) {
        std::size_t room = size - 1 - used; // bytes left before the final NUL
        if (name.size() + 1 <= room) {
            std::memcpy(out + used, name.c_str(), name.size() + 1);
            used += name.size() + 1;
            continue;
        }
        if (room == 0) {
            out[size - 1] = '\0'; // the previous name's NUL and this one end the list
        } else {
            std::string_view part = utf8_prefix(name, room - 1);
            std::memcpy(out + used, part.data(), part.size());
            std::memset(out + used + part.size(), '\0', size - used - part.size());
        }
        return size - 2;
    }
    out[used] = '\0';
    return static_cast<DWORD>(used);
}

std::optional<ProfileFile> load_profile(LPCSTR file_name) {
    if (!file_name) return std::nullopt;
    auto& env = orvo::winapi::environment();
    auto path = orvo::winapi::host_path_of(env, file_name);
    if (!path) return std::nullopt;
    try {
        auto bytes = orvo::registry::read_file_if_exists(*path);
        if (!bytes) return std::nullopt;
        return ProfileFile::from_bytes(*bytes);
    } catch (const std::system_error&) {
        return std::nullopt; // unreadable (a directory, no permission): as if missing
    }
}

} // namespace

DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                               LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
    if (!lpReturnedString || nSize == 0) return 0;
    auto profile = load_profile(lpFileName);
    if (!lpAppName)
        return copy_name_list(profile ? profile->section_names() : std::vector<std::string>{},
                              lpReturnedString, nSize);
    if (!lpKeyName)
        return copy_name_list(profile ? profile->key_names(lpAppName) : std::vector<std::string>{},
                              lpReturnedString, nSize);
    if (const std::string* value = profile ? profile->find(lpAppName, lpKeyName) : nullptr) {
        SetLastError(ERROR_SUCCESS);
        return copy_string(orvo::winapi::without_enclosing_quotes(*value), lpReturnedString, nSize);
    }
    std::string_view fallback = lpDefault ? lpDefault : "";
    while (fallback.ends_with(' '))
        fallback.remove_suffix(1);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return copy_string(fallback, lpReturnedString, nSize);
}
