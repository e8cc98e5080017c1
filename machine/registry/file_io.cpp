#include "machine/registry/file_io.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace orvo::registry {
namespace {

[[noreturn]] void throw_errno(int error, const std::string& what,
                              const std::filesystem::path& file) {
    throw std::system_error(error, std::generic_category(), what + " " + file.string());
}

// Whether each step of a replacement runs, as the fault plan (if any) decides.
class Steps {
  public:
    explicit Steps(AtomicWriteFaults* faults) : faults_(faults) {}
    // The errno value the plan fails the step with, or 0.
    int fault(AtomicWriteStep step) { return faults_ != nullptr ? faults_->fail(step) : 0; }
    // Runs the step's call unless the plan fails it; false with errno set on either failure.
    template <class Call>
    bool run(AtomicWriteStep step, Call call) {
        if (const int error = fault(step); error != 0) {
            errno = error;
            return false;
        }
        return call();
    }
    std::size_t write_limit(std::size_t bytes) {
        return faults_ != nullptr ? std::clamp<std::size_t>(faults_->write_limit(bytes), 1, bytes) : bytes;
    }

  private:
    AtomicWriteFaults* faults_;
};

// Retries interrupted calls and goes on after short writes; a write that takes nothing means
// a real failure (disk full, file size limit).
bool write_all(int fd, std::string_view bytes, Steps& steps) {
    while (!bytes.empty()) {
        if (const int error = steps.fault(AtomicWriteStep::Write); error != 0) {
            errno = error;
            return false;
        }
        const ssize_t n = ::write(fd, bytes.data(), steps.write_limit(bytes.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool write_all(int fd, std::string_view bytes) {
    Steps no_faults(nullptr);
    return write_all(fd, bytes, no_faults);
}

// Reads exactly length bytes at offset.
bool read_all_at(int fd, char* buffer, std::size_t length, off_t offset) {
    while (length > 0) {
        const ssize_t n = ::pread(fd, buffer, length, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        buffer += n;
        length -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closes now so that a failing close (delayed write error) is seen.
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

// Makes a rename in dir durable. A file system that keeps nothing to flush for a directory
// answers EINVAL; that is no failure.
bool flush_directory(const std::filesystem::path& dir) {
    FileDescriptor fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) return false;
    return ::fsync(fd.get()) == 0 || errno == EINVAL;
}

void lock_exclusively(int fd, const std::filesystem::path& file) {
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) throw_errno(errno, "cannot lock", file);
    }
}

// Cuts the file back to the end of its last whole line: what follows the last newline is
// what an append that never finished left.
bool cut_torn_last_line(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    char buffer[4096];
    for (off_t end = st.st_size; end > 0;) {
        const std::size_t n = static_cast<std::size_t>(std::min<off_t>(end, sizeof buffer));
        end -= static_cast<off_t>(n);
        if (!read_all_at(fd, buffer, n, end)) return false;
        for (std::size_t i = n; i-- > 0;) {
            if (buffer[i] != '\n') continue;
            const off_t whole = end + static_cast<off_t>(i) + 1;
            return whole == st.st_size || ::ftruncate(fd, whole) == 0;
        }
    }
    return st.st_size == 0 || ::ftruncate(fd, 0) == 0;
}

// A replacement's temporary file: "." + the file's name + "." + the six characters mkstemp
// puts in place of the X.
std::string temporary_prefix(const std::filesystem::path& file) { return "." + file.filename().string() + "."; }
constexpr std::string_view kTemporaryPattern = "XXXXXX";

} // namespace

const char* to_string(AtomicWriteStep step) {
    switch (step) {
    case AtomicWriteStep::CreateTemporary: return "create the temporary file";
    case AtomicWriteStep::SetMode: return "set its permissions";
    case AtomicWriteStep::Write: return "write";
    case AtomicWriteStep::Flush: return "flush it";
    case AtomicWriteStep::Close: return "close it";
    case AtomicWriteStep::Rename: return "rename it over the file";
    case AtomicWriteStep::FlushDirectory: return "flush the directory";
    }
    return "?";
}

std::optional<std::string> read_file_if_exists(const std::filesystem::path& file) {
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT) return std::nullopt;
        throw_errno(errno, "cannot open", file);
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw_errno(errno, "cannot read", file);
        if (n == 0) return content;
        content.append(buffer, static_cast<std::size_t>(n));
    }
}

void write_file_atomically(const std::filesystem::path& file, std::string_view content,
                           AtomicWriteFaults* faults) {
    Steps steps(faults);
    const std::filesystem::path dir = file.parent_path().empty() ? "." : file.parent_path();
    std::string temp = (dir / (temporary_prefix(file) + std::string(kTemporaryPattern))).string();
    int created = -1;
    steps.run(AtomicWriteStep::CreateTemporary, [&] { return (created = ::mkstemp(temp.data())) >= 0; });
    FileDescriptor fd(created);
    if (fd.get() < 0) throw_errno(errno, "cannot create a temporary file beside", file);

    struct stat existing {};
    const mode_t mode = ::stat(file.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    bool ok = steps.run(AtomicWriteStep::SetMode, [&] { return ::fchmod(fd.get(), mode) == 0; }) &&
              write_all(fd.get(), content, steps) &&
              steps.run(AtomicWriteStep::Flush, [&] { return ::fsync(fd.get()) == 0; });
    int error = errno;
    // The descriptor is closed whatever the plan says; a refused close stands for a close
    // that reports a delayed write error.
    const int close_fault = steps.fault(AtomicWriteStep::Close);
    const bool closed = fd.close();
    if (ok && (!closed || close_fault != 0)) {
        ok = false;
        error = closed ? close_fault : errno;
    }
    if (ok && !steps.run(AtomicWriteStep::Rename, [&] { return ::rename(temp.c_str(), file.c_str()) == 0; })) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        throw_errno(error, "cannot write", file);
    }
    if (!steps.run(AtomicWriteStep::FlushDirectory, [&] { return flush_directory(dir); })) {
        throw std::system_error(errno, std::generic_category(),
                                "cannot flush the directory of " + file.string() +
                                    " (the new content is in place but may not survive a crash)");
    }
}

void remove_stale_temporaries(const std::filesystem::path& file) {
    const std::filesystem::path dir = file.parent_path().empty() ? "." : file.parent_path();
    const std::string prefix = temporary_prefix(file);
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ignored)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == prefix.size() + kTemporaryPattern.size() && name.starts_with(prefix)) {
            std::filesystem::remove(entry.path(), ignored);
        }
    }
}

void append_line_to_file(const std::filesystem::path& file, std::string_view line) {
    FileDescriptor fd(::open(file.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (fd.get() < 0) throw_errno(errno, "cannot open", file);
    lock_exclusively(fd.get(), file);
    if (!cut_torn_last_line(fd.get())) throw_errno(errno, "cannot repair the last line of", file);
    std::string text(line);
    text += '\n';
    if (!write_all(fd.get(), text) || ::fsync(fd.get()) != 0 || !fd.close())
        throw_errno(errno, "cannot append to", file);
}

ExclusiveFileLock::ExclusiveFileLock(const std::filesystem::path& lock_file)
    : fd_(::open(lock_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    if (fd_ < 0) throw_errno(errno, "cannot open lock file", lock_file);
    try {
        lock_exclusively(fd_, lock_file);
    } catch (...) {
        ::close(fd_);
        throw;
    }
}

ExclusiveFileLock::~ExclusiveFileLock() {
    ::close(fd_);
}

} // namespace orvo::registry
