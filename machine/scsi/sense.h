#pragma once
// Sense data: keys, additional sense codes, and the fixed-format (0x70) encoding returned by
// REQUEST SENSE.

#include <cstddef>
#include <cstdint>

namespace orvo::scsi {

namespace sense_key {
inline constexpr std::uint8_t kNoSense = 0x0;
inline constexpr std::uint8_t kNotReady = 0x2;
inline constexpr std::uint8_t kMediumError = 0x3;
inline constexpr std::uint8_t kHardwareError = 0x4;
inline constexpr std::uint8_t kIllegalRequest = 0x5;
inline constexpr std::uint8_t kUnitAttention = 0x6;
inline constexpr std::uint8_t kDataProtect = 0x7;
inline constexpr std::uint8_t kAbortedCommand = 0xB;
inline constexpr std::uint8_t kMiscompare = 0xE;
} // namespace sense_key

namespace asc {
inline constexpr std::uint8_t kNotReady = 0x04;            // ascq 0x02: START UNIT required
inline constexpr std::uint8_t kWriteError = 0x0C;
inline constexpr std::uint8_t kUnrecoveredReadError = 0x11;
inline constexpr std::uint8_t kMiscompareDuringVerify = 0x1D;
inline constexpr std::uint8_t kInvalidOpcode = 0x20;
inline constexpr std::uint8_t kLbaOutOfRange = 0x21;
inline constexpr std::uint8_t kInvalidFieldInCdb = 0x24;
inline constexpr std::uint8_t kLunNotSupported = 0x25;
inline constexpr std::uint8_t kWriteProtected = 0x27;
inline constexpr std::uint8_t kMediumChanged = 0x28;
inline constexpr std::uint8_t kPowerOnOrReset = 0x29;
inline constexpr std::uint8_t kMediumNotPresent = 0x3A;
inline constexpr std::uint8_t kParityError = 0x47;
inline constexpr std::uint8_t kInitiatorDetectedError = 0x48;
inline constexpr std::uint8_t kOverlappedCommands = 0x4E;
} // namespace asc

struct Sense {
    std::uint8_t key = sense_key::kNoSense;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
    bool info_valid = false;
    std::uint32_t info = 0;  // e.g. the failing LBA

    bool empty() const { return key == sense_key::kNoSense && asc == 0 && ascq == 0; }
    friend bool operator==(const Sense&, const Sense&) = default;
};

inline constexpr std::size_t kFixedSenseLength = 18;

// Writes fixed-format sense data into out[0..17].
void encode_fixed_sense(const Sense& sense, std::uint8_t out[kFixedSenseLength]);

} // namespace orvo::scsi
