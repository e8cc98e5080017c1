#include "machine/pc.h"

#include "machine/pcmcia/catalogue.h"
#include "machine/scsi/cdrom.h"
#include "machine/scsi/disk.h"

#include <cstdio>
#include <stdexcept>

namespace orvo::machine {

namespace {
std::string hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}
} // namespace

SimulatedPc::SimulatedPc(MachineDescription description)
    : description_(std::move(description)), bus_(backplane_.clock),
      chip_(backplane_.clock, bus_, fas408::Fas408Config{.chip_id = description_.card.chip_id}) {
    backplane_.ports.set_cycle(description_.io_cycle);
    for (const DeviceDescription& device : description_.devices) attach_device(device);
    build_pci();
    build_pcmcia();
}

SimulatedPc::~SimulatedPc() {
    if (controller_) controller_->detach();
    place_chip(std::nullopt);
}

void SimulatedPc::attach_device(const DeviceDescription& device) {
    auto target = std::make_unique<scsi::ScsiTarget>(bus_, device.id, device.behaviour);
    const scsi::Identity identity{device.vendor.c_str(), device.product.c_str(), device.revision.c_str()};
    const std::string path = description_.resolve(device.image).string();
    if (device.kind == DeviceKind::Disk) {
        target->attach_unit(0, std::make_unique<scsi::DiskUnit>(
                                   scsi::ImageFile::open_or_create(path, device.size_bytes), identity));
    } else {
        // A drive whose disc file is missing is a drive without a disc.
        std::optional<scsi::ImageFile> disc;
        if (!device.image.empty() && std::filesystem::exists(path)) {
            disc.emplace(scsi::ImageFile::open_read_only(path));
        }
        target->attach_unit(0, std::make_unique<scsi::CdromUnit>(std::move(disc), identity));
    }
    targets_[device.id] = std::move(target);
}

void SimulatedPc::build_pci() {
    try {
        for (const PciDeviceDescription& p : description_.pci) {
            pci_.add({p.bus, p.device, p.function, p.vendor_id, p.device_id, p.class_code});
        }
        pci_.attach(backplane_.ports);
    } catch (const std::invalid_argument& e) {
        throw DescriptionError(std::string("PCI configuration space: ") + e.what());
    }
}

void SimulatedPc::build_pcmcia() {
    const SocketControllerDescription& c = description_.socket_controller;
    if (c.present) {
        controller_ = std::make_unique<pcmcia::SocketController>(
            backplane_.memory, pcmcia::ControllerConfig{c.port, c.sockets, c.id});
        try {
            controller_->attach(backplane_.ports);
        } catch (const std::invalid_argument&) {
            throw DescriptionError("the socket controller's ports from " + hex(c.port) + " are taken by another device");
        }
    }
    if (description_.card.present) {
        insert(description_.card.socket, pcmcia::catalogue_card(pcmcia::kOrvo88));
        orvo88_ = cards_.back().get();
        orvo88_->set_function_placer([this](std::optional<std::uint16_t> base) { return place_chip(base); });
    }
    for (const PcCardDescription& card : description_.pc_cards) {
        if (!card.catalogue.empty()) {
            insert(card.socket, pcmcia::catalogue_card(card.catalogue));
            continue;
        }
        try {
            insert(card.socket, pcmcia::card_from_cis_file(description_.resolve(card.cis_file)));
        } catch (const std::runtime_error& e) {
            throw DescriptionError(e.what());
        }
    }
}

// Without a controller the card exists but sits in no socket: only the operating system's
// placement (place_configured_card) can put its chip on the bus.
void SimulatedPc::insert(unsigned socket, pcmcia::CardModel model) {
    cards_.push_back(std::make_unique<pcmcia::PcCard>(std::move(model)));
    if (controller_) controller_->insert_card(socket, *cards_.back());
}

bool SimulatedPc::place_chip(std::optional<std::uint16_t> base) {
    if (base == chip_base_) return true;
    if (chip_base_) chip_.detach();
    chip_base_.reset();
    if (!base) return true;
    if (std::uint32_t{*base} + 16 > io::IoSpace::kPorts) return false;
    try {
        chip_.attach(backplane_.ports, *base);
    } catch (const std::invalid_argument&) {
        return false;
    }
    chip_base_ = base;
    return true;
}

void SimulatedPc::remove_card() {
    if (orvo88_ == nullptr || card_removed_) return;
    card_removed_ = true;
    const unsigned socket = description_.card.socket;
    if (controller_ && controller_->card(socket) == orvo88_) controller_->remove_card(socket);
    place_chip(std::nullopt);  // also where the operating system's set-up put it
    chip_.set_removed_from(backplane_.clock.now());
}

void SimulatedPc::remove_card_at(io::Nanoseconds when) {
    backplane_.clock.schedule_at(when, [this] { remove_card(); });
}

void SimulatedPc::remove_socket_controller() { remove_socket_controller_after(0); }

void SimulatedPc::remove_socket_controller_after(std::uint64_t accesses) {
    if (controller_) controller_->remove_after(accesses);
}

std::uint32_t SimulatedPc::chip_offset_for(const std::string& build) {
    if (build == "orvont") return 0x400;
    if (build == "orvo95a") return 0x10;
    if (build == "orvo95") return 0;
    throw std::invalid_argument("the card of build " + build + " is not configured by the operating system");
}

std::uint16_t SimulatedPc::place_configured_card(const std::string& build) {
    return place_configured_card(build, description_.card.io_base);
}

std::uint16_t SimulatedPc::place_configured_card(const std::string& build, std::uint32_t range_start) {
    const std::uint32_t base = range_start + chip_offset_for(build);
    if (base + 16 > io::IoSpace::kPorts) throw DescriptionError("the card's chip would leave the I/O space");
    if (!place_chip(static_cast<std::uint16_t>(base))) {
        throw DescriptionError("the card's chip ports from " + hex(base) + " are taken by another device");
    }
    return static_cast<std::uint16_t>(base);
}

} // namespace orvo::machine
