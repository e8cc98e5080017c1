#include "orvoset/restart.h"

#include "winapi/error_api.h"
#include "winapi/message_box.h"
#include "winapi/token_api.h"

namespace {

constexpr const char* kRestartErrorCaption = "shutdown process";

void ShowRestartError(const char* failed_function) {
    MessageBoxA(nullptr, failed_function, kRestartErrorCaption, MB_ICONHAND);
}

} // namespace

void RestartSystem() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        ShowRestartError("OpenProcessToken");

    TOKEN_PRIVILEGES privileges{};
    LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    // Catches a failed call and also one that succeeded without the privilege being held
    // (ERROR_NOT_ALL_ASSIGNED).
    if (GetLastError() != ERROR_SUCCESS) ShowRestartError("AdjustTokenPrivileges");

    if (!ExitWindowsEx(EWX_REBOOT | EWX_FORCE, 0)) ShowRestartError("ExitWindowsEx");
    if (token) CloseHandle(token);
}
