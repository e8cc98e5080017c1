/*
 * DATA OUT: the chip is given the remaining length and runs one transfer-information command
 * through its data FIFO; the driver fills the FIFO by programmed I/O as room shows in
 * PIO_STATUS. What the target did not take is read back from the chip's count afterwards.
 */
#include "ScsiMiniPort/engine/budgets.h"
#include "ScsiMiniPort/engine/chip.h"
#include "ScsiMiniPort/engine/engine.h"

/* Room (bytes writable) behind the PIO_STATUS bits. */
#define ROOM_EMPTY_FIFO 128
#define ROOM_80 80

/* Writes n bytes from the data pointer: byte-wide in one buffered write, or as double words
   with a trailing word and byte. */
static VOID NTAPI WriteDataChunk(PADAPTER_EXTENSION ad, ULONG n) {
    const PLU_EXTENSION lu = ad->CurrentLu;
    const PUCHAR port = ad->ChipBase + PIO_DATA;
    const PUCHAR from = lu->DataPointer;

    if (ad->TransferWidth == TRANSFER_WIDTH_BYTE) {
        ScsiPortWritePortBufferUchar(port, from, n);
    } else {
        ULONG written = 0;
        if (n >= sizeof(ULONG)) {
            ScsiPortWritePortBufferUlong((PULONG)port, (PULONG)from, n / sizeof(ULONG));
            written = n & ~(ULONG)(sizeof(ULONG) - 1);
        }
        if (n - written >= sizeof(USHORT)) {
            ScsiPortWritePortBufferUshort((PUSHORT)port, (PUSHORT)(from + written), 1);
            written += sizeof(USHORT);
        }
        if (n - written == 1) ScsiPortWritePortUchar(port, from[written]);
    }
    lu->DataPointer += n;
    lu->DataLength -= n;
}

/* Feeds the FIFO until the chip ends the transfer. FALSE when the budget ran out. */
static BOOLEAN NTAPI FeedDataOut(PADAPTER_EXTENSION ad) {
    ULONG idlePolls = 0;
    for (;;) {
        const UCHAR fifo = ChipRead(ad, PIO_STATUS);
        if (fifo & PIO_TRANSFER_ENDED) return TRUE;

        ULONG n = 0;
        if (fifo & (PIO_EMPTY | PIO_44_READABLE_80_WRITABLE)) {
            n = (fifo & PIO_EMPTY) ? ROOM_EMPTY_FIFO : ROOM_80;
            if (ad->CurrentLu->DataLength < n) n = ad->CurrentLu->DataLength;
            WriteDataChunk(ad, n); /* n = 0 once everything is out: an empty write */
        }
        if (n != 0) {
            idlePolls = 0;
        } else if (++idlePolls == DATA_FIFO_IDLE_POLLS) {
            return FALSE;
        }
    }
}

/* Bytes the target did not take: the chip's count left plus what still sits in its SCSI
   FIFO. A chip that reports more than it was given (a card that reads all ones) has moved
   nothing we can account for. */
static ULONG NTAPI DataOutResidual(PADAPTER_EXTENSION ad, ULONG startLength) {
    ULONG residual = ChipRead(ad, TC_LOW);
    residual += (ULONG)ChipRead(ad, TC_MID) << 8;
    residual += (ULONG)ChipRead(ad, TC_HIGH) << 16;
    residual += ChipRead(ad, FIFO_FLAGS) & FIFO_COUNT_MASK;
    return residual > startLength ? startLength : residual;
}

UCHAR NTAPI DataOutPhaseRun(PADAPTER_EXTENSION ad) {
    if (ad->BusFree) return 1;
    const PLU_EXTENSION lu = ad->CurrentLu;
    /* The buffer is sent only by a request that writes, and not after an overrun (its
       pointer stands at the end): a READ's buffer is the caller's to receive, and moving its
       pointer would put the data that follows at the wrong place. Otherwise the phase sends
       nothing and the unit's length stays as it is. */
    const BOOLEAN sends = (lu->Srb->SrbFlags & SRB_FLAGS_DATA_OUT) != 0 && !BufferOverrun(lu);
    const ULONG keptLength = lu->DataLength;
    if (!sends) lu->DataLength = 0;
    const PUCHAR startPointer = lu->DataPointer;
    const ULONG startLength = lu->DataLength;

    ChipSelectBank1(ad);
    ChipWrite(ad, PIO_CONTROL, 0);
    ChipWrite(ad, PIO_DIRECTION, PIO_DIRECTION_OUT);
    ChipSelectBank0(ad);
    /* The residual counts what the SCSI FIFO holds: nothing but this phase's bytes may be in
       it, such as the rest of a message the target broke off. */
    ChipWrite(ad, COMMAND, CMD_FLUSH_FIFO);
    LoadTransferCount(ad, lu->DataLength);
    ChipWrite(ad, COMMAND, CMD_TRANSFER_INFO_PIO);
    ChipSelectBank1(ad);
    ChipWrite(ad, PIO_CONTROL, PIO_ON);

    const BOOLEAN fed = FeedDataOut(ad);
    ChipSelectBank0(ad);
    if (fed) {
        WaitWhileBusPhase(ad, PHASE_DATA_OUT);
    } else {
        ad->Phase = PHASE_TIMEOUT;
    }
    ResetTransferMode(ad);

    const ULONG residual = DataOutResidual(ad, startLength);
    lu->DataLength = sends ? residual : keptLength;
    lu->DataPointer = startPointer + (startLength - residual);
    ChipWrite(ad, COMMAND, CMD_FLUSH_FIFO);
    return 1;
}
