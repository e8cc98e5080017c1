// The registry export text format: what we write reads back unchanged, files of other tools
// and both headers load, and malformed files are refused with the line named.

#include "machine/registry/reg_file_format.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

namespace orvo::registry {
namespace {

using ::testing::HasSubstr;

const std::string kLocalMachine = "HKEY_LOCAL_MACHINE";

Value bytes(std::uint32_t type, std::string_view data) {
    return Value{type, {data.begin(), data.end()}};
}

// UTF-16LE code units as a hex(N) byte list: u"ab" -> "61,00,62,00".
std::string utf16_list(std::u16string_view text) {
    std::string list;
    char byte[8];
    for (char16_t unit : text) {
        std::snprintf(byte, sizeof byte, "%s%02x,%02x", list.empty() ? "" : ",", unit & 0xFF,
                      unit >> 8);
        list += byte;
    }
    return list;
}

TEST(RegFileFormat, WritesRegedit4ThatReadsAsTheRegistryEditorWritesIt) {
    Tree tree;
    Key& key = tree.create({kLocalMachine, "System", "CurrentControlSet"});
    key.set_value("", Value::string("default"));
    key.set_value("Path", Value::string("C:\\dir \"q\""));
    key.set_value("Dw", Value::dword(0x340));
    key.set_value("Res",
                  bytes(kTypeFullResourceDescriptor, std::string_view("\x01\x00\x00\x00", 4)));

    EXPECT_EQ(format_reg_file(tree), "REGEDIT4\n"
                                     "\n"
                                     "[HKEY_LOCAL_MACHINE\\System]\n"
                                     "\n"
                                     "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet]\n"
                                     "@=\"default\"\n"
                                     "\"Dw\"=dword:00000340\n"
                                     "\"Path\"=\"C:\\\\dir \\\"q\\\"\"\n"
                                     "\"Res\"=hex(9):01,00,00,00\n"
                                     "\n");
}

TEST(RegFileFormat, EveryKindOfValueComesBackUnchanged) {
    Tree tree;
    tree.create({kLocalMachine, "Empty", "Nested", "Deeper"});
    Key& key = tree.create({kLocalMachine, "Software", "MixedCase"});
    const std::pair<std::string, Value> values[] = {
        {"", Value::string("default value")},
        {"empty", Value::string("")},
        {"japanese", Value::string("日本語のテキスト")},
        {"embedded NUL", bytes(kTypeString, std::string_view("a\0b\0", 4))},
        {"no terminator", bytes(kTypeString, "abc")},
        {"no bytes", bytes(kTypeString, "")},
        {"line break", Value::string("one\r\ntwo")},
        {"not UTF-8", bytes(kTypeString, std::string_view("\x93\xfa\0", 3))},
        {"dword", Value::dword(0xDEADBEEF)},
        {"short dword", bytes(kTypeDword, "\x01\x02")},
        {"binary", bytes(kTypeBinary, std::string(300, '\xA5'))},
        {"no binary", bytes(kTypeBinary, "")},
        {"expand", bytes(kTypeExpandString, std::string_view("%SystemRoot%\0", 13))},
        {"multi", bytes(kTypeMultiString, std::string_view("a\0bc\0\0", 6))},
        {"resources", bytes(kTypeFullResourceDescriptor, std::string(40, '\x07'))},
        {"qword", bytes(kTypeQword, std::string_view("\1\0\0\0\0\0\0\0", 8))},
        {"none", bytes(kTypeNone, "")},
        {"odd type", bytes(0x12345678, "\xff")},
        {"name \"with\" \\ quotes", Value::dword(1)},
    };
    for (const auto& [name, value] : values)
        key.set_value(name, value);
    tree.find(std::vector<std::string>{kLocalMachine})->set_value("at root", Value::dword(7));

    std::string text = format_reg_file(tree);
    EXPECT_EQ(parse_reg_file(text), tree) << text;

    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 80u) << line;
}

struct ImportCase {
    const char* what;
    std::string file;
    std::string name; // value of HKEY_LOCAL_MACHINE\A
    Value expected;
};

TEST(RegFileFormat, ReadsFilesOfOtherToolsInEitherFormat) {
    const std::string v5 = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\A]\n";
    const std::string v4 = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n";
    std::u16string utf16_file = u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n"
                                u"[HKEY_LOCAL_MACHINE\\A]\r\n\"s\"=\"日本\"\r\n";
    const ImportCase cases[] = {
        {"5.00: hex(1) is UTF-16LE",
         v5 + "\"s\"=hex(1):" + utf16_list(std::u16string(u"日本\0", 3)) + "\n", "s",
         Value::string("日本")},
        {"5.00: hex(2) is UTF-16LE",
         v5 + "\"e\"=hex(2):" + utf16_list(std::u16string(u"%S%\0", 4)) + "\n", "e",
         bytes(kTypeExpandString, std::string_view("%S%\0", 4))},
        {"5.00: hex(7) is UTF-16LE",
         v5 + "\"m\"=hex(7):" + utf16_list(std::u16string(u"a\0b\0\0", 5)) + "\n", "m",
         bytes(kTypeMultiString, std::string_view("a\0b\0\0", 5))},
        {"5.00: quoted text", v5 + "\"s\"=\"日本\"\n", "s", Value::string("日本")},
        {"5.00: unpaired surrogate reads as ?", v5 + "\"s\"=hex(1):3d,d8,41,00,00,00\n", "s",
         Value::string("?A")},
        {"UTF-16LE file with byte-order mark and CR LF",
         std::string(reinterpret_cast<const char*>(utf16_file.data()), utf16_file.size() * 2), "s",
         Value::string("日本")},
        {"REGEDIT4 in code page 932: quoted text",
         "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"d\"=\"\x93\xfa\x96\x7b\"\r\n", "d",
         Value::string("日本")},
        {"REGEDIT4 in code page 932: hex(2) payload",
         "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"j\"=\"\x93\xfa\"\r\n\"e\"=hex(2):96,7b,"
         "00\r\n",
         "e", bytes(kTypeExpandString, std::string_view("本\0", 4))},
        {"REGEDIT4 in UTF-8: hex(2) payload as is", v4 + "\"e\"=hex(2):25,53,00\n", "e",
         bytes(kTypeExpandString, std::string_view("%S\0", 3))},
        {"byte list over three lines", v4 + "\"b\"=hex:01,02,\\\n  03,\\\n  04\n", "b",
         bytes(kTypeBinary, "\x01\x02\x03\x04")},
        {"keywords in any case, blanks around =", v4 + "\"d\" = DWORD:1f\n", "d",
         Value::dword(0x1F)},
        {"empty byte list", v4 + "\"b\"=hex:\n", "b", bytes(kTypeBinary, "")},
        {"hex(0) value", v4 + "\"n\"=hex(0):\n", "n", bytes(kTypeNone, "")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Tree tree = parse_reg_file(c.file);
        const Key* key = tree.find(std::vector<std::string>{kLocalMachine, "A"});
        ASSERT_NE(key, nullptr);
        ASSERT_NE(key->value(c.name), nullptr);
        EXPECT_EQ(*key->value(c.name), c.expected);
    }
}

TEST(RegFileFormat, LaterSectionsMergeWithoutRegardToCaseAndCanDelete) {
    Tree tree = parse_reg_file("REGEDIT4\n"
                               "[HKEY_LOCAL_MACHINE\\]\n"
                               "\"root\"=dword:00000001\n"
                               "; a comment\n"
                               "[HKEY_LOCAL_MACHINE\\Soft\\Keep]\n"
                               "\"v\"=\"1\"\n"
                               "[HKEY_LOCAL_MACHINE\\Soft\\Gone\\Deep]\n"
                               "[hkey_local_machine\\SOFT\\keep]\n"
                               "\"W\"=\"2\"\n"
                               "\"V\"=-\n"
                               "[-HKEY_LOCAL_MACHINE\\soft\\gone]\n");
    Tree expected;
    expected.find(std::vector<std::string>{kLocalMachine})->set_value("root", Value::dword(1));
    expected.create({kLocalMachine, "Soft", "Keep"}).set_value("W", Value::string("2"));
    EXPECT_EQ(tree, expected);
}

TEST(RegFileFormat, RefusesMalformedFilesNamingTheLine) {
    const std::string head = "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n"; // value lines start at line 3
    std::string deep = "REGEDIT4\n[HKEY_LOCAL_MACHINE";
    for (int i = 0; i < 513; ++i)
        deep += "\\k";
    deep += "]\n";
    const struct {
        std::string file;
        std::size_t line;
        const char* reason;
    } cases[] = {
        {"", 1, "first line"},
        {"REGEDIT5\n", 1, "first line"},
        {"REGEDIT4\n\"v\"=\"x\"\n", 2, "outside a key"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\n", 2, "closing ']'"},
        {"REGEDIT4\n[HKEY_NOWHERE\\A]\n", 2, "unknown root"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\\\B]\n", 2, "empty key name"},
        {"REGEDIT4\n[-HKEY_LOCAL_MACHINE]\n", 2, "root key"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\" + std::string(256, 'k') + "]\n", 2, "longer than 255"},
        {deep, 2, "deeper than 512"},
        {head + "\"v\"=\"unterminated\n", 3, "unterminated"},
        {head + "\"v\"=\"a\\nb\"\n", 3, "unknown escape"},
        {head + "\"v\"=\"a\" b\n", 3, "after the closing quote"},
        {head + "v=\"a\"\n", 3, "value name"},
        {head + "\"v\"\"a\"\n", 3, "expected '='"},
        {head + "\"v\"=dword:123456789\n", 3, "dword"},
        {head + "\"v\"=dword:\n", 3, "dword"},
        {head + "\"v\"=hex:01,zz\n", 3, "bad byte"},
        {head + "\"v\"=hex:123\n", 3, "bad byte"},
        {head + "\"v\"=hex(q):00\n", 3, "hex(type)"},
        {head + "\"v\"=hex:01,\\\n  zz\n", 3, "bad byte"},
        {head + "\"v\"=text\n", 3, "unrecognised"},
        {head + "\"ok\"=\"\"\n\"v\"=\"\x82\"\n", 4, "neither UTF-8 nor code page 932"},
        {"\xEF\xBB\xBF" + head + "\"v\"=\"\x93\xfa\"\n", 3, "marked UTF-8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.substr(0, 60));
        try {
            parse_reg_file(c.file);
            ADD_FAILURE() << "accepted";
        } catch (const RegFileSyntaxError& e) {
            EXPECT_EQ(e.line(), c.line);
            EXPECT_THAT(e.reason(), HasSubstr(c.reason));
        }
    }
}

} // namespace
} // namespace orvo::registry
