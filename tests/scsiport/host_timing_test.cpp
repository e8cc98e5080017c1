// Virtual time: the miniport's timer runs between calls when due; a request whose time-out
// passes ends in a bus reset and the completion of everything open.
#include "fake_miniport.h"

namespace orvo::scsiport::testing {
namespace {

std::vector<std::string> tail(const std::vector<std::string>& calls, std::size_t count) {
    return {calls.end() - static_cast<std::ptrdiff_t>(std::min(count, calls.size())), calls.end()};
}

TEST_F(HostTest, ATimerRunsBetweenCallsOnceItsTimeHasCome) {
    fake.initialize = [](PVOID extension) {
        ScsiPortNotification(RequestTimerCall, extension, &FakeMiniport::TimerA, ULONG{500});
        return BOOLEAN{TRUE};
    };
    bool timer_ran_inside = false;
    fake.start_io = [&](PVOID extension, PSCSI_REQUEST_BLOCK srb) {
        ScsiPortStallExecution(1000);  // the timer falls due in here...
        timer_ran_inside = fake.calls.back() == "TimerA";
        FakeMiniport::complete_at_once(extension, srb);
    };
    boot();

    // Not due and nothing open: the host does not move time on for it.
    host->run_until_idle();
    EXPECT_EQ(now(), 0u);
    EXPECT_TRUE(host->timer().armed);

    submit(1);
    host->run_until_idle();
    EXPECT_FALSE(timer_ran_inside);  // ...but runs only after the call
    EXPECT_EQ(tail(fake.calls, 2), (std::vector<std::string>{"StartIo 00", "TimerA"}));
    EXPECT_FALSE(host->timer().armed);
}

TEST_F(HostTest, ANewTimerCallReplacesTheArmedOneAndZeroCancels) {
    PSCSI_REQUEST_BLOCK open = nullptr;
    fake.start_io = [&](PVOID extension, PSCSI_REQUEST_BLOCK srb) {
        open = srb;
        ScsiPortNotification(RequestTimerCall, extension, &FakeMiniport::TimerA, ULONG{100});
        ScsiPortNotification(RequestTimerCall, extension, &FakeMiniport::TimerB, ULONG{200});
        FakeMiniport::keep_open(extension, srb);
    };
    fake.timer_b = [&](PVOID extension) {
        open->SrbStatus = SRB_STATUS_SUCCESS;
        ScsiPortNotification(RequestComplete, extension, open);
    };
    boot();
    const RequestId id = submit(1);
    host->run_until_idle();
    EXPECT_EQ(tail(fake.calls, 2), (std::vector<std::string>{"StartIo 00", "TimerB"}));
    const RequestResult& done = host->result(id);
    EXPECT_EQ(done.completed_at - done.started_at, 200 * io::kMicrosecond);

    fake.start_io = [](PVOID extension, PSCSI_REQUEST_BLOCK srb) {
        ScsiPortNotification(RequestTimerCall, extension, &FakeMiniport::TimerA, ULONG{100});
        ScsiPortNotification(RequestTimerCall, extension, &FakeMiniport::TimerA, ULONG{0});
        FakeMiniport::keep_open(extension, srb);
    };
    const RequestId cancelled = submit(2);
    host->run_until_idle();  // runs on to the request's time-out; the timer never fires
    EXPECT_EQ(tail(fake.calls, 2), (std::vector<std::string>{"StartIo 00", "ResetBus 0"}));
    EXPECT_TRUE(host->result(cancelled).timed_out);
}

TEST_F(HostTest, ATimeOutResetsTheBusAndCompletesEverythingOpen) {
    struct Case {
        const char* what;
        std::function<BOOLEAN(PVOID, ULONG)> reset;
    };
    const Case cases[] = {
        {"the reset completes all", FakeMiniport::complete_everything},
        {"the reset completes nothing", [](PVOID, ULONG) { return BOOLEAN{TRUE}; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake.calls.clear();
        fake.start_io = FakeMiniport::keep_open;
        fake.reset_bus = c.reset;
        boot();
        std::vector<std::string> events;
        host->set_event_sink([&](std::string_view line) { events.emplace_back(line); });
        const io::Nanoseconds start = now();
        const RequestId late = host->submit({.target = 1, .cdb = {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0},
                                             .data_in_length = 512, .timeout_seconds = 3});
        const RequestId caught = host->submit({.target = 2, .cdb = {0}, .timeout_seconds = 10});
        host->run_until_idle();

        EXPECT_EQ(now() - start, 3 * io::kSecond);
        EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), "ResetBus 0"), 1);
        const RequestResult& timed_out = host->result(late);
        EXPECT_EQ(timed_out.state, RequestState::Completed);
        EXPECT_EQ(timed_out.srb_status, SRB_STATUS_TIMEOUT);
        EXPECT_TRUE(timed_out.timed_out);
        const RequestResult& reset = host->result(caught);
        EXPECT_EQ(reset.state, RequestState::Completed);
        EXPECT_EQ(reset.srb_status, SRB_STATUS_BUS_RESET);
        EXPECT_FALSE(reset.timed_out);
        ASSERT_EQ(host->timeouts().size(), 1u);
        EXPECT_EQ(host->timeouts()[0].request, late);
        EXPECT_EQ(host->timeouts()[0].opcode, 0x28);
        EXPECT_EQ(host->timeouts()[0].timed_out_at - host->timeouts()[0].started_at, 3 * io::kSecond);
        EXPECT_TRUE(std::any_of(events.begin(), events.end(),
                                [](const std::string& e) { return e.find("time-out of request #1") != std::string::npos; }));
        host->set_event_sink({});
    }
}

TEST_F(HostTest, WithoutAResetRoutineTheHostCompletesWhatIsOpen) {
    fake.registration.HwResetBus = nullptr;
    fake.start_io = FakeMiniport::keep_open;
    boot();
    const RequestId first = submit(4);
    const RequestId second = submit(5);
    host->run_until(now());  // both start and stay open; time stands still
    EXPECT_EQ(host->result(second).state, RequestState::Started);
    host->reset_bus();
    EXPECT_EQ(host->result(first).srb_status, SRB_STATUS_BUS_RESET);
    EXPECT_EQ(host->result(second).srb_status, SRB_STATUS_BUS_RESET);

    const RequestId late = submit(4);
    host->run_until_idle();
    EXPECT_EQ(host->result(late).srb_status, SRB_STATUS_TIMEOUT);
    EXPECT_EQ(now(), 10 * io::kSecond);  // the default time-out
    EXPECT_EQ(std::count(fake.calls.begin(), fake.calls.end(), "ResetBus 0"), 0);
}

} // namespace
} // namespace orvo::scsiport::testing
