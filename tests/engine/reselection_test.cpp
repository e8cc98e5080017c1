// Disconnection and reselection: a disconnected request is served to its end inside a poll
// made for something else, the adapter record comes back unchanged, and a reselection the
// driver cannot place is told ABORT without touching any request.
#include "engine_fixture.h"

#include "ScsiMiniPort/engine/engine.h"

#include <algorithm>
#include <cstring>

namespace orvo::engine_test {
namespace {

using scsi::Phase;
using scsi::ScriptStep;

constexpr std::uint8_t kAway = 3;    // disconnects after the command
constexpr std::uint8_t kOther = 2;
constexpr ULONG kPollsForReselection = 1'000'000;


class ReselectionTest : public EngineTest {
protected:
    // A disk that disconnects after every command (although IDENTIFY did not allow it) and
    // reselects after `delay`; unit attention taken while it still stays connected.
    scsi::ScsiTarget& add_disconnecting_disk(io::Nanoseconds delay, std::int32_t data_delta = 0) {
        scsi::TargetBehaviour away;
        away.ignore_disconnect_privilege = true;
        away.reselect_delay = delay;
        away.data_length_delta = data_delta;
        return add_disk(kAway, away);
    }
    void start_disconnecting(scsi::ScsiTarget& disk) { disk.behaviour().disconnect_after_command = true; }
    // Inside the driver: the chip answers a reselection only while a select command of its
    // own waits for the bus, so give it one (towards an absent target) once the target has
    // had time to come back. Returns with the reselection interrupt pending.
    static void let_chip_answer_reselection(ADAPTER_EXTENSION& ad) {
        const PUCHAR chip = ad.ChipBase;
        ScsiPortStallExecution(1000);
        ScsiPortWritePortUchar(chip + 0x04, 6);     // DEST_ID
        ScsiPortWritePortUchar(chip + 0x05, 0x99);  // SEL_TIMEOUT
        ScsiPortWritePortUchar(chip + 0x03, 0x42);  // select with ATN
        for (ULONG polls = 0; polls < kPollsForReselection; ++polls) {
            if (ScsiPortReadPortUchar(chip + 0x04) & 0x80) return;  // interrupt pending
        }
        ADD_FAILURE() << "no reselection came";
    }
    int selections_of(std::uint8_t target) {
        int n = 0;
        for (const auto value : written(0, chip_reg::kDestId)) n += value == target;
        return n;
    }
};

// The target reselects right after it disconnected, while the next request is being selected:
// the selection's look for pending interrupts serves it, and the selection starts over.
TEST_F(ReselectionTest, ServedWhileAnotherRequestIsSelectedAndSelectionStartsOver) {
    auto& away = add_disconnecting_disk(2 * io::kMicrosecond);
    add_disk(kOther);
    boot();
    clear_unit_attention(kAway);
    clear_unit_attention(kOther);
    start_disconnecting(away);
    mark();
    const auto a = host().submit(read10(kAway, 5, 2, 1024));
    const auto b = host().submit(read10(kOther, 9, 1, 512));
    host().run_until_idle();

    const auto ra = host().take_result(a);
    const auto rb = host().take_result(b);
    EXPECT_EQ(ra.srb_status, SRB_STATUS_SUCCESS);
    EXPECT_EQ(ra.data_transfer_length, 1024u);
    EXPECT_EQ(ra.data, disk_pattern(5, 2));
    EXPECT_EQ(rb.srb_status, SRB_STATUS_SUCCESS);
    EXPECT_EQ(rb.data, disk_pattern(9, 1));
    // the reselection came before the other target was selected, and its selection started over
    const auto events = bus_events();
    const auto at = [&](const std::string& prefix) {
        return std::find_if(events.begin(), events.end(), [&](const auto& e) { return e.starts_with(prefix); });
    };
    EXPECT_LT(at("RESELECT 3 LUN 0"), at("SELECT 2"));
    EXPECT_EQ(selections_of(kOther), 2);
    EXPECT_TRUE(host().timeouts().empty());
    EXPECT_EQ(unit(kAway)->Srb, nullptr);
}

// Inside the driver: the poll that takes a reselection serves it, reports 2 and leaves the
// adapter record exactly as it was; the served request (here short by 312 bytes) is completed
// by the rule.
TEST_F(ReselectionTest, ServedReselectionRestoresTheAdapterRecord) {
    auto& away = add_disconnecting_disk(300 * io::kMicrosecond, -312);
    boot();
    clear_unit_attention(kAway);
    start_disconnecting(away);
    const auto a = host().submit(read10(kAway, 5, 1, 512));

    UCHAR seen = 0;
    bool unchanged = false;
    ULONG polls = 0;
    probe([&](ADAPTER_EXTENSION& ad) {
        ad.CurrentLu = nullptr;  // the selection below is for no unit of ours
        let_chip_answer_reselection(ad);
        ADAPTER_EXTENSION before;
        std::memcpy(&before, &ad, sizeof before);
        while (seen == 0 && polls++ < kPollsForReselection) seen = CheckInterruptReg(&ad, 0);
        before.InterruptStatus = ad.InterruptStatus;  // the poll keeps what it saw
        unchanged = std::memcmp(&before, &ad, sizeof before) == 0;
        EXPECT_EQ(ad.InterruptStatus & 0x04, 0x04);
    });
    EXPECT_EQ(seen, 2);
    EXPECT_TRUE(unchanged);
    const auto ra = host().take_result(a);
    EXPECT_EQ(ra.data_transfer_length, 200u);
    EXPECT_EQ(ra.srb_status, kLengthMismatch);
    const auto block = disk_pattern(5, 1);
    EXPECT_EQ(ra.data, std::vector<std::uint8_t>(block.begin(), block.begin() + 200));
    EXPECT_EQ(unit(kAway)->Srb, nullptr);
    EXPECT_TRUE(host().timeouts().empty());
}

// A target comes back naming a LUN the port driver does not know: it is told ABORT and the
// bus goes free; the request that is still open is not touched and ends by the port
// driver's time-out.
TEST_F(ReselectionTest, UnknownUnitIsToldAbort) {
    auto& target = add_scripted(kAway, {ScriptStep::receive(Phase::MessageOut, 1), ScriptStep::receive(Phase::Command, 6),
                                        ScriptStep::send(Phase::MessageIn, {0x04}), ScriptStep::disconnect(),
                                        ScriptStep::reselect(5, 200 * io::kMicrosecond),
                                        ScriptStep::receive(Phase::MessageOut, 1), ScriptStep::release()});
    boot();
    const auto a = host().submit(test_unit_ready(kAway));
    UCHAR seen = 0;
    bool unchanged = false;
    probe([&](ADAPTER_EXTENSION& ad) {
        let_chip_answer_reselection(ad);
        ADAPTER_EXTENSION before;
        std::memcpy(&before, &ad, sizeof before);
        for (ULONG polls = 0; seen == 0 && polls < kPollsForReselection; ++polls) seen = CheckInterruptReg(&ad, 0);
        before.InterruptStatus = ad.InterruptStatus;
        unchanged = std::memcmp(&before, &ad, sizeof before) == 0;
        EXPECT_NE(static_cast<LU_EXTENSION*>(host().logical_unit(0, kAway, 0))->Srb, nullptr);
    });
    EXPECT_EQ(seen, 2);
    EXPECT_TRUE(unchanged);
    ASSERT_EQ(target.received().size(), 3u);
    EXPECT_EQ(target.received()[2], std::vector<std::uint8_t>{0x06});
    EXPECT_FALSE(bus_events_from("BUSFREE").empty());
    // the open request ran into the port driver's time-out; its reset completed it
    const auto ra = host().result(a);
    EXPECT_TRUE(ra.timed_out);
    EXPECT_EQ(ra.state, scsiport::RequestState::Completed);
    EXPECT_EQ(unit(kAway)->Srb, nullptr);
}

// A target comes back naming the very unit whose new request is being selected (its old
// command was finished for the driver, the target kept it): that request has not reached the
// target, so the reselection is told ABORT, and the request neither gets the old command's
// bytes nor is completed by them.
TEST_F(ReselectionTest, UnitBeingSelectedIsToldAbort) {
    auto& target = add_scripted(kAway, {ScriptStep::receive(Phase::MessageOut, 1), ScriptStep::receive(Phase::Command, 6),
                                        ScriptStep::send(Phase::MessageIn, {0x04}), ScriptStep::disconnect(),
                                        ScriptStep::reselect(0, 200 * io::kMicrosecond),
                                        ScriptStep::send(Phase::MessageIn, {0x80}),
                                        ScriptStep::receive(Phase::MessageOut, 1), ScriptStep::release()});
    boot();
    const auto a = host().submit(test_unit_ready(kAway));
    UCHAR seen = 0;
    probe([&](ADAPTER_EXTENSION& ad) {
        ad.CurrentLu = unit(kAway);  // as the selection of the unit's next request sets it
        let_chip_answer_reselection(ad);
        for (ULONG polls = 0; seen == 0 && polls < kPollsForReselection; ++polls) seen = CheckInterruptReg(&ad, 0);
        EXPECT_EQ(ad.CurrentLu, unit(kAway));
        EXPECT_NE(unit(kAway)->Srb, nullptr);
    });
    EXPECT_EQ(seen, 2);
    ASSERT_EQ(target.received().size(), 3u);
    EXPECT_EQ(target.received()[2], std::vector<std::uint8_t>{0x06}) << bus_text();
    EXPECT_TRUE(host().result(a).timed_out);
}

// Whenever the target comes back relative to the next selection, its request is either served
// correctly or left to the port driver (told ABORT when its bytes got mixed with the
// selection's, or not seen while the driver is idle); the other request is never disturbed.
TEST_F(ReselectionTest, AnyReselectionTimingServesOrLeavesButNeverMixesRequests) {
    auto& away = add_disconnecting_disk(io::kMicrosecond);
    add_disk(kOther);
    boot();
    int served = 0;
    for (unsigned delay = 1; delay <= 25; delay += 2) {
        away.behaviour().disconnect_after_command = false;
        clear_unit_attention(kAway);  // (again after a reset)
        clear_unit_attention(kOther);
        away.behaviour().reselect_delay = delay * io::kMicrosecond;
        start_disconnecting(away);
        const auto a = host().submit(read10(kAway, 5, 2, 1024));
        const auto b = host().submit(read10(kOther, 9, 1, 512));
        host().run_until_idle();
        const auto ra = host().take_result(a);
        const auto rb = host().take_result(b);
        EXPECT_EQ(rb.srb_status, SRB_STATUS_SUCCESS) << delay << " us";
        EXPECT_EQ(rb.data, disk_pattern(9, 1)) << delay << " us";
        if (!ra.timed_out) {
            ++served;
            EXPECT_EQ(ra.srb_status, SRB_STATUS_SUCCESS) << delay << " us";
            EXPECT_EQ(ra.data, disk_pattern(5, 2)) << delay << " us";
        }
    }
    EXPECT_GT(served, 0);
}

// The reselection bytes the chip holds are checked before a unit is looked up. Bytes of a
// selection (IDENTIFY of LUN 1 and a READ(10)) left behind the target's own, or in their
// place, are not served as whatever unit they name (here: target 0, whose request is open
// too): the target is told ABORT, both requests are left to the port driver, and no buffer
// is touched.
struct Mixture {
    const char* name;
    bool flush_first;
};

class MixedReselectionTest : public ReselectionTest, public ::testing::WithParamInterface<Mixture> {};

TEST_P(MixedReselectionTest, IsToldAbortAndServesNothing) {
    auto& away = add_disconnecting_disk(200 * io::kMicrosecond);
    scsi::TargetBehaviour late;
    late.ignore_disconnect_privilege = true;
    late.reselect_delay = io::kSecond;
    auto& other = add_disk(0, late);
    boot();
    clear_unit_attention(kAway);
    clear_unit_attention(0);
    start_disconnecting(other);
    start_disconnecting(away);
    const auto named = host().submit(read10(0, 5, 1, 512));
    const auto reselecting = host().submit(read10(kAway, 5, 1, 512));
    const std::vector<std::uint8_t> ours{0x81, 0x28, 0, 0, 0, 0, 5, 0, 0, 1, 0};
    bool unchanged = false;
    probe([&](ADAPTER_EXTENSION& ad) {
        const PUCHAR chip = ad.ChipBase;
        let_chip_answer_reselection(ad);
        if (GetParam().flush_first) ScsiPortWritePortUchar(chip + 0x03, 0x01);
        for (const std::uint8_t byte : ours) ScsiPortWritePortUchar(chip + 0x02, byte);
        ADAPTER_EXTENSION before;
        std::memcpy(&before, &ad, sizeof before);
        EXPECT_EQ(CheckInterruptReg(&ad, 0), 2);
        before.InterruptStatus = ad.InterruptStatus;
        unchanged = std::memcmp(&before, &ad, sizeof before) == 0;
    });
    EXPECT_TRUE(unchanged);
    EXPECT_EQ(bus_events_from("RESELECT 3").at(2), "MSGOUT 06") << bus_text();
    // both ended by the port driver's time-out and reset, their buffers untouched
    for (const auto id : {named, reselecting}) {
        const auto r = host().result(id);
        EXPECT_TRUE(r.srb_status == SRB_STATUS_TIMEOUT || r.srb_status == SRB_STATUS_BUS_RESET);
        EXPECT_EQ(r.data, std::vector<std::uint8_t>(512, 0));
    }
}

const Mixture kMixtures[] = {
    {"OursBehindTheirs", false},
    {"OursInsteadOfTheirs", true},
};

INSTANTIATE_TEST_SUITE_P(Fifo, MixedReselectionTest, ::testing::ValuesIn(kMixtures),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvo::engine_test
