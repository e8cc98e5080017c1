#include "machine/scsi/disk.h"

#include "machine/scsi/cdb.h"

#include <algorithm>
#include <cstring>

namespace orvo::scsi {

namespace {

constexpr std::uint8_t kPageRigidGeometry = 0x04;
constexpr std::uint8_t kPageCaching = 0x08;
constexpr std::uint8_t kAllPages = 0x3F;
constexpr std::uint8_t kPageControlSaved = 3;
constexpr std::uint8_t kPageControlChangeable = 1;
constexpr std::uint8_t kAscSavingNotSupported = 0x39;
// Geometry reported in the rigid-disk page: the usual translation of old host adapters.
constexpr std::uint32_t kHeads = 64;
constexpr std::uint32_t kSectorsPerTrack = 32;

struct Range {
    std::uint64_t lba;
    std::uint32_t count;
};

Range rw6_range(std::span<const std::uint8_t> cdb) {
    return {(std::uint64_t(cdb[1] & 0x1F) << 16) | be16(cdb, 2), cdb[4] == 0 ? 256u : cdb[4]};
}

Range rw10_range(std::span<const std::uint8_t> cdb) { return {be32(cdb, 2), be16(cdb, 7)}; }

} // namespace

DiskUnit::DiskUnit(ImageFile image, Identity identity)
    : BlockUnit(0x00, false, identity, kBlockSize), image_(std::move(image)) {}

bool DiskUnit::read_blocks(std::uint64_t lba, std::uint32_t count, std::uint8_t* dst) {
    return image_.read(lba * kBlockSize, dst, std::size_t(count) * kBlockSize);
}

Outcome DiskUnit::write_range(std::uint64_t lba, std::uint32_t count, Sense& sense) {
    if (Outcome o = ready(sense); o.status != status::kGood) return o;
    if (Outcome o = in_range(sense, lba, count); o.status != status::kGood) return o;
    if (image_.read_only()) return check(sense, sense_key::kDataProtect, asc::kWriteProtected);
    return data_out(count * kBlockSize);
}

Outcome DiskUnit::other(std::span<const std::uint8_t> cdb, std::vector<std::uint8_t>& data, Sense& sense) {
    switch (cdb[0]) {
    case op::kRead6: {
        const Range r = rw6_range(cdb);
        return read(r.lba, r.count, data, sense);
    }
    case op::kWrite6: {
        const Range r = rw6_range(cdb);
        return write_range(r.lba, r.count, sense);
    }
    case op::kWrite10: {
        const Range r = rw10_range(cdb);
        return write_range(r.lba, r.count, sense);
    }
    case op::kVerify10: {
        const Range r = rw10_range(cdb);
        if (Outcome o = ready(sense); o.status != status::kGood) return o;
        if (Outcome o = in_range(sense, r.lba, r.count); o.status != status::kGood) return o;
        const bool byte_check = (cdb[1] & 0x02) != 0;
        return byte_check ? data_out(r.count * kBlockSize) : good();
    }
    case op::kModeSense6:
        return mode_sense(cdb, data, sense);
    case op::kSynchronizeCache10:
        if (Outcome o = ready(sense); o.status != status::kGood) return o;
        if (!image_.flush()) return check(sense, sense_key::kMediumError, asc::kWriteError);
        return good();
    default:
        return BlockUnit::other(cdb, data, sense);
    }
}

Outcome DiskUnit::finish_out(std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> data, Sense& sense) {
    const bool is_write6 = cdb[0] == op::kWrite6;
    if (!is_write6 && cdb[0] != op::kWrite10 && cdb[0] != op::kVerify10) return good();
    const Range r = is_write6 ? rw6_range(cdb) : rw10_range(cdb);
    // A short data phase leaves the blocks it did not fill untouched.
    const std::uint32_t blocks = std::min<std::uint32_t>(r.count, std::uint32_t(data.size() / kBlockSize));
    const std::size_t bytes = std::size_t(blocks) * kBlockSize;
    if (cdb[0] == op::kVerify10) {
        std::vector<std::uint8_t> stored(bytes);
        if (bytes > 0 && !image_.read(r.lba * kBlockSize, stored.data(), bytes)) {
            return check(sense, sense_key::kMediumError, asc::kUnrecoveredReadError);
        }
        if (std::memcmp(stored.data(), data.data(), bytes) != 0) {
            return check(sense, sense_key::kMiscompare, asc::kMiscompareDuringVerify);
        }
        return good();
    }
    if (bytes > 0 && !image_.write(r.lba * kBlockSize, data.data(), bytes)) {
        Outcome o = check(sense, sense_key::kMediumError, asc::kWriteError);
        sense.info_valid = true;
        sense.info = std::uint32_t(r.lba);
        return o;
    }
    return good();
}

Outcome DiskUnit::mode_sense(std::span<const std::uint8_t> cdb, std::vector<std::uint8_t>& data, Sense& sense) {
    const bool no_block_descriptor = (cdb[1] & 0x08) != 0;
    const std::uint8_t control = cdb[2] >> 6;
    const std::uint8_t page = cdb[2] & 0x3F;
    if (control == kPageControlSaved) {
        return check(sense, sense_key::kIllegalRequest, kAscSavingNotSupported);
    }
    if (page != kAllPages && page != kPageRigidGeometry && page != kPageCaching) {
        return check(sense, sense_key::kIllegalRequest, asc::kInvalidFieldInCdb);
    }
    const bool changeable = control == kPageControlChangeable;
    data.assign(4, 0);
    data[2] = image_.read_only() ? 0x80 : 0x00;  // write protect
    if (!no_block_descriptor) {
        data[3] = 8;
        std::uint8_t bd[8] = {};
        put_be24(&bd[1], std::uint32_t(std::min<std::uint64_t>(block_count(), 0xFFFFFF)));
        put_be24(&bd[5], kBlockSize);
        data.insert(data.end(), bd, bd + 8);
    }
    if (page == kAllPages || page == kPageRigidGeometry) {
        std::uint8_t p[24] = {kPageRigidGeometry, 0x16};
        if (!changeable) {
            put_be24(&p[2], std::uint32_t(block_count() / (kHeads * kSectorsPerTrack)));
            p[5] = kHeads;
            put_be16(&p[20], 5400);  // rotation rate, rpm
        }
        data.insert(data.end(), p, p + sizeof p);
    }
    if (page == kAllPages || page == kPageCaching) {
        const std::uint8_t p[12] = {kPageCaching, 0x0A};  // write-through, read cache on
        data.insert(data.end(), p, p + sizeof p);
    }
    data[0] = std::uint8_t(data.size() - 1);
    data.resize(std::min<std::size_t>(data.size(), cdb[4]));
    return data_in(std::uint32_t(data.size()));
}

} // namespace orvo::scsi
