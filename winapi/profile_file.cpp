#include "winapi/profile_file.h"

#include "machine/registry/key_tree.h"
#include "machine/registry/text_encoding.h"

namespace orvo::winapi {
namespace {

bool is_blank_or_control(char c) {
    auto b = static_cast<unsigned char>(c);
    return b <= 0x20 || b == 0x7F;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && is_blank_or_control(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && is_blank_or_control(s.back()))
        s.remove_suffix(1);
    return s;
}

} // namespace

ProfileFile ProfileFile::from_bytes(std::string_view bytes) {
    return ProfileFile(registry::decode_text_file(bytes, /*strict=*/false).utf8);
}

ProfileFile::ProfileFile(std::string_view text) {
    const std::string_view kLineEnds("\r\n\0", 3);
    while (!text.empty()) {
        std::size_t end = text.find_first_of(kLineEnds);
        std::string_view line = trim(text.substr(0, end));
        text.remove_prefix(end == text.npos ? text.size() : end + 1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            std::size_t close = line.rfind(']');
            if (close != line.npos) {
                sections_.push_back({std::string(line.substr(1, close - 1)), {}});
                continue;
            }
            // A '[' line without ']' opens no section and is read as an ordinary line.
        }
        std::size_t equals = line.find('=');
        if (equals == line.npos) continue;
        if (sections_.empty()) sections_.push_back({"", {}});
        sections_.back().entries.push_back({std::string(trim(line.substr(0, equals))),
                                            std::string(trim(line.substr(equals + 1)))});
    }
}

const ProfileFile::Section* ProfileFile::find_section(std::string_view name) const {
    for (const auto& section : sections_)
        if (registry::names_equal(section.name, name)) return &section;
    return nullptr;
}

const std::string* ProfileFile::find(std::string_view section, std::string_view key) const {
    const Section* found = find_section(section);
    if (!found) return nullptr;
    for (const auto& entry : found->entries)
        if (registry::names_equal(entry.key, key)) return &entry.value;
    return nullptr;
}

std::vector<std::string> ProfileFile::section_names() const {
    std::vector<std::string> names;
    for (const auto& section : sections_)
        names.push_back(section.name);
    return names;
}

std::vector<std::string> ProfileFile::key_names(std::string_view section) const {
    std::vector<std::string> names;
    if (const Section* found = find_section(section))
        for (const auto& entry : found->entries)
            names.push_back(entry.key);
    return names;
}

std::string_view without_enclosing_quotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

} // namespace orvo::winapi
