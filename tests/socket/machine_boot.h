#pragma once
// A driver build loaded by the port driver on a simulated PC made from a machine description
// text, the way the orvo program assembles it: orvontx finds and sets up its card itself; for
// the other builds the card is placed where the operating system's set-up leaves it and its
// range handed to the port driver. Every port access of the boot is kept as a trace line.

#include "machine/description.h"
#include "machine/pc.h"
#include "scsiport/host/port_driver.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvo::test {

class MachineBoot {
public:
    // first_access_range: what the port driver passes to orvontx.
    MachineBoot(std::string_view description, const std::string& build,
                std::optional<std::string> argument_string = std::nullopt,
                std::optional<scsiport::BusRange> first_access_range = std::nullopt)
        : build_(build), pc_(machine::parse_description(description, "/nonexistent", "machine.toml")) {
        scsiport::HostConfig config;
        config.adapter.argument_string = std::move(argument_string);
        config.adapter.first_access_range = first_access_range;
        const machine::CardDescription& card = pc_.description().card;
        if (build != "orvontx") {
            pc_.place_configured_card(build);
            config.adapter.first_access_range = scsiport::BusRange{card.io_base, card.io_length, false};
        }
        host_ = std::make_unique<scsiport::PortDriver>(pc_.backplane(), std::move(config));
        pc_.backplane().ports.set_trace([this](std::string_view line) { trace_.emplace_back(line); });
    }
    ~MachineBoot() { pc_.backplane().ports.set_trace(nullptr); }

    // Loads the build's module from the drivers folder: discovery and initialisation.
    void boot() { host_->load_module(std::string(ORVO_DRIVER_DIR) + "/" + build_ + ".so"); }
    bool found() const { return host_->find_adapter_result() == std::optional<ULONG>(SP_RETURN_FOUND); }

    machine::SimulatedPc& pc() { return pc_; }
    scsiport::PortDriver& host() { return *host_; }
    const std::vector<std::string>& trace() const { return trace_; }
    template <class Record>
    const Record& record() const {
        return *static_cast<const Record*>(host_->device_extension());
    }

private:
    std::string build_;
    machine::SimulatedPc pc_;
    std::unique_ptr<scsiport::PortDriver> host_;
    std::vector<std::string> trace_;
};

} // namespace orvo::test
