// Selection as the driver runs it: with and without an SDTR offer, through either FIFO, the
// sequence steps a target's answers lead to, and the selection time-out.

#include "chip_rig.h"

#include "machine/scsi/disk.h"
#include "machine/scsi/scripted_target.h"
#include "machine/scsi/target.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace orvo::test {
namespace {

using namespace fas408;
using scsi::Phase;

constexpr std::uint8_t kFcBs = int_bits::kFunctionComplete | int_bits::kBusService;

struct SelectionTest : ::testing::Test {
    ChipRig rig;
    scsi::ScsiTarget target{rig.bus, 2};
    void SetUp() override { rig.init(); }
    void TearDown() override {
        if (HasFailure()) std::cerr << rig.dump();
    }
};

TEST_F(SelectionTest, IdentifyAndCommandGoOutWithSelectionAndTheTargetAsksForData) {
    const std::vector<std::uint8_t> inquiry{0x12, 0, 0, 0, 36, 0};
    std::uint8_t step = 0xFF;
    const Interrupt i = rig.select({.target = 2, .cdb = inquiry}, &step);
    EXPECT_EQ(i.bits, kFcBs);
    EXPECT_EQ(step, seq_step::kComplete);
    EXPECT_EQ(i.phase(), std::uint8_t(Phase::DataIn));
    EXPECT_EQ(rig.rd(reg::kFifoFlags) & fifo_flags::kCountMask, 0);
    EXPECT_EQ(rig.trace(), (std::vector<std::string>{"SELECT 2 ATN", "MSGOUT 80", "COMMAND 12 00 00 00 24 00"}));
}

TEST_F(SelectionTest, CommandBytesTakenFromTheDataFifo) {
    const std::vector<std::uint8_t> tur{0x00, 0, 0, 0, 0, 0};
    std::uint8_t step = 0xFF;
    const Interrupt i = rig.select({.target = 2, .cdb = tur, .data_fifo_select = true}, &step);
    EXPECT_EQ(i.bits, kFcBs);
    EXPECT_EQ(step, seq_step::kComplete);
    EXPECT_EQ(i.phase(), std::uint8_t(Phase::Status));
    EXPECT_EQ(rig.trace()[2], "COMMAND 00 00 00 00 00 00");
}

TEST_F(SelectionTest, SdtrOfferStopsAfterIdentifyAndTheRestFollowsInMessageOut) {
    std::uint8_t step = 0xFF;
    const Interrupt i = rig.select({.target = 2, .cdb = {0, 0, 0, 0, 0, 0}, .offer_sdtr = true}, &step);
    EXPECT_EQ(i.bits, kFcBs);
    EXPECT_EQ(step, seq_step::kMessageStopped);
    ASSERT_EQ(i.phase(), std::uint8_t(Phase::MessageOut));
    EXPECT_EQ(rig.count(), 5u);  // the rest of the offer is still counted
    EXPECT_EQ(rig.rd(reg::kFifoFlags) & fifo_flags::kCountMask, 5);

    rig.command(cmd::kTransferInfo);
    const Interrupt next = rig.wait();
    EXPECT_EQ(next.bits, int_bits::kBusService);
    EXPECT_EQ(next.phase(), std::uint8_t(Phase::MessageIn));  // the target's answer
    EXPECT_EQ(rig.rd(reg::kFifoFlags) & fifo_flags::kCountMask, 0);
    EXPECT_FALSE(rig.bus.atn());  // dropped before the last message byte
    EXPECT_EQ(rig.trace(), (std::vector<std::string>{"SELECT 2 ATN", "MSGOUT 80 01 03 01 19 0f"}));
}

TEST_F(SelectionTest, NoAnswerEndsInDisconnectAfterTheSelectionTimeout) {
    const io::Nanoseconds start = rig.bp.clock.now();
    std::uint8_t step = 0xFF;
    const Interrupt i = rig.select({.target = 5, .cdb = {0, 0, 0, 0, 0, 0}}, &step);
    const io::Nanoseconds took = rig.bp.clock.now() - start;
    EXPECT_EQ(i.bits, int_bits::kDisconnect);
    EXPECT_EQ(step, seq_step::kNoMessageOut);
    EXPECT_GT(took, 250 * io::kMillisecond);  // 0x99 x 8192 x 8 clocks of 25 ns = 250.7 ms
    EXPECT_LT(took, 251 * io::kMillisecond);
    EXPECT_EQ(rig.trace(), (std::vector<std::string>{"SELECT 5 ATN", "SELTIMEOUT 5"}));
    EXPECT_EQ(rig.bus.state(), scsi::ScsiBus::State::Free);
}

// Regression: with the bytes in the data FIFO, select-and-stop leaves the rest of the offer
// there for the data-FIFO transfer command (it used to strand them in the SCSI FIFO).
TEST_F(SelectionTest, DataFifoOfferKeepsTheRestForTheDataFifoTransfer) {
    std::uint8_t step = 0xFF;
    const Interrupt i = rig.select(
        {.target = 2, .cdb = {0, 0, 0, 0, 0, 0}, .offer_sdtr = true, .data_fifo_select = true}, &step);
    EXPECT_EQ(step, seq_step::kMessageStopped);
    ASSERT_EQ(i.phase(), std::uint8_t(Phase::MessageOut));
    EXPECT_EQ(rig.rd(reg::kFifoFlags) & fifo_flags::kCountMask, 0);
    rig.load_count(5);
    rig.command(cmd::kTransferInfo | cmd::kDataFifo);
    EXPECT_EQ(rig.wait().phase(), std::uint8_t(Phase::MessageIn));
    EXPECT_EQ(rig.trace(), (std::vector<std::string>{"SELECT 2 ATN", "MSGOUT 80 01 03 01 19 0f"}));
}

// Regression: an unanswered selection from the data FIFO drops its bytes, so the next
// selection's command is not preceded by them.
TEST_F(SelectionTest, UnansweredDataFifoSelectionLeavesNoBytesBehind) {
    std::uint8_t step = 0xFF;
    EXPECT_EQ(rig.select({.target = 5, .cdb = {0x12, 0, 0, 0, 36, 0}, .data_fifo_select = true}, &step).bits,
              int_bits::kDisconnect);
    rig.command(cmd::kFlushFifo);
    const Interrupt i = rig.select({.target = 2, .cdb = {0, 0, 0, 0, 0, 0}, .data_fifo_select = true}, &step);
    EXPECT_EQ(step, seq_step::kComplete);
    EXPECT_EQ(i.phase(), std::uint8_t(Phase::Status));
    EXPECT_EQ(rig.trace().back(), "COMMAND 00 00 00 00 00 00");
}

TEST_F(SelectionTest, SelectingWhileConnectedIsIllegal) {
    std::uint8_t step;
    rig.select({.target = 2, .cdb = {0x12, 0, 0, 0, 36, 0}}, &step);
    rig.command(cmd::kSelectAtn);
    const Interrupt i = rig.wait();
    EXPECT_EQ(i.bits, int_bits::kIllegalCommand);
    EXPECT_EQ(rig.chip.stats().illegal_commands, 1u);
}

// Targets that answer selection in unusual ways, and the sequence step the chip reports.
struct StepCase {
    const char* name;
    std::vector<scsi::ScriptStep> script;
    std::uint8_t step;
    Phase phase;
};

class SequenceStepTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(SequenceStepTest, ChipReportsHowFarTheSelectionGot) {
    ChipRig rig;
    rig.init();
    scsi::ScriptedTarget target(rig.bus, 3, GetParam().script);
    std::uint8_t step = 0xFF;
    const Interrupt i = rig.select({.target = 3, .cdb = {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}}, &step);
    EXPECT_EQ(i.bits, kFcBs) << rig.dump();
    EXPECT_EQ(step, GetParam().step) << rig.dump();
    EXPECT_EQ(i.phase(), std::uint8_t(GetParam().phase));
    if (GetParam().step == seq_step::kNoMessageOut) {
        EXPECT_TRUE(rig.bus.atn());  // the driver drops it
    }
}

using S = scsi::ScriptStep;
INSTANTIATE_TEST_SUITE_P(
    Steps, SequenceStepTest,
    ::testing::Values(
        StepCase{"SkipsMessageOut", {S::receive(Phase::Command, 10)}, seq_step::kNoMessageOut, Phase::Command},
        StepCase{"NoCommandPhase", {S::receive(Phase::MessageOut, 1), S::send(Phase::Status, {0x02})},
                 seq_step::kNoCommand, Phase::Status},
        StepCase{"CommandCutShort",
                 {S::receive(Phase::MessageOut, 1), S::receive(Phase::Command, 6), S::send(Phase::Status, {0x02})},
                 seq_step::kCommandShort, Phase::Status},
        StepCase{"Complete",
                 {S::receive(Phase::MessageOut, 1), S::receive(Phase::Command, 10), S::send(Phase::DataIn, {1, 2})},
                 seq_step::kComplete, Phase::DataIn}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace orvo::test
