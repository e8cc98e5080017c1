// Discovery of the builds whose card the operating system configured: the range each build
// claims from the one it is given, the configuration it reports, and "not found" without one.
#include "ScsiMiniPort/miniport.h"
#include "machine/io/backplane.h"
#include "scsiport/host/port_driver.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using orvo::scsiport::AdapterState;
using orvo::scsiport::HostConfig;
using orvo::scsiport::PortDriver;

std::string ModulePath(const char* build) { return std::string(ORVO_DRIVER_DIR) + "/" + build + ".so"; }

struct Claim {
    const char* build;
    ULONG passed_start;
    ULONG reported_start, reported_length;
    INTERFACE_TYPE interface_type;
    UCHAR max_targets; // 0: left as the port driver passed it
};

TEST(OperatingSystemConfiguredDiscovery, EachBuildClaimsItsChipPortsFromThePassedRange) {
    const Claim claims[] = {
        {"orvont", 0x300, 0x700, 0x10, Isa, 7},      {"orvo95a", 0x300, 0x310, 0x20, PCMCIABus, 0},
        {"orvo95", 0x300, 0x300, 0x10, PCMCIABus, 0}, {"orvont", 0x340, 0x740, 0x10, Isa, 7},
        {"orvo95a", 0x340, 0x350, 0x20, PCMCIABus, 0}, {"orvo95", 0x340, 0x340, 0x10, PCMCIABus, 0},
    };
    for (const Claim& c : claims) {
        SCOPED_TRACE(std::string(c.build) + " at " + std::to_string(c.passed_start));
        orvo::io::Backplane machine;
        HostConfig config;
        config.adapter.first_access_range = orvo::scsiport::BusRange{c.passed_start, 0x20, false};
        PortDriver host(machine, config);
        host.load_module(ModulePath(c.build));
        ASSERT_EQ(host.find_adapter_result(), std::optional<ULONG>(SP_RETURN_FOUND));
        const PORT_CONFIGURATION_INFORMATION* info = host.configuration();
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->AccessRanges[0].RangeStart.QuadPart, LONGLONG(c.reported_start));
        EXPECT_EQ(info->AccessRanges[0].RangeLength, c.reported_length);
        EXPECT_FALSE(info->AccessRanges[0].RangeInMemory);
        EXPECT_EQ(info->AdapterInterfaceType, c.interface_type);
        EXPECT_EQ(info->MaximumTransferLength, 0x7FFFFu);
        EXPECT_EQ(info->NumberOfPhysicalBreaks, SP_UNINITIALIZED_VALUE);
        EXPECT_EQ(info->InitiatorBusId[0], 7);
        EXPECT_TRUE(info->ScatterGather);
        EXPECT_TRUE(info->BufferAccessScsiPortControlled);
        EXPECT_TRUE(info->MultipleRequestPerLu);
        EXPECT_FALSE(info->AutoRequestSense);
        if (c.max_targets != 0) {
            EXPECT_EQ(info->MaximumNumberOfTargets, c.max_targets);
        }
        // No chip answers on this bare machine: initialisation identifies it and gives up.
        EXPECT_EQ(host.adapter_state(), AdapterState::InitializeFailed);
        EXPECT_TRUE(host.contract().violations().empty());
    }
}

TEST(OperatingSystemConfiguredDiscovery, AnEmptyRangeMeansNoAdapter) {
    for (const char* build : {"orvont", "orvo95a", "orvo95"}) {
        orvo::io::Backplane machine;
        PortDriver host(machine);
        host.load_module(ModulePath(build));
        EXPECT_EQ(host.find_adapter_result(), std::optional<ULONG>(SP_RETURN_NOT_FOUND)) << build;
        EXPECT_EQ(host.adapter_state(), AdapterState::NotFound) << build;
    }
}

TEST(DriverEntryRegistration, EveryBuildRegistersItsRoutinesAndRecordSizes) {
    for (const char* build : {"orvontx", "orvont", "orvo95a", "orvo95"}) {
        orvo::io::Backplane machine;
        PortDriver host(machine);
        host.load_module(ModulePath(build));
        ASSERT_TRUE(host.registration().has_value()) << build;
        const HW_INITIALIZATION_DATA& data = host.registration()->data;
        const bool win95 = std::string(build).starts_with("orvo95");
        EXPECT_EQ(data.AdapterInterfaceType, win95 ? PCMCIABus : Isa) << build;
        EXPECT_NE(data.HwFindAdapter, nullptr);
        EXPECT_NE(data.HwInitialize, nullptr);
        EXPECT_NE(data.HwStartIo, nullptr);
        EXPECT_NE(data.HwResetBus, nullptr);
        EXPECT_EQ(data.HwInterrupt, nullptr);
        EXPECT_EQ(data.NumberOfAccessRanges, 1u);
        EXPECT_TRUE(data.MapBuffers);
        EXPECT_TRUE(data.MultipleRequestPerLu);
        EXPECT_FALSE(data.AutoRequestSense);
        EXPECT_EQ(data.SrbExtensionSize, 0u);
        EXPECT_EQ(host.registration()->hw_context_word, std::optional<ULONG>(0));
        EXPECT_GT(data.DeviceExtensionSize, 0u);
        EXPECT_EQ(data.SpecificLuExtensionSize, sizeof(LU_EXTENSION));
    }
}

} // namespace
