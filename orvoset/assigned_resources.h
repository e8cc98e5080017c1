#pragma once
// CAssignedResources: the resources the operating system assigned to the card at this boot,
// read from the value named after the driver under HARDWARE\DESCRIPTION\System\PCMCIA PCCARDs,
// a full resource descriptor (little-endian):
//   offset 0  interface type (4)   4 bus number (4)   8 version (2)   10 revision (2)
//          12 count of partial descriptors (4)        16 partial descriptors, 16 bytes each
// A partial descriptor: type (1), share disposition (1), flags (2), then by type
//   1 port:      start (8 at 4), length (4 at 12)
//   2 interrupt: level (4 at 4), vector (4 at 8), affinity (4 at 12)

#include "winapi/win32_types.h"

#include <string>
#include <vector>

struct CPortRange {
    WORD Start = 0;
    WORD Length = 0;
    WORD End = 0; // Start + Length: the first port after the range
    bool operator==(const CPortRange&) const = default;
};

class CAssignedResources {
  public:
    std::vector<WORD> Interrupts;       // levels, in the descriptor's order
    std::vector<CPortRange> PortRanges; // I/O port ranges, in the descriptor's order

    // FALSE with both lists empty when the value cannot be read (card absent or not
    // configured at this boot). The walk lists port descriptors whose flags say I/O space and
    // interrupt descriptors, skips every other kind, and never reads past the bytes the value
    // holds, whatever its count field says.
    BOOL LoadFromRegistry(const std::string& driver);
};
