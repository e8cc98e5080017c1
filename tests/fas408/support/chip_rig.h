#pragma once
// A small machine for tests: the chip at kBase on the port bus, a SCSI bus with its trace
// kept, and an initiator that works the chip by register accesses the way a driver does.
// The helpers are plain register sequences; run() strings them into whole exchanges.

#include "machine/fas408/fas408.h"
#include "machine/io/backplane.h"
#include "machine/scsi/bus.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace orvo::test {

struct Interrupt {
    bool timed_out = true;
    std::uint8_t status = 0;  // STATUS when bit 7 showed
    std::uint8_t bits = 0;    // INT_STATUS
    std::uint8_t phase() const { return status & fas408::status_bits::kPhaseMask; }
};

struct Request {
    std::uint8_t target = 0;
    std::uint8_t lun = 0;
    std::vector<std::uint8_t> cdb{};
    std::uint32_t data_in = 0;           // bytes expected in
    std::vector<std::uint8_t> data_out{};  // bytes to send
    bool offer_sdtr = false;             // IDENTIFY + SDTR (select and stop)
    std::uint8_t offer_period = 25;
    std::uint8_t offer_offset = 15;
    bool data_fifo_select = false;       // 0xC2 / 0xC3, bytes through PIO_DATA
    unsigned width = 1;                  // PIO_DATA cycles for data: 1 or 4 bytes
};

struct Exchange {
    Interrupt selection;
    std::uint8_t seq_step = 0;
    bool completed = false;  // status and message came and the bus went free
    std::uint8_t status = 0xFF;
    std::uint8_t message = 0xFF;
    std::vector<std::uint8_t> data;
    std::uint32_t out_residual = 0;  // data out: bytes the target did not take
    std::vector<std::vector<std::uint8_t>> messages_in;  // every message taken in MESSAGE IN
    std::vector<std::uint8_t> phases;                    // the phases served, in order
    std::uint8_t reselect_id = 0;                        // ID byte of the last reselection
};

class ChipRig {
public:
    static constexpr std::uint16_t kBase = 0x290;

    io::Backplane bp;
    scsi::ScsiBus bus{bp.clock};
    fas408::Fas408 chip{bp.clock, bus};

    ChipRig();

    // Register access; rd1/wr1 go through bank 1 and come back to bank 0.
    std::uint8_t rd(std::uint8_t offset) { return bp.ports.read8(kBase + offset); }
    void wr(std::uint8_t offset, std::uint8_t v) { bp.ports.write8(kBase + offset, v); }
    void bank(unsigned b) { wr(fas408::reg::kConfig4, b ? fas408::config4::kBank1 : 0x00); }
    std::uint8_t rd1(std::uint8_t offset);
    void wr1(std::uint8_t offset, std::uint8_t v);
    void command(std::uint8_t code) { wr(fas408::reg::kCommand, code); }
    void load_count(std::uint32_t n);
    std::uint32_t count();

    // Chip reset, then the initialisation the driver does (async, own ID 7).
    void init(bool parity = false);
    // Polls STATUS until an interrupt shows (then reads INT_STATUS) or `limit` passes.
    Interrupt wait(io::Nanoseconds limit = 2 * io::kSecond);
    // Programs the chip for an SDTR agreement the way the driver converts it.
    void set_sync(std::uint8_t period_factor, std::uint8_t offset);
    void set_async();

    // One phase each, as the driver runs them; they return what the chip reported next.
    Interrupt select(const Request& r, std::uint8_t* seq_step);
    Interrupt command_through_pio(std::span<const std::uint8_t> cdb);
    Interrupt message_out(std::span<const std::uint8_t> bytes);
    std::vector<std::uint8_t> data_in(unsigned width);
    std::uint32_t data_out(std::span<const std::uint8_t> bytes, unsigned width);
    // Collects one message in MESSAGE IN; ACK of its last byte stays held. Returns early
    // (with what it has) when the target leaves the phase; `last` is that interrupt.
    std::vector<std::uint8_t> message_in(Interrupt* last);

    // The chip answers a reselection only while it selects: waits (bounded) until a target
    // reselects, then selects an ID nobody has, as a driver's next request would.
    Interrupt await_reselection(io::Nanoseconds limit = 5 * io::kSecond);

    // A whole exchange: selection, every phase the target asks for, reselection, to bus free.
    Exchange run(const Request& r);

    std::vector<std::string> trace() const { return bus_events(); }
    std::string dump() const;  // chip history and bus trace, for failure messages

private:
    struct Terms {
        std::uint8_t period = 0;
        std::uint8_t offset = 0;
    };
    void apply_terms(std::uint8_t target);
    std::vector<std::string> bus_events() const;
    Terms agreed_[8]{};  // per target, as the driver keeps them (LUN 0 only)
    scsi::ScsiBus& mutable_bus() const { return const_cast<scsi::ScsiBus&>(bus); }
};

// The driver's conversion of an SDTR agreement into chip values: low byte clocks (bit 7 =
// fast), high byte offset (at most 15).
std::uint16_t sync_reg_value(std::uint8_t period_factor, std::uint8_t offset);

} // namespace orvo::test
