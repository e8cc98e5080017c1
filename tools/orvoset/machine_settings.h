#pragma once
// The simulated PC the utility runs on, as the winapi environment takes it: from a machine
// directory (machine.toml for the operating system and the user's rights, registry.reg,
// the restart record), or the default machine in memory when none is given.

#include "winapi/environment.h"

#include <filesystem>
#include <stdexcept>

namespace orvo::orvoset {

// A machine directory that cannot be used; the message names the file (and line).
class MachineError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The utility looks for ADAPTER.INI in current_directory.
winapi::MachineSettings settings_for_machine(const std::filesystem::path& machine_directory,
                                             const std::filesystem::path& current_directory);

// The operating system and user rights of a machine.toml text; source names it in messages.
void read_machine_description(std::string_view text, const std::string& source, winapi::MachineSettings& settings);

} // namespace orvo::orvoset
