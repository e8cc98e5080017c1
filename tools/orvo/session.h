#pragma once
// One run of the simulated PC for the orvo commands: the machine (from its directory, or
// the default machine in a temporary folder), the port driver with the chosen build, and
// the traces the user asked for.

#include "machine/pc.h"
#include "machine/registry/store.h"
#include "scsiport/host/port_driver.h"
#include "system/windows_start.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvo::tool {

struct SessionOptions {
    std::optional<std::filesystem::path> machine_dir;  // none: $ORVO_MACHINE, else the default
    std::optional<std::string> build;                  // none: the machine's
    std::optional<std::string> param;                  // the option string for this run
    std::optional<std::filesystem::path> port_trace;
    std::optional<std::filesystem::path> bus_trace;
};

// A temporary folder removed when the session ends.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Where the driver modules of this installation are.
std::filesystem::path driver_module(const std::string& build);

class Session {
public:
    explicit Session(const SessionOptions& options);
    ~Session();

    // Loads the build: discovery, initialisation, and the port driver's bus scan.
    void boot();

    const std::string& build() const { return build_; }
    machine::SimulatedPc& pc() { return *pc_; }
    scsiport::PortDriver& host() { return *host_; }
    const std::vector<scsiport::ScannedUnit>& devices() const { return devices_; }
    const system::StartReport& windows() const { return windows_; }
    bool found() const;
    bool initialized() const { return host_->ready(); }

    // The summary every command prints: what was found, the adapter record, what went wrong.
    nlohmann::ordered_json summary() const;

private:
    std::unique_ptr<ScratchDirectory> scratch_;
    std::string build_;
    std::optional<std::string> param_;
    std::unique_ptr<machine::SimulatedPc> pc_;
    std::unique_ptr<registry::Store> registry_;
    system::StartReport windows_;
    std::unique_ptr<scsiport::PortDriver> host_;
    std::vector<scsiport::ScannedUnit> devices_;
    std::ofstream port_trace_;
    std::ofstream bus_trace_;
};

} // namespace orvo::tool
