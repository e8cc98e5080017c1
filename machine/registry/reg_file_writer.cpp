// Writing of registry export files (REGEDIT4, UTF-8).

#include "machine/registry/reg_file_format.h"
#include "machine/registry/text_encoding.h"

#include <cstdio>

namespace orvo::registry {
namespace {

// Byte lists wrap as the registry editor wraps them: a backslash ends each full line and the
// next one starts with two blanks.
constexpr std::size_t kLineWidth = 80;

void append_quoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

// A REG_SZ that reads back byte for byte from quoted text.
bool writable_as_quoted_text(const Value& value) {
    const auto& data = value.data;
    if (value.type != kTypeString || data.empty() || data.back() != 0) return false;
    std::string_view text(reinterpret_cast<const char*>(data.data()), data.size() - 1);
    return text.find_first_of(std::string_view("\0\r\n", 3)) == text.npos && is_valid_utf8(text);
}

void append_byte_list(std::string& out, std::size_t line_start,
                      const std::vector<std::uint8_t>& bytes) {
    char hex[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bool last = i + 1 == bytes.size();
        std::snprintf(hex, sizeof hex, last ? "%02x" : "%02x,", bytes[i]);
        out += hex;
        if (!last && out.size() - line_start > kLineWidth - 4) {
            out += "\\\n  ";
            line_start = out.size() - 2;
        }
    }
}

void append_value(std::string& out, const std::string& name, const Value& value) {
    std::size_t line_start = out.size();
    if (name.empty())
        out += '@';
    else
        append_quoted(out, name);
    out += '=';
    if (writable_as_quoted_text(value)) {
        append_quoted(out,
                      {reinterpret_cast<const char*>(value.data.data()), value.data.size() - 1});
    } else if (value.type == kTypeDword && value.data.size() == 4) {
        char text[16];
        std::snprintf(text, sizeof text, "dword:%02x%02x%02x%02x", value.data[3], value.data[2],
                      value.data[1], value.data[0]);
        out += text;
    } else {
        char prefix[24];
        if (value.type == kTypeBinary)
            std::snprintf(prefix, sizeof prefix, "hex:");
        else
            std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
        out += prefix;
        append_byte_list(out, line_start, value.data);
    }
    out += '\n';
}

void append_section(std::string& out, std::string& path, const Key& key, bool always) {
    if (always || !key.values().empty()) {
        out += '[' + path + "]\n";
        for (const auto& [name, value] : key.values())
            append_value(out, name, value);
        out += '\n';
    }
    for (const auto& [name, child] : key.children()) {
        std::size_t length = path.size();
        path += '\\' + name;
        append_section(out, path, *child, true);
        path.resize(length);
    }
}

} // namespace

std::string format_reg_file(const Tree& tree) {
    std::string out(kRegedit4Header);
    out += "\n\n";
    for (const auto& [name, root] : tree.top().children()) {
        std::string path = name;
        // A root key gets its own section only when it holds values; its subkeys name it anyway.
        append_section(out, path, *root, false);
    }
    return out;
}

} // namespace orvo::registry
