// A PC Card's own side: its configuration registers, and where its I/O function answers
// given the socket's state, I/O windows and the configuration index.
#include "pcmcia_rig.h"

#include <gtest/gtest.h>

namespace orvo::pcmcia::test {
namespace {

TEST(PcCard, ConfigurationRegistersTakeTheirBitsAndASoftResetUnconfigures) {
    PcCard card(CardModel{"c", simple_cis(), std::nullopt});
    card.attribute_write(PcCard::kCsrAddress, 0xFF);
    EXPECT_EQ(card.attribute_read(PcCard::kCsrAddress), csr::kWritable) << "changed and interrupt bits are the card's";
    card.attribute_write(PcCard::kCorAddress, 0x61);
    EXPECT_EQ(card.configuration_index(), 0x21);
    EXPECT_EQ(card.attribute_read(0x1400), 0x61) << "attribute memory repeats every 4 KiB";
    card.attribute_write(PcCard::kCorAddress, 0x80 | 0x61);
    EXPECT_FALSE(card.configured());
    EXPECT_EQ(card.cor(), cor::kSoftReset);
    EXPECT_EQ(card.csr(), 0x00);
    EXPECT_THROW(PcCard(CardModel{"big", std::vector<std::uint8_t>(PcCard::kMaxCisBytes + 1, 0), std::nullopt}),
                 std::invalid_argument);
}

struct FunctionCase {
    const char* what;
    std::uint8_t cor;
    std::uint16_t first, last;  // I/O window 0
    std::optional<std::uint16_t> base;
};

TEST(PcCard, TheFunctionAnswersInsideTheWindowWhereTheConfigurationIndexPutsIt) {
    const FunctionCase cases[] = {
        {"index 0x20: upper half of the block", 0x60, 0x280, 0x29F, 0x290},
        {"index 0x21: lower half of the next block", 0x61, 0x290, 0x2AF, 0x2A0},
        {"index 0x21 at an aligned base: the lower half, at the base itself", 0x61, 0x280, 0x29F, 0x280},
        {"index 0x20 at an unaligned base: the first block's upper half, at the base", 0x60, 0x290, 0x2AF, 0x290},
        {"a window too small for the function", 0x60, 0x280, 0x28F, std::nullopt},
        {"an index the card does not offer", 0x65, 0x280, 0x29F, std::nullopt},
        {"not configured", 0x40, 0x280, 0x29F, std::nullopt},
    };
    for (const FunctionCase& c : cases) {
        RecordingCard card;
        card.card.attribute_write(PcCard::kCorAddress, c.cor);
        EXPECT_EQ(card.card.function_base(c.first, c.last), c.base) << c.what;
    }
    PcCard plain(CardModel{"c", simple_cis(), std::nullopt});
    plain.attribute_write(PcCard::kCorAddress, 0x60);
    EXPECT_EQ(plain.function_base(0x280, 0x29F), std::nullopt) << "a card without a modelled function";
}

TEST(PcCard, TheFunctionIsDecodedOnlyWhileRunningInIoModeConfiguredAndWithAnOpenWindow) {
    ControllerRig rig;
    RecordingCard card;
    rig.controller.insert_card(0, card.card);
    rig.power_up(0);
    rig.open_io_window(0, 0, 0x280, 0x29F);
    EXPECT_EQ(card.card.function_placed(), std::nullopt) << "not configured yet";
    rig.open_window(0, 0xD4000, 0xD4000);
    *rig.memory(0xD4400) = 0x60;  // the COR, written through the window
    rig.read(0, reg::kInterfaceStatus);
    EXPECT_EQ(card.card.function_placed(), std::optional<std::uint16_t>(0x290));

    // I/O window 0 off, window 1 on elsewhere: the function moves there.
    rig.write(0, reg::kWindowEnable, 0);
    EXPECT_EQ(card.card.function_placed(), std::nullopt);
    rig.open_io_window(0, 1, 0x300, 0x31F);
    EXPECT_EQ(card.card.function_placed(), std::optional<std::uint16_t>(0x310));
    // Memory-only mode cuts I/O off; back in I/O mode it returns.
    rig.write(0, reg::kInterruptControl, intctl::kResetReleased);
    EXPECT_EQ(card.card.function_placed(), std::nullopt);
    rig.write(0, reg::kInterruptControl, intctl::kResetReleased | intctl::kIoCard);
    EXPECT_EQ(card.card.function_placed(), std::optional<std::uint16_t>(0x310));
    // Pulling the card takes it off the bus.
    rig.controller.remove_card(0);
    EXPECT_EQ(card.card.function_placed(), std::nullopt);
    const std::vector<std::optional<std::uint16_t>> expected = {0x290, std::nullopt, 0x310, std::nullopt, 0x310,
                                                                std::nullopt};
    EXPECT_EQ(card.placements, expected);
}

TEST(PcCard, APlacementRefusedForTakenPortsIsReportedAndRetriedAtTheNextChange) {
    ControllerRig rig;
    RecordingCard card;
    card.refuse = true;
    rig.controller.insert_card(0, card.card);
    rig.power_up(0);
    rig.open_io_window(0, 0, 0x280, 0x29F);
    card.card.attribute_write(PcCard::kCorAddress, 0x60);
    rig.write(0, reg::kWindowEnable, winen::kIo0);
    EXPECT_TRUE(card.card.function_conflict());
    EXPECT_EQ(card.card.function_placed(), std::nullopt);
    card.refuse = false;
    rig.write(0, reg::kWindowEnable, winen::kIo0);
    EXPECT_FALSE(card.card.function_conflict());
    EXPECT_EQ(card.card.function_placed(), std::optional<std::uint16_t>(0x290));
}

} // namespace
} // namespace orvo::pcmcia::test
