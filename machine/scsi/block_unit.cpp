#include "machine/scsi/block_unit.h"

#include "machine/scsi/cdb.h"

#include <algorithm>

namespace orvo::scsi {

BlockUnit::BlockUnit(std::uint8_t device_type, bool removable, Identity identity, std::uint32_t block_size)
    : device_type_(device_type), removable_(removable), identity_(identity), block_size_(block_size) {}

Outcome BlockUnit::ready(Sense& sense) const {
    if (!medium_present()) return check(sense, sense_key::kNotReady, asc::kMediumNotPresent);
    if (!started_) return check(sense, sense_key::kNotReady, asc::kNotReady, 0x02);
    return good();
}

Outcome BlockUnit::in_range(Sense& sense, std::uint64_t lba, std::uint64_t count) const {
    if (lba > block_count() || count > block_count() - lba) {
        Outcome o = check(sense, sense_key::kIllegalRequest, asc::kLbaOutOfRange);
        sense.info_valid = true;
        sense.info = std::uint32_t(lba);
        return o;
    }
    return good();
}

Outcome BlockUnit::read(std::uint64_t lba, std::uint32_t count, std::vector<std::uint8_t>& data, Sense& sense) {
    if (Outcome o = ready(sense); o.status != status::kGood) return o;
    if (Outcome o = in_range(sense, lba, count); o.status != status::kGood) return o;
    const std::uint64_t bytes = std::uint64_t(count) * block_size_;
    data.resize(bytes);
    if (count > 0 && !read_blocks(lba, count, data.data())) {
        data.clear();
        Outcome o = check(sense, sense_key::kMediumError, asc::kUnrecoveredReadError);
        sense.info_valid = true;
        sense.info = std::uint32_t(lba);
        return o;
    }
    return data_in(std::uint32_t(bytes));
}

Outcome BlockUnit::begin(std::span<const std::uint8_t> cdb, std::vector<std::uint8_t>& data, Sense& sense) {
    switch (cdb[0]) {
    case op::kTestUnitReady:
        return ready(sense);
    case op::kInquiry: {
        if ((cdb[1] & 0x01) != 0 || cdb[2] != 0) {
            return check(sense, sense_key::kIllegalRequest, asc::kInvalidFieldInCdb);
        }
        data = standard_inquiry(device_type_, removable_, identity_);
        data.resize(std::min<std::size_t>(data.size(), cdb[4]));
        return data_in(std::uint32_t(data.size()));
    }
    case op::kReadCapacity10: {
        if ((cdb[8] & 0x01) == 0 && be32(cdb, 2) != 0) {
            return check(sense, sense_key::kIllegalRequest, asc::kInvalidFieldInCdb);
        }
        if (Outcome o = ready(sense); o.status != status::kGood) return o;
        const std::uint64_t last = block_count() == 0 ? 0 : block_count() - 1;
        data.assign(8, 0);
        put_be32(&data[0], std::uint32_t(std::min<std::uint64_t>(last, 0xFFFFFFFF)));
        put_be32(&data[4], block_size_);
        return data_in(8);
    }
    case op::kStartStopUnit:
        if (!medium_present() && (cdb[4] & 0x01) != 0) {
            return check(sense, sense_key::kNotReady, asc::kMediumNotPresent);
        }
        started_ = (cdb[4] & 0x01) != 0;
        return good();
    case op::kRead10:
        return read(be32(cdb, 2), be16(cdb, 7), data, sense);
    default:
        return other(cdb, data, sense);
    }
}

Outcome BlockUnit::other(std::span<const std::uint8_t>, std::vector<std::uint8_t>&, Sense& sense) {
    return check(sense, sense_key::kIllegalRequest, asc::kInvalidOpcode);
}

} // namespace orvo::scsi
