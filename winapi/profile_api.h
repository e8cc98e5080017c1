#pragma once
// Profile (INI) reading, as the platform behaves (see profile_file.h for how a file is read).
//
// The result is cut to nSize - 1 bytes and NUL-terminated; the cut never splits a UTF-8
// character. A missing file, section or key gives the default (NULL stands for "", and
// trailing blanks are removed from it) with ERROR_FILE_NOT_FOUND as the last error. With
// lpAppName NULL the result lists every section name, with lpKeyName NULL every key of the
// section, each name NUL-terminated and the list ended by a second NUL. A file name without a
// drive or root is taken from the current directory.

#include "winapi/win32_types.h"

DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                               LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName);
