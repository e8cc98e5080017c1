// The registry calls: results, error codes and sizes as the platform gives them, over the
// machine's registry file.

#include "winapi/registry_api.h"

#include "machine/registry/store.h"
#include "tests/winapi/machine_fixture.h"
#include "winapi/environment.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

namespace {

using orvo::testing::MachineFixture;
using ::testing::HasSubstr;

class RegistryApi : public MachineFixture {
  protected:
    HKEY create(HKEY parent, const char* path, DWORD* disposition = nullptr) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                  nullptr, &key, disposition),
                  ERROR_SUCCESS)
            << path;
        return key;
    }
    HKEY open(HKEY parent, const char* path, REGSAM access = KEY_READ) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(parent, path, 0, access, &key), ERROR_SUCCESS) << path;
        return key;
    }
    LONG set_string(HKEY key, const char* name, const std::string& text) {
        return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    }
    std::string enum_key(HKEY key, DWORD index, LONG expected = ERROR_SUCCESS) {
        char name[260];
        DWORD length = sizeof name;
        EXPECT_EQ(RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr),
                  expected);
        return expected == ERROR_SUCCESS ? std::string(name, length) : std::string();
    }
};

TEST_F(RegistryApi, KeysMatchWithoutRegardToCaseAndKeepTheirStoredCase) {
    DWORD disposition = 0;
    HKEY service =
        create(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\OrvoNT", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    RegCloseKey(service);
    service =
        create(HKEY_LOCAL_MACHINE, "SYSTEM\\currentcontrolset\\SERVICES\\orvont", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(service);

    HKEY services = open(HKEY_LOCAL_MACHINE, "system\\CurrentControlSet\\services\\");
    EXPECT_EQ(enum_key(services, 0), "OrvoNT");
    RegCloseKey(services);

    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\Nothing", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\System", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\\\CurrentControlSet", 0, KEY_READ, &key),
              ERROR_BAD_PATHNAME);
    EXPECT_THAT(dir_.read("registry.reg"),
                HasSubstr("[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\OrvoNT]"));
}

TEST_F(RegistryApi, QueryValueReportsSizesAndShortBuffersAsThePlatformDoes) {
    HKEY key = create(HKEY_LOCAL_MACHINE, "Software\\Test");
    ASSERT_EQ(set_string(key, "DriverParameter", "/BM "), ERROR_SUCCESS);

    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "driverparameter", nullptr, &type, nullptr, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, 5u);

    BYTE buffer[8];
    std::memset(buffer, 0xEE, sizeof buffer);
    size = 3;
    EXPECT_EQ(RegQueryValueExA(key, "DriverParameter", nullptr, &type, buffer, &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(buffer[0], 0xEE); // nothing copied

    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "DriverParameter", nullptr, &type, buffer, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 5u);
    EXPECT_STREQ(reinterpret_cast<char*>(buffer), "/BM ");

    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, buffer, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(key, "DriverParameter", nullptr, &type, buffer, nullptr),
              ERROR_INVALID_PARAMETER);

    // The default value is the one without a name.
    ASSERT_EQ(set_string(key, nullptr, "default"), ERROR_SUCCESS);
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 8u);
    RegCloseKey(key);
}

TEST_F(RegistryApi, EnumeratesSubkeysInTheRegistrysOrder) {
    HKEY key = create(HKEY_LOCAL_MACHINE, "Software\\List");
    for (const char* name : {"beta", "Alpha", "GAMMA"})
        RegCloseKey(create(key, name));
    EXPECT_EQ(enum_key(key, 0), "Alpha");
    EXPECT_EQ(enum_key(key, 1), "beta");
    EXPECT_EQ(enum_key(key, 2), "GAMMA");
    enum_key(key, 3, ERROR_NO_MORE_ITEMS);

    char name[4];
    DWORD length = sizeof name; // "Alpha" and its NUL need 6
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    RegCloseKey(key);
}

