#pragma once
// The assigned-resource record Windows NT keeps for a PC Card: a CM_FULL_RESOURCE_DESCRIPTOR
// (little-endian) with one port descriptor per I/O window and one interrupt descriptor.

#include <cstdint>
#include <optional>
#include <vector>

namespace orvo::system {

struct IoWindow {
    std::uint16_t base = 0;
    std::uint16_t length = 0;
    bool operator==(const IoWindow&) const = default;
};

struct AssignedResources {
    std::vector<IoWindow> windows;  // one or two
    std::uint8_t irq = 0;
    bool operator==(const AssignedResources&) const = default;
};

inline constexpr std::uint32_t kInterfacePcmciaBus = 8;
inline constexpr std::uint8_t kResourceTypePort = 1;
inline constexpr std::uint8_t kResourceTypeInterrupt = 2;
inline constexpr std::uint16_t kResourcePortIo = 1;          // CM_RESOURCE_PORT_IO
inline constexpr std::uint16_t kResourceInterruptLatched = 1; // CM_RESOURCE_INTERRUPT_LATCHED
inline constexpr std::uint8_t kShareDeviceExclusive = 1;

std::vector<std::uint8_t> encode_full_resource_descriptor(const AssignedResources& resources);

// The resources a descriptor lists (I/O ports with the port flag, the first interrupt);
// nothing is read past the bytes given, whatever the count field says. None when the bytes
// hold no interrupt or no port.
std::optional<AssignedResources> decode_full_resource_descriptor(const std::vector<std::uint8_t>& bytes);

} // namespace orvo::system
