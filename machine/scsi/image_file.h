#pragma once
// A raw image file read and written in place. A missing read-write image is created sparse at
// the requested size; an existing one keeps its size. Opening failures throw
// std::runtime_error naming the file; reads and writes report failure by their result so that
// a unit can turn it into sense data.

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvo::scsi {

class ImageFile {
public:
    static ImageFile open_or_create(const std::string& path, std::uint64_t size_if_created);
    static ImageFile open_read_only(const std::string& path);

    ImageFile(ImageFile&& other) noexcept;
    ImageFile& operator=(ImageFile&& other) noexcept;
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;
    ~ImageFile();  // flushes and closes

    const std::string& path() const { return path_; }
    std::uint64_t size() const { return size_; }
    bool read_only() const { return read_only_; }

    // Whole-range operations: false when the range leaves the file or the system call fails.
    bool read(std::uint64_t offset, void* dst, std::size_t length) const;
    bool write(std::uint64_t offset, const void* src, std::size_t length);
    bool flush();

private:
    ImageFile(int fd, std::string path, std::uint64_t size, bool read_only);
    void close();

    int fd_ = -1;
    std::string path_;
    std::uint64_t size_ = 0;
    bool read_only_ = true;
};

} // namespace orvo::scsi
