#include "tests/frame/driver_rig.h"

#include <unistd.h>

namespace orvo::testing {

std::string DriverModule(const std::string& build) { return std::string(ORVO_DRIVER_DIR) + "/" + build + ".so"; }

ScratchDir::ScratchDir() {
    static int serial = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("orvo-rig-" + std::to_string(getpid()) + "-" + std::to_string(serial++));
    std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

DriverRig::DriverRig(const std::string& build, RigOptions options) : build_(build) {
    machine::MachineDescription description = machine::default_description(dir_.path());
    description.devices.resize(1);  // the disk at ID 0
    description.devices[0].size_bytes = 8u << 20;
    if (options.machine) options.machine(description);
    pc_ = std::make_unique<machine::SimulatedPc>(std::move(description));
    pc_->bus().trace().keep_lines(true);

    scsiport::HostConfig config;
    if (build != "orvontx") {
        pc_->place_configured_card(build);
        const auto& card = pc_->description().card;
        config.adapter.first_access_range = scsiport::BusRange{card.io_base, card.io_length, false};
    }
    config.adapter.argument_string = options.param;
    host_ = std::make_unique<scsiport::PortDriver>(pc_->backplane(), config);
    guard_.attach(*host_);
    host_->load_module(DriverModule(build));
}

DriverRig::~DriverRig() {
    host_->shutdown();
    guard_.verify();
}

void DriverRig::clear_unit_attention(UCHAR target) {
    scsiport::RequestSpec tur;
    tur.target = target;
    tur.cdb = {0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 3 && execute(tur).scsi_status != SCSISTAT_GOOD; ++i) {
    }
}

scsiport::RequestSpec DriverRig::read10(UCHAR target, std::uint32_t lba, std::uint16_t blocks) {
    scsiport::RequestSpec spec;
    spec.target = target;
    spec.cdb = {0x28, 0, std::uint8_t(lba >> 24), std::uint8_t(lba >> 16), std::uint8_t(lba >> 8), std::uint8_t(lba),
                0, std::uint8_t(blocks >> 8), std::uint8_t(blocks), 0};
    spec.data_in_length = blocks * 512u;
    return spec;
}

scsiport::RequestSpec DriverRig::write10(UCHAR target, std::uint32_t lba, std::vector<std::uint8_t> data) {
    const auto blocks = static_cast<std::uint16_t>(data.size() / 512);
    scsiport::RequestSpec spec;
    spec.target = target;
    spec.cdb = {0x2A, 0, std::uint8_t(lba >> 24), std::uint8_t(lba >> 16), std::uint8_t(lba >> 8), std::uint8_t(lba),
                0, std::uint8_t(blocks >> 8), std::uint8_t(blocks), 0};
    spec.data_out = std::move(data);
    return spec;
}

} // namespace orvo::testing
