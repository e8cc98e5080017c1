#include "machine/description.h"

#include "machine/pcmcia/catalogue.h"

#include <toml++/toml.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace orvo::machine {

namespace {

struct OsName {
    OperatingSystem os;
    const char* name;
    const char* display;
    bool nt;
};
constexpr OsName kOperatingSystems[] = {
    {OperatingSystem::Nt351, "nt351", "Windows NT 3.51", true},
    {OperatingSystem::Nt4, "nt4", "Windows NT 4.0", true},
    {OperatingSystem::Win2000, "win2000", "Windows 2000", true},
    {OperatingSystem::Win95, "win95", "Windows 95", false},
    {OperatingSystem::Win98, "win98", "Windows 98", false},
};

const OsName& os_entry(OperatingSystem os) {
    for (const OsName& entry : kOperatingSystems) {
        if (entry.os == os) return entry;
    }
    return kOperatingSystems[1];
}

// Reads values out of one table, naming the file and line of anything wrong.
class Reader {
public:
    explicit Reader(std::string source) : source_(std::move(source)) {}

    [[noreturn]] void fail(const toml::node* node, const std::string& what) const {
        std::string where = source_;
        if (node != nullptr && node->source().begin.line != 0) {
            where += ":" + std::to_string(node->source().begin.line);
        }
        throw DescriptionError(where + ": " + what);
    }

