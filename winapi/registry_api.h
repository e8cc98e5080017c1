#pragma once
// The registry calls, over the machine's registry store. Results are the platform's error
// codes; a registry file that cannot be read or parsed gives ERROR_REGISTRY_CORRUPT, one that
// cannot be written ERROR_REGISTRY_IO_FAILED, and the environment reports the file and line.
//
// Handles record a key's path, not the key: a key deleted while a handle is open makes later
// calls on that handle fail with ERROR_KEY_DELETED. Each change is saved to the file before
// the call returns.

#include "winapi/win32_types.h"

inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(ULONG_PTR{0x80000000});
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(ULONG_PTR{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(ULONG_PTR{0x80000002});
inline HKEY const HKEY_USERS = reinterpret_cast<HKEY>(ULONG_PTR{0x80000003});
inline HKEY const HKEY_CURRENT_CONFIG = reinterpret_cast<HKEY>(ULONG_PTR{0x80000005});
inline HKEY const HKEY_DYN_DATA = reinterpret_cast<HKEY>(ULONG_PTR{0x80000006});

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                     LPDWORD lpdwDisposition);
LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData);
LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData);
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                   LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
LONG RegCloseKey(HKEY hKey);
