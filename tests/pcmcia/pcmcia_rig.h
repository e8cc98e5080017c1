#pragma once
// A bare machine with a socket controller and cards built from CIS bytes, driven by port
// accesses the way a driver would: index then data.

#include "machine/io/backplane.h"
#include "machine/pcmcia/cis_builder.h"
#include "machine/pcmcia/pc_card.h"
#include "machine/pcmcia/socket_controller.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace orvo::pcmcia::test {

inline std::vector<std::uint8_t> simple_cis() {
    return CisBuilder().vers_1({"MAKER", "CARD"}).end().bytes();
}

// A card with a 16-port function at +0x10 of a 32-port block under index 0x20 and at +0x00
// under index 0x21; placements are recorded.
struct RecordingCard {
    std::vector<std::optional<std::uint16_t>> placements;
    bool refuse = false;
    PcCard card;
    explicit RecordingCard(std::vector<std::uint8_t> cis = simple_cis())
        : card(CardModel{"test", std::move(cis), IoFunction{32, 16, {{0x20, 0x10}, {0x21, 0x00}}}}) {
        card.set_function_placer([this](std::optional<std::uint16_t> base) {
            if (refuse && base) return false;
            placements.push_back(base);
            return true;
        });
    }
};

struct ControllerRig {
    io::Backplane machine;
    SocketController controller;

    explicit ControllerRig(ControllerConfig config = {}) : controller(machine.memory, config) {
        controller.attach(machine.ports);
    }
    std::uint16_t index_port(unsigned socket) const {
        return static_cast<std::uint16_t>(controller.config().port + (socket < 4 ? 0 : 2));
    }
    std::uint8_t index_of(unsigned socket, std::uint8_t reg) const {
        return static_cast<std::uint8_t>((socket % 4) * 0x40 + reg);
    }
    std::uint8_t read(unsigned socket, std::uint8_t reg) {
        machine.ports.write8(index_port(socket), index_of(socket, reg));
        return machine.ports.read8(index_port(socket) + 1u);
    }
    void write(unsigned socket, std::uint8_t reg, std::uint8_t value) {
        machine.ports.write8(index_port(socket), index_of(socket, reg));
        machine.ports.write8(index_port(socket) + 1u, value);
    }
    // Power, reset and release as a driver does: the card ends up running in I/O mode.
    void power_up(unsigned socket) {
        write(socket, reg::kPowerControl, power::kNoResetDrv | power::kAutoPower | power::kVccOn);
        write(socket, reg::kInterruptControl, intctl::kIoCard);
        write(socket, reg::kInterruptControl, intctl::kResetReleased | intctl::kIoCard);
        write(socket, reg::kPowerControl,
              power::kOutputEnable | power::kNoResetDrv | power::kAutoPower | power::kVccOn);
    }
    // Memory window 0 on attribute memory over [first, last] (page addresses), card offset in pages.
    void open_window(unsigned socket, std::uint32_t first, std::uint32_t last, std::uint16_t offset_pages = 0,
                     std::uint8_t offset_flags = memwin::kAttribute) {
        write(socket, reg::kMem0StartLow, static_cast<std::uint8_t>(first >> 12));
        write(socket, reg::kMem0StartHigh, static_cast<std::uint8_t>(((first >> 20) & 0x0F) | memwin::kDataSize16));
        write(socket, reg::kMem0StopLow, static_cast<std::uint8_t>(last >> 12));
        write(socket, reg::kMem0StopHigh, static_cast<std::uint8_t>((last >> 20) & 0x0F));
        write(socket, reg::kMem0OffsetLow, static_cast<std::uint8_t>(offset_pages));
        write(socket, reg::kMem0OffsetHigh, static_cast<std::uint8_t>(((offset_pages >> 8) & 0x3F) | offset_flags));
        write(socket, reg::kWindowEnable, static_cast<std::uint8_t>(read(socket, reg::kWindowEnable) | winen::kMem0));
    }
    void close_window(unsigned socket) {
        write(socket, reg::kWindowEnable, static_cast<std::uint8_t>(read(socket, reg::kWindowEnable) & ~winen::kMem0));
    }
    void open_io_window(unsigned socket, unsigned n, std::uint16_t first, std::uint16_t last) {
        const auto at = static_cast<std::uint8_t>(reg::kIo0StartLow + 4 * n);
        write(socket, at, static_cast<std::uint8_t>(first));
        write(socket, at + 1, static_cast<std::uint8_t>(first >> 8));
        write(socket, at + 2, static_cast<std::uint8_t>(last));
        write(socket, at + 3, static_cast<std::uint8_t>(last >> 8));
        write(socket, reg::kWindowEnable,
              static_cast<std::uint8_t>(read(socket, reg::kWindowEnable) | (n == 0 ? winen::kIo0 : winen::kIo1)));
    }
    std::uint8_t* memory(std::uint32_t address) { return machine.memory.map(address, 1); }
};

} // namespace orvo::pcmcia::test
