/*
 * SCSI bus reset: the reset itself with the devices' recovery time, and the port driver's
 * bus-reset entry, which also forgets every synchronous agreement and ends every request.
 */
#include "ScsiMiniPort/adapter_state.h"
#include "ScsiMiniPort/engine/budgets.h"
#include "ScsiMiniPort/engine/chip.h"
#include "ScsiMiniPort/engine/engine.h"
#include "ScsiMiniPort/routines.h"

#define BUS_RESET_HOLD_US 26
#define BUS_RESET_RECOVERY_US 1500000
#define MICROSECONDS_PER_MILLISECOND 1000

/* Polls for the chip's reset interrupt; an interrupt of another kind is taken and dropped. */
static ULONG NTAPI WaitForBusResetInterrupt(PADAPTER_EXTENSION ad) {
    for (ULONG polls = 0; polls < BUS_RESET_POLLS; ++polls) {
        if ((ChipRead(ad, STATUS) & STATUS_INTERRUPT) &&
            (ChipRead(ad, INT_STATUS) & INT_BUS_RESET)) {
            return 1;
        }
    }
    return 0;
}

ULONG NTAPI ResetScsiBus(PADAPTER_EXTENSION ad) {
    ChipWrite(ad, CONFIG4, CONFIG4_INIT);
    ChipWrite(ad, COMMAND, CMD_RESET_BUS);
#if ORVO_BUS_RESET_STALL
    ScsiPortStallExecution(BUS_RESET_HOLD_US);
#endif
    const ULONG reported = WaitForBusResetInterrupt(ad);

    if (ad->DeviceCheck) {
        /* The check probes every device right away and no timer runs during discovery, so
           the settle time the option asks for is waited out here, millisecond by
           millisecond. Without the option the check goes on at once. */
        for (ULONG ms = 0; ms < ad->ResetDelay; ++ms) {
            ScsiPortStallExecution(MICROSECONDS_PER_MILLISECOND);
        }
    } else if (ad->ResetDelaySet == 0) {
        ScsiPortStallExecution(BUS_RESET_RECOVERY_US);
    } else {
        /* Counted down by the timer; the next selection waits out what is left. */
        ad->SettlePending = 1;
        ad->SettleCount = ad->ResetDelay;
        ScsiPortNotification(RequestTimerCall, ad, RstToSelTimer, (ULONG)SETTLE_TIMER_INTERVAL_US);
    }
    return reported;
}

/* After the reset the port driver completes every outstanding request of the path; the
   units must not keep pointing at them, or a target that comes back anyway would be served
   into a buffer its owner already has back. */
static VOID NTAPI ForgetOutstandingRequests(PADAPTER_EXTENSION ad, UCHAR pathId) {
    for (UCHAR target = 0; target < SCSI_MAX_TARGETS; ++target) {
        for (UCHAR lun = 0; lun < SCSI_MAX_LUNS; ++lun) {
            const PLU_EXTENSION lu = (PLU_EXTENSION)ScsiPortGetLogicalUnit(ad, pathId, target, lun);
            if (lu != 0) lu->Srb = 0;
        }
    }
    ad->CurrentLu = 0;
}

BOOLEAN NTAPI RoutineResetBus(PVOID HwDeviceExtension, ULONG PathId) {
    const PADAPTER_EXTENSION ad = (PADAPTER_EXTENSION)HwDeviceExtension;

    if (!ChipResetAndIdentify(ad, TRUE)) return FALSE;
    InitFAS408(ad);
    ChipWrite(ad, CONFIG4, CONFIG4_INIT);
    ResetScsiBus(ad);
    ScsiPortNotification(ResetDetected, ad, 0);
    if (!ChipResetAndIdentify(ad, FALSE)) return FALSE; /* the reset has just written CONFIG4 */
    InitFAS408(ad);

    ResetNegotiationTables(ad);
    ForgetOutstandingRequests(ad, (UCHAR)PathId);
    ScsiPortCompleteRequest(ad, (UCHAR)PathId, 0xFF, 0xFF, SRB_STATUS_BUS_RESET);
    ScsiPortNotification(NextRequest, ad, 0);
    return TRUE;
}
