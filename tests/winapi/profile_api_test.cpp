// Profile reading as the platform does it, over files in UTF-8, code page 932 and UTF-16LE.

#include "winapi/profile_api.h"

#include "tests/winapi/machine_fixture.h"
#include "winapi/error_api.h"

#include <gtest/gtest.h>

namespace {

using orvo::testing::MachineFixture;

class ProfileApi : public MachineFixture {
  protected:
    struct Result {
        std::string text;
        DWORD length;
    };
    Result read(const char* section, const char* key, const char* fallback = "dflt",
                DWORD size = 260, const char* file = "C:\\adapter.ini") {
        std::string buffer(size + 4, '\x7f'); // bytes past nSize must stay untouched
        DWORD length = GetPrivateProfileStringA(section, key, fallback, buffer.data(), size, file);
        EXPECT_EQ(buffer.substr(size), "\x7f\x7f\x7f\x7f");
        return {buffer.substr(0, length), length};
    }
};

TEST_F(ProfileApi, ReadsValuesAsThePlatformDoes) {
    dir_.write("adapter.ini", "; Driver=commented out\n"
                              "Loose=before any section\n"
                              "[Options]\n"
                              "  Driver = orvont  \n"
                              "DeviceDesc=\"quoted text\"\n"
                              "Single='x'\n"
                              "Mixed=\"a'\n"
                              "Empty=\n"
                              "Spaced\t=  \tvalue with ; inside\t\x1a\n"
                              "Key without equals sign\n"
                              "Dup=first\n"
                              "Dup=second\n"
                              "Japanese=日本語\n"
                              "[options]\n"
                              "Late=in a second section of the same name\n"
                              "[IRQChoices]\r\n"
                              "IRQ_0=\"IRQ 5\",5\r"
                              "IRQ_1=IRQ 10,10");
    const struct {
        const char* section;
        const char* key;
        const char* fallback;
        DWORD size;
        const char* expected;
    } cases[] = {
        {"Options", "Driver", "dflt", 260, "orvont"},
        {"OPTIONS", "driver", "dflt", 260, "orvont"},
        {"Options", "DeviceDesc", "dflt", 260, "quoted text"},
        {"Options", "Single", "dflt", 260, "x"},
        {"Options", "Mixed", "dflt", 260, "\"a'"},
        {"Options", "Empty", "dflt", 260, ""},
        {"Options", "Spaced", "dflt", 260, "value with ; inside"},
        {"Options", "Key without equals sign", "dflt", 260, "dflt"},
        {"Options", "Dup", "dflt", 260, "first"},
        {"Options", "Late", "dflt", 260, "dflt"},
        {"Options", "; Driver", "dflt", 260, "dflt"},
        {"", "Loose", "dflt", 260, "before any section"},
        {"IRQChoices", "IRQ_0", "dflt", 260, "\"IRQ 5\",5"},
        {"IRQChoices", "IRQ_1", "dflt", 260, "IRQ 10,10"},
        {"Missing", "Driver", "dflt  ", 260, "dflt"},
        {"Options", "Missing", nullptr, 260, ""},
        {"Options", "Driver", "dflt", 4, "orv"},
        {"Options", "Japanese", "dflt", 5, "日"}, // a cut never splits a character
        {"Options", "Driver", "dflt", 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key + " size " + std::to_string(c.size));
        Result result = read(c.section, c.key, c.fallback, c.size);
        EXPECT_EQ(result.text, c.expected);
        EXPECT_EQ(result.length, std::string_view(c.expected).size());
    }
}

TEST_F(ProfileApi, AcceptsCodePage932AndUtf16FilesAndReturnsUtf8) {
    dir_.write("cp932.ini",
               "[Options]\r\nDeviceDesc=Orvo-88 \x83\x4a\x81\x5b\x83\x68\r\n"); // カード
    std::u16string utf16 = u"\uFEFF[Options]\r\nDeviceDesc=カード\r\n";
    dir_.write("utf16.ini",
               std::string_view(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2));
    dir_.write("bom.ini", "\xEF\xBB\xBF[Options]\nDeviceDesc=カード\n");
    EXPECT_EQ(read("Options", "DeviceDesc", "", 260, "C:\\cp932.ini").text, "Orvo-88 カード");
    EXPECT_EQ(read("Options", "DeviceDesc", "", 260, "C:\\utf16.ini").text, "カード");
    EXPECT_EQ(read("Options", "DeviceDesc", "", 260, "C:\\bom.ini").text, "カード");
}

TEST_F(ProfileApi, MissingFileGivesTheDefault) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(read("Options", "Driver", "none").text, "none");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(read("Options", "Driver", "none", 260, "D:\\adapter.ini").text, "none");
    std::filesystem::create_directory(dir_ / "adapter.ini"); // a folder, not a file
    EXPECT_EQ(read("Options", "Driver", "none").text, "none");
}

TEST_F(ProfileApi, FindsTheFileWithoutRegardToCaseAndFromTheCurrentDirectory) {
    std::filesystem::create_directory(dir_ / "Machine");
    dir_.write("Machine/adapter.ini", "[Options]\nDriver=orvont\n");
    EXPECT_EQ(read("Options", "Driver", "", 260, "C:\\MACHINE\\ADAPTER.INI").text, "orvont");
    EXPECT_EQ(read("Options", "Driver", "", 260, "c:/machine/Adapter.ini").text, "orvont");
    EXPECT_EQ(read("Options", "Driver", "", 260, "Machine\\..\\Machine\\.\\ADAPTER.INI").text,
              "orvont");
}

TEST_F(ProfileApi, ListsSectionAndKeyNames) {
    dir_.write("adapter.ini", "[Options]\nDriver=a\nDeviceDesc=b\n[IRQChoices]\nIRQ_0=5\n");
    using namespace std::string_literals;
    EXPECT_EQ(read(nullptr, nullptr).text, "Options\0IRQChoices\0"s);
    EXPECT_EQ(read("options", nullptr).text, "Driver\0DeviceDesc\0"s);
    // Too small: the overflowing name is cut and the list still ends in two NULs.
    Result cut = read(nullptr, nullptr, "", 12);
    EXPECT_EQ(cut.length, 10u);
    EXPECT_EQ(cut.text, "Options\0IR"s);
    // A cut that keeps a character whole ends the name early: NULs fill the buffer to its end,
    // so the result still ends in a NUL.
    dir_.write("adapter.ini", "[カード]\n");
    std::string buffer(7, '\x7f');
    EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", buffer.data(), 7, "C:\\adapter.ini"), 5u);
    EXPECT_EQ(buffer, "カ\0\0\0\0"s);
}

} // namespace
