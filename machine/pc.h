#pragma once
// A simulated PC put together from its description: the backplane (clock, ports, memory),
// the SCSI bus with its targets on their image files, and the card's FAS408.

#include "machine/description.h"
#include "machine/fas408/fas408.h"
#include "machine/io/backplane.h"
#include "machine/scsi/bus.h"
#include "machine/scsi/target.h"

#include <array>
#include <memory>
#include <string>

namespace orvo::machine {

class SimulatedPc {
public:
    // Opens (or creates, for disks) every image. Throws DescriptionError or std::runtime_error
    // naming the file that cannot be used.
    explicit SimulatedPc(MachineDescription description);
    ~SimulatedPc();
    SimulatedPc(const SimulatedPc&) = delete;
    SimulatedPc& operator=(const SimulatedPc&) = delete;

    const MachineDescription& description() const { return description_; }
    io::Backplane& backplane() { return backplane_; }
    scsi::ScsiBus& bus() { return bus_; }
    fas408::Fas408& chip() { return chip_; }
    scsi::ScsiTarget* target(unsigned id) { return id < targets_.size() ? targets_[id].get() : nullptr; }

    // Where the chip sits in the range the operating system assigned to the card, for a build
    // that finds the card configured: orvont at +0x400, orvo95a at +0x10, orvo95 at the start.
    static std::uint32_t chip_offset_for(const std::string& build);
    // Puts the card's chip where that build looks for it (the card configured by the operating
    // system) and returns its base port.
    std::uint16_t place_configured_card(const std::string& build);

private:
    void attach_device(const DeviceDescription& device);

    MachineDescription description_;
    io::Backplane backplane_;
    scsi::ScsiBus bus_;
    fas408::Fas408 chip_;
    std::array<std::unique_ptr<scsi::ScsiTarget>, 8> targets_;
    bool chip_attached_ = false;
};

} // namespace orvo::machine
