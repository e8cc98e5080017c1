#pragma once
// Register map of the 82365-compatible socket controller: one block of 64 registers per
// socket, reached through an index/data port pair (sockets 0-3 on the first pair, 4-7 on the
// second; socket n owns the block at index (n mod 4) * 0x40). Bits are grouped per register.

#include <cstdint>

namespace orvo::pcmcia {

namespace reg {
constexpr std::uint8_t kIdRevision = 0x00;         // r  interface type and revision
constexpr std::uint8_t kInterfaceStatus = 0x01;    // r  card detect, power, ready
constexpr std::uint8_t kPowerControl = 0x02;       // rw power and RESETDRV control
constexpr std::uint8_t kInterruptControl = 0x03;   // rw card reset, card type, IRQ steering
constexpr std::uint8_t kCardStatusChange = 0x04;   // r  latched changes; reading clears them
constexpr std::uint8_t kStatusChangeConfig = 0x05; // rw (stored)
constexpr std::uint8_t kWindowEnable = 0x06;       // rw memory windows 0-4, I/O windows 0-1
constexpr std::uint8_t kIoControl = 0x07;          // rw data path and waits of the I/O windows
constexpr std::uint8_t kIo0StartLow = 0x08;        // rw I/O window 0: start, stop (4 registers)
constexpr std::uint8_t kIo1StartLow = 0x0C;        // rw I/O window 1
constexpr std::uint8_t kMem0StartLow = 0x10;       // rw memory window 0: start, stop, offset (6)
constexpr std::uint8_t kMem0StartHigh = 0x11;
constexpr std::uint8_t kMem0StopLow = 0x12;
constexpr std::uint8_t kMem0StopHigh = 0x13;
constexpr std::uint8_t kMem0OffsetLow = 0x14;
constexpr std::uint8_t kMem0OffsetHigh = 0x15;
constexpr unsigned kBlockSize = 0x40;
// An I/O window's four registers: start low, start high, stop low, stop high.
constexpr unsigned kIoWindowStride = 4;
} // namespace reg

namespace id {
constexpr std::uint8_t kInterfaceMask = 0xF0;
constexpr std::uint8_t kMemoryAndIo = 0x80;
constexpr std::uint8_t kDefault = 0x83; // memory-and-I/O interface, revision 3
} // namespace id

namespace status {
constexpr std::uint8_t kBatteryDead = 0x01;     // BVD1
constexpr std::uint8_t kBatteryWarning = 0x02;  // BVD2
constexpr std::uint8_t kCardDetect1 = 0x04;
constexpr std::uint8_t kCardDetect2 = 0x08;
constexpr std::uint8_t kWriteProtect = 0x10;
constexpr std::uint8_t kReady = 0x20;
constexpr std::uint8_t kPowerActive = 0x40;
constexpr std::uint8_t kCardDetect = kCardDetect1 | kCardDetect2;
} // namespace status

namespace power {
constexpr std::uint8_t kVppMask = 0x0F;
constexpr std::uint8_t kVccOn = 0x10;
constexpr std::uint8_t kAutoPower = 0x20;      // VCC only while a card is detected
constexpr std::uint8_t kNoResetDrv = 0x40;     // a system reset does not reach the card
constexpr std::uint8_t kOutputEnable = 0x80;   // card signals driven
} // namespace power

namespace intctl {
constexpr std::uint8_t kIrqMask = 0x0F;
constexpr std::uint8_t kStatusChangeIrq = 0x10;
constexpr std::uint8_t kIoCard = 0x20;
constexpr std::uint8_t kResetReleased = 0x40;  // 0 holds the card in reset
constexpr std::uint8_t kRingIndicate = 0x80;
} // namespace intctl

namespace change {
constexpr std::uint8_t kCardDetect = 0x08;
} // namespace change

namespace winen {
constexpr std::uint8_t kMem0 = 0x01;
constexpr std::uint8_t kMemCs16 = 0x20;
constexpr std::uint8_t kIo0 = 0x40;
constexpr std::uint8_t kIo1 = 0x80;
} // namespace winen

// I/O control: one nibble per I/O window (window 0 in bits 3..0).
namespace ioctl {
constexpr std::uint8_t kDataSize16 = 0x1;
constexpr std::uint8_t kIoCs16Source = 0x2;
constexpr std::uint8_t kZeroWait = 0x4;
constexpr std::uint8_t kWaitState = 0x8;
} // namespace ioctl

// Memory window registers: address bits 23..12 in start/stop, a 14-bit card offset (two's
// complement, added to the host address) in the offset pair.
namespace memwin {
constexpr std::uint8_t kAddressHighMask = 0x0F; // start/stop high: A23..A20
constexpr std::uint8_t kDataSize16 = 0x80;      // start high
constexpr std::uint8_t kZeroWait = 0x40;        // start high
constexpr std::uint8_t kWaitStateMask = 0xC0;   // stop high
constexpr std::uint8_t kOffsetHighMask = 0x3F;  // offset high: A25..A20
constexpr std::uint8_t kAttribute = 0x40;       // offset high: REG, attribute memory
constexpr std::uint8_t kWriteProtect = 0x80;    // offset high
constexpr unsigned kPageShift = 12;
constexpr std::uint32_t kCardAddressMask = 0x3FFFFFF; // 64 MiB of card space
} // namespace memwin

} // namespace orvo::pcmcia
