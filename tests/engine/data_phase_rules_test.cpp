// Data phases a misbehaving target asks for against the request's direction, after an
// overrun, or in the middle of a transfer: the request's buffer is neither written where it
// must not be nor sent from where it must not be, the data pointer stays where the bytes
// really went, nothing of one phase leaks into the command bytes of the next request, and a
// transfer the target has not finished is not reported as done.
#include "engine_fixture.h"

#include <algorithm>

namespace orvo::engine_test {
namespace {

using scsi::Phase;
using scsi::ScriptStep;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kTarget = 2;

Bytes numbered(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = std::uint8_t(i * 13 + (i >> 8));
    return b;
}

class DataPhaseRulesTest : public EngineTest {
protected:
    // The driver offers synchronous transfer to the target (six bytes of MESSAGE OUT).
    void boot_offering() {
        adjust_adapter = [](ADAPTER_EXTENSION& ad) { ad.AsyncTarget[kTarget] = 0; };
        boot();
    }
};

// A WRITE whose target takes part of the data, sends a few bytes in, then takes the rest:
// the bytes it takes after the interruption continue exactly where it stopped.
TEST_F(DataPhaseRulesTest, WriteInterruptedByDataInGoesOnWhereItStopped) {
    const Bytes data = numbered(24 * 512);
    auto& target = add_scripted(kTarget, {ScriptStep::receive(Phase::MessageOut, 1), ScriptStep::receive(Phase::Command, 10),
                                          ScriptStep::receive(Phase::DataOut, 10000), ScriptStep::receive(Phase::DataOut, 967), ScriptStep::send(Phase::DataIn, {1, 2, 3, 4, 5}),
                                          ScriptStep::receive(Phase::DataOut, 24 * 512 - 10967),
                                          ScriptStep::send(Phase::Status, {0}), ScriptStep::send(Phase::MessageIn, {0})});
    boot();
    const auto r = run(write10(kTarget, 0, data));
    ASSERT_EQ(target.received().size(), 5u) << bus_text();
    Bytes got;
    for (std::size_t i = 2; i < 5; ++i) got.insert(got.end(), target.received()[i].begin(), target.received()[i].end());
    EXPECT_EQ(got, data) << bus_text();
    EXPECT_EQ(r.data_transfer_length, data.size());
}

// A target that takes one byte of a six-byte MESSAGE OUT and goes to DATA OUT: the five bytes
// left in the chip's SCSI FIFO are not data that failed to go out, so the data pointer stays
// where the target stopped taking bytes, and the WRITE goes on from there after a SAVE DATA
// POINTER and lands as it was sent.
TEST_F(DataPhaseRulesTest, MessageBytesTheTargetLeftAreNoDataResidual) {
    const Bytes data = numbered(4 * 512);
    auto& target = add_scripted(kTarget, {ScriptStep::receive(Phase::MessageOut, 1), ScriptStep::receive(Phase::Command, 10),
                                          ScriptStep::receive(Phase::MessageOut, 1), ScriptStep::receive(Phase::DataOut, 1000),
                                          ScriptStep::send(Phase::MessageIn, {0x02}),
                                          ScriptStep::receive(Phase::DataOut, 4 * 512 - 1000),
                                          ScriptStep::send(Phase::Status, {0}), ScriptStep::send(Phase::MessageIn, {0})});
    boot_offering();
    const auto r = run(write10(kTarget, 0, data));
    ASSERT_EQ(target.received().size(), 5u) << bus_text();
    Bytes got = target.received()[3];
    got.insert(got.end(), target.received()[4].begin(), target.received()[4].end());
    EXPECT_EQ(got, data) << bus_text();
    EXPECT_EQ(r.srb_status, SRB_STATUS_SUCCESS);
    EXPECT_EQ(r.data_transfer_length, data.size());
}

// A READ whose target first asks for a few bytes out: the driver sends nothing of the READ's
// buffer (the target is left waiting, and the request ends through the time-out report and
// the port driver's reset), so no byte of the buffer went out and none came in at a shifted
// place.
TEST_F(DataPhaseRulesTest, ReadBufferIsNeverSent) {
    add_scripted(kTarget, {ScriptStep::receive(Phase::MessageOut, 1), ScriptStep::receive(Phase::Command, 10),
                                          ScriptStep::receive(Phase::DataOut, 3), ScriptStep::send(Phase::DataIn, numbered(512)),
                                          ScriptStep::send(Phase::Status, {0}), ScriptStep::send(Phase::MessageIn, {0})});
    boot();
    stop_recording_ports();  // the wait for the DATA OUT bytes runs out its budget
    const auto r = run(read10(kTarget, 0, 1, 512));
    EXPECT_TRUE(r.timed_out);
    const auto events = bus_events_from("DATAOUT");
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0], "DATAOUT 0");
    EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const std::string& e) { return e.starts_with("DATAIN"); }), 0);
}

