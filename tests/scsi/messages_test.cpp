// Messages an initiator sends after IDENTIFY: ABORT and BUS DEVICE RESET end the connection,
// anything the target does not know is answered with MESSAGE REJECT.

#include "device_rig.h"

#include "machine/scsi/disk.h"

#include <gtest/gtest.h>

namespace orvo::test {
namespace {

using namespace fas408;
using scsi::Phase;

struct MessagesTest : ::testing::Test {
    TempFile image{"messages_test.img"};
    DeviceRig dev{4};
    void SetUp() override {
        dev.target.attach_unit(0, std::make_unique<scsi::DiskUnit>(scsi::ImageFile::open_or_create(image.path, 64 * 512)));
        dev.settle();
    }
    void TearDown() override {
        if (HasFailure()) std::cerr << dev.rig.dump();
    }
    // Select with ATN and stop, then send the rest of `messages` in MESSAGE OUT.
    Interrupt send(const std::vector<std::uint8_t>& messages) {
        ChipRig& rig = dev.rig;
        rig.wr(reg::kDestId, 4);
        rig.command(cmd::kFlushFifo);
        for (std::uint8_t b : messages) rig.wr(reg::kFifo, b);
        rig.load_count(std::uint32_t(messages.size()));
        rig.command(cmd::kSelectAtnStop);
        const Interrupt selected = rig.wait();
        EXPECT_EQ(selected.phase(), std::uint8_t(Phase::MessageOut));
        rig.command(cmd::kTransferInfo);
        return rig.wait();
    }
};

TEST_F(MessagesTest, AbortEndsTheConnectionWithBusFree) {
    const Interrupt i = send({0x80, 0x06});
    EXPECT_EQ(i.bits, int_bits::kDisconnect);
    const auto events = dev.rig.trace();
    EXPECT_EQ(std::vector<std::string>(events.end() - 3, events.end()),
              (std::vector<std::string>{"SELECT 4 ATN", "MSGOUT 80 06", "BUSFREE"}));
    EXPECT_EQ(dev.run({0, 0, 0, 0, 0, 0}).status, 0x00);
}

TEST_F(MessagesTest, BusDeviceResetLeavesUnitAttention) {
    const Interrupt i = send({0x80, 0x0C});
    EXPECT_EQ(i.bits, int_bits::kDisconnect);
    EXPECT_EQ(dev.run({0, 0, 0, 0, 0, 0}).status, 0x02);
    EXPECT_EQ(dev.sense(), (std::array<std::uint8_t, 3>{0x06, 0x29, 0x00}));
}

TEST_F(MessagesTest, UnknownMessagesAreRejected) {
    for (const std::vector<std::uint8_t>& unknown :
         {std::vector<std::uint8_t>{0x80, 0x23, 0x05}, {0x80, 0x01, 0x02, 0x55, 0x00}, {0x80, 0x0F}}) {
        const Interrupt i = send(unknown);
        ASSERT_EQ(i.phase(), std::uint8_t(Phase::MessageIn));
        Interrupt last;
        EXPECT_EQ(dev.rig.message_in(&last), std::vector<std::uint8_t>{0x07});
        dev.rig.command(cmd::kMessageAccepted);
        EXPECT_EQ(dev.rig.wait().phase(), std::uint8_t(Phase::Command));  // and goes on
        const std::vector<std::uint8_t> tur{0, 0, 0, 0, 0, 0};
        EXPECT_EQ(dev.rig.command_through_pio(tur).phase(), std::uint8_t(Phase::Status));
        dev.rig.command(cmd::kCommandComplete);
        EXPECT_EQ(dev.rig.wait().bits, int_bits::kFunctionComplete);
        EXPECT_EQ(dev.rig.rd(reg::kFifo), 0x00);
        dev.rig.command(cmd::kMessageAccepted);
        EXPECT_EQ(dev.rig.wait().bits, int_bits::kDisconnect);
    }
}

} // namespace
} // namespace orvo::test
