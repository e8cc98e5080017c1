#pragma once
// Command descriptor blocks: operation codes the devices implement and big-endian field access.

#include <cstdint>
#include <span>

namespace orvo::scsi {

namespace op {
inline constexpr std::uint8_t kTestUnitReady = 0x00;
inline constexpr std::uint8_t kRequestSense = 0x03;
inline constexpr std::uint8_t kRead6 = 0x08;
inline constexpr std::uint8_t kWrite6 = 0x0A;
inline constexpr std::uint8_t kInquiry = 0x12;
inline constexpr std::uint8_t kModeSense6 = 0x1A;
inline constexpr std::uint8_t kStartStopUnit = 0x1B;
inline constexpr std::uint8_t kPreventAllowRemoval = 0x1E;
inline constexpr std::uint8_t kReadCapacity10 = 0x25;
inline constexpr std::uint8_t kRead10 = 0x28;
inline constexpr std::uint8_t kWrite10 = 0x2A;
inline constexpr std::uint8_t kWriteAndVerify10 = 0x2E;
inline constexpr std::uint8_t kVerify10 = 0x2F;
inline constexpr std::uint8_t kSynchronizeCache10 = 0x35;
} // namespace op

// Length of a command by its group code (bits 7..5 of the operation code). Reserved and
// vendor groups are taken as 6 bytes, which is what a target that does not know them reads.
constexpr unsigned cdb_length(std::uint8_t opcode) {
    switch (opcode >> 5) {
    case 1:
    case 2: return 10;
    case 5: return 12;
    case 4: return 16;
    default: return 6;
    }
}

inline std::uint32_t be16(std::span<const std::uint8_t> b, unsigned at) {
    return (std::uint32_t(b[at]) << 8) | b[at + 1];
}
inline std::uint32_t be24(std::span<const std::uint8_t> b, unsigned at) {
    return (std::uint32_t(b[at]) << 16) | (std::uint32_t(b[at + 1]) << 8) | b[at + 2];
}
inline std::uint32_t be32(std::span<const std::uint8_t> b, unsigned at) {
    return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) |
           (std::uint32_t(b[at + 2]) << 8) | b[at + 3];
}
inline void put_be16(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v >> 8);
    p[1] = std::uint8_t(v);
}
inline void put_be24(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v >> 16);
    put_be16(p + 1, v);
}
inline void put_be32(std::uint8_t* p, std::uint32_t v) {
    put_be16(p, v >> 16);
    put_be16(p + 2, v);
}

} // namespace orvo::scsi
