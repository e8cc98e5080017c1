/*
 * Selection: arbitrate and select the target with ATN, send IDENTIFY (without disconnect
 * privilege), an SDTR offer when one is due, and, when no offer goes along, the command
 * bytes in the same chip sequence.
 */
#include "ScsiMiniPort/engine/budgets.h"
#include "ScsiMiniPort/engine/chip.h"
#include "ScsiMiniPort/engine/engine.h"
#include "ScsiMiniPort/engine/scsi_messages.h"

/* What a selection sends after the arbitration. */
typedef enum _SELECTION_KIND {
    SelectForCommand, /* IDENTIFY (+ SDTR) built here, then the unit's command */
    SelectForMessage, /* the message already in MessageOut, nothing else */
} SELECTION_KIND;

#define SETTLE_STALLS_PER_UNIT 100 /* 100 x 10 us: one millisecond per settle count unit */
#define SETTLE_STALL_US 10

static UCHAR NTAPI SelectionTimedOut(PADAPTER_EXTENSION ad) {
    ad->CurrentLu->Srb->SrbStatus = SRB_STATUS_SELECTION_TIMEOUT;
    ad->CurrentLu->Completed = 1;
    return 0;
}

/* The chip refused the select command (illegal command): it is still connected to a target
   the driver has let go, one that ignored an ABORT or outlasted a wait. Nobody else can be
   selected while that target holds the bus, and calling the request's target absent would be
   wrong, so the request stays open: the port driver's time-out resets the bus, which frees
   it, and completes the request. */
static UCHAR NTAPI SelectionRefused(PADAPTER_EXTENSION ad) {
    ad->CurrentLu->Completed = 0;
    return 0;
}

/* An interrupt still pending from before the select command (a target that left the bus after
   the driver had finished with it) belongs to nothing the driver waits for now: it is taken
   and dropped, so that it cannot pass for the outcome of this selection. */
static VOID NTAPI DropStaleInterrupt(PADAPTER_EXTENSION ad) {
    if (ChipRead(ad, STATUS) & STATUS_INTERRUPT) (void)ChipRead(ad, INT_STATUS);
}

/* The rest of a bus reset's settle time that the timer has not counted down yet. */
static VOID NTAPI WaitOutSettleTime(PADAPTER_EXTENSION ad) {
    if (ad->SettlePending != 1 || ad->SettleCount == 0) return;
    for (ULONG unit = 0; unit < ad->SettleCount; ++unit) {
        for (ULONG stall = 0; stall < SETTLE_STALLS_PER_UNIT; ++stall) {
            ScsiPortStallExecution(SETTLE_STALL_US);
        }
    }
    ad->SettleCount = 0;
    ad->SettlePending = 0;
}

VOID NTAPI PlaceLunInRequestSense(PADAPTER_EXTENSION ad) {
#if ORVO_LUN_IN_REQUEST_SENSE
    const PUCHAR cdb = ad->CurrentLu->CdbPointer;
    if (cdb[0] == SCSIOP_REQUEST_SENSE) cdb[1] = (UCHAR)(cdb[1] | (ad->Lun << CDB_LUN_SHIFT));
#else
    (void)ad;
#endif
}

/* An offer goes out when the target may be offered synchronous transfer and none has been
   made since the last reset, or the last one went stale with a CHECK CONDITION. */
static BOOLEAN NTAPI SdtrOfferWanted(PADAPTER_EXTENSION ad) {
    if (ad->AsyncTarget[ad->TargetId] != 0) return FALSE;
#if ORVO_SDTR_HONOURS_SRB_FLAG
    if (ad->CurrentLu->Srb->SrbFlags & SRB_FLAGS_DISABLE_SYNCH_TRANSFER) return FALSE;
#endif
    return TRUE;
}

