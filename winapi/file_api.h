#pragma once
// Current directory and file attributes, with Windows paths of the simulated PC (see
// host_paths.h).

#include "winapi/win32_types.h"

// The length copied (without the NUL), or, when the buffer is too small, the size needed
// including the NUL, with the buffer untouched.
DWORD GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer);

// FILE_ATTRIBUTE_DIRECTORY for a directory, FILE_ATTRIBUTE_ARCHIVE (with
// FILE_ATTRIBUTE_READONLY when it cannot be written) for a file, INVALID_FILE_ATTRIBUTES with
// ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND as the last error when nothing is there.
DWORD GetFileAttributesA(LPCSTR lpFileName);
