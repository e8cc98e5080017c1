#pragma once
// The logical units the port driver knows, each with its zero-filled extension. A unit becomes
// known when a request is started for it or when the bus scan finds it; ScsiPortGetLogicalUnit
// answers none for any other unit.

#include "scsiport/host/extension_block.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace orvo::scsiport {

class LogicalUnitTable {
public:
    static constexpr unsigned kTargets = 8;
    static constexpr unsigned kLuns = 8;

    // One bus (path 0), targets 0-7, LUNs 0-7.
    static bool addressable(unsigned path, unsigned target, unsigned lun) {
        return path == 0 && target < kTargets && lun < kLuns;
    }

    void set_extension_size(std::size_t size) { extension_size_ = size; }

    // The unit's extension, or nullptr for an unknown or unaddressable unit.
    void* find(unsigned path, unsigned target, unsigned lun) const;
    // Makes the unit known (allocating its extension, zero-filled) and returns its extension;
    // nullptr when the address is not addressable.
    void* make_known(unsigned path, unsigned target, unsigned lun);
    void forget(unsigned target, unsigned lun);

private:
    static std::size_t index(unsigned target, unsigned lun) { return target * kLuns + lun; }

    std::size_t extension_size_ = 0;
    std::array<ExtensionBlock, kTargets * kLuns> units_;
};

} // namespace orvo::scsiport
