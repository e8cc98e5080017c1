// Requests from the port driver to the bus and back, through a real build loaded by the port
// driver, against the chip model and a disk. Compiled once per build (ORVO_BUILD_NAME and the
// build's switches).
#include "ScsiMiniPort/miniport.h"
#include "machine/scsi/target.h"
#include "tests/frame/driver_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>

namespace orvo::testing {
namespace {

using scsiport::RequestSpec;

constexpr const char* kBuild = ORVO_BUILD_NAME;
constexpr bool kNt = !ORVO_WIN95;

std::vector<std::uint8_t> Pattern(std::size_t n, unsigned seed) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i * 31 + seed + i / 251);
    return v;
}

bool Traced(DriverRig& rig, const std::string& needle) {
    for (const auto& line : rig.pc().bus().trace().lines()) {
        if (line.find(needle) != std::string::npos) return true;
    }
    return false;
}

TEST(RequestPath, WriteThenReadRoundTripsInBothWidths) {
    for (const char* width : {"/BM", "/32"}) {
        DriverRig rig(kBuild, {std::string(width), {}});
        ASSERT_TRUE(rig.host().ready());
        EXPECT_EQ(rig.record<ADAPTER_EXTENSION>().TransferWidth,
                  std::string(width) == "/BM" ? ULONG(TRANSFER_WIDTH_BYTE) : ULONG(TRANSFER_WIDTH_32BIT));
        rig.clear_unit_attention(0);
        unsigned seed = 1;
        for (std::uint16_t blocks : {1, 3, 8, 128, 255}) {
            SCOPED_TRACE(std::string(width) + " " + std::to_string(blocks) + " blocks");
            const auto data = Pattern(blocks * 512u, seed++);
            const auto written = rig.execute(DriverRig::write10(0, 1000 + blocks, data));
            EXPECT_EQ(written.srb_status, SRB_STATUS_SUCCESS);
            EXPECT_EQ(written.data_transfer_length, data.size());
            const auto read = rig.execute(DriverRig::read10(0, 1000 + blocks, blocks));
            EXPECT_EQ(read.srb_status, SRB_STATUS_SUCCESS);
            EXPECT_EQ(read.scsi_status, SCSISTAT_GOOD);
            EXPECT_EQ(read.data_transfer_length, data.size());
            EXPECT_TRUE(read.data == data);
        }
    }
}

TEST(RequestPath, TheRecordHoldsNoPointerIntoItself) {
    DriverRig rig(kBuild);
    rig.clear_unit_attention(0);
    rig.execute(DriverRig::read10(0, 0, 1));
    const auto& ad = rig.record<ADAPTER_EXTENSION>();
    const auto inside = [&](const void* p) {
        return p >= static_cast<const void*>(&ad) && p < static_cast<const void*>(&ad + 1);
    };
    EXPECT_FALSE(inside(ad.CurrentLu));
    EXPECT_FALSE(inside(ad.ChipBase));
}

TEST(RequestPath, CommandsWithoutDataAndTheUnitAttentionSense) {
    DriverRig rig(kBuild);
    RequestSpec tur;
    tur.cdb = {0, 0, 0, 0, 0, 0};
    const auto first = rig.execute(tur);
    EXPECT_EQ(SRB_STATUS(first.srb_status), SRB_STATUS_ERROR);  // CHECK CONDITION: power-on unit attention
    EXPECT_EQ(first.scsi_status, SCSISTAT_CHECK_CONDITION);
    ASSERT_GE(first.sense.size(), 14u);
    EXPECT_EQ(first.sense[2] & 0x0F, 0x06);
    const auto second = rig.execute(tur);
    EXPECT_EQ(second.srb_status, SRB_STATUS_SUCCESS);
    EXPECT_EQ(second.data_transfer_length, 0u);
    EXPECT_TRUE(second.sense.empty());
}

TEST(RequestPath, ShortAndLongTransfersReportTheBytesMovedWithTheBuildsStatus) {
    struct Case {
        std::int32_t delta;
        ULONG moved;  // as reported: never more than the buffer holds
    };
    for (const Case c : {Case{-512, 3584}, Case{+512, 4096}}) {
        SCOPED_TRACE(c.delta);
        DriverRig rig(kBuild, {std::nullopt, [&](machine::MachineDescription& m) {
                                   m.devices[0].behaviour.data_length_delta = c.delta;
                               }});
        rig.clear_unit_attention(0);
        const auto read = rig.execute(DriverRig::read10(0, 0, 8));
        EXPECT_EQ(read.scsi_status, SCSISTAT_GOOD);
        EXPECT_EQ(read.data_transfer_length, c.moved);
        EXPECT_EQ(read.srb_status, kNt ? SRB_STATUS_DATA_OVERRUN : SRB_STATUS_SUCCESS);
    }
}

