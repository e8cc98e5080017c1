#pragma once
// A driver build loaded on a small simulated PC: a disk at ID 0 and whatever the test adds,
// the card configured where the build expects it, every contract violation a failure.

#include "machine/pc.h"
#include "scsiport/host/port_driver.h"
#include "tests/scsiport/contract_guard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvo::testing {

std::string DriverModule(const std::string& build);

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

struct RigOptions {
    std::optional<std::string> param;
    // Changes to the machine before it is built (devices, behaviour switches).
    std::function<void(machine::MachineDescription&)> machine;
};

class DriverRig {
public:
    DriverRig(const std::string& build, RigOptions options = {});
    ~DriverRig();

    machine::SimulatedPc& pc() { return *pc_; }
    scsiport::PortDriver& host() { return *host_; }
    scsiport::testing::ContractGuard& guard() { return guard_; }
    const std::string& build() const { return build_; }
    bool win95() const { return build_ == "orvo95a" || build_ == "orvo95"; }
    template <class Record>
    const Record& record() const { return *static_cast<const Record*>(host_->device_extension()); }

    scsiport::RequestResult execute(scsiport::RequestSpec spec) { return host_->execute(spec); }
    // TEST UNIT READY until the power-on unit attention has been reported.
    void clear_unit_attention(UCHAR target);

    static scsiport::RequestSpec read10(UCHAR target, std::uint32_t lba, std::uint16_t blocks);
    static scsiport::RequestSpec write10(UCHAR target, std::uint32_t lba, std::vector<std::uint8_t> data);

private:
    std::string build_;
    ScratchDir dir_;
    std::unique_ptr<machine::SimulatedPc> pc_;
    std::unique_ptr<scsiport::PortDriver> host_;
    scsiport::testing::ContractGuard guard_;
};

} // namespace orvo::testing
