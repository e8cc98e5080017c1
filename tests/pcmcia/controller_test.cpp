// The socket controller's registers as a driver reaches them: blocks per socket through the
// two index/data pairs, the power and reset state machine, card detection, and a controller
// that goes away.
#include "pcmcia_rig.h"

#include <gtest/gtest.h>

#include <cstring>

namespace orvo::pcmcia::test {
namespace {

TEST(SocketController, EachSocketHasItsOwnBlockBehindItsPairAndAbsentSocketsReadAllOnes) {
    ControllerRig rig({.port = 0x3E0, .sockets = 6, .id = 0x82});
    // A stored register, written per socket with a value naming the socket.
    for (unsigned s = 0; s < 6; ++s) rig.write(s, reg::kIoControl, static_cast<std::uint8_t>(0xA0 + s));
    for (unsigned s = 0; s < 6; ++s) {
        EXPECT_EQ(rig.read(s, reg::kIoControl), 0xA0 + s) << "socket " << s;
        EXPECT_EQ(rig.read(s, reg::kIdRevision), 0x82) << "socket " << s;
    }
    // Socket 5 is the second block of the second pair: index 0x47 at 0x3E2.
    rig.machine.ports.write8(0x3E2, 0x47);
    EXPECT_EQ(rig.machine.ports.read8(0x3E2), 0x47) << "the index register reads back";
    EXPECT_EQ(rig.machine.ports.read8(0x3E3), 0xA5);
    // Sockets 6 and 7 do not exist: their blocks read 0xFF and writes vanish.
    for (unsigned s : {6u, 7u}) {
        rig.write(s, reg::kIoControl, 0x11);
        EXPECT_EQ(rig.read(s, reg::kIdRevision), 0xFF);
        EXPECT_EQ(rig.read(s, reg::kIoControl), 0xFF);
    }
    // A 16-bit write puts the index in the low byte and the value in the high byte.
    rig.machine.ports.write(0x3E0, 0x5547, 2);
    EXPECT_EQ(rig.read(1, reg::kIoControl), 0x55);
}

TEST(SocketController, WithFourSocketsOrFewerOnlyTheFirstPairIsDecoded) {
    ControllerRig rig({.port = 0x3E0, .sockets = 2});
    EXPECT_EQ(rig.machine.ports.device_at(0x3E1), &rig.controller);
    EXPECT_EQ(rig.machine.ports.device_at(0x3E2), nullptr);
    EXPECT_EQ(rig.read(4, reg::kIdRevision), 0xFF);
    ControllerRig eight({.port = 0x3E4, .sockets = 8});
    EXPECT_EQ(eight.machine.ports.device_at(0x3E7), &eight.controller);
    EXPECT_EQ(eight.read(7, reg::kIdRevision), id::kDefault);
}

TEST(SocketController, PowerAndResetFollowOneStateMachineAndTheCardForgetsItsConfigurationOnReset) {
    struct Case {
        std::uint8_t power, interrupt;
        bool card;
        SocketState state;
        std::uint8_t status;  // interface status
    };
    constexpr std::uint8_t kVcc = power::kVccOn, kAuto = power::kAutoPower, kOut = power::kOutputEnable;
    constexpr std::uint8_t kRun = intctl::kResetReleased | intctl::kIoCard;
    const Case cases[] = {
        {0, kRun, false, SocketState::Empty, 0x00},
        {kVcc | kAuto | kOut, kRun, false, SocketState::Empty, 0x00},          // automatic: no card, no power
        {kVcc | kOut, kRun, false, SocketState::Empty, 0x40},                  // forced power into nothing
        {0, kRun, true, SocketState::Unpowered, 0x0C},
        {kVcc | kAuto, kRun, true, SocketState::Isolated, 0x4F},
        {kVcc | kAuto | kOut, intctl::kIoCard, true, SocketState::InReset, 0x4F},
        {kVcc | kAuto | kOut, kRun, true, SocketState::Running, 0x6F},
    };
    for (const Case& c : cases) {
        ControllerRig rig;
        RecordingCard card;
        if (c.card) rig.controller.insert_card(0, card.card);
        rig.write(0, reg::kPowerControl, c.power);
        rig.write(0, reg::kInterruptControl, c.interrupt);
        EXPECT_EQ(rig.controller.socket(0).state(), c.state) << int(c.power) << "/" << int(c.interrupt);
        EXPECT_EQ(rig.read(0, reg::kInterfaceStatus), c.status) << int(c.power) << "/" << int(c.interrupt);
    }

    // A configured card keeps its configuration while isolated, loses it in reset or without power.
    ControllerRig rig;
    RecordingCard card;
    rig.controller.insert_card(0, card.card);
    auto configure = [&] {
        rig.power_up(0);
        card.card.attribute_write(PcCard::kCorAddress, 0x60);
        ASSERT_TRUE(card.card.configured());
    };
    configure();
    rig.write(0, reg::kPowerControl, kVcc | kAuto);
    EXPECT_EQ(rig.controller.socket(0).state(), SocketState::Isolated);
    EXPECT_TRUE(card.card.configured());
    configure();
    rig.write(0, reg::kInterruptControl, intctl::kIoCard);
    EXPECT_FALSE(card.card.configured()) << "card reset";
    configure();
    rig.write(0, reg::kPowerControl, 0);
    EXPECT_FALSE(card.card.configured()) << "power off";
}

TEST(SocketController, CardDetectChangesLatchUntilReadAndPeekingLeavesThem) {
    ControllerRig rig;
    RecordingCard card;
    EXPECT_EQ(rig.read(1, reg::kCardStatusChange), 0x00);
    rig.controller.insert_card(1, card.card);
    EXPECT_EQ(rig.controller.peek(1, reg::kCardStatusChange), change::kCardDetect);
    EXPECT_EQ(rig.read(1, reg::kCardStatusChange), change::kCardDetect);
    EXPECT_EQ(rig.read(1, reg::kCardStatusChange), 0x00);
    rig.controller.remove_card(1);
    EXPECT_EQ(rig.read(1, reg::kCardStatusChange), change::kCardDetect);
    EXPECT_EQ(rig.read(1, reg::kInterfaceStatus) & status::kCardDetect, 0);
    EXPECT_THROW(rig.controller.insert_card(2, card.card), std::out_of_range);
    rig.controller.insert_card(0, card.card);
    RecordingCard other;
    EXPECT_THROW(rig.controller.insert_card(0, other.card), std::logic_error);
}

TEST(SocketController, ASystemResetReachesTheCardUnlessResetDrvIsDisabled) {
    for (const bool keep : {false, true}) {
        ControllerRig rig;
        RecordingCard card;
        rig.controller.insert_card(0, card.card);
        rig.power_up(0);
        if (!keep) {
            rig.write(0, reg::kPowerControl, power::kOutputEnable | power::kAutoPower | power::kVccOn);
        }
        card.card.attribute_write(PcCard::kCorAddress, 0x61);
        rig.controller.system_reset();
        EXPECT_EQ(card.card.configured(), keep) << (keep ? "RESETDRV disabled" : "RESETDRV reaches the card");
        EXPECT_EQ(rig.controller.socket(0).state(), SocketState::Running);
    }
}

TEST(SocketController, DataPathWaitAndOtherWindowRegistersAreStoredAsWritten) {
    ControllerRig rig;
    const std::uint8_t regs[] = {reg::kIoControl, reg::kStatusChangeConfig, reg::kMem0StopHigh, 0x18, 0x2D, 0x3F};
    for (std::uint8_t r : regs) rig.write(0, r, static_cast<std::uint8_t>(0xC0 | r));
    for (std::uint8_t r : regs) EXPECT_EQ(rig.read(0, r), 0xC0 | r) << SocketController::register_name(r);
    // Read-only registers ignore writes.
    rig.write(0, reg::kIdRevision, 0x12);
    rig.write(0, reg::kInterfaceStatus, 0xFF);
    EXPECT_EQ(rig.read(0, reg::kIdRevision), id::kDefault);
    EXPECT_EQ(rig.read(0, reg::kInterfaceStatus), 0x00);
}

// A controller that goes away after its next accesses: the last one it serves still works,
// then its ports read all ones and take no writes, its window leaves the ISA memory as it
// was, and the card in its socket loses power and its configuration, so its function leaves
// the I/O space; the card itself stays in the socket.
TEST(SocketController, ARemovedControllerReadsAllOnesAndItsCardsLosePowerAndWindows) {
    constexpr std::uint32_t kWindow = 0xD4000;
    ControllerRig rig;
    RecordingCard card;
    std::memset(rig.memory(kWindow), 0x5A, 0x1000);
    rig.controller.insert_card(0, card.card);
    rig.power_up(0);
    rig.open_window(0, kWindow, kWindow);
    rig.open_io_window(0, 0, 0x280, 0x29F);
    *rig.memory(kWindow + PcCard::kCorAddress) = 0x60;  // reaches the card at the next access
    rig.read(0, reg::kIdRevision);
    ASSERT_EQ(card.placements.back(), std::optional<std::uint16_t>(0x290));
    ASSERT_NE(*rig.memory(kWindow), 0x5A) << "the window shows the card";

    rig.controller.remove_after(3);
    EXPECT_EQ(rig.read(0, reg::kIdRevision), id::kDefault);  // accesses 1 and 2
    EXPECT_FALSE(rig.controller.removed());
    rig.machine.ports.write8(0x3E0, reg::kIdRevision);  // the third, still served
    EXPECT_TRUE(rig.controller.removed());
    EXPECT_EQ(rig.machine.ports.read8(0x3E1), 0xFF);
    EXPECT_EQ(rig.machine.ports.device_at(0x3E0), nullptr);
    rig.write(0, reg::kPowerControl, power::kOutputEnable | power::kVccOn);  // lost
    EXPECT_EQ(rig.controller.socket(0).state(), SocketState::Unpowered);

    EXPECT_EQ(*rig.memory(kWindow), 0x5A) << "ISA memory as it was under the window";
    EXPECT_FALSE(card.card.configured());
    EXPECT_EQ(card.placements.back(), std::nullopt) << "the function left the I/O space";
    EXPECT_EQ(rig.controller.card(0), &card.card);
}

} // namespace
} // namespace orvo::pcmcia::test
