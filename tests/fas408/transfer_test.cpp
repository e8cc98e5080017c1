// Information transfer as the driver runs it: data in and out through the data FIFO with its
// levels, the counter as residual, status and message, message bytes with ACK held, and a
// whole exchange with synchronous negotiation and the command through the data FIFO.

#include "chip_rig.h"

#include "machine/scsi/scripted_target.h"
#include "machine/scsi/target.h"

#include <gtest/gtest.h>

#include <numeric>

namespace orvo::test {
namespace {

using namespace fas408;
using scsi::Phase;
using S = scsi::ScriptStep;

std::vector<std::uint8_t> pattern(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = std::uint8_t(i * 7 + i / 256);
    return v;
}

const std::vector<std::uint8_t> kRead10{0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0};

// Selects target 3 running `script` and leaves the chip connected in the target's first phase
// after the command.
struct Scripted {
    ChipRig rig;
    scsi::ScriptedTarget target;
    Interrupt selected;  // the selection's interrupt: the target's first phase after the command
    explicit Scripted(std::vector<S> steps) : target(rig.bus, 3, [&] {
        std::vector<S> all{S::receive(Phase::MessageOut, 1), S::receive(Phase::Command, 10)};
        all.insert(all.end(), steps.begin(), steps.end());
        return all;
    }()) {
        rig.init();
        std::uint8_t step;
        selected = rig.select({.target = 3, .cdb = kRead10}, &step);
    }
    void start_data(bool out, std::uint32_t count) {
        rig.wr1(reg1::kPioControl, 0);
        rig.wr1(reg1::kPioDirection, out ? pio_direction::kOut : 0);
        rig.load_count(count);
        rig.command(cmd::kTransferInfo | cmd::kDataFifo);
        rig.wr1(reg1::kPioControl, pio_control::kOn);
    }
};

struct LevelCase {
    std::uint32_t bytes;
    std::uint8_t levels;
};

class DataInLevelTest : public ::testing::TestWithParam<LevelCase> {};

TEST_P(DataInLevelTest, PioStatusShowsTheFillLevelThenTheEnd) {
    S status = S::send(Phase::Status, {0});
    status.delay = 100 * io::kMicrosecond;  // the target stays in DATA IN until then
    Scripted s({S::send(Phase::DataIn, pattern(GetParam().bytes)), status});
    s.start_data(false, 0xFFFFF);
    s.rig.bp.clock.advance(60 * io::kMicrosecond);  // the target sends well within this
    EXPECT_EQ(s.rig.rd1(reg1::kPioStatus), GetParam().levels) << s.rig.dump();
    EXPECT_EQ(s.rig.rd(reg::kStatus) & status_bits::kInterrupt, 0);
    s.rig.bp.clock.advance(100 * io::kMicrosecond);  // the target has moved on to STATUS
    EXPECT_EQ(s.rig.rd1(reg1::kPioStatus), GetParam().levels | pio_status::kEnded);
    const Interrupt i = s.rig.wait();
    EXPECT_EQ(i.bits, int_bits::kBusService);
    EXPECT_EQ(i.phase(), std::uint8_t(Phase::Status));
    EXPECT_EQ(s.rig.count(), 0xFFFFF - std::min<std::uint32_t>(GetParam().bytes, 128));
}

INSTANTIATE_TEST_SUITE_P(Levels, DataInLevelTest,
                         ::testing::Values(LevelCase{1, 0x00}, LevelCase{43, 0x00}, LevelCase{44, 0x08},
                                           LevelCase{85, 0x08}, LevelCase{86, 0x0C}, LevelCase{127, 0x0C},
                                           LevelCase{128, 0x0E}));

TEST(DataInTest, FourKilobytesArriveIntactAtEitherWidth) {
    for (unsigned width : {1u, 4u}) {
        const auto data = pattern(4096);
        Scripted s({S::send(Phase::DataIn, data), S::send(Phase::Status, {0})});
        const io::Nanoseconds start = s.rig.bp.clock.now();
        EXPECT_EQ(s.rig.data_in(width), data) << "width " << width << "\n" << s.rig.dump();
        const io::Nanoseconds took = s.rig.bp.clock.now() - start;
        // One I/O cycle per element: byte-wide about 4 ms, 32-bit about a quarter of that.
        EXPECT_GT(took, 4096 / width * io::kMicrosecond);
        EXPECT_LT(took, 4096 / width * io::kMicrosecond * 13 / 10);
        EXPECT_EQ(s.rig.count(), 0xFFFFFu - 4096);
        EXPECT_EQ(s.rig.rd1(reg1::kPioStatus), pio_status::kEmpty | pio_status::kEnded);
        EXPECT_EQ(s.rig.chip.stats().fifo_underruns, 0u);
        EXPECT_EQ(s.rig.trace()[3], "DATAIN 4096");
    }
}

TEST(DataOutTest, ResidualIsCountPlusScsiFifoWhenTheTargetTakesLess) {
    struct Case {
        std::uint32_t taken;
        unsigned width;
    };
    for (const Case c : {Case{300, 4}, Case{200, 4}, Case{7, 1}, Case{1, 4}}) {
        const auto data = pattern(300);
        Scripted s({S::receive(Phase::DataOut, c.taken), S::send(Phase::Status, {0})});
        const std::uint32_t residual = s.rig.data_out(data, c.width);
        EXPECT_EQ(residual, 300 - c.taken) << "taken " << c.taken << "\n" << s.rig.dump();
        ASSERT_EQ(s.target.received().size(), 3u);
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + c.taken, s.target.received()[2].begin()));
        EXPECT_EQ(s.rig.rd(reg::kFifoFlags), 0);  // flushed by data_out
        const Interrupt i = s.rig.wait();
        EXPECT_EQ(i.phase(), std::uint8_t(Phase::Status));
    }
}

