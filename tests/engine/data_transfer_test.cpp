// Data phases: byte-wide and 32-bit transfers, chunks that follow the data FIFO's levels,
// residuals and overruns with the lengths and statuses they end with, the data-in delay.
#include "engine_fixture.h"

#include <numeric>

namespace orvo::engine_test {
namespace {

using namespace chip_reg;
using scsi::Phase;
using scsi::ScriptStep;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kDisk = 2;
constexpr std::uint8_t kScripted = 4;
constexpr std::uint8_t kPioStatusEnded = 0x40;


Bytes counting(std::size_t n, std::uint8_t from = 1) {
    Bytes bytes(n);
    std::iota(bytes.begin(), bytes.end(), from);
    return bytes;
}

// Data in: every buffered read of PIO_DATA takes what the PIO_STATUS read just before it
// announced (128, 86, 44 bytes; one byte while draining), or the request's remainder when
// that is smaller; 32-bit transfers move whole double words and a remainder below 4 bytes
// byte by byte. Returns the bytes read in all.
std::uint32_t expect_reads_follow_levels(const AccessList& connection, std::uint32_t expected, bool wide) {
    std::uint32_t remaining = expected, total = 0;
    int level_status = -1;
    for (const ChipAccess& a : connection.list) {
        if (!a.write && !a.buffered && a.bank == 1 && a.offset == kPioStatus) level_status = int(a.value);
        if (!(a.buffered && !a.write && a.bank == 1 && a.offset == kPioData)) continue;
        EXPECT_GE(level_status, 0);
        const std::uint32_t level = (level_status & 0x02) ? 128 : (level_status & 0x04) ? 86
                                  : (level_status & 0x08) ? 44 : 1;
        const std::uint32_t chunk = remaining != 0 && remaining < level ? remaining : level;
        const bool words = wide && chunk >= 4;
        EXPECT_EQ(a.width, words ? 4u : 1u) << "chunk of " << chunk;
        EXPECT_EQ(a.value, words ? chunk / 4 : chunk) << "level status " << level_status;
        const std::uint32_t moved = a.value * a.width;
        total += moved;
        remaining = remaining > moved ? remaining - moved : 0;
        level_status = -1;  // each chunk needs a fresh look at the levels
    }
    return total;
}

class DataTransferTest : public EngineTest, public ::testing::WithParamInterface<bool> {
protected:
    bool wide() const { return GetParam(); }
    void boot_with_width() {
        const bool w = wide();
        adjust_adapter = [w](ADAPTER_EXTENSION& ad) { ad.TransferWidth = w ? 1 : 2; };
        boot();
    }
};

TEST_P(DataTransferTest, ReadsMoveInChunksTheFifoAnnounces) {
    add_disk(kDisk);
    boot_with_width();
    clear_unit_attention(kDisk);
    for (const std::uint16_t blocks : {1, 8, 128}) {
        mark();
        const auto r = run(read10(kDisk, 100, blocks, blocks * 512u));
        EXPECT_EQ(r.srb_status, SRB_STATUS_SUCCESS);
        EXPECT_EQ(r.data_transfer_length, blocks * 512u);
        EXPECT_EQ(r.data, disk_pattern(100, blocks));
        EXPECT_EQ(expect_reads_follow_levels(accesses(), blocks * 512u, wide()), blocks * 512u);
    }
}

TEST_P(DataTransferTest, WritesLandOnTheDiskAndNeverOverfillTheFifo) {
    add_disk(kDisk);
    boot_with_width();
    clear_unit_attention(kDisk);
    for (const std::uint16_t blocks : {1, 3, 64}) {
        const Bytes data = counting(blocks * 512u, std::uint8_t(blocks));
        mark();
        const auto w = run(write10(kDisk, 200, data));
        EXPECT_EQ(w.srb_status, SRB_STATUS_SUCCESS);
        EXPECT_EQ(w.data_transfer_length, data.size());
        // at most 128 bytes per write, in the element width the transfer width asks for
        for (const auto& [width, count] : accesses().buffered(true)) {
            EXPECT_LE(width * count, 128u);
            EXPECT_EQ(width, wide() ? 4u : 1u);
        }
        EXPECT_EQ(run(read10(kDisk, 200, blocks, blocks * 512u)).data, data);
    }
}

// A target that takes 7 bytes of data out: one double word, one word and one byte with 32-bit
// transfers, one buffered write byte-wide.
TEST_P(DataTransferTest, OddDataOutEndsWithWordAndByte) {
    add_scripted(kScripted, {ScriptStep::receive(Phase::MessageOut, 1), ScriptStep::receive(Phase::Command, 10),
                             ScriptStep::receive(Phase::DataOut, 7), ScriptStep::send(Phase::Status, {0}),
                             ScriptStep::send(Phase::MessageIn, {0}), ScriptStep::release()});
    boot_with_width();
    const Bytes data = counting(7);
    mark();
    const auto r = run(write10(kScripted, 0, data));
    EXPECT_EQ(r.srb_status, SRB_STATUS_SUCCESS);
    EXPECT_EQ(r.data_transfer_length, 7u);
    using Runs = std::vector<std::pair<unsigned, std::uint32_t>>;
    if (wide()) {
        EXPECT_EQ(accesses().buffered(true), (Runs{{4, 1}, {2, 1}}));
        EXPECT_EQ(written(1, kPioData).back(), 7u);  // the last byte, on its own
    } else {
        EXPECT_EQ(accesses().buffered(true).at(0), (std::pair<unsigned, std::uint32_t>{1, 7}));
    }
}

// A buffer whose length is not a multiple of 4 and a target that sends more: the last bytes
// of the buffer come by byte reads, the excess is read into the discard buffer and dropped,
// and the request reports its buffer full, never more bytes than the buffer holds.
TEST_P(DataTransferTest, OverrunFillsTheBufferExactlyAndDropsTheExcess) {
    const Bytes sent = counting(512);
    add_scripted(kScripted, {ScriptStep::receive(Phase::MessageOut, 1), ScriptStep::receive(Phase::Command, 10),
                             ScriptStep::send(Phase::DataIn, sent), ScriptStep::send(Phase::Status, {0}),
                             ScriptStep::send(Phase::MessageIn, {0}), ScriptStep::release()});
    boot_with_width();
    mark();
    const auto r = run(read10(kScripted, 0, 1, 510));
    EXPECT_EQ(r.data_transfer_length, 510u);
    EXPECT_EQ(r.srb_status, kLengthMismatch);
    EXPECT_EQ(r.data, Bytes(sent.begin(), sent.begin() + 510));
    EXPECT_EQ(expect_reads_follow_levels(accesses(), 510, wide()), 512u);
    EXPECT_TRUE(host().logged_errors().empty());
}

INSTANTIATE_TEST_SUITE_P(Widths, DataTransferTest, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "Bits32" : "Byte"); });

