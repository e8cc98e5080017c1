// Each behaviour switch of a target, and what the initiator sees change because of it.

#include "device_rig.h"

#include "machine/scsi/disk.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace orvo::test {
namespace {

using namespace fas408;
using scsi::Phase;
using Bytes = std::vector<std::uint8_t>;

const Bytes kRead8 = cdb10(0x28, 0, 8);
const Bytes kTur{0, 0, 0, 0, 0, 0};

struct BehaviourTest : ::testing::Test {
    TempFile image{"behaviour_test.img"};
    std::unique_ptr<DeviceRig> dev;
    Bytes stored = pattern(8 * 512, 11);

    void make(scsi::TargetBehaviour b, bool settle = true) {
        dev = std::make_unique<DeviceRig>(2, b);
        dev->target.attach_unit(0, std::make_unique<scsi::DiskUnit>(scsi::ImageFile::open_or_create(image.path, 64 * 512)));
        auto& unit = static_cast<scsi::DiskUnit&>(*dev->target.unit(0));
        unit.image().write(0, stored.data(), stored.size());
        if (settle) dev->settle();
    }
    Exchange run(Request r) {
        r.target = 2;
        return dev->rig.run(r);
    }
    bool saw_message(const Exchange& x, const Bytes& m) const {
        return std::find(x.messages_in.begin(), x.messages_in.end(), m) != x.messages_in.end();
    }
    bool traced(const std::string& prefix) const {
        const auto events = dev->rig.trace();
        return std::any_of(events.begin(), events.end(), [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
    }
    void TearDown() override {
        if (HasFailure() && dev) std::cerr << dev->rig.dump();
    }
};

TEST_F(BehaviourTest, OwnSynchronousLimitsShapeTheAnswerToAnOffer) {
    make({.min_period_factor = 50, .max_offset = 8});
    const Exchange x = run({.cdb = kRead8, .data_in = 4096, .offer_sdtr = true});
    ASSERT_FALSE(x.messages_in.empty());
    EXPECT_EQ(x.messages_in.front(), (Bytes{0x01, 0x03, 0x01, 50, 8}));
    EXPECT_EQ(dev->target.agreement(), (scsi::TransferAgreement{50, 8, false}));
    EXPECT_EQ(x.data, stored);
    EXPECT_EQ(dev->rig.bus.stats().bus_errors, 0u);
}

TEST_F(BehaviourTest, AsynchronousOnlyTargetAnswersWithOffsetZero) {
    make({.max_offset = 0});
    const Exchange x = run({.cdb = kRead8, .data_in = 4096, .offer_sdtr = true});
    EXPECT_EQ(x.messages_in.front(), (Bytes{0x01, 0x03, 0x01, 25, 0}));
    EXPECT_FALSE(dev->target.agreement().synchronous());
    EXPECT_EQ(x.data, stored);
}

TEST_F(BehaviourTest, RejectingSdtrLeavesTheTargetAsynchronous) {
    make({.reject_sdtr = true});
    const Exchange x = run({.cdb = kRead8, .data_in = 4096, .offer_sdtr = true});
    EXPECT_EQ(x.messages_in.front(), Bytes{0x07});
    EXPECT_FALSE(dev->target.agreement().synchronous());
    EXPECT_EQ(x.data, stored);
    EXPECT_EQ(dev->rig.bus.stats().bus_errors, 0u);
}

TEST_F(BehaviourTest, TargetProposesSdtrItselfOnceAfterReset) {
    make({.min_period_factor = 12, .initiate_sdtr = true}, false);
    const Exchange x = run({.cdb = kRead8, .data_in = 4096});
    ASSERT_FALSE(x.messages_in.empty());
    // Faster than the initiator's own terms: it answers with 25/15, which the target takes.
    EXPECT_EQ(x.messages_in.front(), (Bytes{0x01, 0x03, 0x01, 12, 15}));
    EXPECT_EQ(dev->target.agreement(), (scsi::TransferAgreement{25, 15, false}));
    EXPECT_EQ(x.status, scsi::status::kCheckCondition);  // power-on unit attention
    EXPECT_EQ(run({.cdb = kRead8, .data_in = 4096}).data, stored);
    EXPECT_TRUE(run({.cdb = kTur}).messages_in.empty());  // no second proposal
    EXPECT_EQ(dev->rig.bus.stats().bus_errors, 0u);
}

TEST_F(BehaviourTest, TargetProposesWideTransfersAndARejectKeepsItNarrow) {
    make({.initiate_wdtr = true}, false);
    const Exchange x = run({.cdb = kTur});
    ASSERT_FALSE(x.messages_in.empty());
    EXPECT_EQ(x.messages_in.front(), (Bytes{0x01, 0x02, 0x03, 0x01}));
    EXPECT_FALSE(dev->target.agreement().wide);
    dev->settle();
    EXPECT_EQ(run({.cdb = kRead8, .data_in = 4096}).data, stored);
    EXPECT_EQ(dev->rig.bus.stats().bus_errors, 0u);
}

TEST_F(BehaviourTest, DisconnectNeedsPrivilegeUnlessTheTargetIgnoresIt) {
    make({.disconnect_after_command = true});
    Exchange x = run({.cdb = kRead8, .data_in = 4096});
    EXPECT_FALSE(saw_message(x, Bytes{0x04}));  // IDENTIFY 0x80 grants no disconnection
    dev->target.behaviour().ignore_disconnect_privilege = true;
    x = run({.cdb = kRead8, .data_in = 4096});
    EXPECT_TRUE(saw_message(x, Bytes{0x04}));
    EXPECT_EQ(x.reselect_id, 0x84);
    EXPECT_TRUE(traced("RESELECT 2 LUN 0"));
    EXPECT_EQ(x.data, stored);
}

TEST_F(BehaviourTest, DisconnectInTheMiddleOfDataSavesAndRestoresPointers) {
    make({.disconnect_after_bytes = 1000, .ignore_disconnect_privilege = true, .restore_pointers_after_reselect = true});
    Exchange x = run({.cdb = kRead8, .data_in = 4096});
    EXPECT_TRUE(saw_message(x, Bytes{0x02}));
    EXPECT_TRUE(saw_message(x, Bytes{0x03}));
    EXPECT_EQ(x.data, stored);
    EXPECT_TRUE(traced("DATAIN 1000"));
    EXPECT_TRUE(traced("DATAIN 3096"));
    // The same split on the way out.
    const Bytes fresh = pattern(4096, 21);
    x = run({.cdb = cdb10(0x2A, 0, 8), .data_out = fresh});
    EXPECT_EQ(x.status, 0x00);
    EXPECT_EQ(run({.cdb = kRead8, .data_in = 4096}).data, fresh);
}

TEST_F(BehaviourTest, BusyForTheNextCommands) {
    make({});
    dev->target.behaviour().busy_count = 2;
    EXPECT_EQ(run({.cdb = kTur}).status, scsi::status::kBusy);
    EXPECT_EQ(run({.cdb = kTur}).status, scsi::status::kBusy);
    EXPECT_EQ(run({.cdb = kTur}).status, scsi::status::kGood);
}

TEST_F(BehaviourTest, CheckConditionForTheNextCommandsWithTheInjectedSense) {
    make({});
    dev->target.behaviour().check_condition_count = 1;
    EXPECT_EQ(run({.cdb = kRead8, .data_in = 4096}).status, scsi::status::kCheckCondition);
    EXPECT_EQ(dev->sense(), (std::array<std::uint8_t, 3>{0x04, 0x44, 0x00}));
    EXPECT_EQ(run({.cdb = kRead8, .data_in = 4096}).data, stored);
}

TEST_F(BehaviourTest, ShortAndLongDataIn) {
    for (const int delta : {-100, 100}) {
        make({.data_length_delta = delta});
        const Exchange x = run({.cdb = cdb10(0x28, 0, 1), .data_in = 512});
        ASSERT_EQ(x.data.size(), std::size_t(512 + delta)) << delta;
        EXPECT_TRUE(std::equal(x.data.begin(), x.data.begin() + std::min(512, 512 + delta), stored.begin()));
        EXPECT_EQ(x.status, 0x00);
    }
}

TEST_F(BehaviourTest, ShortDataOutLeavesAResidual) {
    make({.data_length_delta = -100});
    const Exchange x = run({.cdb = cdb10(0x2A, 0, 1), .data_out = pattern(512, 4)});
    EXPECT_EQ(x.out_residual, 100u);
    EXPECT_EQ(x.status, 0x00);
}

TEST_F(BehaviourTest, StuckInDataInKeepsSendingPastTheRequest) {
    make({});
    dev->target.behaviour().stuck_phase = Phase::DataIn;
    auto& rig = dev->rig;
    std::uint8_t step;
    ASSERT_EQ(rig.select({.target = 2, .cdb = cdb10(0x28, 0, 1)}, &step).phase(), std::uint8_t(Phase::DataIn));
    rig.wr1(reg1::kPioControl, 0);
    rig.load_count(0xFFFFF);
    rig.command(cmd::kTransferInfo | cmd::kDataFifo);
    rig.bank(1);
    rig.wr(reg1::kPioControl, pio_control::kOn);
    std::vector<std::uint8_t> block(128);
    for (int i = 0; i < 40; ++i) {  // 5 KB for a 512-byte read
        while ((rig.rd(reg1::kPioStatus) & pio_status::kFull128) == 0) {
        }
        rig.bp.ports.read_buffer(ChipRig::kBase + reg1::kPioData, block.data(), 128, 1);
    }
    EXPECT_EQ(rig.rd(reg1::kPioStatus) & pio_status::kEnded, 0);
    rig.bank(0);
    EXPECT_EQ(rig.rd(reg::kStatus) & (status_bits::kInterrupt | status_bits::kPhaseMask), std::uint8_t(Phase::DataIn));
}

TEST_F(BehaviourTest, ExtendedMessagesOfOddLengthsReachTheInitiator) {
    for (const std::uint8_t length : {0, 20}) {
        make({.odd_extended_length = length});
        const Exchange x = run({.cdb = kTur});
        ASSERT_FALSE(x.messages_in.empty()) << int(length);
        EXPECT_EQ(x.messages_in.front().size(), 2u + length);
        EXPECT_EQ(x.messages_in.front()[1], length);
        EXPECT_EQ(x.status, 0x00);  // the initiator rejected it and went on
    }
}

TEST_F(BehaviourTest, PhaseChangeInTheMiddleOfAMessage) {
    make({.change_phase_mid_message = true});
    const Exchange x = run({.cdb = kRead8, .data_in = 4096});
    EXPECT_EQ(x.messages_in.front(), (Bytes{0x01, 0x03}));  // broken off, then DATA IN
    EXPECT_EQ(x.phases[1], std::uint8_t(Phase::DataIn));
    EXPECT_EQ(x.data, stored);
    EXPECT_TRUE(x.completed);
}

TEST_F(BehaviourTest, BadParityIsSeenOnlyWithParityChecking) {
    for (const bool checking : {false, true}) {
        make({.bad_parity = true});
        dev->rig.init(checking);
        const Exchange x = run({.cdb = cdb10(0x28, 0, 1), .data_in = 512});
        EXPECT_EQ(dev->rig.chip.stats().parity_errors > 0, checking);
        EXPECT_EQ(traced("PARITY 2"), checking);
        // The chip raised ATN: the target took a MESSAGE OUT phase before going on.
        const bool message_out = std::count(x.phases.begin(), x.phases.end(), std::uint8_t(Phase::MessageOut)) > 0;
        EXPECT_EQ(message_out, checking);
        EXPECT_TRUE(x.completed);
    }
}

} // namespace
} // namespace orvo::test
