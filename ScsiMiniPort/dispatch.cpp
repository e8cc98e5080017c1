/*
 * Request dispatch. One request at a time: a request normally runs from selection to its
 * completion inside one call of RoutineStartIo; a target that disconnects keeps its request
 * in its unit until it reselects during a later poll.
 */
#include "ScsiMiniPort/dispatch.h"

#include "ScsiMiniPort/adapter_state.h"
#include "ScsiMiniPort/engine/engine.h"
#include "ScsiMiniPort/engine/scsi_messages.h"
#include "ScsiMiniPort/routines.h"

#include <string.h>

VOID NTAPI StartScsiExec(PADAPTER_EXTENSION ad, PLU_EXTENSION lu, PSCSI_REQUEST_BLOCK srb) {
    if (srb->Function == SRB_FUNCTION_ABORT_COMMAND || srb->Function == SRB_FUNCTION_RESET_DEVICE) {
        /* The prepared message goes out alone: the unit's command and data pointers still
           belong to its previous request. */
        RunMessageRequest(ad, lu);
    } else {
        RunScsiRequest(ad, lu);
    }
    /* The device check's probes never came from the port driver: nothing is reported and no
       next request asked for, whether or not the probe finished. */
    if (ad->DeviceCheck == 1) return;
    const PLU_EXTENSION current = ad->CurrentLu;
    if (current != 0 && current->Completed == 1) ReportRequestComplete(ad, current);
    ScsiPortNotification(NextRequest, ad, 0);
}

VOID NTAPI RoutineAbort(PADAPTER_EXTENSION ad, PLU_EXTENSION lu, PSCSI_REQUEST_BLOCK srb) {
    (void)ad;
    (void)lu;
    srb->SrbStatus = SRB_STATUS_ABORT_FAILED;
}

/* The unit's fields for a request that carries only a message. */
static VOID PrepareMessageRequest(PLU_EXTENSION lu, PSCSI_REQUEST_BLOCK srb) {
    lu->Srb = srb;
    lu->StatusPointer = &srb->ScsiStatus;
}

BOOLEAN NTAPI RoutineStartIo(PVOID HwDeviceExtension, PSCSI_REQUEST_BLOCK Srb) {
    const PADAPTER_EXTENSION ad = (PADAPTER_EXTENSION)HwDeviceExtension;
    ad->PathId = Srb->PathId;
    const PLU_EXTENSION lu =
        (PLU_EXTENSION)ScsiPortGetLogicalUnit(ad, Srb->PathId, Srb->TargetId, Srb->Lun);
    Srb->SrbStatus = SRB_STATUS_PENDING;
    lu->SrbStatus = SRB_STATUS_PENDING;

    switch (Srb->Function) {
    case SRB_FUNCTION_EXECUTE_SCSI:
        lu->Srb = Srb;
        lu->SavedDataPointer = (PUCHAR)Srb->DataBuffer;
        lu->SavedDataLength = Srb->DataTransferLength;
        lu->StatusPointer = &Srb->ScsiStatus;
        lu->CdbPointer = Srb->Cdb;
        lu->CdbLength = Srb->CdbLength;
        ad->TargetId = Srb->TargetId;
        ad->Lun = Srb->Lun;
        StartScsiExec(ad, lu, Srb);
        break;

    case SRB_FUNCTION_ABORT_COMMAND:
        PrepareMessageRequest(lu, Srb);
        ad->MessageOut[0] = (UCHAR)(MSG_IDENTIFY | Srb->Lun);
        if ((Srb->SrbFlags & SRB_FLAGS_DISABLE_DISCONNECT) == 0) ad->MessageOut[0] |= MSG_IDENTIFY_DISCONNECT;
        ad->MessageOut[1] = MSG_ABORT;
        ad->MessageOutLength = 2;
        StartScsiExec(ad, lu, Srb);
        RoutineAbort(ad, lu, Srb);
        ScsiPortNotification(NextRequest, ad, 0);
        break;

    case SRB_FUNCTION_RESET_BUS:
        /* The reset completes every outstanding request of the path, this one included; the
           port driver reads the status only after this routine returns. */
        RoutineResetBus(ad, Srb->PathId);
        Srb->SrbStatus = SRB_STATUS_SUCCESS;
        break;

    case SRB_FUNCTION_RESET_DEVICE:
        PrepareMessageRequest(lu, Srb);
        ad->MessageOut[0] = MSG_BUS_DEVICE_RESET;
        ad->MessageOutLength = 1;
        StartScsiExec(ad, lu, Srb);
        break;

    default:
        Srb->SrbStatus = SRB_STATUS_INVALID_REQUEST;
        ScsiPortNotification(RequestComplete, ad, Srb);
        ScsiPortNotification(NextRequest, ad, 0);
        break;
    }
    return TRUE;
}

#define PROBE_PATH 1
#define PROBE_CDB_LENGTH 6 /* TEST UNIT READY */
#define CHECK_OFFER_PERIOD 1
#define CHECK_OFFER_OFFSET 0xFE

VOID NTAPI QDA_DeviceCheckFunc(PADAPTER_EXTENSION ad) {
    SCSI_REQUEST_BLOCK probe;
    LU_EXTENSION probeUnit;

    RoutineInitialize(ad); /* the probes run whatever it says */

    /* An offer at least as fast and deep as any device's own terms: a device that negotiates
       accepts with its terms, which are recorded in TargetPeriod/TargetOffset. */
    for (ULONG i = 0; i < TARGET_LUN_PAIRS; ++i) {
        ad->SdtrSent[i] = 0;
        ad->SdtrValid[i] = 0;
        ad->OfferPeriod[i] = CHECK_OFFER_PERIOD;
        ad->OfferOffset[i] = CHECK_OFFER_OFFSET;
    }

    for (ULONG t = 0; t < SCSI_MAX_TARGETS; ++t) {
        for (ULONG l = 0; l < SCSI_MAX_LUNS; ++l) {
            memset(&probe, 0, sizeof probe);
            probe.Length = sizeof probe;
            probe.Function = SRB_FUNCTION_EXECUTE_SCSI;
            probe.PathId = PROBE_PATH;
            probe.TargetId = (UCHAR)t;
            probe.Lun = (UCHAR)l;
            probe.CdbLength = PROBE_CDB_LENGTH;

            memset(&probeUnit, 0, sizeof probeUnit);
            probeUnit.Srb = &probe;
            probeUnit.StatusPointer = &probe.ScsiStatus;
            probeUnit.CdbPointer = probe.Cdb;
            probeUnit.CdbLength = PROBE_CDB_LENGTH;

            ad->PathId = PROBE_PATH;
            ad->TargetId = t;
            ad->Lun = l;
            StartScsiExec(ad, &probeUnit, &probe);
            /* Nothing of the stack-held probe may outlive this loop in the record. */
            if (ad->CurrentLu == &probeUnit) ad->CurrentLu = 0;
        }
    }

    ad->DeviceCheck = 0;
    ResetNegotiationTables(ad);
}
