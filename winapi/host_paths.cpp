#include "winapi/host_paths.h"

#include "machine/registry/key_tree.h"

#include <vector>

namespace orvo::winapi {
namespace fs = std::filesystem;
namespace {

// The entry of dir named like name: the exact name when it exists, else the one entry whose
// name differs only in case, else name itself (a file that does not exist).
fs::path resolve_entry(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    if (fs::exists(dir / name, ec)) return dir / name;
    fs::path match;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (!registry::names_equal(it->path().filename().string(), name)) continue;
        if (!match.empty()) return dir / name; // ambiguous: several spellings exist
        match = it->path();
    }
    return match.empty() ? dir / name : match;
}

std::vector<std::string> components_of(const fs::path& relative) {
    std::vector<std::string> parts;
    for (const auto& part : relative)
        if (part != ".") parts.push_back(part.string());
    return parts;
}

} // namespace

std::string windows_path_of(const Environment& env, const fs::path& host_path) {
    std::string path = "C:\\";
    bool first = true;
    for (const auto& part :
         components_of(host_path.lexically_relative(env.settings().drive_root))) {
        if (!first) path += '\\';
        path += part;
        first = false;
    }
    return path;
}

std::optional<fs::path> host_path_of(const Environment& env, std::string_view windows_path) {
    std::string path(windows_path);
    for (char& c : path)
        if (c == '/') c = '\\';
    std::string_view rest = path;
    bool absolute = false;
    if (rest.size() >= 2 && rest[1] == ':') {
        if (rest[0] != 'C' && rest[0] != 'c') return std::nullopt;
        rest.remove_prefix(2);
        absolute = rest.starts_with('\\');
    } else if (rest.starts_with("\\\\")) {
        return std::nullopt;
    } else {
        absolute = rest.starts_with('\\');
    }

    const fs::path& root = env.settings().drive_root;
    std::vector<std::string> parts;
    if (!absolute) parts = components_of(env.current_directory().lexically_relative(root));
    while (!rest.empty()) {
        std::size_t end = rest.find('\\');
        std::string_view part = rest.substr(0, end);
        rest.remove_prefix(end == rest.npos ? rest.size() : end + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back(); // ".." at the root stays at the root
            continue;
        }
        parts.emplace_back(part);
    }
    fs::path host = root;
    for (const auto& part : parts)
        host = resolve_entry(host, part);
    return host;
}

} // namespace orvo::winapi