TEST(RequestPath, FunctionsTheDriverDoesNotHandleAreRefused) {
    DriverRig rig(kBuild);
    for (UCHAR function : {UCHAR(SRB_FUNCTION_SHUTDOWN), UCHAR(SRB_FUNCTION_FLUSH), UCHAR(SRB_FUNCTION_IO_CONTROL),
                           UCHAR(SRB_FUNCTION_CLAIM_DEVICE)}) {
        RequestSpec spec;
        spec.function = function;
        EXPECT_EQ(rig.execute(spec).srb_status, SRB_STATUS_INVALID_REQUEST) << int(function);
    }
}

TEST(RequestPath, ExcludedAndAbsentTargetsEndWithSelectionTimeout) {
    DriverRig rig(kBuild, {std::string("/NS2"), {}});
    RequestSpec spec;
    spec.cdb = {0, 0, 0, 0, 0, 0};
    spec.target = 2;
    const auto excluded = rig.execute(spec);
    EXPECT_EQ(excluded.srb_status, SRB_STATUS_SELECTION_TIMEOUT);
    EXPECT_FALSE(Traced(rig, "SELECT 2"));
    spec.target = 4;  // nobody there
    const auto absent = rig.execute(spec);
    EXPECT_EQ(absent.srb_status, SRB_STATUS_SELECTION_TIMEOUT);
    EXPECT_TRUE(Traced(rig, "SELTIMEOUT 4"));
    EXPECT_GE(absent.completed_at - absent.started_at, 200 * io::kMillisecond);
}

TEST(RequestPath, AbortAndDeviceResetCarryTheirOwnMessage) {
    DriverRig rig(kBuild);
    rig.clear_unit_attention(0);
    rig.pc().bus().trace().clear();
    RequestSpec abort;
    abort.function = SRB_FUNCTION_ABORT_COMMAND;
    abort.srb_flags = SRB_FLAGS_DISABLE_DISCONNECT;
    EXPECT_EQ(rig.execute(abort).srb_status, SRB_STATUS_ABORT_FAILED);
    EXPECT_TRUE(Traced(rig, "MSGOUT 80 06")) << rig.pc().bus().trace().text();
    EXPECT_FALSE(Traced(rig, "COMMAND"));

    rig.pc().bus().trace().clear();
    RequestSpec reset;
    reset.function = SRB_FUNCTION_RESET_DEVICE;
    const auto result = rig.execute(reset);
    EXPECT_TRUE(Traced(rig, "MSGOUT 0c")) << rig.pc().bus().trace().text();
    EXPECT_FALSE(Traced(rig, "COMMAND"));
    EXPECT_EQ(result.srb_status, SRB_STATUS_SUCCESS);
}

TEST(RequestPath, ResetBusRequestSucceedsAndResetsTheBus) {
    DriverRig rig(kBuild);
    rig.pc().bus().trace().clear();
    RequestSpec reset;
    reset.function = SRB_FUNCTION_RESET_BUS;
    EXPECT_EQ(rig.execute(reset).srb_status, SRB_STATUS_SUCCESS);
    EXPECT_TRUE(Traced(rig, "RESET"));
    rig.clear_unit_attention(0);
    EXPECT_EQ(rig.execute(DriverRig::read10(0, 0, 1)).srb_status, SRB_STATUS_SUCCESS);
}

TEST(RequestPath, CheckConditionIsFollowedByThePortDriversRequestSense) {
    DriverRig rig(kBuild);
    rig.clear_unit_attention(0);
    rig.pc().target(0)->behaviour().check_condition_count = 1;
    const auto failed = rig.execute(DriverRig::read10(0, 0, 1));
    EXPECT_EQ(SRB_STATUS(failed.srb_status), SRB_STATUS_ERROR);
    EXPECT_EQ(failed.scsi_status, SCSISTAT_CHECK_CONDITION);
    ASSERT_GE(failed.sense.size(), 13u);
    EXPECT_EQ(failed.sense[2] & 0x0F, 0x04);  // the injected hardware error
    EXPECT_EQ(rig.execute(DriverRig::read10(0, 0, 1)).srb_status, SRB_STATUS_SUCCESS);
}

