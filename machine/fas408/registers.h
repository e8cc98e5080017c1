#pragma once
// FAS408 register offsets (both banks), command codes and the bits of each register.
// CONFIG4 bit 7, writable at 0x0D in either bank, selects bank 1.

#include <cstdint>

namespace orvo::fas408 {

inline constexpr unsigned kRegisterPorts = 16;

namespace reg {  // bank 0
inline constexpr std::uint8_t kTcLow = 0x00;       // RW transfer count 7..0 (live: the residual)
inline constexpr std::uint8_t kTcMid = 0x01;       // RW transfer count 15..8
inline constexpr std::uint8_t kFifo = 0x02;        // RW SCSI FIFO (16 bytes)
inline constexpr std::uint8_t kCommand = 0x03;     // W
inline constexpr std::uint8_t kStatus = 0x04;      // R
inline constexpr std::uint8_t kDestId = 0x04;      // W target of the next selection
inline constexpr std::uint8_t kIntStatus = 0x05;   // R, reading clears the interrupt
inline constexpr std::uint8_t kSelTimeout = 0x05;  // W
inline constexpr std::uint8_t kSeqStep = 0x06;     // R
inline constexpr std::uint8_t kSyncPeriod = 0x06;  // W clocks per synchronous byte
inline constexpr std::uint8_t kFifoFlags = 0x07;   // R bytes in the SCSI FIFO
inline constexpr std::uint8_t kSyncOffset = 0x07;  // W
inline constexpr std::uint8_t kConfig1 = 0x08;     // W
inline constexpr std::uint8_t kClockFactor = 0x09; // W
inline constexpr std::uint8_t kConfig2 = 0x0B;     // W
inline constexpr std::uint8_t kConfig3 = 0x0C;     // RW
inline constexpr std::uint8_t kConfig4 = 0x0D;     // W (both banks)
inline constexpr std::uint8_t kTcHigh = 0x0E;      // RW transfer count 23..16
} // namespace reg

namespace reg1 {  // bank 1
inline constexpr std::uint8_t kSramAddr = 0x01;      // W
inline constexpr std::uint8_t kSramData = 0x02;      // W
inline constexpr std::uint8_t kPioData = 0x04;       // RW data FIFO, 8/16/32-bit cycles
inline constexpr std::uint8_t kPioStatus = 0x08;     // R
inline constexpr std::uint8_t kPioControl = 0x08;    // W
inline constexpr std::uint8_t kPioDirection = 0x0B;  // W
inline constexpr std::uint8_t kConfig4 = 0x0D;       // W
inline constexpr std::uint8_t kChipId = 0x0E;        // R
} // namespace reg1

namespace cmd {
inline constexpr std::uint8_t kNop = 0x00;
inline constexpr std::uint8_t kFlushFifo = 0x01;
inline constexpr std::uint8_t kResetChip = 0x02;
inline constexpr std::uint8_t kResetBus = 0x03;
inline constexpr std::uint8_t kTransferInfo = 0x10;
inline constexpr std::uint8_t kCommandComplete = 0x11;  // status byte + message byte
inline constexpr std::uint8_t kMessageAccepted = 0x12;
inline constexpr std::uint8_t kSetAtn = 0x1A;
inline constexpr std::uint8_t kResetAtn = 0x1B;
inline constexpr std::uint8_t kSelectAtn = 0x42;
inline constexpr std::uint8_t kSelectAtnStop = 0x43;
inline constexpr std::uint8_t kDataFifo = 0x80;  // bytes through PIO_DATA instead of FIFO
} // namespace cmd

namespace status_bits {
inline constexpr std::uint8_t kInterrupt = 0x80;
inline constexpr std::uint8_t kGrossError = 0x40;   // latched; cleared by reading INT_STATUS
inline constexpr std::uint8_t kParityError = 0x20;  // latched; cleared by reading INT_STATUS
inline constexpr std::uint8_t kCountZero = 0x10;
inline constexpr std::uint8_t kPhaseMask = 0x07;
} // namespace status_bits

namespace int_bits {
inline constexpr std::uint8_t kReselected = 0x04;
inline constexpr std::uint8_t kFunctionComplete = 0x08;
inline constexpr std::uint8_t kBusService = 0x10;
inline constexpr std::uint8_t kDisconnect = 0x20;
inline constexpr std::uint8_t kIllegalCommand = 0x40;
inline constexpr std::uint8_t kBusReset = 0x80;
} // namespace int_bits

namespace seq_step {
inline constexpr std::uint8_t kMask = 0x07;
inline constexpr std::uint8_t kNoMessageOut = 0;    // selected, target skipped MESSAGE OUT
inline constexpr std::uint8_t kMessageStopped = 1;  // one message byte sent, stopped (0x43)
inline constexpr std::uint8_t kNoCommand = 2;       // message sent, COMMAND not entered
inline constexpr std::uint8_t kCommandShort = 3;    // COMMAND ended before all bytes went
inline constexpr std::uint8_t kComplete = 4;
} // namespace seq_step

namespace fifo_flags {
inline constexpr std::uint8_t kCountMask = 0x1F;
}

namespace config1 {
inline constexpr std::uint8_t kOwnIdMask = 0x07;
inline constexpr std::uint8_t kParityCheck = 0x10;
inline constexpr std::uint8_t kResetInterruptOff = 0x40;  // no 0x80 interrupt on bus reset
} // namespace config1

namespace config3 {
inline constexpr std::uint8_t kFastTiming = 0x10;  // periods below 200 ns allowed
}

namespace config4 {
inline constexpr std::uint8_t kBank1 = 0x80;
}

namespace sync_offset {
inline constexpr std::uint8_t kOffsetMask = 0x0F;
}

namespace sync_period {
inline constexpr std::uint8_t kClocksMask = 0x1F;  // 0 counts as 32
}

namespace pio_status {
inline constexpr std::uint8_t kFull128 = 0x02;    // in: at least 128 bytes to read
inline constexpr std::uint8_t kAtLeast86 = 0x04;  // in: at least 86 bytes to read
inline constexpr std::uint8_t kAtLeast44 = 0x08;  // in: at least 44 to read; out: room for 80
inline constexpr std::uint8_t kEmpty = 0x10;
inline constexpr std::uint8_t kEnded = 0x40;      // transfer ended (phase change or count)
} // namespace pio_status

namespace pio_control {
inline constexpr std::uint8_t kOn = 0x01;
}

namespace pio_direction {
inline constexpr std::uint8_t kOut = 0x01;
}

} // namespace orvo::fas408
