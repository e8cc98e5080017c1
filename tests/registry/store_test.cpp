// The registry file store: read when first used and whenever the file changed, every change
// saved atomically under the lock, a file that does not parse refused and never overwritten.

#include "machine/registry/store.h"

#include "machine/registry/reg_file_format.h"
#include "tests/registry/scratch_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <thread>

namespace orvo::registry {
namespace {

using orvo::testing::ScratchDir;
using ::testing::HasSubstr;

const KeyPath kService = {"HKEY_LOCAL_MACHINE", "System", "CurrentControlSet", "Services",
                          "orvont"};

void set_string(Store& store, const KeyPath& path, const std::string& name,
                const std::string& text) {
    store.modify([&](Tree& tree) {
        tree.create(path).set_value(name, Value::string(text));
        return true;
    });
}

const Value* find_value(Store& store, const KeyPath& path, const std::string& name) {
    const Key* key = store.tree().find(path);
    return key ? key->value(name) : nullptr;
}

TEST(RegistryStore, MissingFileIsAnEmptyRegistryAndTheFirstChangeCreatesIt) {
    ScratchDir dir;
    Store store(dir / "registry.reg");
    EXPECT_EQ(store.tree(), Tree());
    EXPECT_FALSE(std::filesystem::exists(dir / "registry.reg"));

    set_string(store, kService, "Group", "SCSI miniport");
    Tree written = parse_reg_file(dir.read("registry.reg"));
    ASSERT_NE(written.find(kService), nullptr);
    EXPECT_EQ(*written.find(kService)->value("group"), Value::string("SCSI miniport"));
}

TEST(RegistryStore, SeesChangesMadeByOthersToTheFile) {
    ScratchDir dir;
    Store ours(dir / "registry.reg");
    Store theirs(dir / "registry.reg");
    set_string(ours, kService, "A", "1");
    EXPECT_NE(find_value(theirs, kService, "A"), nullptr);

    set_string(theirs, kService, "B", "2");
    EXPECT_NE(find_value(ours, kService, "B"), nullptr);

    // An edit by hand (same size, so only the file's identity tells).
    std::string text = dir.read("registry.reg");
    text.replace(text.find("\"B\"=\"2\""), 7, "\"B\"=\"3\"");
    dir.write("registry.reg", text);
    EXPECT_EQ(*find_value(ours, kService, "B"), Value::string("3"));
}

TEST(RegistryStore, RefusesAFileThatDoesNotParseAndNeverOverwritesIt) {
    ScratchDir dir;
    const std::string broken = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\System]\n\"x\"=dword:nothex\n";
    dir.write("registry.reg", broken);
    Store store(dir / "registry.reg");
    try {
        store.tree();
        ADD_FAILURE() << "accepted";
    } catch (const StoreError& e) {
        EXPECT_EQ(e.kind(), StoreError::Kind::Corrupt);
        EXPECT_THAT(e.what(), HasSubstr((dir / "registry.reg").string() + ":4:"));
    }
    EXPECT_THROW(set_string(store, kService, "A", "1"), StoreError);
    EXPECT_EQ(dir.read("registry.reg"), broken);

    // Mended by hand, the file is used again.
    dir.write("registry.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\System]\n\"x\"=dword:00000001\n");
    set_string(store, kService, "A", "1");
    EXPECT_EQ(*find_value(store, {"HKEY_LOCAL_MACHINE", "System"}, "x"), Value::dword(1));
}

// A save that fails half-way (here: the file size limit stops the write) leaves the previous
// file, no temporary file, and the previous content in memory.
TEST(RegistryStore, FailedSaveLeavesThePreviousFile) {
    ScratchDir dir;
    Store store(dir / "registry.reg");
    set_string(store, kService, "Keep", "kept");
    const std::string before = dir.read("registry.reg");

    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = before.size() + 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool threw = false;
    try {
        set_string(store, kService, "Big", std::string(4096, 'x'));
    } catch (const StoreError& e) {
        threw = e.kind() == StoreError::Kind::Io;
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_TRUE(threw);
    EXPECT_EQ(dir.read("registry.reg"), before);
    EXPECT_EQ(find_value(store, kService, "Big"), nullptr);
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        files.push_back(entry.path().filename().string());
    EXPECT_THAT(files, ::testing::UnorderedElementsAre("registry.reg", "registry.reg.lock"));
}

TEST(RegistryStore, ConcurrentWritersLoseNoChange) {
    ScratchDir dir;
    constexpr int kWriters = 2;
    constexpr int kChangesEach = 20;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&dir, w] {
            Store store(dir /
                        "registry.reg"); // each writer with its own view, as separate programs
            for (int i = 0; i < kChangesEach; ++i)
                set_string(store, kService, "w" + std::to_string(w) + "_" + std::to_string(i), "x");
        });
    }
    for (auto& writer : writers)
        writer.join();

    Store reader(dir / "registry.reg");
    ASSERT_NE(reader.tree().find(kService), nullptr);
    EXPECT_EQ(reader.tree().find(kService)->values().size(), std::size_t{kWriters * kChangesEach});
}

TEST(RegistryStore, ChangeThatThrowsChangesNothing) {
    Store store; // in memory
    set_string(store, kService, "A", "1");
    EXPECT_THROW(store.modify([](Tree& tree) {
        tree.create(kService).set_value("B", Value::dword(2));
        tree.create({"HKEY_LOCAL_MACHINE", std::string(300, 'x')}); // not a key name
        return true;
    }),
                 std::invalid_argument);
    EXPECT_EQ(find_value(store, kService, "B"), nullptr);
    EXPECT_NE(find_value(store, kService, "A"), nullptr);
}

} // namespace
} // namespace orvo::registry
