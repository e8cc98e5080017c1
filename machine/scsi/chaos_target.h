#pragma once
// A target that misbehaves on purpose, driven by a seed. It is a disk on an image (READ data
// comes from the image, WRITE data lands in it) with a plain SCSI-2 protocol underneath, and
// at every REQ it may instead do one of the things of its action table: change phase, send a
// random or malformed message, stall, disconnect, reselect (also with a wrong LUN or with no
// command at all), move more or fewer data bytes than the command asks, drop off the bus, or
// reset the bus. The same seed gives the same run.
//
// What keeps a run finite: misbehaviour is allowed only within a window of virtual time and a
// number of actions counted from the last selection (ChaosSettings); afterwards the target
// behaves. A target that waits for the initiator without progress for `patience` after the
// window gives up and leaves the bus. Reselections are tried a bounded number of times.
//
// What stays true whatever it does: its data pointer follows the SCSI rules (SAVE DATA
// POINTER, RESTORE POINTERS, the restore implied by a reselection), so every data-in byte of
// a READ is the image's byte at that position of the command, also beyond the requested
// length; and data-out bytes of a WRITE land at their position, written to the image when the
// data phase ends (or the command completes early) as a disk does. Junk data moves only where
// the command has no image data: a DATA OUT during a READ is taken and dropped, a DATA IN
// for a command that is no READ sends junk, and no data phase comes before the command is
// known. Messages are whole SCSI messages, one after the other, and the target keeps to what
// each one says.
//
// The state machine: `link_` is what the target does on the bus, `Nexus::stage` how far the
// command has got; step() runs at the target's clock event and picks the next action.

#include "machine/scsi/bus.h"
#include "machine/scsi/disk.h"
#include "machine/scsi/seeded_random.h"

#include <array>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace orvo::scsi {

enum class ChaosAction : std::uint8_t {
    Behave,       // the next step of a well-behaved target
    ChangePhase,  // a few bytes in a phase the command does not call for
    OddMessage,   // a random, malformed or untimely message
    Stall,        // hold REQ off for a while
    Disconnect,   // DISCONNECT, with or without SAVE DATA POINTER, and reselect later
    Reselect,     // leave and come back naming a random LUN (a wrong one: nobody asked)
    DataLength,   // move more or fewer data bytes than the command asks
    DropOff,      // bus free in mid-phase, keeping the command or forgetting it
    ResetBus,     // assert RST
};
inline constexpr std::size_t kChaosActions = 9;
const char* to_string(ChaosAction action);

struct ChaosSettings {
    // Relative weights of the actions, in ChaosAction order. An action that cannot apply at a
    // step (no data to lengthen, say) is left out of that draw.
    std::array<unsigned, kChaosActions> weights{70, 5, 6, 4, 3, 2, 4, 2, 1};
    io::Nanoseconds misbehaviour_window = 50 * io::kMillisecond;  // from the last selection
    unsigned max_misbehaviours = 40;                              // in the same window
    io::Nanoseconds longest_stall = 2 * io::kMillisecond;
    io::Nanoseconds patience = 5 * io::kMillisecond;
    unsigned reselection_attempts = 4;
};

struct ChaosStats {
    std::array<std::uint64_t, kChaosActions> actions{};
    std::uint64_t reselections = 0;          // answered
    std::uint64_t phantom_reselections = 0;  // answered, naming no command of ours
    std::uint64_t gave_up = 0;               // patience ran out, or reselection never answered
};

class ChaosTarget final : public TargetPort {
public:
    static constexpr std::uint8_t kLuns = 8;

    // The disk answers at LUN 0; the other LUNs hold no unit.
    ChaosTarget(ScsiBus& bus, std::uint8_t id, std::uint64_t seed, std::unique_ptr<DiskUnit> disk,
                ChaosSettings settings = {});
    ~ChaosTarget() override;
    ChaosTarget(const ChaosTarget&) = delete;
    ChaosTarget& operator=(const ChaosTarget&) = delete;

    std::uint8_t id() const { return id_; }
    DiskUnit& disk() { return *disk_; }
    const ChaosStats& stats() const { return stats_; }
    ChaosSettings& settings() { return settings_; }
    // True while the target is on the bus, holds a command or means to reselect.
    bool busy() const { return link_ != Link::Free || nexus_.has_value() || pending_reselection_; }

    // TargetPort
    io::Nanoseconds selection_response() const override { return 2 * io::kMicrosecond; }
    void selected(std::uint8_t initiator, bool atn) override;
    void transfer_done(io::Nanoseconds at) override;
    void arbitration_won() override;
    void reselection_answered() override;
    void reselection_failed() override;
    void bus_reset() override;
    TransferAgreement agreement() const override { return agreement_; }

private:
    enum class Link : std::uint8_t { Free, Connected, Reselecting };
    // What the bus currently holds of ours: the offer's kind decides what transfer_done means.
    enum class Offer : std::uint8_t { None, MessageIn, MessageOut, Command, DataIn, DataOut, Status, Junk };
    enum class Stage : std::uint8_t { Command, Data, Status, Complete };
    enum class Leave : std::uint8_t { Stay, BusFree, Disconnect };

