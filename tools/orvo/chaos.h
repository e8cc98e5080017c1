#pragma once
// The chaos runner: each build loaded on a small simulated PC with a well-behaved disk and two
// chaos targets (one ID left empty), random requests sent through the port driver, and after
// every batch of them the checks: the port driver's contract (every request completed exactly
// once, ports within the claims, no write outside a request's buffers), the adapter record's
// invariants, the data of every good READ and WRITE against the target's image, and a bound
// on the virtual time every request took. A run is a pure function of its seed: a violation
// names the seed, build and request, and the same command line replays it.

#include "machine/io/clock.h"
#include "machine/scsi/chaos_target.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orvo::tool {

struct ChaosOptions {
    std::uint64_t seed = 1;
    unsigned requests = 100;          // per build
    std::vector<std::string> builds;  // empty: all four
    // Where the driver modules are; none: beside the orvo program (or $ORVO_DRIVER_DIR).
    std::optional<std::filesystem::path> driver_dir;
    // A request must be over within its own time-out plus this much: the port driver's
    // time-out, its bus reset with the recovery time, and the driver's bounded waits.
    io::Nanoseconds hang_slack = 30 * io::kSecond;
    // Every SCSI bus event of the run goes to this file (the builds one after the other).
    std::optional<std::filesystem::path> bus_trace;
};

struct ChaosViolation {
    std::string kind;     // contract, record, data, hang
    unsigned request = 0; // index of the request (0-based) in the run of its build
    unsigned batch_end = 0;  // the requests a replay must run
    std::string message;
};

struct ChaosBuildReport {
    std::string build;
    std::uint64_t seed = 0;
    unsigned requests = 0;
    std::map<std::string, unsigned> completions;  // by SRB status
    unsigned timeouts = 0;                        // ended by the port driver's time-out
    std::uint64_t bus_resets = 0;                 // after start-up, whoever asserted RST
    io::Nanoseconds longest = 0;                  // virtual time from start to completion
    unsigned longest_request = 0;
    std::array<std::uint64_t, scsi::kChaosActions> actions{};  // chaos targets' choices
    std::uint64_t reselections = 0;          // of the chaos targets, answered
    std::uint64_t phantom_reselections = 0;  // of those, naming no command they held
    std::uint64_t gave_up = 0;               // a chaos target's patience ran out
    std::vector<ChaosViolation> violations;
};

struct ChaosReport {
    std::uint64_t seed = 0;
    unsigned requests = 0;
    std::vector<ChaosBuildReport> builds;
    std::size_t violations() const;
};

// Throws std::runtime_error when a build's module cannot be loaded or the machine cannot be
// set up; what the driver does wrong is reported, never thrown.
ChaosBuildReport run_chaos_build(const std::string& build, const ChaosOptions& options);
ChaosReport run_chaos(const ChaosOptions& options);

// The command line that replays a violation.
std::string replay_command(const std::string& build, std::uint64_t seed, const ChaosViolation& v);

void print_chaos_report(std::ostream& out, const ChaosReport& report);
nlohmann::ordered_json chaos_report_json(const ChaosReport& report);

} // namespace orvo::tool
