#include "scsiport/host/configuration_record.h"

#include <algorithm>
#include <cstring>

namespace orvo::scsiport {

ConfigurationRecord::ConfigurationRecord(const HW_INITIALIZATION_DATA& registration,
                                         const AdapterResources& machine)
    // A registration with no ranges still gets one zeroed element: miniports read the first
    // range without looking at the count.
    : ranges_(std::max<ULONG>(registration.NumberOfAccessRanges, 1)) {
    std::memset(ranges_.data(), 0, ranges_.size() * sizeof(ACCESS_RANGE));
    if (machine.first_access_range) {
        ACCESS_RANGE& first = ranges_.front();
        first.RangeStart.QuadPart = static_cast<LONGLONG>(machine.first_access_range->start);
        first.RangeLength = machine.first_access_range->length;
        first.RangeInMemory = machine.first_access_range->in_memory ? TRUE : FALSE;
    }

    PORT_CONFIGURATION_INFORMATION& c = info_;
    std::memset(&c, 0, sizeof c);
    c.Length = sizeof(PORT_CONFIGURATION_INFORMATION);
    c.SystemIoBusNumber = machine.system_io_bus_number;
    c.AdapterInterfaceType = registration.AdapterInterfaceType;
    c.BusInterruptLevel = machine.bus_interrupt_level;
    c.BusInterruptVector = machine.bus_interrupt_vector;
    c.InterruptMode = machine.interrupt_mode;
    c.MaximumTransferLength = SP_UNINITIALIZED_VALUE;
    c.NumberOfPhysicalBreaks = SP_UNINITIALIZED_VALUE;
    c.DmaChannel = machine.dma_channel;
    c.DmaPort = machine.dma_port;
    c.DmaWidth = Width8Bits;
    c.DmaSpeed = Compatible;
    c.AlignmentMask = 0;
    c.NumberOfAccessRanges = registration.NumberOfAccessRanges;
    c.AccessRanges = ranges_.data();
    c.NumberOfBuses = 1;
    std::memset(c.InitiatorBusId, static_cast<UCHAR>(SP_UNINITIALIZED_VALUE), sizeof c.InitiatorBusId);
    if (machine.initiator_id) c.InitiatorBusId[0] = *machine.initiator_id;
    c.MapBuffers = registration.MapBuffers;
    c.NeedPhysicalAddresses = registration.NeedPhysicalAddresses;
    c.TaggedQueuing = registration.TaggedQueuing;
    c.AutoRequestSense = registration.AutoRequestSense;
    c.MultipleRequestPerLu = registration.MultipleRequestPerLu;
    c.ReceiveEvent = registration.ReceiveEvent;
    c.MaximumNumberOfTargets = kDefaultMaximumTargets;
}

std::span<const ACCESS_RANGE> ConfigurationRecord::access_ranges() const {
    return {ranges_.data(), std::min<std::size_t>(info_.NumberOfAccessRanges, ranges_.size())};
}

unsigned ConfigurationRecord::scan_targets() const {
    const unsigned targets = info_.MaximumNumberOfTargets;
    return targets == 0 || targets > kDefaultMaximumTargets ? kDefaultMaximumTargets : targets;
}

unsigned ConfigurationRecord::initiator_id() const {
    const unsigned id = info_.InitiatorBusId[0];
    return id < 8 ? id : 8;
}

} // namespace orvo::scsiport
