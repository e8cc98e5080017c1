#pragma once
// The calling thread's last-error code.

#include "winapi/win32_types.h"

DWORD GetLastError();
void SetLastError(DWORD dwErrCode);
