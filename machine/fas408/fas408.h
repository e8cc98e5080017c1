#pragma once
// The FAS408 SCSI protocol chip as the card carries it: 16 register ports in two banks, a
// 16-byte SCSI FIFO, a 128-byte data FIFO behind PIO_DATA, a 24-bit transfer counter, and an
// initiator sequencer on the SCSI bus. Registers (offsets and bits in registers.h):
//
//  STATUS      bit 7 while an interrupt is pending; bits 6/5 gross / parity error (latched);
//              bit 4 transfer count zero; bits 2..0 the phase lines as the target drives them.
//  INT_STATUS  interrupt bits; reading returns them and clears the interrupt and bits 6/5
//              of STATUS. Bits raised before the read accumulate.
//  SEQ_STEP    step reached by the last selection command (kept until the next one).
//  FIFO_FLAGS  bytes in the SCSI FIFO (bits 4..0).
//  TC_*        the live transfer counter: writes load it, reads give what is left. A transfer
//              command started on a count of 0 runs on 2^24.
//  PIO_STATUS  data-FIFO levels: 0x02 >= 128 bytes to read, 0x04 >= 86, 0x08 >= 44 to read
//              (data in) or room for 80 (data out), 0x10 empty, 0x40 the transfer ended.
//  PIO_CONTROL 0 holds the data FIFO empty and stops it; 1 runs it.
//  PIO_DIRECTION selects which levels PIO_STATUS reports; bytes flow the way the phase goes.
//  CONFIG1     own ID in bits 2..0, 0x10 parity checking, 0x40 no bus-reset interrupt.
//  CONFIG3     0x10 fast timing: without it the chip clocks no faster than 200 ns a byte.
//  SYNC_*      synchronous period (clocks of the chip clock) and offset for data phases.
//  SRAM        128 bytes written through SRAM_ADDR / SRAM_DATA; the machine reads them.
//  Write-only and unused offsets read 0x00; writes to read-only ones are ignored. With the
//  card removed every read gives all ones and writes vanish.
//
// Commands: 0x00 nop, 0x01 flush SCSI FIFO, 0x02 chip reset (power-on registers), 0x03 bus
// reset (RST, raises 0x80), 0x10/0x90 transfer information through the SCSI / data FIFO,
// 0x11 status + message (0x08 when both arrived, ACK held), 0x12 message accepted, 0x1A/0x1B
// set/reset ATN, 0x42/0xC2 select with ATN (one message byte, then the command bytes),
// 0x43/0xC3 select with ATN and stop after the message byte. A command that does not fit the
// chip's state (transfer while disconnected, select while connected, anything but
// nop/flush/resets/ATN while a command runs, an unknown code) raises 0x40 and is ignored.
// The chip is never told to answer reselection: it answers one only while a select command
// of its own waits for the bus (a reselection already holding the bus when the command comes
// included), and drops that command for it.
//
// Interrupts: selection answered -> 0x18 (function complete + bus service) with the target's
// next phase in STATUS; no answer within the SEL_TIMEOUT time-out -> 0x20. A transfer that
// ends (count or phase change) -> 0x10 at the target's next request; a message-in byte ->
// 0x08 with ACK held until message accepted; bus free -> 0x20; reselection -> 0x04 with the
// bus ID byte and IDENTIFY in the SCSI FIFO, ACK held.
//
// Time: every register access first brings the chip up to the virtual time; data moves on
// the bus at the rate the phase allows (handshake time, or the synchronous period) and is
// computed, not stepped byte by byte.

#include "machine/fas408/byte_fifo.h"
#include "machine/fas408/command_history.h"
#include "machine/fas408/registers.h"
#include "machine/io/io_space.h"
#include "machine/scsi/bus.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace orvo::fas408 {

struct Fas408Config {
    std::uint8_t chip_id = 0x05;
    std::uint32_t clock_hz = 40'000'000;
};

struct Fas408Stats {
    std::uint64_t commands = 0;
    std::uint64_t illegal_commands = 0;
    std::uint64_t parity_errors = 0;
    std::uint64_t fifo_overruns = 0;   // bytes written into a full FIFO (dropped)
    std::uint64_t fifo_underruns = 0;  // bytes read from an empty FIFO (read as 0xFF)
};

class Fas408 final : public io::PortDevice, private scsi::Initiator {
public:
    static constexpr std::size_t kDataFifoBytes = 128;
    static constexpr std::size_t kScsiFifoBytes = 16;
    static constexpr io::Nanoseconds kResetHold = 25 * io::kMicrosecond;
    static constexpr io::Nanoseconds kNever = UINT64_MAX;