TEST(DataOutTest, LeftoverBytesSitInTheScsiFifoUntilFlushed) {
    Scripted s({S::receive(Phase::DataOut, 200), S::send(Phase::Status, {0})});
    s.start_data(true, 300);
    s.rig.bank(1);
    const auto data = pattern(300);
    s.rig.bp.ports.write_buffer(ChipRig::kBase + reg1::kPioData, data.data(), 128, 1);
    s.rig.bp.ports.write_buffer(ChipRig::kBase + reg1::kPioData, data.data() + 128, 128, 1);
    s.rig.bank(0);
    const Interrupt i = s.rig.wait();
    EXPECT_EQ(i.bits, int_bits::kBusService);
    EXPECT_EQ(i.phase(), std::uint8_t(Phase::Status));
    EXPECT_EQ(s.rig.rd(reg::kFifoFlags), 16);  // counted and taken from the data FIFO
    EXPECT_EQ(s.rig.count(), 300u - 200 - 16);  // not taken from the data FIFO, or never written
    EXPECT_EQ(s.rig.rd(reg::kFifo), data[200]);
}

TEST(StatusTest, StatusAndMessageArriveTogetherThenTheBusGoesFree) {
    Scripted s({S::send(Phase::Status, {0x02}), S::send(Phase::MessageIn, {0x00})});
    Interrupt i = s.selected;
    ASSERT_EQ(i.phase(), std::uint8_t(Phase::Status));
    s.rig.load_count(2);
    s.rig.command(cmd::kCommandComplete);
    i = s.rig.wait();
    EXPECT_EQ(i.bits, int_bits::kFunctionComplete);
    EXPECT_EQ(s.rig.rd(reg::kFifoFlags), 2);
    EXPECT_EQ(s.rig.rd(reg::kFifo), 0x02);
    EXPECT_EQ(s.rig.rd(reg::kFifo), 0x00);
    EXPECT_TRUE(s.rig.bus.ack_held());  // until the message is accepted
    s.rig.command(cmd::kMessageAccepted);
    i = s.rig.wait();
    EXPECT_EQ(i.bits, int_bits::kDisconnect);
    EXPECT_EQ(s.rig.bus.state(), scsi::ScsiBus::State::Free);
    EXPECT_EQ(s.rig.trace().back(), "BUSFREE");
}

TEST(StatusTest, StatusWithoutMessageReportsTheNextPhase) {
    Scripted s({S::send(Phase::Status, {0x00}), S::send(Phase::DataIn, {1, 2, 3})});
    s.rig.command(cmd::kCommandComplete);
    const Interrupt i = s.rig.wait();
    EXPECT_EQ(i.bits, int_bits::kFunctionComplete | int_bits::kBusService);
    EXPECT_EQ(i.phase(), std::uint8_t(Phase::DataIn));
    EXPECT_EQ(s.rig.rd(reg::kFifoFlags), 1);
}

TEST(MessageInTest, EachByteHoldsAckUntilAcceptedThenTheTargetGoesOn) {
    Scripted s({S::send(Phase::MessageIn, {0x01, 0x03, 0x01, 0x32, 0x08}), S::send(Phase::Status, {0})});
    Interrupt i = s.selected;
    ASSERT_EQ(i.phase(), std::uint8_t(Phase::MessageIn));
    std::vector<std::uint8_t> got;
    for (int n = 0; n < 5; ++n) {
        s.rig.command(cmd::kTransferInfo);
        i = s.rig.wait();
        ASSERT_EQ(i.bits, int_bits::kFunctionComplete) << n << "\n" << s.rig.dump();
        EXPECT_TRUE(s.rig.bus.ack_held());
        got.push_back(s.rig.rd(reg::kFifo));
        s.rig.command(cmd::kMessageAccepted);
        i = s.rig.wait();
        EXPECT_EQ(i.bits, int_bits::kBusService);
    }
    EXPECT_EQ(got, (std::vector<std::uint8_t>{0x01, 0x03, 0x01, 0x32, 0x08}));
    EXPECT_EQ(i.phase(), std::uint8_t(Phase::Status));
}

TEST(ExchangeTest, NegotiatedInquiryMatchesTheBusTraceOfARealExchange) {
    ChipRig rig;
    rig.init();
    scsi::ScsiTarget target(rig.bus, 2);
    const Exchange x = rig.run({.target = 2, .cdb = {0x12, 0, 0, 0, 36, 0}, .data_in = 36, .offer_sdtr = true});
    ASSERT_TRUE(x.completed) << rig.dump();
    EXPECT_EQ(x.status, 0x00);
    EXPECT_EQ(x.data.size(), 36u);
    EXPECT_EQ(x.data[0], 0x7F);  // no unit at LUN 0
    EXPECT_EQ(rig.trace(), (std::vector<std::string>{"SELECT 2 ATN", "MSGOUT 80 01 03 01 19 0f", "MSGIN 01 03 01 19 0f",
                                                     "COMMAND 12 00 00 00 24 00", "DATAIN 36", "STATUS 00", "MSGIN 00",
                                                     "BUSFREE"}));
    EXPECT_EQ(target.agreement(), (scsi::TransferAgreement{25, 15, false}));
    EXPECT_EQ(rig.bus.stats().bus_errors, 0u);
    // Each trace line starts with the virtual time in microseconds.
    EXPECT_EQ(rig.bus.trace().lines()[0].find(" SELECT 2 ATN"), rig.bus.trace().lines()[0].size() - 13);
}

} // namespace
} // namespace orvo::test
