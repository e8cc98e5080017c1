#pragma once
// Virtual time of the simulated PC. Nothing in the machine sleeps: port accesses and stalls
// advance this clock, and hardware models schedule their events on it.

#include <cstdint>
#include <functional>
#include <map>
#include <unordered_map>

namespace orvo::io {

using Nanoseconds = std::uint64_t;

constexpr Nanoseconds kMicrosecond = 1000;
constexpr Nanoseconds kMillisecond = 1000 * kMicrosecond;
constexpr Nanoseconds kSecond = 1000 * kMillisecond;

class VirtualClock {
public:
    using EventId = std::uint64_t;
    using Callback = std::function<void()>;

    Nanoseconds now() const { return now_; }

    // Moves time forward, running every event that falls due on the way, each at its own time.
    void advance(Nanoseconds delta) {
        const Nanoseconds target = now_ + delta;
        if (target >= next_due_) {
            run_until(target);
        }
        now_ = target;
    }
    void advance_to(Nanoseconds when) {
        if (when > now_) advance(when - now_);
    }

    // Schedules a callback; an event at or before now runs at the next advance.
    EventId schedule_at(Nanoseconds when, Callback callback);
    EventId schedule_in(Nanoseconds delay, Callback callback) {
        return schedule_at(now_ + delay, std::move(callback));
    }
    // Cancelling an event that already ran (or never existed) does nothing.
    void cancel(EventId id);
    bool pending(EventId id) const { return when_of_.contains(id); }
    // Time of the earliest pending event, or UINT64_MAX.
    Nanoseconds next_event_time() const { return next_due_; }

private:
    void run_until(Nanoseconds target);
    void refresh_next_due();

    Nanoseconds now_ = 0;
    Nanoseconds next_due_ = UINT64_MAX;
    EventId next_id_ = 1;
    std::map<std::pair<Nanoseconds, EventId>, Callback> events_;
    std::unordered_map<EventId, Nanoseconds> when_of_;
};

} // namespace orvo::io
