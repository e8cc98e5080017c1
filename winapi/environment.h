#pragma once
// The simulated PC as the utility's Win32 calls see it.
//
// One process-wide environment: the program that starts the utility fills MachineSettings from
// the machine description and installs it before the utility runs; the utility then calls the
// plain Win32 functions of winapi/, which all work on it. When nothing was installed the calls
// use the default machine: Windows NT 4.0, a registry in memory, a user who holds the shutdown
// privilege, the process's current directory.

#include "machine/registry/store.h"
#include "winapi/handle_table.h"
#include "winapi/message_box.h"
#include "winapi/win32_types.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string_view>

namespace orvo::winapi {

enum class OperatingSystem { WindowsNT351, WindowsNT40, Windows2000, Windows95, Windows98 };

// Names as a machine description spells them: "nt351", "nt40", "win2000", "win95", "win98".
std::optional<OperatingSystem> operating_system_from_name(std::string_view name);
std::string_view operating_system_name(OperatingSystem os);

struct MachineSettings {
    // The machine's registry file; empty keeps the registry in memory only.
    std::filesystem::path registry_file;
    OperatingSystem operating_system = OperatingSystem::WindowsNT40;
    // Whether the user's access token holds the shutdown privilege (it starts disabled, as on
    // the platform, and AdjustTokenPrivileges enables it).
    bool user_holds_shutdown_privilege = true;
    // For tests of the failure paths.
    bool open_process_token_fails = false;
    bool version_query_fails = false;
    // Where accepted restart requests are recorded (see restart_record.h); empty counts them
    // in memory only.
    std::filesystem::path restart_record;
    // The current directory; empty means the process's own.
    std::filesystem::path current_directory;
    // The host directory that drive C: shows. Windows paths name host files through it, and
    // the current directory must lie inside it.
    std::filesystem::path drive_root = "/";
};

// A registry key a handle stands for: its full path from the root key, so that a key deleted
// behind an open handle is noticed (ERROR_KEY_DELETED), as on the platform.
struct OpenKey {
    registry::KeyPath path;
    REGSAM access = 0;
};

struct OpenToken {
    ACCESS_MASK access = 0;
};

// Privilege identifiers (the low part of their LUID) the machine's token deals in.
inline constexpr DWORD kShutdownPrivilege = 19;
inline constexpr DWORD kChangeNotifyPrivilege = 23;

class Environment {
  public:
    explicit Environment(MachineSettings settings);

    const MachineSettings& settings() const { return settings_; }
    const std::filesystem::path& current_directory() const { return current_directory_; }

    registry::Store& registry() { return registry_; }
    HandleTable<OpenKey>& keys() { return keys_; }
    HandleTable<OpenToken>& tokens() { return tokens_; }

    // The privileges the process token holds (by identifier) and whether each is enabled.
    std::map<DWORD, bool>& token_privileges() { return token_privileges_; }
    bool privilege_enabled(DWORD luid) const {
        auto it = token_privileges_.find(luid);
        return it != token_privileges_.end() && it->second;
    }

    // Restart requests accepted during this process.
    int restarts_requested() const { return restarts_requested_; }
    void count_restart() { ++restarts_requested_; }

    MessageBoxPresenter& message_boxes() { return *presenter_; }
    void set_message_box_presenter(std::shared_ptr<MessageBoxPresenter> presenter);

    // Problems the calls cannot tell through their results, such as a registry file that does
    // not parse. The default sink writes each new message to standard error once.
    void report(std::string_view diagnostic);
    void set_diagnostic_sink(std::function<void(std::string_view)> sink) {
        sink_ = std::move(sink);
    }

  private:
    MachineSettings settings_;
    std::filesystem::path current_directory_;
    registry::Store registry_;
    HandleTable<OpenKey> keys_{0x100};
    HandleTable<OpenToken> tokens_{0x10000};
    std::map<DWORD, bool> token_privileges_;
    int restarts_requested_ = 0;
    std::shared_ptr<MessageBoxPresenter> presenter_;
    std::function<void(std::string_view)> sink_;
    std::string last_diagnostic_;
};

// Replaces the process-wide environment (closing every handle of the previous one). Throws
// std::invalid_argument when the current directory lies outside the drive root.
Environment& install_environment(MachineSettings settings);
Environment& environment();

} // namespace orvo::winapi
