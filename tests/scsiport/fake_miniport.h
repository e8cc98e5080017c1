#pragma once
// A miniport written in the test: its routines are plain functions, as the host requires, that
// forward to per-test behaviour. The defaults behave well: the adapter is found and
// initialised, every request succeeds at once and the next one is asked for, a bus reset
// completes everything with SRB_STATUS_BUS_RESET.

#include "contract_guard.h"
#include "scsiport/host/port_driver.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orvo::scsiport::testing {

struct FakeMiniport {
    // What DriverEntry registers.
    HW_INITIALIZATION_DATA registration{};
    ULONG context_word = 0;
    std::function<void(HW_INITIALIZATION_DATA&)> adjust_registration;

    std::function<ULONG(PVOID extension, PCHAR arguments, PPORT_CONFIGURATION_INFORMATION config)> find_adapter =
        [](PVOID, PCHAR, PPORT_CONFIGURATION_INFORMATION) { return ULONG{SP_RETURN_FOUND}; };
    std::function<BOOLEAN(PVOID extension)> initialize = [](PVOID) { return BOOLEAN{TRUE}; };
    std::function<void(PVOID extension, PSCSI_REQUEST_BLOCK srb)> start_io = complete_at_once;
    std::function<BOOLEAN(PVOID extension, ULONG path)> reset_bus = complete_everything;
    std::function<void(PVOID extension)> timer_a;
    std::function<void(PVOID extension)> timer_b;

    // Routine calls in order: "FindAdapter", "Initialize", "StartIo <opcode>", "ResetBus <path>",
    // "TimerA", "TimerB".
    std::vector<std::string> calls;

    FakeMiniport();
    ~FakeMiniport();

    static void complete_at_once(PVOID extension, PSCSI_REQUEST_BLOCK srb);
    // Keeps the request (as a disconnected target would) and asks for the next one.
    static void keep_open(PVOID extension, PSCSI_REQUEST_BLOCK srb);
    static BOOLEAN complete_everything(PVOID extension, ULONG path);

    // The plain routines the host is given.
    static ULONG NTAPI DriverEntry(PVOID argument1, PVOID argument2);
    static ULONG NTAPI FindAdapter(PVOID extension, PVOID context, PVOID bus, PCHAR arguments,
                                   PPORT_CONFIGURATION_INFORMATION config, PBOOLEAN again);
    static BOOLEAN NTAPI Initialize(PVOID extension);
    static BOOLEAN NTAPI StartIo(PVOID extension, PSCSI_REQUEST_BLOCK srb);
    static BOOLEAN NTAPI ResetBus(PVOID extension, ULONG path);
    static VOID NTAPI TimerA(PVOID extension);
    static VOID NTAPI TimerB(PVOID extension);

    static FakeMiniport* active;
};

// A host on a fresh machine, a fake miniport, and a contract guard that fails the test on any
// violation it was not told to expect.
class HostTest : public ::testing::Test {
protected:
    io::Backplane machine;
    HostConfig config;
    FakeMiniport fake;
    ContractGuard guard;
    std::unique_ptr<PortDriver> host;
    ULONG entry_status = 0;

    // Builds the host from config and loads the fake.
    void boot();
    void TearDown() override;

    RequestId submit(UCHAR target, UCHAR lun = 0, UCHAR opcode = SCSIOP_TEST_UNIT_READY);
    io::Nanoseconds now() const { return machine.clock.now(); }
};

} // namespace orvo::scsiport::testing
