// The chaos runner's checks fail where they should: data that differs from the image, a
// request that is open or took too long, stored data that changed without a WRITE.
#include "tools/orvo/chaos_checks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace orvo::tool {
namespace {

using scsiport::RequestResult;
using scsiport::RequestSpec;
using scsiport::RequestState;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kImageBytes = 8 * 512;

struct ChecksTest : ::testing::Test {
    std::filesystem::path path = std::filesystem::path(::testing::TempDir()) /
                                 ("chaos_checks_" + std::to_string(::getpid()) + "_" +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    scsi::ImageFile image = scsi::ImageFile::open_or_create(path.string(), kImageBytes);
    Bytes stored = Bytes(kImageBytes);

    ChecksTest() {
        for (std::size_t i = 0; i < stored.size(); ++i) stored[i] = std::uint8_t(i * 7 + (i >> 9));
        image.write(0, stored.data(), stored.size());
    }
    ~ChecksTest() override { std::filesystem::remove(path); }

    Bytes at(std::size_t offset, std::size_t n) const { return Bytes(stored.begin() + std::ptrdiff_t(offset), stored.begin() + std::ptrdiff_t(offset + n)); }
};

RequestResult good(Bytes data, ULONG length) {
    RequestResult r;
    r.state = RequestState::Completed;
    r.srb_status = SRB_STATUS_SUCCESS;
    r.data = std::move(data);
    r.data_transfer_length = length;
    return r;
}

RequestSpec read10(std::uint32_t lba, std::uint16_t blocks) {
    return {.cdb = {0x28, 0, 0, 0, 0, std::uint8_t(lba), 0, 0, std::uint8_t(blocks), 0}, .data_in_length = blocks * 512u};
}

RequestSpec write10(std::uint32_t lba, Bytes data) {
    const auto blocks = std::uint8_t(data.size() / 512);
    return {.cdb = {0x2A, 0, 0, 0, 0, std::uint8_t(lba), 0, 0, blocks, 0}, .data_out = std::move(data)};
}

TEST_F(ChecksTest, ReadDataMustBeTheImageAtTheLba) {
    EXPECT_FALSE(check_read_data(read10(2, 1), good(at(1024, 512), 512), image));
    EXPECT_FALSE(check_read_data(read10(2, 2), good(at(1024, 300), 300), image)) << "fewer bytes, all right";

    Bytes shifted = at(1025, 512);
    const auto problem = check_read_data(read10(2, 1), good(shifted, 512), image);
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find("READ data byte 0 (image byte 1024)"), std::string::npos) << *problem;

    EXPECT_TRUE(check_read_data(read10(7, 2), good(Bytes(1024), 1024), image)) << "past the image's end";
    RequestResult failed = good(shifted, 512);
    failed.scsi_status = SCSISTAT_CHECK_CONDITION;
    EXPECT_FALSE(check_read_data(read10(2, 1), failed, image)) << "only good READs are checked";
}

TEST_F(ChecksTest, WrittenBlocksMustBeOnTheImage) {
    EXPECT_FALSE(check_write_data(write10(3, at(3 * 512, 1024)), good({}, 1024), image));
    const auto problem = check_write_data(write10(3, Bytes(1024, 0xEE)), good({}, 1024), image);
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find("WRITE data"), std::string::npos);
    // Only whole blocks the driver reports as moved count.
    EXPECT_FALSE(check_write_data(write10(3, Bytes(1024, 0xEE)), good({}, 511), image));
}

TEST(Checks, RequestMustBeCompletedWithinItsBound) {
    RequestResult r;
    r.state = RequestState::Started;
    EXPECT_TRUE(check_finished(r, io::kSecond));
    r.state = RequestState::Completed;
    r.started_at = 5 * io::kSecond;
    r.completed_at = 6 * io::kSecond;
    EXPECT_FALSE(check_finished(r, io::kSecond));
    r.completed_at = 6 * io::kSecond + 1;
    const auto problem = check_finished(r, io::kSecond);
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find("took 1.000 s"), std::string::npos) << *problem;
}

TEST_F(ChecksTest, StoredDataChangesOnlyWhereAWriteSaidSo) {
    StoredDataWatch watch(image);
    EXPECT_FALSE(watch.check());

    const Bytes junk(512, 0x5A);
    image.write(5 * 512, junk.data(), junk.size());
    watch.expect_write({4, 2});
    EXPECT_FALSE(watch.check()) << "block 5 was named";

    image.write(1 * 512, junk.data(), junk.size());
    watch.expect_write({2, 6});
    const auto problem = watch.check();
    ASSERT_TRUE(problem);
    EXPECT_EQ(*problem, "stored block 1 changed, and no WRITE named it");
    EXPECT_FALSE(watch.check()) << "the change has been seen";
}

} // namespace
} // namespace orvo::tool
