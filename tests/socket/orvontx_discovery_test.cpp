// orvontx finds its own card: the driver module on simulated PCs with the card in different
// sockets, beside other cards, without a controller, and with option strings that move the
// window, the controller port, the I/O base and the IRQ.
#include "ScsiMiniPort/miniport.h"
#include "machine_boot.h"
#include "tools/orvo/report.h"
#include "tools/orvo/session.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace orvo::test {
namespace {

using pcmcia::SocketState;

struct Found {
    const char* what;
    const char* machine;  // machine.toml text
    std::optional<std::string> options;
    unsigned socket;
    std::uint16_t io_base;
    std::uint8_t irq, cor;
    ULONG pcic_port = 0x3E0;
    std::uint8_t window_page = 0xD4;
};

TEST(OrvontxDiscovery, FindsItsCardSetsItUpAndAddressesTheChipInsideItsPorts) {
    const Found cases[] = {
        {"the default machine", "", std::nullopt, 0, 0x280, 5, 0x60},
        {"behind another card", "[card]\nsocket = 1\n[[pccard]]\nsocket = 0\ntype = \"woxra2\"\n", std::nullopt, 1, 0x280, 5, 0x60},
        {"on the second index pair", "[socket_controller]\nsockets = 8\n[card]\nsocket = 5\n", std::nullopt, 5, 0x280, 5, 0x60},
        {"on the second candidate controller", "[socket_controller]\nport = 0x3E4\n", std::nullopt, 0, 0x280, 5, 0x60, 0x3E4},
        {"at the controller port given", "[socket_controller]\nport = 0x3E4\n", "PCIC=3E4", 0, 0x280, 5, 0x60, 0x3E4},
        {"at another base and IRQ", "", "IOBASE=300 IRQ=A", 0, 0x300, 10, 0x60},
        {"at a base with the other configuration", "", "IOBASE=290", 0, 0x290, 5, 0x61},
        {"with the IRQ as the utility writes it", "", "/IRQ:B", 0, 0x280, 11, 0x60},
        {"with the window moved", "", "MEM=D8000", 0, 0x280, 5, 0x60, 0x3E0, 0xD8},
    };
    for (const Found& c : cases) {
        SCOPED_TRACE(c.what);
        MachineBoot m(c.machine, "orvontx", c.options);
        std::memset(m.pc().backplane().memory.map(0xD4000, 0x1000), 0x5A, 0x1000);
        m.boot();
        ASSERT_TRUE(m.found());
        EXPECT_TRUE(m.host().ready()) << "initialisation found the chip where discovery left it";
        EXPECT_TRUE(m.host().contract().violations().empty()) << m.host().contract().violations().front().message;

        const ACCESS_RANGE& range = m.host().access_ranges()[0];
        EXPECT_EQ(range.RangeStart.QuadPart, c.io_base);
        EXPECT_EQ(range.RangeLength, 0x20u);
        EXPECT_FALSE(range.RangeInMemory);
        const auto& ad = m.record<ADAPTER_EXTENSION>();
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(ad.ChipBase), c.io_base + 0x10u);
        EXPECT_EQ(m.pc().chip_base(), std::optional<std::uint16_t>(c.io_base + 0x10));
        EXPECT_EQ(ad.PcicPort, c.pcic_port);
        EXPECT_EQ(ad.PcicSocket, c.socket);
        EXPECT_EQ(ad.ConfigIndex, c.cor);

        const pcmcia::Socket& socket = m.pc().socket_controller()->socket(c.socket);
        EXPECT_EQ(socket.state(), SocketState::Running);
        ASSERT_TRUE(socket.io_window(0).has_value());
        EXPECT_EQ(socket.io_window(0)->first, c.io_base);
        EXPECT_EQ(socket.io_window(0)->last, c.io_base + 0x1F);
        EXPECT_EQ(socket.irq(), c.irq);
        EXPECT_EQ(m.pc().orvo88()->cor(), c.cor);
        EXPECT_EQ(socket.reg(0x10), c.window_page);
        EXPECT_FALSE(socket.memory_window().has_value()) << "the attribute window is closed again";
        EXPECT_EQ(*m.pc().backplane().memory.map(0xD4000, 1), 0x5A) << "ISA memory as it was";
    }
}

struct NotFound {
    const char* what;
    const char* machine;
    std::optional<std::string> options;
    // What the machine is left with: the socket of the Orvo-88 (if any) and its state.
    std::optional<SocketState> card_socket_state;
    bool window_open;
    std::optional<std::uint16_t> io_window;
    bool configured = false;
};

