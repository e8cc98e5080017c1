#pragma once
// The random requests of a chaos run: READ(6), READ(10), WRITE(10), INQUIRY, TEST UNIT READY,
// REQUEST SENSE and random command blocks, now and then a device reset or an abort, to random
// targets and LUNs, with buffers that now and then do not match what the command asks, and
// random time-outs.

#include "machine/scsi/seeded_random.h"
#include "scsiport/host/host_types.h"

#include <array>
#include <cstdint>

namespace orvo::tool {

// What the run knows of the bus: the blocks of the disk at each ID (0: no disk there).
using DiskBlocks = std::array<std::uint64_t, 8>;

scsiport::RequestSpec random_request(scsi::SeededRandom& random, const DiskBlocks& disks);

// Whether a command reads blocks of a disk (READ(6) or READ(10)), and which.
struct BlockRange {
    std::uint64_t lba = 0;
    std::uint32_t blocks = 0;
};
std::optional<BlockRange> read_range(const std::vector<std::uint8_t>& cdb);
std::optional<BlockRange> write_range(const std::vector<std::uint8_t>& cdb);

} // namespace orvo::tool
