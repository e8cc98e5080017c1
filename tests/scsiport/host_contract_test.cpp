// Each contract check fires on a miniport that breaks it, and only that check.
#include "fake_miniport.h"

namespace orvo::scsiport::testing {
namespace {

// How a case drives its two requests.
enum class Flow {
    RunToIdle,  // submit both, run until idle, shut down
    TakeEach,   // execute one after the other (results handed back at once), shut down
    NoWaiting,  // submit both, start what can start without moving time, shut down
};

struct Misbehaviour {
    const char* name;
    Flow flow;
    std::function<void(PortDriver& host, PVOID extension, PSCSI_REQUEST_BLOCK srb)> start_io;
    ViolationKind kind;
    const char* message;
};

PSCSI_REQUEST_BLOCK g_first_srb = nullptr;

void complete(PVOID extension, PSCSI_REQUEST_BLOCK srb) { FakeMiniport::complete_at_once(extension, srb); }

// Completes each request, and with the second one the first one's SRB once more.
void complete_the_first_again(PortDriver&, PVOID extension, PSCSI_REQUEST_BLOCK srb) {
    if (g_first_srb != nullptr) ScsiPortNotification(RequestComplete, extension, g_first_srb);
    g_first_srb = srb;
    complete(extension, srb);
}

const Misbehaviour kMisbehaviours[] = {
    {"completed twice in one call", Flow::RunToIdle,
     [](PortDriver&, PVOID extension, PSCSI_REQUEST_BLOCK srb) {
         ScsiPortNotification(RequestComplete, extension, srb);
         complete(extension, srb);
     },
     ViolationKind::CompletedTwice, "completed twice in one call"},
    {"completed again by a later call", Flow::RunToIdle,
     complete_the_first_again,
     ViolationKind::CompletedTwice, "completed again after its completion"},
    {"completed after its result was handed back", Flow::TakeEach,
     complete_the_first_again,
     ViolationKind::CompletedTwice, "completed and handed back"},
    {"never completed", Flow::NoWaiting,
     [](PortDriver&, PVOID extension, PSCSI_REQUEST_BLOCK srb) { FakeMiniport::keep_open(extension, srb); },
     ViolationKind::NeverCompleted, "was started and never completed"},
    {"no NextRequest", Flow::RunToIdle,
     [](PortDriver&, PVOID extension, PSCSI_REQUEST_BLOCK srb) {
         srb->SrbStatus = SRB_STATUS_SUCCESS;
         ScsiPortNotification(RequestComplete, extension, srb);
     },
     ViolationKind::NextRequestMissing, "no NextRequest since request #1"},
    {"an SRB the host never sent", Flow::RunToIdle,
     [](PortDriver&, PVOID extension, PSCSI_REQUEST_BLOCK srb) {
         SCSI_REQUEST_BLOCK stranger{};
         ScsiPortNotification(RequestComplete, extension, &stranger);
         complete(extension, srb);
     },
     ViolationKind::UnknownCompletion, "never sent"},
    {"no SRB at all", Flow::RunToIdle,
     [](PortDriver&, PVOID extension, PSCSI_REQUEST_BLOCK srb) {
         ScsiPortNotification(RequestComplete, extension, static_cast<PSCSI_REQUEST_BLOCK>(nullptr));
         complete(extension, srb);
     },
     ViolationKind::UnknownCompletion, "never sent"},
    {"running the host from inside HwStartIo", Flow::RunToIdle,
     [](PortDriver& host, PVOID extension, PSCSI_REQUEST_BLOCK srb) {
         host.run_until_idle();
         complete(extension, srb);
     },
     ViolationKind::Reentry, "run_until_idle called while HwStartIo runs"},
    {"a bus reset from inside HwStartIo", Flow::RunToIdle,
     [](PortDriver& host, PVOID extension, PSCSI_REQUEST_BLOCK srb) {
         host.reset_bus();
         complete(extension, srb);
     },
     ViolationKind::Reentry, "reset_bus called while HwStartIo runs"},
    {"NextLuRequest", Flow::RunToIdle,
     [](PortDriver&, PVOID extension, PSCSI_REQUEST_BLOCK srb) {
         ScsiPortNotification(NextLuRequest, extension, 0, 1, 0);
         complete(extension, srb);
     },
     ViolationKind::BadNotification, "notification type 2"},
    {"CallDisableInterrupts", Flow::RunToIdle,
     [](PortDriver&, PVOID extension, PSCSI_REQUEST_BLOCK srb) {
         ScsiPortNotification(CallDisableInterrupts, extension, static_cast<void*>(nullptr));
         complete(extension, srb);
     },
     ViolationKind::BadNotification, "notification type 4"},
    {"a timer call without a routine", Flow::RunToIdle,
     [](PortDriver&, PVOID extension, PSCSI_REQUEST_BLOCK srb) {
         ScsiPortNotification(RequestTimerCall, extension, static_cast<PHW_TIMER>(nullptr), ULONG{10});
         complete(extension, srb);
     },
     ViolationKind::BadNotification, "without a timer routine"},
    {"another device extension", Flow::RunToIdle,
     [](PortDriver&, PVOID extension, PSCSI_REQUEST_BLOCK srb) {
         char other[16];
         ScsiPortNotification(NextRequest, other, 0);
         complete(extension, srb);
     },
     ViolationKind::ForeignExtension, "NextRequest with device extension"},
    {"a buffered read into no buffer", Flow::RunToIdle,
     [](PortDriver&, PVOID extension, PSCSI_REQUEST_BLOCK srb) {
         ScsiPortReadPortBufferUchar(reinterpret_cast<PUCHAR>(0x3E1), nullptr, 4);
         complete(extension, srb);
     },
     ViolationKind::MisplacedCall, "with no buffer for 4 elements"},
    {"registering from HwStartIo", Flow::RunToIdle,
     [](PortDriver&, PVOID extension, PSCSI_REQUEST_BLOCK srb) {
         HW_INITIALIZATION_DATA data{};
         ScsiPortInitialize(nullptr, nullptr, &data, nullptr);
         complete(extension, srb);
     },
     ViolationKind::MisplacedCall, "ScsiPortInitialize called from HwStartIo"},
};

TEST_F(HostTest, EachContractCheckFiresOnItsOwnBreach) {
    for (const Misbehaviour& m : kMisbehaviours) {
        SCOPED_TRACE(m.name);
        g_first_srb = nullptr;
        fake.calls.clear();
        host = std::make_unique<PortDriver>(machine, config);
        ContractGuard expecting(*host);
        expecting.expect(m.kind);
        PortDriver& h = *host;
        fake.start_io = [&](PVOID extension, PSCSI_REQUEST_BLOCK srb) { m.start_io(h, extension, srb); };
        ASSERT_EQ(host->load_entry(&FakeMiniport::DriverEntry), ntstatus::kSuccess);

        switch (m.flow) {
        case Flow::RunToIdle:
            submit(1);
            submit(2);
            host->run_until_idle();
            break;
        case Flow::TakeEach:
            host->execute({.target = 1, .cdb = {0}});
            host->execute({.target = 2, .cdb = {0}});
            break;
        case Flow::NoWaiting:
            submit(1);
            submit(2);
            host->run_until(now());
            break;
        }
        host->shutdown();

        expecting.verify();
        for (const Violation& v : expecting.seen()) {
            EXPECT_NE(v.message.find(m.message), std::string::npos) << v.message;
        }
        // A refused re-entry never reaches the miniport.
        EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), "ResetBus 0"), 0);
        host.reset();
    }
}

} // namespace
} // namespace orvo::scsiport::testing
