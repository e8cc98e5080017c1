// ADAPTER.INI through CAdapterInfoFile: counting and reading the choice lists.

#include "orvoset/adapter_info_file.h"

#include "tests/winapi/machine_fixture.h"

#include <gtest/gtest.h>

namespace {

using orvo::testing::MachineFixture;

class AdapterInfoFile : public MachineFixture {};

TEST_F(AdapterInfoFile, ListsEndAtTheFirstMissingOrEmptyKey) {
    const std::string long_value(300, 'x');
    dir_.write("ADAPTER.INI", "[irqchoices]\n"
                              "irq_1=IRQ 10,10\n"
                              "IRQ_0=IRQ 5,5\n"
                              "IRQ_2=\n"
                              "IRQ_3=IRQ 11,11\n"
                              "[IOBaseAddrChoices]\n"
                              "IOBase_0=" +
                                  long_value +
                                  "\n"
                                  "IOBase_1=0x360-0x37F,864,32\n"
                                  "IOBase_3=0x300-0x31F,768,32\n");
    CAdapterInfoFile info("C:\\ADAPTER.INI");

    EXPECT_EQ(info.CountKeys(kIrqChoicesSection, kIrqChoicePrefix),
              2); // IRQ_2 is empty: IRQ_3 never seen
    std::vector<std::string> irqs(2);
    EXPECT_EQ(info.ReadList(kIrqChoicesSection, kIrqChoicePrefix, irqs), 2);
    EXPECT_EQ(irqs, (std::vector<std::string>{"IRQ 5,5", "IRQ 10,10"}));

    EXPECT_EQ(info.CountKeys(kIoChoicesSection, kIoChoicePrefix), 2); // IOBase_2 missing
    std::vector<std::string> ios(3, "untouched");
    EXPECT_EQ(info.ReadList(kIoChoicesSection, kIoChoicePrefix, ios), 2);
    EXPECT_EQ(ios[0], long_value.substr(0, 259)); // the 260-byte buffer keeps 259
    EXPECT_EQ(ios[2], "untouched");

    EXPECT_EQ(info.CountKeys("Missing", kIrqChoicePrefix), 0);
    std::string text = "old";
    EXPECT_FALSE(info.ReadValue(kOptionsSection, kDriverKey, text));
    EXPECT_EQ(text, "");
}

TEST_F(AdapterInfoFile, ReadsTheJapaneseDescriptionOfACodePage932File) {
    // [Options] Driver=orvont, DeviceDesc=Orvo-88 サウンド/SCSI カード, in code page 932.
    dir_.write(
        "ADAPTER.INI",
        "[Options]\r\n"
        "Driver=orvont\r\n"
        "DeviceDesc=Orvo-88 \x83\x54\x83\x45\x83\x93\x83\x68/SCSI \x83\x4a\x81\x5b\x83\x68\r\n"
        "[IRQChoices]\r\n"
        "IRQ_0=\x8a\x84\x82\xe8\x8d\x9e\x82\xdd 5,5\r\n"); // 割り込み 5
    CAdapterInfoFile info("C:\\ADAPTER.INI");
    std::string text;
    EXPECT_TRUE(info.ReadValue(kOptionsSection, kDriverKey, text));
    EXPECT_EQ(text, "orvont");
    EXPECT_TRUE(info.ReadValue(kOptionsSection, kDeviceDescKey, text));
    EXPECT_EQ(text, "Orvo-88 サウンド/SCSI カード");
    std::vector<std::string> irqs(1);
    EXPECT_EQ(info.ReadList(kIrqChoicesSection, kIrqChoicePrefix, irqs), 1);
    EXPECT_EQ(irqs[0], "割り込み 5,5");
}

} // namespace
