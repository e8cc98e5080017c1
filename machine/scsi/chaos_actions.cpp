// The chaos target's actions: one function per row of its action table, each run at a REQ
// in place of the well-behaved step.

#include "machine/scsi/chaos_target.h"

#include <algorithm>

namespace orvo::scsi {

namespace {

constexpr io::Nanoseconds kResetHold = 25 * io::kMicrosecond;
constexpr std::uint32_t kMostJunkBytes = 8;
constexpr std::uint32_t kMostExtraData = 2048;
// Status bytes a confused target may send: the usual ones and a few nobody expects.
constexpr std::uint8_t kStatusBytes[] = {0x00, 0x02, 0x04, 0x08, 0x10, 0x18, 0x22, 0x28, 0xFF};

} // namespace

bool ChaosTarget::has_data_stage() const {
    const Nexus* n = active();
    return n != nullptr && (n->stage == Stage::Data || n->stage == Stage::Status) &&
           n->direction != DataDirection::None;
}

bool ChaosTarget::can_disconnect() const {
    const Nexus* n = active();
    return n != nullptr && n->stage != Stage::Command && at_message_boundary();
}

// What a plain SCSI-2 disk does next.
void ChaosTarget::behave() {
    // An initiator that raises ATN gets MESSAGE OUT at the next message boundary.
    if (bus_.atn() && message_pos_ == 0) {
        message_out_.clear();
        return offer_out(Offer::MessageOut, Phase::MessageOut, &byte_, 1);
    }
    if (!messages_.empty()) {
        return offer_in(Offer::MessageIn, Phase::MessageIn, &messages_.front()[message_pos_], 1);
    }
    if (leave_ != Leave::Stay) return leave_bus(leave_ == Leave::Disconnect);
    Nexus* n = active();
    if (n == nullptr) return leave_bus(false);  // a phantom connection, or the command is gone
    switch (n->stage) {
    case Stage::Command:
        return offer_out(Offer::Command, Phase::Command, n->cdb.data(), 1);
    case Stage::Data:
        return offer_data();
    case Stage::Status:
        byte_ = n->status;
        return offer_in(Offer::Status, Phase::Status, &byte_, 1);
    case Stage::Complete:
        queue({message::kCommandComplete});
        return behave();
    }
}

// A few bytes in a phase nobody asked for. Data phases come only once the command is known,
// and in its own direction they carry its own data from the data pointer on: junk never
// reaches a command whose data the initiator keeps.
void ChaosTarget::change_phase() {
    enum class Pick : std::uint8_t { DataIn, DataOut, Command, Status, MessageOut };
    static constexpr Pick kPicks[] = {Pick::DataIn, Pick::DataOut, Pick::Command, Pick::Status, Pick::MessageOut};
    Nexus* n = active();
    const bool command_known = n != nullptr && n->stage != Stage::Command;
    Pick pick = kPicks[random_.below(std::size(kPicks))];
    if (!command_known && (pick == Pick::DataIn || pick == Pick::DataOut)) pick = Pick::Status;
    if (n != nullptr && n->stage == Stage::Command && pick == Pick::Command) pick = Pick::MessageOut;
    const std::uint32_t count = std::uint32_t(random_.between(1, kMostJunkBytes));

    switch (pick) {
    case Pick::DataIn:
        if (n->direction == DataDirection::In) {
            if (n->position >= n->length) extend_read(n->position + count);
            if (n->position >= n->length) return behave();  // nothing left of the image
            offered_ = std::min(count, n->length - n->position);
            return offer_in(Offer::DataIn, Phase::DataIn, n->data.data() + n->position, offered_);
        }
        if (reads_blocks(*n)) return behave();  // a failed READ: no junk for its buffer
        random_.fill(junk_);
        return offer_in(Offer::Junk, Phase::DataIn, junk_.data(), count);
    case Pick::DataOut:
        if (n->direction == DataDirection::Out && n->position < n->length) {
            offered_ = std::min(count, n->length - n->position);
            return offer_out(Offer::DataOut, Phase::DataOut, n->data.data() + n->position, offered_);
        }
        return offer_out(Offer::Junk, Phase::DataOut, junk_.data(), count);  // taken and dropped
    case Pick::Command:
        return offer_out(Offer::Junk, Phase::Command, junk_.data(), count);
    case Pick::Status:
        junk_[0] = kStatusBytes[random_.below(std::size(kStatusBytes))];
        return offer_in(Offer::Junk, Phase::Status, junk_.data(), 1);
    case Pick::MessageOut:
        message_out_.clear();
        return offer_out(Offer::MessageOut, Phase::MessageOut, &byte_, 1);
    }
}

void ChaosTarget::odd_message() {
    queue(random_message(), true);
    offer_in(Offer::MessageIn, Phase::MessageIn, &messages_.front()[0], 1);
}

// REQ held off: mostly briefly, sometimes up to the longest stall.
void ChaosTarget::stall() {
    const io::Nanoseconds longest = random_.chance(70) ? 20 * io::kMicrosecond : settings_.longest_stall;
    schedule_step(clock_.now() + random_.between(io::kMicrosecond, std::max(longest, io::kMicrosecond)));
}

void ChaosTarget::disconnect() {
    if (random_.chance(50)) queue({message::kSaveDataPointer});
    queue({message::kDisconnect});
    behave();
}

// Off the bus without a word, back with a reselection naming a random LUN: the command's own
// (a disconnection nobody announced), or another one, for which the initiator has nothing.
void ChaosTarget::reselect_unasked() {
    const std::uint8_t lun = std::uint8_t(random_.below(kLuns));
    pending_reselection_ = Reselection{lun, !nexus_ || nexus_->lun != lun, 0};
    leave_bus(true);
}

// Fewer bytes than asked (never fewer than already moved) or more.
void ChaosTarget::change_data_length() {
    Nexus& n = *active();
    if (random_.chance(50) && n.length > n.position) {
        n.length = n.position + std::uint32_t(random_.below(n.length - n.position));
        if (n.direction == DataDirection::Out) n.data.resize(std::max<std::size_t>(n.length, n.position));
    } else {
        const std::uint32_t longer = n.length + std::uint32_t(random_.between(1, kMostExtraData));
        if (n.direction == DataDirection::In) {
            extend_read(longer);
        } else {
            n.data.resize(longer);
            n.length = longer;
        }
    }
    if (n.position < n.length) {
        n.stage = Stage::Data;
    } else if (n.stage == Stage::Data) {
        data_phase_done();
    }
    behave();
}

void ChaosTarget::drop_off() { leave_bus(random_.chance(50)); }

void ChaosTarget::reset_bus() { bus_.reset(kResetHold); }

} // namespace orvo::scsi
