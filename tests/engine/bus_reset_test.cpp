// Bus reset: recovery time or settle countdown, agreements forgotten (the targets' own terms
// kept), every open request ended, and nothing done when the chip does not identify itself.
#include "engine_fixture.h"

#include "ScsiMiniPort/engine/engine.h"

#include <algorithm>

namespace orvo::engine_test {
namespace {

using namespace chip_reg;

constexpr std::uint8_t kDisk = 2;
constexpr unsigned kIndex = kDisk * 8;

class BusResetTest : public EngineTest {
protected:
    bool event_seen(const std::string& prefix) const {
        return std::any_of(host_events().begin(), host_events().end(),
                           [&](const std::string& line) { return line.find(prefix) != std::string::npos; });
    }
    // Virtual time a port-driver bus reset takes.
    io::Nanoseconds timed_reset() {
        const io::Nanoseconds before = machine_.clock.now();
        host().reset_bus(0);
        return machine_.clock.now() - before;
    }
};

// Agreements go back to asynchronous with the default offer; the terms the target sent stay.
// Requests still open (two targets that disconnected and have not come back) end with
// SRB_STATUS_BUS_RESET, and their units let go of them.
TEST_F(BusResetTest, EndsOpenRequestsAndForgetsAgreements) {
    adjust_adapter = [](ADAPTER_EXTENSION& ad) { ad.AsyncTarget[kDisk] = 0; };
    scsi::TargetBehaviour slower;
    slower.min_period_factor = 50;
    slower.max_offset = 8;
    add_disk(kDisk, slower);
    scsi::TargetBehaviour away;
    away.disconnect_after_command = true;
    away.ignore_disconnect_privilege = true;
    away.reselect_delay = 1000 * io::kSecond;
    add_disk(3, away);
    add_disk(4, away);
    boot();
    clear_unit_attention(kDisk);
    ASSERT_EQ(adapter().SyncPeriodReg[kIndex], 0x08);

    const auto first = host().submit(test_unit_ready(3));  // times out first and causes the reset
    auto longer = test_unit_ready(4);
    longer.timeout_seconds = 100;
    const auto second = host().submit(longer);
    const unsigned resets = host().resets_detected();
    host().run_until_idle();

    EXPECT_EQ(host().result(first).srb_status, SRB_STATUS_TIMEOUT);  // the host's verdict
    EXPECT_EQ(host().result(second).srb_status, SRB_STATUS_BUS_RESET);
    EXPECT_TRUE(event_seen("ScsiPortCompleteRequest(0, 255, 255, 0e)"));
    EXPECT_EQ(host().resets_detected(), resets + 1);
    EXPECT_EQ(unit(3)->Srb, nullptr);
    EXPECT_EQ(unit(4)->Srb, nullptr);

    const ADAPTER_EXTENSION& ad = adapter();
    for (unsigned i = 0; i < 64; ++i) {
        EXPECT_EQ(ad.SdtrSent[i], 0);
        EXPECT_EQ(ad.SdtrValid[i], 0);
        EXPECT_EQ(ad.OfferPeriod[i], 25);
        EXPECT_EQ(ad.OfferOffset[i], 15);
        EXPECT_EQ(ad.SyncPeriod[i] | ad.SyncOffset[i] | ad.SyncPeriodReg[i] | ad.SyncOffsetReg[i], 0);
    }
    EXPECT_EQ(ad.TargetPeriod[kIndex], 50);
    EXPECT_EQ(ad.TargetOffset[kIndex], 8);

    // The next selection is asynchronous and offers again.
    mark();
    clear_unit_attention(kDisk);
    const auto selection = selections().at(0);
    EXPECT_EQ(selection.written(0, kSyncOffset).at(0), 0xC0u);
    EXPECT_EQ(bus_events_from("SELECT 2").at(1), "MSGOUT 80 01 03 01 19 0f");
}

// Recovery after the reset: 1.5 s without "RESET="; a settle countdown by the timer with it;
// during the device check the option's time as a stall, or nothing.
struct RecoveryCase {
    const char* name;
    UCHAR device_check;
    ULONG reset_delay_set, reset_delay;
    io::Nanoseconds at_least, at_most;
    bool timer_armed;
};

const RecoveryCase kRecoveryCases[] = {
    {"FixedStall", 0, 0, 0, 1500 * io::kMillisecond, 1510 * io::kMillisecond, false},
    {"SettleCountdown", 0, 1, 5000, 0, 10 * io::kMillisecond, true},
    {"DeviceCheckWithoutOption", 1, 0, 0, 0, 10 * io::kMillisecond, false},
    {"DeviceCheckWithOption", 1, 1, 20, 20 * io::kMillisecond, 30 * io::kMillisecond, false},
};

class ResetRecoveryTest : public BusResetTest, public ::testing::WithParamInterface<RecoveryCase> {};

TEST_P(ResetRecoveryTest, WaitsOrArmsTheSettleTimer) {
    const RecoveryCase& c = GetParam();
    adjust_adapter = [&c](ADAPTER_EXTENSION& ad) {
        ad.DeviceCheck = c.device_check;
        ad.ResetDelaySet = c.reset_delay_set;
        ad.ResetDelay = c.reset_delay;
    };
    boot();
    mark();
    const io::Nanoseconds took = timed_reset();
    EXPECT_GE(took, c.at_least);
    EXPECT_LE(took, c.at_most);
    EXPECT_EQ(host().timer().armed, c.timer_armed);
    if (c.timer_armed) {
        EXPECT_EQ(host().timer().routine, &RstToSelTimer);
        EXPECT_EQ(adapter().SettlePending, 1);
        EXPECT_EQ(adapter().SettleCount, c.reset_delay);
    }
    // The Windows NT builds hold 26 us after the reset command before they look for its
    // interrupt; the Windows 95 builds look at once.
    const auto& list = accesses().list;
    const auto reset = std::find_if(list.begin(), list.end(), [](const ChipAccess& a) {
        return a.write && a.bank == 0 && a.offset == kCommand && a.value == 0x03;
    });
    ASSERT_NE(reset, list.end());
    const io::Nanoseconds hold = std::next(reset)->time - reset->time;
    if (ORVO_BUS_RESET_STALL) {
        EXPECT_GE(hold, 26 * io::kMicrosecond);
    } else {
        EXPECT_LT(hold, 5 * io::kMicrosecond);
    }
}

INSTANTIATE_TEST_SUITE_P(Options, ResetRecoveryTest, ::testing::ValuesIn(kRecoveryCases),
                         [](const auto& info) { return std::string(info.param.name); });

// "RESET=5": the first selection after the reset waits out what the timer has not counted down
// yet, one millisecond per unit, and clears the countdown.
TEST_F(BusResetTest, SelectionWaitsOutTheSettleCount) {
    adjust_adapter = [](ADAPTER_EXTENSION& ad) {
        ad.ResetDelaySet = 1;
        ad.ResetDelay = 5000;
    };
    add_disk(kDisk);
    boot();  // initialisation resets the bus and arms the countdown
    ASSERT_TRUE(host().timer().armed);
    const io::Nanoseconds asked = machine_.clock.now();
    mark();
    const auto r = run(test_unit_ready(kDisk));
    EXPECT_EQ(r.state, scsiport::RequestState::Completed);
    const io::Nanoseconds waited = selections().at(0).list.front().time - asked;
    EXPECT_GE(waited, 4990 * io::kMillisecond);
    EXPECT_LE(waited, 5010 * io::kMillisecond);
    EXPECT_EQ(adapter().SettlePending, 0);
    EXPECT_EQ(adapter().SettleCount, 0u);
}

// The timer routine: three calls count 3 down to 0, arming the timer again each time; the
// fourth ends the countdown and leaves the timer as it was.
TEST_F(BusResetTest, TimerCountsTheSettleCountDown) {
    boot();
    std::vector<std::pair<ULONG, io::Nanoseconds>> after_each;  // count, when the timer is due
    probe([&](ADAPTER_EXTENSION& ad) {
        ad.SettlePending = 1;
        ad.SettleCount = 3;
        for (int call = 0; call < 4; ++call) {
            ScsiPortReadPortUchar(ad.ChipBase + 0x04);  // let a microsecond pass
            RstToSelTimer(&ad);
            after_each.emplace_back(ad.SettleCount, host().timer().due);
            EXPECT_EQ(ad.SettlePending, call < 3 ? 1 : 0);
        }
    });
    ASSERT_EQ(after_each.size(), 4u);
    EXPECT_EQ(after_each[0].first, 2u);
    EXPECT_EQ(after_each[1].first, 1u);
    EXPECT_EQ(after_each[2].first, 0u);
    EXPECT_EQ(after_each[3].first, 0u);
    EXPECT_LT(after_each[0].second, after_each[1].second);
    EXPECT_LT(after_each[1].second, after_each[2].second);
    EXPECT_EQ(after_each[3].second, after_each[2].second);  // not armed again
}

// A chip that does not identify itself (the card is gone): the reset does nothing at all.
TEST_F(BusResetTest, ChipThatDoesNotIdentifyLeavesEverythingAsItWas) {
    add_disk(kDisk);
    boot();
    adapter().SdtrSent[kIndex] = 1;
    const unsigned resets = host().resets_detected();
    chip_.set_removed_from(machine_.clock.now());
    mark();
    host().reset_bus(0);
    EXPECT_TRUE(event_seen("HwResetBus(0) returned 0"));
    EXPECT_FALSE(event_seen("ScsiPortCompleteRequest"));
    EXPECT_EQ(host().resets_detected(), resets);
    EXPECT_EQ(adapter().SdtrSent[kIndex], 1);
    EXPECT_EQ(written(0, kCommand), (std::vector<std::uint32_t>{0x02, 0x00}));  // no bus reset
}

}  // namespace
}  // namespace orvo::engine_test
