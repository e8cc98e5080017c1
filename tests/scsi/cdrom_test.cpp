// The CD-ROM's command set end to end: 2048-byte blocks from an ISO image, writes refused,
// and a drive without a disc.

#include "device_rig.h"

#include "machine/scsi/cdrom.h"

#include <gtest/gtest.h>

#include <fstream>

namespace orvo::test {
namespace {

struct CdromTest : ::testing::Test {
    TempFile iso{"cdrom_test.iso"};
    std::vector<std::uint8_t> content = pattern(10 * 2048, 7);
    DeviceRig dev{5};
    void SetUp() override {
        std::ofstream(iso.path, std::ios::binary).write(reinterpret_cast<const char*>(content.data()),
                                                        std::streamsize(content.size()));
        dev.target.attach_unit(0, std::make_unique<scsi::CdromUnit>(scsi::ImageFile::open_read_only(iso.path)));
        dev.settle();
    }
    void TearDown() override {
        if (HasFailure()) std::cerr << dev.rig.dump();
    }
};

TEST_F(CdromTest, InquiryCapacityAndBlocksFromTheImage) {
    const Exchange inq = dev.run({0x12, 0, 0, 0, 36, 0}, 36);
    EXPECT_EQ(inq.data[0], 0x05);
    EXPECT_EQ(inq.data[1], 0x80);  // removable
    EXPECT_EQ(dev.run(cdb10(0x25, 0, 0), 8).data, (std::vector<std::uint8_t>{0, 0, 0, 9, 0, 0, 0x08, 0}));
    const Exchange rd = dev.run(cdb10(0x28, 3, 2), 4096);
    EXPECT_EQ(rd.data, std::vector<std::uint8_t>(content.begin() + 3 * 2048, content.begin() + 5 * 2048));
    EXPECT_EQ(dev.run({0x1B, 0, 0, 0, 1, 0}).status, 0x00);
    EXPECT_EQ(dev.run({0x1E, 0, 0, 0, 1, 0}).status, 0x00);
}

TEST_F(CdromTest, WritesAreRefusedWithDataProtect) {
    EXPECT_EQ(dev.run(cdb10(0x2A, 0, 1), 0, std::vector<std::uint8_t>(2048)).status, 0x02);
    EXPECT_EQ(dev.sense(), (std::array<std::uint8_t, 3>{0x07, 0x27, 0x00}));
    EXPECT_EQ(dev.run(cdb10(0x28, 10, 1), 2048).status, 0x02);
    EXPECT_EQ(dev.sense(), (std::array<std::uint8_t, 3>{0x05, 0x21, 0x00}));
}

TEST(CdromEmptyTest, DriveWithoutDiscIsNotReady) {
    DeviceRig dev(6);
    dev.target.attach_unit(0, std::make_unique<scsi::CdromUnit>(std::nullopt));
    dev.settle();
    EXPECT_EQ(dev.run({0, 0, 0, 0, 0, 0}).status, 0x02);
    EXPECT_EQ(dev.sense(), (std::array<std::uint8_t, 3>{0x02, 0x3A, 0x00}));
    EXPECT_EQ(dev.run(cdb10(0x25, 0, 0), 8).status, 0x02);
}

} // namespace
} // namespace orvo::test
