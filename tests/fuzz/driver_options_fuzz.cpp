// The driver's option string: any bytes become the ArgumentString of one build's discovery on
// a small simulated PC set up the way that build expects (orvontx finds and configures its
// card in the socket controller; the other builds get the range the operating system gave the
// card), then, when the adapter came up, a few requests to the disk at ID 0.
//
// Compiled once per build (the build's switches come with its static library). Checked for
// every input: no crash or overrun (the sanitizers), a clean miniport contract, bounded
// virtual time, a sane adapter record, resources that match the machine, discovery that only
// resource keywords can make fail, and a READ that succeeds returning the disk's bytes. A
// string with a NUL inside must act exactly as its part before the NUL: the driver never
// reads past the end of its string.

#include "ScsiMiniPort/routines.h"
#include "machine/description.h"
#include "machine/pc.h"
#include "machine/pcmcia/registers.h"
#include "machine/scsi/cdrom.h"
#include "machine/scsi/disk.h"
#include "machine/scsi/target.h"
#include "tests/fuzz/adapter_record_checks.h"
#include "tests/fuzz/harness_checks.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvo::fuzz {
namespace {

// The build, and the range its discovery claims: orvontx the card's 32 ports with the chip in
// the upper half; the others exactly the ports they map, the chip at their start.
#if ORVO_SOCKET_SETUP
constexpr const char* kBuild = "orvontx";
constexpr ULONG kClaimedLength = 0x20;
constexpr ULONG kChipInClaim = 0x10;
#else
#if !ORVO_WIN95
constexpr const char* kBuild = "orvont";
#elif ORVO_CHIP_OFFSET == 0x10
constexpr const char* kBuild = "orvo95a";
#else
constexpr const char* kBuild = "orvo95";
#endif
constexpr ULONG kClaimedLength = ORVO_CHIP_RANGE;
constexpr ULONG kChipInClaim = 0;
#endif

constexpr std::uint8_t kDiskId = 0;
// Every other ID but the adapter's own holds a CD-ROM drive without a disc, so that the
// device check's probes are answered rather than each waiting out a selection time-out.
constexpr std::uint8_t kLastDriveId = 6;
constexpr std::uint32_t kDiskBlocks = 128;
constexpr std::uint32_t kBlockSize = 512;
constexpr unsigned kOrvo88Socket = 1;  // a card of another kind sits in socket 0
// Discovery, initialisation and three requests. The longest legitimate run: "RESET=FF" (255 s
// of settle time after each bus reset) with the device check, whose probes of the absent
// targets each wait out a selection time-out.
constexpr io::Nanoseconds kVirtualTimeLimit = 1200 * io::kSecond;

std::uint8_t disk_byte(std::uint64_t offset) { return static_cast<std::uint8_t>(offset / kBlockSize * 7 + offset); }

// The disk's image: an anonymous in-memory file, made once and only ever read, so inputs
// cannot influence each other through it and no file is left behind.
const std::string& disk_image_path() {
    static const std::string path = [] {
        const int fd = memfd_create("orvo-fuzz-disk", 0);
        if (fd < 0) property_broken("no in-memory file for the disk image");
        std::vector<std::uint8_t> bytes(std::size_t{kDiskBlocks} * kBlockSize);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = disk_byte(i);
        if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            property_broken("cannot fill the disk image");
        }
        return "/proc/self/fd/" + std::to_string(fd);
    }();
    return path;
}

machine::MachineDescription fuzz_machine() {
    machine::MachineDescription d;  // Windows NT 4.0, the controller at 0x3E0, no SCSI devices
    d.card.socket = kOrvo88Socket;
    d.pc_cards.push_back({0, "card47", {}});
    return d;
}

scsiport::RequestSpec inquiry() {
    scsiport::RequestSpec spec;
    spec.target = kDiskId;
    spec.cdb = {0x12, 0, 0, 0, 36, 0};
    spec.data_in_length = 36;
    return spec;
}

scsiport::RequestSpec read_block(std::uint32_t lba) {
    scsiport::RequestSpec spec;
    spec.target = kDiskId;
    spec.cdb = {0x28, 0, 0, 0, 0, static_cast<std::uint8_t>(lba), 0, 0, 1, 0};
    spec.data_in_length = kBlockSize;
    return spec;
}

