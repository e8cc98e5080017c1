#pragma once
// Builds the bytes of a card information structure, tuple by tuple: a code, a link (the body
// length) and the body. Used by the card catalogue and by tests that need unusual cards.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace orvo::pcmcia {

namespace tuple {
constexpr std::uint8_t kNull = 0x00;
constexpr std::uint8_t kDevice = 0x01;
constexpr std::uint8_t kNoLink = 0x14;
constexpr std::uint8_t kVers1 = 0x15;
constexpr std::uint8_t kConfig = 0x1A;
constexpr std::uint8_t kCftableEntry = 0x1B;
constexpr std::uint8_t kManfid = 0x20;
constexpr std::uint8_t kFuncid = 0x21;
constexpr std::uint8_t kEnd = 0xFF;
} // namespace tuple

class CisBuilder {
public:
    // Throws std::length_error for a body over 255 bytes.
    CisBuilder& add(std::uint8_t code, const std::vector<std::uint8_t>& body);
    CisBuilder& add(std::uint8_t code, std::initializer_list<std::uint8_t> body) {
        return add(code, std::vector<std::uint8_t>(body));
    }
    // CISTPL_VERS_1: version 4.1, then each string with its NUL, then 0xFF.
    CisBuilder& vers_1(const std::vector<std::string>& strings);
    // CISTPL_END
    CisBuilder& end();
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

} // namespace orvo::pcmcia
