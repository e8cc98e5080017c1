// The socket controller pulled at each of its accesses of orvontx's discovery in turn (the
// controller serves k accesses and is gone from then on, for every k up to the last one):
// discovery fails cleanly every time. It reports no adapter, the chip answers nowhere, the
// card is left unpowered and unconfigured, the ISA memory under the attribute window is as it
// was (the card's configuration registers aside), every port access stays inside the claims (the contract checks), and nothing hangs.
#include "ScsiMiniPort/miniport.h"
#include "tests/scsiport/contract_guard.h"
#include "tests/socket/machine_boot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace orvo::test {
namespace {

constexpr std::uint32_t kWindow = 0xD4000;
constexpr std::uint32_t kWindowSize = 0x1000;
constexpr std::uint8_t kIsaPattern = 0x5A;
constexpr std::uint32_t kCorOffset = 0x400;  // the card's configuration registers, as seen
constexpr std::uint32_t kCsrOffset = 0x402;  // through the attribute window

bool controller_access(const std::string& trace_line, std::uint16_t port, unsigned ports) {
    // "W8 03e0 10": the port is the second field.
    const unsigned long at = std::strtoul(trace_line.c_str() + trace_line.find(' ') + 1, nullptr, 16);
    return at >= port && at < port + ports;
}

struct Machine {
    const char* what;
    const char* description;  // machine.toml text
};

TEST(ControllerRemoval, AtEveryControllerAccessOfOrvontxDiscoveryNoAdapterIsFound) {
    const Machine machines[] = {
        {"the card in socket 0", ""},
        {"the card behind another card", "[card]\nsocket = 1\n[[pccard]]\nsocket = 0\ntype = \"woxra2\"\n"},
    };
    for (const Machine& machine : machines) {
        SCOPED_TRACE(machine.what);
        unsigned accesses = 0;
        {
            MachineBoot reference(machine.description, "orvontx");
            reference.boot();
            ASSERT_TRUE(reference.found());
            const pcmcia::SocketController& c = *reference.pc().socket_controller();
            accesses = static_cast<unsigned>(
                std::count_if(reference.trace().begin(), reference.trace().end(), [&](const std::string& line) {
                    return controller_access(line, c.config().port, c.port_count());
                }));
        }
        ASSERT_GT(accesses, 50u);
        for (unsigned served = 0; served <= accesses; ++served) {
            SCOPED_TRACE("the controller gone after " + std::to_string(served) + " of " + std::to_string(accesses) +
                         " accesses");
            MachineBoot m(machine.description, "orvontx");
            scsiport::testing::ContractGuard guard(m.host());
            std::uint8_t* isa = m.pc().backplane().memory.map(kWindow, kWindowSize);
            std::fill(isa, isa + kWindowSize, kIsaPattern);
            m.pc().remove_socket_controller_after(served);
            m.boot();

            EXPECT_FALSE(m.found());
            EXPECT_FALSE(m.host().ready());
            EXPECT_TRUE(m.pc().socket_controller()->removed());
            EXPECT_EQ(m.pc().chip_base(), std::nullopt) << "the chip answers nowhere";
            EXPECT_FALSE(m.pc().orvo88()->configured());
            const pcmcia::Socket& socket = m.pc().socket_controller()->socket(m.pc().description().card.socket);
            EXPECT_EQ(socket.state(), pcmcia::SocketState::Unpowered);
            // ISA memory is plain memory in the model: the configuration registers the driver
            // writes blind through a window nobody decodes any more keep those bytes, where a
            // real bus would drop them. Everything else is as it was.
            for (std::uint32_t offset = 0; offset < kWindowSize; ++offset) {
                if (offset == kCorOffset || offset == kCsrOffset) continue;
                ASSERT_EQ(isa[offset], kIsaPattern) << "ISA memory at window offset " << offset;
            }
            if (HasFailure()) return;
        }
    }
}

} // namespace
} // namespace orvo::test
