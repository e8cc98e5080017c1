#pragma once
// ISA memory space of the simulated PC: 16 MiB (24 address bits), one flat buffer so that a
// mapped window is a plain pointer the driver reads and writes byte by byte. Untouched memory
// reads 0. Devices that show memory through a window (the socket controller) keep their part
// of the buffer coherent with what they model.

#include <cstddef>
#include <cstdint>

namespace orvo::io {

class MemorySpace {
public:
    static constexpr std::uint32_t kSize = 1u << 24;

    MemorySpace();
    ~MemorySpace();
    MemorySpace(const MemorySpace&) = delete;
    MemorySpace& operator=(const MemorySpace&) = delete;

    // Pointer to [address, address + length), or nullptr when the range leaves the space.
    std::uint8_t* map(std::uint64_t address, std::uint64_t length) {
        if (address > kSize || length > kSize - address) return nullptr;
        return base_ + address;
    }
    std::uint8_t* data() { return base_; }

private:
    std::uint8_t* base_;
};

} // namespace orvo::io