    struct Nexus {
        std::uint8_t lun = 0;
        bool identified = false;
        std::array<std::uint8_t, 16> cdb{};
        unsigned cdb_length = 0;  // known once the operation code is in
        unsigned cdb_received = 0;
        Stage stage = Stage::Command;
        DataDirection direction = DataDirection::None;
        std::vector<std::uint8_t> data;  // in: what is sent; out: what arrived
        std::uint32_t length = 0;        // bytes of the data phase as the target means to move them
        std::uint32_t position = 0;      // the data pointer
        std::uint32_t saved = 0;         // the saved data pointer
        std::optional<std::uint64_t> image_offset;  // a READ: the image byte of data[0]
        std::uint8_t status = status::kGood;
    };
    struct Reselection {
        std::uint8_t lun = 0;
        bool phantom = false;  // names no command of ours
        unsigned attempts = 0;
    };
    using ActionRun = void (ChaosTarget::*)();
    using ActionApplies = bool (ChaosTarget::*)() const;
    struct ActionRow {
        ChaosAction action;
        ActionRun run;
        ActionApplies applies;
    };
    static const ActionRow kActions[kChaosActions];

    // The step function and the choice (chaos_target.cpp).
    void step();
    ChaosAction choose();
    bool misbehaviour_allowed() const;
    void schedule_step(io::Nanoseconds at);
    void cancel_step();

    // One function per action (chaos_actions.cpp).
    void behave();
    void change_phase();
    void odd_message();
    void stall();
    void disconnect();
    void reselect_unasked();
    void change_data_length();
    void drop_off();
    void reset_bus();
    bool always() const { return true; }
    // A new message can only start where the last one ended: the initiator could not tell a
    // message broken off in MESSAGE IN from the start of the next.
    bool at_message_boundary() const { return message_pos_ == 0; }
    bool has_data_stage() const;
    static bool reads_blocks(const Nexus& n);
    bool can_disconnect() const;

    // The protocol (chaos_target.cpp).
    Nexus* active();  // the command of this connection; none in a phantom connection
    const Nexus* active() const;
    void connect();
    void offer_in(Offer kind, Phase phase, const std::uint8_t* bytes, std::uint32_t length);
    void offer_out(Offer kind, Phase phase, std::uint8_t* buffer, std::uint32_t length);
    void break_off_message();
    void offer_data();
    void data_phase_done();
    void leave_bus(bool keep_command);
    void reset_device();
    void schedule_reselection(Reselection r);
    void arm_watchdog();
    void watchdog();
    void execute();
    Outcome run_command(std::span<const std::uint8_t> cdb, std::vector<std::uint8_t>& data);
    void extend_read(std::uint32_t length);

    // Messages (chaos_messages.cpp).
    void queue(std::vector<std::uint8_t> message, bool first = false);
    void message_byte_sent();
    void message_sent(const std::vector<std::uint8_t>& m);
    void process_message_out();
    bool one_byte_message(std::uint8_t code);
    void sdtr_received(std::uint8_t period, std::uint8_t offset);
    void reject_received();
    std::vector<std::uint8_t> random_message();
    std::uint8_t random_one_byte_code();

    ScsiBus& bus_;
    io::VirtualClock& clock_;
    std::uint8_t id_;
    SeededRandom random_;
    std::unique_ptr<DiskUnit> disk_;
    ChaosSettings settings_;
    ChaosStats stats_;

    Link link_ = Link::Free;
    Offer offer_ = Offer::None;
    Leave leave_ = Leave::Stay;
    std::uint8_t initiator_ = 7;
    std::optional<Nexus> nexus_;
    bool phantom_ = false;                 // this connection names no command of ours
    std::optional<Reselection> pending_reselection_;
    std::optional<Reselection> reselecting_;
    io::Nanoseconds window_start_ = 0;     // misbehaviour window: since the last selection
    unsigned misbehaviours_ = 0;

    std::deque<std::vector<std::uint8_t>> messages_;  // MESSAGE IN queue; the front is going out
    std::size_t message_pos_ = 0;
    std::vector<std::uint8_t> last_sent_;
    std::vector<std::uint8_t> message_out_;
    std::uint8_t byte_ = 0;                           // one byte in or out (MESSAGE OUT, STATUS)
    std::array<std::uint8_t, 32> junk_{};
    std::uint32_t offered_ = 0;                       // bytes of the current data offer

    TransferAgreement agreement_;
    // An SDTR exchange is open: our proposal waits for the initiator's answer, or our answer
    // to the initiator's proposal waits to go out.
    bool sdtr_exchange_open_ = false;
    std::array<Sense, kLuns> sense_{};

    io::VirtualClock::EventId step_event_ = 0;
    io::VirtualClock::EventId watchdog_event_ = 0;
    std::uint32_t watchdog_left_ = 0;                 // offer bytes left when it was armed
};

} // namespace orvo::scsi
