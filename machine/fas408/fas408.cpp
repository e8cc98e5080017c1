// FAS408 registers: the register map, port access and the register handlers.

#include "machine/fas408/fas408.h"

#include <cstring>
#include <string>

namespace orvo::fas408 {

namespace {
constexpr std::uint8_t kUnmappedRead = 0x00;  // write-only and unused offsets
}

// The register map: one row per register and direction of access. Offsets not listed read
// kUnmappedRead and ignore writes. peek is given where a read changes the chip.
struct Fas408::RegisterRow {
    std::uint8_t bank;
    std::uint8_t offset;
    const char* read_name;
    const char* write_name;
    ReadHandler read;
    WriteHandler write;
    ReadHandler peek;
};

using F = Fas408;
const Fas408::RegisterRow Fas408::kRegisterMap[] = {
    // bank, offset, read, write, read handler, write handler, peek
    {0, reg::kTcLow, "TC_LOW", "TC_LOW", &F::tc_low_r, &F::tc_low_w, nullptr},
    {0, reg::kTcMid, "TC_MID", "TC_MID", &F::tc_mid_r, &F::tc_mid_w, nullptr},
    {0, reg::kFifo, "FIFO", "FIFO", &F::fifo_r, &F::fifo_w, &F::fifo_peek},
    {0, reg::kCommand, nullptr, "COMMAND", nullptr, &F::command_w, nullptr},
    {0, reg::kStatus, "STATUS", "DEST_ID", &F::status_r, &F::dest_id_w, nullptr},
    {0, reg::kIntStatus, "INT_STATUS", "SEL_TIMEOUT", &F::int_status_r, &F::sel_timeout_w, &F::int_status_peek},
    {0, reg::kSeqStep, "SEQ_STEP", "SYNC_PERIOD", &F::seq_step_r, &F::sync_period_w, nullptr},
    {0, reg::kFifoFlags, "FIFO_FLAGS", "SYNC_OFFSET", &F::fifo_flags_r, &F::sync_offset_w, nullptr},
    {0, reg::kConfig1, nullptr, "CONFIG1", nullptr, &F::config1_w, nullptr},
    {0, reg::kClockFactor, nullptr, "CLOCK_FACTOR", nullptr, &F::clock_factor_w, nullptr},
    {0, reg::kConfig2, nullptr, "CONFIG2", nullptr, &F::config2_w, nullptr},
    {0, reg::kConfig3, "CONFIG3", "CONFIG3", &F::config3_r, &F::config3_w, nullptr},
    {0, reg::kConfig4, nullptr, "CONFIG4", nullptr, &F::config4_w, nullptr},
    {0, reg::kTcHigh, "TC_HIGH", "TC_HIGH", &F::tc_high_r, &F::tc_high_w, nullptr},
    {1, reg1::kSramAddr, nullptr, "SRAM_ADDR", nullptr, &F::sram_addr_w, nullptr},
    {1, reg1::kSramData, nullptr, "SRAM_DATA", nullptr, &F::sram_data_w, nullptr},
    {1, reg1::kPioData, "PIO_DATA", "PIO_DATA", &F::pio_data_r, &F::pio_data_w, &F::pio_data_peek},
    {1, reg1::kPioStatus, "PIO_STATUS", "PIO_CONTROL", &F::pio_status_r, &F::pio_control_w, nullptr},
    {1, reg1::kPioDirection, nullptr, "PIO_DIRECTION", nullptr, &F::pio_direction_w, nullptr},
    {1, reg1::kConfig4, nullptr, "CONFIG4", nullptr, &F::config4_w, nullptr},
    {1, reg1::kChipId, "CHIP_ID", nullptr, &F::chip_id_r, nullptr, nullptr},
};

// The map spread out by bank and offset, built once.
struct Fas408::Dispatch {
    ReadHandler read[2][kRegisterPorts];
    WriteHandler write[2][kRegisterPorts];
    const RegisterRow* row[2][kRegisterPorts];
};

const Fas408::Dispatch& Fas408::dispatch() {
    static const Dispatch table = [] {
        Dispatch d{};
        for (unsigned b = 0; b < 2; ++b) {
            for (unsigned o = 0; o < kRegisterPorts; ++o) {
                d.read[b][o] = &F::unmapped_r;
                d.write[b][o] = &F::ignored_w;
                d.row[b][o] = nullptr;
            }
        }
        for (const RegisterRow& r : kRegisterMap) {
            if (r.read != nullptr) d.read[r.bank][r.offset] = r.read;
            if (r.write != nullptr) d.write[r.bank][r.offset] = r.write;
            d.row[r.bank][r.offset] = &r;
        }
        return d;
    }();
    return table;
}

const char* Fas408::register_name(unsigned bank, unsigned offset, bool write) {
    const RegisterRow* r = dispatch().row[bank & 1][offset & 0x0F];
    const char* name = r == nullptr ? nullptr : (write ? r->write_name : r->read_name);
    return name != nullptr ? name : "-";
}

// --- Life cycle -------------------------------------------------------------------------------

Fas408::Fas408(io::VirtualClock& clock, scsi::ScsiBus& bus, Fas408Config config)
    : clock_(clock), bus_(bus), config_(config) {
    bus_.attach_initiator(this);
    power_on();
}

Fas408::~Fas408() {
    cancel_events();
    detach();
    bus_.attach_initiator(nullptr);
}

void Fas408::attach(io::IoSpace& ports, std::uint16_t base) {
    detach();
    ports.map(base, kRegisterPorts, this);
    ports_ = &ports;
    base_ = base;
}

void Fas408::detach() {
    if (ports_ != nullptr) ports_->unmap(base_, kRegisterPorts);
    ports_ = nullptr;
}

void Fas408::power_on() {
    tc_ = 0;
    dest_id_ = sel_timeout_ = sync_period_ = sync_offset_ = 0;
    config1_ = clock_factor_ = config2_ = config3_ = config4_ = 0;
    sram_addr_ = 0;
    pio_on_ = pio_out_ = false;
    int_status_ = 0;
    int_pending_ = false;
    seq_step_ = 0;
    error_bits_ = 0;
    scsi_fifo_.clear();
    data_fifo_.clear();
    prefetch_ = 0;
    prefetching_ = false;
    transfer_ended_ = false;
    state_ = State::Disconnected;
    streaming_ = false;
}

// --- Port access ------------------------------------------------------------------------------

std::uint32_t Fas408::port_read(std::uint16_t port, unsigned width) {
    if (removed()) return 0xFFFFFFFFu;
    if (moving()) step();
    return (this->*dispatch().read[bank()][port & 0x0F])(width);
}

void Fas408::port_write(std::uint16_t port, std::uint32_t value, unsigned width) {
    if (removed()) return;
    if (moving()) step();
    (this->*dispatch().write[bank()][port & 0x0F])(value, width);
}

// Buffered PIO_DATA moves whole blocks. The access took count cycles, during which the bus
// kept filling (or draining) the FIFO: the block is served first from what was there when the
// access began, then from what arrived while it ran.
void Fas408::port_read_buffer(std::uint16_t port, void* dst, std::uint32_t count, unsigned width) {
    if (removed()) {
        std::memset(dst, 0xFF, std::size_t(count) * width);
        return;
    }
    if (bank() != 1 || (port & 0x0F) != reg1::kPioData) {
        PortDevice::port_read_buffer(port, dst, count, width);
        return;
    }
    const io::Nanoseconds now = clock_.now();
    const io::Nanoseconds took = ports_ != nullptr ? ports_->cycle() * count : 0;
    const std::size_t bytes = std::size_t(count) * width;
    auto* out = static_cast<std::uint8_t*>(dst);
    if (moving()) step(now > took ? now - took : 0);
    std::size_t got = host_read(out, bytes);
    if (got < bytes && moving()) {
        step(now);
        got += host_read(out + got, bytes - got);
    }
    if (got < bytes) {
        stats_.fifo_underruns += bytes - got;
        std::memset(out + got, 0xFF, bytes - got);
    }
    step(now);
}

void Fas408::port_write_buffer(std::uint16_t port, const void* src, std::uint32_t count, unsigned width) {
    if (removed()) return;
    if (bank() != 1 || (port & 0x0F) != reg1::kPioData) {
        PortDevice::port_write_buffer(port, src, count, width);
        return;
    }
    const io::Nanoseconds now = clock_.now();
    const io::Nanoseconds took = ports_ != nullptr ? ports_->cycle() * count : 0;
    const std::size_t bytes = std::size_t(count) * width;
    const auto* in = static_cast<const std::uint8_t*>(src);
    if (moving()) step(now > took ? now - took : 0);
    std::size_t put = host_write(in, bytes);
    if (put < bytes && moving()) {
        step(now);
        put += host_write(in + put, bytes - put);
    }
    stats_.fifo_overruns += bytes - put;
    step(now);
}

std::size_t Fas408::host_read(std::uint8_t* dst, std::size_t n) {
    if (!pio_on_ || prefetch_ != 0) return 0;  // nothing to read back from an output
    return data_fifo_.read(dst, std::min(n, data_level()));
}

std::size_t Fas408::host_write(const std::uint8_t* src, std::size_t n) {
    if (!pio_on_) return 0;
    const std::size_t put = data_fifo_.write(src, std::min(n, data_room()));
    if (prefetching_) refresh_prefetch();
    return put;
}

std::uint8_t Fas408::peek(unsigned bank, unsigned offset) {
    if (removed()) return 0xFF;
    if (moving()) step();
    const Dispatch& d = dispatch();
    const RegisterRow* r = d.row[bank & 1][offset & 0x0F];
    if (r != nullptr && r->peek != nullptr) return std::uint8_t((this->*r->peek)(1));
    return std::uint8_t((this->*d.read[bank & 1][offset & 0x0F])(1));
}

std::string Fas408::describe() const {
    std::string out = "FAS408 state ";
    out += state_name(state_);
    out += ", last commands:\n";
    out += history_.format();
    return out;
}

// --- Read handlers ----------------------------------------------------------------------------

std::uint32_t Fas408::tc_low_r(unsigned) { return tc_ & 0xFF; }
std::uint32_t Fas408::tc_mid_r(unsigned) { return (tc_ >> 8) & 0xFF; }
std::uint32_t Fas408::tc_high_r(unsigned) { return (tc_ >> 16) & 0xFF; }

std::uint32_t Fas408::fifo_r(unsigned) {
    if (scsi_fifo_.empty()) {
        ++stats_.fifo_underruns;
        return 0xFF;
    }
    std::uint8_t b;
    scsi_fifo_.read(&b, 1);
    return b;
}
std::uint32_t Fas408::fifo_peek(unsigned) { return scsi_fifo_.peek(0); }

std::uint32_t Fas408::status_r(unsigned) {
    return (int_pending_ ? status_bits::kInterrupt : 0) | error_bits_ |
           (tc_ == 0 ? status_bits::kCountZero : 0) | bus_.phase_lines();
}

std::uint32_t Fas408::int_status_r(unsigned) {
    const std::uint8_t bits = int_status_;
    int_status_ = 0;
    int_pending_ = false;
    error_bits_ = 0;
    return bits;
}
std::uint32_t Fas408::int_status_peek(unsigned) { return int_status_; }

std::uint32_t Fas408::seq_step_r(unsigned) { return seq_step_ & seq_step::kMask; }

std::uint32_t Fas408::fifo_flags_r(unsigned) {
    return (scsi_fifo_.size() + (prefetching_ ? prefetch_ : 0)) & fifo_flags::kCountMask;
}

std::uint32_t Fas408::config3_r(unsigned) { return config3_; }

// 16- and 32-bit cycles take 2 and 4 bytes, the first in the low byte.
std::uint32_t Fas408::pio_data_r(unsigned width) {
    std::uint8_t b[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    const std::size_t got = host_read(b, width);
    stats_.fifo_underruns += width - got;
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
           std::uint32_t(b[3]) << 24;
}

std::uint32_t Fas408::pio_data_peek(unsigned) { return pio_on_ ? data_fifo_.peek(prefetch_) : 0xFF; }

std::uint32_t Fas408::pio_status_r(unsigned) {
    const std::size_t level = data_level();
    std::uint32_t v = 0;
    if (pio_out_) {
        if (kDataFifoBytes - level >= 80) v |= pio_status::kAtLeast44;
    } else {
        if (level >= 128) v |= pio_status::kFull128;
        if (level >= 86) v |= pio_status::kAtLeast86;
        if (level >= 44) v |= pio_status::kAtLeast44;
    }
    if (level == 0) v |= pio_status::kEmpty;
    if (transfer_ended_) v |= pio_status::kEnded;
    return v;
}

std::uint32_t Fas408::chip_id_r(unsigned) { return config_.chip_id; }
std::uint32_t Fas408::unmapped_r(unsigned) { return kUnmappedRead; }

// --- Write handlers ---------------------------------------------------------------------------

void Fas408::tc_low_w(std::uint32_t v, unsigned) { tc_ = (tc_ & 0xFFFF00) | (v & 0xFF); }
void Fas408::tc_mid_w(std::uint32_t v, unsigned) { tc_ = (tc_ & 0xFF00FF) | (v & 0xFF) << 8; }
void Fas408::tc_high_w(std::uint32_t v, unsigned) { tc_ = (tc_ & 0x00FFFF) | (v & 0xFF) << 16; }

void Fas408::fifo_w(std::uint32_t v, unsigned) {
    if (!scsi_fifo_.push(std::uint8_t(v))) ++stats_.fifo_overruns;
}

void Fas408::dest_id_w(std::uint32_t v, unsigned) { dest_id_ = v & 0x07; }
void Fas408::sel_timeout_w(std::uint32_t v, unsigned) { sel_timeout_ = std::uint8_t(v); }
void Fas408::sync_period_w(std::uint32_t v, unsigned) { sync_period_ = std::uint8_t(v); }
void Fas408::sync_offset_w(std::uint32_t v, unsigned) { sync_offset_ = std::uint8_t(v); }
void Fas408::config1_w(std::uint32_t v, unsigned) { config1_ = std::uint8_t(v); }
void Fas408::clock_factor_w(std::uint32_t v, unsigned) { clock_factor_ = std::uint8_t(v); }
void Fas408::config2_w(std::uint32_t v, unsigned) { config2_ = std::uint8_t(v); }
void Fas408::config3_w(std::uint32_t v, unsigned) { config3_ = std::uint8_t(v); }
void Fas408::config4_w(std::uint32_t v, unsigned) { config4_ = std::uint8_t(v); }
void Fas408::sram_addr_w(std::uint32_t v, unsigned) { sram_addr_ = std::uint8_t(v); }
void Fas408::sram_data_w(std::uint32_t v, unsigned) { sram_[sram_addr_ & 0x7F] = std::uint8_t(v); }

void Fas408::pio_data_w(std::uint32_t v, unsigned width) {
    const std::uint8_t b[4] = {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
    stats_.fifo_overruns += width - host_write(b, width);
    if (moving()) step();
}

void Fas408::pio_control_w(std::uint32_t v, unsigned) {
    pio_on_ = (v & pio_control::kOn) != 0;
    if (!pio_on_) {  // the FIFO is held empty
        data_fifo_.clear();
        prefetch_ = 0;
        transfer_ended_ = false;
    }
    if (moving()) step();
}

void Fas408::pio_direction_w(std::uint32_t v, unsigned) { pio_out_ = (v & pio_direction::kOut) != 0; }

} // namespace orvo::fas408
