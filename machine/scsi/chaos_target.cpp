// The chaos target's step function, its bus protocol and its commands. The actions the step
// chooses from are in chaos_actions.cpp, the messages in chaos_messages.cpp.

#include "machine/scsi/chaos_target.h"

#include "machine/scsi/cdb.h"

#include <algorithm>

namespace orvo::scsi {

namespace {

constexpr io::Nanoseconds kPhaseDelay = 2 * io::kMicrosecond;
constexpr io::Nanoseconds kCommandDelay = 20 * io::kMicrosecond;
constexpr io::Nanoseconds kShortestReselectDelay = 10 * io::kMicrosecond;
constexpr io::Nanoseconds kLongestReselectDelay = 2 * io::kMillisecond;
constexpr std::size_t kLongestMessageOut = 258;  // what a runaway initiator is cut off at

} // namespace

const char* to_string(ChaosAction action) {
    switch (action) {
    case ChaosAction::Behave: return "behave";
    case ChaosAction::ChangePhase: return "change phase";
    case ChaosAction::OddMessage: return "odd message";
    case ChaosAction::Stall: return "stall";
    case ChaosAction::Disconnect: return "disconnect";
    case ChaosAction::Reselect: return "reselect";
    case ChaosAction::DataLength: return "data length";
    case ChaosAction::DropOff: return "drop off";
    case ChaosAction::ResetBus: return "reset bus";
    }
    return "?";
}

// In ChaosAction order.
const ChaosTarget::ActionRow ChaosTarget::kActions[kChaosActions] = {
    {ChaosAction::Behave, &ChaosTarget::behave, &ChaosTarget::always},
    {ChaosAction::ChangePhase, &ChaosTarget::change_phase, &ChaosTarget::always},
    {ChaosAction::OddMessage, &ChaosTarget::odd_message, &ChaosTarget::at_message_boundary},
    {ChaosAction::Stall, &ChaosTarget::stall, &ChaosTarget::always},
    {ChaosAction::Disconnect, &ChaosTarget::disconnect, &ChaosTarget::can_disconnect},
    {ChaosAction::Reselect, &ChaosTarget::reselect_unasked, &ChaosTarget::always},
    {ChaosAction::DataLength, &ChaosTarget::change_data_length, &ChaosTarget::has_data_stage},
    {ChaosAction::DropOff, &ChaosTarget::drop_off, &ChaosTarget::always},
    {ChaosAction::ResetBus, &ChaosTarget::reset_bus, &ChaosTarget::always},
};

ChaosTarget::ChaosTarget(ScsiBus& bus, std::uint8_t id, std::uint64_t seed, std::unique_ptr<DiskUnit> disk,
                         ChaosSettings settings)
    : bus_(bus), clock_(bus.clock()), id_(id), random_(seed), disk_(std::move(disk)), settings_(settings) {
    bus_.attach_target(id, this);
}

ChaosTarget::~ChaosTarget() {
    cancel_step();
    if (watchdog_event_ != 0) clock_.cancel(watchdog_event_);
    bus_.target_withdraw(id_);
    bus_.detach_target(id_);
}

// --- The step function ---------------------------------------------------------------------

void ChaosTarget::step() {
    if (link_ != Link::Connected) return;
    const ChaosAction action = choose();
    const ActionRow& row = kActions[static_cast<std::size_t>(action)];
    ++stats_.actions[static_cast<std::size_t>(action)];
    if (action != ChaosAction::Behave) ++misbehaviours_;
    // The row is named first: GCC 12's bounds check misreads an index inside ->*.
    (this->*row.run)();
}

ChaosAction ChaosTarget::choose() {
    if (!misbehaviour_allowed()) return ChaosAction::Behave;
    std::array<unsigned, kChaosActions> weights{};
    for (std::size_t i = 0; i < kChaosActions; ++i) {
        const ActionRow& row = kActions[i];
        weights[i] = (this->*row.applies)() ? settings_.weights[i] : 0;
    }
    if (std::all_of(weights.begin(), weights.end(), [](unsigned w) { return w == 0; })) return ChaosAction::Behave;
    return static_cast<ChaosAction>(random_.weighted(weights));
}

bool ChaosTarget::misbehaviour_allowed() const {
    return clock_.now() - window_start_ < settings_.misbehaviour_window &&
           misbehaviours_ < settings_.max_misbehaviours;
}

void ChaosTarget::schedule_step(io::Nanoseconds at) {
    cancel_step();
    step_event_ = clock_.schedule_at(at, [this] {
        step_event_ = 0;
        if (link_ == Link::Connected) {
            step();
        } else if (pending_reselection_) {
            link_ = Link::Reselecting;
            reselecting_ = pending_reselection_;
            pending_reselection_.reset();
            bus_.target_arbitrate(id_);
        }
    });
}

void ChaosTarget::cancel_step() {
    if (step_event_ != 0) clock_.cancel(step_event_);
    step_event_ = 0;
}

// --- Connections ---------------------------------------------------------------------------

ChaosTarget::Nexus* ChaosTarget::active() { return phantom_ || !nexus_ ? nullptr : &*nexus_; }
const ChaosTarget::Nexus* ChaosTarget::active() const { return phantom_ || !nexus_ ? nullptr : &*nexus_; }

void ChaosTarget::connect() {
    link_ = Link::Connected;
    offer_ = Offer::None;
    leave_ = Leave::Stay;
    messages_.clear();
    message_pos_ = 0;
    message_out_.clear();
}

// A new command replaces one the target still holds: that one is lost, and the initiator's
// time-out has to end it.
void ChaosTarget::selected(std::uint8_t initiator, bool) {
    cancel_step();
    bus_.target_withdraw(id_);
    pending_reselection_.reset();
    reselecting_.reset();
    initiator_ = initiator & 7;
    nexus_ = Nexus{};  // not emplace(): clang 14 sees Nexus as not default-constructible there
    phantom_ = false;
    sdtr_exchange_open_ = false;
    window_start_ = clock_.now();
    misbehaviours_ = 0;
    connect();
    schedule_step(clock_.now() + kPhaseDelay);
}

void ChaosTarget::arbitration_won() {
    if (link_ == Link::Reselecting && reselecting_) bus_.reselect(id_, initiator_, reselecting_->lun);
}

void ChaosTarget::reselection_answered() {
    if (link_ != Link::Reselecting || !reselecting_) return;
    const Reselection r = *reselecting_;
    reselecting_.reset();
    connect();
    phantom_ = r.phantom || !nexus_ || nexus_->lun != r.lun;
    if (phantom_) {
        ++stats_.phantom_reselections;
    } else {
        ++stats_.reselections;
        nexus_->position = nexus_->saved;  // the initiator restores its pointers on reselection
        if (nexus_->stage != Stage::Command && nexus_->position < nexus_->length) nexus_->stage = Stage::Data;
    }
    queue({std::uint8_t(message::kIdentify | r.lun)});
    schedule_step(clock_.now() + kPhaseDelay);
}

void ChaosTarget::reselection_failed() {
    if (link_ != Link::Reselecting || !reselecting_) return;
    link_ = Link::Free;
    Reselection r = *reselecting_;
    reselecting_.reset();
    if (++r.attempts < settings_.reselection_attempts) return schedule_reselection(r);
    ++stats_.gave_up;
    if (!r.phantom) nexus_.reset();  // the command is given up
    if (nexus_) schedule_reselection({nexus_->lun, false, 0});
}

void ChaosTarget::schedule_reselection(Reselection r) {
    pending_reselection_ = r;
    schedule_step(clock_.now() + random_.between(kShortestReselectDelay, kLongestReselectDelay));
}

void ChaosTarget::bus_reset() {
    cancel_step();
    if (watchdog_event_ != 0) clock_.cancel(watchdog_event_);
    watchdog_event_ = 0;
    bus_.target_withdraw(id_);
    link_ = Link::Free;
    offer_ = Offer::None;
    leave_ = Leave::Stay;
    phantom_ = false;
    reselecting_.reset();
    message_pos_ = 0;
    message_out_.clear();
    reset_device();
}

// What a reset of the bus or of the device forgets: commands, messages, agreements, sense.
void ChaosTarget::reset_device() {
    nexus_.reset();
    pending_reselection_.reset();
    messages_.clear();
    agreement_ = {};
    sdtr_exchange_open_ = false;
    sense_.fill(Sense{});
    disk_->reset();
}

// Bus free. A kept command (or an unasked reselection planned by the action) comes back by
// reselection; in a phantom connection the command the target holds is not touched.
void ChaosTarget::leave_bus(bool keep_command) {
    if (watchdog_event_ != 0) clock_.cancel(watchdog_event_);
    watchdog_event_ = 0;
    cancel_step();
    const bool was_phantom = phantom_;
    if (!was_phantom && !keep_command) nexus_.reset();
    link_ = Link::Free;
    offer_ = Offer::None;
    leave_ = Leave::Stay;
    phantom_ = false;
    messages_.clear();
    message_pos_ = 0;
    message_out_.clear();
    bus_.release(id_, !was_phantom && nexus_.has_value());
    if (pending_reselection_) {
        schedule_reselection(*pending_reselection_);
    } else if (nexus_) {
        schedule_reselection({nexus_->lun, false, 0});
    }
}

// --- Offers --------------------------------------------------------------------------------

// A message broken off by anything but its own next byte is dropped, as the initiator drops it.
void ChaosTarget::break_off_message() {
    if (message_pos_ == 0 || messages_.empty()) return;
    messages_.pop_front();
    message_pos_ = 0;
}

void ChaosTarget::offer_in(Offer kind, Phase phase, const std::uint8_t* bytes, std::uint32_t length) {
    if (kind != Offer::MessageIn) break_off_message();
    offer_ = kind;
    bus_.send(id_, phase, bytes, length);
    arm_watchdog();
}

void ChaosTarget::offer_out(Offer kind, Phase phase, std::uint8_t* buffer, std::uint32_t length) {
    break_off_message();
    offer_ = kind;
    bus_.receive(id_, phase, buffer, length);
    arm_watchdog();
}

// The rest of the data phase, or a part of it: every chunk is a REQ at which the step may
// choose something else.
void ChaosTarget::offer_data() {
    Nexus& n = *active();
    if (n.position >= n.length) {
        data_phase_done();
        return behave();
    }
    const std::uint32_t remaining = n.length - n.position;
    offered_ = random_.chance(50) ? remaining : std::uint32_t(random_.between(1, remaining));
    if (n.direction == DataDirection::In) {
        offer_in(Offer::DataIn, Phase::DataIn, n.data.data() + n.position, offered_);
    } else {
        offer_out(Offer::DataOut, Phase::DataOut, n.data.data() + n.position, offered_);
    }
}

void ChaosTarget::data_phase_done() {
    Nexus& n = *active();
    if (n.direction == DataDirection::Out) {
        const std::span<const std::uint8_t> cdb(n.cdb.data(), n.cdb_length);
        const std::size_t arrived = std::min<std::size_t>(n.position, n.data.size());
        n.status = disk_->finish_out(cdb, std::span(n.data.data(), arrived), sense_[n.lun]).status;
    }
    n.stage = Stage::Status;
}

void ChaosTarget::transfer_done(io::Nanoseconds at) {
    if (watchdog_event_ != 0) clock_.cancel(watchdog_event_);
    watchdog_event_ = 0;
    const Offer kind = offer_;
    offer_ = Offer::None;
    Nexus* n = active();
    switch (kind) {
    case Offer::MessageOut:
        // Bytes keep coming while ATN stays up.
        if (message_out_.size() < kLongestMessageOut) message_out_.push_back(byte_);
        if (bus_.atn()) {
            offer_ = Offer::MessageOut;
            bus_.receive(id_, Phase::MessageOut, &byte_, 1);
            return arm_watchdog();
        }
        process_message_out();
        break;
    case Offer::Command:
        if (n == nullptr) break;
        if (n->cdb_received == 0) {  // the operation code tells how many bytes follow
            n->cdb_received = 1;
            n->cdb_length = cdb_length(n->cdb[0]);
            offer_ = Offer::Command;
            bus_.receive(id_, Phase::Command, n->cdb.data() + 1, n->cdb_length - 1);
            return arm_watchdog();
        }
        n->cdb_received = n->cdb_length;
        execute();
        return schedule_step(at + kCommandDelay);
    case Offer::MessageIn:
        message_byte_sent();
        break;
    case Offer::DataIn:
    case Offer::DataOut:
        if (n == nullptr) break;
        n->position += offered_;
        if (n->position >= n->length && n->stage == Stage::Data) data_phase_done();
        break;
    case Offer::Status:
        if (n != nullptr) n->stage = Stage::Complete;
        break;
    case Offer::Junk:
    case Offer::None:
        break;
    }
    schedule_step(at + kPhaseDelay);
}

// --- Patience ------------------------------------------------------------------------------

// Once the misbehaviour window is over, a target kept waiting by an initiator that moves no
// byte gives up and leaves the bus, so that no connection outlives the run.
void ChaosTarget::arm_watchdog() {
    if (watchdog_event_ != 0) clock_.cancel(watchdog_event_);
    watchdog_left_ = bus_.offer_left();
    const io::Nanoseconds from = std::max(clock_.now(), window_start_ + settings_.misbehaviour_window);
    watchdog_event_ = clock_.schedule_at(from + settings_.patience, [this] {
        watchdog_event_ = 0;
        watchdog();
    });
}

void ChaosTarget::watchdog() {
    if (link_ != Link::Connected || offer_ == Offer::None) return;
    if (bus_.offer_left() != watchdog_left_) return arm_watchdog();  // bytes moved: still going
    ++stats_.gave_up;
    leave_bus(false);
}

// --- Commands ------------------------------------------------------------------------------

void ChaosTarget::execute() {
    Nexus& n = *active();
    const std::span<const std::uint8_t> cdb(n.cdb.data(), n.cdb_length);
    if (!n.identified) n.lun = cdb[1] >> 5;  // without IDENTIFY the command names the LUN
    n.data.clear();
    const Outcome outcome = run_command(cdb, n.data);
    n.status = outcome.status;
    n.direction = outcome.direction;
    n.length = outcome.direction == DataDirection::None ? 0 : outcome.length;
    n.data.resize(n.length);
    n.position = n.saved = 0;
    if (n.direction == DataDirection::In && n.lun == 0 && reads_blocks(n)) {
        const std::uint64_t lba = cdb[0] == op::kRead6 ? (std::uint64_t(cdb[1] & 0x1F) << 16) | be16(cdb, 2)
                                                       : std::uint64_t(be32(cdb, 2));
        n.image_offset = lba * DiskUnit::kBlockSize;
    }
    n.stage = n.length > 0 ? Stage::Data : Stage::Status;
    if (n.direction == DataDirection::Out && n.length == 0) data_phase_done();
}

bool ChaosTarget::reads_blocks(const Nexus& n) {
    return n.cdb_length > 0 && (n.cdb[0] == op::kRead6 || n.cdb[0] == op::kRead10);
}

// The disk at LUN 0 runs the command; REQUEST SENSE and the LUNs without a unit are answered
// here, as a target does for its units.
Outcome ChaosTarget::run_command(std::span<const std::uint8_t> cdb, std::vector<std::uint8_t>& data) {
    const std::uint8_t lun = active()->lun;
    Sense& sense = sense_[lun];
    if (cdb[0] == op::kRequestSense) {
        std::uint8_t encoded[kFixedSenseLength];
        encode_fixed_sense(sense_[lun], encoded);
        sense = Sense{};
        const unsigned wanted = cdb[4] == 0 ? 4 : cdb[4];  // SCSI-2: 0 asks for 4 bytes
        data.assign(encoded, encoded + std::min<unsigned>(wanted, kFixedSenseLength));
        return LogicalUnit::data_in(std::uint32_t(data.size()));
    }
    if (lun != 0) {
        if (cdb[0] != op::kInquiry) return LogicalUnit::check(sense, sense_key::kIllegalRequest, asc::kLunNotSupported);
        data = standard_inquiry(0x1F, false, Identity{});
        data[0] = 0x7F;  // qualifier 3: no unit can be at this LUN
        data.resize(std::min<std::size_t>(data.size(), cdb[4]));
        return LogicalUnit::data_in(std::uint32_t(data.size()));
    }
    sense = Sense{};
    return disk_->begin(cdb, data, sense);
}

// More data in than the command asks: a READ goes on with the image's next bytes (up to the
// image's end), anything else with junk.
void ChaosTarget::extend_read(std::uint32_t length) {
    Nexus& n = *active();
    if (length <= n.data.size()) return;
    const std::size_t have = n.data.size();
    if (n.image_offset) {
        const std::uint64_t start = *n.image_offset + have;
        const std::uint64_t size = disk_->image().size();
        const std::uint64_t more = start >= size ? 0 : std::min<std::uint64_t>(length - have, size - start);
        n.data.resize(have + more);
        if (more > 0 && !disk_->image().read(start, n.data.data() + have, more)) n.data.resize(have);
    } else {
        n.data.resize(length);
        random_.fill(std::span(n.data).subspan(have));
    }
    n.length = std::uint32_t(n.data.size());
}

} // namespace orvo::scsi
