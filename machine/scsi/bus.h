#pragma once
// The SCSI bus between the host adapter chip (the initiator) and targets 0-7.
//
// Signals are modelled at the level the devices act on: bus free, arbitration, selection,
// reselection, the phase lines with REQ, ATN, ACK held on a message-in byte, and RST. Bytes
// move in REQ/ACK handshakes: a target states what it offers (input phases) or accepts
// (output phases) in the current phase, and the initiator moves bytes against that offer.
// The initiator paces the handshakes itself: it moves as many bytes as the elapsed virtual
// time allows at handshake_time() or data_byte_time() per byte, so bulk data costs no clock
// event per byte.
//
// Rules the devices keep:
//  - A target changes phase or leaves the bus only from its own clock events, never inside
//    transfer_done(); there it may only go on in the same phase with a new offer.
//  - The initiator hears of every change the targets make through Initiator::bus_changed()
//    and reads the bus state itself; calls it makes itself are not echoed back.

#include "machine/io/clock.h"
#include "machine/scsi/bus_trace.h"
#include "machine/scsi/phase.h"
#include "machine/scsi/protocol.h"

#include <array>
#include <cstdint>
#include <string>

namespace orvo::scsi {

// The adapter side, implemented by the initiator chip.
class Initiator {
public:
    virtual void bus_changed() = 0;      // a target connected, asked for a phase or left
    virtual void arbitration_won() = 0;  // the initiator now calls select()
    virtual bool answer_reselection(std::uint8_t target, std::uint8_t initiator_id) = 0;
    virtual void bus_reset_seen() = 0;

protected:
    ~Initiator() = default;
};

// The device side, implemented by every target.
class TargetPort {
public:
    virtual ~TargetPort() = default;
    virtual io::Nanoseconds selection_response() const = 0;  // SEL seen to BSY
    virtual void selected(std::uint8_t initiator, bool atn) = 0;
    virtual void transfer_done(io::Nanoseconds at) = 0;  // the current offer is used up
    virtual void arbitration_won() = 0;                  // the target now calls reselect()
    virtual void reselection_answered() = 0;
    virtual void reselection_failed() = 0;
    virtual void bus_reset() = 0;
    virtual TransferAgreement agreement() const = 0;
};

// How the initiator runs a data phase.
struct InitiatorTiming {
    io::Nanoseconds period = 0;  // synchronous period
    std::uint8_t offset = 0;     // 0 = asynchronous
};

struct BusStats {
    std::uint64_t selections = 0;
    std::uint64_t selection_timeouts = 0;
    std::uint64_t reselections = 0;
    std::uint64_t resets = 0;
    std::uint64_t bus_errors = 0;
    std::uint64_t parity_errors = 0;
    std::uint64_t bytes_in = 0;   // target to initiator
    std::uint64_t bytes_out = 0;  // initiator to target
};

class ScsiBus {
public:
    static constexpr io::Nanoseconds kBusFreeDelay = 800;
    static constexpr io::Nanoseconds kArbitrationDelay = 2400;
    static constexpr io::Nanoseconds kReselectionTimeout = 250 * io::kMillisecond;
    static constexpr io::Nanoseconds kAsyncByteTime = 200;  // about 5 MB/s
    static constexpr std::uint8_t kIds = 8;
    static constexpr std::uint8_t kNobody = 0xFF;

    enum class State : std::uint8_t { Free, Arbitration, Selection, Reselection, Connected, Reset };

    explicit ScsiBus(io::VirtualClock& clock);
    ~ScsiBus();
    ScsiBus(const ScsiBus&) = delete;
    ScsiBus& operator=(const ScsiBus&) = delete;

    // Wiring. A target ID can hold one device; throws std::invalid_argument otherwise.
    void attach_initiator(Initiator* initiator) { initiator_ = initiator; }
    void attach_target(std::uint8_t id, TargetPort* target);
    void detach_target(std::uint8_t id);
    TargetPort* target(std::uint8_t id) const { return id < kIds ? targets_[id] : nullptr; }

    io::VirtualClock& clock() { return clock_; }
    BusTrace& trace() { return trace_; }
    const BusStats& stats() const { return stats_; }
    const std::string& last_bus_error() const { return last_bus_error_; }
    void set_async_byte_time(io::Nanoseconds t) { async_byte_time_ = t ? t : 1; }

    // --- What both sides see --------------------------------------------------------------
    State state() const { return state_; }
    bool connected() const { return state_ == State::Connected; }
    std::uint8_t connected_target() const { return connected_; }
    Phase phase() const { return phase_; }
    // MSG, C/D, I/O as the initiator samples them: the target's phase while connected, else 0.
    std::uint8_t phase_lines() const { return connected() ? scsi::phase_lines(phase_) : 0; }
    // REQ: the target waits for a handshake in the current phase.
    bool req() const { return connected() && offer_.active && offer_.left > 0 && !ack_held_; }
    std::uint32_t offer_left() const { return req() ? offer_.left : 0; }
    bool atn() const { return atn_; }
    bool ack_held() const { return ack_held_; }

