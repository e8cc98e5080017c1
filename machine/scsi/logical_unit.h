#pragma once
// A logical unit: the command set behind one LUN of a target. The target framework does the
// bus protocol, LUN selection, unit attention and REQUEST SENSE; a unit only executes
// commands. It never throws for anything a command can carry: bad fields, ranges and I/O
// failures come back as CHECK CONDITION with sense data.

#include "machine/scsi/protocol.h"
#include "machine/scsi/sense.h"

#include <cstdint>
#include <span>
#include <vector>

namespace orvo::scsi {

enum class DataDirection : std::uint8_t { None, In, Out };

struct Outcome {
    std::uint8_t status = status::kGood;
    DataDirection direction = DataDirection::None;
    std::uint32_t length = 0;  // bytes of the data phase
};

class LogicalUnit {
public:
    virtual ~LogicalUnit() = default;

    // Starts a command. A data-in command leaves its bytes in `data`; a data-out command
    // names the length it expects and gets the bytes through finish_out(). A failure sets
    // `sense` and returns CHECK CONDITION.
    virtual Outcome begin(std::span<const std::uint8_t> cdb, std::vector<std::uint8_t>& data,
                          Sense& sense) = 0;
    // The bytes of a data-out phase (as many as arrived); returns the final status.
    virtual Outcome finish_out(std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> data,
                               Sense& sense);
    // Bus reset or BUS DEVICE RESET.
    virtual void reset() {}

    // For the outcomes above.
    static Outcome good() { return {}; }
    static Outcome check(Sense& sense, std::uint8_t key, std::uint8_t asc, std::uint8_t ascq = 0);
    static Outcome data_in(std::uint32_t length) { return {status::kGood, DataDirection::In, length}; }
    static Outcome data_out(std::uint32_t length) { return {status::kGood, DataDirection::Out, length}; }
};

// Standard INQUIRY data (36 bytes) for a unit of the given peripheral device type.
struct Identity {
    const char* vendor = "ORVO";
    const char* product = "VIRTUAL DISK";
    const char* revision = "1.0";
};
std::vector<std::uint8_t> standard_inquiry(std::uint8_t device_type, bool removable, const Identity& id);

} // namespace orvo::scsi
