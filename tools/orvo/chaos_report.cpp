// The chaos runner's summary: per build the requests, their completions by SRB status, the
// time-outs and bus resets, the longest virtual time a request took, what the chaos targets
// did, and every violation with the command line that replays it.
#include "tools/orvo/chaos.h"

#include <cstdio>
#include <ostream>

namespace orvo::tool {

namespace {

double seconds(io::Nanoseconds t) { return double(t) / double(io::kSecond); }

std::string counts(const std::map<std::string, unsigned>& by_name) {
    std::string text;
    for (const auto& [name, n] : by_name) text += (text.empty() ? "" : ", ") + name + " " + std::to_string(n);
    return text.empty() ? "none" : text;
}

std::map<std::string, unsigned> action_counts(const ChaosBuildReport& b) {
    std::map<std::string, unsigned> by_name;
    for (std::size_t i = 0; i < scsi::kChaosActions; ++i) {
        by_name[scsi::to_string(static_cast<scsi::ChaosAction>(i))] = unsigned(b.actions[i]);
    }
    return by_name;
}

} // namespace

void print_chaos_report(std::ostream& out, const ChaosReport& report) {
    out << "orvo chaos: seed " << report.seed << ", " << report.requests << " requests per build\n";
    for (const ChaosBuildReport& b : report.builds) {
        char line[200];
        std::snprintf(line, sizeof line, "%-8s %u requests, longest %.3f s (request %u), %u time-outs, %llu bus resets, %zu violations\n",
                      b.build.c_str(), b.requests, seconds(b.longest), b.longest_request, b.timeouts,
                      static_cast<unsigned long long>(b.bus_resets), b.violations.size());
        out << line;
        out << "         completions: " << counts(b.completions) << '\n';
        out << "         chaos targets: " << counts(action_counts(b)) << "; " << b.reselections << " reselections ("
            << b.phantom_reselections << " naming no command), gave up " << b.gave_up << " times\n";
    }
    for (const ChaosBuildReport& b : report.builds) {
        for (const ChaosViolation& v : b.violations) {
            out << "VIOLATION " << b.build << " request " << v.request << " [" << v.kind << "]: " << v.message << '\n'
                << "  replay: " << replay_command(b.build, b.seed, v) << '\n';
        }
    }
    out << "violations: " << report.violations() << '\n';
}

nlohmann::ordered_json chaos_report_json(const ChaosReport& report) {
    nlohmann::ordered_json j;
    j["seed"] = report.seed;
    j["requests_per_build"] = report.requests;
    nlohmann::ordered_json builds = nlohmann::ordered_json::array();
    for (const ChaosBuildReport& b : report.builds) {
        nlohmann::ordered_json violations = nlohmann::ordered_json::array();
        for (const ChaosViolation& v : b.violations) {
            violations.push_back({{"request", v.request}, {"kind", v.kind}, {"message", v.message},
                                  {"replay", replay_command(b.build, b.seed, v)}});
        }
        builds.push_back({{"build", b.build},
                          {"requests", b.requests},
                          {"completions", b.completions},
                          {"timeouts", b.timeouts},
                          {"bus_resets", b.bus_resets},
                          {"longest_virtual_us", b.longest / io::kMicrosecond},
                          {"longest_request", b.longest_request},
                          {"chaos_actions", action_counts(b)},
                          {"reselections", b.reselections},
                          {"phantom_reselections", b.phantom_reselections},
                          {"gave_up", b.gave_up},
                          {"violations", violations}});
    }
    j["builds"] = builds;
    j["violations"] = report.violations();
    return j;
}

} // namespace orvo::tool