    template <class T>
    void number(const toml::table& table, const char* key, T& out, std::int64_t min, std::int64_t max) const {
        const toml::node* node = table.get(key);
        if (node == nullptr) return;
        const auto value = node->value<std::int64_t>();
        if (!value || !node->is_integer()) fail(node, std::string(key) + " must be a whole number");
        if (*value < min || *value > max) {
            char range[96];
            std::snprintf(range, sizeof range, " must lie in %lld..%lld (0x%llx..0x%llx)", (long long)min,
                          (long long)max, (long long)min, (long long)max);
            fail(node, std::string(key) + " = " + std::to_string(*value) + range);
        }
        out = static_cast<T>(*value);
    }
    void flag(const toml::table& table, const char* key, bool& out) const {
        const toml::node* node = table.get(key);
        if (node == nullptr) return;
        if (!node->is_boolean()) fail(node, std::string(key) + " must be true or false");
        out = *node->value<bool>();
    }
    void text(const toml::table& table, const char* key, std::string& out, std::size_t max_length) const {
        const toml::node* node = table.get(key);
        if (node == nullptr) return;
        if (!node->is_string()) fail(node, std::string(key) + " must be a string");
        out = *node->value<std::string>();
        if (out.size() > max_length) {
            fail(node, std::string(key) + " is longer than " + std::to_string(max_length) + " characters");
        }
    }
    const toml::table* table(const toml::table& parent, const char* key) const {
        const toml::node* node = parent.get(key);
        if (node == nullptr) return nullptr;
        if (!node->is_table()) fail(node, std::string("[") + key + "] must be a table");
        return node->as_table();
    }
    // Keys a table may hold; anything else is most likely a typing error.
    void only(const toml::table& table, std::initializer_list<std::string_view> keys, const char* what) const {
        for (const auto& [key, node] : table) {
            bool known = false;
            for (std::string_view k : keys) known = known || k == key.str();
            if (!known) fail(&node, std::string("unknown key '") + std::string(key.str()) + "' in " + what);
        }
    }

private:
    std::string source_;
};

// Behaviour switches of a device, by name.
struct FlagSwitch {
    const char* key;
    bool scsi::TargetBehaviour::*member;
};
constexpr FlagSwitch kFlagSwitches[] = {
    {"reject_sdtr", &scsi::TargetBehaviour::reject_sdtr},
    {"initiate_sdtr", &scsi::TargetBehaviour::initiate_sdtr},
    {"initiate_wdtr", &scsi::TargetBehaviour::initiate_wdtr},
    {"disconnect_after_command", &scsi::TargetBehaviour::disconnect_after_command},
    {"ignore_disconnect_privilege", &scsi::TargetBehaviour::ignore_disconnect_privilege},
    {"restore_pointers_after_reselect", &scsi::TargetBehaviour::restore_pointers_after_reselect},
    {"change_phase_mid_message", &scsi::TargetBehaviour::change_phase_mid_message},
    {"bad_parity", &scsi::TargetBehaviour::bad_parity},
};

struct PhaseName {
    const char* name;
    scsi::Phase phase;
};
constexpr PhaseName kPhaseNames[] = {
    {"data-out", scsi::Phase::DataOut}, {"data-in", scsi::Phase::DataIn},
    {"command", scsi::Phase::Command},  {"status", scsi::Phase::Status},
    {"message-out", scsi::Phase::MessageOut}, {"message-in", scsi::Phase::MessageIn},
};

void read_behaviour(const Reader& r, const toml::table& t, scsi::TargetBehaviour& b) {
    for (const FlagSwitch& s : kFlagSwitches) r.flag(t, s.key, b.*s.member);
    r.number(t, "min_period_factor", b.min_period_factor, 0, 255);
    r.number(t, "max_offset", b.max_offset, 0, 255);
    r.number(t, "disconnect_after_bytes", b.disconnect_after_bytes, 0, 0xFFFFFF);
    r.number(t, "busy_count", b.busy_count, 0, 1000000);
    r.number(t, "check_condition_count", b.check_condition_count, 0, 1000000);
    r.number(t, "data_length_delta", b.data_length_delta, -(1 << 24), 1 << 24);
    std::uint32_t reselect_us = static_cast<std::uint32_t>(b.reselect_delay / io::kMicrosecond);
    r.number(t, "reselect_delay_us", reselect_us, 0, 10'000'000);
    b.reselect_delay = io::Nanoseconds{reselect_us} * io::kMicrosecond;
    if (t.get("odd_extended_length") != nullptr) {
        std::uint8_t length = 0;
        r.number(t, "odd_extended_length", length, 0, 255);
        b.odd_extended_length = length;
    }
    if (const toml::node* node = t.get("stuck_phase")) {
        std::string name;
        r.text(t, "stuck_phase", name, 16);
        bool found = false;
        for (const PhaseName& p : kPhaseNames) {
            if (name == p.name) {
                b.stuck_phase = p.phase;
                found = true;
            }
        }
        if (!found) r.fail(node, "stuck_phase must be one of data-out, data-in, command, status, message-out, message-in");
    }
}

DeviceDescription read_device(const Reader& r, const toml::table& t, const toml::node& node) {
    DeviceDescription d;
    std::string type = "disk";
    r.text(t, "type", type, 16);
    if (type == "disk") {
        d.kind = DeviceKind::Disk;
        d.product = "VIRTUAL DISK";
    } else if (type == "cdrom") {
        d.kind = DeviceKind::Cdrom;
        d.product = "VIRTUAL CD-ROM";
    } else {
        r.fail(&node, "type must be \"disk\" or \"cdrom\", not \"" + type + "\"");
    }
    if (t.get("id") == nullptr) r.fail(&node, "a device needs its SCSI id");
    r.number(t, "id", d.id, 0, 6);
    std::string image;
    r.text(t, "image", image, 4096);
    if (image.empty() && d.kind == DeviceKind::Disk) r.fail(&node, "a disk needs an image file");
    d.image = image;
    std::uint32_t size_mib = 64;
    r.number(t, "size_mib", size_mib, 1, 1u << 20);
    d.size_bytes = std::uint64_t{size_mib} << 20;
    r.text(t, "vendor", d.vendor, 8);
    r.text(t, "product", d.product, 16);
    r.text(t, "revision", d.revision, 4);
    read_behaviour(r, t, d.behaviour);
    return d;
}

} // namespace

const char* os_name(OperatingSystem os) { return os_entry(os).name; }
const char* os_display_name(OperatingSystem os) { return os_entry(os).display; }
bool is_windows_nt(OperatingSystem os) { return os_entry(os).nt; }

bool is_build(const std::string& name) {
    for (const char* build : kBuilds) {
        if (name == build) return true;
    }
    return false;
}

