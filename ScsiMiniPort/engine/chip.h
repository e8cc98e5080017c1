/*
 * The chip register layer: register access through the port driver and the small operations
 * every other part of the engine builds on.
 */
#ifndef ORVO_CHIP_H
#define ORVO_CHIP_H

#include "ScsiMiniPort/engine/fas408.h"
#include "ScsiMiniPort/miniport.h"

inline UCHAR ChipRead(PADAPTER_EXTENSION ad, UCHAR reg) {
    return ScsiPortReadPortUchar(ad->ChipBase + reg);
}

inline VOID ChipWrite(PADAPTER_EXTENSION ad, UCHAR reg, UCHAR value) {
    ScsiPortWritePortUchar(ad->ChipBase + reg, value);
}

inline VOID ChipSelectBank0(PADAPTER_EXTENSION ad) { ChipWrite(ad, CONFIG4, CONFIG4_BANK0); }
inline VOID ChipSelectBank1(PADAPTER_EXTENSION ad) { ChipWrite(ad, CONFIG4, CONFIG4_BANK1); }

/* Loads the 24-bit transfer counter, low byte first. */
VOID NTAPI LoadTransferCount(PADAPTER_EXTENSION ad, ULONG count);

/* Chip reset and identification, shared by discovery, initialisation and the bus reset.
   With writeConfig4 FALSE the leading CONFIG4 write is skipped (a bus reset has just written
   it). Leaves bank 1 selected. TRUE when CHIP_ID bits 2..0 are 2 or 5. */
BOOLEAN NTAPI ChipResetAndIdentify(PADAPTER_EXTENSION ad, BOOLEAN writeConfig4);

VOID NTAPI InitFAS408(PADAPTER_EXTENSION ad);

/* With bank 1 selected: drops what the data FIFO still holds (bytes a target did not take in
   an earlier phase) and runs it again, so that bytes queued next go out first. */
VOID NTAPI EmptyDataFifo(PADAPTER_EXTENSION ad);

UCHAR NTAPI CheckStReg(PUCHAR chipBase, UCHAR waitMode);
USHORT NTAPI sync_reg_set(UCHAR period, UCHAR offset);
VOID NTAPI SetTransferMode(PADAPTER_EXTENSION ad);
VOID NTAPI ResetTransferMode(PADAPTER_EXTENSION ad);

#endif /* ORVO_CHIP_H */
