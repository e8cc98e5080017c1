// Selection on a bus that something else has touched: an interrupt the chip latched while the
// driver was idle is not taken for the selection's outcome, and a select command the chip
// refuses because a target still holds the bus leaves the request to the port driver's reset
// instead of calling a present target absent.
#include "engine_fixture.h"

namespace orvo::engine_test {
namespace {

using scsi::Phase;
using scsi::ScriptStep;

constexpr std::uint8_t kDisk = 2;
constexpr std::uint8_t kHog = 5;

scsiport::RequestSpec inquiry(std::uint8_t target) {
    return {.target = target, .cdb = {0x12, 0, 0, 0, 36, 0}, .data_in_length = 36};
}

class SelectionRecoveryTest : public EngineTest {};

// Another device on the bus asserts RST while the driver is idle: the chip latches the reset
// interrupt, and the next selection still reaches the disk.
TEST_F(SelectionRecoveryTest, InterruptLatchedWhileIdleIsNotTheSelectionsOutcome) {
    add_disk(kDisk);
    boot();
    bus_.reset(25 * io::kMicrosecond);
    machine_.clock.advance(100 * io::kMicrosecond);
    const auto r = run(inquiry(kDisk));
    EXPECT_EQ(r.srb_status, SRB_STATUS_SUCCESS) << bus_text();
    EXPECT_EQ(r.data.size(), 36u);
}

// A target reselects for a LUN with no request and, told to stop, stays on the bus in DATA IN.
// The selection of the disk's request that it interrupted cannot be made; that request ends
// through the port driver's time-out and reset (not as a selection time-out), and the disk
// answers afterwards.
TEST_F(SelectionRecoveryTest, RefusedSelectionLeavesTheRequestToThePortDriversReset) {
    add_disk(kDisk);
    add_scripted(kHog, {ScriptStep::receive(Phase::MessageOut, 1), ScriptStep::receive(Phase::Command, 6),
                        ScriptStep::send(Phase::MessageIn, {0x04}), ScriptStep::disconnect(),
                        ScriptStep::reselect(3, 2 * io::kMicrosecond), ScriptStep::send(Phase::MessageIn, {0x83}),
                        ScriptStep::send(Phase::DataIn, {1, 2, 3, 4})});
    boot();
    stop_recording_ports();
    const auto hog = host().submit(test_unit_ready(kHog));
    const auto disk = host().submit(inquiry(kDisk));
    host().run_until_idle();
    const auto rd = host().take_result(disk);
    EXPECT_NE(SRB_STATUS(rd.srb_status), SRB_STATUS_SELECTION_TIMEOUT) << bus_text();
    EXPECT_TRUE(rd.timed_out || SRB_STATUS(rd.srb_status) == SRB_STATUS_BUS_RESET) << bus_text();
    host().take_result(hog);
    EXPECT_EQ(run(inquiry(kDisk)).srb_status, SRB_STATUS_SUCCESS);
}

} // namespace
} // namespace orvo::engine_test