MachineDescription default_description(const std::filesystem::path& image_directory) {
    MachineDescription d;
    d.directory = image_directory;
    DeviceDescription disk;
    disk.id = 0;
    disk.kind = DeviceKind::Disk;
    disk.image = "disk0.img";
    disk.size_bytes = 64ull << 20;
    disk.product = "VIRTUAL DISK";
    DeviceDescription cdrom;
    cdrom.id = 3;
    cdrom.kind = DeviceKind::Cdrom;
    cdrom.image = "cdrom3.iso";
    cdrom.product = "VIRTUAL CD-ROM";
    d.devices = {disk, cdrom};
    return d;
}

MachineDescription parse_description(std::string_view text, const std::filesystem::path& directory,
                                     const std::string& source_name) {
    Reader r(source_name);
    toml::table root;
    try {
        root = toml::parse(text, source_name);
    } catch (const toml::parse_error& e) {
        throw DescriptionError(source_name + ":" + std::to_string(e.source().begin.line) + ": " +
                               std::string(e.description()));
    }
    r.only(root, {"system", "user", "socket_controller", "card", "pccard", "device", "pci", "isa_device"}, "the description");

    MachineDescription d;
    d.directory = directory;
    if (const toml::table* t = r.table(root, "system")) {
        r.only(*t, {"os", "build", "io_cycle_ns"}, "[system]");
        std::string os = "nt4";
        r.text(*t, "os", os, 16);
        bool found = false;
        for (const OsName& entry : kOperatingSystems) {
            if (os == entry.name) {
                d.os = entry.os;
                found = true;
            }
        }
        if (!found) r.fail(t->get("os"), "os must be one of nt351, nt4, win2000, win95, win98");
        r.text(*t, "build", d.build, 16);
        if (!is_build(d.build)) r.fail(t->get("build"), "build must be one of orvontx, orvont, orvo95a, orvo95");
        r.number(*t, "io_cycle_ns", d.io_cycle, 1, 1'000'000);
    }
    if (const toml::table* t = r.table(root, "user")) {
        r.only(*t, {"shutdown_privilege", "open_process_token_fails"}, "[user]");
        r.flag(*t, "shutdown_privilege", d.user.shutdown_privilege);
        r.flag(*t, "open_process_token_fails", d.user.open_process_token_fails);
    }
    if (const toml::table* t = r.table(root, "socket_controller")) {
        r.only(*t, {"present", "port", "sockets", "id"}, "[socket_controller]");
        r.flag(*t, "present", d.socket_controller.present);
        r.number(*t, "port", d.socket_controller.port, 0, 0xFFFC);
        r.number(*t, "sockets", d.socket_controller.sockets, 1, 8);
        r.number(*t, "id", d.socket_controller.id, 0, 255);
        const unsigned last_port = d.socket_controller.port + (d.socket_controller.sockets > 4 ? 3u : 1u);
        if (last_port >= 0xCF8 && d.socket_controller.port <= 0xCFF) {
            r.fail(t->get("port"), "the socket controller's ports would overlap the PCI configuration ports 0xCF8-0xCFF");
        }
    }
    // Sockets taken so far and by what, to refuse a second card in one.
    std::vector<std::pair<unsigned, std::string>> taken;
    auto take_socket = [&](unsigned socket, const toml::node* node, std::string holder) {
        if (d.socket_controller.present && socket >= d.socket_controller.sockets) {
            r.fail(node, "socket " + std::to_string(socket) + " is not on a controller with " +
                             std::to_string(d.socket_controller.sockets) + " sockets");
        }
        for (const auto& [other, by] : taken) {
            if (other == socket) r.fail(node, "socket " + std::to_string(socket) + " already holds " + by);
        }
        taken.emplace_back(socket, std::move(holder));
    };
    if (const toml::table* t = r.table(root, "card")) {
        r.only(*t, {"present", "socket", "io_base", "io_length", "irq", "chip_id"}, "[card]");
        r.flag(*t, "present", d.card.present);
        r.number(*t, "socket", d.card.socket, 0, 7);
        r.number(*t, "io_base", d.card.io_base, 0, 0xFFFF);
        r.number(*t, "io_length", d.card.io_length, 0, 0x10000);
        r.number(*t, "irq", d.card.irq, 0, 15);
        r.number(*t, "chip_id", d.card.chip_id, 0, 255);
        if (d.card.io_base + d.card.io_length > 0x10000) r.fail(t->get("io_length"), "the card's range leaves the I/O space");
        const toml::node* where = t->get("socket") != nullptr ? t->get("socket") : root.get("card");
        if (d.card.present) take_socket(d.card.socket, where, "the Orvo-88");
    } else if (d.card.present) {
        take_socket(d.card.socket, nullptr, "the Orvo-88");
    }
    if (const toml::node* cards = root.get("pccard")) {
        const toml::array* list = cards->as_array();
        if (list == nullptr) r.fail(cards, "PC Cards are written as [[pccard]] tables");
        if (!d.socket_controller.present && !list->empty()) r.fail(cards, "a PC Card needs the socket controller");
        for (const toml::node& node : *list) {
            const toml::table* t = node.as_table();
            if (t == nullptr) r.fail(&node, "PC Cards are written as [[pccard]] tables");
            r.only(*t, {"socket", "type", "cis"}, "[[pccard]]");
            PcCardDescription c;
            if (t->get("socket") == nullptr) r.fail(&node, "a PC Card needs its socket");
            r.number(*t, "socket", c.socket, 0, 7);
            std::string cis;
            r.text(*t, "type", c.catalogue, 32);
            r.text(*t, "cis", cis, 4096);
            c.cis_file = cis;
            if (c.catalogue.empty() == cis.empty()) r.fail(&node, "a PC Card is either a type of the catalogue or a cis file");
            if (c.catalogue == pcmcia::kOrvo88) r.fail(t->get("type"), "the Orvo-88 is described by the [card] table");
            if (!c.catalogue.empty() && !pcmcia::is_catalogue_card(c.catalogue)) {
                r.fail(t->get("type"), "type must be one of " + pcmcia::catalogue_list());
            }
            take_socket(c.socket, t->get("socket"),
                        "the card of line " + std::to_string(node.source().begin.line));
            d.pc_cards.push_back(std::move(c));
        }
    }
    if (const toml::node* devices = root.get("device")) {
        const toml::array* list = devices->as_array();
        if (list == nullptr) r.fail(devices, "devices are written as [[device]] tables");
        for (const toml::node& node : *list) {
            const toml::table* t = node.as_table();
            if (t == nullptr) r.fail(&node, "devices are written as [[device]] tables");
            DeviceDescription device = read_device(r, *t, node);
            for (const DeviceDescription& other : d.devices) {
                if (other.id == device.id) r.fail(&node, "SCSI id " + std::to_string(device.id) + " is used twice");
            }
            d.devices.push_back(std::move(device));
        }
    }
    if (const toml::node* pci = root.get("pci")) {
        const toml::array* list = pci->as_array();
        if (list == nullptr) r.fail(pci, "PCI devices are written as [[pci]] tables");
        for (const toml::node& node : *list) {
            const toml::table* t = node.as_table();
            if (t == nullptr) r.fail(&node, "PCI devices are written as [[pci]] tables");
            r.only(*t, {"bus", "device", "function", "vendor_id", "device_id", "class_code"}, "[[pci]]");
            PciDeviceDescription p;
            r.number(*t, "bus", p.bus, 0, 255);
            r.number(*t, "device", p.device, 0, 31);
            r.number(*t, "function", p.function, 0, 7);
            r.number(*t, "vendor_id", p.vendor_id, 0, 0xFFFF);
            r.number(*t, "device_id", p.device_id, 0, 0xFFFF);
            r.number(*t, "class_code", p.class_code, 0, 0xFFFFFF);
            for (const PciDeviceDescription& other : d.pci) {
                if (other.bus == p.bus && other.device == p.device && other.function == p.function) {
                    r.fail(&node, "a PCI device at this bus, device and function is already described");
                }
            }
            d.pci.push_back(p);
        }
    }
    if (const toml::node* isa = root.get("isa_device")) {
        const toml::array* list = isa->as_array();
        if (list == nullptr) r.fail(isa, "other devices are written as [[isa_device]] tables");
        for (const toml::node& node : *list) {
            const toml::table* t = node.as_table();
            if (t == nullptr) r.fail(&node, "other devices are written as [[isa_device]] tables");
            r.only(*t, {"name", "io_base", "io_length", "irq"}, "[[isa_device]]");
            IsaDeviceDescription device;
            device.name = "device " + std::to_string(d.isa_devices.size() + 1);
            r.text(*t, "name", device.name, 64);
            r.number(*t, "io_base", device.io_base, 0, 0xFFFF);
            r.number(*t, "io_length", device.io_length, 0, 0x10000);
            if (device.io_base + device.io_length > 0x10000) r.fail(&node, "the device's range leaves the I/O space");
            if (t->get("irq") != nullptr) {
                std::uint8_t irq = 0;
                r.number(*t, "irq", irq, 0, 15);
                device.irq = irq;
            }
            d.isa_devices.push_back(std::move(device));
        }
    }
    return d;
}

