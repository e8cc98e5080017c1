#pragma once
// The record of restarts requested on the simulated PC, kept in the machine directory so that
// the next boot of the machine can count them.
//
// Format: a text file, one line per request that ExitWindowsEx accepted, in order:
//   reboot | shutdown | poweroff      followed by " force" when EWX_FORCE was given
// for example "reboot force". Each request is appended with one write and flushed to disk. A
// last line without its newline is what an append cut short by a crash left: the reader skips
// it and the next append cuts it off, so earlier requests are never lost to it.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace orvo::winapi {

inline constexpr std::string_view kRestartRecordFileName = "restart-requests";

enum class RestartKind { Reboot, Shutdown, PowerOff };

struct RestartRequest {
    RestartKind kind = RestartKind::Reboot;
    bool forced = false;
    bool operator==(const RestartRequest&) const = default;
};

std::string format_restart_request(const RestartRequest& request);

// Throws std::system_error naming the file when it cannot be written.
void append_restart_request(const std::filesystem::path& record, const RestartRequest& request);

// The requests in order; none when the file does not exist. Throws std::runtime_error naming
// the file and line of a line that is not a request.
std::vector<RestartRequest> read_restart_requests(const std::filesystem::path& record);

} // namespace orvo::winapi
