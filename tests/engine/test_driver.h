#pragma once
// The miniport the engine tests register with the host: this build's RoutineInitialize,
// RoutineResetBus and engine, with a discovery that stores the adapter defaults for a chip at
// a given port, and a request dispatch that hands requests to the engine's entries the way
// the driver's own dispatch does (selection and phases, completion, NextRequest).

#include "ScsiMiniPort/miniport.h"

#include <functional>

namespace orvo::engine_test {

struct TestDriverSetup {
    // Applied after the defaults are stored.
    std::function<void(ADAPTER_EXTENSION&)> adjust;
    // Run inside the driver for an SRB_FUNCTION_IO_CONTROL request, which then completes
    // with SRB_STATUS_SUCCESS: lets a test call engine operations within a port-driver call.
    std::function<void(ADAPTER_EXTENSION&)> probe;
};

// The set-up the driver uses from now on (the test's own; it must outlive the host).
void use_test_driver_setup(const TestDriverSetup* setup);

ULONG NTAPI EngineTestDriverEntry(PVOID driverObject, PVOID registryPath);

} // namespace orvo::engine_test
