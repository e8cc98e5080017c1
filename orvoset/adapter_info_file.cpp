#include "orvoset/adapter_info_file.h"

#include "winapi/profile_api.h"

namespace {

std::string ListKey(const std::string& prefix, std::size_t index) {
    return prefix + std::to_string(index);
}

} // namespace

BOOL CAdapterInfoFile::ReadValue(const std::string& section, const std::string& key,
                                 std::string& text) const {
    char buffer[kValueBufferSize];
    DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer, sizeof buffer,
                                            m_Path.c_str());
    text.assign(buffer, length);
    return length > 0 ? TRUE : FALSE;
}

int CAdapterInfoFile::CountKeys(const std::string& section, const std::string& prefix) const {
    std::string ignored;
    int count = 0;
    while (ReadValue(section, ListKey(prefix, static_cast<std::size_t>(count)), ignored))
        ++count;
    return count;
}

int CAdapterInfoFile::ReadList(const std::string& section, const std::string& prefix,
                               std::vector<std::string>& array) const {
    std::size_t filled = 0;
    std::string value;
    while (filled < array.size() && ReadValue(section, ListKey(prefix, filled), value))
        array[filled++] = value;
    return static_cast<int>(filled);
}
