#pragma once
// Invariants of a build's adapter record that hold whatever the option string, the card or
// the targets did: every index names a target or LUN, every count fits its buffer, every
// flag is a flag. Compiled with the build's own switches (the record's fields differ).

#include "ScsiMiniPort/miniport.h"
#include "tests/fuzz/harness_checks.h"

namespace orvo::fuzz {

inline void require_flag(unsigned long value, const char* field, const char* when) {
    if (value > 1) property_broken("%s is %lu %s (a flag: 0 or 1)", field, value, when);
}

inline void require_sane_adapter_record(const ADAPTER_EXTENSION& ad, const char* when) {
    if (ad.TargetId >= SCSI_MAX_TARGETS || ad.Lun >= SCSI_MAX_LUNS) {
        property_broken("TargetId %lu / Lun %lu %s", static_cast<unsigned long>(ad.TargetId),
                        static_cast<unsigned long>(ad.Lun), when);
    }
    if (ad.InitiatorId >= SCSI_MAX_TARGETS) property_broken("InitiatorId %u %s", unsigned{ad.InitiatorId}, when);
    if (ad.MessageOutLength > MESSAGE_OUT_SIZE) {
        property_broken("MessageOutLength %lu %s (buffer of %u)", static_cast<unsigned long>(ad.MessageOutLength),
                        when, unsigned{MESSAGE_OUT_SIZE});
    }
    if (ad.Phase > 7 && ad.Phase != PHASE_READ_FROM_CHIP && ad.Phase != PHASE_TIMEOUT) {
        property_broken("Phase 0x%02X %s", unsigned{ad.Phase}, when);
    }
    if (ad.TransferWidth > TRANSFER_WIDTH_BYTE) {
        property_broken("TransferWidth %lu %s", static_cast<unsigned long>(ad.TransferWidth), when);
    }
    // "RESET=" takes two hexadecimal characters: at most 0xFF seconds.
    if (ad.ResetDelay > 0xFF * 1000) {
        property_broken("ResetDelay %lu ms %s", static_cast<unsigned long>(ad.ResetDelay), when);
    }
    for (unsigned t = 0; t < SCSI_MAX_TARGETS; ++t) {
        require_flag(ad.AsyncTarget[t], "AsyncTarget[]", when);
        require_flag(ad.NoSelect[t], "NoSelect[]", when);
    }
    require_flag(ad.BusFree, "BusFree", when);
    require_flag(ad.ParityEnable, "ParityEnable", when);
    require_flag(ad.SettlePending, "SettlePending", when);
    require_flag(ad.ResetDelaySet, "ResetDelaySet", when);
    require_flag(ad.DeviceCheck, "DeviceCheck", when);
    require_flag(ad.SignatureFlag, "SignatureFlag", when);
#if ORVO_HAS_DMA_AND_DELAY
    require_flag(ad.DataInDelay, "DataInDelay", when);
    require_flag(ad.DmaMode, "DmaMode", when);
#endif
#if ORVO_SOCKET_SETUP
    if (ad.PcicSocket >= 8 || ad.PcicRegOffset != (ad.PcicSocket % 4) * 0x40) {
        property_broken("socket %lu with register offset 0x%lX %s", static_cast<unsigned long>(ad.PcicSocket),
                        static_cast<unsigned long>(ad.PcicRegOffset), when);
    }
    if (ad.PcicIndexPort != ad.PcicPort + (ad.PcicSocket >= 4 ? 2 : 0) || ad.PcicDataPort != ad.PcicIndexPort + 1) {
        property_broken("controller ports 0x%lX/0x%lX for base 0x%lX %s", static_cast<unsigned long>(ad.PcicIndexPort),
                        static_cast<unsigned long>(ad.PcicDataPort), static_cast<unsigned long>(ad.PcicPort), when);
    }
    if ((ad.CorOffset != 0 && ad.CorOffset != 0x400) ||
        (ad.ConfigIndex != 0 && ad.ConfigIndex != 0x60 && ad.ConfigIndex != 0x61)) {
        property_broken("COR offset 0x%lX, configuration index 0x%lX %s", static_cast<unsigned long>(ad.CorOffset),
                        static_cast<unsigned long>(ad.ConfigIndex), when);
    }
#endif
}

} // namespace orvo::fuzz
