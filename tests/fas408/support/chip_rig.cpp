#include "chip_rig.h"

#include "machine/scsi/protocol.h"

#include <algorithm>

namespace orvo::test {

using namespace fas408;
namespace msg = scsi::message;

std::uint16_t sync_reg_value(std::uint8_t period_factor, std::uint8_t offset) {
    if (period_factor == 0 || offset == 0) return 0;
    unsigned clocks = (4u * period_factor + 24) / 25;
    if (clocks < 8) clocks |= 0x80;
    return std::uint16_t(clocks + std::min<unsigned>(offset, 15) * 256);
}

ChipRig::ChipRig() {
    chip.attach(bp.ports, kBase);
    bus.trace().keep_lines(true);
}

std::uint8_t ChipRig::rd1(std::uint8_t offset) {
    bank(1);
    const std::uint8_t v = rd(offset);
    bank(0);
    return v;
}

void ChipRig::wr1(std::uint8_t offset, std::uint8_t v) {
    bank(1);
    wr(offset, v);
    bank(0);
}

void ChipRig::load_count(std::uint32_t n) {
    wr(reg::kTcLow, std::uint8_t(n));
    wr(reg::kTcMid, std::uint8_t(n >> 8));
    wr(reg::kTcHigh, std::uint8_t(n >> 16));
}

std::uint32_t ChipRig::count() {
    return rd(reg::kTcLow) | std::uint32_t(rd(reg::kTcMid)) << 8 | std::uint32_t(rd(reg::kTcHigh)) << 16;
}

void ChipRig::apply_terms(std::uint8_t target) {
    const Terms t = agreed_[target & 7];
    if (t.offset != 0) set_sync(t.period, t.offset);
    else set_async();
}

void ChipRig::init(bool parity) {
    for (Terms& t : agreed_) t = Terms{};
    wr(reg::kConfig4, 0x30);
    command(cmd::kResetChip);
    command(cmd::kNop);
    wr(reg::kConfig4, 0x30);
    wr(reg::kClockFactor, 0x00);
    wr(reg::kConfig1, parity ? 0x97 : 0x87);
    wr(reg::kConfig2, 0x48);
    wr(reg::kConfig3, 0x18);
    wr(reg::kSyncOffset, 0x00);
    wr(reg::kSyncPeriod, 0x08);
    wr(reg::kSelTimeout, 0x99);
    wr1(reg1::kPioControl, pio_control::kOn);
}

Interrupt ChipRig::wait(io::Nanoseconds limit) {
    const io::Nanoseconds deadline = bp.clock.now() + limit;
    while (bp.clock.now() < deadline) {
        const std::uint8_t s = rd(reg::kStatus);
        if ((s & status_bits::kInterrupt) != 0) return Interrupt{false, s, rd(reg::kIntStatus)};
        bp.clock.advance(9 * io::kMicrosecond);  // a driver's stall between polls
    }
    return Interrupt{};
}

void ChipRig::set_sync(std::uint8_t period_factor, std::uint8_t offset) {
    const std::uint16_t v = sync_reg_value(period_factor, offset);
    if (v == 0) return set_async();
    wr(reg::kSyncPeriod, v & 0x1F);
    wr(reg::kSyncOffset, std::uint8_t((v >> 8) | 0xC0));
    if ((v & 0x80) != 0) wr(reg::kConfig3, rd(reg::kConfig3) | config3::kFastTiming);
}

void ChipRig::set_async() {
    wr(reg::kSyncPeriod, 0x0A);
    wr(reg::kSyncOffset, 0x00);
    wr(reg::kConfig3, rd(reg::kConfig3) & ~config3::kFastTiming);
}

Interrupt ChipRig::select(const Request& r, std::uint8_t* seq_step) {
    bank(1);
    bank(0);
    wr(reg::kDestId, r.target);
    wr(reg::kSelTimeout, 0x99);
    command(cmd::kFlushFifo);
    std::vector<std::uint8_t> bytes{std::uint8_t(msg::kIdentify | r.lun)};
    if (r.offer_sdtr) {
        bytes.insert(bytes.end(), {msg::kExtended, 3, msg::kExtSdtr, r.offer_period, r.offer_offset});
    } else {
        bytes.insert(bytes.end(), r.cdb.begin(), r.cdb.end());
    }
    if (r.data_fifo_select) {
        bank(1);
        bp.ports.write_buffer(kBase + reg1::kPioData, bytes.data(), std::uint32_t(bytes.size()), 1);
        bank(0);
    } else {
        for (std::uint8_t b : bytes) wr(reg::kFifo, b);
    }
    load_count(std::uint32_t(bytes.size()));
    std::uint8_t code = r.offer_sdtr ? cmd::kSelectAtnStop : cmd::kSelectAtn;
    if (r.data_fifo_select) code |= cmd::kDataFifo;
    command(code);
    const Interrupt i = wait();
    *seq_step = rd(reg::kSeqStep) & seq_step::kMask;
    return i;
}

Interrupt ChipRig::command_through_pio(std::span<const std::uint8_t> cdb) {
    command(cmd::kFlushFifo);
    load_count(std::uint32_t(cdb.size()));
    bank(1);
    bp.ports.write_buffer(kBase + reg1::kPioData, cdb.data(), std::uint32_t(cdb.size()), 1);
    bank(0);
    command(cmd::kTransferInfo | cmd::kDataFifo);
    return wait();
}

Interrupt ChipRig::message_out(std::span<const std::uint8_t> bytes) {
    command(cmd::kFlushFifo);
    load_count(std::uint32_t(bytes.size()));
    for (std::uint8_t b : bytes) wr(reg::kFifo, b);
    command(cmd::kTransferInfo);
    const Interrupt i = wait();
    command(cmd::kResetAtn);
    return i;
}

std::vector<std::uint8_t> ChipRig::data_in(unsigned width) {
    std::vector<std::uint8_t> data;
    wr1(reg1::kPioControl, 0);
    wr1(reg1::kPioDirection, 0);
    load_count(0xFFFFF);
    command(cmd::kTransferInfo | cmd::kDataFifo);
    bank(1);
    wr(reg1::kPioControl, pio_control::kOn);
    auto read_chunk = [&](unsigned bytes) {
        const unsigned elements = width == 4 ? bytes / 4 : bytes;
        const std::size_t at = data.size();
        data.resize(at + elements * width);
        bp.ports.read_buffer(kBase + reg1::kPioData, data.data() + at, elements, width);
    };
    for (int guard = 0; guard < 1'000'000; ++guard) {  // collect
        const std::uint8_t s = rd(reg1::kPioStatus);
        if ((s & pio_status::kFull128) != 0) read_chunk(128);
        else if ((s & pio_status::kAtLeast86) != 0) read_chunk(86);
        else if ((s & pio_status::kEnded) != 0) break;
    }
    for (int guard = 0; guard < 1'000; ++guard) {  // drain
        const std::uint8_t s = rd(reg1::kPioStatus);
        if ((s & pio_status::kEmpty) != 0) break;
        if ((s & pio_status::kFull128) != 0) read_chunk(128);
        else if ((s & pio_status::kAtLeast86) != 0) read_chunk(86);
        else if ((s & pio_status::kAtLeast44) != 0) read_chunk(44);
        else {
            data.push_back(0);
            bp.ports.read_buffer(kBase + reg1::kPioData, &data.back(), 1, 1);
        }
    }
    bank(0);
    return data;
}

std::uint32_t ChipRig::data_out(std::span<const std::uint8_t> bytes, unsigned width) {
    wr1(reg1::kPioControl, 0);
    wr1(reg1::kPioDirection, pio_direction::kOut);
    load_count(std::uint32_t(bytes.size()));
    command(cmd::kTransferInfo | cmd::kDataFifo);
    bank(1);
    wr(reg1::kPioControl, pio_control::kOn);
    std::size_t pos = 0;
    for (int guard = 0; guard < 1'000'000; ++guard) {
        const std::uint8_t s = rd(reg1::kPioStatus);
        if ((s & pio_status::kEnded) != 0) break;
        std::size_t n = (s & pio_status::kEmpty) != 0 ? 128 : (s & pio_status::kAtLeast44) != 0 ? 80 : 0;
        n = std::min(n, bytes.size() - pos);
        if (n == 0) continue;
        if (width == 4 && n >= 4) {
            bp.ports.write_buffer(kBase + reg1::kPioData, bytes.data() + pos, std::uint32_t(n / 4), 4);
            n = n / 4 * 4;
        } else {
            bp.ports.write_buffer(kBase + reg1::kPioData, bytes.data() + pos, std::uint32_t(n), 1);
        }
        pos += n;
    }
    bank(0);
    const std::uint32_t residual = count() + (rd(reg::kFifoFlags) & fifo_flags::kCountMask);
    command(cmd::kFlushFifo);
    return residual;
}

std::vector<std::uint8_t> ChipRig::message_in(Interrupt* last) {
    std::vector<std::uint8_t> m;
    std::size_t need = 1;
    command(cmd::kFlushFifo);
    command(cmd::kTransferInfo);
    for (int guard = 0; guard < 600; ++guard) {
        const Interrupt i = wait();
        if (i.timed_out) break;
        if ((i.bits & int_bits::kBusService) != 0 && i.phase() == std::uint8_t(scsi::Phase::MessageIn)) {
            command(cmd::kTransferInfo);
            continue;
        }
        if (i.bits != int_bits::kFunctionComplete) {
            *last = i;
            return m;
        }
        m.push_back(rd(reg::kFifo));
        if (m.size() == 1 && m[0] == msg::kExtended) need = 2;
        else if (m.size() == 2 && m[0] == msg::kExtended) need = 2 + m[1];
        else if (m.size() == 1 && (m[0] & 0xF0) == 0x20) need = 2;
        if (m.size() >= need) {
            *last = i;
            return m;
        }
        command(cmd::kMessageAccepted);
    }
    *last = Interrupt{};
    return m;
}

Interrupt ChipRig::await_reselection(io::Nanoseconds limit) {
    const io::Nanoseconds deadline = bp.clock.now() + limit;
    while (bus.state() != scsi::ScsiBus::State::Reselection && bp.clock.now() < deadline) {
        bp.clock.advance(10 * io::kMicrosecond);
    }
    wr(reg::kDestId, 7);  // the initiator's own ID: no target answers it
    command(cmd::kFlushFifo);
    load_count(1);
    wr(reg::kFifo, msg::kIdentify);
    command(cmd::kSelectAtn);
    return wait();
}

Exchange ChipRig::run(const Request& r) {
    Exchange x;
    Terms& agreed = agreed_[r.target & 7];
    apply_terms(r.target);
    x.selection = select(r, &x.seq_step);
    if (x.selection.bits != (int_bits::kFunctionComplete | int_bits::kBusService)) return x;
    Interrupt irq = x.selection;
    if (x.seq_step == seq_step::kMessageStopped && irq.phase() == std::uint8_t(scsi::Phase::MessageOut)) {
        if (r.data_fifo_select) {
            load_count(5);
            command(cmd::kTransferInfo | cmd::kDataFifo);
        } else {
            command(cmd::kTransferInfo);
        }
        irq = wait();
    } else if (x.seq_step == seq_step::kNoMessageOut) {
        command(cmd::kResetAtn);
    }
    std::vector<std::uint8_t> pending_out;
    std::size_t out_pos = 0, out_saved = 0, in_saved = 0;
    for (int guard = 0; guard < 200 && !irq.timed_out; ++guard) {
        if ((irq.bits & int_bits::kDisconnect) != 0) {
            if (x.completed) return x;
            irq = await_reselection();  // the target comes back by reselection
            continue;
        }
        if ((irq.bits & int_bits::kReselected) != 0) {
            x.reselect_id = rd(reg::kFifo);
            rd(reg::kFifo);  // IDENTIFY
            out_pos = out_saved;
            x.data.resize(std::min(x.data.size(), in_saved));
            apply_terms(r.target);
            command(cmd::kMessageAccepted);
            irq = wait();
            continue;
        }
        const std::uint8_t phase = irq.phase();
        x.phases.push_back(phase);
        switch (scsi::Phase(phase)) {
        case scsi::Phase::DataIn: {
            const auto d = data_in(r.width);
            x.data.insert(x.data.end(), d.begin(), d.end());
            set_async();
            irq = wait();
            break;
        }
        case scsi::Phase::DataOut: {
            const auto rest = std::span(r.data_out).subspan(std::min(out_pos, r.data_out.size()));
            x.out_residual = data_out(rest, r.width);
            out_pos += rest.size() - std::min<std::size_t>(x.out_residual, rest.size());
            set_async();
            irq = wait();
            break;
        }
        case scsi::Phase::Command:
            irq = command_through_pio(r.cdb);
            break;
        case scsi::Phase::Status: {
            if ((rd(reg::kFifoFlags) & fifo_flags::kCountMask) != 0) command(cmd::kFlushFifo);
            load_count(2);
            command(cmd::kCommandComplete);
            const Interrupt s = wait();
            x.status = rd(reg::kFifo);
            if (s.bits == int_bits::kFunctionComplete) {
                x.message = rd(reg::kFifo);
                x.completed = true;
                command(cmd::kMessageAccepted);
                irq = wait();
            } else {
                irq = s;
            }
            break;
        }
        case scsi::Phase::MessageIn: {
            Interrupt last;
            const auto m = message_in(&last);
            x.messages_in.push_back(m);
            if (last.bits != int_bits::kFunctionComplete || m.empty()) {
                irq = last;  // broken off
                break;
            }
            bool reject = false;
            if (m[0] == msg::kCommandComplete) {
                x.completed = x.status != 0xFF;
            } else if (m[0] == msg::kSaveDataPointer) {
                out_saved = out_pos;
                in_saved = x.data.size();
            } else if (m[0] == msg::kRestorePointers) {
                out_pos = out_saved;
                x.data.resize(std::min(x.data.size(), in_saved));
            } else if (m[0] == msg::kMessageReject) {
                command(cmd::kResetAtn);
            } else if (m.size() == 5 && m[0] == msg::kExtended && m[2] == msg::kExtSdtr) {
                if (m[4] == 0 || m[3] == 0) {
                    agreed = Terms{};
                    set_async();
                } else if (r.offer_period <= m[3] && r.offer_offset >= m[4]) {
                    agreed = Terms{m[3], m[4]};
                    set_sync(m[3], m[4]);
                } else {  // counter-offer with our own terms
                    agreed = Terms{r.offer_period, r.offer_offset};
                    set_sync(r.offer_period, r.offer_offset);
                    command(cmd::kSetAtn);
                    pending_out = {msg::kExtended, 3, msg::kExtSdtr, r.offer_period, r.offer_offset};
                }
            } else if (m[0] != msg::kDisconnect) {
                reject = true;
            }
            if (reject) {
                command(cmd::kSetAtn);
                pending_out = {msg::kMessageReject};
            }
            command(cmd::kMessageAccepted);
            irq = wait();
            break;
        }
        case scsi::Phase::MessageOut: {
            std::vector<std::uint8_t> out = pending_out.empty() ? std::vector<std::uint8_t>{msg::kNoOperation} : pending_out;
            pending_out.clear();
            irq = message_out(out);
            break;
        }
        default:
            return x;
        }
    }
    return x;
}

std::vector<std::string> ChipRig::bus_events() const { return mutable_bus().trace().events(); }

std::string ChipRig::dump() const {
    const fas408::Fas408& c = chip;
    return c.describe() + "bus trace:\n" + mutable_bus().trace().text();
}

} // namespace orvo::test
