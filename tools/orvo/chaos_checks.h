#pragma once
// The checks a chaos run makes on every finished request, each on plain inputs so that a test
// can show it fails: the request finished within its bound, and the data of a good READ or
// WRITE matches the target's image. Each returns what is wrong, or nothing.

#include "machine/io/clock.h"
#include "machine/scsi/image_file.h"
#include "scsiport/host/host_types.h"
#include "tools/orvo/chaos_requests.h"

#include <optional>
#include <string>
#include <vector>

namespace orvo::tool {

// SRB_STATUS_SUCCESS, or DATA_OVERRUN (a transfer of another length than asked), with status
// GOOD: the driver says the bytes it reports as moved are the target's.
bool good_completion(const scsiport::RequestResult& result);

// The request is completed, and within `bound` of virtual time from its start.
std::optional<std::string> check_finished(const scsiport::RequestResult& result, io::Nanoseconds bound);

// A good READ(6)/READ(10) into a data-in buffer: every byte it reports as moved equals the
// image's byte at the command's LBA onwards (and lies on the image).
std::optional<std::string> check_read_data(const scsiport::RequestSpec& spec, const scsiport::RequestResult& result,
                                           const scsi::ImageFile& image);

// A good WRITE(6)/WRITE(10): the whole blocks it reports as moved are on the image at its LBA.
std::optional<std::string> check_write_data(const scsiport::RequestSpec& spec, const scsiport::RequestResult& result,
                                            const scsi::ImageFile& image);

// Stored data changes only where a WRITE said it would: the image is compared with a copy
// taken at the last look, and every block that differs must lie in a range a WRITE to the
// unit named since, whatever became of that WRITE (a failed one may have written part of its
// blocks). A command the target got other than it was sent, or a write gone astray, shows.
class StoredDataWatch {
public:
    explicit StoredDataWatch(const scsi::ImageFile& image);

    void expect_write(const BlockRange& range) { expected_.push_back(range); }
    // Compares, then takes the image as it is now for the next look.
    std::optional<std::string> check();

private:
    bool expected(std::uint64_t block) const;

    const scsi::ImageFile& image_;
    std::vector<std::uint8_t> copy_;
    std::vector<BlockRange> expected_;
};

} // namespace orvo::tool
