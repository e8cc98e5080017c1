#include "machine/scsi/bus.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace orvo::scsi {

namespace {
// Message, command and status bytes shown in a trace line before it is cut short.
constexpr std::size_t kTraceBytesShown = 32;
} // namespace

const char* phase_trace_name(Phase p) {
    switch (p) {
    case Phase::DataOut: return "DATAOUT";
    case Phase::DataIn: return "DATAIN";
    case Phase::Command: return "COMMAND";
    case Phase::Status: return "STATUS";
    case Phase::MessageOut: return "MSGOUT";
    case Phase::MessageIn: return "MSGIN";
    }
    return "PHASE?";
}

ScsiBus::ScsiBus(io::VirtualClock& clock) : clock_(clock) {}

ScsiBus::~ScsiBus() {
    cancel(arbitration_event_);
    cancel(response_event_);
    cancel(reselection_event_);
    cancel(reset_event_);
}

void ScsiBus::cancel(io::VirtualClock::EventId& id) {
    if (id != 0) clock_.cancel(id);
    id = 0;
}

void ScsiBus::attach_target(std::uint8_t id, TargetPort* target) {
    if (id >= kIds) throw std::invalid_argument("SCSI target ID " + std::to_string(id) + " is not 0-7");
    if (targets_[id] != nullptr && targets_[id] != target)
        throw std::invalid_argument("SCSI ID " + std::to_string(id) + " already has a device");
    targets_[id] = target;
}

void ScsiBus::detach_target(std::uint8_t id) {
    if (id >= kIds) return;
    if (connected_ == id && connected()) go_free();
    targets_[id] = nullptr;
    target_requests_ &= std::uint8_t(~(1u << id));
}

void ScsiBus::notify_initiator() {
    if (initiator_ != nullptr && !in_transfer_) initiator_->bus_changed();
}

// --- Phase lines of the trace -----------------------------------------------------------------

void ScsiBus::open_phase_line(Phase phase) {
    if (line_.open && line_.phase == phase) return;
    close_phase_line();
    line_.open = true;
    line_.phase = phase;
    line_.start = clock_.now();
    line_.count = 0;
    line_.bytes.clear();
}

void ScsiBus::close_phase_line() {
    if (!line_.open) return;
    line_.open = false;
    if (!trace_.on()) return;
    std::string text = phase_trace_name(line_.phase);
    if (is_data(line_.phase)) {
        text += ' ';
        text += std::to_string(line_.count);
    } else {
        text += line_.bytes;
        if (line_.count > kTraceBytesShown) text += " ... (" + std::to_string(line_.count) + " bytes)";
    }
    trace_.record(line_.start, text);
}

void ScsiBus::note_bytes(const std::uint8_t* bytes, std::uint32_t n) {
    if (!trace_.on()) return;
    if (!line_.open) open_phase_line(phase_);
    if (!is_data(line_.phase)) {
        for (std::uint32_t i = 0; i < n && line_.count + i < kTraceBytesShown; ++i) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02x", bytes[i]);
            line_.bytes += hex;
        }
    }
    line_.count += n;
}

// --- Arbitration, selection, reselection ------------------------------------------------------

void ScsiBus::initiator_arbitrate(std::uint8_t id) {
    initiator_request_ = id & 7;
    schedule_arbitration();
}

void ScsiBus::initiator_withdraw() { initiator_request_ = kNobody; }

void ScsiBus::target_arbitrate(std::uint8_t id) {
    if (id >= kIds) return;
    target_requests_ |= std::uint8_t(1u << id);
    schedule_arbitration();
}

void ScsiBus::target_withdraw(std::uint8_t id) {
    if (id < kIds) target_requests_ &= std::uint8_t(~(1u << id));
}

void ScsiBus::schedule_arbitration() {
    if (state_ != State::Free || arbitration_event_ != 0) return;
    if (target_requests_ == 0 && initiator_request_ == kNobody) return;
    const io::Nanoseconds start = std::max(clock_.now(), free_since_ + kBusFreeDelay);
    arbitration_event_ = clock_.schedule_at(start + kArbitrationDelay, [this] {
        arbitration_event_ = 0;
        run_arbitration();
    });
}

// The highest ID on the bus wins; the losers try again at the next bus free.
void ScsiBus::run_arbitration() {
    if (state_ != State::Free) return;
    unsigned candidates = target_requests_;
    if (initiator_request_ != kNobody) candidates |= 1u << initiator_request_;
    if (candidates == 0) return;
    const std::uint8_t winner = std::uint8_t(std::bit_width(candidates) - 1);
    state_ = State::Arbitration;
    if (winner == initiator_request_) {
        initiator_request_ = kNobody;
        if (initiator_ != nullptr) initiator_->arbitration_won();
    } else {
        target_requests_ &= std::uint8_t(~(1u << winner));
        if (targets_[winner] != nullptr) targets_[winner]->arbitration_won();
    }
    if (state_ == State::Arbitration) {  // the winner did not go on
        state_ = State::Free;
        schedule_arbitration();
    }
}

