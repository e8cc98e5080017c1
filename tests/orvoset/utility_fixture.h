#pragma once
// The utility on a simulated PC in a scratch directory (its C: drive and current directory),
// run by the headless driver: helpers to lay out ADAPTER.INI and registry states, and to read
// the registry back afterwards.

#include "mfc/headless_driver.h"
#include "mfc/text_cells.h"
#include "machine/registry/store.h"
#include "orvoset/resource_app.h"
#include "tests/orvoset/saved_settings.h"
#include "tests/winapi/machine_fixture.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvo::testing {

inline const registry::KeyPath kPcCardsKey = {"HKEY_LOCAL_MACHINE", "HARDWARE", "DESCRIPTION", "System",
                                              "PCMCIA PCCARDs"};

// The card's choices as the tests' ADAPTER.INI gives them.
inline constexpr const char* kAdapterInfo = "[Options]\r\n"
                                            "Driver=orvont\r\n"
                                            "DeviceDesc=Orvo-88 PCMCIA Sound/SCSI カード (SCSI)\r\n"
                                            "[IRQChoices]\r\n"
                                            "IRQ_0=IRQ 5,5\r\n"
                                            "IRQ_1=IRQ 9,9\r\n"
                                            "IRQ_2=IRQ 10,10\r\n"
                                            "[IOBaseAddrChoices]\r\n"
                                            "IOBase_0=0x140-0x15F,320,32\r\n"
                                            "IOBase_1=0x180-0x19F,384,32\r\n"
                                            "IOBase_2=0x340-0x35F,832,32\r\n";

// A full resource descriptor listing the interrupts and then the port ranges (start, length).
inline std::vector<std::uint8_t> resource_descriptor(const std::vector<int>& irqs,
                                                     const std::vector<std::pair<int, int>>& ports) {
    std::vector<std::uint8_t> bytes(16, 0);
    auto put32 = [&](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    put32(0, 1); // interface type: ISA
    put32(12, static_cast<std::uint32_t>(irqs.size() + ports.size()));
    for (int irq : irqs) {
        const std::size_t at = bytes.size();
        bytes.resize(at + 16, 0);
        bytes[at] = 2; // interrupt
        put32(at + 4, static_cast<std::uint32_t>(irq));
        put32(at + 8, static_cast<std::uint32_t>(irq));
    }
    for (auto [start, length] : ports) {
        const std::size_t at = bytes.size();
        bytes.resize(at + 16, 0);
        bytes[at] = 1; // port
        bytes[at + 2] = 1; // in I/O space
        put32(at + 4, static_cast<std::uint32_t>(start));
        put32(at + 12, static_cast<std::uint32_t>(length));
    }
    return bytes;
}

class UtilityTest : public MachineFixture {
  protected:
    void SetUp() override {
        MachineFixture::SetUp();
        ASSERT_TRUE(mfc::use_utf8_locale());
        mfc::install_headless_driver(driver_);
    }
    void TearDown() override {
        mfc::set_modal_host(nullptr);
        MachineFixture::TearDown();
    }

    // Installs another machine (see MachineFixture::install) and the driver again.
    winapi::Environment& use_machine(winapi::MachineSettings settings) {
        winapi::Environment& environment = install(std::move(settings));
        mfc::install_headless_driver(driver_);
        return environment;
    }
    // An empty machine directory (with the current directory the settings name, when they name
    // one) and a driver with no steps yet.
    void fresh_machine(winapi::MachineSettings settings = {}) {
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
            std::filesystem::remove_all(entry.path());
        if (!settings.current_directory.empty()) std::filesystem::create_directories(settings.current_directory);
        driver_ = std::make_shared<mfc::HeadlessDriver>();
        use_machine(std::move(settings));
    }
    void install_service() {
        store_.modify([](registry::Tree& tree) {
            tree.create(services_key({"orvont", "Parameters", "Device"}));
            return true;
        });
    }
    void put(const registry::KeyPath& key, const std::string& name, registry::Value value) {
        store_.modify([&](registry::Tree& tree) {
            tree.create(key).set_value(name, std::move(value));
            return true;
        });
    }
    void put_option_string(const std::string& text) {
        put(services_key({"orvont", "Parameters", "Device"}), "DriverParameter", registry::Value::string(text));
    }
    // The card's stored PCMCIA parameters (with IoLength_1, so that the utility takes them).
    void put_card_parameters(std::uint32_t base, std::uint32_t length, std::uint32_t irq) {
        const registry::KeyPath key = services_key({"orvont1", "Parameters"});
        put(key, "Pcmcia", registry::Value::dword(1));
        put(key, "IoBaseAddress", registry::Value::dword(base));
        put(key, "IoLength", registry::Value::dword(length));
        put(key, "IoBaseAddress_1", registry::Value::dword(base + 0x400));
        put(key, "IoLength_1", registry::Value::dword(length));
        put(key, "InterruptNumber", registry::Value::dword(irq));
    }
    void put_assigned(const std::vector<int>& irqs, const std::vector<std::pair<int, int>>& ports) {
        put(kPcCardsKey, "orvont",
            registry::Value::from_bytes(registry::kTypeFullResourceDescriptor, resource_descriptor(irqs, ports)));
    }
    std::optional<std::string> option_string() { return saved_option_string(store_); }
    std::optional<CardValues> card_parameters() { return saved_card_parameters(store_); }

    std::shared_ptr<mfc::HeadlessDriver> driver_ = std::make_shared<mfc::HeadlessDriver>();
    registry::Store store_{dir_ / "registry.reg"};
};

} // namespace orvo::testing
