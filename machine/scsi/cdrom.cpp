#include "machine/scsi/cdrom.h"

#include "machine/scsi/cdb.h"

namespace orvo::scsi {

namespace {
constexpr std::uint8_t kWrite12 = 0xAA;
}

CdromUnit::CdromUnit(std::optional<ImageFile> image, Identity identity)
    : BlockUnit(0x05, true, identity, kBlockSize), image_(std::move(image)) {}

bool CdromUnit::read_blocks(std::uint64_t lba, std::uint32_t count, std::uint8_t* dst) {
    return image_ && image_->read(lba * kBlockSize, dst, std::size_t(count) * kBlockSize);
}

Outcome CdromUnit::other(std::span<const std::uint8_t> cdb, std::vector<std::uint8_t>& data, Sense& sense) {
    switch (cdb[0]) {
    case op::kPreventAllowRemoval:
        return good();
    case op::kWrite6:
    case op::kWrite10:
    case op::kWriteAndVerify10:
    case kWrite12:
        return check(sense, sense_key::kDataProtect, asc::kWriteProtected);
    default:
        return BlockUnit::other(cdb, data, sense);
    }
}

} // namespace orvo::scsi
