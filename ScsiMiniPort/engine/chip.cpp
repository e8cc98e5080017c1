/* Chip initialisation, identification and transfer-mode programming. */
#include "ScsiMiniPort/engine/chip.h"

VOID NTAPI LoadTransferCount(PADAPTER_EXTENSION ad, ULONG count) {
    ChipWrite(ad, TC_LOW, (UCHAR)(count & 0xFF));
    ChipWrite(ad, TC_MID, (UCHAR)((count >> 8) & 0xFF));
    ChipWrite(ad, TC_HIGH, (UCHAR)((count >> 16) & 0xFF));
}

BOOLEAN NTAPI ChipResetAndIdentify(PADAPTER_EXTENSION ad, BOOLEAN writeConfig4) {
    if (writeConfig4) ChipWrite(ad, CONFIG4, CONFIG4_INIT);
    ChipWrite(ad, COMMAND, CMD_RESET_CHIP);
    ChipWrite(ad, COMMAND, CMD_NOP);
    ChipSelectBank1(ad);
    const UCHAR id = (UCHAR)(ChipRead(ad, CHIP_ID) & CHIP_ID_MASK);
    return id == 2 || id == 5;
}

/* Leaves bank 1 selected with programmed I/O on; callers select bank 0 before polling. */
VOID NTAPI InitFAS408(PADAPTER_EXTENSION ad) {
    ChipWrite(ad, CONFIG4, CONFIG4_INIT);
    ChipWrite(ad, CLOCK_FACTOR, 0x00);
    ChipWrite(ad, CONFIG1, (UCHAR)(ad->ParityEnable == 1 ? CONFIG1_OWN_ID_7 | CONFIG1_PARITY
                                                          : CONFIG1_OWN_ID_7));
    ChipWrite(ad, CONFIG2, CONFIG2_VALUE);
    ChipWrite(ad, CONFIG3, CONFIG3_INIT);
    ChipWrite(ad, SYNC_OFFSET, 0x00);
    ChipWrite(ad, SYNC_PERIOD, SYNC_PERIOD_INIT);
    ChipWrite(ad, SEL_TIMEOUT, SEL_TIMEOUT_VALUE);
    ChipSelectBank1(ad);
    ChipWrite(ad, PIO_CONTROL, PIO_ON);
}

VOID NTAPI EmptyDataFifo(PADAPTER_EXTENSION ad) {
    ChipWrite(ad, PIO_CONTROL, 0);
    ChipWrite(ad, PIO_CONTROL, PIO_ON);
}

/* Wait mode 0, the only one the engine uses, reads STATUS once. */
UCHAR NTAPI CheckStReg(PUCHAR chipBase, UCHAR waitMode) {
    (void)waitMode;
    return ScsiPortReadPortUchar(chipBase + STATUS);
}

/* SDTR terms (period factor in 4 ns units, REQ/ACK offset) to chip values for a 25 ns clock:
   low byte = clocks per transfer with the fast flag in bit 7 below 8 clocks, high byte = offset
   limited to 15; 0 = asynchronous. */
USHORT NTAPI sync_reg_set(UCHAR period, UCHAR offset) {
    if (period == 0 || offset == 0) return 0;
    const USHORT nanoseconds = (USHORT)(4 * period);
    USHORT clocks = (USHORT)(nanoseconds / 25);
    if (nanoseconds % 25 != 0) ++clocks;
    if (clocks < 8) clocks |= 0x80;
    const USHORT limitedOffset = offset > 15 ? 15 : offset;
    return (USHORT)(clocks + limitedOffset * 256);
}

/* Programs the agreement of TargetId/Lun; bank 0 is selected. Only five bits of the period
   reach the chip, so 32 clocks or more wrap. CONFIG3's fast bit is set here, never cleared. */
VOID NTAPI SetTransferMode(PADAPTER_EXTENSION ad) {
    const ULONG i = TL_INDEX(ad->TargetId, ad->Lun);
    const UCHAR periodReg = ad->SyncPeriodReg[i];
    ChipWrite(ad, SYNC_PERIOD,
              (UCHAR)(periodReg == 0 ? SYNC_PERIOD_ASYNC : periodReg & SYNC_PERIOD_MASK));
    ChipWrite(ad, SYNC_OFFSET, (UCHAR)(ad->SyncOffset[i] | SYNC_OFFSET_MODE_BITS));
    if (periodReg & 0x80) ChipWrite(ad, CONFIG3, (UCHAR)(ChipRead(ad, CONFIG3) | CONFIG3_FAST));
}

VOID NTAPI ResetTransferMode(PADAPTER_EXTENSION ad) {
    ChipSelectBank0(ad);
    ChipWrite(ad, SYNC_PERIOD, SYNC_PERIOD_ASYNC);
    ChipWrite(ad, SYNC_OFFSET, 0x00);
    const UCHAR config3 = ChipRead(ad, CONFIG3);
    if (config3 & CONFIG3_FAST) ChipWrite(ad, CONFIG3, (UCHAR)(config3 & ~CONFIG3_FAST));
}
