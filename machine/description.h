#pragma once
// The machine description: what a simulated PC is made of. Kept as machine.toml in a machine
// directory beside the registry file and the disk images; with no directory the programs use
// the same default in memory. Loading checks every value and names the file and line of the
// first bad one.

#include "machine/io/clock.h"
#include "machine/scsi/target_behaviour.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvo::machine {

enum class OperatingSystem { Nt351, Nt4, Win2000, Win95, Win98 };

const char* os_name(OperatingSystem os);                 // "nt4", ...
const char* os_display_name(OperatingSystem os);         // "Windows NT 4.0", ...
bool is_windows_nt(OperatingSystem os);

// The four driver builds.
inline constexpr const char* kBuilds[] = {"orvontx", "orvont", "orvo95a", "orvo95"};
bool is_build(const std::string& name);

enum class DeviceKind { Disk, Cdrom };

struct DeviceDescription {
    std::uint8_t id = 0;
    DeviceKind kind = DeviceKind::Disk;
    std::filesystem::path image;  // relative paths are taken from the machine directory
    std::uint64_t size_bytes = 0; // disks: size of an image created when missing
    std::string vendor = "ORVO";
    std::string product;
    std::string revision = "1.0";
    scsi::TargetBehaviour behaviour;
};

// The Orvo-88 card: where it sits and what the operating system assigned to it (the builds
// other than orvontx find it configured in this range).
struct CardDescription {
    bool present = true;
    unsigned socket = 0;
    std::uint32_t io_base = 0x340;
    std::uint32_t io_length = 32;
    std::uint8_t irq = 5;
    std::uint8_t chip_id = 0x05;
};

struct SocketControllerDescription {
    bool present = true;
    std::uint16_t port = 0x3E0;
    unsigned sockets = 2;
    std::uint8_t id = 0x83;  // identification and revision register (0x8n: memory-and-I/O)
};

// Another PC Card in a socket of the controller: a card of the catalogue by name, or one
// whose attribute memory holds a raw CIS file.
struct PcCardDescription {
    unsigned socket = 0;
    std::string catalogue;              // e.g. "card47"; empty when cis_file is given
    std::filesystem::path cis_file;     // relative paths are taken from the machine directory
};

struct PciDeviceDescription {
    std::uint8_t bus = 0, device = 0, function = 0;
    std::uint16_t vendor_id = 0, device_id = 0;
    std::uint32_t class_code = 0;  // base class, subclass, interface
};

// Another device of the PC holding ports and an IRQ (a sound card, a network card): the
// operating system does not give those to the Orvo-88.
struct IsaDeviceDescription {
    std::string name;
    std::uint32_t io_base = 0;
    std::uint32_t io_length = 0;
    std::optional<std::uint8_t> irq;
};

struct UserDescription {
    bool shutdown_privilege = true;
    bool open_process_token_fails = false;
};

struct MachineDescription {
    std::filesystem::path directory;  // empty: the in-memory default
    OperatingSystem os = OperatingSystem::Nt4;
    std::string build = "orvont";     // the build Windows loads
    io::Nanoseconds io_cycle = io::kMicrosecond;
    UserDescription user;
    SocketControllerDescription socket_controller;
    CardDescription card;
    std::vector<PcCardDescription> pc_cards;
    std::vector<DeviceDescription> devices;
    std::vector<PciDeviceDescription> pci;
    std::vector<IsaDeviceDescription> isa_devices;

    std::filesystem::path resolve(const std::filesystem::path& file) const {
        return file.is_absolute() || directory.empty() ? file : directory / file;
    }
    std::filesystem::path registry_file() const { return resolve("registry.reg"); }
};

// A description that cannot be used; the message names the file and line.
class DescriptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kDescriptionFile = "machine.toml";

// The default machine: Windows NT 4.0, the card in socket 0 of a controller at 0x3E0, a
// 64 MiB disk at ID 0 and a CD-ROM at ID 3, images in image_directory.
MachineDescription default_description(const std::filesystem::path& image_directory);

// Reads DIR/machine.toml. Throws DescriptionError.
MachineDescription load_description(const std::filesystem::path& directory);
MachineDescription parse_description(std::string_view text, const std::filesystem::path& directory,
                                     const std::string& source_name);

// The documented machine.toml of the default machine.
std::string default_description_text();

} // namespace orvo::machine
