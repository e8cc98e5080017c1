/*
 * The message handlers behind the dispatch tables, and the synchronous-transfer negotiation.
 *
 * Negotiation: selection offers OfferPeriod/OfferOffset; the target's SDTR (an answer, or
 * one of its own) is accepted as sent when it asks for nothing faster and no deeper than the
 * offer, countered with the offer otherwise, or taken as a request for asynchronous
 * transfer. The agreement goes to the chip at once and at every later selection or
 * reselection. During the device check only the target's terms are recorded: the chip is
 * not touched and no answer is sent.
 */
#include "ScsiMiniPort/engine/chip.h"
#include "ScsiMiniPort/engine/engine.h"

/* Bytes of an SDTR message */
#define SDTR_PERIOD_BYTE 3
#define SDTR_OFFSET_BYTE 4

UCHAR NTAPI fnCommand_Complete(PADAPTER_EXTENSION ad, PUCHAR message) {
    (void)message;
    ad->CurrentLu->Completed = 1;
    ad->BusFree = 1;
    return MESSAGE_ACCEPT;
}

UCHAR NTAPI fnSave_Data_Pointer(PADAPTER_EXTENSION ad, PUCHAR message) {
    (void)message;
    const PLU_EXTENSION lu = ad->CurrentLu;
    lu->SavedDataPointer = lu->DataPointer;
    lu->SavedDataLength = lu->DataLength;
    return MESSAGE_ACCEPT;
}

/* Also used by the reselection, which ignores the reply and passes no message. */
UCHAR NTAPI fnRestore_Pointer(PADAPTER_EXTENSION ad, PUCHAR message) {
    (void)message;
    const PLU_EXTENSION lu = ad->CurrentLu;
    const PSCSI_REQUEST_BLOCK srb = lu->Srb;
    lu->DataPointer = lu->SavedDataPointer;
    lu->DataLength = lu->SavedDataLength;
    lu->CdbPointer = srb->Cdb;
    lu->CdbLength = srb->CdbLength;
    lu->StatusPointer = &srb->ScsiStatus;
    return MESSAGE_ACCEPT;
}

/* The unit keeps its request until the target reselects. */
UCHAR NTAPI fnDisconnect(PADAPTER_EXTENSION ad, PUCHAR message) {
    (void)message;
    ad->BusFree = 1;
    return MESSAGE_ACCEPT;
}

/* The target refused our last message (an SDTR offer): drop ATN, keep the agreement. */
UCHAR NTAPI fnMessage_Reject(PADAPTER_EXTENSION ad, PUCHAR message) {
    (void)message;
    ChipWrite(ad, COMMAND, CMD_RESET_ATN);
    return MESSAGE_ACCEPT;
}

/* Turns the agreement of TargetId/Lun into chip values and programs the chip with them. */
static VOID NTAPI ApplyAgreement(PADAPTER_EXTENSION ad, ULONG i) {
    const USHORT registers = sync_reg_set(ad->SyncPeriod[i], ad->SyncOffset[i]);
    ad->SyncPeriodReg[i] = (UCHAR)(registers & 0xFF);
    ad->SyncOffsetReg[i] = (UCHAR)(registers >> 8);
    SetTransferMode(ad);
}

UCHAR NTAPI fnSync_Data_Transfer_Request(PADAPTER_EXTENSION ad, PUCHAR message) {
    const ULONG i = TL_INDEX(ad->TargetId, ad->Lun);
    const UCHAR period = message[SDTR_PERIOD_BYTE];
    const UCHAR offset = message[SDTR_OFFSET_BYTE];

    if (period == 0 || offset == 0) {
        /* The target wants asynchronous transfer. */
        ad->SyncOffset[i] = ad->SyncPeriod[i] = 0;
        ad->TargetOffset[i] = ad->TargetPeriod[i] = 0;
        if (ad->DeviceCheck) return MESSAGE_ACCEPT;
        ApplyAgreement(ad, i);
        return MESSAGE_ACCEPT;
    }
    ad->TargetPeriod[i] = period;
    ad->TargetOffset[i] = offset;
    if (ad->OfferPeriod[i] <= period && ad->OfferOffset[i] >= offset) {
        /* Nothing faster and no deeper than offered: accepted as sent, no answer. */
        ad->SyncPeriod[i] = period;
        ad->SyncOffset[i] = offset;
        if (ad->DeviceCheck) return MESSAGE_ACCEPT;
        ApplyAgreement(ad, i);
        return MESSAGE_ACCEPT;
    }
    /* Beyond the offer: counter with the offer itself. */
    if (ad->DeviceCheck) return MESSAGE_ACCEPT;
    ad->SyncPeriod[i] = ad->OfferPeriod[i];
    ad->SyncOffset[i] = ad->OfferOffset[i];
    ApplyAgreement(ad, i);
    return MESSAGE_ANSWER_SDTR;
}

/* The end-of-table row. */
UCHAR NTAPI fnDummy(PADAPTER_EXTENSION ad, PUCHAR message) {
    (void)ad;
    (void)message;
    return MESSAGE_ACCEPT;
}
