/*
 * The three small phase routines: COMMAND (bytes the selection did not send), STATUS (the
 * status byte with the message that follows it) and MESSAGE OUT.
 *
 * Every phase routine returns at once when the bus went free between the sequencer's poll
 * and the call: there is no target left to talk to. After a wait that ran out of budget it
 * returns at once as well, leaving the time-out marker for the sequencer.
 */
#include "ScsiMiniPort/engine/chip.h"
#include "ScsiMiniPort/engine/engine.h"
#include "ScsiMiniPort/engine/scsi_messages.h"

#define COMMAND_PHASE_SETTLE_US 10
#define STATUS_AND_MESSAGE_BYTES 2
#define STATUS_COMPLETE_BANK0_WRITES 5

UCHAR NTAPI CommandPhaseRun(PADAPTER_EXTENSION ad) {
    if (ad->BusFree) return 1;
    const PLU_EXTENSION lu = ad->CurrentLu;

    ScsiPortStallExecution(COMMAND_PHASE_SETTLE_US);
    PlaceLunInRequestSense(ad);
    ChipSelectBank0(ad);
    ChipWrite(ad, COMMAND, CMD_FLUSH_FIFO);
    LoadTransferCount(ad, (UCHAR)lu->CdbLength);

    /* Always through the data FIFO, emptied first: bytes a target left there after a data
       phase would otherwise go out ahead of the command and make another command of it. The
       unit's pointer and count are consumed: only RESTORE POINTERS arms them again. */
    ChipSelectBank1(ad);
    EmptyDataFifo(ad);
    while (lu->CdbLength != 0) {
        ChipWrite(ad, PIO_DATA, *lu->CdbPointer);
        ++lu->CdbPointer;
        --lu->CdbLength;
    }
    ChipSelectBank0(ad);
    ChipWrite(ad, COMMAND, CMD_TRANSFER_INFO_PIO);

    if (WaitForInterrupt(ad) == 0) return 1;
    WaitWhileBusPhase(ad, PHASE_COMMAND);
    return 1;
}

/* The request status a SCSI status byte (compared whole) ends the request with. */
static UCHAR NTAPI SrbStatusFromScsiStatus(UCHAR scsiStatus) {
    switch (scsiStatus) {
    case SCSISTAT_GOOD:
    case SCSISTAT_CONDITION_MET:
    case SCSISTAT_INTERMEDIATE:
    case SCSISTAT_INTERMEDIATE_COND_MET:
        return SRB_STATUS_SUCCESS;
    case SCSISTAT_CHECK_CONDITION:
    case SCSISTAT_COMMAND_TERMINATED:
        return SRB_STATUS_ERROR;
    default: /* BUSY, RESERVATION CONFLICT, ... */
        return SRB_STATUS_BUSY;
    }
}

UCHAR NTAPI StatusPhaseRun(PADAPTER_EXTENSION ad) {
    if (ad->BusFree) return 1;
    const PLU_EXTENSION lu = ad->CurrentLu;

    ChipSelectBank0(ad);
    if (ChipRead(ad, FIFO_FLAGS) & FIFO_COUNT_MASK) ChipWrite(ad, COMMAND, CMD_FLUSH_FIFO);
    LoadTransferCount(ad, STATUS_AND_MESSAGE_BYTES);
    ChipWrite(ad, COMMAND, CMD_INITIATOR_COMPLETE);
    if (WaitForInterrupt(ad) == 0) return 1;

    const UCHAR scsiStatus = ChipRead(ad, FIFO);
    *lu->StatusPointer = scsiStatus;
    lu->SrbStatus = SrbStatusFromScsiStatus(scsiStatus);
    if (lu->SrbStatus == SRB_STATUS_ERROR) {
        /* The target may have lost the agreement (a reset, a power cycle): offer again at
           the next selection. */
        ad->SdtrValid[TL_INDEX(ad->TargetId, ad->Lun)] = 0;
    }

    if (ad->InterruptStatus == INT_FUNCTION_COMPLETE) {
        /* Status and message both received. Only COMMAND COMPLETE ends the exchange: after
           another message (a DISCONNECT, say) the target still holds the command, and taking
           the status for its end would report a command as done that is not, a WRITE whose
           data never reached the medium among them. That message is handled as in MESSAGE IN;
           the status stands until the target sends another. */
        const UCHAR message = ChipRead(ad, FIFO);
        if (message != MSG_COMMAND_COMPLETE) {
            MessageInAfterStatus(ad, message);
            return 1;
        }
        ad->BusFree = 1;
        lu->Completed = 1;
        for (ULONG k = 0; k < STATUS_COMPLETE_BANK0_WRITES; ++k) ChipSelectBank0(ad);
        ChipWrite(ad, COMMAND, CMD_MESSAGE_ACCEPTED);
        WaitForBusFreeAfterCompletion(ad);
    } else {
        /* The target went on to another phase (e.g. MESSAGE IN); the sequencer follows. */
        ChipSelectBank0(ad);
    }
    return 1;
}

UCHAR NTAPI MessageOutPhaseRun(PADAPTER_EXTENSION ad) {
    if (ad->BusFree) return 1;
    ChipSelectBank0(ad);
    ULONG length = ad->MessageOutLength & 0xFF;
    if (length == 0) {
        /* The target asks for a message we do not have. */
        ad->MessageOut[0] = MSG_NO_OPERATION;
        ad->MessageOutLength = length = 1;
    }
    ChipWrite(ad, COMMAND, CMD_FLUSH_FIFO);
    LoadTransferCount(ad, (UCHAR)length);
    for (ULONG k = 0; k < length; ++k) ChipWrite(ad, FIFO, ad->MessageOut[k]);
    ChipWrite(ad, COMMAND, CMD_TRANSFER_INFO);
    if (WaitForInterrupt(ad) == 0) return 1;
    ChipWrite(ad, COMMAND, CMD_RESET_ATN);
    /* MessageOutLength stays: a later MESSAGE OUT without a new message repeats it. */
    return 1;
}
