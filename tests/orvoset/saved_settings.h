#pragma once
// What the utility left in a machine's registry: the option string and the card's PCMCIA
// parameters of the service orvont.

#include "machine/registry/store.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orvo::testing {

using CardValues = std::vector<std::pair<std::string, std::uint32_t>>;

inline registry::KeyPath services_key(std::initializer_list<std::string> below = {}) {
    registry::KeyPath path = {"HKEY_LOCAL_MACHINE", "System", "CurrentControlSet", "Services"};
    path.insert(path.end(), below);
    return path;
}

// DriverParameter; nothing when it was never written.
inline std::optional<std::string> saved_option_string(registry::Store& store) {
    const registry::Key* key = store.tree().find(services_key({"orvont", "Parameters", "Device"}));
    const registry::Value* value = key ? key->value("DriverParameter") : nullptr;
    if (!value) return std::nullopt;
    const auto end = std::find(value->data.begin(), value->data.end(), 0);
    return std::string(value->data.begin(), end);
}

// The values of orvont1\Parameters, in the registry's order; nothing when the key is missing.
inline std::optional<CardValues> saved_card_parameters(registry::Store& store) {
    const registry::Key* key = store.tree().find(services_key({"orvont1", "Parameters"}));
    if (!key) return std::nullopt;
    CardValues values;
    for (const auto& [name, value] : key->values()) {
        std::uint32_t number = 0;
        for (std::size_t i = 0; i < 4 && i < value.data.size(); ++i)
            number |= static_cast<std::uint32_t>(value.data[i]) << (8 * i);
        values.emplace_back(name, number);
    }
    return values;
}

} // namespace orvo::testing
