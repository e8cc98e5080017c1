#include "scsiport/host/event_log.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace orvo::scsiport {

void EventLog::note(const char* format, ...) {
    if (!sink_) return;
    char line[320];
    const io::Nanoseconds now = clock_.now();
    int length = std::snprintf(line, sizeof line, "%4llu.%06llu s  ",
                               static_cast<unsigned long long>(now / io::kSecond),
                               static_cast<unsigned long long>(now % io::kSecond / io::kMicrosecond));
    va_list args;
    va_start(args, format);
    length += std::vsnprintf(line + length, sizeof line - std::size_t(length), format, args);
    va_end(args);
    sink_(std::string_view(line, std::min<std::size_t>(std::size_t(length), sizeof line - 1)));
}

} // namespace orvo::scsiport
