// The assigned-resource walk: any value under PCMCIA PCCARDs, of any size, is read as the
// utility reads it (CAssignedResources). What the walk lists must be exactly the I/O port and
// interrupt descriptors that lie whole inside the value and within its count: nothing from
// bytes the value does not hold, whatever its count field claims.
//
// Input: the value's size (2 bytes, little-endian), then its bytes. The bytes are repeated (or
// cut) to that size, so short inputs reach values of any size, the read buffer's 520 bytes
// and beyond, and the count field claims a number of descriptors independent of the size.
// An input too short for the size is the value itself.

#include "machine/registry/key_tree.h"
#include "orvoset/assigned_resources.h"
#include "winapi/environment.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using orvo::registry::Value;

constexpr const char* kDriver = "orvont";
const orvo::registry::KeyPath kPcCardsKey = {"HKEY_LOCAL_MACHINE", "HARDWARE", "DESCRIPTION", "System",
                                             "PCMCIA PCCARDs"};
// The walk reads the value into a buffer of this size; a longer value cannot be read.
constexpr std::size_t kReadBufferSize = 520;
constexpr std::size_t kHeaderSize = 16;
constexpr std::size_t kDescriptorSize = 16;

std::vector<std::uint8_t> value_bytes(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return {data, data + size};
    const std::size_t value_size = data[0] | std::size_t{data[1]} << 8;
    const std::uint8_t* pattern = data + 2;
    const std::size_t pattern_size = size - 2;
    std::vector<std::uint8_t> bytes(value_size, 0);
    if (pattern_size > 0)
        for (std::size_t i = 0; i < value_size; ++i)
            bytes[i] = pattern[i % pattern_size];
    return bytes;
}

std::uint32_t little_endian(const std::uint8_t* bytes, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = width; i-- > 0;)
        value = value << 8 | bytes[i];
    return value;
}

// What the walk must list for a value it can read: from every descriptor that lies whole
// inside the value and within its count, the I/O-space port ranges and the interrupt levels.
CAssignedResources expected_walk(const std::vector<std::uint8_t>& value) {
    CAssignedResources expected;
    if (value.size() < kHeaderSize) return expected;
    const std::size_t whole = (value.size() - kHeaderSize) / kDescriptorSize;
    const std::size_t count = std::min<std::size_t>(little_endian(&value[12], 4), whole);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* descriptor = &value[kHeaderSize + i * kDescriptorSize];
        if (descriptor[0] == 1 && little_endian(descriptor + 2, 2) == 1) {
            const auto start = static_cast<WORD>(little_endian(descriptor + 4, 2));
            const auto length = static_cast<WORD>(little_endian(descriptor + 12, 2));
            expected.PortRanges.push_back({start, length, static_cast<WORD>(start + length)});
        } else if (descriptor[0] == 2) {
            expected.Interrupts.push_back(static_cast<WORD>(little_endian(descriptor + 4, 2)));
        }
    }
    return expected;
}

[[noreturn]] void broken(const char* what, std::size_t value_size) {
    std::fprintf(stderr, "assigned resources: %s (value of %zu bytes)\n", what, value_size);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static orvo::winapi::Environment& machine = orvo::winapi::install_environment({}); // registry in memory
    const std::vector<std::uint8_t> value = value_bytes(data, size);
    machine.registry().modify([&](orvo::registry::Tree& tree) {
        tree.create(kPcCardsKey).set_value(kDriver, Value::from_bytes(orvo::registry::kTypeFullResourceDescriptor, value));
        return true;
    });

    CAssignedResources assigned;
    assigned.Interrupts.assign(3, 99); // whatever an earlier load left
    assigned.PortRanges.assign(2, {1, 2, 3});
    const BOOL loaded = assigned.LoadFromRegistry(kDriver);

    const bool readable = value.size() <= kReadBufferSize;
    if (loaded != (readable ? TRUE : FALSE)) broken("load result does not tell whether the value was read", value.size());
    const CAssignedResources expected = expected_walk(readable ? value : std::vector<std::uint8_t>{});
    if (assigned.Interrupts != expected.Interrupts) broken("interrupts differ from the descriptors inside the value", value.size());
    if (assigned.PortRanges != expected.PortRanges) broken("port ranges differ from the descriptors inside the value", value.size());
    return 0;
}