// Transfers that move another number of bytes than asked, against a disk that sends or takes
// more or fewer: the length the request ends with and its status.
struct MismatchCase {
    const char* name;
    bool write;
    std::int32_t delta;  // bytes the target moves beyond (or short of) the 512 asked
    ULONG expected_length;
};

const MismatchCase kMismatchCases[] = {
    {"ShortRead", false, -312, 200},
    {"LongRead", false, 256, 512},
    {"ShortWrite", true, -200, 312},
};

class LengthMismatchTest : public EngineTest, public ::testing::WithParamInterface<MismatchCase> {};

TEST_P(LengthMismatchTest, EndsWithTheBytesMoved) {
    const MismatchCase& c = GetParam();
    scsi::TargetBehaviour behaviour;
    behaviour.data_length_delta = c.delta;
    add_disk(kDisk, behaviour);
    boot();
    clear_unit_attention(kDisk);
    const auto r = run(c.write ? write10(kDisk, 10, counting(512)) : read10(kDisk, 10, 1, 512));
    EXPECT_EQ(r.data_transfer_length, c.expected_length);
    EXPECT_EQ(r.srb_status, kLengthMismatch);
    EXPECT_EQ(r.scsi_status, SCSISTAT_GOOD);
    if (!c.write) {
        const Bytes expected = disk_pattern(10, 2);
        EXPECT_EQ(r.data, Bytes(expected.begin(), expected.begin() + std::min<ULONG>(c.expected_length, 512)));
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, LengthMismatchTest, ::testing::ValuesIn(kMismatchCases),
                         [](const auto& info) { return std::string(info.param.name); });

class DataPhaseRuleTest : public EngineTest {};

// A target that reports GOOD without sending any of the data asked for: the request says so
// (no bytes moved), rather than handing the untouched buffer back as a full read.
TEST_F(DataPhaseRuleTest, ReadThatMovedNothingReportsNoBytes) {
    add_scripted(kScripted, {ScriptStep::receive(Phase::MessageOut, 1), ScriptStep::receive(Phase::Command, 10),
                             ScriptStep::send(Phase::Status, {0}), ScriptStep::send(Phase::MessageIn, {0}),
                             ScriptStep::release()});
    boot();
    const auto r = run(read10(kScripted, 0, 8, 4096));
    EXPECT_EQ(r.data_transfer_length, 0u);
    EXPECT_EQ(r.srb_status, kLengthMismatch);
    // a command without data keeps its length of 0 and its status
    auto tur = test_unit_ready(kScripted);
    const auto t = run(tur);
    EXPECT_EQ(t.data_transfer_length, 0u);
    EXPECT_EQ(t.srb_status, SRB_STATUS_SUCCESS);
}

// The gap before the chip is started for a one-byte data in (INQUIRY with an allocation
// length of 1): 200 us with "DELAY" in the Windows NT builds, none otherwise.
io::Nanoseconds gap_before_data_in(const AccessList& connection) {
    const auto& list = connection.list;
    for (std::size_t i = 4; i < list.size(); ++i) {
        const ChipAccess& a = list[i];
        if (a.write && a.bank == 1 && a.offset == 0x0B && a.value == 0) {  // PIO_DIRECTION in
            return list[i - 3].time - list[i - 4].last_time;
        }
    }
    ADD_FAILURE() << "no data-in phase";
    return 0;
}

TEST_F(DataPhaseRuleTest, SingleByteDataInWaitsWhenDelayIsOn) {
    add_disk(kDisk);
    boot();
    clear_unit_attention(kDisk);
    scsiport::RequestSpec inquiry;
    inquiry.target = kDisk;
    inquiry.cdb = {0x12, 0, 0, 0, 1, 0};
    inquiry.data_in_length = 1;

    const auto gap_for = [&](std::uint8_t length) {
        inquiry.cdb[4] = length;
        inquiry.data_in_length = length;
        mark();
        EXPECT_EQ(run(inquiry).data_transfer_length, length);
        return gap_before_data_in(accesses());
    };
    EXPECT_GE(gap_for(1), ORVO_HAS_DMA_AND_DELAY ? 200 * io::kMicrosecond : 0);
    EXPECT_LT(gap_for(1), ORVO_HAS_DMA_AND_DELAY ? io::kMillisecond : 50 * io::kMicrosecond);
    EXPECT_LT(gap_for(2), 50 * io::kMicrosecond);
#if ORVO_HAS_DMA_AND_DELAY
    adapter().DataInDelay = 0;  // "NODELAY"
    EXPECT_LT(gap_for(1), 50 * io::kMicrosecond);
#endif
}

}  // namespace
}  // namespace orvo::engine_test
