#include "machine/pcmcia/cis_builder.h"

#include <stdexcept>

namespace orvo::pcmcia {

CisBuilder& CisBuilder::add(std::uint8_t code, const std::vector<std::uint8_t>& body) {
    if (body.size() > 255) throw std::length_error("a tuple body holds at most 255 bytes");
    bytes_.push_back(code);
    bytes_.push_back(static_cast<std::uint8_t>(body.size()));
    bytes_.insert(bytes_.end(), body.begin(), body.end());
    return *this;
}

CisBuilder& CisBuilder::vers_1(const std::vector<std::string>& strings) {
    std::vector<std::uint8_t> body{0x04, 0x01};
    for (const std::string& s : strings) {
        body.insert(body.end(), s.begin(), s.end());
        body.push_back(0x00);
    }
    body.push_back(0xFF);
    return add(tuple::kVers1, body);
}

CisBuilder& CisBuilder::end() {
    bytes_.push_back(tuple::kEnd);
    return *this;
}

} // namespace orvo::pcmcia
