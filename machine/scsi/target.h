#pragma once
// A SCSI-2 target: the bus protocol of a device with logical units behind it.
//
// It answers selection (with or without ATN), takes IDENTIFY and the other initiator
// messages (ABORT, BUS DEVICE RESET, MESSAGE REJECT, NO OPERATION, INITIATOR DETECTED ERROR,
// MESSAGE PARITY ERROR, SDTR, WDTR; anything else is rejected), receives the command, runs
// it on the addressed unit, and goes through data, status and COMMAND COMPLETE. It keeps
// sense data per LUN and initiator for REQUEST SENSE, raises unit attention after power-on,
// bus reset and BUS DEVICE RESET, answers for missing LUNs itself (INQUIRY qualifier 3;
// otherwise LOGICAL UNIT NOT SUPPORTED), and may disconnect and reselect. ATN is honoured at
// every phase boundary and after every message it sends. TargetBehaviour adds the unusual.
//
// The state machine: `state_` is what the target does on the bus, `io_.stage` how far the
// command has got; next() decides the next phase and runs from the target's one clock event.

#include "machine/scsi/bus.h"
#include "machine/scsi/logical_unit.h"
#include "machine/scsi/target_behaviour.h"

#include <array>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace orvo::scsi {

struct TargetStats {
    std::uint64_t selections = 0;
    std::uint64_t commands = 0;
    std::uint64_t reselections = 0;
    std::uint64_t messages_rejected = 0;  // MESSAGE REJECT sent
    std::uint64_t resets = 0;             // bus resets and BUS DEVICE RESET
};

class ScsiTarget final : public TargetPort {
public:
    static constexpr std::uint8_t kLuns = 8;

    ScsiTarget(ScsiBus& bus, std::uint8_t id, TargetBehaviour behaviour = {});
    ~ScsiTarget() override;
    ScsiTarget(const ScsiTarget&) = delete;
    ScsiTarget& operator=(const ScsiTarget&) = delete;

    void attach_unit(std::uint8_t lun, std::unique_ptr<LogicalUnit> unit);
    LogicalUnit* unit(std::uint8_t lun) const { return lun < kLuns ? units_[lun].get() : nullptr; }
    TargetBehaviour& behaviour() { return behaviour_; }
    std::uint8_t id() const { return id_; }
    const TargetStats& stats() const { return stats_; }

    // TargetPort
    io::Nanoseconds selection_response() const override { return behaviour_.selection_response; }
    void selected(std::uint8_t initiator, bool atn) override;
    void transfer_done(io::Nanoseconds at) override;
    void arbitration_won() override;
    void reselection_answered() override;
    void reselection_failed() override;
    void bus_reset() override;
    TransferAgreement agreement() const override { return agreement_; }

private:
    enum class State : std::uint8_t {
        Free,          // not on the bus, no command kept
        Busy,          // on the bus between phases (BSY, no REQ)
        MessageOut,
        CommandBytes,
        MessageIn,
        DataIn,
        DataOut,
        StatusByte,
        Stuck,         // in one phase for good
        Disconnected,  // off the bus, command kept, reselection pending
        Reselecting,   // arbitrating to reselect
    };
    enum class Stage : std::uint8_t { Command, Execute, Data, Status, Complete };
    enum class Leave : std::uint8_t { Stay, BusFree, Disconnect };
    enum class Pending : std::uint8_t { None, TargetSdtr, AnswerSdtr, TargetWdtr, AnswerWdtr };

    struct IoProcess {
        std::uint8_t lun = 0;
        std::uint8_t initiator = 7;
        bool identified = false;
        bool may_disconnect = false;
        std::array<std::uint8_t, 16> cdb{};
        unsigned cdb_length = 0;
        Stage stage = Stage::Command;
        DataDirection direction = DataDirection::None;
        std::vector<std::uint8_t> data;
        std::uint32_t data_length = 0;  // bytes of the data phase on the bus
        std::uint32_t data_done = 0;
        std::uint32_t data_saved = 0;   // SAVE DATA POINTER
        bool split_done = false;        // the mid-data disconnection happened
        std::uint8_t status = status::kGood;
    };
    struct OutgoingMessage {
        std::vector<std::uint8_t> bytes;
        std::size_t break_after = 0;  // leave MESSAGE IN after this many bytes (0 = never)
    };

    // The step function: runs at the target's clock event.
    void next();
    void schedule(io::Nanoseconds at);
    void cancel_event();
    void enter_message_out();
    void enter_message_in();
    void enter_data();
    void offer_in(State state, Phase phase, const std::uint8_t* data, std::uint32_t length);
    void offer_out(State state, Phase phase, std::uint8_t* buffer, std::uint32_t length);
    bool become_stuck(Phase phase);
    void refill_stuck();
    void leave_bus();
    void start_reselection();
    void data_phase_done();
    bool may_disconnect() const {
        return io_.may_disconnect || behaviour_.ignore_disconnect_privilege;
    }

    // Commands (target.cpp).
    void execute();
    Outcome dispatch(std::span<const std::uint8_t> cdb, Sense& sense);
    Sense take_sense(std::uint8_t lun, std::uint8_t initiator);
    void queue_after_command();

    // Messages (target_messages.cpp).
    void queue(std::vector<std::uint8_t> bytes, std::size_t break_after = 0);
    void message_byte_sent(io::Nanoseconds at);
    void message_sent(const std::vector<std::uint8_t>& m);
    void process_messages();
    bool one_byte_message(std::uint8_t code);
    void extended_message(std::span<const std::uint8_t> body);
    void sdtr_received(std::uint8_t period, std::uint8_t offset);
    void wdtr_received(std::uint8_t exponent);
    void identify_received(std::uint8_t identify);
    void reject_received();
    void initiator_error(std::uint8_t message);
    void reject();
    void reset_device();

    ScsiBus& bus_;
    io::VirtualClock& clock_;
    std::uint8_t id_;
    TargetBehaviour behaviour_;
    TargetStats stats_;
    std::array<std::unique_ptr<LogicalUnit>, kLuns> units_;

    State state_ = State::Free;
    Leave leave_ = Leave::Stay;
    bool has_io_ = false;
    IoProcess io_;
    std::optional<IoProcess> suspended_;  // a disconnected command put aside by a new selection
    io::VirtualClock::EventId event_ = 0;
    std::uint32_t offered_ = 0;  // bytes of the current data offer

    std::deque<OutgoingMessage> msg_in_;
    std::size_t msg_pos_ = 0;
    std::vector<std::uint8_t> last_sent_;
    std::vector<std::uint8_t> msg_out_;
    std::uint8_t msg_byte_ = 0;

    TransferAgreement agreement_;
    TransferAgreement proposal_;  // the terms being negotiated
    Pending pending_ = Pending::None;
    bool sdtr_initiated_ = false;  // since the last reset
    bool wdtr_initiated_ = false;

    // Sense per LUN and initiator; unit attention as a bit per initiator.
    std::array<std::array<Sense, 8>, kLuns> sense_{};
    std::array<std::uint8_t, kLuns> unit_attention_{};
    std::array<std::uint8_t, 256> filler_{};
    Phase stuck_phase_ = Phase::DataIn;
};

} // namespace orvo::scsi
