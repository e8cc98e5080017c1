/*
 * Reselection: a target that disconnected comes back while the engine polls for something
 * else; the chip, never told to answer reselection, takes one while its own select command
 * waits for the bus and drops that command. The request is served to the end of this
 * connection on the spot, between a snapshot and a restore of the whole adapter record, so
 * that the interrupted operation resumes exactly where it was and sees result 2.
 */
#include <string.h>

#include "ScsiMiniPort/engine/chip.h"
#include "ScsiMiniPort/engine/engine.h"
#include "ScsiMiniPort/engine/scsi_messages.h"

#define RESELECTION_BYTES 2 /* the bus ID byte, then IDENTIFY */

/* The reselecting target: the highest ID bit left once the adapter's own is cleared. */
static ULONG NTAPI ReselectingTarget(PADAPTER_EXTENSION ad, UCHAR idByte) {
    const UCHAR others = (UCHAR)(idByte & ~(1u << ad->InitiatorId));
    for (ULONG target = SCSI_MAX_TARGETS - 1; target > 0; --target) {
        if (others & (1u << target)) return target;
    }
    return 0;
}

/* What the FIFO holds must be a reselection: exactly two bytes, an ID byte with our bit and
   exactly one other, and an IDENTIFY. Anything else (a target that sent a garbled ID or no
   IDENTIFY, bytes of ours left in the FIFO) names no unit that could be served safely:
   guessing would hand one target's data to another target's request. */
static BOOLEAN NTAPI ReselectionBytesValid(PADAPTER_EXTENSION ad, UCHAR queued, UCHAR idByte,
                                           UCHAR identify) {
    const UCHAR others = (UCHAR)(idByte & ~(1u << ad->InitiatorId));
    return (BOOLEAN)(queued == RESELECTION_BYTES && (idByte & (1u << ad->InitiatorId)) != 0 &&
                     others != 0 && (others & (others - 1)) == 0 && (identify & MSG_IDENTIFY) != 0);
}

/* A target came back for a unit that has no request with us (the port driver knows no such
   unit, its request is already finished, e.g. by a bus reset, the unit's new request is the
   one being selected, or the bytes name no unit).
   Nothing of ours is touched: ATN goes up before the IDENTIFY is accepted, the target is told
   ABORT, and the bus goes free. Waits are bounded; a target that ignores ATN is left to the
   next bus reset. */
static VOID NTAPI AbortUnknownReselection(PADAPTER_EXTENSION ad) {
    ChipWrite(ad, COMMAND, CMD_SET_ATN);
    ChipWrite(ad, COMMAND, CMD_MESSAGE_ACCEPTED);
    if (WaitForInterrupt(ad) == 0 || ad->BusFree) return;
    if (ad->Phase != PHASE_MESSAGE_OUT) return;
    ad->MessageOut[0] = MSG_ABORT;
    ad->MessageOutLength = 1;
    MessageOutPhaseRun(ad);
}

VOID NTAPI ServeReselection(PADAPTER_EXTENSION ad) {
    const UCHAR reselectionStatus = ad->InterruptStatus;
    ADAPTER_EXTENSION snapshot;
    memcpy(&snapshot, ad, sizeof snapshot);

    ad->BusFree = 0;
    ad->Phase = PHASE_READ_FROM_CHIP;
    const UCHAR queued = (UCHAR)(ChipRead(ad, FIFO_FLAGS) & FIFO_COUNT_MASK);
    const UCHAR idByte = ChipRead(ad, FIFO);
    const UCHAR identify = ChipRead(ad, FIFO);

    PLU_EXTENSION lu = 0;
    if (ReselectionBytesValid(ad, queued, idByte, identify)) {
        ad->TargetId = ReselectingTarget(ad, idByte);
        ad->Lun = (ULONG)(identify & MSG_IDENTIFY_LUN_MASK);
        lu = (PLU_EXTENSION)ScsiPortGetLogicalUnit(ad, ad->PathId, (UCHAR)ad->TargetId, (UCHAR)ad->Lun);
    }
    /* The chip takes a reselection only while it selects, and it selects for CurrentLu: that
       unit's request has not reached its target yet (a new request replaces the unit's Srb),
       so a target naming it speaks of another command, which must not be served into it. */
    if (lu == 0 || lu->Srb == 0 || lu == snapshot.CurrentLu) {
        AbortUnknownReselection(ad);
        memcpy(ad, &snapshot, sizeof snapshot);
        ad->InterruptStatus = reselectionStatus;
        return;
    }

    ad->CurrentLu = lu;
    lu->Completed = 0;
    fnRestore_Pointer(ad, 0);
    SetTransferMode(ad);
    ChipWrite(ad, COMMAND, CMD_MESSAGE_ACCEPTED); /* the IDENTIFY */
    WaitForInterrupt(ad); /* on time-out the sequencer ends at once with its report */
    RunPhaseSub(ad);
    if (lu->Completed == 1) {
        SetCompletionStatus(ad, lu);
        ReportRequestComplete(ad, lu);
    }

    /* Everything the served connection changed in the adapter record is undone, the
       current unit, target, LUN, phase and message-out buffer included; the unit and its
       request keep their changes. */
    memcpy(ad, &snapshot, sizeof snapshot);
    ScsiPortNotification(NextRequest, ad, 0);
    ad->InterruptStatus = reselectionStatus;
}
