#pragma once
// The last chip commands with a snapshot of the registers as each was issued, for the
// message of a failing test and for the machine's trace tools.

#include "machine/io/clock.h"

#include <array>
#include <cstdint>
#include <string>

namespace orvo::fas408 {

struct CommandRecord {
    io::Nanoseconds at = 0;
    std::uint8_t command = 0;
    std::uint8_t status = 0;       // STATUS as a read would have shown it
    std::uint8_t int_status = 0;   // pending interrupt bits
    std::uint8_t seq_step = 0;
    std::uint8_t fifo_flags = 0;
    std::uint32_t count = 0;       // transfer counter
    std::uint8_t dest_id = 0;
    std::uint8_t bank = 0;
    const char* state = "";        // sequencer state before the command
};

class CommandHistory {
public:
    static constexpr std::size_t kDepth = 16;

    void add(const CommandRecord& r) {
        ring_[next_ % kDepth] = r;
        ++next_;
    }
    std::size_t size() const { return next_ < kDepth ? next_ : kDepth; }
    // i = 0 is the oldest kept record.
    const CommandRecord& at(std::size_t i) const { return ring_[(next_ - size() + i) % kDepth]; }
    void clear() { next_ = 0; }
    // One line per record, oldest first.
    std::string format() const;

private:
    std::array<CommandRecord, kDepth> ring_{};
    std::size_t next_ = 0;
};

} // namespace orvo::fas408
