#include "tools/orvo/chaos_checks.h"

#include "tools/orvo/chaos_requests.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace orvo::tool {

namespace {

constexpr std::uint64_t kBlock = 512;

std::string text(const char* format, auto... values) {
    char line[200];
    std::snprintf(line, sizeof line, format, values...);
    return line;
}

double seconds(io::Nanoseconds t) { return double(t) / double(io::kSecond); }

// The first byte where `moved` differs from the image from `offset` on.
std::optional<std::string> compare_with_image(const std::uint8_t* moved, std::size_t length, std::uint64_t offset,
                                              const scsi::ImageFile& image, const char* what) {
    if (length == 0) return std::nullopt;
    if (offset > image.size() || length > image.size() - offset) {
        return text("%s reports %zu bytes from image byte %llu; the image ends at %llu", what, length,
                    (unsigned long long)offset, (unsigned long long)image.size());
    }
    std::vector<std::uint8_t> stored(length);
    if (!image.read(offset, stored.data(), length)) return text("%s: the image cannot be read", what);
    const auto [at, unused] = std::mismatch(moved, moved + length, stored.begin());
    if (at == moved + length) return std::nullopt;
    const std::size_t i = std::size_t(at - moved);
    return text("%s byte %zu (image byte %llu) is %02x, the image holds %02x", what, i,
                (unsigned long long)(offset + i), unsigned(moved[i]), unsigned(stored[i]));
}

} // namespace

bool good_completion(const scsiport::RequestResult& result) {
    const UCHAR status = SRB_STATUS(result.srb_status);
    return result.state == scsiport::RequestState::Completed && result.scsi_status == SCSISTAT_GOOD &&
           (status == SRB_STATUS_SUCCESS || status == SRB_STATUS_DATA_OVERRUN);
}

std::optional<std::string> check_finished(const scsiport::RequestResult& result, io::Nanoseconds bound) {
    if (result.state != scsiport::RequestState::Completed) {
        return text("still %s after %.3f s of virtual time", scsiport::to_string(result.state), seconds(bound));
    }
    const io::Nanoseconds took = result.completed_at - result.started_at;
    if (took > bound) return text("took %.3f s of virtual time; the bound is %.3f s", seconds(took), seconds(bound));
    return std::nullopt;
}

std::optional<std::string> check_read_data(const scsiport::RequestSpec& spec, const scsiport::RequestResult& result,
                                           const scsi::ImageFile& image) {
    const std::optional<BlockRange> range = read_range(spec.cdb);
    if (!range || spec.data_in_length == 0 || !good_completion(result)) return std::nullopt;
    return compare_with_image(result.data.data(), result.data.size(), range->lba * kBlock, image, "READ data");
}

std::optional<std::string> check_write_data(const scsiport::RequestSpec& spec, const scsiport::RequestResult& result,
                                            const scsi::ImageFile& image) {
    const std::optional<BlockRange> range = write_range(spec.cdb);
    if (!range || spec.data_out.empty() || !good_completion(result)) return std::nullopt;
    const std::size_t moved = std::min<std::size_t>(result.data_transfer_length, spec.data_out.size());
    const std::size_t whole = std::min<std::size_t>(moved / kBlock, range->blocks) * kBlock;
    return compare_with_image(spec.data_out.data(), whole, range->lba * kBlock, image, "WRITE data");
}

StoredDataWatch::StoredDataWatch(const scsi::ImageFile& image) : image_(image), copy_(image.size()) {
    if (!image_.read(0, copy_.data(), copy_.size())) throw std::runtime_error(image.path() + ": cannot be read");
}

bool StoredDataWatch::expected(std::uint64_t block) const {
    return std::any_of(expected_.begin(), expected_.end(), [&](const BlockRange& r) {
        return block >= r.lba && block - r.lba < r.blocks;
    });
}

std::optional<std::string> StoredDataWatch::check() {
    std::vector<std::uint8_t> now(copy_.size());
    if (!image_.read(0, now.data(), now.size())) return text("the image %s cannot be read", image_.path().c_str());
    std::optional<std::string> problem;
    for (std::uint64_t at = 0; at < now.size() && !problem; at += kBlock) {
        const std::size_t length = std::size_t(std::min<std::uint64_t>(kBlock, now.size() - at));
        if (std::memcmp(&now[at], &copy_[at], length) == 0 || expected(at / kBlock)) continue;
        problem = text("stored block %llu changed, and no WRITE named it", (unsigned long long)(at / kBlock));
    }
    copy_ = std::move(now);
    expected_.clear();
    return problem;
}

} // namespace orvo::tool
