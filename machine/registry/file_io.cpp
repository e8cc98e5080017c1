#include "machine/registry/file_io.h"

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

// Retries interrupted calls; a short count means a real failure (disk full, file size limit).
bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
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

void sync_directory(const std::filesystem::path& dir) {
    FileDescriptor fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

} // namespace

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

void write_file_atomically(const std::filesystem::path& file, std::string_view content) {
    std::filesystem::path dir = file.parent_path().empty() ? "." : file.parent_path();
    std::string temp = (dir / ("." + file.filename().string() + ".XXXXXX")).string();
    FileDescriptor fd(::mkstemp(temp.data()));
    if (fd.get() < 0) throw_errno(errno, "cannot create a temporary file beside", file);

    struct stat existing {};
    mode_t mode = ::stat(file.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    bool ok =
        ::fchmod(fd.get(), mode) == 0 && write_all(fd.get(), content) && ::fsync(fd.get()) == 0;
    int error = errno;
    if (!fd.close() && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temp.c_str(), file.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        throw_errno(error, "cannot write", file);
    }
    sync_directory(dir);
}

void append_to_file(const std::filesystem::path& file, std::string_view text) {
    FileDescriptor fd(::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (fd.get() < 0) throw_errno(errno, "cannot open", file);
    if (!write_all(fd.get(), text) || ::fsync(fd.get()) != 0 || !fd.close())
        throw_errno(errno, "cannot append to", file);
}

ExclusiveFileLock::ExclusiveFileLock(const std::filesystem::path& lock_file)
    : fd_(::open(lock_file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    if (fd_ < 0) throw_errno(errno, "cannot open lock file", lock_file);
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        int error = errno;
        ::close(fd_);
        throw_errno(error, "cannot lock", lock_file);
    }
}

ExclusiveFileLock::~ExclusiveFileLock() {
    ::close(fd_);
}

} // namespace orvo::registry
