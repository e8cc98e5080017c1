#include "machine/scsi/image_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace orvo::scsi {

namespace {

[[noreturn]] void fail(const std::string& path, const char* what, int err) {
    throw std::runtime_error("image " + path + ": " + what + ": " + std::strerror(err));
}

std::uint64_t file_size(int fd, const std::string& path) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        fail(path, "cannot stat", err);
    }
    return std::uint64_t(st.st_size);
}

} // namespace

ImageFile::ImageFile(int fd, std::string path, std::uint64_t size, bool read_only)
    : fd_(fd), path_(std::move(path)), size_(size), read_only_(read_only) {}

ImageFile ImageFile::open_or_create(const std::string& path, std::uint64_t size_if_created) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) fail(path, "cannot create", errno);
        if (::ftruncate(fd, off_t(size_if_created)) != 0) {
            const int err = errno;
            ::close(fd);
            ::unlink(path.c_str());
            fail(path, "cannot size", err);
        }
    }
    if (fd < 0) fail(path, "cannot open", errno);
    return ImageFile(fd, path, file_size(fd, path), false);
}

ImageFile ImageFile::open_read_only(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail(path, "cannot open", errno);
    return ImageFile(fd, path, file_size(fd, path), true);
}

ImageFile::ImageFile(ImageFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)), size_(other.size_),
      read_only_(other.read_only_) {}

ImageFile& ImageFile::operator=(ImageFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        size_ = other.size_;
        read_only_ = other.read_only_;
    }
    return *this;
}

ImageFile::~ImageFile() { close(); }

void ImageFile::close() {
    if (fd_ < 0) return;
    if (!read_only_) ::fsync(fd_);
    ::close(fd_);
    fd_ = -1;
}

namespace {

// Runs pread/pwrite until the whole range is done; false on an error or an end of file.
template <typename Byte, typename Call>
bool whole_range(int fd, std::uint64_t offset, Byte* p, std::size_t length, Call call) {
    while (length > 0) {
        const ssize_t n = call(fd, p, length, off_t(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        offset += std::uint64_t(n);
        length -= std::size_t(n);
    }
    return true;
}

} // namespace

bool ImageFile::read(std::uint64_t offset, void* dst, std::size_t length) const {
    if (fd_ < 0 || offset > size_ || length > size_ - offset) return false;
    return whole_range(fd_, offset, static_cast<std::uint8_t*>(dst), length, ::pread);
}

bool ImageFile::write(std::uint64_t offset, const void* src, std::size_t length) {
    if (fd_ < 0 || read_only_ || offset > size_ || length > size_ - offset) return false;
    return whole_range(fd_, offset, static_cast<const std::uint8_t*>(src), length, ::pwrite);
}

bool ImageFile::flush() { return fd_ >= 0 && (read_only_ || ::fsync(fd_) == 0); }

} // namespace orvo::scsi