void ScsiBus::select(std::uint8_t initiator_id, std::uint8_t target, bool atn) {
    if (state_ != State::Arbitration) return;
    state_ = State::Selection;
    selecting_ = target & 7;
    selecting_initiator_ = initiator_id & 7;
    atn_ = atn;
    ++stats_.selections;
    if (trace_.on()) event("SELECT " + std::to_string(selecting_) + (atn ? " ATN" : ""));
    TargetPort* t = targets_[selecting_];
    if (t != nullptr && selecting_ != selecting_initiator_) {
        response_event_ = clock_.schedule_in(t->selection_response(), [this] {
            response_event_ = 0;
            selection_response();
        });
    }
}

void ScsiBus::selection_response() {
    if (state_ != State::Selection) return;
    TargetPort* t = targets_[selecting_];
    if (t == nullptr) return;
    state_ = State::Connected;
    connected_ = selecting_;
    offer_ = {};
    ack_held_ = false;
    t->selected(selecting_initiator_, atn_);
    notify_initiator();
}

void ScsiBus::selection_timed_out() {
    if (state_ != State::Selection) return;
    cancel(response_event_);
    ++stats_.selection_timeouts;
    if (trace_.on()) event("SELTIMEOUT " + std::to_string(selecting_));
    state_ = State::Free;
    free_since_ = clock_.now();
    schedule_arbitration();
}

void ScsiBus::reselect(std::uint8_t target, std::uint8_t initiator_id, std::uint8_t lun) {
    if (state_ != State::Arbitration || target >= kIds) return;
    state_ = State::Reselection;
    selecting_ = target;
    reselecting_initiator_ = initiator_id & 7;
    ++stats_.reselections;
    if (trace_.on()) event("RESELECT " + std::to_string(target) + " LUN " + std::to_string(lun & 7));
    const bool answered = initiator_ != nullptr && initiator_->answer_reselection(target, reselecting_initiator_);
    if (state_ != State::Reselection) return;  // the initiator reset the bus instead
    if (answered) return connect_reselection();
    reselection_event_ = clock_.schedule_in(kReselectionTimeout, [this] {
        reselection_event_ = 0;
        reselection_timeout();
    });
}

void ScsiBus::answer_pending_reselection() {
    if (state_ != State::Reselection) return;
    cancel(reselection_event_);
    connect_reselection();
}

void ScsiBus::connect_reselection() {
    state_ = State::Connected;
    connected_ = selecting_;
    offer_ = {};
    ack_held_ = false;
    atn_ = false;
    if (targets_[connected_] != nullptr) targets_[connected_]->reselection_answered();
    notify_initiator();
}

void ScsiBus::reselection_timeout() {
    if (state_ != State::Reselection) return;
    const std::uint8_t target = selecting_;
    state_ = State::Free;
    free_since_ = clock_.now();
    if (targets_[target] != nullptr) targets_[target]->reselection_failed();
    schedule_arbitration();
}

// --- Information transfer ---------------------------------------------------------------------

void ScsiBus::make_offer(std::uint8_t id, Phase phase, const std::uint8_t* in, std::uint8_t* out,
                         std::uint32_t length, bool bad_parity) {
    if (state_ != State::Connected || connected_ != id) return;  // stale: the bus moved on
    if (trace_.on()) open_phase_line(phase);
    phase_ = phase;
    offer_ = Offer{length > 0, bad_parity, in, out, length};
    notify_initiator();
}

void ScsiBus::send(std::uint8_t id, Phase phase, const std::uint8_t* data, std::uint32_t length,
                   bool bad_parity) {
    make_offer(id, phase, data, nullptr, length, bad_parity);
}

void ScsiBus::receive(std::uint8_t id, Phase phase, std::uint8_t* buffer, std::uint32_t length) {
    make_offer(id, phase, nullptr, buffer, length, false);
}

void ScsiBus::finish_offer(io::Nanoseconds at) {
    offer_.active = false;
    TargetPort* t = targets_[connected_];
    if (t == nullptr) return;
    in_transfer_ = true;
    t->transfer_done(at);
    in_transfer_ = false;
}

