// The disk's command set end to end through the chip, on a raw image in a temp directory:
// data round trips that land in the file in place, and the sense data of every refusal.

#include "device_rig.h"

#include "machine/scsi/disk.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

namespace orvo::test {
namespace {

constexpr std::uint32_t kBlocks = 2048;  // 1 MiB

struct DiskTest : ::testing::Test {
    TempFile image{"disk_test.img"};
    DeviceRig dev;
    void SetUp() override {
        dev.target.attach_unit(0, std::make_unique<scsi::DiskUnit>(
                                      scsi::ImageFile::open_or_create(image.path, kBlocks * 512ull),
                                      scsi::Identity{"ORVO", "TEST DISK", "2.1"}));
    }
    void TearDown() override {
        if (HasFailure()) std::cerr << dev.rig.dump();
    }
    std::vector<std::uint8_t> file_bytes(std::uint64_t offset, std::size_t n) {
        std::ifstream f(image.path, std::ios::binary);
        f.seekg(std::streamoff(offset));
        std::vector<std::uint8_t> v(n);
        f.read(reinterpret_cast<char*>(v.data()), std::streamsize(n));
        return v;
    }
};

TEST_F(DiskTest, MissingImageIsCreatedSparseAtTheRequestedSize) {
    struct stat st {};
    ASSERT_EQ(::stat(image.path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, off_t(kBlocks) * 512);
    EXPECT_LT(st.st_blocks * 512, st.st_size);  // no blocks written yet
    // An existing image keeps its own size.
    scsi::DiskUnit again(scsi::ImageFile::open_or_create(image.path, 4096));
    EXPECT_EQ(again.block_count(), kBlocks);
}

TEST_F(DiskTest, FirstCommandReportsPowerOnUnitAttentionButInquiryIsExempt) {
    EXPECT_EQ(dev.run({0x12, 0, 0, 0, 36, 0}, 36).status, 0x00);
    EXPECT_EQ(dev.run({0, 0, 0, 0, 0, 0}).status, 0x02);
    EXPECT_EQ(dev.sense(), (std::array<std::uint8_t, 3>{0x06, 0x29, 0x00}));
    EXPECT_EQ(dev.run({0, 0, 0, 0, 0, 0}).status, 0x00);
    EXPECT_EQ(dev.sense(), (std::array<std::uint8_t, 3>{0x00, 0x00, 0x00}));
}

TEST_F(DiskTest, InquiryAndCapacityDescribeTheImage) {
    dev.settle();
    const Exchange inq = dev.run({0x12, 0, 0, 0, 36, 0}, 36);
    ASSERT_EQ(inq.data.size(), 36u);
    EXPECT_EQ(inq.data[0], 0x00);  // direct access
    EXPECT_EQ(inq.data[1], 0x00);  // not removable
    EXPECT_EQ(std::string(inq.data.begin() + 8, inq.data.begin() + 36), "ORVO    TEST DISK       2.1 ");
    EXPECT_EQ(dev.run({0x12, 0, 0, 0, 5, 0}, 5).data.size(), 5u);  // allocation length
    const Exchange cap = dev.run(cdb10(0x25, 0, 0), 8);
    EXPECT_EQ(cap.data, (std::vector<std::uint8_t>{0, 0, 0x07, 0xFF, 0, 0, 0x02, 0x00}));
}

TEST_F(DiskTest, WrittenBlocksReadBackAndLandInTheFileInPlace) {
    dev.settle();
    const auto data = pattern(8 * 512, 3);
    const Exchange w = dev.run(cdb10(0x2A, 100, 8), 0, data);
    ASSERT_TRUE(w.completed);
    EXPECT_EQ(w.status, 0x00);
    EXPECT_EQ(w.out_residual, 0u);
    EXPECT_EQ(dev.run(cdb10(0x28, 100, 8), 4096).data, data);
    // READ(6) and WRITE(6) address the same blocks.
    EXPECT_EQ(dev.run({0x08, 0, 0, 102, 2, 0}, 1024).data, std::vector<std::uint8_t>(data.begin() + 1024, data.begin() + 2048));
    const auto six = pattern(512, 9);
    EXPECT_EQ(dev.run({0x0A, 0, 0, 7, 1, 0}, 0, six).status, 0x00);
    EXPECT_EQ(dev.run({0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}).status, 0x00);  // SYNCHRONIZE CACHE
    EXPECT_EQ(file_bytes(100 * 512, data.size()), data);
    EXPECT_EQ(file_bytes(7 * 512, 512), six);
    EXPECT_EQ(file_bytes(99 * 512, 512), std::vector<std::uint8_t>(512, 0));
}

TEST_F(DiskTest, VerifyWithByteCheckComparesAgainstTheMedium) {
    dev.settle();
    const auto data = pattern(1024, 5);
    dev.run(cdb10(0x2A, 10, 2), 0, data);
    EXPECT_EQ(dev.run(cdb10(0x2F, 10, 2, 0x02), 0, data).status, 0x00);
    auto other = data;
    other[700] ^= 1;
    EXPECT_EQ(dev.run(cdb10(0x2F, 10, 2, 0x02), 0, other).status, 0x02);
    EXPECT_EQ(dev.sense(), (std::array<std::uint8_t, 3>{0x0E, 0x1D, 0x00}));
    EXPECT_EQ(dev.run(cdb10(0x2F, 10, 2)).status, 0x00);  // no byte check: range only
}

struct Refusal {
    const char* name;
    std::vector<std::uint8_t> cdb;
    std::array<std::uint8_t, 3> sense;
};

class DiskRefusalTest : public DiskTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(DiskRefusalTest, CheckConditionWithTheProperSense) {
    dev.settle();
    const Exchange x = dev.run(GetParam().cdb, 4096, std::vector<std::uint8_t>(512));
    EXPECT_TRUE(x.completed);
    EXPECT_EQ(x.status, 0x02);
    EXPECT_TRUE(x.data.empty());
    EXPECT_EQ(dev.sense(), GetParam().sense);
}

INSTANTIATE_TEST_SUITE_P(
    Sense, DiskRefusalTest,
    ::testing::Values(Refusal{"ReadPastTheEnd", cdb10(0x28, kBlocks, 1), {0x05, 0x21, 0x00}},
                      Refusal{"ReadRunningOffTheEnd", cdb10(0x28, kBlocks - 4, 8), {0x05, 0x21, 0x00}},
                      Refusal{"WritePastTheEnd", cdb10(0x2A, kBlocks, 1), {0x05, 0x21, 0x00}},
                      Refusal{"UnknownOpcode", {0xC7, 0, 0, 0, 0, 0}, {0x05, 0x20, 0x00}},
                      Refusal{"UnsupportedModePage", {0x1A, 0, 0x1C, 0, 255, 0}, {0x05, 0x24, 0x00}},
                      Refusal{"InquiryVitalProductData", {0x12, 1, 0x80, 0, 255, 0}, {0x05, 0x24, 0x00}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DiskTest, StoppedUnitIsNotReadyUntilStarted) {
    dev.settle();
    EXPECT_EQ(dev.run({0x1B, 0, 0, 0, 0, 0}).status, 0x00);  // stop
    EXPECT_EQ(dev.run(cdb10(0x28, 0, 1), 512).status, 0x02);
    EXPECT_EQ(dev.sense(), (std::array<std::uint8_t, 3>{0x02, 0x04, 0x02}));
    EXPECT_EQ(dev.run({0x1B, 0, 0, 0, 1, 0}).status, 0x00);  // start
    EXPECT_EQ(dev.run(cdb10(0x28, 0, 1), 512).data.size(), 512u);
}

TEST_F(DiskTest, ModeSenseGivesBlockDescriptorCachingAndGeometryPages) {
    dev.settle();
    const Exchange all = dev.run({0x1A, 0, 0x3F, 0, 255, 0}, 255);
    ASSERT_EQ(all.data.size(), 4u + 8 + 24 + 12);
    EXPECT_EQ(all.data[0], all.data.size() - 1);
    EXPECT_EQ(all.data[3], 8);                                               // block descriptor length
    EXPECT_EQ(std::vector<std::uint8_t>(all.data.begin() + 5, all.data.begin() + 8), (std::vector<std::uint8_t>{0, 0x08, 0}));
    EXPECT_EQ(all.data[10], 0x02);                                          // 512-byte blocks
    EXPECT_EQ(all.data[12], 0x04);                                          // rigid geometry
    EXPECT_EQ(all.data[12 + 24], 0x08);                                     // caching
    const Exchange caching = dev.run({0x1A, 0x08, 0x08, 0, 255, 0}, 255);   // DBD
    EXPECT_EQ(caching.data, (std::vector<std::uint8_t>{15, 0, 0, 0, 0x08, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(DiskTest, MissingLunAnswersInquiryWithQualifierThreeAndRefusesTheRest) {
    dev.settle();
    const Exchange inq = dev.run({0x12, 0, 0, 0, 36, 0}, 36, {}, 3);
    ASSERT_EQ(inq.data.size(), 36u);
    EXPECT_EQ(inq.data[0], 0x7F);
    EXPECT_EQ(dev.run({0, 0, 0, 0, 0, 0}, 0, {}, 3).status, 0x02);
    EXPECT_EQ(dev.sense(3), (std::array<std::uint8_t, 3>{0x05, 0x25, 0x00}));
    EXPECT_EQ(dev.run({0, 0, 0, 0, 0, 0}).status, 0x00);  // LUN 0 unaffected
}

TEST(DiskImageTest, UnopenableImageNamesTheFile) {
    try {
        scsi::ImageFile::open_or_create("/nonexistent-dir/disk.img", 512);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent-dir/disk.img"), std::string::npos);
    }
}

} // namespace
} // namespace orvo::test
