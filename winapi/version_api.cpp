#include "winapi/version_api.h"

#include "winapi/environment.h"
#include "winapi/error_api.h"

#include <array>
#include <cstring>

namespace {

using orvo::winapi::OperatingSystem;

struct VersionAnswer {
    OperatingSystem os;
    DWORD major, minor, build, platform;
    const char* service_pack;
};

// Released builds. On Windows 95 and 98 the build number's high word repeats the version.
constexpr std::array<VersionAnswer, 5> kVersions = {{
    {OperatingSystem::WindowsNT351, 3, 51, 1057, VER_PLATFORM_WIN32_NT, "Service Pack 5"},
    {OperatingSystem::WindowsNT40, 4, 0, 1381, VER_PLATFORM_WIN32_NT, "Service Pack 6"},
    {OperatingSystem::Windows2000, 5, 0, 2195, VER_PLATFORM_WIN32_NT, "Service Pack 4"},
    {OperatingSystem::Windows95, 4, 0, 0x040003B6, VER_PLATFORM_WIN32_WINDOWS, ""},
    {OperatingSystem::Windows98, 4, 10, 0x040A07CE, VER_PLATFORM_WIN32_WINDOWS, ""},
}};

} // namespace

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    const auto& env = orvo::winapi::environment();
    if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) ||
        env.settings().version_query_fails) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    for (const auto& answer : kVersions) {
        if (answer.os != env.settings().operating_system) continue;
        info->dwMajorVersion = answer.major;
        info->dwMinorVersion = answer.minor;
        info->dwBuildNumber = answer.build;
        info->dwPlatformId = answer.platform;
        std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
        std::strncpy(info->szCSDVersion, answer.service_pack, sizeof info->szCSDVersion - 1);
        return TRUE;
    }
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}
