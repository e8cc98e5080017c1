#pragma once
// The small set of registry operations everything in the utility uses. Each returns TRUE or
// FALSE and shows nothing; keys opened here for the caller are closed by the caller.

#include "winapi/win32_types.h"

#include <string>

// A key one of the operations below opened, closed when this goes out of scope, so that keys
// declared in order close in reverse order on every path.
class OpenedKey {
  public:
    OpenedKey() = default;
    ~OpenedKey() { Close(); }
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;

    // Where an operation stores the key it opens.
    HKEY& Receive() {
        Close();
        return m_Key;
    }
    operator HKEY() const { return m_Key; }
    void Close();

  private:
    HKEY m_Key = nullptr;
};

// "Open for reading" is RegOpenKeyExA with KEY_READ.
BOOL KeyExists(HKEY parent, const std::string& path);
BOOL OpenKeyRead(HKEY parent, const std::string& path, HKEY& key);
// Creates the key (or opens the existing one) for all access, non-volatile.
BOOL CreateKeyFull(HKEY parent, const std::string& path, HKEY& key);

// The value's text up to its first NUL. With a path, parent\path is opened for the read and
// closed again; with an empty path the parent itself is read. FALSE and empty text on any
// failure. A value of any length is read whole: a fixed buffer would make a long option
// string read as absent, and the next save would then drop every option it held.
BOOL QueryStringValue(HKEY parent, const std::string& path, const char* name, std::string& text);
// Reads into the caller's buffer; size goes in as the buffer's size and comes out as the
// bytes returned, and as 0 on any failure, so that no caller walks bytes it did not get.
BOOL QueryValueBytes(HKEY parent, const std::string& path, const char* name, BYTE* buffer,
                     DWORD& size);
// A value of exactly four bytes, whatever its stored type; value is untouched on failure.
BOOL QueryDwordValue(HKEY key, const char* name, DWORD& value);

BOOL SetStringValue(HKEY key, const char* name, const std::string& text);
BOOL SetDwordValue(HKEY key, const char* name, DWORD value);

// Removes the subkey with everything below it, at any depth. A subkey that cannot be deleted
// is passed over (and leaves its ancestors in place), so the walk always ends.
void DeleteKeyTree(HKEY parent, const std::string& subkey);
