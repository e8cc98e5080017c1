// Interoperability with an independent implementation of the registry export format:
// hivexregedit merges what we write into a real hive and exports it back, and we load its
// exports. The tests skip only where hivexregedit is not installed.
//
// hivexregedit reads quoted strings byte by byte into UTF-16LE, so non-ASCII quoted text does
// not survive its merge, and it stores hex(N) payloads as given, so the single-byte string
// payloads of REGEDIT4 files (hex(1), hex(2), hex(7)) come back from its 5.00 export as they
// were written rather than as UTF-16LE. Both are its limits, not the format's; the tests below
// check every other kind of value both ways and those payloads byte for byte.

#include "machine/registry/reg_file_format.h"
#include "tests/registry/scratch_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

namespace orvo::registry {
namespace {

using orvo::testing::ScratchDir;

const std::string kLocalMachine = "HKEY_LOCAL_MACHINE";

std::string find_hivexregedit() {
    const char* path = std::getenv("PATH");
    std::string_view dirs = path ? path : "/usr/bin:/bin";
    while (!dirs.empty()) {
        std::size_t colon = dirs.find(':');
        std::filesystem::path candidate =
            std::filesystem::path(dirs.substr(0, colon)) / "hivexregedit";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
        dirs.remove_prefix(colon == dirs.npos ? dirs.size() : colon + 1);
    }
    return {};
}

// The empty hive lives beside the repository (../shared/fixtures), never inside it; a checkout
// elsewhere may name its folder with ORVO_SHARED_DIR.
std::filesystem::path find_minimal_hive() {
    std::vector<std::filesystem::path> candidates{ORVO_MINIMAL_HIVE};
    if (const char* shared = std::getenv("ORVO_SHARED_DIR"); shared != nullptr && *shared != '\0')
        candidates.push_back(std::filesystem::path(shared) / "fixtures" / "minimal.hive");
    candidates.push_back("/work/shared/fixtures/minimal.hive");
    for (const auto& candidate : candidates)
        if (std::filesystem::exists(candidate)) return candidate;
    return {};
}

class HivexInterop : public ::testing::Test {
  protected:
    void SetUp() override {
        tool_ = find_hivexregedit();
        if (tool_.empty())
            GTEST_SKIP() << "hivexregedit is not installed (Debian package libwin-hivex-perl)";
        const std::filesystem::path hive = find_minimal_hive();
        if (hive.empty())
            GTEST_SKIP() << "the empty hive fixture is not beside this checkout (" << ORVO_MINIMAL_HIVE
                         << "); set ORVO_SHARED_DIR to the folder that holds fixtures/minimal.hive";
        std::filesystem::copy_file(hive, dir_ / "system.hive");
        // The fixture is read-only; the merge writes to the copy.
        std::filesystem::permissions(dir_ / "system.hive", std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
    }

    void merge(const std::string& reg_text) {
        dir_.write("merge.reg", reg_text);
        run("'" + tool_ + "' --merge --prefix HKEY_LOCAL_MACHINE '" +
            (dir_ / "system.hive").string() + "' '" + (dir_ / "merge.reg").string() + "'");
    }

    std::string export_hive() {
        run("'" + tool_ + "' --export --prefix HKEY_LOCAL_MACHINE '" +
            (dir_ / "system.hive").string() + "' '\\' > '" + (dir_ / "export.reg").string() + "'");
        return dir_.read("export.reg");
    }

    void run(const std::string& command) {
        int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    }

    ScratchDir dir_;
    std::string tool_;
};

Value bytes(std::uint32_t type, std::string_view data) {
    return Value{type, {data.begin(), data.end()}};
}

TEST_F(HivexInterop, WhatWeWriteMergesAndExportsBackToTheSameTree) {
    Tree tree;
    tree.create({kLocalMachine, "HARDWARE", "DESCRIPTION", "System", "PCMCIA PCCARDs"})
        .set_value("orvont", bytes(kTypeFullResourceDescriptor,
                                   std::string_view("\1\0\0\0\0\0\0\0\1\0\1\0\2\0\0\0"
                                                    "\1\1\1\0\x40\3\0\0\0\0\0\0\x20\0\0\0"
                                                    "\2\1\0\0\5\0\0\0\5\0\0\0\xff\xff\xff\xff",
                                                    48)));
    Key& service =
        tree.create({kLocalMachine, "System", "CurrentControlSet", "Services", "orvont"});
    service.set_value("Type", Value::dword(1));
    service.set_value("Group", Value::string("SCSI miniport"));
    service.set_value("", Value::string("default"));
    service.set_value("empty", Value::string(""));
    service.set_value("name \"quoted\" \\ too", Value::dword(2));
    tree.create({kLocalMachine, "System", "CurrentControlSet", "Services", "orvont", "Parameters",
                 "Device"})
        .set_value("DriverParameter", Value::string("/AS5 /AS6 /NS3 /BM /PARITYOFF "));
    Key& kinds = tree.create({kLocalMachine, "Software", "Kinds"});
    kinds.set_value("binary", bytes(kTypeBinary, std::string(200, '\x5a')));
    kinds.set_value("no bytes", bytes(kTypeBinary, ""));
    kinds.set_value("none", bytes(kTypeNone, "\x01"));
    kinds.set_value("qword", bytes(kTypeQword, std::string_view("\x10\0\0\0\0\0\0\x80", 8)));
    kinds.set_value("short dword", bytes(kTypeDword, "\x01\x02"));
    tree.create({kLocalMachine, "Software", "Empty", "Key"});

    merge(format_reg_file(tree));
    EXPECT_EQ(parse_reg_file(export_hive()), tree);
}

TEST_F(HivexInterop, SingleByteStringPayloadsPassThroughByteForByte) {
    Tree tree;
    Key& key = tree.create({kLocalMachine, "Payloads"});
    key.set_value("expand", bytes(kTypeExpandString, std::string_view("%SystemRoot%\0", 13)));
    key.set_value("multi", bytes(kTypeMultiString, std::string_view("a\0b\0\0", 5)));
    merge(format_reg_file(tree));
    std::string exported = export_hive();
    EXPECT_THAT(exported,
                ::testing::HasSubstr("\"expand\"=hex(2):25,53,79,73,74,65,6d,52,6f,6f,74,25,00\n"));
    EXPECT_THAT(exported, ::testing::HasSubstr("\"multi\"=hex(7):61,00,62,00,00\n"));
}

TEST_F(HivexInterop, LoadsItsExportWithUnicodeStrings) {
    // 日本 and %SystemRoot% as UTF-16LE, the way a 5.00 file carries them.
    merge("Windows Registry Editor Version 5.00\n\n"
          "[HKEY_LOCAL_MACHINE\\Text]\n"
          "\"sz\"=hex(1):e5,65,2c,67,00,00\n"
          "\"expand\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,"
          "00,00,00\n"
          "\"multi\"=hex(7):61,00,00,00,e5,65,00,00,00,00\n"
          "\"plain\"=\"ascii text\"\n");
    Tree expected;
    Key& key = expected.create({kLocalMachine, "Text"});
    key.set_value("sz", Value::string("日本"));
    key.set_value("expand", bytes(kTypeExpandString, std::string_view("%SystemRoot%\0", 13)));
    key.set_value("multi", bytes(kTypeMultiString, std::string_view("a\0日\0\0", 7)));
    key.set_value("plain", Value::string("ascii text"));
    EXPECT_EQ(parse_reg_file(export_hive()), expected);
}

} // namespace
} // namespace orvo::registry
