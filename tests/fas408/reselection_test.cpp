// A target that disconnects and comes back: the reselection interrupt, the bus ID byte and
// IDENTIFY in the FIFO with ACK held, and a reselection that beats the driver's selection.

#include "chip_rig.h"

#include "machine/scsi/target.h"

#include <gtest/gtest.h>

namespace orvo::test {
namespace {

using namespace fas408;
using scsi::Phase;

struct ReselectionTest : ::testing::Test {
    ChipRig rig;
    scsi::ScsiTarget target{rig.bus, 3, scsi::TargetBehaviour{.disconnect_after_command = true,
                                                              .ignore_disconnect_privilege = true}};
    void SetUp() override { rig.init(); }
    void TearDown() override {
        if (HasFailure()) std::cerr << rig.dump();
    }
    // Selects target 3 LUN 1 with INQUIRY and takes its DISCONNECT.
    void select_and_let_go() {
        std::uint8_t step;
        const Interrupt i = rig.select({.target = 3, .lun = 1, .cdb = {0x12, 0x20, 0, 0, 36, 0}}, &step);
        ASSERT_EQ(i.phase(), std::uint8_t(Phase::MessageIn));
        Interrupt last;
        ASSERT_EQ(rig.message_in(&last), std::vector<std::uint8_t>{0x04});
        rig.command(cmd::kMessageAccepted);
        ASSERT_EQ(rig.wait().bits, int_bits::kDisconnect);
    }
};

TEST_F(ReselectionTest, ReselectionIsAnsweredOnlyWhileTheChipSelects) {
    select_and_let_go();
    const io::Nanoseconds gone = rig.bp.clock.now();
    // Left alone the chip does not answer: the target waits in reselection, then gives up.
    EXPECT_TRUE(rig.wait(300 * io::kMillisecond).timed_out);
    EXPECT_EQ(rig.bus.stats().reselections, 2u);  // at 0.5 ms and again after the 250 ms time-out
    const Interrupt i = rig.await_reselection();
    EXPECT_EQ(i.bits, int_bits::kReselected);
    EXPECT_GE(rig.bp.clock.now() - gone, 250 * io::kMillisecond + target.behaviour().reselect_delay);
    EXPECT_EQ(rig.rd(reg::kFifoFlags), 2);
    EXPECT_EQ(rig.rd(reg::kFifo), 0x88);  // target 3 and initiator 7
    EXPECT_EQ(rig.rd(reg::kFifo), 0x81);  // IDENTIFY, LUN 1
    EXPECT_TRUE(rig.bus.ack_held());
    rig.command(cmd::kMessageAccepted);
    const Interrupt next = rig.wait();
    EXPECT_EQ(next.bits, int_bits::kBusService);
    EXPECT_EQ(next.phase(), std::uint8_t(Phase::DataIn));
    EXPECT_EQ(rig.trace(), (std::vector<std::string>{"SELECT 3 ATN", "MSGOUT 81", "COMMAND 12 20 00 00 24 00",
                                                     "MSGIN 04", "DISCONNECT", "RESELECT 3 LUN 1", "RESELECT 3 LUN 1",
                                                     "MSGIN 81"}));
}

TEST_F(ReselectionTest, ReselectionHoldingTheBusIsAnsweredInsteadOfTheDriversSelection) {
    select_and_let_go();
    rig.bp.clock.advance(target.behaviour().reselect_delay + 10 * io::kMicrosecond);
    std::uint8_t step;
    const Interrupt i = rig.select({.target = 2, .cdb = {0, 0, 0, 0, 0, 0}}, &step);
    EXPECT_EQ(i.bits, int_bits::kReselected);
    EXPECT_EQ(rig.bus.connected_target(), 3);
    for (const auto& e : rig.trace()) EXPECT_NE(e, "SELECT 2 ATN");
}

TEST_F(ReselectionTest, WholeExchangeAcrossTheDisconnection) {
    const Exchange x = rig.run({.target = 3, .lun = 1, .cdb = {0x12, 0x20, 0, 0, 36, 0}, .data_in = 36});
    EXPECT_TRUE(x.completed);
    EXPECT_EQ(x.reselect_id, 0x88);
    EXPECT_EQ(x.data.size(), 36u);
    EXPECT_EQ(target.stats().reselections, 1u);
}

} // namespace
} // namespace orvo::test
