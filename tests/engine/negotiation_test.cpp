// Synchronous negotiation end to end: what the driver agrees with targets of various limits,
// what it answers, what the chip is given at the next selection, and that data then moves
// without the chip and the target disagreeing (the bus counts any mismatch as a bus error).
#include "engine_fixture.h"

#include <algorithm>

namespace orvo::engine_test {
namespace {

using namespace chip_reg;
using Values = std::vector<std::uint32_t>;

constexpr std::uint8_t kDisk = 2;
constexpr unsigned kIndex = kDisk * 8;  // LUN 0

struct NegotiationCase {
    const char* name;
    bool driver_offers;      // AsyncTarget 0
    scsi::TargetBehaviour target;
    const char* reply;       // the driver's MESSAGE OUT after the target's SDTR, "" for none
    UCHAR sync_period, sync_offset, period_reg, offset_reg, target_period, target_offset;
    UCHAR chip_period, chip_offset;  // SYNC_PERIOD / SYNC_OFFSET at the next selection
    bool fast;                       // CONFIG3 fast timing set at the next selection
};

scsi::TargetBehaviour limits(UCHAR period, UCHAR offset) {
    scsi::TargetBehaviour b;
    b.min_period_factor = period;
    b.max_offset = offset;
    return b;
}
scsi::TargetBehaviour rejecting() {
    scsi::TargetBehaviour b;
    b.reject_sdtr = true;
    return b;
}
scsi::TargetBehaviour proposing(UCHAR period, UCHAR offset) {
    scsi::TargetBehaviour b = limits(period, offset);
    b.initiate_sdtr = true;
    return b;
}

const NegotiationCase kCases[] = {
    {"AcceptedAsSent", true, limits(25, 15), "", 25, 15, 0x84, 0x0F, 25, 15, 0x04, 0xCF, true},
    {"SlowerTargetAccepted", true, limits(50, 8), "", 50, 8, 0x08, 0x08, 50, 8, 0x08, 0xC8, false},
    {"AsynchronousAnswer", true, limits(25, 0), "", 0, 0, 0, 0, 0, 0, 0x0A, 0xC0, false},
    {"MessageReject", true, rejecting(), "", 0, 0, 0, 0, 0, 0, 0x0A, 0xC0, false},
    {"TargetProposesFasterCounterOffered", false, proposing(12, 15), "MSGOUT 01 03 01 19 0f",
     25, 15, 0x84, 0x0F, 12, 15, 0x04, 0xCF, true},
    {"TargetProposesWithinOfferAccepted", false, proposing(50, 8), "", 50, 8, 0x08, 0x08, 50, 8,
     0x08, 0xC8, false},
};

class NegotiationTest : public EngineTest, public ::testing::WithParamInterface<NegotiationCase> {};

// The window of a selection up to its select command: what SetTransferMode programmed.
AccessList up_to_select(const AccessList& selection) {
    AccessList head;
    for (const ChipAccess& a : selection.list) {
        head.list.push_back(a);
        if (a.write && a.bank == 0 && a.offset == kCommand && (a.value & 0x40)) break;
    }
    return head;
}

TEST_P(NegotiationTest, AgreementReachesTablesChipAndData) {
    const NegotiationCase& c = GetParam();
    adjust_adapter = [&c](ADAPTER_EXTENSION& ad) { ad.AsyncTarget[kDisk] = c.driver_offers ? 0 : 1; };
    add_disk(kDisk, c.target);
    boot();
    mark();
    clear_unit_attention(kDisk);

    // The target's SDTR and what the driver answered.
    const auto from_sdtr = bus_events_from("MSGIN 01 03 01");
    ASSERT_FALSE(from_sdtr.empty() && !c.target.reject_sdtr) << bus_text();
    if (!from_sdtr.empty()) {
        const bool answered = from_sdtr.size() > 1 && from_sdtr[1].starts_with("MSGOUT");
        EXPECT_EQ(answered ? from_sdtr[1] : std::string(), c.reply);
    }
    const ADAPTER_EXTENSION& ad = adapter();
    EXPECT_EQ(ad.SyncPeriod[kIndex], c.sync_period);
    EXPECT_EQ(ad.SyncOffset[kIndex], c.sync_offset);
    EXPECT_EQ(ad.SyncPeriodReg[kIndex], c.period_reg);
    EXPECT_EQ(ad.SyncOffsetReg[kIndex], c.offset_reg);
    EXPECT_EQ(ad.TargetPeriod[kIndex], c.target_period);
    EXPECT_EQ(ad.TargetOffset[kIndex], c.target_offset);

    mark();
    const auto read = run(read10(kDisk, 16, 8, 4096));
    EXPECT_EQ(read.srb_status, SRB_STATUS_SUCCESS);
    EXPECT_EQ(read.data, disk_pattern(16, 8));
    EXPECT_EQ(bus_.stats().bus_errors, 0u) << bus_.last_bus_error();

    const AccessList head = up_to_select(selections().at(0));
    EXPECT_EQ(head.written(0, kSyncPeriod), Values{c.chip_period});
    EXPECT_EQ(head.written(0, kSyncOffset), Values{c.chip_offset});
    const Values config3 = head.written(0, kConfig3);
    EXPECT_EQ(!config3.empty() && (config3.back() & 0x10), c.fast);
    // the offer (if any) is still current: no second one
    EXPECT_EQ(bus_events_from("SELECT 2").at(1), "MSGOUT 80");
}

INSTANTIATE_TEST_SUITE_P(Targets, NegotiationTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

bool contains_run(const Values& values, const Values& run) {
    return std::search(values.begin(), values.end(), run.begin(), run.end()) != values.end();
}

class NegotiationRuleTest : public EngineTest {};

// MESSAGE REJECT to the offer: ATN goes down before the reject is accepted, and no answer.
TEST_F(NegotiationRuleTest, RejectedOfferDropsAtnWithoutAnswer) {
    adjust_adapter = [](ADAPTER_EXTENSION& ad) { ad.AsyncTarget[kDisk] = 0; };
    add_disk(kDisk, rejecting());
    boot();
    mark();
    run(test_unit_ready(kDisk));
    const auto from_reject = bus_events_from("MSGIN 07");
    ASSERT_GE(from_reject.size(), 2u) << bus_text();
    EXPECT_FALSE(from_reject[1].starts_with("MSGOUT"));
    EXPECT_TRUE(contains_run(selections().at(0).written(0, kCommand), {0x1B, 0x12}));
}

// During the device check the target's terms are only recorded: no chip write, no answer.
TEST_F(NegotiationRuleTest, DeviceCheckRecordsTermsWithoutTouchingTheChip) {
    adjust_adapter = [](ADAPTER_EXTENSION& ad) {
        ad.AsyncTarget[kDisk] = 0;
        ad.DeviceCheck = 1;
        std::fill(std::begin(ad.OfferPeriod), std::end(ad.OfferPeriod), UCHAR{1});
        std::fill(std::begin(ad.OfferOffset), std::end(ad.OfferOffset), UCHAR{0xFE});
    };
    add_disk(kDisk, limits(25, 8));
    boot();
    mark();
    run(test_unit_ready(kDisk));

    const auto bus = bus_events_from("SELECT 2");
    ASSERT_GE(bus.size(), 4u);
    EXPECT_EQ(bus[1], "MSGOUT 80 01 03 01 01 fe");
    EXPECT_EQ(bus[2], "MSGIN 01 03 01 19 08");
    EXPECT_FALSE(bus[3].starts_with("MSGOUT"));
    const ADAPTER_EXTENSION& ad = adapter();
    EXPECT_EQ(ad.TargetPeriod[kIndex], 25);
    EXPECT_EQ(ad.TargetOffset[kIndex], 8);
    EXPECT_EQ(ad.SyncPeriod[kIndex], 25);
    EXPECT_EQ(ad.SyncOffset[kIndex], 8);
    EXPECT_EQ(ad.SyncPeriodReg[kIndex], 0);
    EXPECT_EQ(ad.SyncOffsetReg[kIndex], 0);
    // only the selection's own SetTransferMode reached the chip
    EXPECT_EQ(selections().at(0).written(0, kSyncPeriod), (Values{0x0A}));
}

}  // namespace
}  // namespace orvo::engine_test
