// The FAS408 initiator sequencer: commands, selection, reselection, information transfer and
// the interrupts they end in. step() is where the state machine advances; every register
// access, bus change and timer of the chip ends there.

#include "machine/fas408/fas408.h"

#include <algorithm>

namespace orvo::fas408 {

namespace {
constexpr std::uint32_t kMaxCount = 1u << 24;             // a count of 0 runs on 2^24
constexpr io::Nanoseconds kSlowestWithoutFastTiming = 200;
} // namespace

const char* Fas408::state_name(State s) {
    switch (s) {
    case State::Disconnected: return "disconnected";
    case State::Arbitrating: return "arbitrating";
    case State::Selecting: return "selecting";
    case State::SelectMessage: return "select: message";
    case State::SelectCommand: return "select: command";
    case State::Reselected: return "reselected";
    case State::Transfer: return "transfer";
    case State::StatusByte: return "command complete: status";
    case State::MessageByte: return "command complete: message";
    case State::AwaitRequest: return "awaiting request";
    case State::Connected: return "connected";
    }
    return "?";
}

// --- Commands ---------------------------------------------------------------------------------

void Fas408::record_command(std::uint8_t code) {
    CommandRecord r;
    r.at = clock_.now();
    r.command = code;
    r.status = std::uint8_t(status_r(1));
    r.int_status = int_status_;
    r.seq_step = seq_step_;
    r.fifo_flags = std::uint8_t(fifo_flags_r(1));
    r.count = tc_;
    r.dest_id = dest_id_;
    r.bank = std::uint8_t(bank());
    r.state = state_name(state_);
    history_.add(r);
}

void Fas408::command_w(std::uint32_t v, unsigned) {
    const std::uint8_t code = std::uint8_t(v);
    ++stats_.commands;
    record_command(code);
    switch (code) {
    case cmd::kNop:
        break;
    case cmd::kFlushFifo:
        scsi_fifo_.clear();
        break;
    case cmd::kResetChip:
        reset_chip();
        break;
    case cmd::kResetBus:
        cancel_events();
        bus_.reset(kResetHold);  // comes back through bus_reset_seen()
        break;
    case cmd::kSetAtn:
        bus_.set_atn(true);
        break;
    case cmd::kResetAtn:
        bus_.set_atn(false);
        break;
    case cmd::kTransferInfo:
    case cmd::kTransferInfo | cmd::kDataFifo:
        if (state_ != State::Connected) return illegal();
        start_transfer((code & cmd::kDataFifo) != 0);
        break;
    case cmd::kCommandComplete:
        if (state_ != State::Connected) return illegal();
        start_command_complete();
        break;
    case cmd::kMessageAccepted:
        if (state_ != State::Connected) return illegal();
        message_accepted();
        break;
    case cmd::kSelectAtn:
    case cmd::kSelectAtnStop:
    case cmd::kSelectAtn | cmd::kDataFifo:
    case cmd::kSelectAtnStop | cmd::kDataFifo:
        if (state_ != State::Disconnected) return illegal();
        start_selection(code);
        break;
    default:
        return illegal();
    }
    step();
}

void Fas408::illegal() {
    ++stats_.illegal_commands;
    raise(int_bits::kIllegalCommand);
}

void Fas408::raise(std::uint8_t bits) {
    int_status_ |= bits;
    int_pending_ = true;
}

void Fas408::reset_chip() {
    cancel_events();
    if (state_ == State::Arbitrating) bus_.initiator_withdraw();
    if (state_ == State::Selecting) bus_.selection_timed_out();
    bus_.set_atn(false);
    if (bus_.connected()) bus_.release_ack(clock_.now());  // the target is left where it is
    power_on();
}

void Fas408::start_selection(std::uint8_t code) {
    data_path_ = (code & cmd::kDataFifo) != 0;
    stop_after_message_ = (code & ~cmd::kDataFifo) == cmd::kSelectAtnStop;
    if (tc_ == 0) tc_ = kMaxCount;
    seq_step_ = seq_step::kNoMessageOut;
    state_ = State::Arbitrating;
    bus_.initiator_arbitrate(own_id());
    // A target already waiting in reselection for this chip is answered at once.
    if (bus_.reselection_waiting_for() == own_id() && answer_reselection(bus_.reselecting_target(), own_id())) {
        bus_.answer_pending_reselection();
    }
}

void Fas408::arbitration_won() {
    if (state_ != State::Arbitrating) return;
    state_ = State::Selecting;
    bus_.select(own_id(), dest_id_, true);
    timeout_event_ = clock_.schedule_in(selection_timeout(), [this] {
        timeout_event_ = 0;
        selection_timeout_expired();
    });
}

void Fas408::selection_timeout_expired() {
    if (state_ != State::Selecting) return;
    if (data_path_) {
        // The select command had taken its bytes from the data FIFO; a selection nobody
        // answered drops them, so they cannot go out with the next command.
        std::uint8_t dropped[kDataFifoBytes];
        data_fifo_.read(dropped, std::min<std::size_t>(tc_, data_fifo_.size()));
    }
    bus_.selection_timed_out();
    bus_.set_atn(false);
    state_ = State::Disconnected;
    raise(int_bits::kDisconnect);
    step();
}

// SEL_TIMEOUT units of 8192 x clock-factor chip clocks (a factor of 0 counts as 8; a
// time-out of 0 as 256): 0x99 at 40 MHz is about 250 ms.
io::Nanoseconds Fas408::selection_timeout() const {
    const unsigned factor = (clock_factor_ & 0x07) == 0 ? 8 : (clock_factor_ & 0x07);
    const unsigned units = sel_timeout_ == 0 ? 256 : sel_timeout_;
    return io::Nanoseconds(units) * 8192 * factor * 1'000'000'000ull / config_.clock_hz;
}

// Synchronous terms as programmed: period in chip clocks (0 counts as 32), offset in bits 3..0.
scsi::InitiatorTiming Fas408::timing() const {
    unsigned clocks = sync_period_ & sync_period::kClocksMask;
    if (clocks == 0) clocks = 32;
    io::Nanoseconds period = io::Nanoseconds(clocks) * 1'000'000'000ull / config_.clock_hz;
    if ((config3_ & config3::kFastTiming) == 0) period = std::max(period, kSlowestWithoutFastTiming);
    return {period, std::uint8_t(sync_offset_ & sync_offset::kOffsetMask)};
}

// A transfer or status command issued while a message byte still holds ACK releases it.
void Fas408::start_transfer(bool data_path) {
    if (bus_.ack_held()) bus_.release_ack(clock_.now());
    data_path_ = data_path;
    if (tc_ == 0) tc_ = kMaxCount;
    if (data_path) transfer_ended_ = false;
    state_ = State::Transfer;
    phase_known_ = false;
    streaming_ = false;
}

void Fas408::start_command_complete() {
    if (bus_.ack_held()) bus_.release_ack(clock_.now());
    data_path_ = false;
    enter(State::StatusByte, scsi::Phase::Status);
}

void Fas408::message_accepted() {
    bus_.release_ack(clock_.now());
    await_request(0);
}

// --- Bus events -------------------------------------------------------------------------------

// The chip is never told to answer reselection on its own: it answers one only while a
// select command of its own waits for the bus, and drops that command for it.
bool Fas408::answer_reselection(std::uint8_t target, std::uint8_t initiator_id) {
    if (state_ != State::Arbitrating || initiator_id != own_id() || removed()) return false;
    bus_.initiator_withdraw();
    scsi_fifo_.clear();
    scsi_fifo_.push(std::uint8_t((1u << target) | (1u << own_id())));
    data_path_ = false;
    enter(State::Reselected, scsi::Phase::MessageIn);
    return true;
}

void Fas408::bus_reset_seen() {
    cancel_events();
    end_data_transfer();
    state_ = State::Disconnected;
    streaming_ = false;
    if ((config1_ & config1::kResetInterruptOff) == 0) raise(int_bits::kBusReset);
}

void Fas408::cancel_events() {
    if (pump_event_ != 0) clock_.cancel(pump_event_);
    if (timeout_event_ != 0) clock_.cancel(timeout_event_);
    pump_event_ = timeout_event_ = 0;
    pump_at_ = 0;
}

// --- The state machine ------------------------------------------------------------------------

void Fas408::step(io::Nanoseconds now) {
    // Each pass changes the state or moves bytes, which uses up elapsed bus time: it ends.
    while (advance(now)) {
    }
    plan_pump();
}

bool Fas408::advance(io::Nanoseconds now) {
    switch (state_) {
    case State::Disconnected:
    case State::Arbitrating:
        return false;
    case State::Selecting:
        if (!bus_.connected() || bus_.connected_target() != dest_id_) return false;
        if (timeout_event_ != 0) clock_.cancel(timeout_event_);
        timeout_event_ = 0;
        enter(State::SelectMessage, scsi::Phase::MessageOut);
        if (data_path_) {
            prefetching_ = true;
            refresh_prefetch();
        }
        return true;
    case State::AwaitRequest:
        if (!bus_.connected()) return lost_bus();
        if (!bus_.req()) return false;
        return finish(pending_int_ | int_bits::kBusService);
    case State::Connected:
        return bus_.connected() ? false : lost_bus();
    default:
        return move_bytes(now);
    }
}

void Fas408::enter(State state, scsi::Phase phase) {
    state_ = state;
    xfer_phase_ = phase;
    byte_time_ = bus_.handshake_time();
    streaming_ = false;
}

void Fas408::begin_phase(scsi::Phase phase) {
    phase_known_ = true;
    xfer_phase_ = phase;
    byte_time_ = scsi::is_data(phase) ? bus_.data_byte_time(timing()) : bus_.handshake_time();
    if (data_path_ && !scsi::is_input(phase)) {
        prefetching_ = true;
        refresh_prefetch();
    }
}

// Output through the data FIFO: up to 16 counted bytes sit in the SCSI FIFO ahead of the bus;
// the counter drops as they are taken, so the residual is count + SCSI FIFO bytes.
void Fas408::refresh_prefetch() {
    const std::uint32_t counted = prefetch_ + tc_;
    const std::size_t room = kScsiFifoBytes - scsi_fifo_.size();
    prefetch_ = std::uint32_t(std::min<std::size_t>({room, data_fifo_.size(), counted}));
    tc_ = counted - prefetch_;
}

void Fas408::end_data_transfer() {
    if (state_ == State::Transfer && data_path_) transfer_ended_ = true;
    if (!prefetching_) return;
    std::uint8_t counted[kScsiFifoBytes];  // stay in the SCSI FIFO for good
    const std::size_t n = data_fifo_.read(counted, prefetch_);
    scsi_fifo_.write(counted, n);
    prefetch_ = 0;
    prefetching_ = false;
}

bool Fas408::await_request(std::uint8_t bits) {
    end_data_transfer();
    pending_int_ = bits;
    state_ = State::AwaitRequest;
    streaming_ = false;
    return true;
}

bool Fas408::finish(std::uint8_t bits) {
    end_data_transfer();
    state_ = State::Connected;
    streaming_ = false;
    raise(bits);
    return true;
}

bool Fas408::lost_bus() {
    end_data_transfer();
    bus_.set_atn(false);
    state_ = State::Disconnected;
    streaming_ = false;
    raise(int_bits::kDisconnect);
    return true;
}

// Bytes the running command may move now. fifo_bound: the host has to make room or bring
// bytes first; otherwise a limit of 0 means the command has nothing left for this phase.
Fas408::Limit Fas408::limit() const {
    if (state_ == State::Reselected || state_ == State::StatusByte || state_ == State::MessageByte) {
        return {scsi_fifo_.room() > 0 ? 1u : 0u, true};
    }
    std::uint32_t n;
    bool fifo_bound;
    if (scsi::is_input(xfer_phase_)) {
        if (tc_ == 0) return {0, false};
        const std::size_t room = data_path_ ? (pio_on_ ? data_room() : 0) : scsi_fifo_.room();
        if (room == 0) return {0, true};
        n = std::uint32_t(std::min<std::size_t>(room, tc_));
        fifo_bound = room < tc_;
    } else if (data_path_) {
        const std::uint32_t counted = prefetch_ + tc_;
        if (counted == 0) return {0, false};
        const std::size_t have = pio_on_ ? data_fifo_.size() : 0;
        if (have == 0) return {0, true};
        n = std::uint32_t(std::min<std::size_t>(have, counted));
        fifo_bound = have < counted;
    } else {
        n = std::uint32_t(std::min<std::size_t>(tc_, scsi_fifo_.size()));  // ends when dry
        fifo_bound = false;
    }
    if (state_ == State::SelectMessage || xfer_phase_ == scsi::Phase::MessageIn) {
        return {std::min<std::uint32_t>(n, 1), false};
    }
    return {n, fifo_bound};
}

bool Fas408::move_bytes(io::Nanoseconds now) {
    if (!bus_.connected()) return lost_bus();
    if (!bus_.req()) {
        streaming_ = false;
        return false;
    }
    if (state_ == State::Transfer && !phase_known_) begin_phase(bus_.phase());
    if (bus_.phase() != xfer_phase_) return phase_changed();
    const Limit lim = limit();
    if (lim.bytes == 0) {
        if (!lim.fifo_bound) return nothing_left_in_phase();
        stream_time_ = std::max(stream_time_, now);  // stalled: the bus idles from here
        streaming_ = true;
        return false;
    }
    if (!streaming_) {
        streaming_ = true;
        stream_time_ = std::max(stream_time_, now);
    }
    if (now < stream_time_ + byte_time_) return false;
    const std::uint64_t slots = (now - stream_time_) / byte_time_;
    const std::uint32_t n = std::uint32_t(std::min<std::uint64_t>({lim.bytes, bus_.offer_left(), slots}));
    const std::uint32_t moved = transfer(n, stream_time_ + n * byte_time_);
    stream_time_ += io::Nanoseconds(moved) * byte_time_;
    return moved > 0 && bytes_moved();
}

void Fas408::parity_error() {
    error_bits_ |= status_bits::kParityError;
    ++stats_.parity_errors;
    bus_.note_parity_error();
    bus_.set_atn(true);  // the initiator wants to tell the target
}

// Whether the next message-out byte is the last this command sends (ATN drops before it).
bool Fas408::last_message_byte() const {
    if (state_ == State::SelectMessage) return !stop_after_message_;
    if (data_path_) return prefetch_ + tc_ == 1;
    return std::min<std::size_t>(tc_, scsi_fifo_.size()) == 1;
}

std::uint32_t Fas408::transfer(std::uint32_t n, io::Nanoseconds at) {
    std::uint32_t moved = 0;
    if (scsi::is_input(xfer_phase_)) {
        bool bad_parity = false;
        auto take_into = [&](auto& fifo) {
            while (moved < n) {
                const auto span = fifo.back_span();
                const std::uint32_t k = std::min<std::uint32_t>(std::uint32_t(span.size()), n - moved);
                const std::uint32_t got = bus_.take(span.data(), k, at, &bad_parity);
                fifo.commit(got);
                moved += got;
                if (got < k) break;
            }
        };
        if (data_path_ && state_ == State::Transfer) take_into(data_fifo_);
        else take_into(scsi_fifo_);
        if (state_ == State::Transfer) tc_ -= moved;
        if (bad_parity && (config1_ & config1::kParityCheck) != 0) parity_error();
        return moved;
    }
    auto give_from = [&](auto& fifo) {
        while (moved < n) {
            const bool message = xfer_phase_ == scsi::Phase::MessageOut;
            if (message && last_message_byte()) bus_.set_atn(false);
            const auto span = fifo.front_span();
            const std::uint32_t k = message ? 1 : std::min<std::uint32_t>(std::uint32_t(span.size()), n - moved);
            const std::uint32_t sent = bus_.give(span.data(), k, at);
            fifo.consume(sent);
            moved += sent;
            if (data_path_) {
                const std::uint32_t counted = prefetch_ + tc_ - sent;
                prefetch_ = 0;
                tc_ = counted;
                refresh_prefetch();
            } else {
                tc_ -= sent;
            }
            if (sent < k) break;
        }
    };
    if (data_path_) give_from(data_fifo_);
    else give_from(scsi_fifo_);
    return moved;
}

bool Fas408::bytes_moved() {
    switch (state_) {
    case State::SelectMessage:
        if (stop_after_message_) {
            seq_step_ = seq_step::kMessageStopped;
            // The bytes after the message byte were only counted ahead from the data FIFO:
            // they stay there, for the transfer command that sends the rest of the message.
            if (data_path_ && prefetching_) {
                tc_ += prefetch_;
                prefetch_ = 0;
                prefetching_ = false;
            }
            return await_request(int_bits::kFunctionComplete);
        }
        seq_step_ = seq_step::kNoCommand;
        enter(State::SelectCommand, scsi::Phase::Command);
        return true;
    case State::SelectCommand: {
        seq_step_ = seq_step::kCommandShort;
        const std::size_t left = data_path_ ? prefetch_ + tc_ : std::min<std::size_t>(tc_, scsi_fifo_.size());
        if (left == 0) {
            seq_step_ = seq_step::kComplete;
            return await_request(int_bits::kFunctionComplete);
        }
        return true;
    }
    case State::Reselected:
        return finish(int_bits::kReselected);
    case State::StatusByte:
        enter(State::MessageByte, scsi::Phase::MessageIn);
        return true;
    case State::MessageByte:
        return finish(int_bits::kFunctionComplete);
    case State::Transfer: {
        if (xfer_phase_ == scsi::Phase::MessageIn) return finish(int_bits::kFunctionComplete);
        const bool done = scsi::is_input(xfer_phase_) || data_path_
                              ? prefetch_ + tc_ == 0
                              : tc_ == 0 || scsi_fifo_.empty();
        return done ? await_request(int_bits::kBusService) : true;
    }
    default:
        return true;
    }
}

// The target asks for another phase than the command works in.
bool Fas408::phase_changed() {
    switch (state_) {
    case State::SelectMessage:  // step 0: no MESSAGE OUT
    case State::SelectCommand:  // step 2 or 3 as reached
    case State::MessageByte:    // the status byte came, the message did not
        return finish(int_bits::kFunctionComplete | int_bits::kBusService);
    case State::Reselected:
        return finish(int_bits::kReselected | int_bits::kBusService);
    default:
        return finish(int_bits::kBusService);
    }
}

// The target still asks in the command's phase but the command has nothing more to move.
bool Fas408::nothing_left_in_phase() {
    switch (state_) {
    case State::SelectCommand:
        seq_step_ = seq_step::kCommandShort;
        return finish(int_bits::kFunctionComplete | int_bits::kBusService);
    case State::SelectMessage:
        return finish(int_bits::kFunctionComplete | int_bits::kBusService);
    case State::Transfer:
        return await_request(int_bits::kBusService);
    default:
        return finish(int_bits::kBusService);
    }
}

// Keeps one clock event at the next moment the running transfer reaches a decision (the
// offer, count or message byte runs out). A FIFO that fills or runs dry needs none: the
// host's next access moves things on.
void Fas408::plan_pump() {
    io::Nanoseconds at = 0;
    if (moving() && streaming_ && bus_.req() && (state_ != State::Transfer || phase_known_) &&
        bus_.phase() == xfer_phase_) {
        const Limit lim = limit();
        const std::uint32_t offer = bus_.offer_left();
        const std::uint32_t n = std::min(lim.bytes, offer);
        if (n > 0 && !(lim.fifo_bound && lim.bytes < offer)) at = stream_time_ + n * byte_time_;
    }
    if (at == pump_at_ && (at == 0 || pump_event_ != 0)) return;
    if (pump_event_ != 0) clock_.cancel(pump_event_);
    pump_event_ = 0;
    pump_at_ = at;
    if (at != 0) {
        pump_event_ = clock_.schedule_at(at, [this] {
            pump_event_ = 0;
            pump_at_ = 0;
            step();
        });
    }
}

} // namespace orvo::fas408
