// The status phase: SCSI status to request status, the raw byte in the SRB, and the stale
// offer after CHECK CONDITION and COMMAND TERMINATED.
#include "engine_fixture.h"

namespace orvo::engine_test {
namespace {

using namespace chip_reg;
using scsi::Phase;
using scsi::ScriptStep;

constexpr std::uint8_t kTarget = 3;

// A target that takes IDENTIFY and a 6-byte command, answers with the status byte, sends
// COMMAND COMPLETE and lets the bus go. It ignores ATN, so an offer gets no answer.
std::vector<ScriptStep> answer_with_status(std::uint8_t status) {
    return {ScriptStep::receive(Phase::MessageOut, 1), ScriptStep::receive(Phase::Command, 6),
            ScriptStep::send(Phase::Status, {status}), ScriptStep::send(Phase::MessageIn, {0x00}),
            ScriptStep::release()};
}

struct StatusCase {
    std::uint8_t scsi_status;
    UCHAR srb_status;
    bool offer_goes_stale;
};

const StatusCase kStatusCases[] = {
    {0x00, SRB_STATUS_SUCCESS, false},  // GOOD
    {0x04, SRB_STATUS_SUCCESS, false},  // CONDITION MET
    {0x10, SRB_STATUS_SUCCESS, false},  // INTERMEDIATE
    {0x14, SRB_STATUS_SUCCESS, false},  // INTERMEDIATE-CONDITION MET
    {0x02, SRB_STATUS_ERROR, true},     // CHECK CONDITION
    {0x22, SRB_STATUS_ERROR, true},     // COMMAND TERMINATED
    {0x08, SRB_STATUS_BUSY, false},     // BUSY
    {0x18, SRB_STATUS_BUSY, false},     // RESERVATION CONFLICT
    {0x28, SRB_STATUS_BUSY, false},     // QUEUE FULL
};

class StatusTest : public EngineTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusTest, StatusByteMapsToRequestStatusAndDecidesTheNextOffer) {
    const StatusCase& c = GetParam();
    adjust_adapter = [](ADAPTER_EXTENSION& ad) { ad.AsyncTarget[kTarget] = 0; };
    add_scripted(kTarget, answer_with_status(c.scsi_status));
    boot();
    auto request = test_unit_ready(kTarget);
    request.sense_length = 0;  // no REQUEST SENSE in between
    mark();
    const auto first = run(request);
    EXPECT_EQ(first.srb_status, c.srb_status);
    EXPECT_EQ(first.scsi_status, c.scsi_status);
    EXPECT_EQ(adapter().SdtrValid[kTarget * 8], c.offer_goes_stale ? 0 : 1);

    run(request);
    const auto cut = selections();
    ASSERT_EQ(cut.size(), 2u);
    // An offer goes with the selection as six message bytes and select-and-stop.
    const AccessList& second = cut[1];
    EXPECT_EQ(second.written(0, kFifo).size() == 6, c.offer_goes_stale);
    EXPECT_EQ(second.written(0, kCommand).at(1), c.offer_goes_stale ? 0x43u : 0x42u);
    // five bank-0 writes precede the message-accepted command of the status sequence
    const auto& list = cut[0].list;
    int status_sequences = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const ChipAccess& a = list[i];
        if (!(a.write && a.offset == kCommand && a.value == 0x11)) continue;
        ++status_sequences;
        std::size_t writes = 0, k = i + 1;
        while (k < list.size() && !(list[k].write && list[k].offset == kCommand)) {
            writes += list[k].write && list[k].offset == kConfig4 && list[k].value == 0;
            ++k;
        }
        ASSERT_LT(k, list.size());
        EXPECT_EQ(list[k].value, 0x12u);
        EXPECT_EQ(writes, 5u);
    }
    EXPECT_EQ(status_sequences, 1);
}

INSTANTIATE_TEST_SUITE_P(StatusBytes, StatusTest, ::testing::ValuesIn(kStatusCases),
                         [](const auto& info) {
                             char name[16];
                             std::snprintf(name, sizeof name, "Status%02X", info.param.scsi_status);
                             return std::string(name);
                         });

}  // namespace
}  // namespace orvo::engine_test
