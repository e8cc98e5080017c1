#pragma once
// A request's data or sense buffer between two guard zones of a known pattern. The miniport
// sees only the buffer; a write before or after it lands in a guard zone, where the host
// finds it when it checks the zones (at completion, retirement and shutdown). This works in
// every build, also where no AddressSanitizer watches the heap.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace orvo::scsiport {

class GuardedBuffer {
public:
    // Guard bytes on each side: more than the widest single write a miniport makes (a FIFO's
    // worth of bytes), so that an overrun by a whole chunk still lands in the zone.
    static constexpr std::size_t kGuardBytes = 256;

    GuardedBuffer() { fill_guards(); }
    explicit GuardedBuffer(std::size_t size) : storage_(size + 2 * kGuardBytes), size_(size) { fill_guards(); }
    explicit GuardedBuffer(std::span<const std::uint8_t> bytes) : GuardedBuffer(bytes.size()) {
        std::copy(bytes.begin(), bytes.end(), storage_.begin() + kGuardBytes);
    }

    // nullptr for an empty buffer, as the SRB carries no buffer then.
    std::uint8_t* data() { return size_ == 0 ? nullptr : storage_.data() + kGuardBytes; }
    const std::uint8_t* data() const { return size_ == 0 ? nullptr : storage_.data() + kGuardBytes; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::span<std::uint8_t> bytes() { return {storage_.data() + kGuardBytes, size_}; }
    std::span<const std::uint8_t> bytes() const { return {storage_.data() + kGuardBytes, size_}; }

    // How far writes reached outside the buffer: bytes before its start and past its end, up
    // to the farthest changed guard byte (0: that zone is intact).
    struct Damage {
        std::size_t before = 0;
        std::size_t after = 0;
    };
    std::optional<Damage> damage() const;

    // The pattern byte at guard position i (0 = the zone's first byte): it varies, so that a
    // write of any one value cannot go unseen in most of the zone.
    static std::uint8_t pattern(std::size_t i) { return static_cast<std::uint8_t>(0xA5 ^ (i * 29)); }

private:
    void fill_guards();

    // [kGuardBytes guard][size_ buffer][kGuardBytes guard]
    std::vector<std::uint8_t> storage_ = std::vector<std::uint8_t>(2 * kGuardBytes);
    std::size_t size_ = 0;
};

inline void GuardedBuffer::fill_guards() {
    for (std::size_t i = 0; i < kGuardBytes; ++i) {
        storage_[i] = pattern(i);
        storage_[kGuardBytes + size_ + i] = pattern(kGuardBytes + i);
    }
}

inline std::optional<GuardedBuffer::Damage> GuardedBuffer::damage() const {
    Damage found;
    for (std::size_t i = 0; i < kGuardBytes && found.before == 0; ++i) {
        if (storage_[i] != pattern(i)) found.before = kGuardBytes - i;
    }
    for (std::size_t i = kGuardBytes; i-- > 0 && found.after == 0;) {
        if (storage_[kGuardBytes + size_ + i] != pattern(kGuardBytes + i)) found.after = i + 1;
    }
    if (found.before == 0 && found.after == 0) return std::nullopt;
    return found;
}

} // namespace orvo::scsiport
