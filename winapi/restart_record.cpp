#include "winapi/restart_record.h"

#include "machine/registry/file_io.h"

#include <array>
#include <stdexcept>

namespace orvo::winapi {
namespace {

struct KindName {
    RestartKind kind;
    std::string_view name;
};
constexpr std::array<KindName, 3> kKindNames = {{
    {RestartKind::Reboot, "reboot"},
    {RestartKind::Shutdown, "shutdown"},
    {RestartKind::PowerOff, "poweroff"},
}};
constexpr std::string_view kForced = " force";

} // namespace

std::string format_restart_request(const RestartRequest& request) {
    std::string line;
    for (const auto& entry : kKindNames)
        if (entry.kind == request.kind) line = entry.name;
    if (request.forced) line += kForced;
    return line;
}

void append_restart_request(const std::filesystem::path& record, const RestartRequest& request) {
    registry::append_line_to_file(record, format_restart_request(request));
}

std::vector<RestartRequest> read_restart_requests(const std::filesystem::path& record) {
    std::vector<RestartRequest> requests;
    auto content = registry::read_file_if_exists(record);
    if (!content) return requests;
    std::string_view text = *content;
    // Only whole lines count: bytes after the last newline are an append that never finished
    // (the program died in the middle of it), not a request.
    const std::size_t last_newline = text.rfind('\n');
    text = last_newline == std::string_view::npos ? std::string_view() : text.substr(0, last_newline + 1);
    for (std::size_t line_number = 1; !text.empty(); ++line_number) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        RestartRequest request;
        request.forced = line.ends_with(kForced);
        if (request.forced) line.remove_suffix(kForced.size());
        bool known = false;
        for (const auto& entry : kKindNames) {
            if (entry.name != line) continue;
            request.kind = entry.kind;
            known = true;
        }
        if (!known)
            throw std::runtime_error(record.string() + ":" + std::to_string(line_number) +
                                     ": not a restart request");
        requests.push_back(request);
    }
    return requests;
}

} // namespace orvo::winapi
