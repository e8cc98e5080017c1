#pragma once
// An optional log of what passes between host and miniport (routine calls, notifications,
// completions, resets), one line per event with its virtual time. Nothing is formatted unless
// a sink is set.

#include "machine/io/clock.h"

#include <functional>
#include <string_view>

namespace orvo::scsiport {

class EventLog {
public:
    using Sink = std::function<void(std::string_view line)>;

    explicit EventLog(const io::VirtualClock& clock) : clock_(clock) {}

    void set_sink(Sink sink) { sink_ = std::move(sink); }
    bool enabled() const { return static_cast<bool>(sink_); }

    // Writes "   1.500026 s  <text>" to the sink.
    void note(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    const io::VirtualClock& clock_;
    Sink sink_;
};

} // namespace orvo::scsiport
