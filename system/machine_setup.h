#pragma once
// Files of a machine directory that the configuration utility works on: the machine's
// registry with the driver service installed, and ADAPTER.INI with the card's choices. A
// later "orvo init DIR" calls these; tests call them to get a real machine to work on.

#include "machine/registry/store.h"
#include "winapi/environment.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace orvo::system {

inline constexpr std::string_view kRegistryFileName = "registry.reg";
inline constexpr std::string_view kAdapterInfoFileName = "ADAPTER.INI";

// The build the operating system configures the card for: the utility's PCMCIA parameters are
// what that build relies on.
inline constexpr std::string_view kDefaultServiceName = "orvont";

struct IrqChoice {
    std::string text;
    int irq = 0;
};

struct IoChoice {
    std::string text;
    int base = 0;
    int length = 0;
};

struct AdapterInfo {
    std::string driver;             // service name of the installed miniport
    std::string device_description; // shown at the top of the settings dialog
    std::vector<IrqChoice> irq_choices;
    std::vector<IoChoice> io_choices;
};

// The card's choices: the I/O bases the card's configuration table knows (32 ports each) and
// the IRQs a PC Card usually gets on a PC (those not taken by the standard devices).
AdapterInfo default_adapter_info(std::string_view service = kDefaultServiceName);

// The file's text (UTF-8, CR LF line ends, as the file travels with the driver).
std::string format_adapter_info(const AdapterInfo& info);
void write_adapter_info_file(const std::filesystem::path& file, const AdapterInfo& info);

// Installs the driver service as a SCSI miniport's installation leaves it:
// System\CurrentControlSet\Services\<service> (Type, Start, ErrorControl, Group) with its
// Parameters\Device key and no DriverParameter yet (the driver's defaults). Values already
// there are kept; the call may be repeated.
void install_driver_service(registry::Store& registry, std::string_view service);

// Writes both files into dir (created when missing) for the given adapter information.
void set_up_utility_files(const std::filesystem::path& dir, const AdapterInfo& info);

// Machine settings for running the utility on the machine in dir: its registry file, its
// restart record, and dir as the current directory (where the utility looks for ADAPTER.INI).
winapi::MachineSettings utility_machine_settings(const std::filesystem::path& dir);

} // namespace orvo::system
