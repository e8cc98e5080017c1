#pragma once
// What Windows does for the card when the simulated PC starts, so that the driver and the
// utility meet only through the registry:
//
// - the port driver takes the option string from
//   HKLM\System\CurrentControlSet\Services\<service>\Parameters\Device, "DriverParameter"
//   (none when absent; a command-line string overrides it for one run);
// - orvont (Windows NT): the PCMCIA support reads <service>1\Parameters, chooses what is
//   missing itself (the first free entry of kAutomaticIoBases / kAutomaticIrqs), configures
//   the card, hands the range to the port driver and records what it assigned under
//   HKLM\HARDWARE\DESCRIPTION\System\PCMCIA PCCARDs, value <service> (rewritten at every start,
//   absent when the card was not configured); a resource another device holds leaves the card
//   unconfigured;
// - orvontx: the card is left alone, the driver sets it up itself; nothing is recorded;
// - orvo95a / orvo95 (Windows 95): Card Services assigns the range the machine description
//   gives; no Windows NT registry value is used for resources.
//
// The service is named after the build Windows loads.

#include "machine/pc.h"
#include "machine/registry/store.h"
#include "scsiport/host/host_types.h"
#include "system/resource_descriptor.h"

#include <array>
#include <optional>
#include <string>

namespace orvo::system {

// Automatic choices of the PCMCIA support, tried in this order.
inline constexpr std::array<std::uint16_t, 7> kAutomaticIoBases = {0x340, 0x300, 0x320, 0x280,
                                                                    0x260, 0x180, 0x140};
inline constexpr std::uint16_t kAutomaticIoLength = 32;
inline constexpr std::array<std::uint8_t, 5> kAutomaticIrqs = {5, 9, 10, 11, 15};

inline constexpr const char* kServicesKey = "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services";
inline constexpr const char* kAssignedResourcesKey =
    "HKEY_LOCAL_MACHINE\\HARDWARE\\DESCRIPTION\\System\\PCMCIA PCCARDs";

struct StartOptions {
    std::optional<std::string> build;  // none: the machine's
    std::optional<std::string> param;  // overrides DriverParameter for this run
};

enum class CardSetUp {
    ConfiguredBySystem,  // the operating system gave the card its resources
    LeftToDriver,        // orvontx configures the card itself
    NotConfigured,       // a conflict or a bad stored value; see detail
    NoCard,
};
const char* to_string(CardSetUp setup);

struct StartReport {
    std::string build;
    std::string service;
    std::optional<std::string> option_string;
    std::string option_source;  // "registry", "command line" or "none"
    CardSetUp card = CardSetUp::NoCard;
    std::string detail;         // why the card was not configured; notes
    std::optional<AssignedResources> assigned;
    unsigned restarts_requested = 0;  // since the previous start
    scsiport::AdapterResources adapter;  // what the port driver hands the driver
};

// Starts Windows on pc: settles the card's resources, records them, and says what the port
// driver is to hand the driver. Throws registry::StoreError when the registry file cannot be
// read or written, std::invalid_argument for an unknown build.
StartReport start_windows(machine::SimulatedPc& pc, registry::Store& registry, const StartOptions& options);

} // namespace orvo::system
