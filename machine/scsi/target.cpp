#include "machine/scsi/target.h"

#include "machine/scsi/cdb.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace orvo::scsi {

ScsiTarget::ScsiTarget(ScsiBus& bus, std::uint8_t id, TargetBehaviour behaviour)
    : bus_(bus), clock_(bus.clock()), id_(id), behaviour_(behaviour) {
    bus_.attach_target(id, this);
    unit_attention_.fill(0xFF);  // power-on
}

ScsiTarget::~ScsiTarget() {
    cancel_event();
    bus_.target_withdraw(id_);
    bus_.detach_target(id_);
}

void ScsiTarget::attach_unit(std::uint8_t lun, std::unique_ptr<LogicalUnit> unit) {
    if (lun >= kLuns) throw std::invalid_argument("LUN " + std::to_string(lun) + " is not 0-7");
    units_[lun] = std::move(unit);
    unit_attention_[lun] = 0xFF;
}

void ScsiTarget::cancel_event() {
    if (event_ != 0) clock_.cancel(event_);
    event_ = 0;
}

void ScsiTarget::schedule(io::Nanoseconds at) {
    cancel_event();
    event_ = clock_.schedule_at(at, [this] {
        event_ = 0;
        if (state_ == State::Disconnected) {
            start_reselection();
        } else {
            next();
        }
    });
}

// --- Selection, bus free, reselection ----------------------------------------------------------

void ScsiTarget::selected(std::uint8_t initiator, bool) {
    cancel_event();
    if (has_io_ && (state_ == State::Disconnected || state_ == State::Reselecting)) {
        bus_.target_withdraw(id_);
        suspended_ = std::move(io_);
    }
    ++stats_.selections;
    io_ = IoProcess{};
    io_.initiator = initiator & 7;
    has_io_ = true;
    state_ = State::Busy;
    leave_ = Leave::Stay;
    msg_in_.clear();
    msg_pos_ = 0;
    msg_out_.clear();
    schedule(clock_.now() + behaviour_.phase_delay);  // ATN decides: MESSAGE OUT or COMMAND
}

void ScsiTarget::leave_bus() {
    const bool disconnect = leave_ == Leave::Disconnect && has_io_;
    leave_ = Leave::Stay;
    if (disconnect) {
        state_ = State::Disconnected;
        bus_.release(id_, true);
        schedule(clock_.now() + behaviour_.reselect_delay);
        return;
    }
    state_ = State::Free;
    has_io_ = false;
    bus_.release(id_, false);
    if (suspended_) {  // the command put aside by the last selection comes back
        io_ = std::move(*suspended_);
        suspended_.reset();
        has_io_ = true;
        state_ = State::Disconnected;
        schedule(clock_.now() + behaviour_.reselect_delay);
    }
}

void ScsiTarget::start_reselection() {
    if (state_ != State::Disconnected) return;
    state_ = State::Reselecting;
    bus_.target_arbitrate(id_);
}

void ScsiTarget::arbitration_won() {
    if (state_ == State::Reselecting) bus_.reselect(id_, io_.initiator, io_.lun);
}

void ScsiTarget::reselection_answered() {
    if (state_ != State::Reselecting) return;
    ++stats_.reselections;
    state_ = State::Busy;
    io_.data_done = io_.data_saved;  // the initiator restores its pointers on reselection
    std::deque<OutgoingMessage> later;
    later.swap(msg_in_);
    queue({std::uint8_t(message::kIdentify | io_.lun)});
    if (behaviour_.restore_pointers_after_reselect) queue({message::kRestorePointers});
    for (auto& m : later) msg_in_.push_back(std::move(m));
    msg_pos_ = 0;
    enter_message_in();
}

void ScsiTarget::reselection_failed() {
    if (state_ != State::Reselecting) return;
    state_ = State::Disconnected;
    schedule(clock_.now() + behaviour_.reselect_delay);
}

void ScsiTarget::bus_reset() {
    cancel_event();
    bus_.target_withdraw(id_);
    reset_device();
}

void ScsiTarget::reset_device() {
    ++stats_.resets;
    state_ = State::Free;
    leave_ = Leave::Stay;
    has_io_ = false;
    suspended_.reset();
    msg_in_.clear();
    msg_pos_ = 0;
    msg_out_.clear();
    agreement_ = {};
    pending_ = Pending::None;
    sdtr_initiated_ = false;
    wdtr_initiated_ = false;
    unit_attention_.fill(0xFF);
    for (auto& lun : sense_) lun.fill(Sense{});
    for (auto& u : units_) {
        if (u) u->reset();
    }
}

// --- Phases -----------------------------------------------------------------------------------

void ScsiTarget::offer_in(State state, Phase phase, const std::uint8_t* data, std::uint32_t length) {
    if (become_stuck(phase)) return;
    state_ = state;
    bus_.send(id_, phase, data, length, behaviour_.bad_parity);
}

void ScsiTarget::offer_out(State state, Phase phase, std::uint8_t* buffer, std::uint32_t length) {
    if (become_stuck(phase)) return;
    state_ = state;
    bus_.receive(id_, phase, buffer, length);
}