TEST(Discovery, StoresTheDefaultsThenTheOptionString) {
    {
        DriverRig rig(kBuild);
        const auto& ad = rig.record<ADAPTER_EXTENSION>();
        for (int t = 0; t < 8; ++t) {
            EXPECT_EQ(ad.AsyncTarget[t], ORVO_SOCKET_SETUP ? 1 : 0);
            EXPECT_EQ(ad.NoSelect[t], 0);
        }
        for (int i = 0; i < TARGET_LUN_PAIRS; ++i) {
            ASSERT_EQ(ad.OfferPeriod[i], 25);
            ASSERT_EQ(ad.OfferOffset[i], 15);
            ASSERT_EQ(ad.TargetPeriod[i], 0);
        }
        EXPECT_EQ(ad.ParityEnable, 1);
        EXPECT_EQ(ad.InitiatorId, 7);
        // The Windows 95 builds settle the width at initialisation: no bridge here, so 32-bit.
        EXPECT_EQ(ad.TransferWidth, kNt ? ULONG(TRANSFER_WIDTH_BYTE) : ULONG(TRANSFER_WIDTH_32BIT));
#if ORVO_HAS_DMA_AND_DELAY
        EXPECT_EQ(ad.DataInDelay, 1);
        EXPECT_EQ(ad.DmaMode, 0);
#endif
    }
    {
        DriverRig rig(kBuild, {std::string("/AS3 /BM -parityoff /RESET=02 /NODELAY"), {}});
        const auto& ad = rig.record<ADAPTER_EXTENSION>();
        EXPECT_EQ(ad.AsyncTarget[3], 1);
        EXPECT_EQ(ad.TransferWidth, ULONG(TRANSFER_WIDTH_BYTE));
        EXPECT_EQ(ad.ParityEnable, 0);
        EXPECT_EQ(ad.ResetDelay, 2000u);
#if ORVO_HAS_DMA_AND_DELAY
        EXPECT_EQ(ad.DataInDelay, 0);
#endif
        rig.clear_unit_attention(0);
        EXPECT_EQ(rig.execute(DriverRig::read10(0, 0, 2)).srb_status, SRB_STATUS_SUCCESS);
    }
}

TEST(DeviceCheck, RecordsEveryTargetsTermsAndWritesThemWithTheSignature) {
    DriverRig rig(kBuild, {std::string("/CHECK"), [](machine::MachineDescription& m) {
                               m.devices[0].behaviour.min_period_factor = 50;
                               m.devices[0].behaviour.max_offset = 8;
                           }});
    ASSERT_TRUE(rig.host().ready());
    const auto& ad = rig.record<ADAPTER_EXTENSION>();
    EXPECT_EQ(ad.DeviceCheck, 0);
    // orvontx never starts a negotiation, so a device that does not negotiate on its own
    // leaves no terms behind there.
    EXPECT_EQ(ad.TargetPeriod[TL_INDEX(0, 0)], ORVO_SOCKET_SETUP ? 0 : 50);
    EXPECT_EQ(ad.TargetOffset[TL_INDEX(0, 0)], ORVO_SOCKET_SETUP ? 0 : 8);
    EXPECT_EQ(ad.TargetPeriod[TL_INDEX(1, 0)], 0);  // nobody at ID 1
    // Negotiation is forgotten after the check: the next request starts asynchronous.
    for (int i = 0; i < TARGET_LUN_PAIRS; ++i) {
        ASSERT_EQ(ad.OfferPeriod[i], DEFAULT_OFFER_PERIOD);
        ASSERT_EQ(ad.SyncPeriod[i], 0);
        ASSERT_EQ(ad.SdtrSent[i], 0);
    }
    const auto sram = rig.pc().chip().sram();
    EXPECT_EQ(sram[0x00], ORVO_SOCKET_SETUP ? 0 : 50);
    EXPECT_EQ(sram[0x08], ORVO_SOCKET_SETUP ? 0 : 8);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&sram[0x78]), 8), "Vinz,QDA");
    EXPECT_TRUE(rig.host().logged_errors().empty());
}

TEST(DeviceCheck, TargetsThatNegotiateOnTheirOwnLeaveTheirTermsInEveryBuild) {
    DriverRig rig(kBuild, {std::string("/CHECK /AS"), [](machine::MachineDescription& m) {
                               m.devices[0].behaviour.initiate_sdtr = true;
                               m.devices[0].behaviour.min_period_factor = 50;
                               m.devices[0].behaviour.max_offset = 8;
                           }});
    ASSERT_TRUE(rig.host().ready());
    const auto& ad = rig.record<ADAPTER_EXTENSION>();
    EXPECT_EQ(ad.TargetPeriod[TL_INDEX(0, 0)], 50);
    EXPECT_EQ(ad.TargetOffset[TL_INDEX(0, 0)], 8);
}

TEST(DeviceCheck, WithoutTheOptionTheSramHoldsZeros) {
    DriverRig rig(kBuild);
    const auto sram = rig.pc().chip().sram();
    EXPECT_TRUE(std::all_of(sram.begin(), sram.end(), [](std::uint8_t b) { return b == 0; }));
}

} // namespace
} // namespace orvo::testing
