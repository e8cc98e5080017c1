#pragma once
// A 16-bit PC Card as its socket sees it: attribute memory with the card information
// structure (CIS) at even addresses, the configuration option register (COR) at 0x400 and the
// configuration and status register (CSR) at 0x402, and optionally an I/O function that the
// card decodes once a configuration is selected.
//
// Attribute memory decodes address lines A0-A11 only, so the 4 KiB repeat through the card's
// address space: a window whose card offset is 0 shows the CIS at its start wherever the
// window lies in host memory. Odd addresses and addresses past the CIS read 0xFF; CIS bytes
// are read-only.
//
// The I/O function (the FAS408 on the Orvo-88) sits inside a block of ports the card decodes
// with its low address lines; which part of the block it takes depends on the configuration
// index written to the COR. Without a configuration the card decodes no I/O at all.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvo::pcmcia {

namespace cor {
constexpr std::uint8_t kIndexMask = 0x3F;
constexpr std::uint8_t kLevelIrq = 0x40;
constexpr std::uint8_t kSoftReset = 0x80;
} // namespace cor

namespace csr {
constexpr std::uint8_t kChanged = 0x80;
constexpr std::uint8_t kSigChange = 0x40;
constexpr std::uint8_t kIoIs8 = 0x20;
constexpr std::uint8_t kAudio = 0x08;
constexpr std::uint8_t kPowerDown = 0x04;
constexpr std::uint8_t kInterrupt = 0x02;
constexpr std::uint8_t kWritable = kSigChange | kIoIs8 | kAudio | kPowerDown;
} // namespace csr

// Where the function answers under one configuration index: its offset inside the block.
struct IoConfiguration {
    std::uint8_t index = 0;
    std::uint16_t function_offset = 0;
};

struct IoFunction {
    std::uint32_t decoded_ports = 32;  // the card decodes the address lines below this (a power of 2)
    std::uint32_t ports = 16;          // the function's registers
    std::vector<IoConfiguration> configurations;
};

struct CardModel {
    std::string name;
    std::vector<std::uint8_t> cis;      // at most PcCard::kMaxCisBytes
    std::optional<IoFunction> function; // none: no I/O function is modelled
};

class PcCard {
public:
    static constexpr std::uint32_t kAttributeDecodeMask = 0xFFF;
    static constexpr std::uint32_t kCorAddress = 0x400;
    static constexpr std::uint32_t kCsrAddress = 0x402;
    // The CIS ends below the configuration registers (CIS byte k lies at address 2k).
    static constexpr std::size_t kMaxCisBytes = kCorAddress / 2;

    // Puts the I/O function on the bus at a base port, or takes it off (nullopt). Returns
    // false when the function cannot be placed there (the ports are taken).
    using FunctionPlacer = std::function<bool(std::optional<std::uint16_t> base)>;

    // Throws std::invalid_argument for a CIS longer than kMaxCisBytes.
    explicit PcCard(CardModel model);
    PcCard(const PcCard&) = delete;
    PcCard& operator=(const PcCard&) = delete;

    const std::string& name() const { return model_.name; }
    const std::vector<std::uint8_t>& cis() const { return model_.cis; }
    bool has_function() const { return model_.function.has_value(); }

    // Card address as the socket presents it (any width; the card decodes A0-A11).
    std::uint8_t attribute_read(std::uint32_t address) const;
    void attribute_write(std::uint32_t address, std::uint8_t value);

    // RESET asserted or power lost: no configuration, registers at their power-on values.
    void reset();
    std::uint8_t cor() const { return cor_; }
    std::uint8_t csr() const { return csr_; }
    std::uint8_t configuration_index() const { return cor_ & cor::kIndexMask; }
    bool configured() const { return configuration_index() != 0; }

    // Base of the function's ports when the socket forwards the host ports first..last to the
    // card; none unless the current configuration puts the whole function inside them.
    std::optional<std::uint16_t> function_base(std::uint16_t first, std::uint16_t last) const;

    // The socket tells the card where its function now answers (nullopt: nowhere).
    void set_function_placer(FunctionPlacer placer) { placer_ = std::move(placer); }
    void place_function(std::optional<std::uint16_t> base);
    std::optional<std::uint16_t> function_placed() const { return placed_; }
    // The last placement failed because the ports were taken.
    bool function_conflict() const { return conflict_; }

private:
    CardModel model_;
    std::uint8_t cor_ = 0;
    std::uint8_t csr_ = 0;
    FunctionPlacer placer_;
    std::optional<std::uint16_t> placed_;
    bool conflict_ = false;
};

} // namespace orvo::pcmcia