static VOID NTAPI BuildSelectionMessage(PADAPTER_EXTENSION ad) {
    const ULONG i = TL_INDEX(ad->TargetId, ad->Lun);
    ad->MessageOut[0] = (UCHAR)(MSG_IDENTIFY | ad->CurrentLu->Srb->Lun);
    ad->MessageOutLength = 1;
    if (!SdtrOfferWanted(ad)) return;
    if (ad->SdtrSent[i] == 0) {
        SetStdrMsgout(ad);
        ad->SdtrSent[i] = 1;
        ad->SdtrValid[i] = 1;
    } else if (ad->SdtrValid[i] == 0) {
        SetStdrMsgout(ad);
        ad->SdtrValid[i] = 1;
    }
}

#if ORVO_HAS_DMA_AND_DELAY
#define SELECTION_THROUGH_DATA_FIFO(ad) ((ad)->DmaMode == 1)
#else
#define SELECTION_THROUGH_DATA_FIFO(ad) 0
#endif

/* The bytes that go out with the selection, into the SCSI FIFO or, with "DMA", into the data
   FIFO (bank 1), and their count for the chip. */
static VOID NTAPI QueueSelectionBytes(PADAPTER_EXTENSION ad, SELECTION_KIND kind) {
    const BOOLEAN dataFifo = SELECTION_THROUGH_DATA_FIFO(ad);
    const UCHAR port = dataFifo ? (UCHAR)PIO_DATA : (UCHAR)FIFO;
    if (dataFifo) {
        ChipSelectBank1(ad);
        EmptyDataFifo(ad); /* nothing left from an earlier phase goes out with the selection */
    }
    for (ULONG k = 0; k < ad->MessageOutLength; ++k) ChipWrite(ad, port, ad->MessageOut[k]);

    UCHAR count = (UCHAR)ad->MessageOutLength;
    if (kind == SelectForCommand && ad->MessageOutLength <= 1) {
        /* IDENTIFY alone: the chip sends the command right after it. The unit's command
           pointer and count stay as they are. */
        const PLU_EXTENSION lu = ad->CurrentLu;
        for (ULONG k = 0; k < lu->CdbLength; ++k) ChipWrite(ad, port, lu->CdbPointer[k]);
        count = (UCHAR)(1 + lu->CdbLength);
    }
    if (dataFifo) ChipSelectBank0(ad);
    LoadTransferCount(ad, count);
}

/* Selection with ATN: 0x42 sends one message byte and then whatever else the count covers
   (the command); 0x43 stops after the first message byte so that the rest of the message (an
   SDTR, an ABORT) follows on its own. */
static UCHAR NTAPI SelectionCommandCode(PADAPTER_EXTENSION ad) {
    UCHAR command = ad->MessageOutLength > 1 ? CMD_SELECT_ATN_STOP : CMD_SELECT_ATN;
    if (SELECTION_THROUGH_DATA_FIFO(ad)) command = (UCHAR)(command | CMD_DATA_FIFO);
    return command;
}

/* The chip stopped after the first message byte and the target is in MESSAGE OUT: the rest
   of the message is still queued in the chip. */
static VOID NTAPI SendRestOfMessage(PADAPTER_EXTENSION ad) {
    if (SELECTION_THROUGH_DATA_FIFO(ad)) {
        ChipSelectBank0(ad);
        LoadTransferCount(ad, (UCHAR)(ad->MessageOutLength - 1));
        ChipWrite(ad, COMMAND, CMD_TRANSFER_INFO_PIO);
    } else {
        ChipWrite(ad, COMMAND, CMD_TRANSFER_INFO);
    }
    WaitForInterrupt(ad); /* on time-out the sequencer ends at once with its report */
}

/* The target is connected (or, after a message selection, has taken the message): the data
   pointer starts where the unit saved it. */
static UCHAR NTAPI SelectionConnected(PADAPTER_EXTENSION ad) {
    const PLU_EXTENSION lu = ad->CurrentLu;
    lu->DataPointer = lu->SavedDataPointer;
    lu->DataLength = lu->SavedDataLength;
    return 1;
}

/* A one-byte message selection (BUS DEVICE RESET) ends with the bus going free once the target
   has the byte: a disconnect after at least the message step is delivery, not a time-out. */
