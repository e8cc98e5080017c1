// Saving the registry over an existing file when things go wrong: a failure injected at each
// step of the atomic replacement in turn, and a writer killed at random moments. The file is
// always exactly the old content or exactly the new one, a failure is always reported, no
// temporary file is left behind for long, and the next save works.

#include "machine/registry/file_io.h"
#include "machine/registry/reg_file_format.h"
#include "machine/registry/store.h"
#include "tests/registry/scratch_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvo::registry {
namespace {

using orvo::testing::ScratchDir;

const KeyPath kDevice = {"HKEY_LOCAL_MACHINE", "System", "CurrentControlSet", "Services", "orvont", "Parameters",
                         "Device"};

// A registry whose option string is `fill` repeated, long enough to take several writes.
Tree registry_of(char fill, std::size_t length) {
    Tree tree;
    tree.create(kDevice).set_value("DriverParameter", Value::string(std::string(length, fill)));
    return tree;
}

void save(Store& store, const Tree& content) {
    store.modify([&](Tree& tree) {
        tree = Tree(content);
        return true;
    });
}

// Names in the directory other than the registry file and its lock file.
std::vector<std::string> strays(const ScratchDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        if (name != "registry.reg" && name != "registry.reg.lock") names.push_back(name);
    }
    return names;
}

// Fails the step with the given number (1: the first step of the next save; 0: none) with a
// fitting error, and lets each write call take at most `chunk` bytes so that the content
// takes several writes. Records the steps it was asked about.
class FailOneStep : public AtomicWriteFaults {
  public:
    FailOneStep(std::size_t failing, std::size_t chunk) : failing_(failing), chunk_(chunk) {}
    int fail(AtomicWriteStep step) override {
        steps_.push_back(step);
        return steps_.size() == failing_ ? error_for(step) : 0;
    }
    std::size_t write_limit(std::size_t bytes) override { return std::min(bytes, chunk_); }
    const std::vector<AtomicWriteStep>& steps() const { return steps_; }

    static int error_for(AtomicWriteStep step) {
        switch (step) {
        case AtomicWriteStep::CreateTemporary: return EACCES;
        case AtomicWriteStep::SetMode: return EPERM;
        case AtomicWriteStep::Write: return ENOSPC;
        case AtomicWriteStep::Flush: return EIO;
        case AtomicWriteStep::Close: return EDQUOT;
        case AtomicWriteStep::Rename: return EXDEV;
        case AtomicWriteStep::FlushDirectory: return EIO;
        }
        return EIO;
    }

  private:
    std::size_t failing_;
    std::size_t chunk_;
    std::vector<AtomicWriteStep> steps_;
};

TEST(RegistryCrashSafety, AFailureAtEachStepOfASaveLeavesTheOldOrTheNewFileAndIsReported) {
    constexpr std::size_t kChunk = 700;
    const Tree old_content = registry_of('o', 1500);
    const Tree new_content = registry_of('n', 3000);
    const std::string old_text = format_reg_file(old_content);
    const std::string new_text = format_reg_file(new_content);

    // The steps of a save that goes through: short writes are no failure.
    std::vector<AtomicWriteStep> steps;
    {
        ScratchDir dir;
        Store store(dir / "registry.reg");
        save(store, old_content);
        FailOneStep none(0, kChunk);
        store.set_write_faults(&none);
        save(store, new_content);
        EXPECT_EQ(dir.read("registry.reg"), new_text);
        steps = none.steps();
    }
    ASSERT_EQ(steps.front(), AtomicWriteStep::CreateTemporary);
    ASSERT_EQ(steps.back(), AtomicWriteStep::FlushDirectory);
    ASSERT_GE(std::count(steps.begin(), steps.end(), AtomicWriteStep::Write), 5);

    for (std::size_t n = 1; n <= steps.size(); ++n) {
        const AtomicWriteStep failing = steps[n - 1];
        SCOPED_TRACE("step " + std::to_string(n) + ": " + to_string(failing));
        ScratchDir dir;
        Store store(dir / "registry.reg");
        save(store, old_content);

        FailOneStep fault(n, kChunk);
        store.set_write_faults(&fault);
        try {
            save(store, new_content);
            ADD_FAILURE() << "the failed save was reported as a success";
        } catch (const StoreError& e) {
            EXPECT_EQ(e.kind(), StoreError::Kind::Io);
            EXPECT_THAT(e.what(), ::testing::HasSubstr((dir / "registry.reg").string()));
            EXPECT_THAT(e.what(), ::testing::HasSubstr(std::strerror(FailOneStep::error_for(failing))));
        }
        // Only a failed flush of the directory comes after the rename.
        const bool renamed = failing == AtomicWriteStep::FlushDirectory;
        EXPECT_EQ(dir.read("registry.reg"), renamed ? new_text : old_text);
        EXPECT_THAT(strays(dir), ::testing::IsEmpty());
        EXPECT_EQ(store.tree(), renamed ? new_content : old_content) << "the store sees the file as it is";

        store.set_write_faults(nullptr);
        const Tree later = registry_of('l', 100);
        save(store, later);
        EXPECT_EQ(dir.read("registry.reg"), format_reg_file(later));
    }
}

// A child process saves two contents in turn, as fast as it can, and is killed with SIGKILL
// after a seeded random delay (once it has saved at least once); a dozen times, each child
// going on from the file the last one left. Every time the file loads and is exactly one of
// the two contents; the temporary files of the killed writers go with the next save.
TEST(RegistryCrashSafety, AWriterKilledAtRandomMomentsLeavesOneOfItsContents) {
    constexpr int kKills = 12;
    ScratchDir dir;
    const std::filesystem::path file = dir / "registry.reg";
    const Tree first = registry_of('a', 64 * 1024);
    const Tree second = registry_of('b', 48 * 1024);
    {
        Store store(file);
        save(store, first);
    }
    std::mt19937 random(20240611);
    for (int kill = 0; kill < kKills; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        int saved_once[2];
        ASSERT_EQ(::pipe(saved_once), 0);
        const pid_t writer = ::fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            ::close(saved_once[0]);
            try {
                Store store(file);
                for (unsigned i = 0;; ++i) {
                    save(store, i % 2 == 0 ? second : first);
                    if (i == 0 && ::write(saved_once[1], "s", 1) != 1) ::_exit(2);
                }
            } catch (...) {
                ::_exit(1);
            }
        }
        ::close(saved_once[1]);
        char signal_byte = 0;
        const bool started = ::read(saved_once[0], &signal_byte, 1) == 1;
        ::close(saved_once[0]);
        ::usleep(static_cast<useconds_t>(random() % 15000));
        ::kill(writer, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(writer, &status, 0), writer);
        ASSERT_TRUE(started) << "the writer died before its first save, status " << status;
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;

        Store reader(file);
        Tree loaded;
        ASSERT_NO_THROW(loaded = Tree(reader.tree()));
        EXPECT_TRUE(loaded == first || loaded == second) << "a content the writer never saved";
        const std::string text = dir.read("registry.reg");
        EXPECT_TRUE(text == format_reg_file(first) || text == format_reg_file(second));
    }
    Store store(file);
    save(store, first);
    EXPECT_THAT(strays(dir), ::testing::IsEmpty());
}

} // namespace
} // namespace orvo::registry
