// Compiled once per build with that build's switches; ORVO_RECORD_CHECKS names the function.
// The invariants of the adapter record between two calls into the driver: every field used as
// an index or a count stays within what it indexes, and the flags stay flags.
#include "ScsiMiniPort/miniport.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace orvo::tool {

namespace {

class Problems {
public:
    // value must lie in [first, last].
    void range(const char* field, unsigned long value, unsigned long first, unsigned long last) {
        if (value >= first && value <= last) return;
        add("%s is %lu, outside %lu-%lu", field, value, first, last);
    }
    // Every element of a per-target or per-target/LUN table within [first, last].
    template <std::size_t N>
    void table(const char* field, const UCHAR (&values)[N], unsigned first, unsigned last) {
        for (std::size_t i = 0; i < N; ++i) {
            if (values[i] >= first && values[i] <= last) continue;
            add("%s[%zu] is %u, outside %u-%u", field, i, unsigned(values[i]), first, last);
            return;  // one line per table
        }
    }
    void add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char line[160];
        va_list args;
        va_start(args, format);
        std::vsnprintf(line, sizeof line, format, args);
        va_end(args);
        lines_.emplace_back(line);
    }
    std::vector<std::string> take() { return std::move(lines_); }

private:
    std::vector<std::string> lines_;
};

} // namespace

std::vector<std::string> ORVO_RECORD_CHECKS(const void* record) {
    const auto& ad = *static_cast<const ADAPTER_EXTENSION*>(record);
    Problems p;
    p.range("TargetId", ad.TargetId, 0, SCSI_MAX_TARGETS - 1);
    p.range("Lun", ad.Lun, 0, SCSI_MAX_LUNS - 1);
    p.range("InitiatorId", ad.InitiatorId, 0, SCSI_MAX_TARGETS - 1);
    p.range("MessageOutLength", ad.MessageOutLength, 0, MESSAGE_OUT_SIZE);
    // A bus phase, "read it from the chip", or the time-out marker.
    if (ad.Phase > 7 && ad.Phase != PHASE_READ_FROM_CHIP && ad.Phase != PHASE_TIMEOUT) {
        p.add("Phase is 0x%02x, neither a bus phase nor a marker", ad.Phase);
    }
    p.range("BusFree", ad.BusFree, 0, 1);
    p.range("TransferWidth", ad.TransferWidth, TRANSFER_WIDTH_32BIT, TRANSFER_WIDTH_BYTE);
    p.range("SettlePending", ad.SettlePending, 0, 1);
    p.range("SettleCount", ad.SettleCount, 0, ad.ResetDelay);
    p.range("DeviceCheck", ad.DeviceCheck, 0, 0);  // only during discovery
    p.table("AsyncTarget", ad.AsyncTarget, 0, 1);
    p.table("NoSelect", ad.NoSelect, 0, 1);
    p.table("SdtrSent", ad.SdtrSent, 0, 1);
    p.table("SdtrValid", ad.SdtrValid, 0, 1);
    p.table("SyncOffsetReg", ad.SyncOffsetReg, 0, 15);  // the chip's offset field
    for (unsigned i = 0; i < TARGET_LUN_PAIRS; ++i) {
        if (ad.SyncOffset[i] <= ad.OfferOffset[i]) continue;
        p.add("SyncOffset[%u] is %u, deeper than the offer %u", i, unsigned(ad.SyncOffset[i]),
              unsigned(ad.OfferOffset[i]));
        break;
    }
    return p.take();
}

} // namespace orvo::tool