std::uint32_t ScsiBus::take(std::uint8_t* dst, std::uint32_t max, io::Nanoseconds at, bool* bad_parity) {
    if (!req() || !is_input(phase_)) return 0;
    std::uint32_t n = std::min(max, offer_.left);
    if (phase_ == Phase::MessageIn) n = std::min<std::uint32_t>(n, 1);
    if (offer_.in != nullptr) {
        std::memcpy(dst, offer_.in, n);
        offer_.in += n;
    } else {
        std::memset(dst, 0, n);  // a receive offer in an input phase: nothing driven
    }
    offer_.left -= n;
    if (bad_parity != nullptr) *bad_parity = offer_.bad_parity;
    stats_.bytes_in += n;
    note_bytes(dst, n);
    if (phase_ == Phase::MessageIn) {
        ack_held_ = true;  // the initiator decides before the target may go on
    } else if (offer_.left == 0) {
        finish_offer(at);
    }
    return n;
}

std::uint32_t ScsiBus::give(const std::uint8_t* src, std::uint32_t max, io::Nanoseconds at) {
    if (!req() || is_input(phase_)) return 0;
    const std::uint32_t n = std::min(max, offer_.left);
    if (offer_.out != nullptr) {  // else a send offer in an output phase: the bytes are dropped
        std::memcpy(offer_.out, src, n);
        offer_.out += n;
    }
    offer_.left -= n;
    stats_.bytes_out += n;
    note_bytes(src, n);
    if (offer_.left == 0) finish_offer(at);
    return n;
}

void ScsiBus::release_ack(io::Nanoseconds at) {
    if (!ack_held_) return;
    ack_held_ = false;
    if (connected() && offer_.active && offer_.left == 0) finish_offer(at);
}

io::Nanoseconds ScsiBus::data_byte_time(const InitiatorTiming& initiator) {
    const TargetPort* t = connected() ? targets_[connected_] : nullptr;
    if (t == nullptr) return async_byte_time_;
    const TransferAgreement agreed = t->agreement();
    const io::Nanoseconds agreed_period = io::Nanoseconds(agreed.period_factor) * 4;
    char problem[128] = "";
    if (agreed.wide) {
        std::snprintf(problem, sizeof problem, "wide transfers agreed on an 8-bit bus");
    } else if (!agreed.synchronous() && initiator.offset != 0) {
        std::snprintf(problem, sizeof problem, "initiator offset %u, target asynchronous",
                      unsigned(initiator.offset));
    } else if (agreed.synchronous() && initiator.offset == 0) {
        std::snprintf(problem, sizeof problem, "initiator asynchronous, target agreed offset %u",
                      unsigned(agreed.offset));
    } else if (agreed.synchronous() && initiator.offset != agreed.offset) {
        std::snprintf(problem, sizeof problem, "initiator offset %u, agreed %u",
                      unsigned(initiator.offset), unsigned(agreed.offset));
    } else if (agreed.synchronous() && initiator.period < agreed_period) {
        std::snprintf(problem, sizeof problem, "initiator period %" PRIu64 "ns, agreed %" PRIu64 "ns",
                      initiator.period, agreed_period);
    }
    if (problem[0] != '\0') {
        ++stats_.bus_errors;
        last_bus_error_ = problem;
        if (trace_.on()) event("BUSERROR " + std::to_string(connected_) + " " + problem);
    }
    if (agreed.synchronous() && initiator.offset != 0) {
        return std::max<io::Nanoseconds>({initiator.period, agreed_period, 1});
    }
    return async_byte_time_;
}

void ScsiBus::note_parity_error() {
    ++stats_.parity_errors;
    if (trace_.on()) event("PARITY " + std::to_string(connected_));
}

// --- Bus free and reset -----------------------------------------------------------------------

void ScsiBus::go_free() {
    state_ = State::Free;
    connected_ = kNobody;
    offer_ = {};
    ack_held_ = false;
    free_since_ = clock_.now();
    schedule_arbitration();
}

void ScsiBus::release(std::uint8_t id, bool keeps_nexus) {
    if (state_ != State::Connected || connected_ != id) return;
    close_phase_line();
    if (trace_.on()) event(keeps_nexus ? "DISCONNECT" : "BUSFREE");
    go_free();
    notify_initiator();
}

void ScsiBus::reset(io::Nanoseconds hold) {
    close_phase_line();
    ++stats_.resets;
    event("RESET");
    cancel(arbitration_event_);
    cancel(response_event_);
    cancel(reselection_event_);
    cancel(reset_event_);
    target_requests_ = 0;
    initiator_request_ = kNobody;
    state_ = State::Reset;
    connected_ = kNobody;
    offer_ = {};
    ack_held_ = false;
    atn_ = false;
    for (TargetPort* t : targets_) {
        if (t != nullptr) t->bus_reset();
    }
    if (initiator_ != nullptr) initiator_->bus_reset_seen();
    reset_event_ = clock_.schedule_in(hold, [this] {
        reset_event_ = 0;
        go_free();
        notify_initiator();
    });
}

} // namespace orvo::scsi
