#include "machine/pcmcia/pc_card.h"

#include <stdexcept>

namespace orvo::pcmcia {

PcCard::PcCard(CardModel model) : model_(std::move(model)) {
    if (model_.cis.size() > kMaxCisBytes) {
        throw std::invalid_argument("the CIS of card '" + model_.name + "' has " +
                                    std::to_string(model_.cis.size()) + " bytes; at most " +
                                    std::to_string(kMaxCisBytes) + " fit below its configuration registers");
    }
}

std::uint8_t PcCard::attribute_read(std::uint32_t address) const {
    const std::uint32_t a = address & kAttributeDecodeMask;
    if (a == kCorAddress) return cor_;
    if (a == kCsrAddress) return csr_;
    if ((a & 1) != 0) return 0xFF;
    const std::uint32_t k = a / 2;
    return k < model_.cis.size() ? model_.cis[k] : 0xFF;
}

void PcCard::attribute_write(std::uint32_t address, std::uint8_t value) {
    const std::uint32_t a = address & kAttributeDecodeMask;
    if (a == kCorAddress) {
        // A soft reset returns the card to its unconfigured state and holds it there while set.
        if ((value & cor::kSoftReset) != 0) {
            reset();
            cor_ = cor::kSoftReset;
        } else {
            cor_ = value;
        }
    } else if (a == kCsrAddress) {
        csr_ = static_cast<std::uint8_t>(value & csr::kWritable);
    }
    // The CIS is read-only: other writes are lost.
}

void PcCard::reset() {
    cor_ = 0;
    csr_ = 0;
}

std::optional<std::uint16_t> PcCard::function_base(std::uint16_t first, std::uint16_t last) const {
    if (!model_.function || !configured() || first > last) return std::nullopt;
    const IoFunction& f = *model_.function;
    const IoConfiguration* configuration = nullptr;
    for (const IoConfiguration& c : f.configurations) {
        if (c.index == configuration_index()) configuration = &c;
    }
    if (configuration == nullptr) return std::nullopt;  // an index the card does not offer
    // The function repeats in every block the card decodes; the first one wholly inside wins.
    for (std::uint32_t block = first & ~(f.decoded_ports - 1); block <= last; block += f.decoded_ports) {
        const std::uint32_t base = block + configuration->function_offset;
        if (base >= first && base + f.ports - 1 <= last) return static_cast<std::uint16_t>(base);
    }
    return std::nullopt;
}

void PcCard::place_function(std::optional<std::uint16_t> base) {
    // The placer moves the function (off its old ports, onto the new ones) in one call.
    conflict_ = placer_ && !placer_(base);
    placed_ = conflict_ ? std::nullopt : base;
}

} // namespace orvo::pcmcia
