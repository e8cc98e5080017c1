#pragma once
// The 82365-compatible PC Card socket controller: 1 to 8 sockets behind index/data port
// pairs at a configurable index port (sockets 0-3: port, port + 1; sockets 4-7: port + 2,
// port + 3). Writing the index port selects a socket's register (socket n mod 4 in the top
// two bits, the register in the low six); the data port reads or writes it. An index that
// names no socket reads 0xFF, as an empty bus does.
//
// What the model keeps per socket (see socket.h): card detect and power status, power and
// RESETDRV control, card reset, I/O-card mode and IRQ steering, memory window 0 on the card's
// attribute memory, I/O windows 0 and 1 with their enable bits; the data-path and wait-state
// bits, memory windows 1-4 and the other registers are stored and read back, not acted on.
//
// Memory coherence: an open memory window is shown in the ISA memory buffer (filled whenever
// the controller's state changes), and bytes the processor wrote there reach the card at the
// next controller access or when the window closes (memory_overlay.h).

#include "machine/io/io_space.h"
#include "machine/io/memory_space.h"
#include "machine/pcmcia/memory_overlay.h"
#include "machine/pcmcia/socket.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace orvo::pcmcia {

struct ControllerConfig {
    std::uint16_t port = 0x3E0;
    unsigned sockets = 2;              // 1 to 8
    std::uint8_t id = id::kDefault;    // identification and revision register of every socket
};

class SocketController final : public io::PortDevice {
public:
    static constexpr unsigned kMaxSockets = 8;
    static constexpr unsigned kSocketsPerPair = 4;

    // Throws std::invalid_argument for a socket count outside 1..8 or ports past 0xFFFF.
    SocketController(io::MemorySpace& memory, ControllerConfig config);
    ~SocketController() override;
    SocketController(const SocketController&) = delete;
    SocketController& operator=(const SocketController&) = delete;

    // Claims the index/data ports (two, or four with more than four sockets); throws
    // std::invalid_argument when they are taken. detach() also closes every memory window.
    void attach(io::IoSpace& ports);
    void detach();
    const ControllerConfig& config() const { return config_; }
    unsigned port_count() const { return config_.sockets > kSocketsPerPair ? 4 : 2; }

    // Throws std::out_of_range for a socket the controller lacks, std::logic_error for one
    // already holding a card.
    void insert_card(unsigned socket, PcCard& card);
    void remove_card(unsigned socket);
    PcCard* card(unsigned socket) const;
    const Socket& socket(unsigned n) const { return *sockets_.at(n); }

    // The system's RESETDRV pulse (a warm restart of the PC).
    void system_reset();

    // The controller leaves the bus for good, as one pulled out with its docking station or
    // one that dies: its ports read all ones from then on, its windows close (the ISA memory
    // under them comes back) and the cards in its sockets lose power, so their functions leave
    // the I/O space. The cards stay in their sockets.
    void remove();
    // The same once it has served `accesses` more port accesses, at the end of the last one
    // (0: at once). A test pulls it at any chosen point of a driver's work this way.
    void remove_after(std::uint64_t accesses);
    bool removed() const { return removed_; }
    // Hands bytes written into open windows to the cards now (as the next access would).
    void sync_memory();

    // What a read of the register would give, without side effects (no change latch cleared).
    std::uint8_t peek(unsigned socket, std::uint8_t reg) const;
    static const char* register_name(std::uint8_t reg);

    // io::PortDevice; wider accesses are taken byte by byte from consecutive ports.
    std::uint32_t port_read(std::uint16_t port, unsigned width) override;
    void port_write(std::uint16_t port, std::uint32_t value, unsigned width) override;

private:
    // Read handlers leave the controller alone; one may clear a latch of the socket it reads.
    using ReadHandler = std::uint8_t (SocketController::*)(Socket&, std::uint8_t reg) const;
    using WriteHandler = void (SocketController::*)(Socket&, std::uint8_t reg, std::uint8_t value);
    struct RegisterRow {
        std::uint8_t first, last;  // the registers the row covers
        const char* name;
        ReadHandler read;
        ReadHandler peek;  // for registers whose read has a side effect
        WriteHandler write;
    };
    static const RegisterRow kRegisterMap[];
    static const RegisterRow* row(std::uint8_t reg);

    std::uint8_t read_byte(std::uint16_t port);
    void write_byte(std::uint16_t port, std::uint8_t value);
    // The socket the pair's index names, or nullptr.
    Socket* addressed(unsigned pair) const;
    // Every socket steps to its new state; windows and functions follow.
    void settle();
    // Counts one port access towards a removal asked for with remove_after.
    void count_access() {
        if (accesses_until_removal_ != 0 && --accesses_until_removal_ == 0) remove();
    }

    // Register handlers, named after the register.
    std::uint8_t id_revision_r(Socket&, std::uint8_t) const { return config_.id; }
    std::uint8_t interface_status_r(Socket& s, std::uint8_t) const { return s.interface_status(); }
    std::uint8_t card_status_change_r(Socket& s, std::uint8_t) const;
    std::uint8_t card_status_change_peek(Socket& s, std::uint8_t) const { return s.status_changes(); }
    std::uint8_t stored_r(Socket& s, std::uint8_t reg) const { return s.reg(reg); }
    void control_w(Socket& s, std::uint8_t reg, std::uint8_t value);
    void stored_w(Socket& s, std::uint8_t reg, std::uint8_t value) { s.set_reg(reg, value); }
    void ignored_w(Socket&, std::uint8_t, std::uint8_t) {}

    io::IoSpace* ports_ = nullptr;
    ControllerConfig config_;
    std::array<std::uint8_t, 2> index_{};
    std::vector<std::unique_ptr<Socket>> sockets_;
    MemoryOverlay overlay_;
    bool removed_ = false;
    std::uint64_t accesses_until_removal_ = 0;  // 0: no removal pending
};

} // namespace orvo::pcmcia
