// The completion rule on its own: the length a finished request reports and its status, for
// the residuals a connection can leave (nothing left, a shortfall, an overrun that wrapped
// below zero, nothing moved at all) and a request that never got a status byte. The length
// never grows past the buffer: an overrun reports the buffer full.
#include "ScsiMiniPort/engine/engine.h"

#include <gtest/gtest.h>

#include <cstring>

namespace orvo::engine_test {
namespace {

// Another number of bytes moved than asked: the Windows NT builds say so, the Windows 95
// builds keep the status.
constexpr UCHAR kLengthMismatch = ORVO_REPORTS_OVERRUN ? SRB_STATUS_DATA_OVERRUN : SRB_STATUS_SUCCESS;

struct CompletionCase {
    const char* name;
    ULONG asked, residual;
    UCHAR unit_status;
    ULONG moved;
    UCHAR final_status;
};

const CompletionCase kCases[] = {
    {"AllMoved", 512, 0, SRB_STATUS_SUCCESS, 512, SRB_STATUS_SUCCESS},
    {"NoData", 0, 0, SRB_STATUS_SUCCESS, 0, SRB_STATUS_SUCCESS},
    {"Short", 512, 312, SRB_STATUS_SUCCESS, 200, kLengthMismatch},
    {"OverrunKeepsTheBufferLength", 512, 0u - 256u, SRB_STATUS_SUCCESS, 512, kLengthMismatch},
    {"OverrunWithoutBuffer", 0, 0u - 36u, SRB_STATUS_SUCCESS, 0, kLengthMismatch},
    {"NothingMoved", 4096, 4096, SRB_STATUS_SUCCESS, 0, kLengthMismatch},
    {"ShortWithCheckCondition", 512, 312, SRB_STATUS_ERROR, 200, SRB_STATUS_ERROR},
    {"Busy", 512, 512, SRB_STATUS_BUSY, 0, SRB_STATUS_BUSY},
    {"NoStatusByte", 0, 0, SRB_STATUS_PENDING, 0, SRB_STATUS_PHASE_SEQUENCE_FAILURE},
};

class CompletionRuleTest : public ::testing::TestWithParam<CompletionCase> {};

TEST_P(CompletionRuleTest, ReportsTheBytesMovedAndTheFinalStatus) {
    const CompletionCase& c = GetParam();
    ADAPTER_EXTENSION ad;
    LU_EXTENSION lu;
    SCSI_REQUEST_BLOCK srb;
    std::memset(&ad, 0, sizeof ad);
    std::memset(&lu, 0, sizeof lu);
    std::memset(&srb, 0, sizeof srb);
    srb.DataTransferLength = c.asked;
    lu.Srb = &srb;
    lu.DataLength = c.residual;
    lu.SrbStatus = c.unit_status;
    lu.Completed = 1;
    SetCompletionStatus(&ad, &lu);
    EXPECT_EQ(srb.DataTransferLength, c.moved);
    EXPECT_EQ(srb.SrbStatus, c.final_status);
}

INSTANTIATE_TEST_SUITE_P(Residuals, CompletionRuleTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvo::engine_test