    // The sequencer. Byte-moving states lie between SelectMessage and MessageByte.
    enum class State : std::uint8_t {
        Disconnected,   // no connection; answers reselection
        Arbitrating,    // select command waits for the bus
        Selecting,      // SEL out, waiting for BSY or the time-out
        SelectMessage,  // select command: the message byte
        SelectCommand,  // select command: the command bytes
        Reselected,     // taking the reselecting target's IDENTIFY
        Transfer,       // transfer information
        StatusByte,     // status + message: the status byte
        MessageByte,    // status + message: the message byte
        AwaitRequest,   // bytes done; completes at the target's next request
        Connected,      // connected, no command running
    };
    static const char* state_name(State s);

    Fas408(io::VirtualClock& clock, scsi::ScsiBus& bus, Fas408Config config = {});
    ~Fas408() override;
    Fas408(const Fas408&) = delete;
    Fas408& operator=(const Fas408&) = delete;

    // Claims the 16 ports at base (std::invalid_argument if taken); detach releases them.
    void attach(io::IoSpace& ports, std::uint16_t base);
    void detach();
    std::uint16_t base() const { return base_; }

    // Card pulled: from `when` on every register reads all ones and writes are lost.
    void set_removed_from(io::Nanoseconds when) { removed_from_ = when; }
    void set_present() { removed_from_ = kNever; }

    // What a read of register `offset` in `bank` would give, without changing the chip (no
    // FIFO byte popped, no interrupt cleared).
    std::uint8_t peek(unsigned bank, unsigned offset);
    std::span<const std::uint8_t, 128> sram() const { return sram_; }
    State state() const { return state_; }
    const Fas408Stats& stats() const { return stats_; }
    const CommandHistory& history() const { return history_; }
    // The command history and the sequencer state, for failure messages.
    std::string describe() const;
    // Name of the register at offset/bank for reads or writes (tracing tools).
    static const char* register_name(unsigned bank, unsigned offset, bool write);

    // io::PortDevice
    std::uint32_t port_read(std::uint16_t port, unsigned width) override;
    void port_write(std::uint16_t port, std::uint32_t value, unsigned width) override;
    void port_read_buffer(std::uint16_t port, void* dst, std::uint32_t count, unsigned width) override;
    void port_write_buffer(std::uint16_t port, const void* src, std::uint32_t count, unsigned width) override;

private:
    using ReadHandler = std::uint32_t (Fas408::*)(unsigned width);
    using WriteHandler = void (Fas408::*)(std::uint32_t value, unsigned width);
    struct RegisterRow;
    struct Dispatch;
    static const RegisterRow kRegisterMap[];
    static const Dispatch& dispatch();
    struct Limit {
        std::uint32_t bytes;
        bool fifo_bound;  // the FIFO, not the count or the offer, sets the limit
    };

    unsigned bank() const { return (config4_ & config4::kBank1) != 0 ? 1 : 0; }
    bool removed() const { return clock_.now() >= removed_from_; }
    bool moving() const { return state_ >= State::SelectMessage && state_ <= State::MessageByte; }
    std::uint8_t own_id() const { return config1_ & config1::kOwnIdMask; }
    void power_on();

    // Register handlers (fas408.cpp), named after the register.
    std::uint32_t tc_low_r(unsigned);
    std::uint32_t tc_mid_r(unsigned);
    std::uint32_t tc_high_r(unsigned);
    std::uint32_t fifo_r(unsigned);
    std::uint32_t fifo_peek(unsigned);
    std::uint32_t status_r(unsigned);
    std::uint32_t int_status_r(unsigned);
    std::uint32_t int_status_peek(unsigned);
    std::uint32_t seq_step_r(unsigned);
    std::uint32_t fifo_flags_r(unsigned);
    std::uint32_t config3_r(unsigned);
    std::uint32_t pio_data_r(unsigned width);
    std::uint32_t pio_data_peek(unsigned width);
    std::uint32_t pio_status_r(unsigned);
    std::uint32_t chip_id_r(unsigned);
    std::uint32_t unmapped_r(unsigned);
    void tc_low_w(std::uint32_t v, unsigned);
    void tc_mid_w(std::uint32_t v, unsigned);
    void tc_high_w(std::uint32_t v, unsigned);
    void fifo_w(std::uint32_t v, unsigned);
    void command_w(std::uint32_t v, unsigned);
    void dest_id_w(std::uint32_t v, unsigned);
    void sel_timeout_w(std::uint32_t v, unsigned);
    void sync_period_w(std::uint32_t v, unsigned);
    void sync_offset_w(std::uint32_t v, unsigned);
    void config1_w(std::uint32_t v, unsigned);
    void clock_factor_w(std::uint32_t v, unsigned);
    void config2_w(std::uint32_t v, unsigned);
    void config3_w(std::uint32_t v, unsigned);
    void config4_w(std::uint32_t v, unsigned);
    void sram_addr_w(std::uint32_t v, unsigned);
    void sram_data_w(std::uint32_t v, unsigned);
    void pio_data_w(std::uint32_t v, unsigned width);
    void pio_control_w(std::uint32_t v, unsigned);
    void pio_direction_w(std::uint32_t v, unsigned);
    void ignored_w(std::uint32_t, unsigned) {}