bool ScsiTarget::become_stuck(Phase phase) {
    if (behaviour_.stuck_phase != phase) return false;
    state_ = State::Stuck;
    stuck_phase_ = phase;
    refill_stuck();
    return true;
}

// A stuck target keeps REQ up in its phase: it sends filler or swallows whatever comes.
void ScsiTarget::refill_stuck() {
    if (is_input(stuck_phase_)) {
        bus_.send(id_, stuck_phase_, filler_.data(), std::uint32_t(filler_.size()), behaviour_.bad_parity);
    } else {
        bus_.receive(id_, stuck_phase_, filler_.data(), std::uint32_t(filler_.size()));
    }
}

void ScsiTarget::enter_message_out() {
    msg_out_.clear();
    offer_out(State::MessageOut, Phase::MessageOut, &msg_byte_, 1);
}

void ScsiTarget::enter_message_in() {
    msg_pos_ = 0;
    offer_in(State::MessageIn, Phase::MessageIn, &msg_in_.front().bytes[0], 1);
}

void ScsiTarget::enter_data() {
    const std::uint32_t remaining = io_.data_length - io_.data_done;
    offered_ = remaining;
    const std::uint32_t split = behaviour_.disconnect_after_bytes;
    if (split != 0 && !io_.split_done && may_disconnect() && split < remaining) offered_ = split;
    if (io_.direction == DataDirection::In) {
        offer_in(State::DataIn, Phase::DataIn, io_.data.data() + io_.data_done, offered_);
    } else {
        offer_out(State::DataOut, Phase::DataOut, io_.data.data() + io_.data_done, offered_);
    }
}

void ScsiTarget::next() {
    if (state_ != State::Busy) return;
    for (;;) {
        // An initiator that raises ATN gets MESSAGE OUT at the next phase boundary.
        if (bus_.atn()) return enter_message_out();
        if (!msg_in_.empty()) return enter_message_in();
        if (leave_ != Leave::Stay || !has_io_) return leave_bus();
        switch (io_.stage) {
        case Stage::Command:
            io_.cdb_length = 0;
            return offer_out(State::CommandBytes, Phase::Command, io_.cdb.data(), 1);
        case Stage::Execute:
            execute();
            continue;
        case Stage::Data:
            return enter_data();
        case Stage::Status:
            return offer_in(State::StatusByte, Phase::Status, &io_.status, 1);
        case Stage::Complete:
            queue({message::kCommandComplete});
            continue;
        }
    }
}

void ScsiTarget::transfer_done(io::Nanoseconds at) {
    switch (state_) {
    case State::Stuck:
        return refill_stuck();
    case State::MessageOut:
        // Bytes keep coming while ATN stays up; a runaway initiator is cut off at 258 bytes.
        if (msg_out_.size() < 258) msg_out_.push_back(msg_byte_);
        if (bus_.atn()) return bus_.receive(id_, Phase::MessageOut, &msg_byte_, 1);
        state_ = State::Busy;
        process_messages();
        return schedule(at + behaviour_.phase_delay);
    case State::CommandBytes:
        if (io_.cdb_length == 0) {  // the operation code tells how many bytes follow
            io_.cdb_length = cdb_length(io_.cdb[0]);
            return bus_.receive(id_, Phase::Command, io_.cdb.data() + 1, io_.cdb_length - 1);
        }
        state_ = State::Busy;
        io_.stage = Stage::Execute;
        return schedule(at + behaviour_.command_delay);
    case State::MessageIn:
        return message_byte_sent(at);
    case State::DataIn:
    case State::DataOut:
        state_ = State::Busy;
        io_.data_done += offered_;
        data_phase_done();
        return schedule(at + behaviour_.phase_delay);
    case State::StatusByte:
        state_ = State::Busy;
        io_.stage = Stage::Complete;
        return schedule(at + behaviour_.phase_delay);
    default:
        return;
    }
}

void ScsiTarget::data_phase_done() {
    if (io_.data_done < io_.data_length) {  // split: save the pointer and come back later
        io_.split_done = true;
        queue({message::kSaveDataPointer});
        queue({message::kDisconnect});
        return;
    }
    if (io_.direction == DataDirection::Out) {
        Sense& sense = sense_[io_.lun][io_.initiator];
        LogicalUnit* u = unit(io_.lun);
        const std::span<const std::uint8_t> cdb(io_.cdb.data(), io_.cdb_length);
        if (u != nullptr) io_.status = u->finish_out(cdb, io_.data, sense).status;
    }
    io_.stage = Stage::Status;
}

// --- Commands ---------------------------------------------------------------------------------

Sense ScsiTarget::take_sense(std::uint8_t lun, std::uint8_t initiator) {
    const std::uint8_t bit = std::uint8_t(1u << initiator);
    if (units_[lun] == nullptr) return Sense{sense_key::kIllegalRequest, asc::kLunNotSupported, 0};
    if ((unit_attention_[lun] & bit) != 0) {
        unit_attention_[lun] &= std::uint8_t(~bit);
        return Sense{sense_key::kUnitAttention, asc::kPowerOnOrReset, 0};
    }
    return std::exchange(sense_[lun][initiator], Sense{});
}

