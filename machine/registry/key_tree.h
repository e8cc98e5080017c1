#pragma once
// The registry's key tree. Key and value names match without regard to case and keep the case
// they were stored with. Case folding covers ASCII letters only; other bytes of a UTF-8 name
// must match exactly.
//
// Limits follow the platform's: a key name is 1 to 255 bytes without a backslash, and keys nest
// at most 512 levels below a root key. The limits also keep every recursive walk of the tree
// (copy, compare, delete) within a small, known stack depth whatever a file contains.

#include "machine/registry/value.h"

#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvo::registry {

bool names_equal(std::string_view a, std::string_view b);

// Orders names as the registry enumerates them: case-insensitively.
struct NameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxKeyDepth = 512;

// Empty when the name may be used for a key, else why not.
std::string_view key_name_problem(std::string_view name);
// Empty when the name may be used for a value ("" is the default value), else why not.
std::string_view value_name_problem(std::string_view name);

class Key {
  public:
    using Children = std::map<std::string, std::unique_ptr<Key>, NameLess>;
    using Values = std::map<std::string, Value, NameLess>;

    explicit Key(std::string name) : name_(std::move(name)) {}
    Key(const Key& other);
    Key(Key&&) = default;
    Key& operator=(const Key&) = delete;
    Key& operator=(Key&&) = default;

    const std::string& name() const { return name_; }

    Key* child(std::string_view name);
    const Key* child(std::string_view name) const;
    // Returns the child of that name, creating it when missing. Throws std::invalid_argument
    // for a name that cannot be a key name.
    Key& ensure_child(std::string_view name, bool* created = nullptr);
    bool remove_child(std::string_view name);
    const Children& children() const { return children_; }

    const Value* value(std::string_view name) const;
    // Replaces the value of that name (keeping the stored name's case) or adds it. Throws
    // std::invalid_argument for a name that cannot be a value name.
    void set_value(std::string_view name, Value value);
    bool remove_value(std::string_view name);
    const Values& values() const { return values_; }

    // Deep comparison; names must agree exactly, including case.
    bool operator==(const Key& other) const;

  private:
    std::string name_;
    Children children_;
    Values values_;
};

// A path from a root key: {"HKEY_LOCAL_MACHINE", "System", "CurrentControlSet"}.
using KeyPath = std::vector<std::string>;

// The root keys a registry file may hold, by their full names.
std::span<const std::string_view> root_key_names();

// Splits "A\B\C" at backslashes. One trailing backslash is accepted ("HKEY_LOCAL_MACHINE\"
// names the root itself); an empty name anywhere else is not, and gives an empty result.
std::optional<KeyPath> split_key_path(std::string_view text);
std::string join_key_path(const KeyPath& path);

class Tree {
  public:
    Tree();
    Tree(const Tree& other) : root_(other.root_) {}
    Tree(Tree&&) = default;
    Tree& operator=(Tree&&) = default;

    // The unnamed top of the tree; its children are the root keys, which always exist.
    const Key& top() const { return root_; }

    Key* find(const KeyPath& path);
    const Key* find(const KeyPath& path) const;
    // Creates every missing key along the path. Throws std::invalid_argument for an unknown
    // root, a bad key name or a path nested too deep.
    Key& create(const KeyPath& path, bool* created = nullptr);
    // Removes the key with its whole subtree. Root keys cannot be removed.
    bool remove(const KeyPath& path);

    bool operator==(const Tree& other) const { return root_ == other.root_; }

  private:
    Key root_{""};
};

} // namespace orvo::registry
