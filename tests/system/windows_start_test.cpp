// The registry as the meeting point: the utility's own classes write, Windows starts on the
// simulated PC, and the driver (loaded by the port driver) behaves accordingly.
#include "ScsiMiniPort/miniport.h"
#include "machine/pc.h"
#include "orvoset/assigned_resources.h"
#include "orvoset/card_resources.h"
#include "orvoset/driver_options.h"
#include "scsiport/host/port_driver.h"
#include "system/machine_setup.h"
#include "system/windows_start.h"
#include "winapi/environment.h"
#include "winapi/restart_record.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace orvo::system {
namespace {

namespace fs = std::filesystem;

struct WindowsStartTest : ::testing::Test {
    fs::path dir = fs::temp_directory_path() /
                   ("orvo-start-" + std::to_string(getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
    machine::MachineDescription description;

    void SetUp() override {
        fs::create_directories(dir);
        set_up_utility_files(dir, default_adapter_info());
        description = machine::default_description(dir);
        description.devices.resize(1);
        description.devices[0].size_bytes = 4u << 20;
        winapi::install_environment(utility_machine_settings(dir));
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string registry_text() {
        std::ifstream in(dir / "registry.reg");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // One start of Windows with the build; the driver loaded when it is one the OS configures.
    struct Boot {
        StartReport report;
        std::unique_ptr<machine::SimulatedPc> pc;
        std::unique_ptr<scsiport::PortDriver> host;
    };
    Boot boot(const std::string& build, std::optional<std::string> param = std::nullopt) {
        Boot b;
        b.pc = std::make_unique<machine::SimulatedPc>(description);
        registry::Store store(description.registry_file());
        b.report = start_windows(*b.pc, store, {build, param});
        scsiport::HostConfig config;
        config.adapter = b.report.adapter;
        b.host = std::make_unique<scsiport::PortDriver>(b.pc->backplane(), config);
        b.host->load_module(std::string(ORVO_DRIVER_DIR) + "/" + build + ".so");
        return b;
    }
};

TEST_F(WindowsStartTest, AutomaticResourcesAreChosenRecordedAndReadBackByTheUtility) {
    Boot b = boot("orvont");
    EXPECT_EQ(b.report.card, CardSetUp::ConfiguredBySystem);
    ASSERT_TRUE(b.report.assigned);
    EXPECT_EQ(b.report.assigned->windows, (std::vector<IoWindow>{{0x340, 32}}));
    EXPECT_EQ(b.report.assigned->irq, 5);
    EXPECT_TRUE(b.host->ready());

    CAssignedResources assigned;
    ASSERT_TRUE(assigned.LoadFromRegistry("orvont"));
    ASSERT_EQ(assigned.PortRanges.size(), 1u);
    EXPECT_EQ(assigned.PortRanges[0].Start, 0x340);
    EXPECT_EQ(assigned.PortRanges[0].Length, 32);
    ASSERT_EQ(assigned.Interrupts.size(), 1u);
    EXPECT_EQ(assigned.Interrupts[0], 5);
}

TEST_F(WindowsStartTest, WhatTheUtilityStoresIsWhatTheDriverGets) {
    CCardResources card("orvont");
    card.IoBaseAddress = 0x300;
    card.IoLength = 32;
    card.IoBaseAddress_1 = 0x700;
    card.IoLength_1 = 32;
    card.InterruptNumber = 10;
    ASSERT_TRUE(card.SaveToRegistry());
    CDriverOptions options("orvont");
    ASSERT_TRUE(options.LoadFromRegistry());
    options.Asynchronous[0] = 0xFF;
    options.BusMaster = 1;
    options.UniqueParameter = "/32";
    ASSERT_TRUE(options.SaveToRegistry());

    Boot b = boot("orvont");
    ASSERT_TRUE(b.report.assigned);
    EXPECT_EQ(b.report.assigned->windows, (std::vector<IoWindow>{{0x300, 32}, {0x700, 32}}));
    EXPECT_EQ(b.report.assigned->irq, 10);
    EXPECT_EQ(b.report.option_source, "registry");
    EXPECT_EQ(b.report.option_string, std::optional<std::string>("/AS0 /BM /32"));
    ASSERT_TRUE(b.host->ready());
    const auto& ad = *static_cast<const ADAPTER_EXTENSION*>(b.host->device_extension());
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(ad.ChipBase), 0x700u);
    EXPECT_EQ(ad.AsyncTarget[0], 1);
    EXPECT_EQ(ad.AsyncTarget[1], 0);
    EXPECT_EQ(ad.TransferWidth, ULONG(TRANSFER_WIDTH_32BIT));  // "/BM /32": the later wins

    // A command-line string replaces the stored one for one run only.
    Boot once = boot("orvont", "/NS");
    EXPECT_EQ(once.report.option_source, "command line");
    EXPECT_NE(registry_text().find("/AS0 /BM /32"), std::string::npos);
}

TEST_F(WindowsStartTest, ConflictsLeaveTheCardUnconfiguredAndTheRegistryAsItWas) {
    boot("orvont");  // records the automatic assignment
    CCardResources card("orvont");
    card.IoBaseAddress = 0x220;
    card.IoLength = 32;
    card.InterruptNumber = 5;
    ASSERT_TRUE(card.SaveToRegistry());
    description.isa_devices.push_back({"sound card", 0x220, 16, 7});
    const std::string before = registry_text();

    Boot b = boot("orvont");
    EXPECT_EQ(b.report.card, CardSetUp::NotConfigured);
    EXPECT_NE(b.report.detail.find("0x220 is taken by sound card"), std::string::npos) << b.report.detail;
    EXPECT_FALSE(b.host->ready());  // no range: the driver finds nothing
    CAssignedResources assigned;
    EXPECT_FALSE(assigned.LoadFromRegistry("orvont"));  // the volatile record is gone
    // Everything else is as it was.
    std::string after = registry_text();
    EXPECT_EQ(after.find("\"orvont\"=hex(9)"), std::string::npos);
    EXPECT_NE(before.find("\"orvont\"=hex(9)"), std::string::npos);
    const auto strip = [](std::string text) {
        const auto at = text.find("\"orvont\"=hex(9)");
        if (at != std::string::npos) text.erase(at, text.find("\n\n", at) - at + 1);
        return text;
    };
    EXPECT_EQ(strip(before), strip(after));

    card.IoBaseAddress = 0x300;
    card.InterruptNumber = 7;  // the sound card's IRQ
    ASSERT_TRUE(card.SaveToRegistry());
    Boot irq = boot("orvont");
    EXPECT_EQ(irq.report.card, CardSetUp::NotConfigured);
    EXPECT_NE(irq.report.detail.find("IRQ 7 is taken by sound card"), std::string::npos);
}

TEST_F(WindowsStartTest, OtherBuildsTakeTheirResourcesElsewhere) {
    CCardResources card("orvont");
    card.IoBaseAddress = 0x300;
    card.IoLength = 32;
    card.InterruptNumber = 10;
    ASSERT_TRUE(card.SaveToRegistry());

    Boot ntx = boot("orvontx");
    EXPECT_EQ(ntx.report.card, CardSetUp::LeftToDriver);
    EXPECT_FALSE(ntx.report.assigned);
    EXPECT_FALSE(ntx.report.adapter.first_access_range);

    description.os = machine::OperatingSystem::Win95;
    for (const char* build : {"orvo95a", "orvo95"}) {
        Boot b = boot(build);
        ASSERT_TRUE(b.report.assigned) << build;
        EXPECT_EQ(b.report.assigned->windows.front().base, description.card.io_base) << build;  // not 0x300
        EXPECT_TRUE(b.host->ready()) << build;
    }
}

TEST_F(WindowsStartTest, HandEditedKeysSurviveEveryStart) {
    {
        std::ofstream out(dir / "registry.reg", std::ios::app);
        out << "\n[HKEY_LOCAL_MACHINE\\Software\\Other Vendor\\Tool]\n\"Setting\"=dword:0000002a\n"
               "\"Path\"=\"C:\\\\TOOLS\"\n";
    }
    boot("orvont");
    boot("orvontx");
    const std::string text = registry_text();
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Other Vendor\\Tool]"), std::string::npos);
    EXPECT_NE(text.find("\"Setting\"=dword:0000002a"), std::string::npos);
    EXPECT_NE(text.find("\"Path\"=\"C:\\\\TOOLS\""), std::string::npos);
}

TEST_F(WindowsStartTest, RestartsRequestedSinceTheLastStartAreCounted) {
    winapi::append_restart_request(dir / winapi::kRestartRecordFileName, {winapi::RestartKind::Reboot, false});
    EXPECT_EQ(boot("orvont").report.restarts_requested, 1u);
    EXPECT_EQ(boot("orvont").report.restarts_requested, 0u);
}

} // namespace
} // namespace orvo::system
