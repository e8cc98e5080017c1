/*
 * Completion of a finished request: the unit's verdict and the number of bytes moved go into
 * the SRB, and the port driver is told. Used after the first connection of a request and
 * after a reselection alike.
 */
#include "ScsiMiniPort/engine/engine.h"

/*
 * The residual is the unit's DataLength: bytes not moved, or, after a data-in overrun, the
 * excess below zero (modulo 2^32).
 *
 * The length is lowered by the residual whenever bytes fell short, also when nothing at all
 * was moved: leaving the asked-for length in place would report a read that delivered no
 * data as a complete one, with whatever the buffer held before as its data. After an overrun
 * the buffer is full and the excess was dropped: the length stays the buffer's, because the
 * port driver and the class drivers take it as the number of valid bytes in the buffer, and
 * a larger one would have them copy past its end. The Windows NT builds report any transfer
 * that moved another number of bytes than asked as a data overrun (the port driver's code
 * for under- and over-runs alike); the Windows 95 builds keep the status.
 */
VOID NTAPI SetCompletionStatus(PADAPTER_EXTENSION ad, PLU_EXTENSION lu) {
    (void)ad;
    const PSCSI_REQUEST_BLOCK srb = lu->Srb;
    const ULONG residual = lu->DataLength;

    /* A target that ended the exchange without ever sending a status byte has not told
       whether the command succeeded; pending is no final status to report. */
    srb->SrbStatus = lu->SrbStatus == SRB_STATUS_PENDING ? SRB_STATUS_PHASE_SEQUENCE_FAILURE
                                                         : lu->SrbStatus;
    const BOOLEAN overrun = residual > srb->DataTransferLength; /* wrapped below zero */
    if (!overrun) srb->DataTransferLength -= residual;
#if ORVO_REPORTS_OVERRUN
    if (srb->SrbStatus == SRB_STATUS_SUCCESS && residual != 0) {
        srb->SrbStatus = SRB_STATUS_DATA_OVERRUN;
    }
#endif
}

VOID NTAPI ReportRequestComplete(PADAPTER_EXTENSION ad, PLU_EXTENSION lu) {
    ScsiPortNotification(RequestComplete, ad, lu->Srb);
    lu->Srb = 0;
    ad->CurrentLu = 0;
}

BOOLEAN NTAPI BufferOverrun(PLU_EXTENSION lu) {
    return (BOOLEAN)(lu->DataLength > lu->Srb->DataTransferLength);
}
