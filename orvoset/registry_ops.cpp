#include "orvoset/registry_ops.h"

#include "winapi/registry_api.h"

#include <cstring>
#include <vector>

namespace {

// The first read's buffer; longer values are read again at their size.
constexpr DWORD kStringBufferSize = 520;
// Room for any key name the registry allows (255) and its NUL.
constexpr DWORD kKeyNameBufferSize = 260;

// The key to read from: parent itself for an empty path, else parent\path opened for
// reading and closed with this.
class KeyForRead {
  public:
    KeyForRead(HKEY parent, const std::string& path) : m_Key(parent), m_Ok(TRUE) {
        if (path.empty()) return;
        m_Ok = OpenKeyRead(parent, path, m_Opened.Receive());
        m_Key = m_Opened;
    }
    BOOL Ok() const { return m_Ok; }
    HKEY Get() const { return m_Key; }

  private:
    OpenedKey m_Opened;
    HKEY m_Key;
    BOOL m_Ok;
};

} // namespace

void OpenedKey::Close() {
    if (m_Key) RegCloseKey(m_Key);
    m_Key = nullptr;
}

BOOL KeyExists(HKEY parent, const std::string& path) {
    OpenedKey key;
    return OpenKeyRead(parent, path, key.Receive());
}

BOOL OpenKeyRead(HKEY parent, const std::string& path, HKEY& key) {
    return RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL CreateKeyFull(HKEY parent, const std::string& path, HKEY& key) {
    DWORD disposition = 0;
    return RegCreateKeyExA(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, &key, &disposition) == ERROR_SUCCESS
               ? TRUE
               : FALSE;
}

BOOL QueryStringValue(HKEY parent, const std::string& path, const char* name, std::string& text) {
    text.clear();
    KeyForRead key(parent, path);
    if (!key.Ok()) return FALSE;
    std::vector<BYTE> buffer(kStringBufferSize);
    DWORD size = kStringBufferSize;
    LONG result = RegQueryValueExA(key.Get(), name, nullptr, nullptr, buffer.data(), &size);
    // The value may grow between the two reads when another program writes it; a few rounds
    // settle that.
    for (int round = 0; result == ERROR_MORE_DATA && round < 4; ++round) {
        buffer.resize(size);
        result = RegQueryValueExA(key.Get(), name, nullptr, nullptr, buffer.data(), &size);
    }
    if (result != ERROR_SUCCESS) return FALSE;
    const char* chars = reinterpret_cast<const char*>(buffer.data());
    text.assign(chars, ::strnlen(chars, size));
    return TRUE;
}

BOOL QueryValueBytes(HKEY parent, const std::string& path, const char* name, BYTE* buffer,
                     DWORD& size) {
    KeyForRead key(parent, path);
    if (key.Ok() &&
        RegQueryValueExA(key.Get(), name, nullptr, nullptr, buffer, &size) == ERROR_SUCCESS)
        return TRUE;
    size = 0;
    return FALSE;
}

BOOL QueryDwordValue(HKEY key, const char* name, DWORD& value) {
    BYTE bytes[4];
    DWORD size = sizeof bytes;
    if (RegQueryValueExA(key, name, nullptr, nullptr, bytes, &size) != ERROR_SUCCESS ||
        size != sizeof bytes)
        return FALSE;
    value = static_cast<DWORD>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                               static_cast<DWORD>(bytes[3]) << 24);
    return TRUE;
}

BOOL SetStringValue(HKEY key, const char* name, const std::string& text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS
               ? TRUE
               : FALSE;
}

BOOL SetDwordValue(HKEY key, const char* name, DWORD value) {
    const BYTE bytes[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                           static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    return RegSetValueExA(key, name, 0, REG_DWORD, bytes, sizeof bytes) == ERROR_SUCCESS ? TRUE
                                                                                         : FALSE;
}

void DeleteKeyTree(HKEY parent, const std::string& subkey) {
    OpenedKey key;
    if (!OpenKeyRead(parent, subkey, key.Receive())) return;
    char name[kKeyNameBufferSize];
    for (DWORD index = 0;;) {
        DWORD length = sizeof name;
        LONG result = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_MORE_DATA) { // a name this buffer cannot hold cannot be deleted here
            ++index;
            continue;
        }
        if (result != ERROR_SUCCESS) break;
        DeleteKeyTree(key, name);
        // Deleted: the next subkey has moved to this index. Still there: step past it.
        if (KeyExists(key, name)) ++index;
    }
    RegDeleteKeyA(parent, subkey.c_str());
}
