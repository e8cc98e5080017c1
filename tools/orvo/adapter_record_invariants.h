#pragma once
// The invariants of a build's adapter record between two calls into the driver, whatever the
// option string, the card or the targets did: every field used as an index or a count stays
// within what it indexes, the flags stay flags, the socket fields agree with each other.
//
// Include it only where the build's switches are defined (the record's fields differ per
// build): the checks are compiled into that translation unit (internal linkage), so one
// program can hold the checks of several builds.

#include "ScsiMiniPort/miniport.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace orvo::tool {
namespace {

class RecordProblems {
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

// One line per broken invariant; empty when the record is sound.
std::vector<std::string> adapter_record_problems(const ADAPTER_EXTENSION& ad) {
    RecordProblems p;
    p.range("TargetId", ad.TargetId, 0, SCSI_MAX_TARGETS - 1);
    p.range("Lun", ad.Lun, 0, SCSI_MAX_LUNS - 1);
    p.range("InitiatorId", ad.InitiatorId, 0, SCSI_MAX_TARGETS - 1);
    p.range("MessageOutLength", ad.MessageOutLength, 0, MESSAGE_OUT_SIZE);
    // A bus phase, "read it from the chip", or the time-out marker.
    if (ad.Phase > 7 && ad.Phase != PHASE_READ_FROM_CHIP && ad.Phase != PHASE_TIMEOUT) {
        p.add("Phase is 0x%02x, neither a bus phase nor a marker", ad.Phase);
    }
    p.range("TransferWidth", ad.TransferWidth, TRANSFER_WIDTH_32BIT, TRANSFER_WIDTH_BYTE);
    // "RESET=" takes two hexadecimal characters: at most 0xFF seconds.
    p.range("ResetDelay", ad.ResetDelay, 0, 0xFF * 1000);
    p.range("SettleCount", ad.SettleCount, 0, ad.ResetDelay);
    p.range("DeviceCheck", ad.DeviceCheck, 0, 0);  // only during discovery
    p.range("BusFree", ad.BusFree, 0, 1);
    p.range("ParityEnable", ad.ParityEnable, 0, 1);
    p.range("SettlePending", ad.SettlePending, 0, 1);
    p.range("SignatureFlag", ad.SignatureFlag, 0, 1);
    p.range("ResetDelaySet", ad.ResetDelaySet, 0, 1);
#if ORVO_HAS_DMA_AND_DELAY
    p.range("DataInDelay", ad.DataInDelay, 0, 1);
    p.range("DmaMode", ad.DmaMode, 0, 1);
#endif
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
#if ORVO_SOCKET_SETUP
    // The socket's register block, and the index/data pair of its controller half.
    p.range("PcicSocket", ad.PcicSocket, 0, 7);
    p.range("PcicRegOffset", ad.PcicRegOffset, (ad.PcicSocket % 4) * 0x40, (ad.PcicSocket % 4) * 0x40);
    const ULONG index_port = ad.PcicPort + (ad.PcicSocket >= 4 ? 2 : 0);
    p.range("PcicIndexPort", ad.PcicIndexPort, index_port, index_port);
    p.range("PcicDataPort", ad.PcicDataPort, ad.PcicIndexPort + 1, ad.PcicIndexPort + 1);
    if (ad.CorOffset != 0 && ad.CorOffset != 0x400) p.add("CorOffset is 0x%lX", static_cast<unsigned long>(ad.CorOffset));
    if (ad.ConfigIndex != 0 && ad.ConfigIndex != 0x60 && ad.ConfigIndex != 0x61) {
        p.add("ConfigIndex is 0x%lX", static_cast<unsigned long>(ad.ConfigIndex));
    }
#endif
    return p.take();
}

} // namespace
} // namespace orvo::tool
