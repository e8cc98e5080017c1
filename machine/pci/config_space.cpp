#include "machine/pci/config_space.h"

#include <cstdio>
#include <stdexcept>

namespace orvo::pci {

namespace {
constexpr std::uint32_t kNothing = 0xFFFFFFFF;
constexpr unsigned kDataPorts = 4;
constexpr unsigned kPortCount = 8;  // 0xCF8-0xCFF
} // namespace

ConfigSpace::~ConfigSpace() { detach(); }

void ConfigSpace::add(const FunctionDescription& f) {
    char where[48];
    std::snprintf(where, sizeof where, "PCI %02x:%02x.%u", f.bus, f.device, f.function);
    if (f.device >= kMaxDevices || f.function >= kMaxFunctions) {
        throw std::invalid_argument(std::string(where) + ": device 0-31, function 0-7");
    }
    if (locate(f.bus, f.device, f.function)) throw std::invalid_argument(std::string(where) + " is described twice");
    Function added{f.bus, f.device, f.function, {}};
    auto put16 = [&added](std::uint8_t at, std::uint16_t v) {
        added.header[at] = static_cast<std::uint8_t>(v);
        added.header[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    put16(header::kVendorId, f.vendor_id);
    put16(header::kDeviceId, f.device_id);
    added.header[header::kClassCode] = static_cast<std::uint8_t>(f.class_code);
    added.header[header::kClassCode + 1] = static_cast<std::uint8_t>(f.class_code >> 8);
    added.header[header::kClassCode + 2] = static_cast<std::uint8_t>(f.class_code >> 16);
    functions_.push_back(added);
    // A device with more than one function says so in the header type of each.
    for (Function& other : functions_) {
        if (other.bus == f.bus && other.device == f.device && other.function != f.function) {
            other.header[header::kHeaderType] |= header::kMultiFunction;
            functions_.back().header[header::kHeaderType] |= header::kMultiFunction;
        }
    }
}

void ConfigSpace::attach(io::IoSpace& ports) {
    ports.map(kConfigAddressPort, kPortCount, this);
    ports_ = &ports;
}

void ConfigSpace::detach() {
    if (ports_ == nullptr) return;
    ports_->unmap(kConfigAddressPort, kPortCount);
    ports_ = nullptr;
}

std::optional<std::size_t> ConfigSpace::locate(std::uint8_t bus, std::uint8_t device, std::uint8_t function) const {
    for (std::size_t i = 0; i < functions_.size(); ++i) {
        const Function& f = functions_[i];
        if (f.bus == bus && f.device == device && f.function == function) return i;
    }
    return std::nullopt;
}

std::uint32_t ConfigSpace::read_register(std::uint8_t bus, std::uint8_t device, std::uint8_t function,
                                         std::uint8_t reg) const {
    const auto at = locate(bus, device, function);
    if (!at) return kNothing;
    const auto& h = functions_[*at].header;
    const unsigned r = reg & 0xFC;
    return std::uint32_t{h[r]} | std::uint32_t{h[r + 1]} << 8 | std::uint32_t{h[r + 2]} << 16 |
           std::uint32_t{h[r + 3]} << 24;
}

std::optional<std::size_t> ConfigSpace::selected() const {
    if ((address_ & address::kEnable) == 0) return std::nullopt;
    return locate(static_cast<std::uint8_t>(address_ >> address::kBusShift),
                  static_cast<std::uint8_t>((address_ >> address::kDeviceShift) & 0x1F),
                  static_cast<std::uint8_t>((address_ >> address::kFunctionShift) & 0x07));
}

std::uint32_t ConfigSpace::port_read(std::uint16_t port, unsigned width) {
    if (port == kConfigAddressPort) return width == 4 ? address_ : kNothing;
    if (port < kConfigDataPort || port + width > kConfigDataPort + kDataPorts) return kNothing;
    const auto at = selected();
    if (!at) return kNothing;
    const auto& h = functions_[*at].header;
    const unsigned first = (address_ & 0xFC) + (port - kConfigDataPort);
    std::uint32_t value = 0;
    for (unsigned i = 0; i < width; ++i) value |= std::uint32_t{h[first + i]} << (8 * i);
    return value;
}

void ConfigSpace::port_write(std::uint16_t port, std::uint32_t value, unsigned width) {
    if (port == kConfigAddressPort) {
        // Byte and word cycles at 0xCF8-0xCFB belong to other chipset registers, not to us.
        if (width == 4) address_ = value & address::kImplemented;
        return;
    }
    if (port < kConfigDataPort || port + width > kConfigDataPort + kDataPorts) return;
    const auto at = selected();
    if (!at) return;
    auto& h = functions_[*at].header;
    const unsigned first = (address_ & 0xFC) + (port - kConfigDataPort);
    // Only the command register takes writes; the identification is read-only.
    for (unsigned i = 0; i < width; ++i) {
        const unsigned reg = first + i;
        if (reg == header::kCommand || reg == header::kCommand + 1u) h[reg] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

} // namespace orvo::pci
