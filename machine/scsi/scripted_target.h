#pragma once
// A target that plays a fixed script after it is selected: send given bytes in given phases,
// take a given number of bytes, disconnect, reselect, let the bus go. It knows no commands
// and ignores ATN, so it can show an initiator anything a real device might do, including
// what no well-behaved device would. Steps run in order; a script that ends while the target
// is on the bus ends in bus free.

#include "machine/scsi/bus.h"

#include <vector>

namespace orvo::scsi {

struct ScriptStep {
    enum class Kind : std::uint8_t { Send, Receive, Release, Disconnect, Reselect };
    Kind kind = Kind::Send;
    Phase phase = Phase::MessageIn;
    std::vector<std::uint8_t> bytes;  // Send: what goes out
    std::uint32_t count = 0;          // Receive: bytes taken; Reselect: the LUN named
    io::Nanoseconds delay = 2 * io::kMicrosecond;  // before the step starts

    static ScriptStep send(Phase phase, std::vector<std::uint8_t> bytes) {
        return {Kind::Send, phase, std::move(bytes), 0};
    }
    static ScriptStep receive(Phase phase, std::uint32_t count) { return {Kind::Receive, phase, {}, count}; }
    static ScriptStep release() { return {Kind::Release, Phase::MessageIn, {}, 0}; }
    static ScriptStep disconnect() { return {Kind::Disconnect, Phase::MessageIn, {}, 0}; }
    static ScriptStep reselect(std::uint8_t lun, io::Nanoseconds delay) {
        return {Kind::Reselect, Phase::MessageIn, {}, lun, delay};
    }
};

class ScriptedTarget final : public TargetPort {
public:
    ScriptedTarget(ScsiBus& bus, std::uint8_t id, std::vector<ScriptStep> script,
                   TransferAgreement agreement = {});
    ~ScriptedTarget() override;
    ScriptedTarget(const ScriptedTarget&) = delete;
    ScriptedTarget& operator=(const ScriptedTarget&) = delete;

    // Bytes taken by each Receive step, in script order.
    const std::vector<std::vector<std::uint8_t>>& received() const { return received_; }
    std::size_t position() const { return pos_; }
    bool finished() const { return pos_ >= script_.size() && !on_bus_; }
    void set_agreement(TransferAgreement agreement) { agreement_ = agreement; }

    io::Nanoseconds selection_response() const override { return 2 * io::kMicrosecond; }
    void selected(std::uint8_t initiator, bool atn) override;
    void transfer_done(io::Nanoseconds at) override;
    void arbitration_won() override;
    void reselection_answered() override;
    void reselection_failed() override;
    void bus_reset() override;
    TransferAgreement agreement() const override { return agreement_; }

private:
    void schedule_step(io::Nanoseconds at);
    void run_step();
    void step_done(io::Nanoseconds at);

    ScsiBus& bus_;
    std::uint8_t id_;
    std::vector<ScriptStep> script_;
    TransferAgreement agreement_;
    std::vector<std::vector<std::uint8_t>> received_;
    std::size_t pos_ = 0;
    std::uint8_t initiator_ = 7;
    bool on_bus_ = false;
    bool reselecting_ = false;
    io::VirtualClock::EventId event_ = 0;
};

} // namespace orvo::scsi
