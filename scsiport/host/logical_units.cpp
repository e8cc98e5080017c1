#include "scsiport/host/logical_units.h"

namespace orvo::scsiport {

void* LogicalUnitTable::find(unsigned path, unsigned target, unsigned lun) const {
    if (!addressable(path, target, lun)) return nullptr;
    return units_[index(target, lun)].data();
}

void* LogicalUnitTable::make_known(unsigned path, unsigned target, unsigned lun) {
    if (!addressable(path, target, lun)) return nullptr;
    ExtensionBlock& unit = units_[index(target, lun)];
    if (!unit) unit = ExtensionBlock(extension_size_);
    return unit.data();
}

void LogicalUnitTable::forget(unsigned target, unsigned lun) {
    if (target < kTargets && lun < kLuns) units_[index(target, lun)] = ExtensionBlock();
}

} // namespace orvo::scsiport
