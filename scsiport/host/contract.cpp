#include "scsiport/host/contract.h"

#include <cstdarg>
#include <cstdio>

namespace orvo::scsiport {

const char* to_string(ViolationKind kind) {
    switch (kind) {
    case ViolationKind::CompletedTwice: return "completed twice";
    case ViolationKind::NeverCompleted: return "never completed";
    case ViolationKind::NextRequestMissing: return "NextRequest missing";
    case ViolationKind::UnknownCompletion: return "unknown completion";
    case ViolationKind::PortOutsideClaim: return "port outside claimed ranges";
    case ViolationKind::Reentry: return "routine re-entry";
    case ViolationKind::BadNotification: return "bad notification";
    case ViolationKind::BadMapping: return "bad mapping";
    case ViolationKind::ForeignExtension: return "foreign device extension";
    case ViolationKind::MisplacedCall: return "misplaced call";
    case ViolationKind::BufferOverrun: return "buffer overrun";
    }
    return "unknown violation";
}

void ContractMonitor::report(ViolationKind kind, io::Nanoseconds time, std::string message) {
    ++total_;
    ++per_kind_[static_cast<std::size_t>(kind)];
    Violation violation{kind, time, std::move(message)};
    if (handler_) handler_(violation);
    if (kept_.size() < kMaxKept) kept_.push_back(std::move(violation));
}

std::uint64_t ContractMonitor::count(ViolationKind kind) const {
    return per_kind_[static_cast<std::size_t>(kind)];
}

std::string ContractMonitor::summary() const {
    std::string text;
    for (const Violation& v : kept_) {
        text += to_string(v.kind);
        text += ": ";
        text += v.message;
        text += '\n';
    }
    if (total_ > kept_.size()) text += format_text("... and %llu more\n", static_cast<unsigned long long>(total_ - kept_.size()));
    return text;
}

std::string format_text(const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < sizeof buffer) return std::string(buffer, std::size_t(length));
    std::string text(std::size_t(length), '\0');
    va_start(args, format);
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    va_end(args);
    return text;
}

} // namespace orvo::scsiport
