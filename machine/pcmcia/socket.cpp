#include "machine/pcmcia/socket.h"

namespace orvo::pcmcia {

const char* to_string(SocketState state) {
    switch (state) {
    case SocketState::Empty: return "empty";
    case SocketState::Unpowered: return "unpowered";
    case SocketState::Isolated: return "isolated";
    case SocketState::InReset: return "in reset";
    case SocketState::Running: return "running";
    }
    return "?";
}

void Socket::insert(PcCard& card) {
    card_ = &card;
    card_->reset();
    status_changes_ |= change::kCardDetect;
    step();
}

void Socket::remove() {
    if (card_ != nullptr) {
        card_->reset();
        card_->place_function(std::nullopt);
    }
    card_ = nullptr;
    status_changes_ |= change::kCardDetect;
    enter(SocketState::Empty);
}

bool Socket::powered() const {
    const std::uint8_t p = reg(reg::kPowerControl);
    if ((p & power::kVccOn) == 0) return false;
    return card_ != nullptr || (p & power::kAutoPower) == 0;
}

SocketState Socket::next_state() const {
    if (card_ == nullptr) return SocketState::Empty;
    if (!powered()) return SocketState::Unpowered;
    if ((reg(reg::kPowerControl) & power::kOutputEnable) == 0) return SocketState::Isolated;
    if ((reg(reg::kInterruptControl) & intctl::kResetReleased) == 0) return SocketState::InReset;
    return SocketState::Running;
}

void Socket::enter(SocketState next) {
    if (next != state_ && card_ != nullptr &&
        (next == SocketState::Unpowered || next == SocketState::InReset)) {
        card_->reset();
    }
    state_ = next;
}

void Socket::step() {
    enter(next_state());
    place_function();
}

void Socket::system_reset() {
    if (card_ != nullptr && (reg(reg::kPowerControl) & power::kNoResetDrv) == 0) {
        card_->reset();
        place_function();
    }
}

void Socket::lose_controller() {
    registers_.fill(0);
    step();
}

// The card decodes I/O only when it runs, is configured, and the socket is in I/O mode; the
// host ports it sees are those of the enabled I/O windows, window 0 first.
void Socket::place_function() {
    if (card_ == nullptr) return;
    std::optional<std::uint16_t> base;
    if (state_ == SocketState::Running && (reg(reg::kInterruptControl) & intctl::kIoCard) != 0) {
        for (unsigned n = 0; n < kIoWindows && !base; ++n) {
            if (const auto w = io_window(n)) base = card_->function_base(w->first, w->last);
        }
    }
    if (base != card_->function_placed() || card_->function_conflict()) card_->place_function(base);
}

std::uint8_t Socket::interface_status() const {
    std::uint8_t s = 0;
    if (card_ != nullptr) s |= status::kCardDetect;
    if (powered()) s |= status::kPowerActive;
    if (card_ != nullptr && powered()) s |= status::kBatteryDead | status::kBatteryWarning;  // both "good"
    if (state_ == SocketState::Running) s |= status::kReady;
    return s;
}

std::optional<MemoryWindow> Socket::memory_window() const {
    if ((reg(reg::kWindowEnable) & winen::kMem0) == 0) return std::nullopt;
    auto page = [this](std::uint8_t low, std::uint8_t high) {
        return static_cast<std::uint32_t>(((reg(high) & memwin::kAddressHighMask) << 8) | reg(low));
    };
    MemoryWindow w;
    w.first = page(reg::kMem0StartLow, reg::kMem0StartHigh) << memwin::kPageShift;
    w.last = (page(reg::kMem0StopLow, reg::kMem0StopHigh) << memwin::kPageShift) | 0xFFF;
    if (w.last < w.first) return std::nullopt;
    const std::uint8_t offset_high = reg(reg::kMem0OffsetHigh);
    w.card_offset = static_cast<std::uint32_t>(((offset_high & memwin::kOffsetHighMask) << 8) |
                                               reg(reg::kMem0OffsetLow))
                    << memwin::kPageShift;
    w.attribute = (offset_high & memwin::kAttribute) != 0;
    w.write_protect = (offset_high & memwin::kWriteProtect) != 0;
    return w;
}

std::optional<IoWindow> Socket::io_window(unsigned n) const {
    if (n >= kIoWindows) return std::nullopt;
    const std::uint8_t enable = n == 0 ? winen::kIo0 : winen::kIo1;
    if ((reg(reg::kWindowEnable) & enable) == 0) return std::nullopt;
    const auto at = static_cast<std::uint8_t>(reg::kIo0StartLow + n * reg::kIoWindowStride);
    IoWindow w;
    w.first = static_cast<std::uint16_t>(reg(at) | (reg(at + 1) << 8));
    w.last = static_cast<std::uint16_t>(reg(at + 2) | (reg(at + 3) << 8));
    if (w.last < w.first) return std::nullopt;
    return w;
}

// The card sees the host address plus the window's offset; only attribute memory exists on
// the cards modelled (common memory reads as nothing).
std::optional<std::uint32_t> Socket::attribute_offset() const {
    if (state_ != SocketState::Running) return std::nullopt;
    const auto w = memory_window();
    if (!w || !w->attribute) return std::nullopt;
    return w->card_offset;
}

void Socket::window_read(std::uint32_t first, std::span<std::uint8_t> out) const {
    const auto offset = attribute_offset();
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::uint32_t host_address = first + static_cast<std::uint32_t>(i);
        out[i] = offset ? card_->attribute_read((host_address + *offset) & memwin::kCardAddressMask) : 0xFF;
    }
}

void Socket::window_write(std::uint32_t host_address, std::uint8_t value) {
    const auto offset = attribute_offset();
    if (!offset || memory_window()->write_protect) return;
    card_->attribute_write((host_address + *offset) & memwin::kCardAddressMask, value);
}

} // namespace orvo::pcmcia
