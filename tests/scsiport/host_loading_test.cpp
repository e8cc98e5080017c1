// Loading a build: registration, extensions, the configuration record handed to discovery,
// device mappings, and a module loaded by path.
#include "fake_miniport.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace orvo::scsiport::testing {
namespace {

bool all_zero(const void* block, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(block);
    return std::all_of(bytes, bytes + size, [](std::uint8_t b) { return b == 0; });
}

TEST_F(HostTest, ExtensionsAreZeroFilledAtTheRegisteredSizes) {
    fake.registration.DeviceExtensionSize = 300;
    fake.registration.SpecificLuExtensionSize = 40;
    fake.context_word = 0x5A5A;
    PVOID seen_extension = nullptr;
    fake.find_adapter = [&](PVOID extension, PCHAR, PPORT_CONFIGURATION_INFORMATION) {
        seen_extension = extension;
        EXPECT_TRUE(all_zero(extension, 300));
        std::memset(extension, 0xAA, 300);  // the whole record is the miniport's
        return ULONG{SP_RETURN_FOUND};
    };
    std::vector<PVOID> units;
    fake.start_io = [&](PVOID extension, PSCSI_REQUEST_BLOCK srb) {
        PVOID unit = ScsiPortGetLogicalUnit(extension, srb->PathId, srb->TargetId, srb->Lun);
        ASSERT_NE(unit, nullptr);
        if (std::find(units.begin(), units.end(), unit) == units.end()) {
            EXPECT_TRUE(all_zero(unit, 40));
            std::memset(unit, srb->Lun + 1, 40);
        } else {
            EXPECT_EQ(static_cast<std::uint8_t*>(unit)[39], srb->Lun + 1);  // kept between requests
        }
        units.push_back(unit);
        FakeMiniport::complete_at_once(extension, srb);
    };
    boot();
    ASSERT_EQ(entry_status, ntstatus::kSuccess);
    EXPECT_EQ(host->device_extension(), seen_extension);

    submit(1, 0);
    submit(1, 1);
    submit(1, 0);
    host->run_until_idle();
    ASSERT_EQ(units.size(), 3u);
    EXPECT_NE(units[0], units[1]);
    EXPECT_EQ(units[0], units[2]);  // the same unit keeps its extension

    const Registration& registration = *host->registration();
    EXPECT_EQ(registration.argument1, host->driver_object());
    EXPECT_EQ(registration.argument2, host->registry_path());
    EXPECT_EQ(registration.hw_context_word, 0x5A5Au);
    EXPECT_EQ(registration.data.DeviceExtensionSize, 300u);
}

TEST_F(HostTest, RegistrationIsCheckedBeforeAnyRoutineRuns) {
    struct Case {
        const char* what;
        std::function<void(HW_INITIALIZATION_DATA&)> adjust;
        ULONG status;
    };
    const Case cases[] = {
        {"record of another size", [](auto& r) { r.HwInitializationDataSize -= 4; }, ntstatus::kRevisionMismatch},
        {"no HwFindAdapter", [](auto& r) { r.HwFindAdapter = nullptr; }, ntstatus::kInvalidParameter},
        {"no HwStartIo", [](auto& r) { r.HwStartIo = nullptr; }, ntstatus::kInvalidParameter},
        {"17 access ranges", [](auto& r) { r.NumberOfAccessRanges = 17; }, ntstatus::kInvalidParameter},
        {"huge device extension", [](auto& r) { r.DeviceExtensionSize = 0xFFFFFFFF; }, ntstatus::kInvalidParameter},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake.calls.clear();
        fake.adjust_registration = c.adjust;
        boot();
        EXPECT_EQ(entry_status, c.status);
        EXPECT_EQ(host->adapter_state(), AdapterState::RegistrationRejected);
        EXPECT_TRUE(fake.calls.empty());
    }
}

TEST_F(HostTest, DiscoveryGetsTheMachinesRangeAndArgumentString) {
    config.adapter.first_access_range = BusRange{0x300, 0x20, false};
    config.adapter.argument_string = "IOBASE=280 /NS3";
    config.adapter.bus_interrupt_level = 5;
    config.adapter.system_io_bus_number = 0;
    fake.registration.AdapterInterfaceType = PCMCIABus;
    std::string arguments;
    PORT_CONFIGURATION_INFORMATION given{};
    ACCESS_RANGE first_range{};
    fake.find_adapter = [&](PVOID, PCHAR argument_string, PPORT_CONFIGURATION_INFORMATION c) {
        arguments = argument_string ? argument_string : "(none)";
        given = *c;
        first_range = c->AccessRanges[0];
        // What a build reports: its own range and limits.
        c->AccessRanges[0].RangeStart = ScsiPortConvertUlongToPhysicalAddress(0x310);
        c->MaximumTransferLength = 0x7FFFF;
        c->InitiatorBusId[0] = 7;
        return ULONG{SP_RETURN_FOUND};
    };
    boot();

    EXPECT_EQ(arguments, "IOBASE=280 /NS3");
    EXPECT_EQ(given.Length, sizeof(PORT_CONFIGURATION_INFORMATION));
    EXPECT_EQ(given.AdapterInterfaceType, PCMCIABus);
    EXPECT_EQ(given.NumberOfAccessRanges, 1u);
    EXPECT_EQ(first_range.RangeStart.QuadPart, 0x300);
    EXPECT_EQ(first_range.RangeLength, 0x20u);
    EXPECT_FALSE(first_range.RangeInMemory);
    EXPECT_EQ(given.BusInterruptLevel, 5u);
    EXPECT_EQ(given.MaximumTransferLength, SP_UNINITIALIZED_VALUE);
    EXPECT_EQ(given.NumberOfPhysicalBreaks, SP_UNINITIALIZED_VALUE);
    EXPECT_EQ(given.InitiatorBusId[0], 0xFF);
    EXPECT_EQ(given.MaximumNumberOfTargets, 8);

    EXPECT_EQ(fake.calls, (std::vector<std::string>{"FindAdapter", "Initialize"}));
    EXPECT_EQ(host->adapter_state(), AdapterState::Ready);
    EXPECT_EQ(host->configuration()->MaximumTransferLength, 0x7FFFFu);
    EXPECT_EQ(host->access_ranges()[0].RangeStart.QuadPart, 0x310);
    // The reported range is claimed, as it was left, not as it was given.
    EXPECT_TRUE(host->port_claimed(0x310));
    EXPECT_TRUE(host->port_claimed(0x32F));
    EXPECT_FALSE(host->port_claimed(0x300));
}

TEST_F(HostTest, WithoutAStringOrRangeDiscoveryGetsNoneAndZero) {
    bool got_no_string = false;
    LONGLONG range_start = -1;
    fake.find_adapter = [&](PVOID, PCHAR argument_string, PPORT_CONFIGURATION_INFORMATION c) {
        got_no_string = argument_string == nullptr;
        range_start = c->AccessRanges[0].RangeStart.QuadPart;
        return ULONG{SP_RETURN_FOUND};
    };
    boot();
    EXPECT_TRUE(got_no_string);
    EXPECT_EQ(range_start, 0);
}

TEST_F(HostTest, AnAdapterNotFoundOrNotInitialisedServesNoRequest) {
    struct Case {
        ULONG found;
        BOOLEAN initialized;
        AdapterState state;
        ULONG status;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {SP_RETURN_NOT_FOUND, TRUE, AdapterState::NotFound, ntstatus::kDeviceDoesNotExist, {"FindAdapter"}},
        {SP_RETURN_FOUND, FALSE, AdapterState::InitializeFailed, ntstatus::kNoSuchDevice, {"FindAdapter", "Initialize"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(to_string(c.state));
        fake.calls.clear();
        fake.find_adapter = [&](PVOID, PCHAR, PPORT_CONFIGURATION_INFORMATION) { return c.found; };
        fake.initialize = [&](PVOID) { return c.initialized; };
        boot();
        EXPECT_EQ(entry_status, c.status);
        EXPECT_EQ(host->adapter_state(), c.state);
        const RequestResult refused = host->execute({.target = 1, .cdb = {0, 0, 0, 0, 0, 0}});
        EXPECT_EQ(refused.state, RequestState::Completed);
        EXPECT_EQ(refused.srb_status, SRB_STATUS_NO_HBA);
        EXPECT_EQ(fake.calls, c.calls);
    }
}

TEST_F(HostTest, DeviceBaseMapsPortsByNumberAndMemoryIntoTheMachine) {
    guard.expect(ViolationKind::BadMapping);
    PVOID chip = nullptr, window = nullptr, beyond_memory = nullptr, beyond_ports = nullptr;
    fake.find_adapter = [&](PVOID extension, PCHAR, PPORT_CONFIGURATION_INFORMATION c) {
        const INTERFACE_TYPE bus = c->AdapterInterfaceType;
        chip = ScsiPortGetDeviceBase(extension, bus, 0, ScsiPortConvertUlongToPhysicalAddress(0x290), 0x10, TRUE);
        window = ScsiPortGetDeviceBase(extension, bus, 0, ScsiPortConvertUlongToPhysicalAddress(0xD4000), 0x1000, FALSE);
        beyond_memory = ScsiPortGetDeviceBase(extension, bus, 0, ScsiPortConvertUlongToPhysicalAddress(0xFFF000), 0x2000, FALSE);
        beyond_ports = ScsiPortGetDeviceBase(extension, bus, 0, ScsiPortConvertUlongToPhysicalAddress(0xFFF8), 0x10, TRUE);
        static_cast<PUCHAR>(window)[5] = 0x42;  // plain byte access to the window
        return ULONG{SP_RETURN_FOUND};
    };
    boot();
    EXPECT_EQ(chip, reinterpret_cast<PVOID>(std::uintptr_t{0x290}));
    EXPECT_EQ(ScsiPortConvertPhysicalAddressToUlong(
                  ScsiPortConvertUlongToPhysicalAddress(reinterpret_cast<std::uintptr_t>(chip))),
              0x290u);
    EXPECT_EQ(window, machine.memory.data() + 0xD4000);
    EXPECT_EQ(machine.memory.data()[0xD4005], 0x42);
    EXPECT_EQ(beyond_memory, nullptr);
    EXPECT_EQ(beyond_ports, nullptr);
    EXPECT_TRUE(host->port_claimed(0x29F));
    EXPECT_FALSE(host->port_claimed(0x2A0));
    EXPECT_FALSE(host->port_claimed(0xFFF8));
    ASSERT_EQ(host->mappings().size(), 4u);
    EXPECT_FALSE(host->mappings()[1].in_io_space);
    EXPECT_EQ(guard.seen().size(), 2u);
}

// A module built from tests/scsiport/fake_module.cpp, importing only ScsiPort* operations.
TEST_F(HostTest, LoadsABuildFromItsSharedModule) {
    struct Latch : io::PortDevice {
        std::uint32_t written = 0;
        std::uint32_t port_read(std::uint16_t, unsigned) override { return 0; }
        void port_write(std::uint16_t, std::uint32_t value, unsigned) override { written = value; }
    } latch;
    machine.ports.map(0x300, 0x10, &latch);
    config.adapter.first_access_range = BusRange{0x300, 0x10, false};
    host = std::make_unique<PortDriver>(machine, config);
    guard.attach(*host);

    EXPECT_EQ(host->load_module(ORVO_FAKE_MODULE), ntstatus::kSuccess);
    EXPECT_EQ(host->adapter_state(), AdapterState::Ready);
    const RequestResult done = host->execute({.target = 3, .cdb = {0, 0, 0, 0, 0, 0}});
    EXPECT_EQ(done.srb_status, SRB_STATUS_SUCCESS);
    EXPECT_EQ(latch.written, 3u);  // the module wrote the target to its chip port

    EXPECT_THROW(host->load_module(ORVO_FAKE_MODULE), std::logic_error);
    PortDriver other(machine, config);
    try {
        other.load_module("/nonexistent/orvo-none.so");
        ADD_FAILURE() << "loading a missing module succeeded";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/orvo-none.so"), std::string::npos);
    }
}

} // namespace
} // namespace orvo::scsiport::testing
