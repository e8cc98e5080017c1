/*
 * Interrupt polling. The chip's interrupt line is not connected: every wait of the engine
 * looks at STATUS bit 7 and takes a pending interrupt by reading INT_STATUS exactly once.
 * Bank 0 is selected whenever the engine polls.
 */
#include "ScsiMiniPort/engine/budgets.h"
#include "ScsiMiniPort/engine/chip.h"
#include "ScsiMiniPort/engine/engine.h"

UCHAR NTAPI RoutineInterrupt(PADAPTER_EXTENSION ad) {
    const UCHAR status = ChipRead(ad, STATUS);
    if ((status & STATUS_INTERRUPT) == 0) return 0;

    ad->InterruptStatus = ChipRead(ad, INT_STATUS);
    if (ad->InterruptStatus == INT_NO_CHIP) return 1; /* nothing answers: the card is gone */

    if (ad->InterruptStatus & INT_RESELECTED) {
        ServeReselection(ad);
        return 1;
    }
    if (ad->InterruptStatus & INT_BUS_SERVICE) ad->Phase = (UCHAR)(status & STATUS_PHASE_MASK);
    /* A reset from another device frees the bus as a disconnect does: the connection is over
       (its request is left to the port driver's time-out), rather than waited for in a phase
       no target is in any more. */
    if (ad->InterruptStatus & (INT_DISCONNECT | INT_BUS_RESET)) ad->BusFree = 1;
    return 1;
}

UCHAR NTAPI CheckInterruptReg(PADAPTER_EXTENSION ad, UCHAR waitFlag) {
    (void)waitFlag; /* every caller polls once and loops itself */
    if (RoutineInterrupt(ad) == 0) return 0;
    /* An all-ones status carries the reselected bit too: callers retry as after a
       reselection and finally give up. */
    return (UCHAR)((ad->InterruptStatus & INT_RESELECTED) ? 2 : 1);
}

UCHAR NTAPI CardGone(PADAPTER_EXTENSION ad) {
    if (ad->InterruptStatus != INT_NO_CHIP) return 0;
    ad->Phase = PHASE_TIMEOUT;
    return 1;
}

UCHAR NTAPI WaitForInterrupt(PADAPTER_EXTENSION ad) {
    for (ULONG polls = 0; polls < INTERRUPT_WAIT_POLLS; ++polls) {
        const UCHAR seen = CheckInterruptReg(ad, 0);
        if (seen != 0) return seen;
    }
    ad->Phase = PHASE_TIMEOUT;
    return 0;
}

/* After COMMAND COMPLETE the target must let the bus go (a reset frees it as well). One that
   stays would hold it for good: the request is left open and the connection ends through the
   time-out report, so that the port driver's time-out resets the bus and ends the request
   there. */
VOID NTAPI WaitForBusFreeAfterCompletion(PADAPTER_EXTENSION ad) {
    if (WaitForInterrupt(ad) != 0 && (ad->InterruptStatus & (INT_DISCONNECT | INT_BUS_RESET))) return;
    ad->CurrentLu->Completed = 0;
    ad->Phase = PHASE_TIMEOUT;
}

/* The phase lines of a free bus read as DATA OUT (all released): while waiting in that phase a
   pending interrupt is taken, and one that shows the bus free ends the wait as well. */
UCHAR NTAPI WaitWhileBusPhase(PADAPTER_EXTENSION ad, UCHAR phase) {
    for (ULONG polls = 0; polls < PHASE_CHANGE_POLLS; ++polls) {
        const UCHAR status = CheckStReg(ad->ChipBase, 0);
        if ((status & STATUS_PHASE_MASK) != phase) return 1;
        if (phase == PHASE_DATA_OUT && (status & STATUS_INTERRUPT) && RoutineInterrupt(ad) && ad->BusFree) {
            return 1;
        }
    }
    ad->Phase = PHASE_TIMEOUT;
    return 0;
}

/* One timer call per unit of the settle count; the selection waits out whatever is left. */
VOID NTAPI RstToSelTimer(PVOID HwDeviceExtension) {
    const PADAPTER_EXTENSION ad = (PADAPTER_EXTENSION)HwDeviceExtension;
    if (ad->SettleCount != 0) {
        --ad->SettleCount;
        ScsiPortNotification(RequestTimerCall, ad, RstToSelTimer, (ULONG)SETTLE_TIMER_INTERVAL_US);
    } else {
        ad->SettlePending = 0;
    }
}
