#include "machine/scsi/logical_unit.h"

#include <algorithm>
#include <cstring>

namespace orvo::scsi {

void encode_fixed_sense(const Sense& sense, std::uint8_t out[kFixedSenseLength]) {
    std::memset(out, 0, kFixedSenseLength);
    out[0] = std::uint8_t(0x70 | (sense.info_valid ? 0x80 : 0x00));
    out[2] = sense.key & 0x0F;
    out[3] = std::uint8_t(sense.info >> 24);
    out[4] = std::uint8_t(sense.info >> 16);
    out[5] = std::uint8_t(sense.info >> 8);
    out[6] = std::uint8_t(sense.info);
    out[7] = kFixedSenseLength - 8;  // additional sense length
    out[12] = sense.asc;
    out[13] = sense.ascq;
}

Outcome LogicalUnit::finish_out(std::span<const std::uint8_t>, std::span<const std::uint8_t>, Sense&) {
    return good();
}

Outcome LogicalUnit::check(Sense& sense, std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    sense = Sense{key, asc, ascq};
    return Outcome{status::kCheckCondition, DataDirection::None, 0};
}

std::vector<std::uint8_t> standard_inquiry(std::uint8_t device_type, bool removable, const Identity& id) {
    std::vector<std::uint8_t> d(36, 0);
    d[0] = device_type & 0x1F;
    d[1] = removable ? 0x80 : 0x00;
    d[2] = 0x02;  // SCSI-2
    d[3] = 0x02;  // response data format
    d[4] = 36 - 5;
    d[7] = 0x10;  // synchronous transfer supported
    auto put = [&](std::size_t at, std::size_t width, const char* text) {
        std::memset(&d[at], ' ', width);
        std::memcpy(&d[at], text, std::min(width, std::strlen(text)));
    };
    put(8, 8, id.vendor);
    put(16, 16, id.product);
    put(32, 4, id.revision);
    return d;
}

} // namespace orvo::scsi
