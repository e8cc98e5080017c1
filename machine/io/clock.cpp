#include "machine/io/clock.h"

namespace orvo::io {

VirtualClock::EventId VirtualClock::schedule_at(Nanoseconds when, Callback callback) {
    const EventId id = next_id_++;
    events_.emplace(std::make_pair(when, id), std::move(callback));
    when_of_.emplace(id, when);
    if (when < next_due_) next_due_ = when;
    return id;
}

void VirtualClock::cancel(EventId id) {
    const auto it = when_of_.find(id);
    if (it == when_of_.end()) return;
    events_.erase({it->second, id});
    when_of_.erase(it);
    refresh_next_due();
}

void VirtualClock::refresh_next_due() {
    next_due_ = events_.empty() ? UINT64_MAX : events_.begin()->first.first;
}

void VirtualClock::run_until(Nanoseconds target) {
    // Events may schedule further events (also within this span); take them one at a time.
    while (!events_.empty() && events_.begin()->first.first <= target) {
        auto node = events_.extract(events_.begin());
        when_of_.erase(node.key().second);
        if (node.key().first > now_) now_ = node.key().first;
        refresh_next_due();
        node.mapped()();
    }
    refresh_next_due();
}

} // namespace orvo::io
