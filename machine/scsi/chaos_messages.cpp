// The chaos target's messages: the MESSAGE IN queue and what a sent message means for the
// target itself (it keeps to what it said: a SAVE DATA POINTER saves, a DISCONNECT leaves),
// what it makes of MESSAGE OUT, and the odd messages it sends.

#include "machine/scsi/chaos_target.h"
#include "machine/scsi/message_out.h"

namespace orvo::scsi {

namespace {

constexpr std::uint8_t kFastestPeriod = 25;  // 100 ns
constexpr std::uint8_t kDeepestOffset = 15;
// Extended message lengths worth trying: 0 announces 256 bytes; 3 and 2 are SDTR's and
// WDTR's own; the rest fit nothing.
constexpr std::uint8_t kExtendedLengths[] = {0, 1, 2, 3, 4, 5, 13, 14, 15, 16, 17, 64, 255};

} // namespace

void ChaosTarget::queue(std::vector<std::uint8_t> message, bool first) {
    if (first) {
        messages_.push_front(std::move(message));
    } else {
        messages_.push_back(std::move(message));
    }
}

// ACK of one message-in byte came back: the next byte goes out at the next step.
void ChaosTarget::message_byte_sent() {
    if (messages_.empty()) return;
    if (++message_pos_ < messages_.front().size()) return;
    last_sent_ = std::move(messages_.front());
    messages_.pop_front();
    message_pos_ = 0;
    message_sent(last_sent_);
}

// A whole message went out. The target keeps to it; a MESSAGE REJECT in the following
// MESSAGE OUT undoes what can be undone.
void ChaosTarget::message_sent(const std::vector<std::uint8_t>& m) {
    Nexus* n = active();
    switch (m[0]) {
    case message::kCommandComplete:
        // Also when it comes early: the command is over, and the data of a WRITE that arrived
        // is written as a disk writes it, so that the completion tells no lie about it.
        if (n != nullptr && n->direction == DataDirection::Out && n->stage == Stage::Data) data_phase_done();
        leave_ = Leave::BusFree;
        return;
    case message::kDisconnect:
        leave_ = Leave::Disconnect;
        return;
    case message::kSaveDataPointer:
        if (n != nullptr) n->saved = n->position;
        return;
    case message::kRestorePointers:
        if (n == nullptr) return;
        n->position = n->saved;
        if (n->stage != Stage::Command && n->position < n->length) n->stage = Stage::Data;
        return;
    case message::kExtended:
        if (m.size() == 5 && m[1] == 3 && m[2] == message::kExtSdtr) {
            agreement_ = TransferAgreement{m[4] != 0 ? m[3] : std::uint8_t{0}, m[4], false};
            sdtr_exchange_open_ = !sdtr_exchange_open_;  // an answer closes it, a proposal opens it
        }
        return;
    default:
        return;
    }
}

void ChaosTarget::process_message_out() {
    const std::vector<std::uint8_t> m = std::move(message_out_);
    message_out_.clear();
    Nexus* n = active();
    for (std::size_t pos = 0; pos < m.size();) {
        const InitiatorMessage msg = next_initiator_message(m, pos);
        switch (msg.form) {
        case MessageForm::Identify:
            if (n != nullptr && n->stage == Stage::Command) {
                n->lun = msg.code & 0x07;
                n->identified = true;
            } else if (n != nullptr && (msg.code & 0x07) != n->lun) {
                queue({message::kMessageReject});  // a connection does not change its LUN
            }
            break;
        case MessageForm::Extended:
            if (msg.body[0] == message::kExtSdtr && msg.body.size() == 3) {
                sdtr_received(msg.body[1], msg.body[2]);
            } else if (msg.body[0] == message::kExtWdtr && msg.body.size() == 2) {
                queue({message::kExtended, 2, message::kExtWdtr, 0});  // 8 bits only
            } else {
                queue({message::kMessageReject});
            }
            break;
        case MessageForm::TwoByte:
        case MessageForm::CutShort:
            queue({message::kMessageReject});
            break;
        case MessageForm::OneByte:
            if (!one_byte_message(msg.code)) return;
            break;
        }
    }
}

// False when the message ends the connection and the rest of the phase is dropped.
bool ChaosTarget::one_byte_message(std::uint8_t code) {
    Nexus* n = active();
    switch (code) {
    case message::kAbort:
        if (n != nullptr) nexus_.reset();
        messages_.clear();
        leave_ = Leave::BusFree;
        return false;
    case message::kBusDeviceReset:
        reset_device();
        leave_ = Leave::BusFree;
        return false;
    case message::kMessageReject:
        reject_received();
        return true;
    case message::kNoOperation:
        return true;
    case message::kInitiatorDetectedError:
    case message::kMessageParityError:
        // The command ends with CHECK CONDITION, as a disk ends it.
        if (n != nullptr && n->stage != Stage::Command) {
            sense_[n->lun] = Sense{sense_key::kAbortedCommand, asc::kInitiatorDetectedError, 0};
            n->status = status::kCheckCondition;
            n->stage = Stage::Status;
        }
        return true;
    default:
        queue({message::kMessageReject});
        return true;
    }
}

void ChaosTarget::sdtr_received(std::uint8_t period, std::uint8_t offset) {
    if (sdtr_exchange_open_) {
        // The initiator answers our proposal: its terms stand.
        sdtr_exchange_open_ = false;
        agreement_ = TransferAgreement{offset != 0 ? period : std::uint8_t{0}, offset, false};
        return;
    }
    // The initiator proposes: answer with the terms both sides can keep. The answer counts as
    // a proposal answered once it is sent.
    sdtr_exchange_open_ = true;
    queue({message::kExtended, 3, message::kExtSdtr, std::max(period, kFastestPeriod),
           std::min(offset, kDeepestOffset)});
}

// MESSAGE REJECT refers to the last message the target sent.
void ChaosTarget::reject_received() {
    if (last_sent_.empty()) return;
    if (last_sent_[0] == message::kDisconnect && leave_ == Leave::Disconnect) {
        leave_ = Leave::Stay;  // stay on the bus then
    } else if (last_sent_[0] == message::kExtended && last_sent_.size() >= 3 && last_sent_[2] == message::kExtSdtr) {
        agreement_ = {};
        sdtr_exchange_open_ = false;
    }
    last_sent_.clear();
}

// Something an initiator has to cope with: unknown and initiator-only codes, two-byte
// messages, extended messages of odd lengths, SDTR and WDTR with any values, IDENTIFY for
// another LUN, pointer messages out of turn, an early COMMAND COMPLETE.
std::vector<std::uint8_t> ChaosTarget::random_message() {
    switch (random_.below(10)) {
    case 0:
        return {std::uint8_t(random_.between(0x05, 0x1F))};
    case 1:
        return {std::uint8_t(random_.between(message::kTwoByteFirst, message::kTwoByteLast)), random_.byte()};
    case 2: {
        const std::uint8_t length = kExtendedLengths[random_.below(std::size(kExtendedLengths))];
        std::vector<std::uint8_t> m(2 + (length == 0 ? 256 : length));
        random_.fill(m);
        m[0] = message::kExtended;
        m[1] = length;
        return m;
    }
    case 3:
        return {message::kExtended, 3, message::kExtSdtr, random_.byte(), random_.byte()};
    case 4:
        return {message::kExtended, 2, message::kExtWdtr, random_.byte()};
    case 5:
        return {std::uint8_t(message::kIdentify | (random_.byte() & 0x47))};
    case 6:
        return {message::kSaveDataPointer};
    case 7:
        return {message::kRestorePointers};
    case 8:
        return {random_.chance(50) ? message::kMessageReject : message::kCommandComplete};
    default:
        return {random_one_byte_code()};
    }
}

// Any byte that is a whole message by itself (COMMAND COMPLETE, 0x02-0x1F, IDENTIFY in every
// form): a two-byte or extended code sent alone would have the initiator take the next
// message's first byte for its rest, which no target can mean.
std::uint8_t ChaosTarget::random_one_byte_code() {
    const std::uint8_t b = random_.byte();
    if (b == message::kExtended) return message::kCommandComplete;
    return b >= message::kTwoByteFirst && b < message::kIdentify ? std::uint8_t(b | message::kIdentify) : b;
}

} // namespace orvo::scsi
