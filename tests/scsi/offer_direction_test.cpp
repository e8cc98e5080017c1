// A target whose offer does not fit the direction of the phase it asks for: bytes sent in
// DATA OUT, bytes taken in DATA IN, as a scripted or misbehaving target can make. The
// handshakes still run: what the initiator drives is dropped, and what it reads is the
// released data lines (0x00); nothing is read or written through the missing buffer.

#include "chip_rig.h"

#include "machine/scsi/scripted_target.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace orvo::test {
namespace {

using scsi::Phase;
using scsi::ScriptStep;

TEST(OfferDirection, WrongWayOffersRunTheirHandshakesWithoutData) {
    ChipRig rig;
    scsi::ScriptedTarget target(rig.bus, 2,
                                {ScriptStep::receive(Phase::MessageOut, 1), ScriptStep::receive(Phase::Command, 6),
                                 ScriptStep::send(Phase::DataOut, {1, 2, 3, 4}), ScriptStep::receive(Phase::DataIn, 3),
                                 ScriptStep::send(Phase::Status, {0x00}), ScriptStep::send(Phase::MessageIn, {0x00}),
                                 ScriptStep::release()});
    rig.init();
    const Exchange x = rig.run({.target = 2, .cdb = {0, 0, 0, 0, 0, 0}, .data_in = 3, .data_out = {9, 8, 7, 6}});
    EXPECT_TRUE(x.completed) << rig.dump();
    EXPECT_EQ(x.out_residual, 0u) << "the target took the four bytes it asked for";
    EXPECT_EQ(x.data, (std::vector<std::uint8_t>{0, 0, 0}));
    EXPECT_EQ(x.status, 0x00);
    const auto events = rig.trace();
    EXPECT_NE(std::find(events.begin(), events.end(), "DATAOUT 4"), events.end()) << rig.dump();
    EXPECT_NE(std::find(events.begin(), events.end(), "DATAIN 3"), events.end()) << rig.dump();
}

} // namespace
} // namespace orvo::test
