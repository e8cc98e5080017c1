// The driver's register layer on the socket controller: finding it and counting sockets,
// selecting a socket, power and reset only when needed, and the attribute window registers.
#include "ScsiMiniPort/socket/pcic365.h"
#include "socket_rig.h"

#include <algorithm>

namespace orvo::socket_test {
namespace {

struct ControllerSearch : SocketRig {};

TEST_F(ControllerSearch, CountsAnsweringSocketsAtTheGivenPortOrTheFirstCandidateThatAnswers) {
    struct Case {
        const char* what;
        std::optional<pcmcia::ControllerConfig> controller;
        USHORT option_port;
        ULONG sockets;
        ULONG pcic_port;
    };
    const Case cases[] = {
        {"eight sockets found by the search", pcmcia::ControllerConfig{0x3E0, 8, 0x83}, 0, 8, 0x3E0},
        {"a given port is probed for four sockets only", pcmcia::ControllerConfig{0x3E0, 8, 0x83}, 0x3E0, 4, 0x3E0},
        {"two sockets: the count stops at the first silent one", pcmcia::ControllerConfig{0x3E0, 2, 0x83}, 0, 2, 0x3E0},
        {"the second candidate", pcmcia::ControllerConfig{0x3E4, 4, 0x83}, 0, 4, 0x3E4},
        {"a later candidate with three sockets", pcmcia::ControllerConfig{0xFCFC, 3, 0x8F}, 0, 3, 0xFCFC},
        {"the given port has no controller", pcmcia::ControllerConfig{0x3E0, 2, 0x83}, 0x3E4, 0, 0x3E4},
        {"no controller anywhere", std::nullopt, 0, 0, 0xFFF4},
        {"identification 0x82 answers", pcmcia::ControllerConfig{0x3E0, 1, 0x82}, 0, 1, 0x3E0},
        {"identification 0x7F does not", pcmcia::ControllerConfig{0x3E0, 2, 0x7F}, 0, 0, 0xFFF4},
        {"identification 0x90 does not", pcmcia::ControllerConfig{0x3E0, 2, 0x90}, 0, 0, 0xFFF4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SocketRig::SetUp();
        controller.reset();
        if (c.controller) add_controller(*c.controller);
        EXPECT_EQ(call([&] { return check365(&ad, c.option_port); }), c.sockets);
        EXPECT_EQ(ad.PcicPort, c.pcic_port);
    }
}

TEST_F(ControllerSearch, ACandidateAfterOneThatAnswersIsNeverProbed) {
    add_controller({0x3E0, 1, 0x83});
    const Lines trace = accesses([&] { check365(&ad, 0); });
    EXPECT_TRUE(std::none_of(trace.begin(), trace.end(), [](const std::string& l) { return l.find(" 03e4 ") != std::string::npos; }));
    // Socket 0 answered, socket 1 did not: two probes, the second one ends the count.
    EXPECT_EQ(register_ops(trace), (Lines{"R00=83", "R40=ff"}));
}

// The data port of a given index port is the next one: 0xFFFF would have it past the I/O
// space, so it names no controller and nothing is touched; 0xFFFE is the last one probed.
TEST_F(ControllerSearch, AGivenPortWhoseDataPortLiesPastTheIoSpaceIsNeverTouched) {
    add_controller({0x3E0, 2, 0x83});
    ULONG sockets = 99;
    EXPECT_TRUE(accesses([&] { sockets = check365(&ad, 0xFFFF); }).empty());
    EXPECT_EQ(sockets, 0u);
    host.allow_platform_ports(0xFFFE, 2);
    EXPECT_EQ(register_ops(accesses([&] { sockets = check365(&ad, 0xFFFE); }), 0xFFFE), (Lines{"R00=ff"}));
    EXPECT_EQ(sockets, 0u);
}

// Sockets 0 and 2 answer, socket 1 does not: socket 2 never counts.
struct GappedController : io::PortDevice {
    std::uint8_t index = 0;
    std::uint32_t port_read(std::uint16_t port, unsigned) override {
        if (port == 0x3E0) return index;
        return index == 0x00 || index == 0x80 ? 0x83 : 0xFF;
    }
    void port_write(std::uint16_t port, std::uint32_t value, unsigned) override {
        if (port == 0x3E0) index = static_cast<std::uint8_t>(value);
    }
};

TEST_F(ControllerSearch, ASocketCountsOnlyWhenEveryLowerOneAnswered) {
    GappedController gapped;
    machine.ports.map(0x3E0, 2, &gapped);
    EXPECT_EQ(call([&] { return check365(&ad, 0); }), 1u);
    machine.ports.unmap(0x3E0, 2);
}

struct SocketSelection : SocketRig {
    void SetUp() override {
        SocketRig::SetUp();
        add_controller({0x3E0, 8, 0x83});
    }
};

TEST_F(SocketSelection, SocketsFourToSevenUseTheSecondPairAndEachSocketItsBlock) {
    struct Case {
        ULONG socket;
        ULONG index_port, offset;
        const char* read;  // the access read_register_365(0x01) makes
    };
    const Case cases[] = {
        {0, 0x3E0, 0x00, "W8 03e0 01"}, {1, 0x3E0, 0x40, "W8 03e0 41"}, {3, 0x3E0, 0xC0, "W8 03e0 c1"},
        {4, 0x3E2, 0x00, "W8 03e2 01"}, {5, 0x3E2, 0x40, "W8 03e2 41"}, {7, 0x3E2, 0xC0, "W8 03e2 c1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(call([&] { return SetupReg365(&ad, c.socket); }), 0u);
        EXPECT_EQ(ad.PcicSocket, c.socket);
        EXPECT_EQ(ad.PcicIndexPort, c.index_port);
        EXPECT_EQ(ad.PcicDataPort, c.index_port + 1);
        EXPECT_EQ(ad.PcicRegOffset, c.offset);
        const Lines trace = accesses([&] { read_register_365(&ad, 0x01); });
        ASSERT_EQ(trace.size(), 2u);
        EXPECT_EQ(trace[0], c.read);
        EXPECT_EQ(trace[1].substr(0, 7), c.index_port == 0x3E0 ? "R8 03e1" : "R8 03e3");
    }
    // Socket 8 is refused and the selection stays.
    EXPECT_EQ(call([&] { return SetupReg365(&ad, 8); }), 8u);
    EXPECT_EQ(ad.PcicSocket, 7u);
    EXPECT_EQ(ad.PcicRegOffset, 0xC0u);
    // Writing puts the value into the selected socket's block.
    call([&] { write_register_365(&ad, 0x07, 0x5A); });
    EXPECT_EQ(socket(7).reg(0x07), 0x5A);
    EXPECT_EQ(socket(3).reg(0x07), 0x00);
}

TEST_F(SocketSelection, ACardIsPresentOnlyWithBothCardDetectBits) {
    insert(2, "card47");
    for (ULONG s : {1u, 2u}) {
        call([&] { SetupReg365(&ad, s); });
        EXPECT_EQ(call([&] { return pcmcia_card_check(&ad); }), s == 2 ? 0u : 1u) << "socket " << s;
    }
}

struct SocketBringUp : SocketRig {
    void SetUp() override {
        SocketRig::SetUp();
        add_controller({0x3E0, 2, 0x83});
        insert(0, "orvo88");
    }
    Lines init(ULONG address) {
        return register_ops(accesses([&] { pcmcia_init(&ad, address); }));
    }
};

TEST_F(SocketBringUp, PowersAndResetsAFreshSocketWithTwoWaitsThenOpensTheWindow) {
    const io::Nanoseconds before = machine.clock.now();
    const Lines ops = init(0xD4000);
    const Lines expected = {"R03=00", "W02=70", "W03=20", "W03=60", "W02=f0",  // power, reset, release, outputs
                            "W10=d4", "W11=80", "W12=d4", "W13=00", "W14=00", "W15=40", "R06=00", "W06=01"};
    EXPECT_EQ(ops, expected);
    EXPECT_GE(machine.clock.now() - before, 2 * io::kMillisecond);
    EXPECT_EQ(socket(0).state(), pcmcia::SocketState::Running);
    EXPECT_EQ(window()[0], pcmcia::tuple::kDevice) << "the window shows the card's CIS";
}

TEST_F(SocketBringUp, LeavesARunningIoCardAloneAndPowersOneMissingEitherCondition) {
    init(0xD4000);
    call([&] { pcmcia_mw_close(&ad); });
    const io::Nanoseconds before = machine.clock.now();
    EXPECT_EQ(init(0xD4000), (Lines{"R03=60", "R01=6f", "W10=d4", "W11=80", "W12=d4", "W13=00", "W14=00", "W15=40",
                                    "R06=00", "W06=01"}));
    EXPECT_LT(machine.clock.now() - before, 1 * io::kMillisecond) << "no waits";

    // In I/O mode but unpowered: power and reset again. Powered but in memory mode: the same.
    for (std::uint8_t power : {0x00, 0xF0}) {
        call([&] {
            write_register_365(&ad, 0x02, power);
            write_register_365(&ad, 0x03, power == 0 ? 0x60 : 0x40);
        });
        const Lines ops = init(0xD4000);
        ASSERT_GE(ops.size(), 3u);
        const bool io_card = power == 0;
        EXPECT_EQ(ops[0], io_card ? "R03=60" : "R03=40");
        EXPECT_EQ(ops[1], io_card ? "R01=0c" : "W02=70") << "register 0x01 is read only for an I/O card";
        EXPECT_NE(std::find(ops.begin(), ops.end(), "W02=f0"), ops.end());
    }
}

TEST_F(SocketBringUp, WindowRegistersSpanThePagesOfTheHostAddressWithoutACardOffset) {
    struct Case {
        ULONG address;
        Lines registers;  // 0x10 to 0x15
    };
    const Case cases[] = {
        {0xD4000, {"W10=d4", "W11=80", "W12=d4", "W13=00", "W14=00", "W15=40"}},   // one page
        {0xD4800, {"W10=d4", "W11=80", "W12=d5", "W13=00", "W14=00", "W15=40"}},   // two pages
        {0xF00000, {"W10=00", "W11=8f", "W12=00", "W13=0f", "W14=00", "W15=40"}},
        {0xEFF800, {"W10=ff", "W11=8e", "W12=00", "W13=0f", "W14=00", "W15=40"}},  // across a 1 MiB line
    };
    for (const Case& c : cases) {
        const Lines ops = init(c.address);
        ASSERT_GE(ops.size(), 8u);
        EXPECT_EQ(Lines(ops.end() - 8, ops.end() - 2), c.registers) << std::hex << c.address;
        EXPECT_EQ(ops.back(), "W06=01");
        call([&] { pcmcia_mw_close(&ad); });
    }
}

TEST_F(SocketBringUp, ClosingClearsOnlyTheMemoryWindowBitAndKeepsTheAddresses) {
    init(0xD4000);
    call([&] { write_register_365(&ad, 0x06, 0x41); });  // I/O window 0 open as well
    EXPECT_EQ(register_ops(accesses([&] { pcmcia_mw_close(&ad); })), (Lines{"R06=41", "W06=40"}));
    EXPECT_EQ(socket(0).reg(0x10), 0xD4);
    EXPECT_EQ(socket(0).reg(0x15), 0x40);
    EXPECT_FALSE(socket(0).memory_window().has_value());
    EXPECT_EQ(window()[0], 0x00) << "ISA memory shows again";
}

} // namespace
} // namespace orvo::socket_test
