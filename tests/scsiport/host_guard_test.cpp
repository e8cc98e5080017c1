// Guard zones around every request's data and sense buffer: a miniport write outside them is
// reported as a buffer overrun, naming the request, the buffer and how far the write reached.
#include "fake_miniport.h"

#include <cstring>

namespace orvo::scsiport::testing {
namespace {

PUCHAR data_of(PSCSI_REQUEST_BLOCK srb) { return static_cast<PUCHAR>(srb->DataBuffer); }

struct StrayWrite {
    const char* name;
    std::function<void(PSCSI_REQUEST_BLOCK srb)> write;
    const char* message;
};

const StrayWrite kStrayWrites[] = {
    {"one byte past the data buffer", [](PSCSI_REQUEST_BLOCK srb) { data_of(srb)[srb->DataTransferLength] = 0; },
     "request #1 (function 00, target 1, lun 0, opcode 28): a write reached 1 byte(s) past the end of its "
     "512-byte data buffer"},
    {"one byte before the data buffer", [](PSCSI_REQUEST_BLOCK srb) { data_of(srb)[-1] = 0xFF; },
     "1 byte(s) before the start of its 512-byte data buffer"},
    {"a double word across the end",
     [](PSCSI_REQUEST_BLOCK srb) { std::memset(data_of(srb) + srb->DataTransferLength - 2, 0x11, 4); },
     "2 byte(s) past the end of its 512-byte data buffer"},
    {"a chunk far past the end",
     [](PSCSI_REQUEST_BLOCK srb) { data_of(srb)[srb->DataTransferLength + 127] = 0x42; },
     "128 byte(s) past the end"},
    {"one byte past the sense buffer",
     [](PSCSI_REQUEST_BLOCK srb) { static_cast<PUCHAR>(srb->SenseInfoBuffer)[srb->SenseInfoBufferLength] = 0x70; },
     "1 byte(s) past the end of its 18-byte sense buffer"},
};

RequestSpec read_of_one_block() {
    return {.target = 1, .cdb = {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}, .data_in_length = 512};
}

TEST_F(HostTest, WriteOutsideARequestBufferIsReportedWhenTheRequestCompletes) {
    for (const StrayWrite& w : kStrayWrites) {
        SCOPED_TRACE(w.name);
        host = std::make_unique<PortDriver>(machine, config);
        ContractGuard expecting(*host);
        expecting.expect(ViolationKind::BufferOverrun);
        fake.start_io = [&](PVOID extension, PSCSI_REQUEST_BLOCK srb) {
            w.write(srb);
            FakeMiniport::complete_at_once(extension, srb);
        };
        ASSERT_EQ(host->load_entry(&FakeMiniport::DriverEntry), ntstatus::kSuccess);

        const RequestResult r = host->execute(read_of_one_block());
        EXPECT_EQ(r.state, RequestState::Completed);
        ASSERT_EQ(expecting.seen().size(), 1u) << "reported once, at completion";
        EXPECT_NE(expecting.seen()[0].message.find(w.message), std::string::npos) << expecting.seen()[0].message;
        host->shutdown();
        EXPECT_EQ(expecting.seen().size(), 1u) << "not reported again at shutdown";
        expecting.verify();
        host.reset();
    }
}

TEST_F(HostTest, BuffersFilledExactlyAreNotReported) {
    fake.start_io = [](PVOID extension, PSCSI_REQUEST_BLOCK srb) {
        std::memset(srb->DataBuffer, 0xA5, srb->DataTransferLength);
        std::memset(srb->SenseInfoBuffer, 0xA5, srb->SenseInfoBufferLength);
        FakeMiniport::complete_at_once(extension, srb);
    };
    boot();
    const RequestResult r = host->execute(read_of_one_block());
    EXPECT_EQ(r.data, std::vector<std::uint8_t>(512, 0xA5));
    // The guard of the fixture fails the test on any violation.
}

TEST_F(HostTest, WriteThroughAPointerKeptAfterCompletionIsFoundAtShutdown) {
    PUCHAR kept = nullptr;
    ULONG kept_length = 0;
    fake.start_io = [&](PVOID extension, PSCSI_REQUEST_BLOCK srb) {
        if (kept != nullptr) kept[kept_length] = 0;  // the previous request's buffer, one past
        kept = data_of(srb);
        kept_length = srb->DataTransferLength;
        FakeMiniport::complete_at_once(extension, srb);
    };
    boot();
    guard.expect(ViolationKind::BufferOverrun);
    host->execute(read_of_one_block());
    host->execute(read_of_one_block());
    EXPECT_TRUE(guard.seen().empty()) << "the first request had completed cleanly";
    host->shutdown();
    ASSERT_EQ(guard.seen().size(), 1u);
    EXPECT_NE(guard.seen()[0].message.find("request #1 "), std::string::npos) << guard.seen()[0].message;
}

} // namespace
} // namespace orvo::scsiport::testing
