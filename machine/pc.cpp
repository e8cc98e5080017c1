#include "machine/pc.h"

#include "machine/scsi/cdrom.h"
#include "machine/scsi/disk.h"

#include <stdexcept>

namespace orvo::machine {

SimulatedPc::SimulatedPc(MachineDescription description)
    : description_(std::move(description)), bus_(backplane_.clock),
      chip_(backplane_.clock, bus_, fas408::Fas408Config{.chip_id = description_.card.chip_id}) {
    backplane_.ports.set_cycle(description_.io_cycle);
    for (const DeviceDescription& device : description_.devices) attach_device(device);
}

SimulatedPc::~SimulatedPc() {
    if (chip_attached_) chip_.detach();
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

std::uint32_t SimulatedPc::chip_offset_for(const std::string& build) {
    if (build == "orvont") return 0x400;
    if (build == "orvo95a") return 0x10;
    if (build == "orvo95") return 0;
    throw std::invalid_argument("the card of build " + build + " is not configured by the operating system");
}

std::uint16_t SimulatedPc::place_configured_card(const std::string& build) {
    const std::uint32_t base = description_.card.io_base + chip_offset_for(build);
    if (base + 16 > io::IoSpace::kPorts) throw DescriptionError("the card's chip would leave the I/O space");
    if (chip_attached_) chip_.detach();
    chip_.attach(backplane_.ports, static_cast<std::uint16_t>(base));
    chip_attached_ = true;
    return static_cast<std::uint16_t>(base);
}

} // namespace orvo::machine
