// The message side of ScsiTarget: what it sends in MESSAGE IN, what it makes of MESSAGE OUT,
// and synchronous / wide transfer negotiation in both directions.

#include "machine/scsi/message_out.h"
#include "machine/scsi/target.h"

#include <algorithm>

namespace orvo::scsi {

void ScsiTarget::queue(std::vector<std::uint8_t> bytes, std::size_t break_after) {
    msg_in_.push_back(OutgoingMessage{std::move(bytes), break_after});
}

void ScsiTarget::reject() {
    ++stats_.messages_rejected;
    queue({message::kMessageReject});
}

// ACK of one message-in byte came back (the initiator released it).
void ScsiTarget::message_byte_sent(io::Nanoseconds at) {
    OutgoingMessage& m = msg_in_.front();
    ++msg_pos_;
    if (m.break_after != 0 && msg_pos_ >= m.break_after) {  // walk away in mid-message
        msg_in_.pop_front();
        msg_pos_ = 0;
        state_ = State::Busy;
        return schedule(at + behaviour_.phase_delay);
    }
    if (msg_pos_ < m.bytes.size()) {
        return bus_.send(id_, Phase::MessageIn, &m.bytes[msg_pos_], 1, behaviour_.bad_parity);
    }
    last_sent_ = std::move(m.bytes);
    msg_in_.pop_front();
    msg_pos_ = 0;
    message_sent(last_sent_);
    // ATN after a complete message: the initiator has something to say first.
    if (!bus_.atn() && !msg_in_.empty() && leave_ == Leave::Stay) {
        return bus_.send(id_, Phase::MessageIn, &msg_in_.front().bytes[0], 1, behaviour_.bad_parity);
    }
    state_ = State::Busy;
    schedule(at + behaviour_.phase_delay);
}

// A message went out without the initiator objecting (so far: a MESSAGE REJECT in the
// following MESSAGE OUT undoes it).
void ScsiTarget::message_sent(const std::vector<std::uint8_t>& m) {
    switch (m[0]) {
    case message::kCommandComplete:
        leave_ = Leave::BusFree;
        has_io_ = false;
        return;
    case message::kDisconnect:
        leave_ = Leave::Disconnect;
        return;
    case message::kSaveDataPointer:
        io_.data_saved = io_.data_done;
        return;
    case message::kExtended:
        break;
    default:
        return;
    }
    if (m.size() == 5 && m[2] == message::kExtSdtr) {
        proposal_.period_factor = m[3];
        proposal_.offset = m[4];
        // Our answer settles it; our own proposal stands unless the initiator answers.
        agreement_.period_factor = m[4] != 0 ? m[3] : 0;
        agreement_.offset = m[4];
        pending_ = pending_ == Pending::AnswerSdtr ? Pending::None : Pending::TargetSdtr;
    } else if (m.size() == 4 && m[2] == message::kExtWdtr) {
        agreement_ = TransferAgreement{0, 0, m[3] != 0};  // a width agreement resets sync terms
        pending_ = pending_ == Pending::AnswerWdtr ? Pending::None : Pending::TargetWdtr;
    }
}

void ScsiTarget::process_messages() {
    const std::vector<std::uint8_t> m = std::move(msg_out_);
    msg_out_.clear();
    for (std::size_t pos = 0; pos < m.size();) {
        const InitiatorMessage msg = next_initiator_message(m, pos);
        switch (msg.form) {
        case MessageForm::Identify:
            identify_received(msg.code);
            break;
        case MessageForm::Extended:
            extended_message(msg.body);
            break;
        case MessageForm::TwoByte:   // no queue tags here
        case MessageForm::CutShort:  // the phase ended inside the message
            reject();
            break;
        case MessageForm::OneByte:
            if (!one_byte_message(msg.code)) return;
            break;
        }
    }
    // A proposal of ours that the initiator let pass without a word stands as sent.
    if (pending_ == Pending::TargetSdtr || pending_ == Pending::TargetWdtr) pending_ = Pending::None;
}

// False when the message ends the connection and the rest of the phase is dropped.
bool ScsiTarget::one_byte_message(std::uint8_t code) {
    switch (code) {
    case message::kAbort:
        has_io_ = false;
        msg_in_.clear();
        leave_ = Leave::BusFree;
        return false;
    case message::kBusDeviceReset:
        reset_device();
        state_ = State::Busy;  // still on the bus until next() lets go
        leave_ = Leave::BusFree;
        return false;
    case message::kMessageReject:
        reject_received();
        return true;
    case message::kNoOperation:
        return true;
    case message::kInitiatorDetectedError:
    case message::kMessageParityError:
        initiator_error(code);
        return true;
    default:
        reject();
        return true;
    }
}

void ScsiTarget::identify_received(std::uint8_t identify) {
    const std::uint8_t lun = identify & 0x07;
    if (io_.stage != Stage::Command && io_.identified && lun != io_.lun) {
        reject();  // a connection does not change its LUN
        return;
    }
    io_.lun = lun;
    io_.identified = true;
    io_.may_disconnect = (identify & message::kIdentifyDisconnect) != 0;
}

void ScsiTarget::extended_message(std::span<const std::uint8_t> body) {
    if (body[0] == message::kExtSdtr && body.size() == 3) return sdtr_received(body[1], body[2]);
    if (body[0] == message::kExtWdtr && body.size() == 2) return wdtr_received(body[1]);
    reject();
}

void ScsiTarget::sdtr_received(std::uint8_t period, std::uint8_t offset) {
    if (pending_ == Pending::TargetSdtr) {
        // The initiator answers our proposal: within our limits it is the agreement.
        pending_ = Pending::None;
        if (offset == 0) {
            agreement_ = TransferAgreement{0, 0, agreement_.wide};
        } else if (period >= behaviour_.min_period_factor && offset <= behaviour_.max_offset) {
            agreement_ = TransferAgreement{period, offset, agreement_.wide};
        } else {
            agreement_ = TransferAgreement{0, 0, agreement_.wide};
            reject();
        }
        return;
    }
    if (behaviour_.reject_sdtr) {
        agreement_ = TransferAgreement{0, 0, agreement_.wide};
        reject();
        return;
    }
    // The initiator proposes: answer with the terms both sides can keep.
    const std::uint8_t answer_offset = std::min(offset, behaviour_.max_offset);
    const std::uint8_t answer_period = std::max(period, behaviour_.min_period_factor);
    pending_ = Pending::AnswerSdtr;
    queue({message::kExtended, 3, message::kExtSdtr, answer_period, answer_offset});
}

void ScsiTarget::wdtr_received(std::uint8_t exponent) {
    if (pending_ == Pending::TargetWdtr) {
        pending_ = Pending::None;
        agreement_ = TransferAgreement{0, 0, exponent != 0};
        return;
    }
    const std::uint8_t answer = behaviour_.initiate_wdtr ? std::min<std::uint8_t>(exponent, 1) : 0;
    pending_ = Pending::AnswerWdtr;
    queue({message::kExtended, 2, message::kExtWdtr, answer});
}

// MESSAGE REJECT refers to the last message the target sent.
void ScsiTarget::reject_received() {
    if (last_sent_.empty()) return;
    if (last_sent_[0] == message::kDisconnect) {
        if (leave_ == Leave::Disconnect) leave_ = Leave::Stay;  // stay on the bus then
    } else if (last_sent_[0] == message::kExtended && last_sent_.size() >= 3) {
        if (last_sent_[2] == message::kExtSdtr) agreement_ = TransferAgreement{0, 0, agreement_.wide};
        if (last_sent_[2] == message::kExtWdtr) agreement_.wide = false;
        pending_ = Pending::None;
    }
    last_sent_.clear();
}

// The initiator saw a bad byte: the command ends with CHECK CONDITION, ABORTED COMMAND.
void ScsiTarget::initiator_error(std::uint8_t message) {
    if (!has_io_ || io_.stage == Stage::Command) return;
    const std::uint8_t code =
        message == message::kMessageParityError ? asc::kParityError : asc::kInitiatorDetectedError;
    sense_[io_.lun][io_.initiator] = Sense{sense_key::kAbortedCommand, code, 0};
    io_.status = status::kCheckCondition;
    io_.stage = Stage::Status;
    msg_in_.clear();
}

} // namespace orvo::scsi