static BOOLEAN NTAPI MessageTakenAndBusFree(PADAPTER_EXTENSION ad) {
    if (ad->InterruptStatus != INT_DISCONNECT) return FALSE;
    if ((ChipRead(ad, SEQ_STEP) & SEQ_STEP_MASK) == 0) return FALSE;
    ad->BusFree = 1;
    return TRUE;
}

static UCHAR NTAPI SelectTarget(PADAPTER_EXTENSION ad, SELECTION_KIND kind) {
    const PLU_EXTENSION lu = ad->CurrentLu;
    const PSCSI_REQUEST_BLOCK srb = lu->Srb;

    for (ULONG attemptsLeft = SELECTION_ATTEMPTS;;) {
        ad->Phase = PHASE_READ_FROM_CHIP;
        WaitOutSettleTime(ad);
        ChipSelectBank1(ad);
        ChipSelectBank0(ad);
        if (ad->NoSelect[srb->TargetId] == 1) return SelectionTimedOut(ad);

        ChipWrite(ad, DEST_ID, srb->TargetId);
        ChipWrite(ad, SEL_TIMEOUT, SEL_TIMEOUT_VALUE);
        ChipWrite(ad, COMMAND, CMD_FLUSH_FIFO);
        if (kind == SelectForCommand) {
            PlaceLunInRequestSense(ad);
            BuildSelectionMessage(ad);
        }
        SetTransferMode(ad);
        QueueSelectionBytes(ad, kind);
        DropStaleInterrupt(ad);
        ChipWrite(ad, COMMAND, SelectionCommandCode(ad));

        const UCHAR seen = WaitForInterrupt(ad);
        if (seen == 0) return SelectionTimedOut(ad); /* the chip never ended the selection */
        if (seen == 2) {
            /* The chip answered a target that was reselecting instead and dropped the select
               command; that target has been served (or the card is gone): start over. */
            if (--attemptsLeft == 0) return SelectionTimedOut(ad);
            continue;
        }
        if (kind == SelectForMessage && MessageTakenAndBusFree(ad)) return SelectionConnected(ad);
        if (ad->InterruptStatus == INT_ILLEGAL_COMMAND) return SelectionRefused(ad);
        if (ad->InterruptStatus != (INT_FUNCTION_COMPLETE | INT_BUS_SERVICE)) {
            return SelectionTimedOut(ad); /* 0x20: nobody answered; anything else: failed */
        }

        const UCHAR step = (UCHAR)(ChipRead(ad, SEQ_STEP) & SEQ_STEP_MASK);
        ad->BusFree = 0;
        if (step == 0) {
            ChipWrite(ad, COMMAND, CMD_RESET_ATN);
        } else if (step == 1 && ad->Phase == PHASE_MESSAGE_OUT) {
            SendRestOfMessage(ad);
        }
        return SelectionConnected(ad);
    }
}

UCHAR NTAPI ExecuteSelection(PADAPTER_EXTENSION ad) {
    return SelectTarget(ad, SelectForCommand);
}

UCHAR NTAPI ExecuteMessageSelection(PADAPTER_EXTENSION ad) {
    return SelectTarget(ad, SelectForMessage);
}

/* Callers queue the offer behind at most the IDENTIFY byte, so it always fits. */
VOID NTAPI SetStdrMsgout(PADAPTER_EXTENSION ad) {
    const ULONG i = TL_INDEX(ad->TargetId, ad->Lun);
    const ULONG at = ad->MessageOutLength & 0xFF;
    ad->MessageOut[at + 0] = MSG_EXTENDED;
    ad->MessageOut[at + 1] = SDTR_LENGTH;
    ad->MessageOut[at + 2] = EXT_MSG_SDTR;
    ad->MessageOut[at + 3] = ad->OfferPeriod[i];
    ad->MessageOut[at + 4] = ad->OfferOffset[i];
    ad->MessageOutLength = at + SDTR_MESSAGE_SIZE;
}
