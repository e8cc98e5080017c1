// Selection: the bytes queued in the chip, the counts and select commands, what goes over the
// bus, and the ways a selection fails.
#include <algorithm>
#include "engine_fixture.h"

namespace orvo::engine_test {
namespace {

using namespace chip_reg;
using Bytes = std::vector<std::uint32_t>;

constexpr std::uint8_t kDisk = 2;
const Bytes kIdentifyWithOffer{0x80, 0x01, 0x03, 0x01, 0x19, 0x0F};

Bytes prefix(const Bytes& values, std::size_t n) {
    return Bytes(values.begin(), values.begin() + std::ptrdiff_t(std::min(n, values.size())));
}

class SelectionTest : public EngineTest {
protected:
    // The driver may offer synchronous transfer to the disk in every build.
    void boot_with_offers() {
        adjust_adapter = [](ADAPTER_EXTENSION& ad) { ad.AsyncTarget[kDisk] = 0; };
        add_disk(kDisk);
        boot();
    }
};

TEST_F(SelectionTest, FirstSelectionQueuesTheOfferAndSendsItsRestAfterStepOne) {
    boot_with_offers();
    mark();
    run(test_unit_ready(kDisk));

    const auto selection = selections().at(0);
    EXPECT_EQ(selection.written(0, kDestId), Bytes{kDisk});
    EXPECT_EQ(selection.written(0, kFifo), kIdentifyWithOffer);
    EXPECT_EQ(selection.written(0, kTcLow).at(0), 6u);
    // flush, select with ATN and stop after the IDENTIFY, then the rest of the message
    EXPECT_EQ(prefix(selection.written(0, kCommand), 3), (Bytes{0x01, 0x43, 0x10}));
    const auto bus = bus_events_from("SELECT 2 ATN");
    ASSERT_GE(bus.size(), 2u);
    EXPECT_EQ(bus[1], "MSGOUT 80 01 03 01 19 0f");
    // the command did not go with the selection: the COMMAND phase sends it through the data
    // FIFO with its own count
    EXPECT_EQ(selection.written(1, kPioData), (Bytes{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(selection.written(0, kTcLow).at(1), 6u);
    EXPECT_EQ(unit(kDisk)->CdbLength, 0u);
}

TEST_F(SelectionTest, LaterSelectionSendsIdentifyAndTheCommandInOneSequence) {
    boot_with_offers();
    clear_unit_attention(kDisk);
    mark();
    const auto result = run(read10(kDisk, 7, 1, 512));
    EXPECT_EQ(result.srb_status, SRB_STATUS_SUCCESS);

    const auto selection = selections().at(0);
    EXPECT_EQ(selection.written(0, kFifo),
              (Bytes{0x80, 0x28, 0x00, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ(selection.written(0, kTcLow).at(0), 11u);
    EXPECT_EQ(prefix(selection.written(0, kCommand), 2), (Bytes{0x01, 0x42}));
    const auto bus = bus_events_from("SELECT 2 ATN");
    ASSERT_GE(bus.size(), 3u);
    EXPECT_EQ(bus[1], "MSGOUT 80");
    EXPECT_EQ(bus[2], "COMMAND 28 00 00 00 00 07 00 00 01 00");
}

// Who is offered synchronous transfer: orvontx never offers on its own; the Windows 95
// builds also honour SRB_FLAGS_DISABLE_SYNCH_TRANSFER.
TEST_F(SelectionTest, OfferFollowsTheBuildsDefaultAndTheRequestFlag) {
    add_disk(2);
    add_disk(3);
    boot();
    auto without_flag = test_unit_ready(2);
    auto with_flag = test_unit_ready(3);
    with_flag.srb_flags = SRB_FLAGS_DISABLE_SYNCH_TRANSFER;
    mark();
    run(without_flag);
    run(with_flag);

    const bool offers = !ORVO_SOCKET_SETUP;
    const bool honours_flag = ORVO_WIN95;
    const auto first_msgout = [&](const char* select) { return bus_events_from(select).at(1); };
    EXPECT_EQ(first_msgout("SELECT 2"), offers ? "MSGOUT 80 01 03 01 19 0f" : "MSGOUT 80");
    EXPECT_EQ(first_msgout("SELECT 3"), offers && !honours_flag ? "MSGOUT 80 01 03 01 19 0f" : "MSGOUT 80");
}

// REQUEST SENSE to LUN 3, once through the command phase (an offer went with the selection)
// and once with the selection: the Windows NT builds put the LUN into byte 1.
TEST_F(SelectionTest, RequestSenseCarriesTheLunInTheWindowsNtBuilds) {
    boot_with_offers();
    scsiport::RequestSpec sense;
    sense.target = kDisk;
    sense.lun = 3;
    sense.cdb = {0x03, 0x00, 0x00, 0x00, 18, 0x00};
    sense.data_in_length = 18;
    mark();
    run(sense);  // SDTR due: the command goes in the COMMAND phase
    run(sense);  // no offer: the command goes with the selection

    const std::string expected = ORVO_LUN_IN_REQUEST_SENSE ? "COMMAND 03 60 00 00 12 00" : "COMMAND 03 00 00 00 12 00";
    std::vector<std::string> commands;
    for (const auto& event : bus_events()) {
        if (event.starts_with("COMMAND")) commands.push_back(event);
    }
    EXPECT_EQ(commands, (std::vector<std::string>{expected, expected}));
    EXPECT_EQ(selections().at(0).written(0, kCommand).at(1), 0x43u);
    EXPECT_EQ(selections().at(1).written(0, kCommand).at(1), 0x42u);
}

TEST_F(SelectionTest, ExcludedTargetEndsAtOnceWithoutBusActivity) {
    adjust_adapter = [](ADAPTER_EXTENSION& ad) { ad.NoSelect[4] = 1; };
    add_disk(4);
    boot();
    mark();
    const auto result = run(test_unit_ready(4));
    EXPECT_EQ(result.srb_status, SRB_STATUS_SELECTION_TIMEOUT);
    EXPECT_TRUE(bus_events().empty()) << bus_text();
    EXPECT_TRUE(written(0, kCommand).empty());
    EXPECT_LT(result.completed_at - result.started_at, 100 * io::kMicrosecond);
}

TEST_F(SelectionTest, TargetThatDoesNotAnswerEndsWithTheChipsSelectionTimeout) {
    boot();
    mark();
    const auto result = run(test_unit_ready(5));
    EXPECT_EQ(result.srb_status, SRB_STATUS_SELECTION_TIMEOUT);
    EXPECT_EQ(bus_events_from("SELTIMEOUT").size(), 1u) << bus_text();
    // SEL_TIMEOUT 0x99 at 40 MHz: about a quarter of a second
    const io::Nanoseconds took = result.completed_at - result.started_at;
    EXPECT_GT(took, 200 * io::kMillisecond);
    EXPECT_LT(took, 300 * io::kMillisecond);
    EXPECT_TRUE(host().logged_errors().empty());
}

#if ORVO_HAS_DMA_AND_DELAY
// "DMA": the selection's bytes go through the data FIFO (bank 1), the count is loaded back in
// bank 0 after them, and the select and transfer commands take their data-FIFO forms.
class DmaSelectionTest : public SelectionTest {
protected:
    void boot_dma(bool offers) {
        adjust_adapter = [offers](ADAPTER_EXTENSION& ad) {
            ad.AsyncTarget[kDisk] = offers ? 0 : 1;
            ad.DmaMode = 1;
        };
        add_disk(kDisk);
        boot();
    }
    // The count is written after the last byte queued for the select command, in bank 0.
    static void expect_count_after_bytes(const AccessList& selection) {
        std::size_t last_byte = 0, count = 0;
        for (std::size_t i = 0; i < selection.list.size(); ++i) {
            const ChipAccess& a = selection.list[i];
            if (a.write && a.bank == 0 && a.offset == kCommand && (a.value == 0xC2 || a.value == 0xC3)) break;
            if (a.write && a.bank == 1 && a.offset == kPioData) last_byte = i;
            if (a.write && a.bank == 0 && a.offset == kTcLow && count == 0) count = i;
        }
        EXPECT_LT(last_byte, count);
    }
};

TEST_F(DmaSelectionTest, IdentifyAndCommandGoThroughTheDataFifo) {
    boot_dma(false);
    mark();
    const auto result = run(test_unit_ready(kDisk));
    EXPECT_EQ(result.state, scsiport::RequestState::Completed);

    const auto selection = selections().at(0);
    EXPECT_TRUE(selection.written(0, kFifo).empty());
    EXPECT_EQ(selection.written(1, kPioData), (Bytes{0x80, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(selection.written(0, kTcLow).at(0), 7u);
    EXPECT_EQ(prefix(selection.written(0, kCommand), 2), (Bytes{0x01, 0xC2}));
    expect_count_after_bytes(selection);
    EXPECT_EQ(bus_events_from("SELECT 2").at(2), "COMMAND 00 00 00 00 00 00");
}

// The register side of an offer in DMA mode: the rest of the message goes with 0x90 and
// MessageOutLength - 1 as its count.
TEST_F(DmaSelectionTest, OfferQueuesTheWholeMessageAndSendsTheRestWith0x90) {
    boot_dma(true);
    mark();
    run(test_unit_ready(kDisk));

    const auto selection = selections().at(0);
    EXPECT_TRUE(selection.written(0, kFifo).empty());
    EXPECT_EQ(prefix(selection.written(1, kPioData), 6), kIdentifyWithOffer);
    EXPECT_EQ(prefix(selection.written(0, kTcLow), 2), (Bytes{6, 5}));  // selection, then the rest
    EXPECT_EQ(prefix(selection.written(0, kCommand), 3), (Bytes{0x01, 0xC3, 0x90}));
    expect_count_after_bytes(selection);
    // The whole offer reaches the target: the bytes after IDENTIFY stay in the data FIFO
    // until 0x90 sends them, and the command follows.
    const auto events = bus_events_from("SELECT 2");
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.at(1), "MSGOUT 80 01 03 01 19 0f");
    EXPECT_NE(std::find(events.begin(), events.end(), "COMMAND 00 00 00 00 00 00"), events.end());
}
#endif

}  // namespace
}  // namespace orvo::engine_test
