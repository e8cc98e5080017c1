#pragma once
// File access for the machine's own state files (registry, restart record): whole-file reads,
// atomic replacement, durable appends and an exclusive lock between processes. Failures throw
// std::system_error whose text names the file.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orvo::registry {

// The file's bytes, or nothing when it does not exist.
std::optional<std::string> read_file_if_exists(const std::filesystem::path& file);

// Replaces the file's content: a temporary file in the same directory is written, flushed to
// disk and renamed over the file, and the directory is flushed. Readers and a crash at any
// moment see the old file or the new one, never a mixture. The file keeps its permissions.
void write_file_atomically(const std::filesystem::path& file, std::string_view content);

// Appends to the file (creating it) with one write and flushes it to disk.
void append_to_file(const std::filesystem::path& file, std::string_view text);

// Holds an exclusive advisory lock (flock) on a lock file, created when missing, for its
// lifetime. Separate lock file: the locked file itself is replaced by rename, and a lock on the
// old inode would not exclude a writer that opened the new one.
class ExclusiveFileLock {
  public:
    explicit ExclusiveFileLock(const std::filesystem::path& lock_file);
    ~ExclusiveFileLock();
    ExclusiveFileLock(const ExclusiveFileLock&) = delete;
    ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;

  private:
    int fd_;
};

} // namespace orvo::registry
