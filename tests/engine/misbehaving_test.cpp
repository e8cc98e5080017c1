// Targets that misbehave and a card that goes away: every request ends (through the
// sequencer's time-out report and the port driver's time-out, or as a selection time-out),
// nothing hangs, no buffer is overrun (the sanitizer preset runs these), and the bus works
// again afterwards.
#include "engine_fixture.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace orvo::engine_test {
namespace {

using scsi::Phase;

constexpr std::uint8_t kBad = 2;
constexpr std::uint8_t kGood = 3;

class MisbehavingTest : public EngineTest {
protected:
    // Both disks come up well-behaved (their unit attention taken); then the bad one turns.
    void boot_then_misbehave(const std::function<void(scsi::TargetBehaviour&)>& misbehave) {
        add_disk(kBad);
        add_disk(kGood);
        boot();
        clear_unit_attention(kBad);
        clear_unit_attention(kGood);
        misbehave(target(kBad).behaviour());
        stop_recording_ports();  // the waits run out their budgets
    }
    // The request ended through the sequencer's time-out report and the port driver's
    // time-out (and bus reset).
    void expect_timed_out(const scsiport::RequestResult& r) {
        EXPECT_EQ(r.state, scsiport::RequestState::Completed);
        EXPECT_TRUE(r.timed_out);
        ASSERT_EQ(host().logged_errors().size(), 1u);
        const scsiport::LoggedError& e = host().logged_errors()[0];
        EXPECT_EQ(e.error_code, ULONG{SP_REQUEST_TIMEOUT});
        EXPECT_EQ(e.target, kBad);
        EXPECT_EQ(e.lun, 0);
        EXPECT_NE(e.request, 0u);
        EXPECT_EQ(e.unique_id, ULONG(reinterpret_cast<std::uintptr_t>(&adapter())));
    }
    void expect_bus_usable() {
        clear_unit_attention(kGood);  // the reset raised it again
        const auto r = run(read10(kGood, 3, 4, 2048));
        EXPECT_EQ(r.srb_status, SRB_STATUS_SUCCESS);
        EXPECT_EQ(r.data, disk_pattern(3, 4));
    }
};

class StuckPhaseTest : public MisbehavingTest, public ::testing::WithParamInterface<Phase> {};

TEST_P(StuckPhaseTest, EndsThroughTheTimeoutReport) {
    boot_then_misbehave([](scsi::TargetBehaviour& b) { b.stuck_phase = GetParam(); });
    const bool write = GetParam() == Phase::DataOut;
    const auto r = run(write ? write10(kBad, 1, std::vector<std::uint8_t>(512, 7)) : read10(kBad, 1, 1, 512));
    expect_timed_out(r);
    expect_bus_usable();
}

INSTANTIATE_TEST_SUITE_P(Phases, StuckPhaseTest,
                         ::testing::Values(Phase::DataIn, Phase::DataOut, Phase::Command, Phase::Status,
                                           Phase::MessageIn, Phase::MessageOut),
                         [](const auto& info) { return std::string(scsi::phase_trace_name(info.param)); });

// A target that sends or asks for megabytes beyond the request: the chip stops at its count,
// the excess read goes to the scratch buffer, and the request's buffer keeps its 512 bytes.
TEST_F(MisbehavingTest, EndlessDataInFillsOnlyTheBuffer) {
    boot_then_misbehave([](scsi::TargetBehaviour& b) { b.data_length_delta = 4 << 20; });
    const auto r = run(read10(kBad, 1, 1, 512));
    expect_timed_out(r);
    EXPECT_EQ(r.data, disk_pattern(1, 1));
    expect_bus_usable();
}

TEST_F(MisbehavingTest, EndlessDataOutEnds) {
    boot_then_misbehave([](scsi::TargetBehaviour& b) { b.data_length_delta = 4 << 20; });
    const auto r = run(write10(kBad, 1, std::vector<std::uint8_t>(512, 7)));
    expect_timed_out(r);
    expect_bus_usable();
}

// The card is pulled: a request to it ends as a selection time-out, quickly.
TEST_F(MisbehavingTest, CardRemovedBeforeARequest) {
    boot_then_misbehave([](scsi::TargetBehaviour&) {});
    chip_.set_removed_from(machine_.clock.now());
    const auto r = run(test_unit_ready(kGood));
    EXPECT_EQ(r.srb_status, SRB_STATUS_SELECTION_TIMEOUT);
    EXPECT_LT(r.completed_at - r.started_at, 50 * io::kMillisecond);
    EXPECT_TRUE(host().logged_errors().empty());
}

// Pulled in the middle of a read: the data phase stops at the first all-ones read, the connection
// ends through the time-out report, and the port driver's reset finds no chip.
TEST_F(MisbehavingTest, CardRemovedDuringARead) {
    boot_then_misbehave([](scsi::TargetBehaviour&) {});
    chip_.set_removed_from(machine_.clock.now() + 2 * io::kMillisecond);
    const auto r = run(read10(kBad, 0, 128, 65536));
    expect_timed_out(r);
    const auto& events = host_events();
    EXPECT_NE(std::find_if(events.begin(), events.end(),
                           [](const std::string& e) { return e.find("HwResetBus(0) returned 0") != std::string::npos; }),
              events.end());
}

// The bus goes free under a connection without a message: the target drops off the bus in
// the middle of DATA OUT (the phase lines of a free bus read as DATA OUT), or another device
// resets the bus while the target sits in a phase. The driver sees at once that the
// connection is over and leaves the request to the port driver's time-out, rather than
// waiting out a five-second poll budget and reporting a time-out of its own.
struct LostConnection {
    const char* name;
    std::vector<scsi::ScriptStep> script;  // after IDENTIFY and a WRITE(10) command
    bool reset_by_another_device;
    friend void PrintTo(const LostConnection& c, std::ostream* os) { *os << c.name; }
};

class LostConnectionTest : public EngineTest, public ::testing::WithParamInterface<LostConnection> {};

TEST_P(LostConnectionTest, EndsTheConnectionWithoutWaitingOutABudget) {
    using scsi::ScriptStep;
    constexpr std::uint8_t kScripted = 4;
    std::vector<ScriptStep> script{ScriptStep::receive(Phase::MessageOut, 1), ScriptStep::receive(Phase::Command, 10)};
    script.insert(script.end(), GetParam().script.begin(), GetParam().script.end());
    add_scripted(kScripted, std::move(script));
    adjust_adapter = [](ADAPTER_EXTENSION& ad) { ad.AsyncTarget[kScripted] = 1; };
    boot();
    stop_recording_ports();
    if (GetParam().reset_by_another_device) {
        machine_.clock.schedule_in(5 * io::kMillisecond, [this] { bus_.reset(25 * io::kMicrosecond); });
    }
    const std::uint64_t accesses_before = machine_.ports.access_count();
    const auto r = run(write10(kScripted, 0, std::vector<std::uint8_t>(512, 7)));
    EXPECT_EQ(r.state, scsiport::RequestState::Completed);
    EXPECT_TRUE(r.timed_out) << "the port driver's time-out ends the request";
    EXPECT_TRUE(host().logged_errors().empty()) << "no poll budget ran out";
    EXPECT_LT(machine_.ports.access_count() - accesses_before, 100000u);
}

INSTANTIATE_TEST_SUITE_P(
    Targets, LostConnectionTest,
    ::testing::Values(
        LostConnection{"DropsOffTheBusInDataOut",
                       {scsi::ScriptStep::receive(Phase::DataOut, 100), scsi::ScriptStep::release()}, false},
        LostConnection{"ResetWhileAskingForMoreData", {scsi::ScriptStep::receive(Phase::DataOut, 600)}, true},
        LostConnection{"ResetInAReservedPhase", {scsi::ScriptStep::send(static_cast<Phase>(4), {1, 2, 3})}, true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvo::engine_test
