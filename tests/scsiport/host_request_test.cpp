// Requests: the SRB the miniport sees, the result read after the call, the NextRequest
// hand-shake, complete-all, the host's REQUEST SENSE, logical units and the error log.
#include "fake_miniport.h"

#include <algorithm>
#include <cstring>

namespace orvo::scsiport::testing {
namespace {

TEST_F(HostTest, TheMiniportSeesAFullSrbAndTheResultIsReadAfterTheCall) {
    SCSI_REQUEST_BLOCK seen{};
    std::vector<std::uint8_t> sent;
    fake.start_io = [&](PVOID extension, PSCSI_REQUEST_BLOCK srb) {
        seen = *srb;
        if (srb->SrbFlags & SRB_FLAGS_DATA_OUT) {
            const auto* bytes = static_cast<const std::uint8_t*>(srb->DataBuffer);
            sent.assign(bytes, bytes + srb->DataTransferLength);
        } else {
            std::memcpy(srb->DataBuffer, "\x01\x02\x03\x04", 4);
            srb->DataTransferLength = 4;
        }
        srb->SrbStatus = SRB_STATUS_ERROR;
        ScsiPortNotification(RequestComplete, extension, srb);
        // As an abort request does: the final status is set after the completion report.
        srb->SrbStatus = SRB_STATUS_DATA_OVERRUN;
        ScsiPortNotification(NextRequest, extension, 0);
    };
    boot();

    const RequestResult read = host->execute({.target = 2, .lun = 1, .cdb = {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0},
                                              .data_in_length = 512});
    EXPECT_EQ(seen.Length, sizeof(SCSI_REQUEST_BLOCK));
    EXPECT_EQ(seen.Function, SRB_FUNCTION_EXECUTE_SCSI);
    EXPECT_EQ(seen.TargetId, 2);
    EXPECT_EQ(seen.Lun, 1);
    EXPECT_EQ(seen.CdbLength, 10);
    EXPECT_EQ(seen.Cdb[0], 0x28);
    EXPECT_EQ(seen.SrbFlags, ULONG{SRB_FLAGS_DATA_IN});
    EXPECT_EQ(seen.DataTransferLength, 512u);
    EXPECT_EQ(seen.TimeOutValue, 10u);
    EXPECT_EQ(seen.QueueTag, SP_UNTAGGED);
    EXPECT_EQ(seen.SenseInfoBufferLength, 18);
    EXPECT_NE(seen.SenseInfoBuffer, nullptr);

    EXPECT_EQ(read.state, RequestState::Completed);
    EXPECT_EQ(read.srb_status, SRB_STATUS_DATA_OVERRUN);
    EXPECT_EQ(read.data_transfer_length, 4u);
    EXPECT_EQ(read.data, (std::vector<std::uint8_t>{1, 2, 3, 4}));

    const RequestResult write = host->execute({.target = 2, .cdb = {0x0A, 0, 0, 0, 1, 0}, .data_out = {9, 8, 7}});
    EXPECT_EQ(seen.SrbFlags, ULONG{SRB_FLAGS_DATA_OUT});
    EXPECT_EQ(sent, (std::vector<std::uint8_t>{9, 8, 7}));
    EXPECT_TRUE(write.data.empty());
}

TEST_F(HostTest, MalformedRequestsAreRefusedWithAReason) {
    boot();
    const RequestSpec bad[] = {
        {.target = 1, .cdb = std::vector<std::uint8_t>(17, 0)},
        {.target = 1},                                                      // no CDB
        {.target = 1, .cdb = {0x28}, .data_in_length = 1, .data_out = {1}}, // both directions
        {.target = 8, .cdb = {0}},
        {.path = 1, .target = 1, .cdb = {0}},
        {.target = 1, .cdb = {0}, .timeout_seconds = 0},
    };
    for (const RequestSpec& spec : bad) EXPECT_THROW(host->submit(spec), std::invalid_argument);
    EXPECT_THROW(host->result(99), std::out_of_range);
}

TEST_F(HostTest, ANewRequestStartsOnlyAfterNextRequest) {
    // The first request is completed at once, but the next one is asked for 100 us later.
    fake.start_io = [&](PVOID extension, PSCSI_REQUEST_BLOCK srb) {
        srb->SrbStatus = SRB_STATUS_SUCCESS;
        ScsiPortNotification(RequestComplete, extension, srb);
        ScsiPortNotification(RequestTimerCall, extension, &FakeMiniport::TimerA, ULONG{100});
    };
    fake.timer_a = [](PVOID extension) { ScsiPortNotification(NextRequest, extension, 0); };
    boot();
    const RequestId first = submit(1);
    const RequestId second = submit(2);
    host->run_until_idle();
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"FindAdapter", "Initialize", "StartIo 00", "TimerA",
                                                    "StartIo 00"}));
    EXPECT_TRUE(host->timer().armed);  // nothing open: its time has not come yet
    EXPECT_EQ(host->result(second).started_at - host->result(first).started_at, 100 * io::kMicrosecond);
    EXPECT_EQ(host->result(second).state, RequestState::Completed);
}

