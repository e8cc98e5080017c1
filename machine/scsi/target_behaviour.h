#pragma once
// Behaviour switches of a target: its own negotiation terms and the unusual things real
// devices do. A plain struct, set from the machine description or directly by tests; the
// target reads it afresh at every decision, so a change takes effect at the next command.

#include "machine/io/clock.h"
#include "machine/scsi/phase.h"
#include "machine/scsi/sense.h"

#include <cstdint>
#include <optional>

namespace orvo::scsi {

struct TargetBehaviour {
    // Synchronous transfer negotiation.
    std::uint8_t min_period_factor = 25;  // fastest period accepted, units of 4 ns (25 = 100 ns)
    std::uint8_t max_offset = 15;         // largest REQ/ACK offset; 0 = asynchronous only
    bool reject_sdtr = false;             // answer SDTR with MESSAGE REJECT
    bool initiate_sdtr = false;           // propose SDTR itself at the first command after a reset
    bool initiate_wdtr = false;           // propose 16-bit transfers at the first command after a reset

    // Disconnection and reselection.
    bool disconnect_after_command = false;     // DISCONNECT after the command phase
    std::uint32_t disconnect_after_bytes = 0;  // SAVE DATA POINTER + DISCONNECT after this many
                                               // data bytes (once per command; 0 = never)
    bool ignore_disconnect_privilege = false;  // disconnect although IDENTIFY did not allow it
    bool restore_pointers_after_reselect = false;
    io::Nanoseconds reselect_delay = 500 * io::kMicrosecond;

    // Faults.
    unsigned busy_count = 0;             // answer BUSY to the next n commands
    unsigned check_condition_count = 0;  // CHECK CONDITION on the next n commands (not REQUEST SENSE)
    Sense injected_sense{sense_key::kHardwareError, 0x44, 0x00};  // internal target failure
    std::int32_t data_length_delta = 0;  // send / take this many bytes more (or fewer) than asked
    std::optional<Phase> stuck_phase{};  // on reaching this phase, stay in it forever
    std::optional<std::uint8_t> odd_extended_length{};  // send an extended message of this length
                                                      // (meant for 0 or above 14) after each command
    bool change_phase_mid_message = false;  // start an SDTR after each command and leave
                                            // MESSAGE IN after its first two bytes
    bool bad_parity = false;                // every byte the target drives has bad parity

    // Timing.
    io::Nanoseconds selection_response = 2 * io::kMicrosecond;
    io::Nanoseconds phase_delay = 2 * io::kMicrosecond;     // between phases
    io::Nanoseconds command_delay = 20 * io::kMicrosecond;  // last command byte to the next phase
};

} // namespace orvo::scsi
