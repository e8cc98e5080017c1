#pragma once
// What disks and CD-ROMs share: TEST UNIT READY, INQUIRY, READ CAPACITY(10), START STOP UNIT
// and READ(10) over fixed-size blocks, with the not-ready and range checks that go with them.
// Device-specific commands go to other().

#include "machine/scsi/logical_unit.h"

namespace orvo::scsi {

class BlockUnit : public LogicalUnit {
public:
    Outcome begin(std::span<const std::uint8_t> cdb, std::vector<std::uint8_t>& data,
                  Sense& sense) override;

    std::uint32_t block_size() const { return block_size_; }
    virtual std::uint64_t block_count() const = 0;
    bool started() const { return started_; }

protected:
    BlockUnit(std::uint8_t device_type, bool removable, Identity identity, std::uint32_t block_size);

    virtual bool medium_present() const { return true; }
    virtual bool read_blocks(std::uint64_t lba, std::uint32_t count, std::uint8_t* dst) = 0;
    // Commands beyond the shared ones; the default answers INVALID COMMAND OPERATION CODE.
    virtual Outcome other(std::span<const std::uint8_t> cdb, std::vector<std::uint8_t>& data,
                          Sense& sense);

    // GOOD when the unit can take a medium-access command, else NOT READY with its reason.
    Outcome ready(Sense& sense) const;
    // GOOD when [lba, lba + count) lies on the medium, else LBA OUT OF RANGE.
    Outcome in_range(Sense& sense, std::uint64_t lba, std::uint64_t count) const;
    Outcome read(std::uint64_t lba, std::uint32_t count, std::vector<std::uint8_t>& data, Sense& sense);

private:
    std::uint8_t device_type_;
    bool removable_;
    Identity identity_;
    std::uint32_t block_size_;
    bool started_ = true;
};

} // namespace orvo::scsi
