#include "tools/orvoset/machine_settings.h"

#include "system/machine_setup.h"

#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>

namespace orvo::orvoset {
namespace {

struct OperatingSystemName {
    std::string_view name; // as machine.toml spells it
    winapi::OperatingSystem os;
};
constexpr std::array<OperatingSystemName, 5> kOperatingSystems = {{
    {"nt351", winapi::OperatingSystem::WindowsNT351},
    {"nt4", winapi::OperatingSystem::WindowsNT40},
    {"win2000", winapi::OperatingSystem::Windows2000},
    {"win95", winapi::OperatingSystem::Windows95},
    {"win98", winapi::OperatingSystem::Windows98},
}};

[[noreturn]] void fail(const std::string& source, const toml::node* node, const std::string& what) {
    std::string where = source;
    if (node && node->source().begin.line != 0) where += ":" + std::to_string(node->source().begin.line);
    throw MachineError(where + ": " + what);
}

void read_flag(const toml::table& table, const char* key, const std::string& source, bool& out) {
    const toml::node* node = table.get(key);
    if (!node) return;
    const auto value = node->value<bool>();
    if (!value || !node->is_boolean()) fail(source, node, std::string(key) + " must be true or false");
    out = *value;
}

} // namespace

void read_machine_description(std::string_view text, const std::string& source, winapi::MachineSettings& settings) {
    toml::table root;
    try {
        root = toml::parse(text, source);
    } catch (const toml::parse_error& error) {
        throw MachineError(source + ":" + std::to_string(error.source().begin.line) + ": " +
                           std::string(error.description()));
    }
    if (const toml::table* system = root["system"].as_table()) {
        if (const toml::node* node = system->get("os")) {
            const auto name = node->value<std::string>();
            const auto known = std::find_if(kOperatingSystems.begin(), kOperatingSystems.end(),
                                            [&](const auto& entry) { return name && entry.name == *name; });
            if (known == kOperatingSystems.end())
                fail(source, node, "os must be one of nt351, nt4, win2000, win95, win98");
            settings.operating_system = known->os;
        }
    }
    if (const toml::table* user = root["user"].as_table()) {
        read_flag(*user, "shutdown_privilege", source, settings.user_holds_shutdown_privilege);
        read_flag(*user, "open_process_token_fails", source, settings.open_process_token_fails);
    }
}

winapi::MachineSettings settings_for_machine(const std::filesystem::path& machine_directory,
                                             const std::filesystem::path& current_directory) {
    const std::filesystem::path description = machine_directory / "machine.toml";
    std::ifstream in(description, std::ios::binary);
    if (!in)
        throw MachineError(description.string() +
                           ": cannot be read (is this a machine directory? `orvo init DIR` makes one)");
    std::stringstream text;
    text << in.rdbuf();
    winapi::MachineSettings settings = system::utility_machine_settings(machine_directory);
    settings.current_directory = current_directory;
    read_machine_description(text.str(), description.string(), settings);
    return settings;
}

} // namespace orvo::orvoset
