#pragma once
// A registry value: its type and its bytes, exactly as the ANSI registry calls hand them over.
// String types (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) therefore hold UTF-8 text with its NULs:
// UTF-8 is the machine's ANSI code page, so what the utility writes is what it reads back.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace orvo::registry {

// Value types, numbered as the platform numbers them.
enum ValueType : std::uint32_t {
    kTypeNone = 0,
    kTypeString = 1,
    kTypeExpandString = 2,
    kTypeBinary = 3,
    kTypeDword = 4,
    kTypeDwordBigEndian = 5,
    kTypeLink = 6,
    kTypeMultiString = 7,
    kTypeResourceList = 8,
    kTypeFullResourceDescriptor = 9,
    kTypeResourceRequirementsList = 10,
    kTypeQword = 11,
};

inline bool is_string_type(std::uint32_t type) {
    return type == kTypeString || type == kTypeExpandString || type == kTypeMultiString;
}

struct Value {
    std::uint32_t type = kTypeNone;
    std::vector<std::uint8_t> data;

    bool operator==(const Value&) const = default;

    static Value from_bytes(std::uint32_t type, std::span<const std::uint8_t> bytes) {
        return Value{type, {bytes.begin(), bytes.end()}};
    }
    // REG_SZ with its terminating NUL.
    static Value string(std::string_view text) {
        Value v{kTypeString, {text.begin(), text.end()}};
        v.data.push_back(0);
        return v;
    }
    static Value dword(std::uint32_t number) {
        return Value{kTypeDword,
                     {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                      static_cast<std::uint8_t>(number >> 16),
                      static_cast<std::uint8_t>(number >> 24)}};
    }
};

} // namespace orvo::registry
