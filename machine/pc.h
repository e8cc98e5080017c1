#pragma once
// A simulated PC put together from its description: the backplane (clock, ports, memory),
// the SCSI bus with its targets on their image files, the socket controller with the Orvo-88
// and any other PC Cards in its sockets, PCI configuration space, and the card's FAS408.
//
// The FAS408 answers wherever the Orvo-88 decodes it: the card puts it on the bus once it is
// powered, configured and given an I/O window (as orvontx does through the controller), or
// place_configured_card puts it where the operating system's set-up leaves it for the other
// builds.

#include "machine/description.h"
#include "machine/fas408/fas408.h"
#include "machine/io/backplane.h"
#include "machine/pci/config_space.h"
#include "machine/pcmcia/pc_card.h"
#include "machine/pcmcia/socket_controller.h"
#include "machine/scsi/bus.h"
#include "machine/scsi/target.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvo::machine {

class SimulatedPc {
public:
    // Opens (or creates, for disks) every image and reads every CIS file. Throws
    // DescriptionError or std::runtime_error naming the file or value that cannot be used.
    explicit SimulatedPc(MachineDescription description);
    ~SimulatedPc();
    SimulatedPc(const SimulatedPc&) = delete;
    SimulatedPc& operator=(const SimulatedPc&) = delete;

    const MachineDescription& description() const { return description_; }
    io::Backplane& backplane() { return backplane_; }
    scsi::ScsiBus& bus() { return bus_; }
    fas408::Fas408& chip() { return chip_; }
    scsi::ScsiTarget* target(unsigned id) { return id < targets_.size() ? targets_[id].get() : nullptr; }
    // nullptr when the machine has no socket controller / no Orvo-88.
    pcmcia::SocketController* socket_controller() { return controller_.get(); }
    pcmcia::PcCard* orvo88() { return orvo88_; }
    pci::ConfigSpace& pci() { return pci_; }
    // Where the FAS408 answers now, if anywhere.
    std::optional<std::uint16_t> chip_base() const { return chip_base_; }

    // Where the chip sits in the range the operating system assigned to the card, for a build
    // that finds the card configured: orvont at +0x400, orvo95a at +0x10, orvo95 at the start.
    static std::uint32_t chip_offset_for(const std::string& build);
    // Puts the card's chip where that build looks for it (the card configured by the operating
    // system) and returns its base port.
    std::uint16_t place_configured_card(const std::string& build);
    // The same for a range start the operating system chose itself.
    std::uint16_t place_configured_card(const std::string& build, std::uint32_t range_start);

    // ---- Hardware that goes away ---------------------------------------------------------
    // Pulls the Orvo-88: out of its socket when it sits in one (the controller then sees no
    // card and the card decodes nothing through its windows), and its chip leaves the I/O
    // space wherever it answered (also where the operating system placed it). The chip's
    // ports read all ones from then on, as an empty bus does, and the chip, without power,
    // answers no reselection. A pulled card stays out. Nothing happens without an Orvo-88.
    void remove_card();
    // The same at virtual time `when`, as an event on the clock: the port access or stall that
    // brings the clock to `when` already finds the card gone.
    void remove_card_at(io::Nanoseconds when);
    bool card_removed() const { return card_removed_; }
    // The socket controller leaves the bus (SocketController::remove): its ports read all
    // ones and the cards it powered lose power, so a chip that orvontx set up leaves the I/O
    // space with them. Nothing happens without a controller.
    void remove_socket_controller();
    // The same once the controller has served `accesses` more port accesses, so that a test
    // can pull it after any access of a driver's work (0: at once).
    void remove_socket_controller_after(std::uint64_t accesses);

private:
    void attach_device(const DeviceDescription& device);
    void build_pcmcia();
    void build_pci();
    void insert(unsigned socket, pcmcia::CardModel model);
    // Moves the chip to base (none: off the bus); false when the ports are taken.
    bool place_chip(std::optional<std::uint16_t> base);

    MachineDescription description_;
    io::Backplane backplane_;
    scsi::ScsiBus bus_;
    fas408::Fas408 chip_;
    std::array<std::unique_ptr<scsi::ScsiTarget>, 8> targets_;
    std::optional<std::uint16_t> chip_base_;
    pci::ConfigSpace pci_;
    std::vector<std::unique_ptr<pcmcia::PcCard>> cards_;
    pcmcia::PcCard* orvo88_ = nullptr;
    std::unique_ptr<pcmcia::SocketController> controller_;  // last: it points at the cards
    bool card_removed_ = false;
};

} // namespace orvo::machine
