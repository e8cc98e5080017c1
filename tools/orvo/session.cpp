#include "tools/orvo/session.h"

#include "machine/sample_media.h"
#include "system/windows_start.h"
#include "tools/orvo/adapter_record.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace orvo::tool {

namespace fs = std::filesystem;

ScratchDirectory::ScratchDirectory() {
    std::string pattern = (fs::temp_directory_path() / "orvo-machine-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

fs::path driver_module(const std::string& build) {
    if (const char* dir = std::getenv("ORVO_DRIVER_DIR"); dir != nullptr && *dir != '\0') {
        return fs::path(dir) / (build + ".so");
    }
    // Installed beside the build tree: <build>/tools/orvo/orvo and <build>/drivers/.
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return self.parent_path() / ".." / ".." / "drivers" / (build + ".so");
}

namespace {

std::string hex(const std::uint8_t* bytes, std::size_t n) {
    std::string s;
    char digits[3];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
        s += digits;
    }
    return s;
}

const char* device_type_name(UCHAR type) {
    switch (type) {
    case 0x00: return "disk";
    case 0x01: return "tape";
    case 0x05: return "cdrom";
    case 0x07: return "optical";
    default: return "other";
    }
}

// What the driver set up in the Orvo-88's socket, as the controller and the card hold it now
// (orvontx configures the card itself); null when the card sits in no socket.
nlohmann::ordered_json card_setup(machine::SimulatedPc& pc) {
    pcmcia::SocketController* controller = pc.socket_controller();
    const pcmcia::PcCard* card = pc.orvo88();
    if (controller == nullptr || card == nullptr) return nullptr;
    unsigned n = 0;
    while (n < controller->config().sockets && controller->card(n) != card) ++n;
    if (n == controller->config().sockets) return nullptr;
    const pcmcia::Socket& socket = controller->socket(n);
    nlohmann::ordered_json j;
    j["socket"] = n;
    j["state"] = pcmcia::to_string(socket.state());
    if (const auto w = socket.io_window(0)) {
        j["io_window"] = {{"start", w->first}, {"end", w->last}};
    } else {
        j["io_window"] = nullptr;
    }
    const bool io_card = (socket.reg(pcmcia::reg::kInterruptControl) & pcmcia::intctl::kIoCard) != 0;
    j["irq"] = io_card && socket.irq() != 0 ? nlohmann::ordered_json(socket.irq()) : nlohmann::ordered_json(nullptr);
    j["config_index"] = card->configured() ? nlohmann::ordered_json(card->configuration_index()) : nlohmann::ordered_json(nullptr);
    j["cor"] = card->cor();
    return j;
}

nlohmann::ordered_json windows_summary(const machine::MachineDescription& machine, const system::StartReport& w) {
    nlohmann::ordered_json j;
    j["os"] = machine::os_display_name(machine.os);
    j["service"] = w.service;
    j["option_string"] = w.option_string ? nlohmann::ordered_json(*w.option_string) : nlohmann::ordered_json(nullptr);
    j["option_source"] = w.option_source;
    j["card"] = system::to_string(w.card);
    if (!w.detail.empty()) j["detail"] = w.detail;
    if (w.assigned) {
        nlohmann::ordered_json windows = nlohmann::ordered_json::array();
        for (const auto& window : w.assigned->windows) windows.push_back({{"start", window.base}, {"length", window.length}});
        j["assigned"] = {{"io", windows}, {"irq", w.assigned->irq}};
    } else {
        j["assigned"] = nullptr;
    }
    j["restarts_requested"] = w.restarts_requested;
    return j;
}

} // namespace

Session::Session(const SessionOptions& options) : param_(options.param) {
    machine::MachineDescription description;
    std::optional<fs::path> dir = options.machine_dir;
    if (!dir) {
        if (const char* env = std::getenv("ORVO_MACHINE"); env != nullptr && *env != '\0') dir = fs::path(env);
    }
    if (dir) {
        description = machine::load_description(*dir);
    } else {
        scratch_ = std::make_unique<ScratchDirectory>();
        description = machine::default_description(scratch_->path());
        machine::write_sample_cd_image(scratch_->path() / "cdrom3.iso");
    }
    build_ = options.build.value_or(description.build);
    if (!machine::is_build(build_)) throw std::invalid_argument("unknown build '" + build_ + "' (orvontx, orvont, orvo95a, orvo95)");

    pc_ = std::make_unique<machine::SimulatedPc>(std::move(description));
    if (options.port_trace) {
        port_trace_.open(*options.port_trace);
        if (!port_trace_) throw std::runtime_error(options.port_trace->string() + ": cannot be written");
        pc_->backplane().ports.set_trace([this](std::string_view line) { port_trace_ << line << '\n'; });
    }
    if (options.bus_trace) {
        bus_trace_.open(*options.bus_trace);
        if (!bus_trace_) throw std::runtime_error(options.bus_trace->string() + ": cannot be written");
        pc_->bus().trace().set_sink([this](std::string_view line) { bus_trace_ << line << '\n'; });
    }

    // Windows starts: the card's resources and the option string come from the registry.
    registry_ = pc_->description().directory.empty() || scratch_
                    ? std::make_unique<registry::Store>()
                    : std::make_unique<registry::Store>(pc_->description().registry_file());
    windows_ = system::start_windows(*pc_, *registry_, {build_, param_});
    scsiport::HostConfig config;
    config.adapter = windows_.adapter;
    host_ = std::make_unique<scsiport::PortDriver>(pc_->backplane(), std::move(config));
}

Session::~Session() = default;

void Session::boot() {
    host_->load_module(driver_module(build_));
    if (host_->ready()) devices_ = host_->scan_bus();
}

bool Session::found() const {
    return host_->find_adapter_result() == std::optional<ULONG>(SP_RETURN_FOUND);
}

nlohmann::ordered_json Session::summary() const {
    nlohmann::ordered_json j;
    j["build"] = build_;
    j["found"] = found();
    j["initialized"] = host_->ready();
    const auto ranges = host_->access_ranges();
    if (found() && !ranges.empty()) {
        j["access_range"] = {{"start", static_cast<std::uint64_t>(ranges[0].RangeStart.QuadPart)},
                             {"length", ranges[0].RangeLength}};
    } else {
        j["access_range"] = nullptr;
    }
    nlohmann::ordered_json record;
    if (found()) {
        record = adapter_record_fields(build_, host_->device_extension());
        j["chip_base"] = record["ChipBase"];
    } else {
        j["chip_base"] = nullptr;
    }
    nlohmann::ordered_json devices = nlohmann::ordered_json::array();
    for (const scsiport::ScannedUnit& unit : devices_) {
        devices.push_back({{"target", unit.target}, {"lun", unit.lun},
                           {"type", device_type_name(unit.peripheral_type)},
                           {"vendor", unit.vendor}, {"product", unit.product}, {"revision", unit.revision}});
    }
    j["devices"] = devices;
    const auto sram = pc_->chip().sram();
    j["sram"] = hex(sram.data(), sram.size());
    nlohmann::ordered_json errors = nlohmann::ordered_json::array();
    for (const scsiport::LoggedError& e : host_->logged_errors()) {
        errors.push_back({{"target", e.target}, {"lun", e.lun}, {"code", e.error_code}});
    }
    j["error_log"] = errors;
    nlohmann::ordered_json violations = nlohmann::ordered_json::array();
    for (const auto& v : host_->contract().violations()) violations.push_back(v.message);
    j["violations"] = violations;
    j["virtual_time_us"] = pc_->backplane().clock.now() / io::kMicrosecond;
    j["card_setup"] = build_ == "orvontx" ? card_setup(*pc_) : nlohmann::ordered_json(nullptr);
    j["windows"] = windows_summary(pc_->description(), windows_);
    j["adapter"] = found() ? record : nlohmann::ordered_json(nullptr);
    return j;
}

} // namespace orvo::tool
