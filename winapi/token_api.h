#pragma once
// The process, its access token and its privileges, and the restart of the machine.
//
// The token holds the privileges the machine gives its user: change-notify (enabled) and, when
// the machine description says so (the default), shutdown, disabled until
// AdjustTokenPrivileges enables it. ExitWindowsEx restarts or shuts down only with the shutdown
// privilege enabled (else ERROR_PRIVILEGE_NOT_HELD) and records each accepted request for the
// next boot of the machine (restart_record.h); logging off records nothing.

#include "winapi/win32_types.h"

using PDWORD = DWORD*;

HANDLE GetCurrentProcess();
BOOL CloseHandle(HANDLE hObject);
BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle);
BOOL LookupPrivilegeValueA(LPCSTR lpSystemName, LPCSTR lpName, PLUID lpLuid);
BOOL AdjustTokenPrivileges(HANDLE TokenHandle, BOOL DisableAllPrivileges,
                           PTOKEN_PRIVILEGES NewState, DWORD BufferLength,
                           PTOKEN_PRIVILEGES PreviousState, PDWORD ReturnLength);
BOOL ExitWindowsEx(UINT uFlags, DWORD dwReserved);
