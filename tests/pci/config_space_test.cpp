// PCI configuration mechanism 1 as software sees it through ports 0xCF8 and 0xCFC.
#include "machine/io/backplane.h"
#include "machine/pci/config_space.h"

#include <gtest/gtest.h>

namespace orvo::pci {
namespace {

std::uint32_t config_address(unsigned bus, unsigned device, unsigned function, unsigned reg) {
    return 0x80000000u | bus << 16 | device << 11 | function << 8 | reg;
}

struct ConfigSpaceTest : ::testing::Test {
    io::Backplane machine;
    ConfigSpace pci;
    void SetUp() override {
        pci.add({.bus = 0, .device = 31, .function = 0, .vendor_id = 0x104C, .device_id = 0xAC12, .class_code = 0x060700});
        pci.add({.bus = 2, .device = 3, .function = 1, .vendor_id = 0x1234, .device_id = 0x5678});
        pci.attach(machine.ports);
    }
    std::uint32_t read(std::uint32_t address, unsigned port = kConfigDataPort, unsigned width = 4) {
        machine.ports.write(kConfigAddressPort, address, 4);
        return machine.ports.read(port, width);
    }
};

TEST_F(ConfigSpaceTest, AFunctionAnswersAtItsLocationAndNothingElseDoes) {
    EXPECT_EQ(read(config_address(0, 31, 0, 0)), 0xAC12104Cu);
    EXPECT_EQ(read(config_address(0, 31, 0, 8)), 0x06070000u) << "class code above the revision";
    EXPECT_EQ(read(config_address(2, 3, 1, 0)), 0x56781234u);
    EXPECT_EQ(read(config_address(0, 31, 1, 0)), 0xFFFFFFFFu) << "another function";
    EXPECT_EQ(read(config_address(1, 31, 0, 0)), 0xFFFFFFFFu) << "another bus";
    EXPECT_EQ(read(config_address(0, 30, 0, 0)), 0xFFFFFFFFu) << "another device";
    EXPECT_EQ(read(config_address(0, 31, 0, 0) & ~0x80000000u), 0xFFFFFFFFu) << "without the enable bit";
    // A device with a single function leaves the multi-function bit clear.
    EXPECT_EQ(read(config_address(0, 31, 0, 0x0C)) >> 16 & 0x80, 0u);
}

TEST_F(ConfigSpaceTest, TheDataPortServesBytesAndWordsAndTheAddressRegisterReadsBack) {
    EXPECT_EQ(read(config_address(0, 31, 0, 0), kConfigDataPort + 2, 2), 0xAC12u);
    EXPECT_EQ(read(config_address(0, 31, 0, 0), kConfigDataPort + 1, 1), 0x10u);
    machine.ports.write(kConfigAddressPort, 0xFFFFFFFF, 4);
    EXPECT_EQ(machine.ports.read(kConfigAddressPort, 4), 0x80FFFFFCu) << "reserved bits read 0";
    // A byte written at 0xCF8 is not a configuration address.
    machine.ports.write(kConfigAddressPort, config_address(0, 31, 0, 0), 4);
    machine.ports.write(kConfigAddressPort, 0x00, 1);
    EXPECT_EQ(pci.address(), config_address(0, 31, 0, 0));
}

TEST_F(ConfigSpaceTest, OnlyTheCommandRegisterTakesWrites) {
    machine.ports.write(kConfigAddressPort, config_address(0, 31, 0, 4), 4);
    machine.ports.write(kConfigDataPort, 0xFFFF0007, 4);
    EXPECT_EQ(pci.read_register(0, 31, 0, 4), 0x00000007u) << "status untouched";
    machine.ports.write(kConfigAddressPort, config_address(0, 31, 0, 0), 4);
    machine.ports.write(kConfigDataPort, 0, 4);
    EXPECT_EQ(pci.read_register(0, 31, 0, 0), 0xAC12104Cu);
}

TEST(ConfigSpace, RefusesDuplicatesAndImpossibleLocationsAndFlagsMultiFunctionDevices) {
    ConfigSpace pci;
    pci.add({.bus = 0, .device = 4, .function = 0, .vendor_id = 1, .device_id = 2});
    EXPECT_THROW(pci.add({.bus = 0, .device = 4, .function = 0}), std::invalid_argument);
    EXPECT_THROW(pci.add({.bus = 0, .device = 32, .function = 0}), std::invalid_argument);
    EXPECT_THROW(pci.add({.bus = 0, .device = 1, .function = 8}), std::invalid_argument);
    pci.add({.bus = 0, .device = 4, .function = 2, .vendor_id = 1, .device_id = 3});
    EXPECT_EQ(pci.read_register(0, 4, 0, 0x0C) >> 16 & 0x80, 0x80u);
    EXPECT_EQ(pci.read_register(0, 4, 2, 0x0C) >> 16 & 0x80, 0x80u);
}

} // namespace
} // namespace orvo::pci
