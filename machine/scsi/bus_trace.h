#pragma once
// The bus trace: one event per line, virtual time first in microseconds with three decimals.
//   250.684 SELECT 2 ATN
//   252.884 MSGOUT 80 01 03 01 19 0f
//   260.120 COMMAND 28 00 00 00 00 00 00 00 08 00
//   300.500 DATAIN 4096
//   ...     STATUS 00 / MSGIN 00 / DISCONNECT / RESELECT 3 LUN 1 / BUSFREE / RESET / SELTIMEOUT 5
// Phase lines carry the time the target entered the phase and are written when it leaves it.
// Nothing is formatted while the trace is off.

#include "machine/io/clock.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace orvo::scsi {

class BusTrace {
public:
    using Sink = std::function<void(std::string_view line)>;

    // Keeps lines in memory (for tests and tools) and/or hands each to a sink.
    void keep_lines(bool keep) { keep_ = keep; }
    void set_sink(Sink sink) { sink_ = std::move(sink); }
    bool on() const { return keep_ || static_cast<bool>(sink_); }

    void record(io::Nanoseconds at, std::string_view event);

    const std::vector<std::string>& lines() const { return lines_; }
    // The kept lines without their time stamps.
    std::vector<std::string> events() const;
    std::string text() const;
    void clear() { lines_.clear(); }

    static std::string format_time(io::Nanoseconds at);

private:
    bool keep_ = false;
    Sink sink_;
    std::vector<std::string> lines_;
};

} // namespace orvo::scsi
