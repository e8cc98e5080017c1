#pragma once
// The PC's registry, kept in one registry export file (see reg_file_format.h).
//
// The file is read when first used and read again whenever it changed on disk, so every caller
// sees the latest content. Each change is applied under an exclusive lock on "<file>.lock":
// the writer re-reads the latest content, applies its change and saves the whole file
// atomically before the next writer may start, so concurrent writers (the utility, a boot, a
// second process) never lose each other's changes; the temporary files of a writer that died
// mid-save are cleared away under the same lock. A file that does not parse is refused with
// an error naming the file and line, and is never overwritten. A missing file is an empty
// registry; the first change creates it.
//
// Without a file the registry lives in memory only (a machine with no directory).

#include "machine/registry/file_io.h"
#include "machine/registry/key_tree.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>

namespace orvo::registry {

class StoreError : public std::runtime_error {
  public:
    enum class Kind { Corrupt, Io };
    StoreError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind() const { return kind_; }

  private:
    Kind kind_;
};

class Store {
  public:
    Store() = default;
    explicit Store(std::filesystem::path file) : file_(std::move(file)) {}
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    const std::filesystem::path& file() const { return file_; }

    // The latest content. Throws StoreError when the file cannot be read or parsed.
    const Tree& tree();

    // Applies change to the latest content and saves the result. change returns whether it
    // changed anything (nothing is written otherwise); it may throw, and then nothing is
    // changed. Throws StoreError when the file cannot be read, parsed or written; the file and
    // the content seen by tree() stay as they were.
    void modify(const std::function<bool(Tree&)>& change);

    // Test seam: every later save hands these faults to write_file_atomically (nullptr: none).
    void set_write_faults(AtomicWriteFaults* faults) { write_faults_ = faults; }

  private:
    // What identifies one version of the file on disk; the file is replaced by rename, so any
    // save gives a new identity.
    struct FileIdentity {
        bool exists = false;
        std::uint64_t device = 0, inode = 0, size = 0;
        std::int64_t mtime_ns = 0, ctime_ns = 0;
        bool operator==(const FileIdentity&) const = default;
    };
    FileIdentity identity_on_disk() const;
    void refresh();

    std::filesystem::path file_;
    Tree tree_;
    std::optional<FileIdentity> loaded_; // identity of the file tree_ was read from
    AtomicWriteFaults* write_faults_ = nullptr;
};

} // namespace orvo::registry
