#pragma once
// The ports a miniport may touch: every I/O range it mapped, the I/O ranges it reported in its
// configuration, and the platform ports the builds legitimately use by plain number. One bit
// per port, so the check on every access is a couple of loads.

#include <array>
#include <cstdint>
#include <vector>

namespace orvo::scsiport {

struct PortRange {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
};

// Socket controller candidates and PCI configuration mechanism 1: the ports the builds address
// by number rather than through a mapping.
inline std::vector<PortRange> default_platform_ports() {
    return {{0x3E0, 4},  {0x3E4, 4},  {0x3000, 4}, {0xF8EC, 4},
            {0xF8FC, 4}, {0xFCFC, 4}, {0xFFF4, 4}, {0xCF8, 8}};
}

class PortClaims {
public:
    static constexpr std::uint32_t kPorts = 0x10000;

    // Ranges reaching past the I/O space are clipped to it.
    void claim(std::uint64_t first, std::uint64_t count) {
        for (std::uint64_t port = first; port < first + count && port < kPorts; ++port) {
            bits_[port >> 6] |= std::uint64_t{1} << (port & 63);
        }
    }

    // True when every byte of a width-byte access at port lies in a claimed range.
    bool allows(std::uintptr_t port, unsigned width) const {
        if (port > kPorts - width) return false;
        for (unsigned i = 0; i < width; ++i) {
            if (!claimed(static_cast<std::uint32_t>(port) + i)) return false;
        }
        return true;
    }

    bool claimed(std::uint32_t port) const {
        return port < kPorts && ((bits_[port >> 6] >> (port & 63)) & 1) != 0;
    }

private:
    std::array<std::uint64_t, kPorts / 64> bits_{};
};

} // namespace orvo::scsiport
