/*
 * The phase sequencer: once a target is connected (selected or reselected) it follows the
 * phases the target asks for, one phase routine per bus phase, until the target leaves the
 * bus or a wait ran out of budget.
 */
#include "ScsiMiniPort/engine/budgets.h"
#include "ScsiMiniPort/engine/chip.h"
#include "ScsiMiniPort/engine/engine.h"

typedef UCHAR(NTAPI* PHASE_ROUTINE)(PADAPTER_EXTENSION ad);

/* One routine per bus phase (STATUS bits 2..0); 4 and 5 are not information phases. */
static const PHASE_ROUTINE PhaseRoutines[8] = {
    DataOutPhaseRun,    /* 0 DATA OUT */
    DataInPhaseRun,     /* 1 DATA IN */
    CommandPhaseRun,    /* 2 COMMAND */
    StatusPhaseRun,     /* 3 STATUS */
    0,                  /* 4 reserved */
    0,                  /* 5 reserved */
    MessageOutPhaseRun, /* 6 MESSAGE OUT */
    MessageInPhaseRun,  /* 7 MESSAGE IN */
};

static VOID NTAPI ReadPhaseFromChip(PADAPTER_EXTENSION ad) {
    if (ad->BusFree == 1) return;
    ChipSelectBank0(ad);
    ad->Phase = (UCHAR)(CheckStReg(ad->ChipBase, 0) & STATUS_PHASE_MASK);
}

static VOID NTAPI RunPhase(PADAPTER_EXTENSION ad) {
    if (ad->Phase == PHASE_READ_FROM_CHIP) {
        ReadPhaseFromChip(ad);
    } else if (ad->Phase < 8 && PhaseRoutines[ad->Phase] != 0) {
        PhaseRoutines[ad->Phase](ad);
    } else if (ad->Phase < 8) {
        /* A target parked in a reserved phase: wait (bounded) until the chip reports
           another one. */
        WaitForInterrupt(ad);
    }
}

static VOID NTAPI ReportTimeout(PADAPTER_EXTENSION ad) {
    const PSCSI_REQUEST_BLOCK srb = ad->CurrentLu->Srb;
    ScsiPortLogError(ad, srb, srb->PathId, srb->TargetId, srb->Lun, SP_REQUEST_TIMEOUT,
                     (ULONG)(ULONG_PTR)ad);
}

UCHAR NTAPI RunPhaseSub(PADAPTER_EXTENSION ad) {
    for (ULONG passes = 0; ad->BusFree != 1 && ad->Phase != PHASE_TIMEOUT; ++passes) {
        if (passes == SEQUENCER_PASS_BUDGET) {
            ad->Phase = PHASE_TIMEOUT;
            break;
        }
        /* May bring a new phase, bus free, or serve a reselection. */
        if (CheckInterruptReg(ad, 0) != 0 && CardGone(ad)) break;
        RunPhase(ad);
    }
    const UCHAR timedOut = (UCHAR)(ad->Phase == PHASE_TIMEOUT);
    if (timedOut) ReportTimeout(ad);
    ad->Phase = PHASE_READ_FROM_CHIP;
    ad->BusFree = 1;
    return (UCHAR)!timedOut;
}
