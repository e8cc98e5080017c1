// Version query, current directory and file attributes of the simulated PC.

#include "winapi/error_api.h"
#include "winapi/file_api.h"
#include "winapi/version_api.h"

#include "tests/winapi/machine_fixture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using orvo::testing::MachineFixture;
using orvo::winapi::OperatingSystem;

class SystemApi : public MachineFixture {};

TEST_F(SystemApi, VersionQueryAnswersForTheMachinesOperatingSystem) {
    const struct {
        const char* name;
        DWORD major, minor, platform;
    } cases[] = {
        {"nt40", 4, 0, VER_PLATFORM_WIN32_NT},        {"nt351", 3, 51, VER_PLATFORM_WIN32_NT},
        {"win2000", 5, 0, VER_PLATFORM_WIN32_NT},     {"win95", 4, 0, VER_PLATFORM_WIN32_WINDOWS},
        {"win98", 4, 10, VER_PLATFORM_WIN32_WINDOWS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        orvo::winapi::MachineSettings settings;
        auto os = orvo::winapi::operating_system_from_name(c.name);
        ASSERT_TRUE(os.has_value());
        settings.operating_system = *os;
        install(settings);
        OSVERSIONINFOA info{};
        info.dwOSVersionInfoSize = 148;
        ASSERT_TRUE(GetVersionExA(&info));
        EXPECT_EQ(info.dwMajorVersion, c.major);
        EXPECT_EQ(info.dwMinorVersion, c.minor);
        EXPECT_EQ(info.dwPlatformId, c.platform);
    }
    EXPECT_FALSE(orvo::winapi::operating_system_from_name("nt5").has_value());
}

TEST_F(SystemApi, VersionQueryFailsForAWrongSizeOrWhenTheMachineSaysSo) {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(GetVersionExA(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    orvo::winapi::MachineSettings settings;
    settings.version_query_fails = true;
    install(settings);
    info.dwOSVersionInfoSize = sizeof info;
    EXPECT_FALSE(GetVersionExA(&info));
}

TEST_F(SystemApi, CurrentDirectoryIsAWindowsPathOnDriveC) {
    char buffer[MAX_PATH];
    EXPECT_EQ(GetCurrentDirectoryA(sizeof buffer, buffer), 3u);
    EXPECT_STREQ(buffer, "C:\\"); // the drive root itself keeps its backslash

    std::filesystem::create_directories(dir_ / "Orvo" / "Setup");
    orvo::winapi::MachineSettings settings;
    settings.current_directory = dir_ / "Orvo" / "Setup";
    install(settings);
    EXPECT_EQ(GetCurrentDirectoryA(sizeof buffer, buffer), 13u);
    EXPECT_STREQ(buffer, "C:\\Orvo\\Setup");

    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(GetCurrentDirectoryA(13, buffer), 14u); // too small: the size needed, NUL included
    EXPECT_EQ(buffer[0], 'x');

    settings.current_directory = "/";
    EXPECT_THROW(install(settings), std::invalid_argument); // outside drive C:
}

TEST_F(SystemApi, FileAttributesTellWhatExists) {
    std::filesystem::create_directory(dir_ / "Folder");
    dir_.write("Folder/ADAPTER.INI", "[Options]\n");
    EXPECT_EQ(GetFileAttributesA("C:\\Folder"), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesA("C:\\folder\\adapter.ini") & ~FILE_ATTRIBUTE_READONLY,
              FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(GetFileAttributesA("Folder\\ADAPTER.INI") & ~FILE_ATTRIBUTE_READONLY,
              FILE_ATTRIBUTE_ARCHIVE);

    EXPECT_EQ(GetFileAttributesA("C:\\Folder\\MISSING.INI"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA("C:\\Nowhere\\ADAPTER.INI"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA("E:\\ADAPTER.INI"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA("\\\\server\\share\\ADAPTER.INI"), INVALID_FILE_ATTRIBUTES);
    // ".." cannot climb out of drive C:.
    EXPECT_EQ(GetFileAttributesA("C:\\..\\..\\Folder"), FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace
