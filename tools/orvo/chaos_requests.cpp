#include "tools/orvo/chaos_requests.h"

#include "machine/scsi/cdb.h"

#include <algorithm>

namespace orvo::tool {

namespace {

using scsi::SeededRandom;
using scsiport::RequestSpec;

constexpr std::uint32_t kBlock = 512;
constexpr std::uint32_t kMostBlocks = 64;
constexpr ULONG kLongestTimeout = 8;  // seconds

std::vector<std::uint8_t> cdb10(std::uint8_t op, std::uint64_t lba, std::uint32_t blocks) {
    return {op, 0, std::uint8_t(lba >> 24), std::uint8_t(lba >> 16), std::uint8_t(lba >> 8), std::uint8_t(lba),
            0, std::uint8_t(blocks >> 8), std::uint8_t(blocks), 0};
}

// Mostly a range on the disk, now and then one anywhere (past its end, or at no disk at all).
BlockRange random_range(SeededRandom& random, std::uint64_t disk_blocks, std::uint32_t most_blocks) {
    BlockRange r;
    r.blocks = std::uint32_t(random.between(1, most_blocks));
    if (disk_blocks > r.blocks && random.chance(90)) {
        r.lba = random.below(disk_blocks - r.blocks + 1);
    } else {
        r.lba = random.below(disk_blocks + 4096);
    }
    return r;
}

// The buffer a request brings: mostly what the command asks, sometimes less or more.
std::uint32_t buffer_length(SeededRandom& random, std::uint32_t asked) {
    if (random.chance(80)) return asked;
    return std::uint32_t(random.below(asked + 1024));
}

void read6(SeededRandom& random, std::uint64_t blocks, RequestSpec& spec) {
    BlockRange r = random_range(random, blocks, kMostBlocks);
    r.lba &= 0x1FFFFF;
    const std::uint8_t count = random.chance(5) ? 0 : std::uint8_t(r.blocks);  // 0 asks for 256
    spec.cdb = {scsi::op::kRead6, std::uint8_t(r.lba >> 16), std::uint8_t(r.lba >> 8), std::uint8_t(r.lba), count, 0};
    spec.data_in_length = buffer_length(random, (count == 0 ? 256u : count) * kBlock);
}

void read10(SeededRandom& random, std::uint64_t blocks, RequestSpec& spec) {
    const BlockRange r = random_range(random, blocks, kMostBlocks);
    spec.cdb = cdb10(scsi::op::kRead10, r.lba, r.blocks);
    spec.data_in_length = buffer_length(random, r.blocks * kBlock);
}

void write10(SeededRandom& random, std::uint64_t blocks, RequestSpec& spec) {
    const BlockRange r = random_range(random, blocks, kMostBlocks / 2);
    spec.cdb = cdb10(scsi::op::kWrite10, r.lba, r.blocks);
    spec.data_out.resize(std::max<std::uint32_t>(1, buffer_length(random, r.blocks * kBlock)));
    random.fill(spec.data_out);
}

void inquiry(SeededRandom& random, std::uint64_t, RequestSpec& spec) {
    const std::uint8_t length = random.byte();
    spec.cdb = {scsi::op::kInquiry, 0, 0, 0, length, 0};
    spec.data_in_length = buffer_length(random, length);
}

void test_unit_ready(SeededRandom&, std::uint64_t, RequestSpec& spec) { spec.cdb = {scsi::op::kTestUnitReady, 0, 0, 0, 0, 0}; }

void request_sense(SeededRandom& random, std::uint64_t, RequestSpec& spec) {
    const std::uint8_t length = std::uint8_t(random.below(33));
    spec.cdb = {scsi::op::kRequestSense, 0, 0, 0, length, 0};
    spec.data_in_length = buffer_length(random, length);
}

// Any bytes at all, in any length a request may carry, with data either way or none.
void random_cdb(SeededRandom& random, std::uint64_t, RequestSpec& spec) {
    spec.cdb.resize(random.between(1, 16));
    random.fill(spec.cdb);
    switch (random.below(3)) {
    case 0:
        spec.data_in_length = std::uint32_t(random.below(4097));
        break;
    case 1:
        spec.data_out.resize(random.between(1, 4096));
        random.fill(spec.data_out);
        break;
    default:
        break;
    }
}

// The port driver's own requests that carry a message instead of a command.
void device_reset(SeededRandom&, std::uint64_t, RequestSpec& spec) { spec.function = SRB_FUNCTION_RESET_DEVICE; }
void abort_command(SeededRandom&, std::uint64_t, RequestSpec& spec) { spec.function = SRB_FUNCTION_ABORT_COMMAND; }

struct RequestKind {
    unsigned weight;
    void (*make)(SeededRandom& random, std::uint64_t disk_blocks, RequestSpec& spec);
};

constexpr RequestKind kKinds[] = {
    {15, read6},         {25, read10},       {20, write10},     {10, inquiry}, {10, test_unit_ready},
    {8, request_sense},  {7, random_cdb},    {2, device_reset}, {2, abort_command},
};

// IDs with a disk get most requests; the empty ones (and the adapter's own) the rest.
std::uint8_t random_target(SeededRandom& random, const DiskBlocks& disks) {
    std::array<unsigned, 8> weights{};
    for (std::size_t id = 0; id < weights.size(); ++id) weights[id] = disks[id] != 0 ? 30 : 3;
    return std::uint8_t(random.weighted(weights));
}

} // namespace

RequestSpec random_request(SeededRandom& random, const DiskBlocks& disks) {
    RequestSpec spec;
    spec.target = random_target(random, disks);
    spec.lun = random.chance(90) ? 0 : std::uint8_t(random.between(1, 7));
    spec.timeout_seconds = ULONG(random.between(1, kLongestTimeout));
    std::array<unsigned, std::size(kKinds)> weights{};
    for (std::size_t i = 0; i < weights.size(); ++i) weights[i] = kKinds[i].weight;
    kKinds[random.weighted(weights)].make(random, disks[spec.target], spec);
    // The LUN in byte 1 as well, as class drivers put it for targets that take no IDENTIFY
    // (a target that skips MESSAGE OUT reads the LUN from the command).
    if (spec.cdb.size() >= 2) spec.cdb[1] = std::uint8_t((spec.cdb[1] & 0x1F) | (spec.lun << 5));
    return spec;
}

std::optional<BlockRange> read_range(const std::vector<std::uint8_t>& cdb) {
    if (cdb.size() >= 6 && cdb[0] == scsi::op::kRead6) {
        return BlockRange{(std::uint64_t(cdb[1] & 0x1F) << 16) | scsi::be16(cdb, 2), cdb[4] == 0 ? 256u : cdb[4]};
    }
    if (cdb.size() >= 10 && cdb[0] == scsi::op::kRead10) return BlockRange{scsi::be32(cdb, 2), scsi::be16(cdb, 7)};
    return std::nullopt;
}

std::optional<BlockRange> write_range(const std::vector<std::uint8_t>& cdb) {
    if (cdb.size() >= 6 && cdb[0] == scsi::op::kWrite6) {
        return BlockRange{(std::uint64_t(cdb[1] & 0x1F) << 16) | scsi::be16(cdb, 2), cdb[4] == 0 ? 256u : cdb[4]};
    }
    if (cdb.size() >= 10 && cdb[0] == scsi::op::kWrite10) return BlockRange{scsi::be32(cdb, 2), scsi::be16(cdb, 7)};
    return std::nullopt;
}

} // namespace orvo::tool
