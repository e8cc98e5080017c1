#include "winapi/environment.h"

#include <array>
#include <iostream>
#include <stdexcept>

namespace orvo::winapi {
namespace {

struct OperatingSystemName {
    OperatingSystem os;
    std::string_view name;
};
constexpr std::array<OperatingSystemName, 5> kOperatingSystemNames = {{
    {OperatingSystem::WindowsNT351, "nt351"},
    {OperatingSystem::WindowsNT40, "nt40"},
    {OperatingSystem::Windows2000, "win2000"},
    {OperatingSystem::Windows95, "win95"},
    {OperatingSystem::Windows98, "win98"},
}};

std::filesystem::path normal_absolute(const std::filesystem::path& path) {
    return std::filesystem::absolute(path).lexically_normal();
}

bool lies_inside(const std::filesystem::path& path, const std::filesystem::path& root) {
    auto relative = path.lexically_relative(root);
    return !relative.empty() && *relative.begin() != "..";
}

std::unique_ptr<Environment>& installed() {
    static std::unique_ptr<Environment> environment;
    return environment;
}

} // namespace

std::optional<OperatingSystem> operating_system_from_name(std::string_view name) {
    for (const auto& entry : kOperatingSystemNames)
        if (entry.name == name) return entry.os;
    return std::nullopt;
}

std::string_view operating_system_name(OperatingSystem os) {
    for (const auto& entry : kOperatingSystemNames)
        if (entry.os == os) return entry.name;
    return "?";
}

Environment::Environment(MachineSettings settings)
    : settings_(std::move(settings)), registry_(settings_.registry_file),
      presenter_(std::make_shared<RecordingMessageBoxes>()) {
    settings_.drive_root = normal_absolute(settings_.drive_root);
    current_directory_ =
        normal_absolute(settings_.current_directory.empty() ? std::filesystem::current_path()
                                                            : settings_.current_directory);
    // Every user holds change-notify, enabled; shutdown, when held, starts disabled.
    token_privileges_[kChangeNotifyPrivilege] = true;
    if (settings_.user_holds_shutdown_privilege) token_privileges_[kShutdownPrivilege] = false;
    if (!lies_inside(current_directory_, settings_.drive_root))
        throw std::invalid_argument("current directory " + current_directory_.string() +
                                    " lies outside the drive root " +
                                    settings_.drive_root.string());
}

void Environment::set_message_box_presenter(std::shared_ptr<MessageBoxPresenter> presenter) {
    presenter_ = presenter ? std::move(presenter) : std::make_shared<RecordingMessageBoxes>();
}

void Environment::report(std::string_view diagnostic) {
    if (sink_) {
        sink_(diagnostic);
        return;
    }
    // The same problem is met by every call until it is mended; say it once.
    if (diagnostic == last_diagnostic_) return;
    last_diagnostic_ = diagnostic;
    std::cerr << "machine: " << diagnostic << '\n';
}

Environment& install_environment(MachineSettings settings) {
    installed() = std::make_unique<Environment>(std::move(settings));
    return *installed();
}

Environment& environment() {
    if (!installed()) installed() = std::make_unique<Environment>(MachineSettings{});
    return *installed();
}

} // namespace orvo::winapi