MachineDescription load_description(const std::filesystem::path& directory) {
    const std::filesystem::path file = directory / kDescriptionFile;
    std::ifstream in(file, std::ios::binary);
    if (!in) throw DescriptionError(file.string() + ": cannot be read (is this a machine directory? `orvo init DIR` makes one)");
    std::stringstream buffer;
    buffer << in.rdbuf();
    return parse_description(buffer.str(), directory, file.string());
}

std::string default_description_text() {
    return R"(# An Orvo-88 machine: a PC with the Orvo-88 Sound/SCSI PC Card.
# Numbers may be written in hexadecimal (0x340). Files are relative to this directory.

[system]
os = "nt4"            # nt351 | nt4 | win2000 | win95 | win98
build = "orvont"      # the driver Windows loads: orvontx | orvont | orvo95a | orvo95
io_cycle_ns = 1000    # virtual time of one port access (an ISA / PC Card I/O cycle)

[user]
shutdown_privilege = true        # the user may restart Windows
open_process_token_fails = false

[socket_controller]   # 82365-compatible PC Card controller
present = true
port = 0x3E0          # index port; the data port follows it (sockets 4-7: port + 2, + 3)
sockets = 2           # 1 to 8
id = 0x83             # identification register; 0x80-0x8F answers as a memory-and-I/O socket

[card]                # the Orvo-88
present = true
socket = 0
io_base = 0x340       # the range the operating system assigns to the card
io_length = 32
irq = 5
chip_id = 0x05        # FAS408 identification (bits 2..0 are 2 or 5 on a real chip)

# Other PC Cards in the controller's sockets: a card of the catalogue (qtv601, qtv604,
# card230, card210, card47, woxra2), or a raw CIS file (at most 512 bytes):
# [[pccard]]
# socket = 1
# type = "card47"
# cis = "mycard.cis"

# SCSI devices, IDs 0-6 (7 is the adapter). Behaviour switches, all optional:
#   min_period_factor, max_offset     own synchronous limits (4 ns units; 0 offset = async)
#   reject_sdtr, initiate_sdtr, initiate_wdtr
#   disconnect_after_command, disconnect_after_bytes, ignore_disconnect_privilege,
#   restore_pointers_after_reselect, reselect_delay_us
#   busy_count, check_condition_count, data_length_delta, stuck_phase ("data-in", ...),
#   odd_extended_length, change_phase_mid_message, bad_parity
[[device]]
id = 0
type = "disk"
image = "disk0.img"   # raw image, created sparse at size_mib when missing
size_mib = 64
vendor = "ORVO"
product = "VIRTUAL DISK"
revision = "1.0"

[[device]]
id = 3
type = "cdrom"
image = "cdrom3.iso"  # 2048-byte blocks, read-only
vendor = "ORVO"
product = "VIRTUAL CD-ROM"
revision = "1.0"

# PCI devices seen through configuration mechanism 1, for example a CardBus bridge:
# [[pci]]
# bus = 0
# device = 31
# function = 0
# vendor_id = 0x104C
# device_id = 0xAC12
# class_code = 0x060700

# Other devices of the PC: the operating system gives their ports and IRQ to nobody else.
[[isa_device]]
name = "sound card"
io_base = 0x220
io_length = 16
irq = 7
)";
}

} // namespace orvo::machine
