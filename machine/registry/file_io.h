#pragma once
// File access for the machine's own state files (registry, restart record): whole-file reads,
// atomic replacement, durable appends and an exclusive lock between processes. Failures throw
// std::system_error whose text names the file.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orvo::registry {

// The file's bytes, or nothing when it does not exist.
std::optional<std::string> read_file_if_exists(const std::filesystem::path& file);

// The steps of write_file_atomically, in order; Write comes once per write call.
enum class AtomicWriteStep : std::uint8_t { CreateTemporary, SetMode, Write, Flush, Close, Rename, FlushDirectory };
const char* to_string(AtomicWriteStep step);

// A test seam into write_file_atomically: asked before each step whether the step is to fail,
// so that a test can fail every step in turn as a full disk, a failing device or a crash
// would. Without one (the normal case) the steps just run.
class AtomicWriteFaults {
  public:
    virtual ~AtomicWriteFaults() = default;
    // The errno value the step fails with, as if its system call had failed; 0 lets it run.
    virtual int fail(AtomicWriteStep step) = 0;
    // The most bytes the next write call may take (a short write, as a nearly full disk
    // gives); the write goes on with the rest.
    virtual std::size_t write_limit(std::size_t bytes) { return bytes; }
};

// Replaces the file's content: a temporary file in the same directory is written, flushed to
// disk and renamed over the file, and the directory is flushed. Readers and a crash at any
// moment see the old file or the new one, never a mixture. The file keeps its permissions.
// Any failed step throws: before the rename the old file stays and the temporary file is
// removed; when only the directory could not be flushed, the new content is in place but
// may not survive a crash, and that is reported as well.
void write_file_atomically(const std::filesystem::path& file, std::string_view content,
                           AtomicWriteFaults* faults = nullptr);

// Removes the temporary files that replacements of the file left behind because their writer
// died before the rename. Only safe while no replacement of the file can run, that is while
// holding the lock every writer of the file takes.
void remove_stale_temporaries(const std::filesystem::path& file);

// Appends one line (text and its newline) to the file, creating it, with one write, and
// flushes it to disk. A last line left without its newline by an append that never finished
// is cut off first, so that the torn bytes cannot run into the new line. Appenders exclude
// each other with a lock on the file itself, which is never replaced.
void append_line_to_file(const std::filesystem::path& file, std::string_view line);

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