    // Data FIFO, host side.
    std::size_t data_level() const { return data_fifo_.size() - prefetch_; }
    std::size_t data_room() const { return kDataFifoBytes - data_level(); }
    std::size_t host_read(std::uint8_t* dst, std::size_t n);
    std::size_t host_write(const std::uint8_t* src, std::size_t n);

    // Sequencer (fas408_sequencer.cpp).
    void step(io::Nanoseconds now);
    void step() { step(clock_.now()); }
    bool advance(io::Nanoseconds now);
    bool move_bytes(io::Nanoseconds now);
    Limit limit() const;
    std::uint32_t transfer(std::uint32_t n, io::Nanoseconds at);
    bool bytes_moved();
    bool phase_changed();
    bool nothing_left_in_phase();
    void parity_error();
    bool last_message_byte() const;
    void begin_phase(scsi::Phase phase);
    void enter(State state, scsi::Phase phase);
    void refresh_prefetch();
    void end_data_transfer();
    bool await_request(std::uint8_t bits);
    bool finish(std::uint8_t bits);
    bool lost_bus();
    void raise(std::uint8_t bits);
    void illegal();
    void plan_pump();
    void cancel_events();
    void record_command(std::uint8_t code);
    void start_selection(std::uint8_t code);
    void start_transfer(bool data_path);
    void start_command_complete();
    void message_accepted();
    void reset_chip();
    void selection_timeout_expired();
    io::Nanoseconds selection_timeout() const;
    scsi::InitiatorTiming timing() const;

    // scsi::Initiator
    void bus_changed() override { step(); }
    void arbitration_won() override;
    bool answer_reselection(std::uint8_t target, std::uint8_t initiator_id) override;
    void bus_reset_seen() override;

    io::VirtualClock& clock_;
    scsi::ScsiBus& bus_;
    Fas408Config config_;
    io::IoSpace* ports_ = nullptr;
    std::uint16_t base_ = 0;
    io::Nanoseconds removed_from_ = kNever;

    // Registers.
    std::uint32_t tc_ = 0;
    std::uint8_t dest_id_ = 0;
    std::uint8_t sel_timeout_ = 0;
    std::uint8_t sync_period_ = 0;
    std::uint8_t sync_offset_ = 0;
    std::uint8_t config1_ = 0;
    std::uint8_t clock_factor_ = 0;
    std::uint8_t config2_ = 0;
    std::uint8_t config3_ = 0;
    std::uint8_t config4_ = 0;
    std::uint8_t sram_addr_ = 0;
    std::array<std::uint8_t, 128> sram_{};
    bool pio_on_ = false;
    bool pio_out_ = false;
    std::uint8_t int_status_ = 0;
    bool int_pending_ = false;
    std::uint8_t seq_step_ = 0;
    std::uint8_t error_bits_ = 0;

    // FIFOs. The data-FIFO ring also holds the bytes an output transfer has already counted
    // into the SCSI FIFO (prefetch_ of them at its front), so they move without a copy.
    ByteFifo<kScsiFifoBytes> scsi_fifo_;
    ByteFifo<256> data_fifo_;
    std::uint32_t prefetch_ = 0;
    bool prefetching_ = false;
    bool transfer_ended_ = false;

    // Sequencer.
    State state_ = State::Disconnected;
    bool data_path_ = false;          // the command moves bytes through the data FIFO
    bool stop_after_message_ = false; // select with ATN and stop
    bool phase_known_ = false;        // Transfer: the phase is fixed at the first request
    std::uint8_t pending_int_ = 0;    // AwaitRequest: bits raised with bus service
    scsi::Phase xfer_phase_ = scsi::Phase::DataOut;
    bool streaming_ = false;
    io::Nanoseconds stream_time_ = 0;  // bus time accounted for so far
    io::Nanoseconds byte_time_ = scsi::ScsiBus::kAsyncByteTime;
    io::VirtualClock::EventId pump_event_ = 0;
    io::Nanoseconds pump_at_ = 0;
    io::VirtualClock::EventId timeout_event_ = 0;

    CommandHistory history_;
    Fas408Stats stats_;
};

} // namespace orvo::fas408
