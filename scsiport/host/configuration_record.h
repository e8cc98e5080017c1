#pragma once
// The PORT_CONFIGURATION_INFORMATION handed to HwFindAdapter, with the access-range array it
// points to, prepared as the platform's port driver prepares it: defaults it does not know are
// reported as uninitialised, the rest comes from the registration and the machine.

#include "scsiport/host/host_types.h"
#include "scsiport/scsiport.h"

#include <span>
#include <vector>

namespace orvo::scsiport {

class ConfigurationRecord {
public:
    // Larger arrays are refused at registration.
    static constexpr ULONG kMaxAccessRanges = 16;
    // What the port driver assumes before the miniport says otherwise.
    static constexpr UCHAR kDefaultMaximumTargets = 8;

    ConfigurationRecord(const HW_INITIALIZATION_DATA& registration, const AdapterResources& machine);
    ConfigurationRecord(const ConfigurationRecord&) = delete;  // info_ points into ranges_
    ConfigurationRecord& operator=(const ConfigurationRecord&) = delete;

    PORT_CONFIGURATION_INFORMATION& info() { return info_; }
    const PORT_CONFIGURATION_INFORMATION& info() const { return info_; }

    // The ranges the miniport reports: NumberOfAccessRanges as it left it, bounded by the
    // array the host allocated (the miniport cannot grow it).
    std::span<const ACCESS_RANGE> access_ranges() const;

    // Targets the bus scan visits: MaximumNumberOfTargets, with 0 or more than 8 read as 8.
    unsigned scan_targets() const;
    // The adapter's own ID on the bus (InitiatorBusId[0]), or 8 when it is not a valid ID.
    unsigned initiator_id() const;

private:
    std::vector<ACCESS_RANGE> ranges_;
    PORT_CONFIGURATION_INFORMATION info_{};
};

} // namespace orvo::scsiport
