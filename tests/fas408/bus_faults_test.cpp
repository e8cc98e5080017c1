// Data phases run with synchronous terms the target did not agree to are bus errors; agreed
// terms run at the agreed period.

#include "chip_rig.h"

#include "machine/scsi/scripted_target.h"

#include <gtest/gtest.h>

namespace orvo::test {
namespace {

using namespace fas408;
using scsi::Phase;
using S = scsi::ScriptStep;

struct TermsCase {
    const char* name;
    scsi::TransferAgreement agreed;
    std::uint8_t chip_period;  // SDTR factor the chip is programmed for (0: asynchronous)
    std::uint8_t chip_offset;
    bool fast;                 // CONFIG3 fast timing
    bool bus_error;
    io::Nanoseconds byte_time;
};

class SyncTermsTest : public ::testing::TestWithParam<TermsCase> {};

TEST_P(SyncTermsTest, DataPhaseChecksTheTermsAndRunsAtTheirRate) {
    const TermsCase& c = GetParam();
    ChipRig rig;
    rig.init();
    S status = S::send(Phase::Status, {0});
    status.delay = io::kMillisecond;
    scsi::ScriptedTarget target(rig.bus, 4,
                                {S::receive(Phase::MessageOut, 1), S::receive(Phase::Command, 6),
                                 S::send(Phase::DataIn, std::vector<std::uint8_t>(128, 0x5A)), status},
                                c.agreed);
    std::uint8_t step;
    ASSERT_EQ(rig.select({.target = 4, .cdb = {0x08, 0, 0, 0, 1, 0}}, &step).phase(), std::uint8_t(Phase::DataIn));
    if (c.chip_offset != 0) {
        const std::uint16_t v = sync_reg_value(c.chip_period, c.chip_offset);
        rig.wr(reg::kSyncPeriod, v & 0x1F);  // as the driver writes it: 5 bits only
        rig.wr(reg::kSyncOffset, std::uint8_t((v >> 8) | 0xC0));
        rig.wr(reg::kConfig3, c.fast ? 0x18 : 0x08);
    }
    rig.wr1(reg1::kPioControl, 0);
    rig.load_count(0xFFFFF);
    rig.command(cmd::kTransferInfo | cmd::kDataFifo);
    const io::Nanoseconds start = rig.bp.clock.now();
    rig.wr(reg::kConfig4, 0x80);
    rig.wr(reg1::kPioControl, pio_control::kOn);
    // Wait for a full FIFO: the time it took tells the byte rate.
    while ((rig.rd(reg1::kPioStatus) & pio_status::kFull128) == 0) ASSERT_LT(rig.bp.clock.now() - start, io::kMillisecond);
    const io::Nanoseconds took = rig.bp.clock.now() - start;
    EXPECT_EQ(rig.bus.stats().bus_errors, c.bus_error ? 1u : 0u) << rig.bus.last_bus_error();
    EXPECT_GE(took, 128 * c.byte_time);
    EXPECT_LT(took, 128 * c.byte_time + 4 * io::kMicrosecond);
    if (c.bus_error) {
        const auto events = rig.trace();
        EXPECT_NE(std::find_if(events.begin(), events.end(), [](const std::string& e) { return e.rfind("BUSERROR 4 ", 0) == 0; }),
                  events.end());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Terms, SyncTermsTest,
    ::testing::Values(
        TermsCase{"BothAsynchronous", {}, 0, 0, false, false, 200},
        TermsCase{"AgreedFast", {25, 15, false}, 25, 15, true, false, 100},
        TermsCase{"AgreedSlow", {50, 8, false}, 50, 8, false, false, 200},
        TermsCase{"FastWithoutFastTimingRunsSlowerButLegal", {25, 15, false}, 25, 15, false, false, 200},
        TermsCase{"ChipLeftAsynchronous", {25, 15, false}, 0, 0, false, true, 200},
        TermsCase{"TargetAsynchronous", {}, 25, 15, true, true, 200},
        TermsCase{"OffsetDiffers", {25, 8, false}, 25, 15, true, true, 100},
        TermsCase{"PeriodWrapsInFiveBitsAndRunsTooFast", {255, 15, false}, 255, 15, false, true, 1020},
        TermsCase{"WideAgreedOnNarrowBus", {0, 0, true}, 0, 0, false, true, 200}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace orvo::test
