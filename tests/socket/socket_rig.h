#pragma once
// The socket services of orvontx called one by one, as discovery calls them, against the
// socket controller model with cards in its sockets. Port accesses are recorded as trace lines
// ("W8 03e0 01"), and the attribute window is the ISA memory the driver would have mapped.

#include "ScsiMiniPort/miniport.h"
#include "machine/io/backplane.h"
#include "machine/pcmcia/catalogue.h"
#include "machine/pcmcia/cis_builder.h"
#include "machine/pcmcia/socket_controller.h"
#include "scsiport/host/port_driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace orvo::socket_test {

using Lines = std::vector<std::string>;

constexpr ULONG kWindowAddress = 0xD4000;

// Controller accesses read back as register operations: "W02=70" writes 0x70 to the register
// at index 0x02 (the socket's block offset included), "R03=60" reads 0x60. Accesses to other
// ports stay as trace lines.
inline Lines register_ops(const Lines& trace, unsigned base = 0x3E0) {
    Lines ops;
    unsigned index[2] = {0, 0};
    for (const std::string& line : trace) {
        char op = 0;
        unsigned width = 0, port = 0, value = 0;
        if (std::sscanf(line.c_str(), "%c%u %x %x", &op, &width, &port, &value) != 4 || width != 8 ||
            port < base || port >= base + 4) {
            ops.push_back(line);
            continue;
        }
        const unsigned pair = (port - base) / 2;
        if ((port - base) % 2 == 0) {
            if (op == 'W') index[pair] = value;
            continue;
        }
        char text[16];
        std::snprintf(text, sizeof text, "%c%02x=%02x", op, index[pair], value);
        ops.emplace_back(text);
    }
    return ops;
}

struct SocketRig : ::testing::Test {
    io::Backplane machine;
    std::unique_ptr<pcmcia::SocketController> controller;
    std::vector<std::unique_ptr<pcmcia::PcCard>> cards;
    scsiport::PortDriver host{machine};
    ADAPTER_EXTENSION ad{};
    Lines trace;

    void SetUp() override {
        // What discovery stores before the set-up.
        ad.PcicPort = 0x3E0;
        ad.PcicIndexPort = 0x3E0;
        ad.PcicDataPort = 0x3E1;
        machine.ports.set_trace([this](std::string_view line) { trace.emplace_back(line); });
    }
    void add_controller(pcmcia::ControllerConfig config = {}) {
        controller = std::make_unique<pcmcia::SocketController>(machine.memory, config);
        controller->attach(machine.ports);
        host.allow_platform_ports(config.port, controller->port_count());
    }
    pcmcia::PcCard& insert(unsigned socket, pcmcia::CardModel model) {
        cards.push_back(std::make_unique<pcmcia::PcCard>(std::move(model)));
        controller->insert_card(socket, *cards.back());
        return *cards.back();
    }
    pcmcia::PcCard& insert(unsigned socket, const char* catalogue_name) {
        return insert(socket, pcmcia::catalogue_card(catalogue_name));
    }
    pcmcia::PcCard& insert_vers_1(unsigned socket, const std::vector<std::string>& strings) {
        return insert(socket, {"vers1", pcmcia::CisBuilder().vers_1(strings).end().bytes(), std::nullopt});
    }
    PUCHAR window() { return machine.memory.map(kWindowAddress, 0x1000); }
    const pcmcia::Socket& socket(unsigned n) { return controller->socket(n); }

    // Runs driver code as the port driver would and returns the port accesses it made.
    template <class F>
    Lines accesses(F&& f) {
        trace.clear();
        host.call_in_driver_context(std::forward<F>(f));
        return trace;
    }
    template <class F>
    auto call(F&& f) {
        return host.call_in_driver_context(std::forward<F>(f));
    }
    void TearDown() override { EXPECT_TRUE(host.contract().violations().empty()); }
};

} // namespace orvo::socket_test
