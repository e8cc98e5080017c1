#pragma once
// Windows paths of the simulated PC and the host files they name. Drive C: shows the
// environment's drive root; "C:\dir\file", "\dir\file", "dir\file" (from the current
// directory) and forward slashes are understood. Names match host files without regard to
// case, as on the platform, when no file has the exact name.

#include "winapi/environment.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orvo::winapi {

// The Windows path of a host path inside the drive root ("C:\" for the root itself).
std::string windows_path_of(const Environment& env, const std::filesystem::path& host_path);

// The host path a Windows path names; nothing for another drive or a network path.
std::optional<std::filesystem::path> host_path_of(const Environment& env,
                                                  std::string_view windows_path);

} // namespace orvo::winapi
