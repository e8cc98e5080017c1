#pragma once
// The miniport contract as the host checks it. Every breach is recorded as a readable line,
// can be queried afterwards, and is handed to an optional handler at once (tests fail there).

#include "machine/io/clock.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orvo::scsiport {

enum class ViolationKind {
    CompletedTwice,      // RequestComplete (or a complete-all) for a request already completed
    NeverCompleted,      // a request still open when the host shut down
    NextRequestMissing,  // a request had to wait for a NextRequest that never came
    UnknownCompletion,   // completion of an SRB the host never sent or never started
    PortOutsideClaim,    // a port access outside every claimed range
    Reentry,             // the miniport entered while one of its routines runs
    BadNotification,     // a notification type the host does not provide, or a bad argument
    BadMapping,          // ScsiPortGetDeviceBase for a range outside the machine's spaces
    ForeignExtension,    // an operation named a device extension that is not the adapter's
    MisplacedCall,       // an operation called where the platform does not allow it
    BufferOverrun,       // a write outside a request's data or sense buffer
};
const char* to_string(ViolationKind kind);

struct Violation {
    ViolationKind kind;
    io::Nanoseconds time;
    std::string message;
};

class ContractMonitor {
public:
    using Handler = std::function<void(const Violation&)>;
    // The list keeps the first entries only; the counts stay exact.
    static constexpr std::size_t kMaxKept = 256;

    void set_handler(Handler handler) { handler_ = std::move(handler); }
    void report(ViolationKind kind, io::Nanoseconds time, std::string message);

    const std::vector<Violation>& violations() const { return kept_; }
    std::uint64_t count() const { return total_; }
    std::uint64_t count(ViolationKind kind) const;
    bool clean() const { return total_ == 0; }
    // All kept violations, one per line ("kind: message"), for failure messages.
    std::string summary() const;

private:
    Handler handler_;
    std::vector<Violation> kept_;
    static constexpr std::size_t kKinds = static_cast<std::size_t>(ViolationKind::BufferOverrun) + 1;
    std::array<std::uint64_t, kKinds> per_kind_{};
    std::uint64_t total_ = 0;
};

// printf-style formatting into a std::string, for the messages above and the event log.
std::string format_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace orvo::scsiport
