// SCSI bus reset through the chip: the interrupt, the targets dropping their connection, unit
// attention afterwards, and the CONFIG1 switch that silences the interrupt.

#include "chip_rig.h"

#include "machine/scsi/disk.h"
#include "machine/scsi/target.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace orvo::test {
namespace {

using namespace fas408;
using scsi::Phase;

const std::vector<std::uint8_t> kTestUnitReady{0, 0, 0, 0, 0, 0};
const std::vector<std::uint8_t> kRequestSense{0x03, 0, 0, 0, 18, 0};

struct BusResetTest : ::testing::Test {
    ChipRig rig;
    std::filesystem::path image = std::filesystem::path(::testing::TempDir()) /
                                  ("bus_reset_" + std::to_string(::getpid()) + ".img");
    scsi::ScsiTarget target{rig.bus, 1};
    void SetUp() override {
        std::filesystem::remove(image);
        target.attach_unit(0, std::make_unique<scsi::DiskUnit>(scsi::ImageFile::open_or_create(image, 64 * 512)));
        rig.init();
    }
    void TearDown() override {
        if (HasFailure()) std::cerr << rig.dump();
        std::filesystem::remove(image);
    }
    std::vector<std::uint8_t> sense() {
        return rig.run({.target = 1, .cdb = kRequestSense, .data_in = 18}).data;
    }
};

TEST_F(BusResetTest, ResetDropsTheConnectionAndLeavesUnitAttention) {
    EXPECT_EQ(rig.run({.target = 1, .cdb = kTestUnitReady}).status, 0x02);  // power-on
    EXPECT_EQ(sense()[2], 0x06);
    EXPECT_EQ(rig.run({.target = 1, .cdb = kTestUnitReady}).status, 0x00);

    std::uint8_t step;
    const Interrupt selected = rig.select({.target = 1, .cdb = {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}}, &step);
    ASSERT_EQ(selected.phase(), std::uint8_t(Phase::DataIn));
    const io::Nanoseconds start = rig.bp.clock.now();
    rig.wr(reg::kConfig4, 0x30);
    rig.command(cmd::kResetBus);
    const Interrupt i = rig.wait();
    EXPECT_EQ(i.bits, int_bits::kBusReset);
    EXPECT_LT(rig.bp.clock.now() - start, 26 * io::kMicrosecond);
    EXPECT_EQ(rig.trace().back(), "RESET");
    rig.bp.clock.advance(30 * io::kMicrosecond);
    EXPECT_EQ(rig.bus.state(), scsi::ScsiBus::State::Free);
    EXPECT_EQ(rig.rd(reg::kStatus) & status_bits::kInterrupt, 0);

    EXPECT_EQ(rig.run({.target = 1, .cdb = kTestUnitReady}).status, 0x02);
    const auto s = sense();
    EXPECT_EQ(s[2], 0x06);   // UNIT ATTENTION
    EXPECT_EQ(s[12], 0x29);  // power on, reset or bus device reset
}

TEST_F(BusResetTest, Config1CanSilenceTheResetInterrupt) {
    rig.wr(reg::kConfig1, 0x87 | config1::kResetInterruptOff);
    rig.command(cmd::kResetBus);
    EXPECT_TRUE(rig.wait(1 * io::kMillisecond).timed_out);
    EXPECT_EQ(rig.bus.stats().resets, 1u);
}

TEST_F(BusResetTest, ResetAnswersSelectionAgainAfterwards) {
    rig.command(cmd::kResetBus);
    rig.wait();
    const Exchange x = rig.run({.target = 1, .cdb = kRequestSense, .data_in = 18});
    EXPECT_TRUE(x.completed);
    EXPECT_EQ(x.data[2], 0x06);
}

} // namespace
} // namespace orvo::test
