#pragma once
// Running a program of the build as a user would from a shell, for the program tests.

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace orvo::testing {

struct ProgramRun {
    int status = -1; // exit status; -1 when it did not exit normally
    std::string output; // standard output and error, merged
};

// Runs a shell command line and collects what it writes.
inline ProgramRun run_command(const std::string& command) {
    ProgramRun run;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return run;
    std::array<char, 4096> buffer;
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
        run.output.append(buffer.data(), n);
    const int raw = ::pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

// A word for the shell: the text in single quotes.
inline std::string quoted(const std::string& text) {
    std::string word = "'";
    for (char c : text)
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

} // namespace orvo::testing
