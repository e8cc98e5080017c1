#include "winapi/file_api.h"

#include "winapi/environment.h"
#include "winapi/error_api.h"
#include "winapi/host_paths.h"

#include <cstring>
#include <unistd.h>

DWORD GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
    auto& env = orvo::winapi::environment();
    std::string path = orvo::winapi::windows_path_of(env, env.current_directory());
    if (!lpBuffer || nBufferLength < path.size() + 1) return static_cast<DWORD>(path.size() + 1);
    std::memcpy(lpBuffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

DWORD GetFileAttributesA(LPCSTR lpFileName) {
    if (!lpFileName || !*lpFileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    auto path = orvo::winapi::host_path_of(orvo::winapi::environment(), lpFileName);
    std::error_code ec;
    auto status = path ? std::filesystem::status(*path, ec) : std::filesystem::file_status{};
    if (!path || ec || !std::filesystem::exists(status)) {
        bool folder_exists = path && std::filesystem::is_directory(path->parent_path(), ec);
        SetLastError(folder_exists ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (std::filesystem::is_directory(status)) return FILE_ATTRIBUTE_DIRECTORY;
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    if (::access(path->c_str(), W_OK) != 0) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
}
