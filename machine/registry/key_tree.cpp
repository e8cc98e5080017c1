#include "machine/registry/key_tree.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace orvo::registry {
namespace {

char fold(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr std::array<std::string_view, 6> kRootKeyNames = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE",
    "HKEY_USERS",        "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA",
};

} // namespace

bool names_equal(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return fold(x) == fold(y); });
}

bool NameLess::operator()(std::string_view a, std::string_view b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(fold(x)) < static_cast<unsigned char>(fold(y));
    });
}

std::string_view key_name_problem(std::string_view name) {
    if (name.empty()) return "empty key name";
    if (name.size() > kMaxKeyNameLength) return "key name longer than 255 bytes";
    for (char c : name) {
        if (c == '\\') return "backslash in key name";
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return "control character in key name";
    }
    return {};
}

std::string_view value_name_problem(std::string_view name) {
    // The text file has no way to write these three inside a name.
    if (name.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos)
        return "NUL, CR or LF in value name";
    return {};
}

Key::Key(const Key& other) : name_(other.name_), values_(other.values_) {
    for (const auto& [name, child] : other.children_)
        children_.emplace(name, std::make_unique<Key>(*child));
}

Key* Key::child(std::string_view name) {
    auto it = children_.find(name);
    return it == children_.end() ? nullptr : it->second.get();
}

const Key* Key::child(std::string_view name) const {
    auto it = children_.find(name);
    return it == children_.end() ? nullptr : it->second.get();
}

Key& Key::ensure_child(std::string_view name, bool* created) {
    if (Key* existing = child(name)) {
        if (created) *created = false;
        return *existing;
    }
    if (auto problem = key_name_problem(name); !problem.empty())
        throw std::invalid_argument(std::string(problem) + ": \"" + std::string(name) + "\"");
    auto [it, inserted] =
        children_.emplace(std::string(name), std::make_unique<Key>(std::string(name)));
    if (created) *created = inserted;
    return *it->second;
}

bool Key::remove_child(std::string_view name) {
    auto it = children_.find(name);
    if (it == children_.end()) return false;
    children_.erase(it);
    return true;
}

const Value* Key::value(std::string_view name) const {
    auto it = values_.find(name);
    return it == values_.end() ? nullptr : &it->second;
}

void Key::set_value(std::string_view name, Value value) {
    if (auto it = values_.find(name); it != values_.end()) {
        it->second = std::move(value);
        return;
    }
    if (auto problem = value_name_problem(name); !problem.empty())
        throw std::invalid_argument(std::string(problem));
    values_.emplace(std::string(name), std::move(value));
}

bool Key::remove_value(std::string_view name) {
    auto it = values_.find(name);
    if (it == values_.end()) return false;
    values_.erase(it);
    return true;
}

bool Key::operator==(const Key& other) const {
    if (name_ != other.name_ || children_.size() != other.children_.size()) return false;
    if (!std::equal(values_.begin(), values_.end(), other.values_.begin(), other.values_.end(),
                    [](const auto& a, const auto& b) {
                        return a.first == b.first && a.second == b.second;
                    }))
        return false;
    return std::equal(children_.begin(), children_.end(), other.children_.begin(),
                      [](const auto& a, const auto& b) { return *a.second == *b.second; });
}

std::span<const std::string_view> root_key_names() {
    return kRootKeyNames;
}

std::optional<KeyPath> split_key_path(std::string_view text) {
    if (!text.empty() && text.back() == '\\') text.remove_suffix(1);
    KeyPath path;
    if (text.empty()) return path;
    for (std::size_t start = 0;;) {
        std::size_t end = text.find('\\', start);
        std::string_view part =
            text.substr(start, end == std::string_view::npos ? text.npos : end - start);
        if (part.empty()) return std::nullopt;
        path.emplace_back(part);
        if (end == std::string_view::npos) return path;
        start = end + 1;
    }
}

std::string join_key_path(const KeyPath& path) {
    std::string text;
    for (const auto& part : path) {
        if (!text.empty()) text += '\\';
        text += part;
    }
    return text;
}

Tree::Tree() {
    for (auto name : kRootKeyNames)
        root_.ensure_child(name);
}

Key* Tree::find(const KeyPath& path) {
    Key* key = &root_;
    for (const auto& part : path) {
        key = key->child(part);
        if (!key) return nullptr;
    }
    return key;
}

const Key* Tree::find(const KeyPath& path) const {
    return const_cast<Tree*>(this)->find(path);
}

Key& Tree::create(const KeyPath& path, bool* created) {
    if (path.empty()) throw std::invalid_argument("empty key path");
    Key* key = root_.child(path.front());
    if (!key) throw std::invalid_argument("unknown root key \"" + path.front() + "\"");
    if (path.size() - 1 > kMaxKeyDepth)
        throw std::invalid_argument("key nested deeper than 512 levels");
    bool any_created = false;
    for (auto part = path.begin() + 1; part != path.end(); ++part) {
        bool made = false;
        key = &key->ensure_child(*part, &made);
        any_created = any_created || made;
    }
    if (created) *created = any_created;
    return *key;
}

bool Tree::remove(const KeyPath& path) {
    if (path.size() < 2) return false;
    Key* parent = find(KeyPath(path.begin(), path.end() - 1));
    return parent && parent->remove_child(path.back());
}

} // namespace orvo::registry
