#pragma once
// A direct-access disk (SBC subset, 512-byte blocks) on a raw image read and written in place:
// READ(6/10), WRITE(6/10), VERIFY(10) with and without byte check, MODE SENSE(6) pages 0x04
// (rigid geometry), 0x08 (caching) and 0x3F, SYNCHRONIZE CACHE(10), plus the shared block
// commands. The image is flushed on SYNCHRONIZE CACHE and when the unit goes away.

#include "machine/scsi/block_unit.h"
#include "machine/scsi/image_file.h"

namespace orvo::scsi {

class DiskUnit final : public BlockUnit {
public:
    static constexpr std::uint32_t kBlockSize = 512;

    explicit DiskUnit(ImageFile image, Identity identity = {"ORVO", "VIRTUAL DISK", "1.0"});

    std::uint64_t block_count() const override { return image_.size() / kBlockSize; }
    Outcome finish_out(std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> data,
                       Sense& sense) override;
    ImageFile& image() { return image_; }

private:
    bool read_blocks(std::uint64_t lba, std::uint32_t count, std::uint8_t* dst) override;
    Outcome other(std::span<const std::uint8_t> cdb, std::vector<std::uint8_t>& data, Sense& sense) override;
    Outcome mode_sense(std::span<const std::uint8_t> cdb, std::vector<std::uint8_t>& data, Sense& sense);
    Outcome write_range(std::uint64_t lba, std::uint32_t count, Sense& sense);

    ImageFile image_;
};

} // namespace orvo::scsi