    // --- Initiator side ---------------------------------------------------------------------
    void initiator_arbitrate(std::uint8_t id);
    void initiator_withdraw();
    void select(std::uint8_t initiator_id, std::uint8_t target, bool atn);
    void selection_timed_out();  // the initiator gives up and releases SEL
    void set_atn(bool on) { atn_ = on; }
    // Move bytes of the current offer; `at` is the handshake time of the last byte. A
    // message-in byte is taken one at a time and leaves ACK held until release_ack().
    std::uint32_t take(std::uint8_t* dst, std::uint32_t max, io::Nanoseconds at, bool* bad_parity);
    std::uint32_t give(const std::uint8_t* src, std::uint32_t max, io::Nanoseconds at);
    void release_ack(io::Nanoseconds at);
    // Handshake time of the non-data phases (always asynchronous).
    io::Nanoseconds handshake_time() const { return async_byte_time_; }
    // Byte time of a data phase run with the initiator's terms. Terms the connected target
    // did not agree to are a bus error: traced, counted, and run at the slower of the rates.
    io::Nanoseconds data_byte_time(const InitiatorTiming& initiator);
    void note_parity_error();
    void reset(io::Nanoseconds hold);
    // A reselection nobody has answered yet holds the bus for up to kReselectionTimeout: the
    // initiator ID it is meant for (kNobody when none), and the answer given later.
    std::uint8_t reselection_waiting_for() const {
        return state_ == State::Reselection ? reselecting_initiator_ : kNobody;
    }
    std::uint8_t reselecting_target() const { return state_ == State::Reselection ? selecting_ : kNobody; }
    void answer_pending_reselection();

    // --- Target side ------------------------------------------------------------------------
    void target_arbitrate(std::uint8_t id);
    void target_withdraw(std::uint8_t id);
    // An offer made for the other direction than the phase's (bytes sent in an output phase,
    // taken in an input phase) still runs its handshakes: the target drops what the initiator
    // drives, and drives nothing itself, so the initiator reads released lines (0x00).
    void send(std::uint8_t id, Phase phase, const std::uint8_t* data, std::uint32_t length,
              bool bad_parity = false);
    void receive(std::uint8_t id, Phase phase, std::uint8_t* buffer, std::uint32_t length);
    // Bus free. keeps_nexus: the target disconnects and will reselect.
    void release(std::uint8_t id, bool keeps_nexus);
    void reselect(std::uint8_t target, std::uint8_t initiator_id, std::uint8_t lun);

private:
    struct Offer {
        bool active = false;
        bool bad_parity = false;
        const std::uint8_t* in = nullptr;
        std::uint8_t* out = nullptr;
        std::uint32_t left = 0;
    };
    struct PhaseLine {
        bool open = false;
        Phase phase = Phase::DataOut;
        io::Nanoseconds start = 0;
        std::uint64_t count = 0;
        std::string bytes;
    };

    void make_offer(std::uint8_t id, Phase phase, const std::uint8_t* in, std::uint8_t* out,
                    std::uint32_t length, bool bad_parity);
    void finish_offer(io::Nanoseconds at);
    void go_free();
    void schedule_arbitration();
    void run_arbitration();
    void selection_response();
    void reselection_timeout();
    void connect_reselection();
    void notify_initiator();
    void cancel(io::VirtualClock::EventId& id);
    void event(std::string_view text) { trace_.record(clock_.now(), text); }
    void open_phase_line(Phase phase);
    void close_phase_line();
    void note_bytes(const std::uint8_t* bytes, std::uint32_t n);

    io::VirtualClock& clock_;
    BusTrace trace_;
    BusStats stats_;
    std::string last_bus_error_;
    io::Nanoseconds async_byte_time_ = kAsyncByteTime;
    Initiator* initiator_ = nullptr;
    std::array<TargetPort*, kIds> targets_{};

    State state_ = State::Free;
    io::Nanoseconds free_since_ = 0;
    std::uint8_t target_requests_ = 0;               // bit per target wanting the bus
    std::uint8_t initiator_request_ = kNobody;       // initiator ID wanting the bus
    std::uint8_t connected_ = kNobody;
    std::uint8_t selecting_ = kNobody;
    std::uint8_t selecting_initiator_ = kNobody;
    std::uint8_t reselecting_initiator_ = kNobody;
    Phase phase_ = Phase::DataOut;
    Offer offer_;
    bool atn_ = false;
    bool ack_held_ = false;
    bool in_transfer_ = false;  // inside a target's transfer_done()
    PhaseLine line_;

    io::VirtualClock::EventId arbitration_event_ = 0;
    io::VirtualClock::EventId response_event_ = 0;
    io::VirtualClock::EventId reselection_event_ = 0;
    io::VirtualClock::EventId reset_event_ = 0;
};

} // namespace orvo::scsi
