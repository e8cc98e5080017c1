#pragma once
// What the driver-side harnesses check on every input, whatever the input is: a broken
// property ends the run with std::abort() and a message that says which one, so that
// libFuzzer keeps the input and the replay programs stop on it.

#include "machine/io/clock.h"
#include "scsiport/host/port_driver.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace orvo::fuzz {

[[noreturn]] inline void property_broken(const char* format, ...) __attribute__((format(printf, 1, 2)));

[[noreturn]] inline void property_broken(const char* format, ...) {
    std::fputs("property broken: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::abort();
}

// Every miniport contract check of the host passed (ports outside the claims, completions
// missing or twice, writes outside a request's buffers, ...).
inline void require_clean_contract(const scsiport::PortDriver& host, const char* when) {
    if (!host.contract().clean()) {
        property_broken("contract violated %s:\n%s", when, host.contract().summary().c_str());
    }
}

// A hang that still moves virtual time (a wait without a bound, polling the chip for ever)
// ends the run once the machine's clock passes the limit; one that does not move it at all is
// caught by libFuzzer's own time-out.
class VirtualTimeLimit {
public:
    VirtualTimeLimit(io::VirtualClock& clock, io::Nanoseconds limit, const char* what)
        : clock_(clock), event_(clock.schedule_in(limit, [what, limit] {
              property_broken("%s still running after %llu s of virtual time", what,
                              static_cast<unsigned long long>(limit / io::kSecond));
          })) {}
    ~VirtualTimeLimit() { clock_.cancel(event_); }
    VirtualTimeLimit(const VirtualTimeLimit&) = delete;
    VirtualTimeLimit& operator=(const VirtualTimeLimit&) = delete;

private:
    io::VirtualClock& clock_;
    io::VirtualClock::EventId event_;
};

} // namespace orvo::fuzz
