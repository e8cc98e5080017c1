#pragma once
// ADAPTER.INI, the adapter information file that travels with the driver: the service name of
// the installed miniport, the card's description, and the IRQ and I/O port choices the user
// may pick from. Read only, through the profile call, always by its full path.

#include "winapi/win32_types.h"

#include <string>
#include <vector>

inline constexpr const char* kOptionsSection = "Options";
inline constexpr const char* kDriverKey = "Driver";
inline constexpr const char* kDeviceDescKey = "DeviceDesc";
inline constexpr const char* kIrqChoicesSection = "IRQChoices";
inline constexpr const char* kIrqChoicePrefix = "IRQ_";
inline constexpr const char* kIoChoicesSection = "IOBaseAddrChoices";
inline constexpr const char* kIoChoicePrefix = "IOBase_";

class CAdapterInfoFile {
  public:
    // Every read goes through a buffer of this size, so a value keeps at most 259 bytes.
    static constexpr DWORD kValueBufferSize = 260;

    explicit CAdapterInfoFile(std::string path) : m_Path(std::move(path)) {}
    const std::string& Path() const { return m_Path; }

    // The value (empty when missing or empty); TRUE when at least one character was read.
    BOOL ReadValue(const std::string& section, const std::string& key, std::string& text) const;
    // How many of prefix0, prefix1, ... read non-empty before the first that does not: a
    // missing or empty key ends the count, and keys after the gap are never seen.
    int CountKeys(const std::string& section, const std::string& prefix) const;
    // Reads prefix0 ... into the array's elements, stopping at the first empty read; returns
    // the number of elements filled. The caller sizes the array with CountKeys.
    int ReadList(const std::string& section, const std::string& prefix,
                 std::vector<std::string>& array) const;

  private:
    std::string m_Path;
};
