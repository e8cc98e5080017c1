#pragma once
// A zero-filled block of miniport memory: the device extension, a logical-unit extension or an
// SRB extension. Allocated at exactly the registered size so that AddressSanitizer catches a
// miniport overrunning its record; a size of 0 still yields a valid, distinct address.

#include <cstddef>
#include <memory>

namespace orvo::scsiport {

class ExtensionBlock {
public:
    ExtensionBlock() = default;
    explicit ExtensionBlock(std::size_t size)
        : size_(size), bytes_(new std::byte[size == 0 ? 1 : size]()) {}

    void* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }
    explicit operator bool() const { return bytes_ != nullptr; }

private:
    std::size_t size_ = 0;
    std::unique_ptr<std::byte[]> bytes_;
};

} // namespace orvo::scsiport
