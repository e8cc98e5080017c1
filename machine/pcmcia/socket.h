#pragma once
// One socket of the controller: its register block, the card in it, and what follows from
// both: the power and reset state of the card, the memory window the host sees, and where the
// card's I/O function answers.
//
// Power and reset, one state machine (step() moves it to what the registers call for):
//   Empty      no card
//   Unpowered  card in, VCC off (or automatic switching finds no card)
//   Isolated   VCC on, the card's signals not driven (outputs disabled)
//   InReset    powered and driven, RESET held (card-reset bit 0)
//   Running    powered, driven, out of reset: the card answers memory and I/O cycles
// A card entering Unpowered or InReset loses its configuration.

#include "machine/pcmcia/memory_overlay.h"
#include "machine/pcmcia/pc_card.h"
#include "machine/pcmcia/registers.h"

#include <array>
#include <cstdint>
#include <optional>

namespace orvo::pcmcia {

enum class SocketState : std::uint8_t { Empty, Unpowered, Isolated, InReset, Running };
const char* to_string(SocketState state);

struct MemoryWindow {
    std::uint32_t first = 0;        // host addresses, whole 4 KiB pages
    std::uint32_t last = 0;
    std::uint32_t card_offset = 0;  // added to the host address, modulo the card space
    bool attribute = false;
    bool write_protect = false;
};

struct IoWindow {
    std::uint16_t first = 0;
    std::uint16_t last = 0;
};

class Socket final : public WindowSource {
public:
    static constexpr unsigned kIoWindows = 2;

    Socket() = default;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    std::uint8_t reg(std::uint8_t index) const { return registers_[index % reg::kBlockSize]; }
    void set_reg(std::uint8_t index, std::uint8_t value) { registers_[index % reg::kBlockSize] = value; }

    PcCard* card() const { return card_; }
    // The card arrives fresh (power-on state); both latch a card-detect change.
    void insert(PcCard& card);
    void remove();

    SocketState state() const { return state_; }
    // Moves the state machine to what the registers and the card call for, then puts the
    // card's I/O function where the open I/O windows and its configuration place it.
    void step();
    // A system reset (RESETDRV) resets the card unless the socket is told to keep it out.
    void system_reset();
    // The controller behind the socket is gone: its registers with it, so the card has no
    // power (it resets and its function leaves the bus) and no window is open.
    void lose_controller();

    std::uint8_t interface_status() const;
    std::uint8_t status_changes() const { return status_changes_; }
    void clear_status_changes() { status_changes_ = 0; }

    std::uint8_t irq() const { return reg(reg::kInterruptControl) & intctl::kIrqMask; }
    // Memory window 0 and I/O windows 0/1 while enabled and well formed.
    std::optional<MemoryWindow> memory_window() const;
    std::optional<IoWindow> io_window(unsigned n) const;

    // WindowSource: what memory window 0 shows (0xFF where no card drives the bus).
    void window_read(std::uint32_t first, std::span<std::uint8_t> out) const override;
    void window_write(std::uint32_t host_address, std::uint8_t value) override;

private:
    SocketState next_state() const;
    void enter(SocketState next);
    void place_function();
    bool powered() const;
    // What the card adds to a host address in memory window 0 while its attribute memory is
    // seen there; none while it is not.
    std::optional<std::uint32_t> attribute_offset() const;

    std::array<std::uint8_t, reg::kBlockSize> registers_{};
    PcCard* card_ = nullptr;
    SocketState state_ = SocketState::Empty;
    std::uint8_t status_changes_ = 0;
};

} // namespace orvo::pcmcia