TEST(OrvontxDiscovery, FailuresEndWithNotFoundAndLeaveTheMachineAsFarAsTheSetUpGot) {
    const NotFound cases[] = {
        {"no controller", "[socket_controller]\npresent = false\n", std::nullopt, std::nullopt, false, std::nullopt},
        {"a controller at another port than given", "", "PCIC=3E4", SocketState::Unpowered, false, std::nullopt},
        {"a controller port whose data port lies past the I/O space", "", "PCIC=FFFF", SocketState::Unpowered, false,
         std::nullopt},
        {"no Orvo-88 in any socket", "[card]\npresent = false\n[[pccard]]\nsocket = 1\ntype = \"card47\"\n",
         std::nullopt, std::nullopt, false, std::nullopt},
        {"a base the card cannot take", "", "IOBASE=2A0", SocketState::Running, true, 0x2A0},
        {"an IRQ beyond the controller's field", "", "IRQ=10", SocketState::Running, true, 0x280},
        {"a chip that fails its identification", "[card]\nchip_id = 0x07\n", std::nullopt, SocketState::Running, false, 0x280,
         true},
    };
    for (const NotFound& c : cases) {
        SCOPED_TRACE(c.what);
        MachineBoot m(c.machine, "orvontx", c.options);
        m.boot();
        EXPECT_FALSE(m.found());
        EXPECT_TRUE(m.host().contract().violations().empty()) << m.host().contract().violations().front().message;
        pcmcia::SocketController* controller = m.pc().socket_controller();
        if (controller == nullptr) continue;
        for (unsigned s = 0; s < controller->config().sockets; ++s) {
            const pcmcia::Socket& socket = controller->socket(s);
            if (controller->card(s) == m.pc().orvo88() && c.card_socket_state) {
                EXPECT_EQ(socket.state(), *c.card_socket_state);
                EXPECT_EQ(socket.memory_window().has_value(), c.window_open);
                EXPECT_EQ(socket.io_window(0).has_value(), c.io_window.has_value());
                if (c.io_window && socket.io_window(0)) {
                    EXPECT_EQ(socket.io_window(0)->first, *c.io_window);
                }
            } else if (c.card_socket_state == std::nullopt) {
                // Searched and passed over: powered, window closed.
                EXPECT_EQ(socket.reg(0x02), 0xF0) << "socket " << s;
                EXPECT_FALSE(socket.memory_window().has_value()) << "socket " << s;
            }
        }
        if (m.pc().orvo88() != nullptr) {
            EXPECT_EQ(m.pc().orvo88()->configured(), c.configured);
        }
    }
}

TEST(OrvontxDiscovery, ARangePassedByThePortDriverIsIgnoredAndAWindowOutsideMemoryFindsNothing) {
    MachineBoot passed("", "orvontx", std::nullopt, scsiport::BusRange{0x340, 0x20, false});
    passed.boot();
    ASSERT_TRUE(passed.found());
    EXPECT_EQ(passed.host().access_ranges()[0].RangeStart.QuadPart, 0x280);
    EXPECT_EQ(passed.pc().chip_base(), std::optional<std::uint16_t>(0x290));

    // The window must fit the controller's 24 address bits, the 16 MiB of ISA memory: one
    // that reaches past them is refused before anything is mapped or the controller touched.
    for (const char* option : {"MEM=1000000", "MEM=FFF800", "MEM=FFFFF000"}) {
        SCOPED_TRACE(option);
        MachineBoot beyond("", "orvontx", option);
        beyond.boot();
        EXPECT_FALSE(beyond.found());
        EXPECT_TRUE(beyond.host().mappings().empty());
        EXPECT_TRUE(beyond.host().contract().clean()) << beyond.host().contract().summary();
        for (const std::string& line : beyond.trace()) {
            EXPECT_EQ(line.find(" 03e"), std::string::npos) << "the controller is not touched: " << line;
        }
    }
    MachineBoot top("", "orvontx", "MEM=FFF000");
    top.boot();
    EXPECT_TRUE(top.found()) << "the last page below 16 MiB still holds the window";
}

TEST(OrvontxDiscovery, OrvoBootReportsTheSocketIoWindowIrqAndConfiguration) {
    ::setenv("ORVO_DRIVER_DIR", ORVO_DRIVER_DIR, 1);
    tool::SessionOptions options;
    options.build = "orvontx";
    options.param = "IOBASE=290 IRQ=B";
    tool::Session session(options);
    session.boot();
    const nlohmann::ordered_json summary = session.summary();
    ASSERT_TRUE(summary["found"].get<bool>());
    const auto& setup = summary["card_setup"];
    EXPECT_EQ(setup["socket"], 0);
    EXPECT_EQ(setup["io_window"]["start"], 0x290);
    EXPECT_EQ(setup["io_window"]["end"], 0x2AF);
    EXPECT_EQ(setup["irq"], 11);
    EXPECT_EQ(setup["config_index"], 0x21);
    EXPECT_EQ(setup["cor"], 0x61);
    EXPECT_FALSE(session.devices().empty()) << "the bus scan through the card found the machine's devices";
    std::ostringstream report;
    tool::print_boot_report(report, summary);
    EXPECT_NE(report.str().find("card          socket 0, I/O 0x290-0x2af, IRQ 11, configuration index 0x21 (COR 0x61)"),
              std::string::npos)
        << report.str();
    EXPECT_NE(report.str().find("chip          0x2a0"), std::string::npos) << report.str();
}

} // namespace
} // namespace orvo::test
