#pragma once
// A CD-ROM unit (MMC subset): read-only, 2048-byte blocks over an ISO image, or no medium at
// all. Writes are refused with DATA PROTECT; PREVENT ALLOW MEDIUM REMOVAL is accepted.

#include "machine/scsi/block_unit.h"
#include "machine/scsi/image_file.h"

#include <optional>

namespace orvo::scsi {

class CdromUnit final : public BlockUnit {
public:
    static constexpr std::uint32_t kBlockSize = 2048;

    explicit CdromUnit(std::optional<ImageFile> image,
                       Identity identity = {"ORVO", "VIRTUAL CD-ROM", "1.0"});

    std::uint64_t block_count() const override { return image_ ? image_->size() / kBlockSize : 0; }

private:
    bool medium_present() const override { return image_.has_value(); }
    bool read_blocks(std::uint64_t lba, std::uint32_t count, std::uint8_t* dst) override;
    Outcome other(std::span<const std::uint8_t> cdb, std::vector<std::uint8_t>& data, Sense& sense) override;

    std::optional<ImageFile> image_;
};

} // namespace orvo::scsi
