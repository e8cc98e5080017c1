#pragma once
// Version query: answers for the machine's operating system (Windows NT 4.0 unless the
// machine description chooses NT 3.51, Windows 2000, 95 or 98).

#include "winapi/win32_types.h"

// Fails with ERROR_INSUFFICIENT_BUFFER unless dwOSVersionInfoSize is 148
// (sizeof(OSVERSIONINFOA)), and always when the machine is set to fail the query.
BOOL GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);
