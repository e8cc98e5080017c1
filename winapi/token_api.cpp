#include "winapi/token_api.h"

#include "machine/registry/key_tree.h"
#include "winapi/environment.h"
#include "winapi/error_api.h"
#include "winapi/restart_record.h"

#include <array>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

using orvo::winapi::Environment;

// The process pseudo-handle, as the platform hands it out.
HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(~ULONG_PTR{0});

struct PrivilegeName {
    std::string_view name;
    DWORD luid;
};
constexpr std::array<PrivilegeName, 23> kPrivileges = {{
    {"SeCreateTokenPrivilege", 2},
    {"SeAssignPrimaryTokenPrivilege", 3},
    {"SeLockMemoryPrivilege", 4},
    {"SeIncreaseQuotaPrivilege", 5},
    {"SeMachineAccountPrivilege", 6},
    {"SeTcbPrivilege", 7},
    {"SeSecurityPrivilege", 8},
    {"SeTakeOwnershipPrivilege", 9},
    {"SeLoadDriverPrivilege", 10},
    {"SeSystemProfilePrivilege", 11},
    {"SeSystemtimePrivilege", 12},
    {"SeProfileSingleProcessPrivilege", 13},
    {"SeIncreaseBasePriorityPrivilege", 14},
    {"SeCreatePagefilePrivilege", 15},
    {"SeCreatePermanentPrivilege", 16},
    {"SeBackupPrivilege", 17},
    {"SeRestorePrivilege", 18},
    {"SeShutdownPrivilege", orvo::winapi::kShutdownPrivilege},
    {"SeDebugPrivilege", 20},
    {"SeAuditPrivilege", 21},
    {"SeSystemEnvironmentPrivilege", 22},
    {"SeChangeNotifyPrivilege", orvo::winapi::kChangeNotifyPrivilege},
    {"SeRemoteShutdownPrivilege", 24},
}};

BOOL fail(LONG error) {
    SetLastError(static_cast<DWORD>(error));
    return FALSE;
}

orvo::winapi::OpenToken* find_token(Environment& env, HANDLE handle) {
    return env.tokens().find(reinterpret_cast<ULONG_PTR>(handle));
}

} // namespace

HANDLE GetCurrentProcess() {
    return kCurrentProcess;
}

BOOL CloseHandle(HANDLE hObject) {
    if (hObject == kCurrentProcess) return TRUE; // closing the pseudo-handle does nothing
    if (orvo::winapi::environment().tokens().close(reinterpret_cast<ULONG_PTR>(hObject)))
        return TRUE;
    return fail(ERROR_INVALID_HANDLE);
}

BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle) {
    Environment& env = orvo::winapi::environment();
    if (!TokenHandle) return fail(ERROR_NOACCESS);
    *TokenHandle = nullptr;
    if (ProcessHandle != kCurrentProcess) return fail(ERROR_INVALID_HANDLE);
    if (env.settings().open_process_token_fails) return fail(ERROR_ACCESS_DENIED);
    *TokenHandle = reinterpret_cast<HANDLE>(env.tokens().open({DesiredAccess}));
    return TRUE;
}

BOOL LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, PLUID lpLuid) {
    // Only the local system is known.
    if (lpSystemName && *lpSystemName) return fail(ERROR_NOT_SUPPORTED);
    if (!lpName || !lpLuid) return fail(ERROR_INVALID_PARAMETER);
    for (const auto& privilege : kPrivileges) {
        if (!orvo::registry::names_equal(privilege.name, lpName)) continue;
        *lpLuid = LUID{privilege.luid, 0};
        return TRUE;
    }
    return fail(ERROR_NO_SUCH_PRIVILEGE);
}

BOOL AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                           PTOKEN_PRIVILEGES NewState, DWORD BufferLength,
                           PTOKEN_PRIVILEGES PreviousState, PDWORD ReturnLength) {
    Environment& env = orvo::winapi::environment();
    const orvo::winapi::OpenToken* token = find_token(env, TokenHandle);
    if (!token) return fail(ERROR_INVALID_HANDLE);
    if (!(token->access & TOKEN_ADJUST_PRIVILEGES) ||
        (PreviousState && !(token->access & TOKEN_QUERY)))
        return fail(ERROR_ACCESS_DENIED);
    if (!DisableAllPrivileges && !NewState) return fail(ERROR_INVALID_PARAMETER);

    // Work out every change first: a short PreviousState buffer must leave the token as it was.
    auto& held = env.token_privileges();
    std::vector<std::pair<DWORD, bool>> changes;
    bool all_assigned = true;
    if (DisableAllPrivileges) {
        for (const auto& [luid, enabled] : held)
            changes.emplace_back(luid, false);
    } else {
        for (DWORD i = 0; i < NewState->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES& entry = NewState->Privileges[i];
            if (entry.Luid.HighPart != 0 || !held.contains(entry.Luid.LowPart)) {
                all_assigned = false; // a privilege the user does not hold is skipped
                continue;
            }
            changes.emplace_back(entry.Luid.LowPart,
                                 (entry.Attributes & SE_PRIVILEGE_ENABLED) != 0);
        }
    }
    if (PreviousState) {
        DWORD needed =
            static_cast<DWORD>(sizeof(DWORD) + changes.size() * sizeof(LUID_AND_ATTRIBUTES));
        if (ReturnLength) *ReturnLength = needed;
        if (BufferLength < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
        PreviousState->PrivilegeCount = static_cast<DWORD>(changes.size());
        LUID_AND_ATTRIBUTES* previous = PreviousState->Privileges;
        for (std::size_t i = 0; i < changes.size(); ++i)
            previous[i] = {{changes[i].first, 0},
                           held[changes[i].first] ? SE_PRIVILEGE_ENABLED : 0};
    }
    for (const auto& [luid, enabled] : changes)
        held[luid] = enabled;
    SetLastError(static_cast<DWORD>(all_assigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED));
    return TRUE;
}

BOOL ExitWindowsEx(UINT uFlags, DWORD /*dwReserved*/) {
    using orvo::winapi::RestartKind;
    Environment& env = orvo::winapi::environment();
    if (!(uFlags & (EWX_SHUTDOWN | EWX_REBOOT | EWX_POWEROFF)))
        return TRUE; // log off: nothing to restart
    if (!env.privilege_enabled(orvo::winapi::kShutdownPrivilege))
        return fail(ERROR_PRIVILEGE_NOT_HELD);
    orvo::winapi::RestartRequest request{(uFlags & EWX_REBOOT)     ? RestartKind::Reboot
                                         : (uFlags & EWX_POWEROFF) ? RestartKind::PowerOff
                                                                   : RestartKind::Shutdown,
                                         (uFlags & EWX_FORCE) != 0};
    if (const auto& record = env.settings().restart_record; !record.empty()) {
        try {
            orvo::winapi::append_restart_request(record, request);
        } catch (const std::system_error& e) {
            // A restart that was not recorded would never happen: say so instead of succeeding.
            env.report(e.what());
            return fail(ERROR_WRITE_FAULT);
        }
    }
    env.count_restart();
    return TRUE;
}
