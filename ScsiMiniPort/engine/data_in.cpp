/*
 * DATA IN: the chip runs one transfer-information command through its data FIFO and the
 * driver empties the FIFO by programmed I/O, in chunks no larger than the fill level that
 * PIO_STATUS announces. The chip is not told the expected length; the driver counts, and
 * data beyond it is read into a scratch buffer and dropped, but counted.
 */
#include "ScsiMiniPort/engine/budgets.h"
#include "ScsiMiniPort/engine/chip.h"
#include "ScsiMiniPort/engine/engine.h"

#define SINGLE_BYTE_DATA_IN_DELAY_US 200
#define DISCARD_BUFFER_BYTES 128

/* Fill levels (bytes readable) behind the PIO_STATUS bits. */
#define LEVEL_128 128
#define LEVEL_86 86
#define LEVEL_44 44

typedef struct _DATA_IN_PROGRESS {
    ULONG Remaining; /* bytes the request still expects */
    ULONG Total;     /* bytes read in this phase, discarded excess included */
    ULONG Discard[DISCARD_BUFFER_BYTES / sizeof(ULONG)];
} DATA_IN_PROGRESS;

/* Reads one chunk of at most level bytes: into the request's buffer while it expects data,
   else into the discard buffer. 32-bit transfers move whole double words; a remainder of
   fewer than 4 bytes moves by byte reads, so that a request whose length is not a multiple of
   4 still gets its last bytes. */
static VOID NTAPI ReadDataChunk(PADAPTER_EXTENSION ad, DATA_IN_PROGRESS* in, ULONG level) {
    const PLU_EXTENSION lu = ad->CurrentLu;
    const PUCHAR port = ad->ChipBase + PIO_DATA;
    const ULONG chunk = (in->Remaining != 0 && in->Remaining < level) ? in->Remaining : level;
    const PUCHAR to = in->Remaining != 0 ? lu->DataPointer : (PUCHAR)in->Discard;

    ULONG moved;
    if (ad->TransferWidth == TRANSFER_WIDTH_BYTE || chunk < sizeof(ULONG)) {
        ScsiPortReadPortBufferUchar(port, to, chunk);
        moved = chunk;
    } else {
        ScsiPortReadPortBufferUlong((PULONG)port, (PULONG)to, chunk / sizeof(ULONG));
        moved = chunk & ~(ULONG)(sizeof(ULONG) - 1);
    }
    in->Total += moved;
    if (in->Remaining != 0) {
        lu->DataPointer += moved;
        in->Remaining -= moved;
    }
}

/* More than the chip was told to move: it is not counting (a card that reads all ones). */
static BOOLEAN NTAPI DataInRunaway(const DATA_IN_PROGRESS* in) {
    return in->Total > DATA_IN_PHASE_MAX_BYTES;
}

/* Reads chunks as the FIFO fills until the chip ends the transfer. FALSE when the budget
   ran out. */
static BOOLEAN NTAPI CollectDataIn(PADAPTER_EXTENSION ad, DATA_IN_PROGRESS* in) {
    ULONG idlePolls = 0;
    while (!DataInRunaway(in)) {
        const UCHAR fifo = ChipRead(ad, PIO_STATUS);
        if (fifo == PIO_NO_CHIP) return FALSE; /* the card is gone: no byte will come */
        if (fifo & PIO_128_READABLE) {
            ReadDataChunk(ad, in, LEVEL_128);
        } else if (fifo & PIO_86_READABLE) {
            ReadDataChunk(ad, in, LEVEL_86);
        } else if (fifo & PIO_TRANSFER_ENDED) {
            return TRUE;
        } else if (++idlePolls == DATA_FIFO_IDLE_POLLS) {
            return FALSE;
        } else {
            continue;
        }
        idlePolls = 0;
    }
    return FALSE;
}

/* After the transfer ended: empties what is left in the FIFO, largest chunks first and the
   last bytes one by one, looking at PIO_STATUS after every chunk. */
static BOOLEAN NTAPI DrainDataIn(PADAPTER_EXTENSION ad, DATA_IN_PROGRESS* in) {
    while (!DataInRunaway(in)) {
        UCHAR fifo = ChipRead(ad, PIO_STATUS);
        if (fifo & PIO_EMPTY) return TRUE;
        if (fifo & PIO_128_READABLE) {
            ReadDataChunk(ad, in, LEVEL_128);
            if ((fifo = ChipRead(ad, PIO_STATUS)) & PIO_EMPTY) return TRUE;
        }
        if (fifo & PIO_86_READABLE) {
            ReadDataChunk(ad, in, LEVEL_86);
            if ((fifo = ChipRead(ad, PIO_STATUS)) & PIO_EMPTY) return TRUE;
        }
        if (fifo & PIO_44_READABLE_80_WRITABLE) {
            ReadDataChunk(ad, in, LEVEL_44);
            if ((fifo = ChipRead(ad, PIO_STATUS)) & PIO_EMPTY) return TRUE;
        }
        ReadDataChunk(ad, in, 1); /* a single byte, whatever the width */
    }
    return FALSE;
}

UCHAR NTAPI DataInPhaseRun(PADAPTER_EXTENSION ad) {
    if (ad->BusFree) return 1;
    const PLU_EXTENSION lu = ad->CurrentLu;
    DATA_IN_PROGRESS in;
    /* Bytes go to the buffer only for a request that reads and while room is left (none
       after an overrun). A target that sends data to a request that does not read has it
       dropped uncounted: the buffer, a WRITE's source among others, stays as it was. */
    const BOOLEAN reads = (lu->Srb->SrbFlags & SRB_FLAGS_DATA_IN) != 0;
    in.Remaining = reads && !BufferOverrun(lu) ? lu->DataLength : 0;
    in.Total = 0;

#if ORVO_HAS_DMA_AND_DELAY
    /* Some targets are not ready to deliver a lone byte at once. */
    if (in.Remaining == 1 && ad->DataInDelay == 1) {
        ScsiPortStallExecution(SINGLE_BYTE_DATA_IN_DELAY_US);
    }
#endif
    ChipSelectBank0(ad);
    ChipSelectBank1(ad);
    ChipWrite(ad, PIO_CONTROL, 0);
    ChipWrite(ad, PIO_DIRECTION, PIO_DIRECTION_IN);
    ChipSelectBank0(ad);
    LoadTransferCount(ad, in.Remaining != 0 ? DATA_IN_COUNT : 0);
    ChipWrite(ad, COMMAND, CMD_TRANSFER_INFO_PIO);
    ChipSelectBank1(ad);
    ChipWrite(ad, PIO_CONTROL, PIO_ON);

    const BOOLEAN moved = CollectDataIn(ad, &in) && DrainDataIn(ad, &in);
    if (reads) lu->DataLength -= in.Total; /* wraps below zero on an overrun */

    ChipSelectBank0(ad);
    ResetTransferMode(ad);
    if (!moved) {
        ad->Phase = PHASE_TIMEOUT;
        return 1;
    }
    WaitWhileBusPhase(ad, PHASE_DATA_IN);
    return 1;
}
