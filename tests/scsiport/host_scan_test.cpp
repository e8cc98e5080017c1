// The bus scan: INQUIRY to every target and LUN, which units count as devices, and which
// logical units the host knows afterwards.
#include "fake_miniport.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

namespace orvo::scsiport::testing {
namespace {

std::vector<std::uint8_t> inquiry_data(std::uint8_t byte0, std::uint8_t byte1, const char* vendor,
                                       const char* product, const char* revision) {
    std::vector<std::uint8_t> data(36, ' ');
    data[0] = byte0;
    data[1] = byte1;
    data[2] = 2;
    data[3] = 2;
    data[4] = 31;
    data[5] = data[6] = data[7] = 0;
    std::memcpy(&data[8], vendor, std::strlen(vendor));
    std::memcpy(&data[16], product, std::strlen(product));
    std::memcpy(&data[32], revision, std::strlen(revision));
    return data;
}

class ScanTest : public HostTest {
protected:
    using Unit = std::pair<int, int>;  // target, LUN
    std::map<Unit, std::vector<std::uint8_t>> bus;
    std::vector<Unit> asked;

    void SetUp() override {
        bus[{0, 0}] = inquiry_data(0x00, 0x00, "ORVO", "DISK-1", "1.0");
        bus[{0, 1}] = inquiry_data(0x7F, 0x00, "", "", "");            // qualifier 3: no device
        bus[{0, 2}] = inquiry_data(0x05, 0x80, "ORVO", "CD-ROM", "2.1");
        bus[{0, 2}].resize(32);                                        // a short answer
        bus[{3, 1}] = inquiry_data(0x00, 0x00, "GHOST", "BEHIND", "0.0"); // LUN 0 absent
        bus[{6, 0}] = inquiry_data(0x01, 0x80, "ORVO", "TAPE", "0.9");
        bus[{7, 0}] = inquiry_data(0x00, 0x00, "ORVO", "AT-SEVEN", "1.0");
        fake.start_io = [this](PVOID extension, PSCSI_REQUEST_BLOCK srb) {
            asked.emplace_back(srb->TargetId, srb->Lun);
            EXPECT_EQ(std::vector<std::uint8_t>(srb->Cdb, srb->Cdb + srb->CdbLength),
                      (std::vector<std::uint8_t>{0x12, 0, 0, 0, 36, 0}));
            EXPECT_EQ(srb->DataTransferLength, 36u);
            const auto unit = bus.find({srb->TargetId, srb->Lun});
            if (unit == bus.end()) {
                srb->SrbStatus = SRB_STATUS_SELECTION_TIMEOUT;
            } else {
                std::memcpy(srb->DataBuffer, unit->second.data(), unit->second.size());
                srb->SrbStatus = unit->second.size() < 36 ? SRB_STATUS_DATA_OVERRUN : SRB_STATUS_SUCCESS;
                srb->DataTransferLength = static_cast<ULONG>(unit->second.size());
            }
            ScsiPortNotification(RequestComplete, extension, srb);
            ScsiPortNotification(NextRequest, extension, 0);
        };
    }

    bool was_asked(int target, int lun) const {
        return std::find(asked.begin(), asked.end(), Unit{target, lun}) != asked.end();
    }
};

TEST_F(ScanTest, ReportsTheUnitsThatAnswerWithADeviceAndSkipsTheAdaptersOwnId) {
    fake.find_adapter = [](PVOID, PCHAR, PPORT_CONFIGURATION_INFORMATION c) {
        c->InitiatorBusId[0] = 7;
        c->MaximumNumberOfTargets = 7;
        return ULONG{SP_RETURN_FOUND};
    };
    boot();
    const std::vector<ScannedUnit> units = host->scan_bus();

    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[0].target, 0);
    EXPECT_EQ(units[0].lun, 0);
    EXPECT_EQ(units[0].peripheral_type, 0x00);
    EXPECT_EQ(units[0].vendor, "ORVO");
    EXPECT_EQ(units[0].product, "DISK-1");
    EXPECT_EQ(units[0].revision, "1.0");
    EXPECT_FALSE(units[0].removable);
    EXPECT_EQ(units[1].lun, 2);
    EXPECT_EQ(units[1].peripheral_type, 0x05);
    EXPECT_TRUE(units[1].removable);
    EXPECT_EQ(units[1].product, "CD-ROM");
    EXPECT_EQ(units[1].revision, "");  // not in the short answer
    EXPECT_EQ(units[2].target, 6);
    EXPECT_EQ(units[2].product, "TAPE");

    EXPECT_TRUE(was_asked(0, 7));   // every LUN of a target whose LUN 0 answered
    EXPECT_TRUE(was_asked(6, 7));
    EXPECT_FALSE(was_asked(3, 1));  // LUN 0 absent: the target has no units
    EXPECT_FALSE(was_asked(7, 0));  // the adapter itself
    EXPECT_EQ(asked.size(), 8u + 5u + 8u);

    EXPECT_NE(host->logical_unit(0, 0, 0), nullptr);
    EXPECT_NE(host->logical_unit(0, 0, 2), nullptr);
    EXPECT_NE(host->logical_unit(0, 6, 0), nullptr);
    EXPECT_EQ(host->logical_unit(0, 0, 1), nullptr);  // answered, but with no device
    EXPECT_EQ(host->logical_unit(0, 3, 0), nullptr);
    EXPECT_EQ(host->logical_unit(0, 7, 0), nullptr);
}

TEST_F(ScanTest, WithoutAnInitiatorIdEveryTargetIsScanned) {
    boot();  // the fake leaves InitiatorBusId unset and MaximumNumberOfTargets at 8
    const std::vector<ScannedUnit> units = host->scan_bus();
    ASSERT_EQ(units.size(), 4u);
    EXPECT_EQ(units[3].target, 7);
    EXPECT_EQ(units[3].product, "AT-SEVEN");
}

} // namespace
} // namespace orvo::scsiport::testing
