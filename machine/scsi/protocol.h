#pragma once
// Message codes and status bytes of the SCSI-2 protocol as the bus devices use them.

#include <cstdint>

namespace orvo::scsi {

namespace message {
inline constexpr std::uint8_t kCommandComplete = 0x00;
inline constexpr std::uint8_t kExtended = 0x01;
inline constexpr std::uint8_t kSaveDataPointer = 0x02;
inline constexpr std::uint8_t kRestorePointers = 0x03;
inline constexpr std::uint8_t kDisconnect = 0x04;
inline constexpr std::uint8_t kInitiatorDetectedError = 0x05;
inline constexpr std::uint8_t kAbort = 0x06;
inline constexpr std::uint8_t kMessageReject = 0x07;
inline constexpr std::uint8_t kNoOperation = 0x08;
inline constexpr std::uint8_t kMessageParityError = 0x09;
inline constexpr std::uint8_t kBusDeviceReset = 0x0C;
inline constexpr std::uint8_t kIdentify = 0x80;            // bits 2..0 = LUN
inline constexpr std::uint8_t kIdentifyDisconnect = 0x40;  // disconnect privilege
inline constexpr std::uint8_t kTwoByteFirst = 0x20;        // 0x20..0x2F: two-byte messages
inline constexpr std::uint8_t kTwoByteLast = 0x2F;
// Extended message codes (third byte of an extended message).
inline constexpr std::uint8_t kExtSdtr = 0x01;  // length 3: period factor, offset
inline constexpr std::uint8_t kExtWdtr = 0x03;  // length 2: width exponent
} // namespace message

namespace status {
inline constexpr std::uint8_t kGood = 0x00;
inline constexpr std::uint8_t kCheckCondition = 0x02;
inline constexpr std::uint8_t kConditionMet = 0x04;
inline constexpr std::uint8_t kBusy = 0x08;
} // namespace status

// What a target agreed to for data phases: synchronous terms (offset 0 = asynchronous) and
// width (this bus is 8 bits wide; a wide agreement cannot be honoured).
struct TransferAgreement {
    std::uint8_t period_factor = 0;  // units of 4 ns
    std::uint8_t offset = 0;
    bool wide = false;
    bool synchronous() const { return offset != 0; }
    friend bool operator==(const TransferAgreement&, const TransferAgreement&) = default;
};

} // namespace orvo::scsi
