#include "system/resource_descriptor.h"

namespace orvo::system {

namespace {

constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kPartialSize = 16;

void put(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t value, unsigned bytes) {
    for (unsigned i = 0; i < bytes; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t get(const std::vector<std::uint8_t>& in, std::size_t at, unsigned bytes) {
    std::uint64_t value = 0;
    for (unsigned i = 0; i < bytes; ++i) value |= std::uint64_t(in[at + i]) << (8 * i);
    return value;
}

} // namespace

std::vector<std::uint8_t> encode_full_resource_descriptor(const AssignedResources& resources) {
    const std::size_t count = resources.windows.size() + 1;
    std::vector<std::uint8_t> out(kHeaderSize + count * kPartialSize, 0);
    put(out, 0, kInterfacePcmciaBus, 4);
    put(out, 4, 0, 4);   // bus number
    put(out, 8, 1, 2);   // list version
    put(out, 10, 1, 2);  // list revision
    put(out, 12, count, 4);
    std::size_t at = kHeaderSize;
    for (const IoWindow& window : resources.windows) {
        out[at] = kResourceTypePort;
        out[at + 1] = kShareDeviceExclusive;
        put(out, at + 2, kResourcePortIo, 2);
        put(out, at + 4, window.base, 8);
        put(out, at + 12, window.length, 4);
        at += kPartialSize;
    }
    out[at] = kResourceTypeInterrupt;
    out[at + 1] = kShareDeviceExclusive;
    put(out, at + 2, kResourceInterruptLatched, 2);
    put(out, at + 4, resources.irq, 4);   // level
    put(out, at + 8, resources.irq, 4);   // vector
    put(out, at + 12, 0xFFFFFFFF, 4);     // affinity
    return out;
}

std::optional<AssignedResources> decode_full_resource_descriptor(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < kHeaderSize) return std::nullopt;
    const std::uint64_t count = get(bytes, 12, 4);
    AssignedResources resources;
    bool interrupt = false;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::size_t at = kHeaderSize + std::size_t(i) * kPartialSize;
        if (at + kPartialSize > bytes.size()) break;
        if (bytes[at] == kResourceTypePort && get(bytes, at + 2, 2) == kResourcePortIo) {
            resources.windows.push_back({static_cast<std::uint16_t>(get(bytes, at + 4, 2)),
                                         static_cast<std::uint16_t>(get(bytes, at + 12, 2))});
        } else if (bytes[at] == kResourceTypeInterrupt && !interrupt) {
            resources.irq = static_cast<std::uint8_t>(get(bytes, at + 4, 2));
            interrupt = true;
        }
    }
    if (!interrupt || resources.windows.empty()) return std::nullopt;
    return resources;
}

} // namespace orvo::system
