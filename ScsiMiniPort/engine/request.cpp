/*
 * The engine's entries for the request dispatch: one request from selection to the end of
 * its first connection.
 */
#include "ScsiMiniPort/adapter_state.h"
#include "ScsiMiniPort/engine/engine.h"
#include "ScsiMiniPort/engine/scsi_messages.h"

typedef UCHAR(NTAPI* SELECTION_ROUTINE)(PADAPTER_EXTENSION ad);

/* Makes lu the unit on the bus and selects its target. FALSE, with the request finished as a
   selection time-out, when the target could not be selected. */
static BOOLEAN NTAPI ConnectUnit(PADAPTER_EXTENSION ad, PLU_EXTENSION lu, SELECTION_ROUTINE select) {
    ad->CurrentLu = lu;
    ad->Phase = PHASE_READ_FROM_CHIP;
    if (select(ad) == 0) {
        lu->SrbStatus = SRB_STATUS_SELECTION_TIMEOUT;
        return FALSE;
    }
    lu->Completed = 0;
    return TRUE;
}

VOID NTAPI RunScsiRequest(PADAPTER_EXTENSION ad, PLU_EXTENSION lu) {
    if (!ConnectUnit(ad, lu, ExecuteSelection)) return;
    RunPhaseSub(ad);
    if (lu->Completed == 1) SetCompletionStatus(ad, lu);
}

/*
 * An abort or reset-device request carries its own message and names its unit only through
 * its SRB; the unit's command and data pointers still belong to the unit's previous request,
 * whose buffer may already be back with its owner. So the selection sends the prepared
 * message and nothing else, and the pointers are cleared first: a target that asks for a
 * command or data anyway gets none, and data it sends goes to the discard buffer.
 */
VOID NTAPI RunMessageRequest(PADAPTER_EXTENSION ad, PLU_EXTENSION lu) {
    const PSCSI_REQUEST_BLOCK srb = lu->Srb;
    const BOOLEAN deviceReset = ad->MessageOut[0] == MSG_BUS_DEVICE_RESET;

    ad->TargetId = srb->TargetId;
    ad->Lun = srb->Lun;
    lu->SavedDataPointer = 0;
    lu->SavedDataLength = 0;
    lu->CdbPointer = srb->Cdb;
    lu->CdbLength = 0;
    if (!ConnectUnit(ad, lu, ExecuteMessageSelection)) return;
    if (RunPhaseSub(ad) == 0) return; /* the time-out report; the port driver's reset ends it */

    /* A target that has taken BUS DEVICE RESET is back at asynchronous transfer on every LUN. */
    if (deviceReset) ResetTargetNegotiation(ad, ad->TargetId);
    if (lu->Completed == 0) {
        /* The target took the message and left the bus, as it should. */
        lu->SrbStatus = SRB_STATUS_SUCCESS;
        lu->Completed = 1;
    }
    /* No data belongs to the request: whatever a target sent was dropped, the length stays. */
    srb->SrbStatus = lu->SrbStatus;
}
