#include "machine/scsi/bus_trace.h"

#include <cinttypes>
#include <cstdio>

namespace orvo::scsi {

std::string BusTrace::format_time(io::Nanoseconds at) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%" PRIu64 ".%03" PRIu64, at / 1000, at % 1000);
    return buf;
}

void BusTrace::record(io::Nanoseconds at, std::string_view event) {
    if (!on()) return;
    std::string line = format_time(at);
    line += ' ';
    line += event;
    if (sink_) sink_(line);
    if (keep_) lines_.push_back(std::move(line));
}

std::vector<std::string> BusTrace::events() const {
    std::vector<std::string> out;
    out.reserve(lines_.size());
    for (const auto& line : lines_) {
        const auto space = line.find(' ');
        out.push_back(space == std::string::npos ? line : line.substr(space + 1));
    }
    return out;
}

std::string BusTrace::text() const {
    std::string out;
    for (const auto& line : lines_) {
        out += line;
        out += '\n';
    }
    return out;
}

} // namespace orvo::scsi