// Everything a run shows of what the driver made of its string.
struct Outcome {
    std::optional<ULONG> found;
    scsiport::AdapterState state = scsiport::AdapterState::NoDriver;
    std::vector<std::uint8_t> record;  // the adapter record's bytes, CurrentLu cleared
    std::vector<std::uint8_t> requests;  // status, SCSI status and length of each request
    io::Nanoseconds end_time = 0;
    bool operator==(const Outcome&) const = default;
};

void append_result(Outcome& outcome, const scsiport::RequestResult& r) {
    const ULONG length = r.data_transfer_length;
    outcome.requests.insert(outcome.requests.end(),
                            {r.srb_status, r.scsi_status, static_cast<std::uint8_t>(length),
                             static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(r.timed_out)});
}

void require_request_ended(const scsiport::RequestResult& r, std::uint32_t buffer, const char* what) {
    if (r.state != scsiport::RequestState::Completed) {
        property_broken("%s did not complete (%s)", what, scsiport::to_string(r.state));
    }
    if (r.data_transfer_length > buffer) {
        property_broken("%s reports %lu bytes moved for a buffer of %u", what,
                        static_cast<unsigned long>(r.data_transfer_length), buffer);
    }
}

// The resource keywords are the only part of the string that can keep orvontx from finding
// its card; each is recognised by its name and any one character after it.
bool names_a_resource(std::string_view text) {
    for (const char* name : {"MEM", "PCIC", "IRQ", "IOBASE"}) {
        if (text.find(name) != std::string_view::npos) return true;
    }
    return false;
}

#if ORVO_SOCKET_SETUP
// The controller port a "PCIC=" option names (its name, any one character, up to four hex
// digits), if any. The system knows the controller sits where the user says: the driver's
// index and data port accesses there are the platform's, not stray ones.
std::optional<std::uint32_t> named_controller_port(std::string_view text) {
    const std::size_t at = text.find("PCIC");
    if (at == std::string_view::npos) return std::nullopt;
    std::uint32_t port = 0;
    std::size_t digit = at + 5;
    for (; digit < text.size() && digit < at + 9 && std::isxdigit(static_cast<unsigned char>(text[digit])); ++digit) {
        const char c = text[digit];
        port = port * 16 + static_cast<std::uint32_t>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    }
    if (digit == at + 5 || port == 0) return std::nullopt;
    return port;
}
#endif

// The claimed range, ChipBase and the machine agree: the chip the driver addresses is where
// the card put it.
void require_resources_match_machine(machine::SimulatedPc& pc, scsiport::PortDriver& host, const ADAPTER_EXTENSION& ad) {
    const auto ranges = host.access_ranges();
    if (ranges.size() != 1) property_broken("%zu access ranges reported", ranges.size());
    const ACCESS_RANGE& range = ranges[0];
    const auto start = static_cast<std::uint64_t>(range.RangeStart.QuadPart);
    if (range.RangeInMemory || range.RangeLength != kClaimedLength ||
        start + range.RangeLength > io::IoSpace::kPorts) {
        property_broken("access range 0x%llX+0x%lX%s", static_cast<unsigned long long>(start),
                        static_cast<unsigned long>(range.RangeLength), range.RangeInMemory ? " in memory" : "");
    }
    const auto chip = reinterpret_cast<std::uintptr_t>(ad.ChipBase);
    if (chip != start + kChipInClaim || pc.chip_base() != std::optional<std::uint16_t>(chip)) {
        property_broken("ChipBase 0x%lX in range 0x%llX, the chip answers at 0x%X", static_cast<unsigned long>(chip),
                        static_cast<unsigned long long>(start), pc.chip_base() ? unsigned{*pc.chip_base()} : 0u);
    }
#if ORVO_SOCKET_SETUP
    // The card is configured and running, the attribute window closed again, and the IRQ
    // steering left the card-reset and I/O-card bits as the power-up set them.
    const pcmcia::SocketController& controller = *pc.socket_controller();
    const std::uint8_t control = controller.peek(kOrvo88Socket, pcmcia::reg::kInterruptControl);
    const std::uint8_t windows = controller.peek(kOrvo88Socket, pcmcia::reg::kWindowEnable);
    if (!pc.orvo88()->configured() || (control & 0xF0) != (pcmcia::intctl::kResetReleased | pcmcia::intctl::kIoCard) ||
        (windows & pcmcia::winen::kMem0) != 0) {
        property_broken("card found but socket left with interrupt control 0x%02X, windows 0x%02X, COR 0x%02X",
                        unsigned{control}, unsigned{windows}, unsigned{pc.orvo88()->cor()});
    }
#endif
}

