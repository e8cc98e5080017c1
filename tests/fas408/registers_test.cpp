// Register behaviour without a bus exchange: banks, reset values, the counter, the FIFOs,
// SRAM, reads that clear and peeks that do not, the removed card, illegal commands.

#include "chip_rig.h"

#include <gtest/gtest.h>

namespace orvo::test {
namespace {

using namespace fas408;

struct RegisterTest : ::testing::Test {
    ChipRig rig;
};

TEST_F(RegisterTest, Config4Bit7SelectsTheBankThatHoldsChipId) {
    rig.load_count(0x123456);
    EXPECT_EQ(rig.rd(reg::kTcHigh), 0x12);  // bank 0 at 0x0E
    rig.wr(reg::kConfig4, 0x80);
    EXPECT_EQ(rig.rd(reg1::kChipId), 0x05);  // bank 1 at 0x0E
    rig.wr(reg1::kConfig4, 0x30);            // bit 7 clear: back to bank 0
    EXPECT_EQ(rig.rd(reg::kTcHigh), 0x12);
}

TEST_F(RegisterTest, ChipIdIsConfigurable) {
    io::Backplane bp;
    scsi::ScsiBus bus(bp.clock);
    Fas408 chip(bp.clock, bus, Fas408Config{.chip_id = 0x02});
    chip.attach(bp.ports, 0x300);
    bp.ports.write8(0x300 + reg::kConfig4, 0x80);
    EXPECT_EQ(bp.ports.read8(0x300 + reg1::kChipId), 0x02);
}

TEST_F(RegisterTest, WriteOnlyAndUnusedOffsetsReadAFixedValue) {
    rig.wr(reg::kConfig1, 0x87);
    rig.wr(reg::kConfig2, 0x48);
    for (std::uint8_t offset : {reg::kCommand, reg::kConfig1, reg::kClockFactor, std::uint8_t(0x0A),
                                reg::kConfig2, reg::kConfig4, std::uint8_t(0x0F)}) {
        EXPECT_EQ(rig.rd(offset), 0x00) << "bank 0 offset " << int(offset);
    }
    rig.bank(1);
    for (std::uint8_t offset : {std::uint8_t(0x00), reg1::kSramAddr, reg1::kSramData, std::uint8_t(0x03),
                                reg1::kPioDirection, reg1::kConfig4}) {
        EXPECT_EQ(rig.rd(offset), 0x00) << "bank 1 offset " << int(offset);
    }
    rig.wr(reg1::kChipId, 0x77);  // read-only: ignored
    EXPECT_EQ(rig.rd(reg1::kChipId), 0x05);
}

TEST_F(RegisterTest, ChipResetReturnsThePowerOnState) {
    rig.init();
    rig.load_count(0x0ABCDE);
    rig.wr(reg::kFifo, 1);
    rig.wr(reg::kFifo, 2);
    rig.command(0x55);  // illegal: leaves an interrupt pending
    ASSERT_NE(rig.rd(reg::kStatus) & status_bits::kInterrupt, 0);
    rig.wr(reg::kConfig4, 0x80);
    rig.wr(reg1::kPioDirection, 1);
    rig.bp.ports.write8(ChipRig::kBase + reg1::kPioData, 0xAA);
    rig.wr(reg1::kConfig4, 0x00);
    rig.command(cmd::kResetChip);
    EXPECT_EQ(rig.count(), 0u);
    EXPECT_EQ(rig.rd(reg::kFifoFlags), 0);
    EXPECT_EQ(rig.rd(reg::kConfig3), 0);
    EXPECT_EQ(rig.rd(reg::kStatus), status_bits::kCountZero);  // no interrupt, bus free
    EXPECT_EQ(rig.rd1(reg1::kPioStatus), pio_status::kEmpty);   // direction in, FIFO off and empty
}

TEST_F(RegisterTest, ScsiFifoCountsItsBytesAndFlushEmptiesIt) {
    for (int i = 0; i < 17; ++i) rig.wr(reg::kFifo, std::uint8_t(i));
    EXPECT_EQ(rig.rd(reg::kFifoFlags), 16);
    EXPECT_EQ(rig.chip.stats().fifo_overruns, 1u);
    EXPECT_EQ(rig.rd(reg::kFifo), 0);
    EXPECT_EQ(rig.rd(reg::kFifo), 1);
    EXPECT_EQ(rig.rd(reg::kFifoFlags), 14);
    rig.command(cmd::kFlushFifo);
    EXPECT_EQ(rig.rd(reg::kFifoFlags), 0);
}

TEST_F(RegisterTest, PeekLeavesInterruptAndFifosAlone) {
    rig.wr(reg::kFifo, 0x42);
    rig.command(0x7E);  // illegal
    EXPECT_EQ(rig.chip.peek(0, reg::kIntStatus), int_bits::kIllegalCommand);
    EXPECT_EQ(rig.chip.peek(0, reg::kFifo), 0x42);
    EXPECT_EQ(rig.chip.peek(0, reg::kStatus) & status_bits::kInterrupt, status_bits::kInterrupt);
    EXPECT_EQ(rig.rd(reg::kFifoFlags), 1);
    EXPECT_EQ(rig.rd(reg::kIntStatus), int_bits::kIllegalCommand);  // the read clears
    EXPECT_EQ(rig.rd(reg::kStatus) & status_bits::kInterrupt, 0);
    EXPECT_EQ(rig.rd(reg::kIntStatus), 0);
}

TEST_F(RegisterTest, CommandsThatNeedAConnectionAreIllegalWithoutOne) {
    for (std::uint8_t code : {cmd::kTransferInfo, std::uint8_t(cmd::kTransferInfo | cmd::kDataFifo),
                              cmd::kCommandComplete, cmd::kMessageAccepted, std::uint8_t(0x44), std::uint8_t(0x91)}) {
        rig.command(code);
        EXPECT_EQ(rig.rd(reg::kStatus) & status_bits::kInterrupt, status_bits::kInterrupt) << int(code);
        EXPECT_EQ(rig.rd(reg::kIntStatus), int_bits::kIllegalCommand) << int(code);
    }
    EXPECT_EQ(rig.chip.history().size(), 6u);
    EXPECT_EQ(rig.chip.history().at(5).command, 0x91);
}

TEST_F(RegisterTest, SramIsWrittenThroughBankOneAndSeenOnlyByTheMachine) {
    rig.wr(reg::kConfig4, 0x80);
    rig.wr(reg1::kSramAddr, 0x78);
    rig.wr(reg1::kSramData, 0x33);
    rig.wr(reg1::kSramAddr, 0x7F);
    rig.wr(reg1::kSramData, 'A');
    EXPECT_EQ(rig.rd(reg1::kSramData), 0x00);
    EXPECT_EQ(rig.chip.sram()[0x78], 0x33);
    EXPECT_EQ(rig.chip.sram()[0x7F], 'A');
    EXPECT_EQ(rig.chip.sram()[0x00], 0x00);
}

TEST_F(RegisterTest, RemovedCardReadsAllOnesFromItsTimeOn) {
    rig.init();
    const io::Nanoseconds when = rig.bp.clock.now() + 10 * io::kMicrosecond;
    rig.chip.set_removed_from(when);
    EXPECT_EQ(rig.rd(reg::kStatus), status_bits::kCountZero);
    rig.bp.clock.advance_to(when);
    for (std::uint8_t offset = 0; offset < 16; ++offset) EXPECT_EQ(rig.rd(offset), 0xFF);
    EXPECT_EQ(rig.bp.ports.read(ChipRig::kBase + reg1::kPioData, 4), 0xFFFFFFFFu);
    std::uint8_t block[8] = {};
    rig.bp.ports.read_buffer(ChipRig::kBase + reg1::kPioData, block, 8, 1);
    EXPECT_EQ(block[7], 0xFF);
    rig.wr(reg::kConfig4, 0x80);  // lost
    rig.chip.set_present();
    EXPECT_EQ(rig.rd(reg::kTcHigh), 0x00);  // still bank 0
}

TEST_F(RegisterTest, DataFifoLevelsFollowTheDirection) {
    rig.wr(reg::kConfig4, 0x80);
    rig.wr(reg1::kPioControl, pio_control::kOn);
    rig.wr(reg1::kPioDirection, pio_direction::kOut);
    EXPECT_EQ(rig.rd(reg1::kPioStatus), pio_status::kEmpty | pio_status::kAtLeast44);
    std::uint8_t bytes[129] = {};
    rig.bp.ports.write_buffer(ChipRig::kBase + reg1::kPioData, bytes, 48, 1);
    EXPECT_EQ(rig.rd(reg1::kPioStatus), pio_status::kAtLeast44);  // room for exactly 80
    rig.bp.ports.write8(ChipRig::kBase + reg1::kPioData, 0);
    EXPECT_EQ(rig.rd(reg1::kPioStatus), 0);
    rig.wr(reg1::kPioDirection, 0);  // the same 49 bytes seen as input
    EXPECT_EQ(rig.rd(reg1::kPioStatus), pio_status::kAtLeast44);
    rig.bp.ports.write_buffer(ChipRig::kBase + reg1::kPioData, bytes, 37, 1);
    EXPECT_EQ(rig.rd(reg1::kPioStatus), pio_status::kAtLeast44 | pio_status::kAtLeast86);  // 86
    rig.bp.ports.write_buffer(ChipRig::kBase + reg1::kPioData, bytes, 43, 1);
    EXPECT_EQ(rig.rd(reg1::kPioStatus), pio_status::kAtLeast44 | pio_status::kAtLeast86 | pio_status::kFull128);
    EXPECT_EQ(rig.chip.stats().fifo_overruns, 1u);  // 129 written into 128
    rig.wr(reg1::kPioControl, 0);  // off: held empty
    EXPECT_EQ(rig.rd(reg1::kPioStatus), pio_status::kEmpty);
}

TEST_F(RegisterTest, WideCyclesOnPioDataMoveSeveralBytesLowByteFirst) {
    rig.wr(reg::kConfig4, 0x80);
    rig.wr(reg1::kPioControl, pio_control::kOn);
    rig.bp.ports.write(ChipRig::kBase + reg1::kPioData, 0x44332211, 4);
    rig.bp.ports.write(ChipRig::kBase + reg1::kPioData, 0x6655, 2);
    EXPECT_EQ(rig.bp.ports.read(ChipRig::kBase + reg1::kPioData, 2), 0x2211u);
    EXPECT_EQ(rig.bp.ports.read(ChipRig::kBase + reg1::kPioData, 1), 0x33u);
    EXPECT_EQ(rig.bp.ports.read(ChipRig::kBase + reg1::kPioData, 4), 0xFF665544u);  // ran dry
    EXPECT_EQ(rig.chip.stats().fifo_underruns, 1u);
}

} // namespace
} // namespace orvo::test
