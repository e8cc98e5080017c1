#include "machine/io/io_space.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace orvo::io {

namespace {

std::uint32_t width_mask(unsigned width) {
    return width >= 4 ? 0xFFFFFFFFu : ((1u << (8 * width)) - 1);
}

void store_element(void* dst, std::uint32_t index, unsigned width, std::uint32_t value) {
    std::memcpy(static_cast<std::uint8_t*>(dst) + std::size_t(index) * width, &value, width);
}

std::uint32_t load_element(const void* src, std::uint32_t index, unsigned width) {
    std::uint32_t value = 0;
    std::memcpy(&value, static_cast<const std::uint8_t*>(src) + std::size_t(index) * width, width);
    return value;
}

} // namespace

void PortDevice::port_read_buffer(std::uint16_t port, void* dst, std::uint32_t count,
                                  unsigned width) {
    for (std::uint32_t i = 0; i < count; ++i) store_element(dst, i, width, port_read(port, width));
}

void PortDevice::port_write_buffer(std::uint16_t port, const void* src, std::uint32_t count,
                                   unsigned width) {
    for (std::uint32_t i = 0; i < count; ++i) port_write(port, load_element(src, i, width), width);
}

IoSpace::IoSpace(VirtualClock& clock)
    : clock_(clock), table_(std::make_unique<std::array<PortDevice*, kPorts>>()),
      devices_(table_->data()) {
    table_->fill(nullptr);
}

void IoSpace::map(std::uint32_t first, std::uint32_t count, PortDevice* device) {
    if (first >= kPorts || count > kPorts - first) throw std::invalid_argument("port range outside I/O space");
    for (std::uint32_t p = first; p < first + count; ++p) {
        if (devices_[p] != nullptr && devices_[p] != device) {
            char msg[64];
            std::snprintf(msg, sizeof msg, "port %04x is already claimed", p);
            throw std::invalid_argument(msg);
        }
    }
    for (std::uint32_t p = first; p < first + count; ++p) devices_[p] = device;
}

void IoSpace::unmap(std::uint32_t first, std::uint32_t count) {
    for (std::uint32_t p = first; p < first + count && p < kPorts; ++p) devices_[p] = nullptr;
}

std::uint32_t IoSpace::read(std::uint32_t port, unsigned width) {
    ++accesses_;
    clock_.advance(cycle_);
    PortDevice* device = device_at(port);
    const std::uint32_t value = device ? device->port_read(static_cast<std::uint16_t>(port), width) & width_mask(width)
                                       : width_mask(width);
    if (trace_) trace_single('R', port, width, value);
    return value;
}

void IoSpace::write(std::uint32_t port, std::uint32_t value, unsigned width) {
    ++accesses_;
    clock_.advance(cycle_);
    value &= width_mask(width);
    if (trace_) trace_single('W', port, width, value);
    if (PortDevice* device = device_at(port)) device->port_write(static_cast<std::uint16_t>(port), value, width);
}

void IoSpace::read_buffer(std::uint32_t port, void* dst, std::uint32_t count, unsigned width) {
    accesses_ += count;
    clock_.advance(cycle_ * count);
    if (PortDevice* device = device_at(port)) {
        device->port_read_buffer(static_cast<std::uint16_t>(port), dst, count, width);
    } else {
        std::memset(dst, 0xFF, std::size_t(count) * width);
    }
    if (trace_) trace_buffer('R', port, width, count);
}

void IoSpace::write_buffer(std::uint32_t port, const void* src, std::uint32_t count, unsigned width) {
    accesses_ += count;
    clock_.advance(cycle_ * count);
    if (trace_) trace_buffer('W', port, width, count);
    if (PortDevice* device = device_at(port)) {
        device->port_write_buffer(static_cast<std::uint16_t>(port), src, count, width);
    }
}

std::string_view format_port_trace(char* out, std::size_t size, char op, std::uint32_t port,
                                   unsigned width, std::uint32_t value_or_count, bool buffered) {
    int n;
    if (buffered) {
        n = std::snprintf(out, size, "%cS%u %04x #%u", op, width * 8, port, value_or_count);
    } else {
        n = std::snprintf(out, size, "%c%u %04x %0*x", op, width * 8, port, int(width * 2), value_or_count);
    }
    return {out, n < 0 ? 0 : std::min<std::size_t>(std::size_t(n), size - 1)};
}

void IoSpace::trace_single(char op, std::uint32_t port, unsigned width, std::uint32_t value) {
    char line[48];
    trace_(format_port_trace(line, sizeof line, op, port, width, value, false));
}

void IoSpace::trace_buffer(char op, std::uint32_t port, unsigned width, std::uint32_t count) {
    char line[48];
    trace_(format_port_trace(line, sizeof line, op, port, width, count, true));
}

} // namespace orvo::io