Outcome ScsiTarget::dispatch(std::span<const std::uint8_t> cdb, Sense& sense) {
    const std::uint8_t lun = io_.lun;
    const std::uint8_t bit = std::uint8_t(1u << io_.initiator);
    LogicalUnit* u = unit(lun);
    if (cdb[0] == op::kRequestSense) {
        std::uint8_t encoded[kFixedSenseLength];
        encode_fixed_sense(take_sense(lun, io_.initiator), encoded);
        const unsigned wanted = cdb[4] == 0 ? 4 : cdb[4];  // SCSI-2: 0 asks for 4 bytes
        io_.data.assign(encoded, encoded + std::min<unsigned>(wanted, kFixedSenseLength));
        return LogicalUnit::data_in(std::uint32_t(io_.data.size()));
    }
    if (u == nullptr) {
        if (cdb[0] == op::kInquiry) {
            io_.data = standard_inquiry(0x1F, false, Identity{});
            io_.data[0] = 0x7F;  // qualifier 3: no unit can be at this LUN
            io_.data.resize(std::min<std::size_t>(io_.data.size(), cdb[4]));
            return LogicalUnit::data_in(std::uint32_t(io_.data.size()));
        }
        return LogicalUnit::check(sense, sense_key::kIllegalRequest, asc::kLunNotSupported);
    }
    sense = Sense{};  // a new command replaces what REQUEST SENSE did not collect
    if (cdb[0] != op::kInquiry && (unit_attention_[lun] & bit) != 0) {
        unit_attention_[lun] &= std::uint8_t(~bit);
        return LogicalUnit::check(sense, sense_key::kUnitAttention, asc::kPowerOnOrReset);
    }
    if (behaviour_.check_condition_count > 0) {
        --behaviour_.check_condition_count;
        sense = behaviour_.injected_sense;
        return Outcome{status::kCheckCondition};
    }
    return u->begin(cdb, io_.data, sense);
}

void ScsiTarget::execute() {
    ++stats_.commands;
    const std::span<const std::uint8_t> cdb(io_.cdb.data(), io_.cdb_length);
    if (!io_.identified) io_.lun = cdb[1] >> 5;  // without IDENTIFY the CDB names the LUN
    Sense& sense = sense_[io_.lun][io_.initiator];
    io_.data.clear();
    io_.direction = DataDirection::None;
    io_.data_length = io_.data_done = io_.data_saved = 0;

    Outcome outcome;
    if (behaviour_.busy_count > 0) {
        --behaviour_.busy_count;
        outcome.status = status::kBusy;
    } else if (suspended_ && suspended_->lun == io_.lun) {
        suspended_.reset();  // a second command to a LUN that still has one: both end
        outcome = LogicalUnit::check(sense, sense_key::kAbortedCommand, asc::kOverlappedCommands);
    } else if (suspended_) {
        outcome.status = status::kBusy;  // one command at a time per target
    } else {
        outcome = dispatch(cdb, sense);
    }
    io_.status = outcome.status;
    io_.direction = outcome.direction;
    if (outcome.direction != DataDirection::None) {
        const std::int64_t length = std::int64_t(outcome.length) + behaviour_.data_length_delta;
        io_.data_length = std::uint32_t(std::clamp<std::int64_t>(length, 0, 0x7FFFFFFF));
        io_.data.resize(std::max<std::size_t>(io_.data.size(), io_.data_length));
        if (outcome.direction == DataDirection::Out) io_.data.resize(io_.data_length);
    }
    io_.stage = io_.data_length > 0 ? Stage::Data : Stage::Status;
    if (io_.direction == DataDirection::Out && io_.data_length == 0) data_phase_done();
    queue_after_command();
}

// Messages the target volunteers between the command and the data: its own negotiation, the
// odd messages of the behaviour switches, and DISCONNECT.
void ScsiTarget::queue_after_command() {
    if (behaviour_.initiate_wdtr && !wdtr_initiated_) {
        wdtr_initiated_ = true;
        queue({message::kExtended, 2, message::kExtWdtr, 1});
    } else if (behaviour_.initiate_sdtr && !sdtr_initiated_) {
        sdtr_initiated_ = true;
        queue({message::kExtended, 3, message::kExtSdtr, behaviour_.min_period_factor, behaviour_.max_offset});
    }
    if (behaviour_.odd_extended_length) {
        const std::uint8_t length = *behaviour_.odd_extended_length;
        std::vector<std::uint8_t> m{message::kExtended, length};
        if (length > 0) m.push_back(0x55);  // a vendor-specific code nobody knows
        m.resize(2 + std::size_t(length), 0);
        queue(std::move(m));
    }
    if (behaviour_.change_phase_mid_message) {
        queue({message::kExtended, 3, message::kExtSdtr, behaviour_.min_period_factor, behaviour_.max_offset}, 2);
    }
    if (behaviour_.disconnect_after_command && may_disconnect()) queue({message::kDisconnect});
}

} // namespace orvo::scsi
