#pragma once
// SCSI information-transfer phases, numbered by the MSG, C/D and I/O lines the way an
// initiator chip reports them in its status register.

#include <cstdint>

namespace orvo::scsi {

enum class Phase : std::uint8_t {
    DataOut = 0,
    DataIn = 1,
    Command = 2,
    Status = 3,
    MessageOut = 6,
    MessageIn = 7,
};

// The I/O line: the target drives the data bus.
constexpr bool is_input(Phase p) { return (static_cast<std::uint8_t>(p) & 1u) != 0; }
constexpr bool is_data(Phase p) { return p == Phase::DataOut || p == Phase::DataIn; }
constexpr std::uint8_t phase_lines(Phase p) { return static_cast<std::uint8_t>(p); }

// Name used in the bus trace: DATAOUT, DATAIN, COMMAND, STATUS, MSGOUT, MSGIN.
const char* phase_trace_name(Phase p);

} // namespace orvo::scsi
