// Each build through the chaos runner on fixed seeds: no check finds anything, every request
// is accounted for, and the targets did misbehave. A failure prints each violation with the
// command line that replays it.
#include "tools/orvo/chaos.h"

#include <gtest/gtest.h>

#include <numeric>

namespace orvo::tool {
namespace {

constexpr unsigned kRequests = 60;
constexpr std::uint64_t kSeeds[] = {1, 2};

ChaosOptions options(std::uint64_t seed, unsigned requests) {
    ChaosOptions o;
    o.seed = seed;
    o.requests = requests;
    o.driver_dir = ORVO_DRIVER_DIR;
    return o;
}

std::string listed(const ChaosBuildReport& report) {
    std::string text;
    for (const ChaosViolation& v : report.violations) {
        text += "[" + v.kind + "] request " + std::to_string(v.request) + ": " + v.message + "\n  replay: " +
                replay_command(report.build, report.seed, v) + "\n";
    }
    return text;
}

class ChaosRunnerTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ChaosRunnerTest, FixedSeedsFindNothing) {
    for (const std::uint64_t seed : kSeeds) {
        const ChaosBuildReport report = run_chaos_build(GetParam(), options(seed, kRequests));
        EXPECT_TRUE(report.violations.empty()) << listed(report);
        EXPECT_EQ(report.requests, kRequests);
        const unsigned completed = std::accumulate(report.completions.begin(), report.completions.end(), 0u,
                                                   [](unsigned n, const auto& entry) { return n + entry.second; });
        EXPECT_EQ(completed, kRequests);
        EXPECT_GT(report.completions.count("success") + report.completions.count("data overrun"), 0u);
        const auto& a = report.actions;
        EXPECT_GT(std::accumulate(a.begin() + 1, a.end(), std::uint64_t{0}), 0u) << "the targets never misbehaved";
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, ChaosRunnerTest, ::testing::Values("orvontx", "orvont", "orvo95a", "orvo95"),
                         [](const auto& info) { return std::string(info.param); });

// A run is a function of its seed: what a violation names can be replayed.
TEST(ChaosRunner, SameSeedSameRun) {
    const ChaosBuildReport first = run_chaos_build("orvont", options(9, 30));
    const ChaosBuildReport again = run_chaos_build("orvont", options(9, 30));
    EXPECT_EQ(first.completions, again.completions);
    EXPECT_EQ(first.actions, again.actions);
    EXPECT_EQ(first.longest, again.longest);
    EXPECT_EQ(first.bus_resets, again.bus_resets);
}

TEST(ChaosRunner, ReplayNamesBuildSeedAndTheRequestsToRun) {
    const ChaosViolation v{"data", 341, 343, "READ data byte 0 differs"};
    EXPECT_EQ(replay_command("orvo95a", 17, v), "orvo chaos --build orvo95a --seed 17 --requests 343");
}

} // namespace
} // namespace orvo::tool
