#pragma once
// Port I/O space of the simulated PC (64 Ki ports). Devices claim port ranges; every access
// costs one I/O cycle of virtual time (a buffered access one cycle per element) and can be
// traced, one line per operation:
//   W8 0293 43      R8 0294 87      R32 0cfc ac12104c
//   RS8 0294 #128   WS32 0294 #32   WS16 0294 #1        (buffered: element count after #)
// Ports no device claims read all ones; writes to them vanish.

#include "machine/io/clock.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace orvo::io {

// A device on the port bus. Widths are in bytes (1, 2, 4). A buffered access reaches the
// device in one call so that it can move the whole block at once.
class PortDevice {
public:
    virtual ~PortDevice() = default;
    virtual std::uint32_t port_read(std::uint16_t port, unsigned width) = 0;
    virtual void port_write(std::uint16_t port, std::uint32_t value, unsigned width) = 0;
    // Defaults: element by element through port_read / port_write.
    virtual void port_read_buffer(std::uint16_t port, void* dst, std::uint32_t count, unsigned width);
    virtual void port_write_buffer(std::uint16_t port, const void* src, std::uint32_t count,
                                   unsigned width);
};

class IoSpace {
public:
    static constexpr std::uint32_t kPorts = 0x10000;
    static constexpr Nanoseconds kDefaultCycle = kMicrosecond;
    using TraceSink = std::function<void(std::string_view line)>;

    explicit IoSpace(VirtualClock& clock);

    // Claims [first, first + count) for a device; throws std::invalid_argument on overlap.
    void map(std::uint32_t first, std::uint32_t count, PortDevice* device);
    void unmap(std::uint32_t first, std::uint32_t count);
    PortDevice* device_at(std::uint32_t port) const {
        return port < kPorts ? devices_[port] : nullptr;
    }

    std::uint32_t read(std::uint32_t port, unsigned width);
    void write(std::uint32_t port, std::uint32_t value, unsigned width);
    void read_buffer(std::uint32_t port, void* dst, std::uint32_t count, unsigned width);
    void write_buffer(std::uint32_t port, const void* src, std::uint32_t count, unsigned width);

    std::uint8_t read8(std::uint32_t port) { return static_cast<std::uint8_t>(read(port, 1)); }
    void write8(std::uint32_t port, std::uint8_t value) { write(port, value, 1); }

    void set_cycle(Nanoseconds cycle) { cycle_ = cycle; }
    Nanoseconds cycle() const { return cycle_; }
    void set_trace(TraceSink sink) { trace_ = std::move(sink); }
    bool tracing() const { return static_cast<bool>(trace_); }
    VirtualClock& clock() { return clock_; }

    std::uint64_t access_count() const { return accesses_; }

private:
    void trace_single(char op, std::uint32_t port, unsigned width, std::uint32_t value);
    void trace_buffer(char op, std::uint32_t port, unsigned width, std::uint32_t count);

    VirtualClock& clock_;
    Nanoseconds cycle_ = kDefaultCycle;
    TraceSink trace_;
    std::uint64_t accesses_ = 0;
    std::unique_ptr<std::array<PortDevice*, kPorts>> table_;
    PortDevice** devices_;
};

// Formats one trace line (as above) into out; returns its length. Exposed for tools that
// write traces of their own.
std::string_view format_port_trace(char* out, std::size_t size, char op, std::uint32_t port,
                                   unsigned width, std::uint32_t value_or_count, bool buffered);

} // namespace orvo::io