Outcome run_build(std::string_view argument) {
    machine::SimulatedPc pc(fuzz_machine());
    std::vector<std::unique_ptr<scsi::ScsiTarget>> targets;
    targets.push_back(std::make_unique<scsi::ScsiTarget>(pc.bus(), kDiskId));
    targets.back()->attach_unit(0, std::make_unique<scsi::DiskUnit>(scsi::ImageFile::open_read_only(disk_image_path())));
    for (std::uint8_t id = kDiskId + 1; id <= kLastDriveId; ++id) {
        targets.push_back(std::make_unique<scsi::ScsiTarget>(pc.bus(), id));
        targets.back()->attach_unit(0, std::make_unique<scsi::CdromUnit>(std::nullopt));
    }

    scsiport::HostConfig config;
#if !ORVO_SOCKET_SETUP
    pc.place_configured_card(kBuild);
    const machine::CardDescription& card = pc.description().card;
    config.adapter.first_access_range = scsiport::BusRange{card.io_base, card.io_length, false};
    config.adapter.bus_interrupt_level = config.adapter.bus_interrupt_vector = card.irq;
#endif
    config.adapter.argument_string = std::string(argument);
    scsiport::PortDriver host(pc.backplane(), config);
#if ORVO_SOCKET_SETUP
    if (const auto port = named_controller_port(argument.substr(0, argument.find('\0')))) {
        host.allow_platform_ports(*port, 2);
    }
#endif
    const VirtualTimeLimit limit(pc.backplane().clock, kVirtualTimeLimit, "the option string's run");

    Outcome outcome;
    host.load_entry(DriverEntry);
    require_clean_contract(host, "in discovery and initialisation");
    outcome.found = host.find_adapter_result();
    outcome.state = host.adapter_state();
    if (outcome.found != std::optional<ULONG>(SP_RETURN_FOUND) && outcome.found != std::optional<ULONG>(SP_RETURN_NOT_FOUND)) {
        property_broken("discovery answered %s", outcome.found ? std::to_string(*outcome.found).c_str() : "nothing");
    }
    if (host.again_requested()) property_broken("discovery asked to be called again");
    const std::string_view before_nul = argument.substr(0, argument.find('\0'));
    const bool must_come_up = !ORVO_SOCKET_SETUP || !names_a_resource(before_nul);
    if (must_come_up && !host.ready()) {
        property_broken("%s: adapter %s although only slash options were given", kBuild,
                        scsiport::to_string(host.adapter_state()));
    }

    if (outcome.found == std::optional<ULONG>(SP_RETURN_FOUND)) {
        const auto& ad = *static_cast<const ADAPTER_EXTENSION*>(host.device_extension());
        require_sane_adapter_record(ad, "after discovery");
        require_resources_match_machine(pc, host, ad);
    }
    if (host.ready()) {
        const auto identity = host.execute(inquiry());
        require_request_ended(identity, 36, "INQUIRY");
        append_result(outcome, identity);
        for (const std::uint32_t lba : {1u, 2u}) {  // the first may report the power-on unit attention
            const auto read = host.execute(read_block(lba));
            require_request_ended(read, kBlockSize, "READ(10)");
            append_result(outcome, read);
            if (read.srb_status != SRB_STATUS_SUCCESS) continue;
            for (std::size_t i = 0; i < read.data.size(); ++i) {
                if (read.data[i] != disk_byte(lba * kBlockSize + i)) {
                    property_broken("READ(10) of block %u succeeded with byte %zu wrong", lba, i);
                }
            }
        }
        const auto& ad = *static_cast<const ADAPTER_EXTENSION*>(host.device_extension());
        require_sane_adapter_record(ad, "after the requests");
    }
    host.shutdown();
    require_clean_contract(host, "by the end");

    if (outcome.found == std::optional<ULONG>(SP_RETURN_FOUND)) {
        ADAPTER_EXTENSION record;
        std::memcpy(&record, host.device_extension(), sizeof record);
        record.CurrentLu = nullptr;  // points into this run's host
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
        outcome.record.assign(bytes, bytes + sizeof record);
    }
    outcome.end_time = pc.backplane().clock.now();
    return outcome;
}

} // namespace
} // namespace orvo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orvo::fuzz;
    const std::string_view argument(reinterpret_cast<const char*>(data), size);
    const Outcome outcome = run_build(argument);
    const std::size_t nul = argument.find('\0');
    if (nul != std::string_view::npos && run_build(argument.substr(0, nul)) != outcome) {
        property_broken("the bytes after the string's NUL changed what the driver did");
    }
    return 0;
}
