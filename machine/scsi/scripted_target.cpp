#include "machine/scsi/scripted_target.h"

namespace orvo::scsi {

ScriptedTarget::ScriptedTarget(ScsiBus& bus, std::uint8_t id, std::vector<ScriptStep> script,
                               TransferAgreement agreement)
    : bus_(bus), id_(id), script_(std::move(script)), agreement_(agreement), pos_(script_.size()) {
    bus_.attach_target(id, this);
}

ScriptedTarget::~ScriptedTarget() {
    if (event_ != 0) bus_.clock().cancel(event_);
    bus_.target_withdraw(id_);
    bus_.detach_target(id_);
}

void ScriptedTarget::schedule_step(io::Nanoseconds at) {
    if (event_ != 0) bus_.clock().cancel(event_);
    event_ = bus_.clock().schedule_at(at, [this] {
        event_ = 0;
        run_step();
    });
}

void ScriptedTarget::selected(std::uint8_t initiator, bool) {
    initiator_ = initiator;
    on_bus_ = true;
    pos_ = 0;
    received_.clear();
    if (!script_.empty()) schedule_step(bus_.clock().now() + script_[0].delay);
    else schedule_step(bus_.clock().now());
}

void ScriptedTarget::run_step() {
    if (pos_ >= script_.size()) {
        if (on_bus_) {
            on_bus_ = false;
            bus_.release(id_, false);
        }
        return;
    }
    ScriptStep& s = script_[pos_];
    switch (s.kind) {
    case ScriptStep::Kind::Send:
        if (s.bytes.empty()) return step_done(bus_.clock().now());
        return bus_.send(id_, s.phase, s.bytes.data(), std::uint32_t(s.bytes.size()));
    case ScriptStep::Kind::Receive:
        received_.emplace_back(s.count, 0);
        if (s.count == 0) return step_done(bus_.clock().now());
        return bus_.receive(id_, s.phase, received_.back().data(), s.count);
    case ScriptStep::Kind::Release:
    case ScriptStep::Kind::Disconnect:
        on_bus_ = false;
        bus_.release(id_, s.kind == ScriptStep::Kind::Disconnect);
        return step_done(bus_.clock().now());
    case ScriptStep::Kind::Reselect:
        reselecting_ = true;
        return bus_.target_arbitrate(id_);
    }
}

void ScriptedTarget::step_done(io::Nanoseconds at) {
    ++pos_;
    const io::Nanoseconds delay = pos_ < script_.size() ? script_[pos_].delay : 0;
    if (on_bus_ || (pos_ < script_.size() && script_[pos_].kind == ScriptStep::Kind::Reselect)) {
        schedule_step(at + delay);
    }
}

void ScriptedTarget::transfer_done(io::Nanoseconds at) { step_done(at); }

void ScriptedTarget::arbitration_won() {
    if (reselecting_) bus_.reselect(id_, initiator_, std::uint8_t(script_[pos_].count));
}

void ScriptedTarget::reselection_answered() {
    reselecting_ = false;
    on_bus_ = true;
    step_done(bus_.clock().now());
}

void ScriptedTarget::reselection_failed() { schedule_step(bus_.clock().now() + script_[pos_].delay); }

void ScriptedTarget::bus_reset() {
    if (event_ != 0) bus_.clock().cancel(event_);
    event_ = 0;
    on_bus_ = false;
    reselecting_ = false;
    pos_ = script_.size();
}

} // namespace orvo::scsi
