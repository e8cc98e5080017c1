#pragma once
// PCI configuration space through configuration mechanism 1: a 32-bit address written to
// 0xCF8 (bit 31 enable, bus in bits 23..16, device 15..11, function 10..8, register 7..2)
// selects a register whose bytes are read at 0xCFC-0xCFF. The functions are those the machine
// description lists, each with a 256-byte header: vendor and device ID, a command register
// that takes writes, class code and header type. A location with no function, or an access
// without the enable bit, reads all ones.

#include "machine/io/io_space.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace orvo::pci {

constexpr std::uint16_t kConfigAddressPort = 0xCF8;
constexpr std::uint16_t kConfigDataPort = 0xCFC;

namespace address {
constexpr std::uint32_t kEnable = 0x80000000;
constexpr std::uint32_t kImplemented = 0x80FFFFFC;  // reserved bits 30..24 and 1..0 read 0
constexpr unsigned kBusShift = 16, kDeviceShift = 11, kFunctionShift = 8;
} // namespace address

namespace header {
constexpr std::uint8_t kVendorId = 0x00;
constexpr std::uint8_t kDeviceId = 0x02;
constexpr std::uint8_t kCommand = 0x04;
constexpr std::uint8_t kRevision = 0x08;
constexpr std::uint8_t kClassCode = 0x09;  // programming interface, subclass, base class
constexpr std::uint8_t kHeaderType = 0x0E;
constexpr std::uint8_t kMultiFunction = 0x80;
} // namespace header

struct FunctionDescription {
    std::uint8_t bus = 0, device = 0, function = 0;
    std::uint16_t vendor_id = 0, device_id = 0;
    std::uint32_t class_code = 0;  // base class, subclass, interface (0x060700: CardBus bridge)
};

class ConfigSpace final : public io::PortDevice {
public:
    static constexpr unsigned kMaxDevices = 32, kMaxFunctions = 8;

    ConfigSpace() = default;
    ~ConfigSpace() override;
    ConfigSpace(const ConfigSpace&) = delete;
    ConfigSpace& operator=(const ConfigSpace&) = delete;

    // Throws std::invalid_argument for a device above 31, a function above 7, or a location
    // already taken.
    void add(const FunctionDescription& function);
    // Claims 0xCF8-0xCFF; throws std::invalid_argument when they are taken.
    void attach(io::IoSpace& ports);
    void detach();

    std::uint32_t address() const { return address_; }
    // A register's 32-bit value as the data port gives it (all ones where nothing answers).
    std::uint32_t read_register(std::uint8_t bus, std::uint8_t device, std::uint8_t function,
                                std::uint8_t reg) const;

    // io::PortDevice. The address register takes 32-bit accesses only; the data port 8-, 16-
    // and 32-bit accesses at the byte they address.
    std::uint32_t port_read(std::uint16_t port, unsigned width) override;
    void port_write(std::uint16_t port, std::uint32_t value, unsigned width) override;

private:
    struct Function {
        std::uint8_t bus, device, function;
        std::array<std::uint8_t, 256> header{};
    };
    // Position of the function at the location in functions_, or none.
    std::optional<std::size_t> locate(std::uint8_t bus, std::uint8_t device, std::uint8_t function) const;
    // The function the address register selects (enable bit set), if any.
    std::optional<std::size_t> selected() const;

    io::IoSpace* ports_ = nullptr;
    std::uint32_t address_ = 0;
    std::vector<Function> functions_;
};

} // namespace orvo::pci
