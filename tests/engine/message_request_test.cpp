// Abort and reset-device requests: the selection carries their prepared message and nothing
// else, the unit's previous command and buffer are never used, and a device reset puts the
// target back to asynchronous transfer.
#include "engine_fixture.h"

#include <algorithm>

namespace orvo::engine_test {
namespace {

using namespace chip_reg;
using scsi::Phase;
using scsi::ScriptStep;

constexpr std::uint8_t kDisk = 2;
constexpr std::uint8_t kScripted = 4;

scsiport::RequestSpec abort_request(std::uint8_t target, ULONG flags) {
    scsiport::RequestSpec spec;
    spec.function = SRB_FUNCTION_ABORT_COMMAND;
    spec.target = target;
    spec.srb_flags = flags;
    return spec;
}

scsiport::RequestSpec reset_device(std::uint8_t target) {
    scsiport::RequestSpec spec;
    spec.function = SRB_FUNCTION_RESET_DEVICE;
    spec.target = target;
    return spec;
}

bool any_event(const std::vector<std::string>& events, const char* prefix) {
    return std::any_of(events.begin(), events.end(), [&](const std::string& e) { return e.starts_with(prefix); });
}

class MessageRequestTest : public EngineTest {};

// After a read, an abort selects with ATN and sends IDENTIFY (with disconnect privilege unless
// the request forbids it) and ABORT, stopping after the first byte; no command, no data.
TEST_F(MessageRequestTest, AbortSendsIdentifyAndAbortOnly) {
    add_disk(kDisk);
    boot();
    clear_unit_attention(kDisk);
    ASSERT_EQ(run(read10(kDisk, 1, 1, 512)).srb_status, SRB_STATUS_SUCCESS);

    for (const auto& [flags, identify] : {std::pair<ULONG, const char*>{SRB_FLAGS_DISABLE_DISCONNECT, "MSGOUT 80 06"},
                                          std::pair<ULONG, const char*>{0, "MSGOUT c0 06"}}) {
        mark();
        const auto r = run(abort_request(kDisk, flags));
        EXPECT_EQ(r.srb_status, SRB_STATUS_SUCCESS);
        const auto events = bus_events();
        ASSERT_GE(events.size(), 3u) << bus_text();
        EXPECT_EQ(events[0], "SELECT 2 ATN");
        EXPECT_EQ(events[1], identify);
        EXPECT_EQ(events[2], "BUSFREE");
        const auto selection = selections().at(0);
        EXPECT_EQ(selection.written(0, kFifo).size(), 2u);
        EXPECT_EQ(selection.written(0, kTcLow).at(0), 2u);
        EXPECT_EQ(selection.written(0, kCommand).at(1), 0x43u);
    }
}

// A target that asks for data after the abort gets none from the unit's old buffer: what it
// sends goes to the scratch buffer, and the old command is never sent again.
TEST_F(MessageRequestTest, AbortNeverUsesTheUnitsPreviousRequest) {
    const std::vector<std::uint8_t> junk(16, 0xEE);
    auto& target = add_scripted(kScripted, {ScriptStep::receive(Phase::MessageOut, 2),
                                            ScriptStep::send(Phase::DataIn, junk), ScriptStep::release()});
    boot();
    std::vector<std::uint8_t> old_buffer(64, 0x55);
    UCHAR old_cdb[6] = {0x0A, 0, 0, 1, 1, 0};  // a WRITE(6)
    probe(
        [&](ADAPTER_EXTENSION&) {
            auto* lu = unit(kScripted);
            lu->SavedDataPointer = lu->DataPointer = old_buffer.data();
            lu->SavedDataLength = lu->DataLength = ULONG(old_buffer.size());
            lu->CdbPointer = old_cdb;
            lu->CdbLength = sizeof old_cdb;
        },
        kScripted);
    mark();
    const auto r = run(abort_request(kScripted, 0));
    EXPECT_EQ(r.srb_status, SRB_STATUS_SUCCESS);
    EXPECT_EQ(target.received().at(0), (std::vector<std::uint8_t>{0xC0, 0x06}));
    EXPECT_EQ(old_buffer, std::vector<std::uint8_t>(64, 0x55));
    EXPECT_FALSE(any_event(bus_events(), "COMMAND"));
    EXPECT_TRUE(any_event(bus_events(), "DATAIN 16"));
}

// BUS DEVICE RESET: the target drops its agreement, and so does the driver, for every LUN of
// that target; the next selection offers again and data moves without disagreement.
TEST_F(MessageRequestTest, DeviceResetForgetsTheTargetsAgreement) {
    adjust_adapter = [](ADAPTER_EXTENSION& ad) { ad.AsyncTarget[kDisk] = 0; };
    add_disk(kDisk);
    boot();
    clear_unit_attention(kDisk);
    ASSERT_EQ(adapter().SyncPeriodReg[kDisk * 8], 0x84);

    mark();
    const auto r = run(reset_device(kDisk));
    EXPECT_EQ(r.srb_status, SRB_STATUS_SUCCESS);
    // one message byte with the selection (no stop, no command), and the target lets go
    EXPECT_EQ(bus_events(), (std::vector<std::string>{"SELECT 2 ATN", "MSGOUT 0c", "BUSFREE"}));
    EXPECT_EQ(selections().at(0).written(0, kCommand).at(1), 0x42u);
    EXPECT_EQ(selections().at(0).written(0, kTcLow).at(0), 1u);
    for (unsigned lun = 0; lun < 8; ++lun) {
        const unsigned i = kDisk * 8 + lun;
        EXPECT_EQ(adapter().SdtrSent[i] | adapter().SdtrValid[i] | adapter().SyncPeriodReg[i] | adapter().SyncOffset[i], 0);
    }

    mark();
    clear_unit_attention(kDisk);  // the reset raised it
    EXPECT_EQ(selections().at(0).written(0, kSyncOffset).at(0), 0xC0u);
    EXPECT_EQ(bus_events_from("SELECT 2").at(1), "MSGOUT 80 01 03 01 19 0f");
    const auto read = run(read10(kDisk, 4, 8, 4096));
    EXPECT_EQ(read.data, disk_pattern(4, 8));
    EXPECT_EQ(bus_.stats().bus_errors, 0u) << bus_.last_bus_error();
}

TEST_F(MessageRequestTest, AbsentTargetEndsAsSelectionTimeout) {
    boot();
    EXPECT_EQ(run(abort_request(6, 0)).srb_status, SRB_STATUS_SELECTION_TIMEOUT);
    EXPECT_EQ(run(reset_device(6)).srb_status, SRB_STATUS_SELECTION_TIMEOUT);
}

}  // namespace
}  // namespace orvo::engine_test