TEST_F(HostTest, CompleteRequestCompletesEveryMatchingOpenRequest) {
    struct Case {
        UCHAR target, lun;
        std::vector<bool> completed;  // T1L0, T1L1, T2L0
    };
    const Case cases[] = {
        {0xFF, 0xFF, {true, true, true}},
        {1, 0xFF, {true, true, false}},
        {0xFF, 0, {true, false, true}},
        {2, 1, {false, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "target " << int(c.target) << " lun " << int(c.lun));
        // Requests to target 1 and 2 stay open; a request to target 5 completes itself, then
        // the chosen ones (a complete-all passes over requests already completed).
        fake.start_io = [&](PVOID extension, PSCSI_REQUEST_BLOCK srb) {
            if (srb->TargetId == 5) {
                FakeMiniport::complete_at_once(extension, srb);
                ScsiPortCompleteRequest(extension, 0, c.target, c.lun, SRB_STATUS_ABORTED);
            } else {
                FakeMiniport::keep_open(extension, srb);
            }
        };
        boot();
        const RequestId open[] = {submit(1, 0), submit(1, 1), submit(2, 0)};
        submit(5);
        host->run_until(now());  // without moving time on to the time-outs of the open ones
        for (std::size_t i = 0; i < 3; ++i) {
            const RequestResult& r = host->result(open[i]);
            EXPECT_EQ(r.state == RequestState::Completed, c.completed[i]) << "request " << i;
            if (c.completed[i]) {
                EXPECT_EQ(r.srb_status, SRB_STATUS_ABORTED);
            }
        }
        host->reset_bus();  // completes the rest, so that none is left open
    }
}

// The miniport asks for no automatic request sense, so the host sends REQUEST SENSE itself.
class SenseTest : public HostTest {
protected:
    std::vector<std::vector<std::uint8_t>> cdbs;
    UCHAR sense_status = SRB_STATUS_DATA_OVERRUN;  // a 14-byte answer to an 18-byte request

    void SetUp() override {
        fake.start_io = [this](PVOID extension, PSCSI_REQUEST_BLOCK srb) {
            cdbs.emplace_back(srb->Cdb, srb->Cdb + srb->CdbLength);
            if (srb->Cdb[0] == SCSIOP_REQUEST_SENSE) {
                static const std::uint8_t sense[14] = {0x70, 0, 0x05, 0, 0, 0, 0, 6, 0, 0, 0, 0, 0x24, 0};
                std::memcpy(srb->DataBuffer, sense, std::min<ULONG>(14, srb->DataTransferLength));
                srb->DataTransferLength = std::min<ULONG>(14, srb->DataTransferLength);
                srb->SrbStatus = sense_status;
            } else if (srb->Cdb[0] == 0x25) {
                srb->SrbStatus = SRB_STATUS_ERROR;
                srb->ScsiStatus = SCSISTAT_CHECK_CONDITION;
            } else {
                srb->SrbStatus = SRB_STATUS_SUCCESS;
            }
            ScsiPortNotification(RequestComplete, extension, srb);
            ScsiPortNotification(NextRequest, extension, 0);
        };
    }
};

TEST_F(SenseTest, CheckConditionBringsTheSenseBytesBeforeTheNextRequest) {
    boot();
    const RequestId failing = host->submit({.target = 3, .cdb = {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                                            .data_in_length = 8});
    const RequestId next = submit(4);
    host->run_until_idle();

    ASSERT_EQ(cdbs.size(), 3u);
    EXPECT_EQ(cdbs[1], (std::vector<std::uint8_t>{0x03, 0, 0, 0, 18, 0}));
    EXPECT_EQ(cdbs[2][0], SCSIOP_TEST_UNIT_READY);  // the queued request waits for the sense
    const RequestResult& r = host->result(failing);
    EXPECT_EQ(r.state, RequestState::Completed);
    EXPECT_EQ(r.srb_status, SRB_STATUS_ERROR | SRB_STATUS_AUTOSENSE_VALID);
    EXPECT_EQ(r.scsi_status, SCSISTAT_CHECK_CONDITION);
    ASSERT_EQ(r.sense.size(), 14u);
    EXPECT_EQ(r.sense[2], 0x05);
    EXPECT_EQ(r.sense[12], 0x24);
    EXPECT_EQ(r.sense_request_status, SRB_STATUS_DATA_OVERRUN);
    EXPECT_EQ(host->result(next).srb_status, SRB_STATUS_SUCCESS);
}

TEST_F(SenseTest, NoSenseIsFetchedWhenTheRequestOptsOutOrTheSenseFails) {
    struct Case {
        const char* what;
        RequestSpec spec;
        UCHAR sense_status;
        std::size_t commands;
        UCHAR final_status;
    };
    const Case cases[] = {
        {"no sense buffer", {.target = 3, .cdb = {0x25}, .sense_length = 0}, SRB_STATUS_SUCCESS, 1, SRB_STATUS_ERROR},
        {"autosense disabled", {.target = 3, .cdb = {0x25}, .srb_flags = SRB_FLAGS_DISABLE_AUTOSENSE},
         SRB_STATUS_SUCCESS, 1, SRB_STATUS_ERROR},
        {"sense times out at selection", {.target = 3, .cdb = {0x25}}, SRB_STATUS_SELECTION_TIMEOUT, 2,
         SRB_STATUS_ERROR},
        {"custom sense length", {.target = 3, .cdb = {0x25}, .sense_length = 8}, SRB_STATUS_SUCCESS, 2,
         SRB_STATUS_ERROR | SRB_STATUS_AUTOSENSE_VALID},
    };
    boot();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        cdbs.clear();
        sense_status = c.sense_status;
        const RequestResult r = host->execute(c.spec);
        EXPECT_EQ(cdbs.size(), c.commands);
        EXPECT_EQ(r.srb_status, c.final_status);
        EXPECT_EQ(r.sense.empty(), (c.final_status & SRB_STATUS_AUTOSENSE_VALID) == 0);
        if (c.commands == 2) {
            EXPECT_EQ(cdbs[1][4], c.spec.sense_length);
        }
    }
}

TEST_F(HostTest, LogicalUnitsAreKnownOnceARequestReachedThem) {
    std::vector<PVOID> answers;
    fake.initialize = [&](PVOID extension) {
        answers.push_back(ScsiPortGetLogicalUnit(extension, 0, 1, 0));
        return BOOLEAN{TRUE};
    };
    fake.start_io = [&](PVOID extension, PSCSI_REQUEST_BLOCK srb) {
        answers.push_back(ScsiPortGetLogicalUnit(extension, 0, 1, 0));
        answers.push_back(ScsiPortGetLogicalUnit(extension, 0, 1, 1));  // never addressed
        answers.push_back(ScsiPortGetLogicalUnit(extension, 1, 1, 0));  // no such path
        answers.push_back(ScsiPortGetLogicalUnit(extension, 0, 8, 0));
        answers.push_back(ScsiPortGetLogicalUnit(extension, 0, 1, 8));
        FakeMiniport::complete_at_once(extension, srb);
    };
    boot();
    host->execute({.target = 1, .cdb = {0}});
    ASSERT_EQ(answers.size(), 6u);
    EXPECT_EQ(answers[0], nullptr);
    EXPECT_NE(answers[1], nullptr);
    EXPECT_EQ(answers[1], host->logical_unit(0, 1, 0));
    for (std::size_t i = 2; i < 6; ++i) EXPECT_EQ(answers[i], nullptr) << "answer " << i;
}

TEST_F(HostTest, StallsAdvanceVirtualTimeAndErrorsAreLogged) {
    io::Nanoseconds stalled = 0;
    fake.start_io = [&](PVOID extension, PSCSI_REQUEST_BLOCK srb) {
        const io::Nanoseconds before = now();
        ScsiPortStallExecution(1500000);
        stalled = now() - before;
        ScsiPortLogError(extension, srb, srb->PathId, srb->TargetId, srb->Lun, SP_REQUEST_TIMEOUT, 0xABCD);
        FakeMiniport::complete_at_once(extension, srb);
    };
    boot();
    const RequestId id = submit(6, 2);
    host->run_until_idle();
    EXPECT_EQ(stalled, 1500 * io::kMillisecond);
    ASSERT_EQ(host->logged_errors().size(), 1u);
    const LoggedError& e = host->logged_errors()[0];
    EXPECT_EQ(e.request, id);
    EXPECT_EQ(e.target, 6);
    EXPECT_EQ(e.lun, 2);
    EXPECT_EQ(e.error_code, ULONG{SP_REQUEST_TIMEOUT});
    EXPECT_EQ(e.unique_id, 0xABCDu);
}

} // namespace
} // namespace orvo::scsiport::testing
