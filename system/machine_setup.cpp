#include "system/machine_setup.h"

#include "machine/registry/file_io.h"
#include "winapi/restart_record.h"

#include <cstdio>

namespace orvo::system {
namespace {

// The I/O bases the card's configuration index table accepts, each a 32-port window.
constexpr int kCardIoBases[] = {0x140, 0x180, 0x260, 0x270, 0x280, 0x290, 0x300, 0x320, 0x330};
constexpr int kCardIoLength = 32;
// IRQs free on a usual PC: 3, 4 (serial), 6 (floppy), 7 (printer), 8 (clock), 12 (mouse),
// 13 (coprocessor), 14 (disk) are taken.
constexpr int kUsualCardIrqs[] = {5, 9, 10, 11, 15};

// Service key values of a SCSI miniport installed as a boot driver.
constexpr std::uint32_t kServiceTypeKernelDriver = 1;
constexpr std::uint32_t kServiceStartBoot = 0;
constexpr std::uint32_t kServiceErrorControlNormal = 1;
constexpr std::string_view kServiceGroup = "SCSI miniport";

std::string hex_range(int base, int length) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%03X-0x%03X", base, base + length - 1);
    return text;
}

} // namespace

AdapterInfo default_adapter_info(std::string_view service) {
    AdapterInfo info;
    info.driver = service;
    info.device_description = "Orvo-88 PCMCIA Sound/SCSI カード (SCSI)";
    for (int irq : kUsualCardIrqs)
        info.irq_choices.push_back({"IRQ " + std::to_string(irq), irq});
    for (int base : kCardIoBases)
        info.io_choices.push_back({hex_range(base, kCardIoLength), base, kCardIoLength});
    return info;
}

std::string format_adapter_info(const AdapterInfo& info) {
    std::string text;
    auto line = [&text](const std::string& content) { text += content + "\r\n"; };
    line("[Options]");
    line("Driver=" + info.driver);
    line("DeviceDesc=" + info.device_description);
    line("");
    line("[IRQChoices]");
    for (std::size_t i = 0; i < info.irq_choices.size(); ++i) {
        const auto& choice = info.irq_choices[i];
        line("IRQ_" + std::to_string(i) + "=" + choice.text + "," + std::to_string(choice.irq));
    }
    line("");
    line("[IOBaseAddrChoices]");
    for (std::size_t i = 0; i < info.io_choices.size(); ++i) {
        const auto& choice = info.io_choices[i];
        line("IOBase_" + std::to_string(i) + "=" + choice.text + "," + std::to_string(choice.base) +
             "," + std::to_string(choice.length));
    }
    return text;
}

void write_adapter_info_file(const std::filesystem::path& file, const AdapterInfo& info) {
    registry::write_file_atomically(file, format_adapter_info(info));
}

void install_driver_service(registry::Store& registry, std::string_view service) {
    const registry::KeyPath service_key = {"HKEY_LOCAL_MACHINE", "System", "CurrentControlSet",
                                           "Services", std::string(service)};
    registry.modify([&](registry::Tree& tree) {
        bool changed = false;
        registry::Key& key = tree.create(service_key, &changed);
        auto set_default = [&](std::string_view name, registry::Value value) {
            if (key.value(name)) return;
            key.set_value(name, std::move(value));
            changed = true;
        };
        set_default("Type", registry::Value::dword(kServiceTypeKernelDriver));
        set_default("Start", registry::Value::dword(kServiceStartBoot));
        set_default("ErrorControl", registry::Value::dword(kServiceErrorControlNormal));
        set_default("Group", registry::Value::string(kServiceGroup));
        bool created = false;
        key.ensure_child("Parameters", &created).ensure_child("Device", &created);
        return changed || created;
    });
}

void set_up_utility_files(const std::filesystem::path& dir, const AdapterInfo& info) {
    std::filesystem::create_directories(dir);
    registry::Store registry(dir / kRegistryFileName);
    install_driver_service(registry, info.driver);
    write_adapter_info_file(dir / kAdapterInfoFileName, info);
}

winapi::MachineSettings utility_machine_settings(const std::filesystem::path& dir) {
    winapi::MachineSettings settings;
    settings.registry_file = dir / kRegistryFileName;
    settings.restart_record = dir / winapi::kRestartRecordFileName;
    settings.current_directory = dir;
    return settings;
}

} // namespace orvo::system
