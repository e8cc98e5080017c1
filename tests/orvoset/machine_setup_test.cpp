// A machine set up for the utility: its registry holds the installed driver service and its
// ADAPTER.INI the card's choices, and the utility's core reads both through the Win32 calls.

#include "system/machine_setup.h"

#include "orvoset/adapter_info_file.h"
#include "orvoset/driver_options.h"
#include "orvoset/list_fields.h"
#include "tests/winapi/machine_fixture.h"
#include "winapi/file_api.h"

#include <gtest/gtest.h>

namespace {

using orvo::testing::MachineFixture;

class MachineSetup : public MachineFixture {};

TEST_F(MachineSetup, TheUtilityFindsTheDriverAndTheCardsChoices) {
    const auto machine = dir_ / "machine";
    orvo::system::set_up_utility_files(machine, orvo::system::default_adapter_info());
    install(orvo::system::utility_machine_settings(machine));

    // Where the utility looks: the current directory.
    char directory[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(sizeof directory, directory), 0u);
    const std::string ini_path = std::string(directory) + "\\ADAPTER.INI";
    EXPECT_EQ(ini_path, "C:\\machine\\ADAPTER.INI");
    EXPECT_NE(GetFileAttributesA(ini_path.c_str()), INVALID_FILE_ATTRIBUTES);

    CAdapterInfoFile info(ini_path);
    std::string driver, description;
    EXPECT_TRUE(info.ReadValue(kOptionsSection, kDriverKey, driver));
    EXPECT_EQ(driver, "orvont");
    EXPECT_TRUE(info.ReadValue(kOptionsSection, kDeviceDescKey, description));
    EXPECT_NE(description.find("カード"), std::string::npos);

    std::vector<std::string> irqs(
        static_cast<std::size_t>(info.CountKeys(kIrqChoicesSection, kIrqChoicePrefix)));
    ASSERT_EQ(info.ReadList(kIrqChoicesSection, kIrqChoicePrefix, irqs), 5);
    std::vector<DWORD> irq_values;
    for (const auto& choice : irqs)
        irq_values.push_back(IrqChoiceValue(choice));
    EXPECT_EQ(irq_values, (std::vector<DWORD>{5, 9, 10, 11, 15}));

    std::vector<std::string> ios(
        static_cast<std::size_t>(info.CountKeys(kIoChoicesSection, kIoChoicePrefix)));
    ASSERT_EQ(info.ReadList(kIoChoicesSection, kIoChoicePrefix, ios), 9);
    EXPECT_EQ(ChoiceDisplayText(ios[4]), "0x280-0x29F");
    EXPECT_EQ(IoChoiceBase(IoChoiceValue(ios[4])), 0x280);
    EXPECT_EQ(IoChoiceLength(IoChoiceValue(ios[4])), 32);

    CDriverOptions options(driver);
    EXPECT_TRUE(options.LoadFromRegistry());
    EXPECT_EQ(options, CDriverOptions(driver)); // no DriverParameter yet: the driver's defaults
    options.BusMaster = 1;
    EXPECT_TRUE(options.SaveToRegistry());

    // Setting up again keeps what was stored.
    orvo::registry::Store registry(machine / orvo::system::kRegistryFileName);
    orvo::system::install_driver_service(registry, driver);
    CDriverOptions reloaded(driver);
    EXPECT_TRUE(reloaded.LoadFromRegistry());
    EXPECT_EQ(reloaded.StoredText, "/BM ");
}

TEST(AdapterInfoText, IsAProfileFileWithCrLfLineEnds) {
    orvo::system::AdapterInfo info{"orvont", "desc", {{"IRQ 5", 5}}, {{"0x280-0x29F", 0x280, 32}}};
    EXPECT_EQ(orvo::system::format_adapter_info(info), "[Options]\r\n"
                                                       "Driver=orvont\r\n"
                                                       "DeviceDesc=desc\r\n"
                                                       "\r\n"
                                                       "[IRQChoices]\r\n"
                                                       "IRQ_0=IRQ 5,5\r\n"
                                                       "\r\n"
                                                       "[IOBaseAddrChoices]\r\n"
                                                       "IOBase_0=0x280-0x29F,640,32\r\n");
}

} // namespace