// After an overrun the buffer is full: a second DATA IN phase of the same connection (here
// after a SAVE DATA POINTER) goes to the discard buffer, not past the buffer's end (the guard
// zones of the port driver would report it).
TEST_F(DataPhaseRulesTest, DataInAfterAnOverrunStaysInsideTheBuffer) {
    const Bytes data = numbered(700);
    add_scripted(kTarget, {ScriptStep::receive(Phase::MessageOut, 1), ScriptStep::receive(Phase::Command, 10),
                           ScriptStep::send(Phase::DataIn, Bytes(data.begin(), data.begin() + 600)),
                           ScriptStep::send(Phase::MessageIn, {0x02}),
                           ScriptStep::send(Phase::DataIn, Bytes(data.begin() + 600, data.end())),
                           ScriptStep::send(Phase::Status, {0}), ScriptStep::send(Phase::MessageIn, {0})});
    boot();
    const auto r = run(read10(kTarget, 0, 1, 512));
    EXPECT_EQ(r.data, Bytes(data.begin(), data.begin() + 512));
    EXPECT_EQ(r.data_transfer_length, 512u);
    EXPECT_EQ(r.srb_status, kLengthMismatch);
}

// A WRITE the target cut short leaves bytes in the data FIFO; the next command through the
// data FIFO (after an offer went with the selection) goes out alone, not behind them.
TEST_F(DataPhaseRulesTest, BytesLeftInTheDataFifoNeverPrecedeACommand) {
    scsi::TargetBehaviour takes_less;
    takes_less.data_length_delta = -300;
    add_disk(kTarget, takes_less);
    add_disk(kTarget + 1);
    adjust_adapter = [](ADAPTER_EXTENSION& ad) {
        ad.AsyncTarget[kTarget] = 1;      // its command goes with the selection
        ad.AsyncTarget[kTarget + 1] = 0;  // an offer first, the command in its own phase
    };
    boot();
    clear_unit_attention(kTarget);
    run(write10(kTarget, 0, numbered(512)));
    mark();
    const auto r = run({.target = kTarget + 1, .cdb = {0x12, 0, 0, 0, 36, 0}, .data_in_length = 36});
    EXPECT_EQ(r.srb_status, SRB_STATUS_SUCCESS);
    const auto events = bus_events_from("SELECT 3");
    EXPECT_NE(std::find(events.begin(), events.end(), "COMMAND 12 00 00 00 24 00"), events.end()) << bus_text();
}

// A WRITE whose target sends a status byte in the middle of the data and then DISCONNECT
// (not COMMAND COMPLETE): the target still holds the command, so the request is not reported
// done with a part of its data on the medium; it stays open for the port driver's time-out.
TEST_F(DataPhaseRulesTest, StatusFollowedByDisconnectDoesNotEndAWrite) {
    auto& target = add_scripted(kTarget, {ScriptStep::receive(Phase::MessageOut, 1), ScriptStep::receive(Phase::Command, 10),
                                          ScriptStep::receive(Phase::DataOut, 1000), ScriptStep::send(Phase::Status, {0}),
                                          ScriptStep::send(Phase::MessageIn, {0x04}), ScriptStep::disconnect()});
    boot();
    const auto r = run(write10(kTarget, 0, numbered(4 * 512)));
    EXPECT_TRUE(target.finished());
    EXPECT_TRUE(r.timed_out);
    EXPECT_EQ(SRB_STATUS(r.srb_status), SRB_STATUS_TIMEOUT);
}

} // namespace
} // namespace orvo::engine_test
