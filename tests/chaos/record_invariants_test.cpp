// The adapter record's invariants as the chaos runner checks them, on this build's layout: a
// sound record passes, and each field out of range is named, alone.
#include "ScsiMiniPort/miniport.h"
#include "tools/orvo/adapter_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace orvo::tool {
namespace {

// As the driver leaves it between two requests.
ADAPTER_EXTENSION sound_record() {
    ADAPTER_EXTENSION ad;
    std::memset(&ad, 0, sizeof ad);
    ad.InitiatorId = 7;
    ad.Phase = PHASE_READ_FROM_CHIP;
    ad.BusFree = 1;
    ad.TargetId = 7;
    ad.Lun = 7;
    ad.MessageOutLength = MESSAGE_OUT_SIZE;
    ad.TransferWidth = TRANSFER_WIDTH_BYTE;
    ad.ResetDelay = 3000;
    ad.SettleCount = 3000;
    std::memset(ad.OfferPeriod, DEFAULT_OFFER_PERIOD, sizeof ad.OfferPeriod);
    std::memset(ad.OfferOffset, DEFAULT_OFFER_OFFSET, sizeof ad.OfferOffset);
    ad.SyncOffset[9] = DEFAULT_OFFER_OFFSET;
    ad.SyncOffsetReg[9] = 15;
#if ORVO_SOCKET_SETUP
    ad.PcicPort = ad.PcicIndexPort = 0x3E0;  // socket 0 of a controller at 0x3E0
    ad.PcicDataPort = 0x3E1;
    ad.CorOffset = 0x400;
    ad.ConfigIndex = 0x61;
#endif
    return ad;
}

struct Breach {
    const char* field;
    std::function<void(ADAPTER_EXTENSION&)> apply;
};

const Breach kBreaches[] = {
    {"TargetId", [](ADAPTER_EXTENSION& ad) { ad.TargetId = SCSI_MAX_TARGETS; }},
    {"Lun", [](ADAPTER_EXTENSION& ad) { ad.Lun = 0xFFFFFFFF; }},
    {"InitiatorId", [](ADAPTER_EXTENSION& ad) { ad.InitiatorId = 8; }},
    {"MessageOutLength", [](ADAPTER_EXTENSION& ad) { ad.MessageOutLength = MESSAGE_OUT_SIZE + 1; }},
    {"Phase", [](ADAPTER_EXTENSION& ad) { ad.Phase = 0x20; }},
    {"BusFree", [](ADAPTER_EXTENSION& ad) { ad.BusFree = 2; }},
    {"TransferWidth", [](ADAPTER_EXTENSION& ad) { ad.TransferWidth = TRANSFER_WIDTH_UNDECIDED; }},
    {"SettleCount", [](ADAPTER_EXTENSION& ad) { ad.SettleCount = ad.ResetDelay + 1; }},
    {"DeviceCheck", [](ADAPTER_EXTENSION& ad) { ad.DeviceCheck = 1; }},
    {"NoSelect[3]", [](ADAPTER_EXTENSION& ad) { ad.NoSelect[3] = 0xFF; }},
    {"SdtrValid[63]", [](ADAPTER_EXTENSION& ad) { ad.SdtrValid[63] = 2; }},
    {"SyncOffsetReg[5]", [](ADAPTER_EXTENSION& ad) { ad.SyncOffsetReg[5] = 16; }},
    {"SyncOffset[9]", [](ADAPTER_EXTENSION& ad) { ad.SyncOffset[9] = DEFAULT_OFFER_OFFSET + 1; }},
};

TEST(RecordInvariants, SoundRecordPasses) {
    ADAPTER_EXTENSION ad = sound_record();
    EXPECT_TRUE(adapter_record_problems(ORVO_BUILD_NAME, &ad).empty());
    ad.Phase = PHASE_TIMEOUT;
    EXPECT_TRUE(adapter_record_problems(ORVO_BUILD_NAME, &ad).empty());
}

TEST(RecordInvariants, EachFieldOutOfRangeIsNamed) {
    for (const Breach& b : kBreaches) {
        ADAPTER_EXTENSION ad = sound_record();
        b.apply(ad);
        const auto problems = adapter_record_problems(ORVO_BUILD_NAME, &ad);
        ASSERT_EQ(problems.size(), 1u) << b.field;
        EXPECT_EQ(problems[0].rfind(b.field, 0), 0u) << problems[0];
    }
}

} // namespace
} // namespace orvo::tool
