// Memory window 0 in the ISA memory buffer: what it shows, where card writes go, and what the
// buffer holds again once the window is gone.
#include "pcmcia_rig.h"

#include <gtest/gtest.h>

#include <cstring>

namespace orvo::pcmcia::test {
namespace {

constexpr std::uint32_t kWindow = 0xD4000;

struct WindowTest : ::testing::Test {
    ControllerRig rig;
    RecordingCard card{CisBuilder().vers_1({"MAKER", "CARD"}).add(0x20, {1, 2, 3, 4}).end().bytes()};

    void SetUp() override {
        // Something of the system's own in ISA memory where the window goes.
        std::memset(rig.memory(kWindow - 0x1000), 0x5A, 0x4000);
        rig.controller.insert_card(0, card.card);
    }
    std::uint8_t at(std::uint32_t offset) { return *rig.memory(kWindow + offset); }
};

TEST_F(WindowTest, ShowsTheCisAtEvenOffsetsAndTheRegistersAndRestoresTheMemoryWhenClosed) {
    rig.power_up(0);
    rig.open_window(0, kWindow, kWindow);
    const auto& cis = card.card.cis();
    for (std::size_t k = 0; k < cis.size(); ++k) {
        ASSERT_EQ(at(2 * k), cis[k]) << "CIS byte " << k;
        ASSERT_EQ(at(2 * k + 1), 0xFF) << "odd address " << 2 * k + 1;
    }
    EXPECT_EQ(at(2 * cis.size()), 0xFF) << "past the CIS";
    EXPECT_EQ(at(0x400), 0x00) << "COR";
    EXPECT_EQ(*rig.memory(kWindow - 1), 0x5A) << "below the window";
    EXPECT_EQ(*rig.memory(kWindow + 0x1000), 0x5A) << "above the window";
    rig.close_window(0);
    for (std::uint32_t offset : {0u, 1u, 0x400u, 0xFFFu}) EXPECT_EQ(at(offset), 0x5A) << offset;
}

TEST_F(WindowTest, ACardThatDoesNotRunShowsNothing) {
    rig.open_window(0, kWindow, kWindow);
    EXPECT_EQ(at(0), 0xFF) << "unpowered";
    rig.power_up(0);
    EXPECT_EQ(at(0), tuple::kVers1) << "filled again when the socket starts running";
    rig.write(0, reg::kInterruptControl, intctl::kIoCard);
    EXPECT_EQ(at(0), 0xFF) << "in reset";
}

TEST_F(WindowTest, EveryPageOfAWiderWindowShowsTheCardBecauseItDecodesFourKilobytes) {
    rig.power_up(0);
    // Two pages from 0xD4000 with offset 0: window offset 0x1000 is card address 0xD5000,
    // which the card decodes as 0x000.
    rig.open_window(0, kWindow, kWindow + 0x1000);
    EXPECT_EQ(at(0x1000), tuple::kVers1);
    EXPECT_EQ(at(0x1400), 0x00) << "the COR repeats too";
    EXPECT_EQ(*rig.memory(kWindow + 0x2000), 0x5A) << "past the second page";
    rig.close_window(0);
    EXPECT_EQ(at(0x1000), 0x5A);
    // Common memory (no REG bit): this card has none.
    rig.open_window(0, kWindow, kWindow, 0, 0);
    EXPECT_EQ(at(0), 0xFF);
}

TEST_F(WindowTest, WritesReachTheCardAtTheNextControllerAccessAndCisWritesVanish) {
    rig.power_up(0);
    rig.open_window(0, kWindow, kWindow);
    *rig.memory(kWindow + 0x400) = 0x60;
    *rig.memory(kWindow + 0x402) = 0x00;
    *rig.memory(kWindow + 0x000) = 0x99;  // CIS: read-only
    EXPECT_EQ(card.card.cor(), 0x00) << "not before the card is touched";
    rig.read(0, reg::kInterfaceStatus);
    EXPECT_EQ(card.card.cor(), 0x60);
    EXPECT_EQ(at(0x000), tuple::kVers1) << "the CIS shows through again";
    EXPECT_EQ(at(0x400), 0x60) << "the COR reads back";

    // Closing the window passes writes on too.
    *rig.memory(kWindow + 0x400) = 0x61;
    rig.close_window(0);
    EXPECT_EQ(card.card.cor(), 0x61);
    EXPECT_EQ(at(0x400), 0x5A);

    // A write-protected window drops them.
    rig.open_window(0, kWindow, kWindow, 0, memwin::kAttribute | memwin::kWriteProtect);
    *rig.memory(kWindow + 0x400) = 0x60;
    rig.controller.sync_memory();
    EXPECT_EQ(card.card.cor(), 0x61);
    EXPECT_EQ(at(0x400), 0x61);
}

TEST_F(WindowTest, OverlappingWindowsShowTheUpperSocketAndUncoverInOrder) {
    ControllerRig two({.port = 0x3E0, .sockets = 2});
    std::memset(two.memory(kWindow), 0x5A, 0x1000);
    RecordingCard lower{CisBuilder().add(0x01, {}).end().bytes()};
    RecordingCard upper{CisBuilder().add(0x02, {}).end().bytes()};
    two.controller.insert_card(0, lower.card);
    two.controller.insert_card(1, upper.card);
    two.power_up(0);
    two.power_up(1);
    two.open_window(0, kWindow, kWindow);
    two.open_window(1, kWindow, kWindow);
    EXPECT_EQ(*two.memory(kWindow), 0x02);
    *two.memory(kWindow + 0x400) = 0x60;
    two.controller.sync_memory();
    EXPECT_EQ(upper.card.cor(), 0x60);
    EXPECT_EQ(lower.card.cor(), 0x00) << "the covered card sees nothing";
    two.close_window(1);
    EXPECT_EQ(*two.memory(kWindow), 0x01);
    two.close_window(0);
    EXPECT_EQ(*two.memory(kWindow), 0x5A);
}

} // namespace
} // namespace orvo::pcmcia::test
