// `orvo chaos` as a user runs it: the summary, the JSON report and the exit status.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

// Exit status and standard output of orvo with the given arguments.
std::pair<int, std::string> orvo(const std::string& arguments) {
    FILE* pipe = popen((std::string(ORVO_PROGRAM) + " " + arguments + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) return {-1, ""};
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int raw = pclose(pipe);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, out};
}

TEST(ChaosCommand, ReportsPerBuildAndExitsCleanWithoutViolations) {
    const auto [status, out] = orvo("chaos --seed 3 --requests 8 --build orvo95a --json");
    ASSERT_EQ(status, 0) << out;
    const auto report = nlohmann::json::parse(out);
    EXPECT_EQ(report["seed"], 3);
    ASSERT_EQ(report["builds"].size(), 1u);
    const auto& build = report["builds"][0];
    EXPECT_EQ(build["build"], "orvo95a");
    EXPECT_EQ(build["requests"], 8);
    EXPECT_TRUE(build["violations"].empty());
    EXPECT_EQ(report["violations"], 0);

    const auto [text_status, text] = orvo("chaos --seed 3 --requests 8 --build orvo95a");
    EXPECT_EQ(text_status, 0);
    EXPECT_NE(text.find("orvo95a  8 requests, longest "), std::string::npos) << text;
    EXPECT_NE(text.find("violations: 0\n"), std::string::npos) << text;
}

TEST(ChaosCommand, RefusesAnUnknownBuild) {
    EXPECT_NE(orvo("chaos --seed 1 --requests 1 --build orvo98").first, 0);
}

} // namespace