TEST_F(RegistryApi, DeleteKeyWithSubkeysFailsOnWindowsNtOnlyAsThere) {
    using orvo::winapi::OperatingSystem;
    const struct {
        OperatingSystem os;
        LONG result;
        bool key_left;
    } cases[] = {
        {OperatingSystem::WindowsNT40, ERROR_ACCESS_DENIED, true},
        {OperatingSystem::Windows2000, ERROR_ACCESS_DENIED, true},
        {OperatingSystem::Windows95, ERROR_SUCCESS, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(orvo::winapi::operating_system_name(c.os)));
        orvo::winapi::MachineSettings settings;
        settings.operating_system = c.os;
        install(settings);
        RegCloseKey(create(HKEY_LOCAL_MACHINE, "Software\\Parent\\Child"));
        EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Parent"), c.result);
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Parent", 0, KEY_READ, &key) ==
                      ERROR_SUCCESS,
                  c.key_left);
        RegCloseKey(key);
        EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Parent\\Child"),
                  c.key_left ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Parent");
    }
}

TEST_F(RegistryApi, HandlesAreCheckedForValidityAccessAndDeletedKeys) {
    RegCloseKey(create(HKEY_LOCAL_MACHINE, "Software\\Target"));
    HKEY read_only = open(HKEY_LOCAL_MACHINE, "Software\\Target", KEY_READ);
    EXPECT_EQ(set_string(read_only, "v", "x"), ERROR_ACCESS_DENIED);
    // Creating below a key opened for reading works: the platform checks the new key's own
    // security, not the parent handle's rights, and the utility relies on it.
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExA(read_only, "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(child);

    HKEY query_only = open(HKEY_LOCAL_MACHINE, "Software\\Target", KEY_QUERY_VALUE);
    EXPECT_EQ(enum_key(query_only, 0, ERROR_ACCESS_DENIED), "");
    RegCloseKey(query_only);

    HKEY writable = open(HKEY_LOCAL_MACHINE, "Software\\Target", KEY_ALL_ACCESS);
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Target\\Child"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Target"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(writable, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(set_string(writable, "v", "x"), ERROR_KEY_DELETED);

    EXPECT_EQ(RegCloseKey(writable), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(writable), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExA(writable, "v", nullptr, nullptr, nullptr, &size),
              ERROR_INVALID_HANDLE);
    RegCloseKey(read_only);
    EXPECT_EQ(orvo::winapi::environment().keys().open_count(), 0u);
}

TEST_F(RegistryApi, ChangesReachTheFileAndChangesInTheFileReachTheCalls) {
    HKEY key = create(HKEY_LOCAL_MACHINE, "Software\\Shared");
    ASSERT_EQ(set_string(key, "FromCall", "1"), ERROR_SUCCESS);

    orvo::registry::Store other(dir_ / "registry.reg"); // e.g. the machine's boot
    const orvo::registry::KeyPath path = {"HKEY_LOCAL_MACHINE", "Software", "Shared"};
    ASSERT_NE(other.tree().find(path), nullptr);
    EXPECT_EQ(*other.tree().find(path)->value("FromCall"), orvo::registry::Value::string("1"));
    other.modify([&](orvo::registry::Tree& tree) {
        tree.find(path)->set_value("FromBoot", orvo::registry::Value::dword(5));
        return true;
    });

    DWORD value = 0, size = sizeof value;
    EXPECT_EQ(
        RegQueryValueExA(key, "FromBoot", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(value, 5u);
    RegCloseKey(key);
}

TEST_F(RegistryApi, StoreFailuresGiveRegistryErrorsAndNameTheFile) {
    const std::string broken = "REGEDIT4\n\n\"orphan\"=\"value\"\n";
    dir_.write("registry.reg", broken);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System", 0, KEY_READ, &key),
              ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "System", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_REGISTRY_CORRUPT);
    EXPECT_EQ(dir_.read("registry.reg"), broken);
    ASSERT_FALSE(diagnostics_.empty());
    EXPECT_THAT(diagnostics_.back(), HasSubstr((dir_ / "registry.reg").string() + ":3:"));

    // A registry file in a folder that does not exist reads as empty and cannot be written.
    orvo::winapi::MachineSettings settings;
    settings.registry_file = dir_ / "missing-folder" / "registry.reg";
    install(settings);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "System", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_REGISTRY_IO_FAILED);
    EXPECT_EQ(key, nullptr);
}

} // namespace
