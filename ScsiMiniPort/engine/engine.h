/*
 * The SCSI protocol engine: the initiator's side of the bus, driven by polling the FAS408.
 *
 * A request runs from selection to the end of its connection inside one call: selection
 * connects the target, the phase sequencer follows the phases it asks for, every wait is a
 * bounded poll of the chip's interrupt (budgets.h), and a target that disconnected is served
 * to its end when it reselects during one of those polls.
 *
 * Engine operations return a byte: 1 = go on, 0 = failed or nothing pending.
 */
#ifndef ORVO_ENGINE_H
#define ORVO_ENGINE_H

#include "ScsiMiniPort/miniport.h"

/* ---- Entries for the request dispatch (request.cpp) ----------------------------------- */

/* Runs the request prepared in lu on the bus: lu's Srb, saved data pointer and length,
   command pointer and length and status pointer are filled, TargetId and Lun name it. On
   return lu->Completed says whether it finished; if so its SRB holds the final status and
   length and the caller reports it (ReportRequestComplete). A request that failed selection
   is finished with SRB_STATUS_SELECTION_TIMEOUT. A target that disconnected keeps the
   request in lu until it reselects. */
VOID NTAPI RunScsiRequest(PADAPTER_EXTENSION ad, PLU_EXTENSION lu);

/* Delivers the message an abort or reset-device request has prepared in MessageOut
   (IDENTIFY + ABORT, or BUS DEVICE RESET) to the target and LUN of lu->Srb. Sends no command
   and moves no data; the unit's pointers are cleared first, as they belong to its previous
   request. On return lu->Completed says whether it finished, with the SRB's status set (its
   length is left alone): SRB_STATUS_SUCCESS once the target has taken the message and left
   the bus, SRB_STATUS_SELECTION_TIMEOUT when it could not be selected; a connection that
   ended through the time-out report leaves it open. A device reset also forgets the
   target's synchronous agreements, since the target has dropped them. */
VOID NTAPI RunMessageRequest(PADAPTER_EXTENSION ad, PLU_EXTENSION lu);

/* ---- Completion (completion.cpp) ------------------------------------------------------ */

/* The completion rule: the finished request's status and moved length into its SRB. */
VOID NTAPI SetCompletionStatus(PADAPTER_EXTENSION ad, PLU_EXTENSION lu);

/* Reports lu's finished request to the port driver; lu and the adapter let go of it. */
VOID NTAPI ReportRequestComplete(PADAPTER_EXTENSION ad, PLU_EXTENSION lu);

/* TRUE once a data-in overrun has taken lu's DataLength below zero (it wraps, and keeps the
   excess for the completion rule): the buffer is full, and DataPointer stands at its end. */
BOOLEAN NTAPI BufferOverrun(PLU_EXTENSION lu);

/* ---- Interrupt polling (polling.cpp, reselection.cpp) --------------------------------- */

/* Looks at the chip once: 0 = no interrupt pending, 1 = an interrupt was taken (or the chip
   reads all ones). A reselection is served to its end on the spot. */
UCHAR NTAPI RoutineInterrupt(PADAPTER_EXTENSION ad);

/* 0 = nothing pending, 1 = an interrupt was taken, 2 = it was a reselection that has been
   served (or the chip reads all ones). waitFlag is always 0: one poll per call. */
UCHAR NTAPI CheckInterruptReg(PADAPTER_EXTENSION ad, UCHAR waitFlag);

/* Right after a CheckInterruptReg that took something: 1 when the chip read all ones, so the
   card is gone and nothing more can happen on the connection; Phase then holds PHASE_TIMEOUT
   and the connection ends at once through the sequencer's time-out report, rather than
   after the budgets of every wait have run out against a card that is not there. */
UCHAR NTAPI CardGone(PADAPTER_EXTENSION ad);

/* Polls until the chip reports something: the CheckInterruptReg result (1 or 2), or 0 when
   INTERRUPT_WAIT_POLLS ran out, in which case Phase holds PHASE_TIMEOUT. */
UCHAR NTAPI WaitForInterrupt(PADAPTER_EXTENSION ad);

/* The wait after the COMMAND COMPLETE message: the target must leave the bus; if it does not,
   the request is left open and Phase holds PHASE_TIMEOUT. */
VOID NTAPI WaitForBusFreeAfterCompletion(PADAPTER_EXTENSION ad);

/* Reads STATUS while the bus stays in phase: 1 once it has left (or, in DATA OUT, has gone
   free), 0 when PHASE_CHANGE_POLLS ran out (Phase then holds PHASE_TIMEOUT). */
UCHAR NTAPI WaitWhileBusPhase(PADAPTER_EXTENSION ad, UCHAR phase);

/* Serves a target that has reselected: called by RoutineInterrupt with the interrupt status
   just read, leaves the adapter record as it found it. */
VOID NTAPI ServeReselection(PADAPTER_EXTENSION ad);

/* The timer routine armed by a bus reset with a settle time: counts SettleCount down, one
   unit per call, re-arming itself every SETTLE_TIMER_INTERVAL_US. */
VOID NTAPI RstToSelTimer(PVOID HwDeviceExtension);
#define SETTLE_TIMER_INTERVAL_US 1

/* ---- Selection (selection.cpp) -------------------------------------------------------- */

/* Selects the target of CurrentLu's request with ATN, sends IDENTIFY (and an SDTR offer when
   one is due) and, without an offer, the command bytes. 1 = connected; 0 = selection
   time-out (the SRB's status and the unit's Completed are set), or, when the chip refused
   to select because a target it was let go by still holds the bus, the request left open
   (Completed 0) for the port driver's time-out and bus reset. */
UCHAR NTAPI ExecuteSelection(PADAPTER_EXTENSION ad);

/* As ExecuteSelection, but sends the message already queued in MessageOut and nothing else. */
UCHAR NTAPI ExecuteMessageSelection(PADAPTER_EXTENSION ad);

/* Appends the driver's SDTR offer for TargetId/Lun to MessageOut. */
VOID NTAPI SetStdrMsgout(PADAPTER_EXTENSION ad);

/* Windows NT builds: ORs the LUN into byte 1 of CurrentLu's command if it is a REQUEST
   SENSE (for targets that take the LUN from the command); the Windows 95 builds leave it. */
VOID NTAPI PlaceLunInRequestSense(PADAPTER_EXTENSION ad);

/* ---- Phase sequencer (sequencer.cpp, command_status.cpp) ------------------------------ */

/* Follows the target's phases until the connection is over; returns with Phase = 0xFF and
   BusFree = 1. Result 1, or 0 when the connection ended through the time-out report. */
UCHAR NTAPI RunPhaseSub(PADAPTER_EXTENSION ad);

UCHAR NTAPI CommandPhaseRun(PADAPTER_EXTENSION ad);
UCHAR NTAPI StatusPhaseRun(PADAPTER_EXTENSION ad);
UCHAR NTAPI MessageOutPhaseRun(PADAPTER_EXTENSION ad);

/* ---- Data transfer (data_in.cpp, data_out.cpp) ---------------------------------------- */

UCHAR NTAPI DataInPhaseRun(PADAPTER_EXTENSION ad);
UCHAR NTAPI DataOutPhaseRun(PADAPTER_EXTENSION ad);

/* ---- Messages (message_in.cpp, message_handlers.cpp) ---------------------------------- */

UCHAR NTAPI MessageInPhaseRun(PADAPTER_EXTENSION ad);

/* The message byte that came with a status byte was not COMMAND COMPLETE (the chip holds ACK
   on it): it is taken, with whatever bytes belong to it, and answered as in MESSAGE IN. */
VOID NTAPI MessageInAfterStatus(PADAPTER_EXTENSION ad, UCHAR first);

/* Handler replies */
#define MESSAGE_ACCEPT 0
#define MESSAGE_REJECT_IT 1
#define MESSAGE_ANSWER_SDTR 2

/* Handlers: the adapter record and the collected message bytes; they return a reply. */
UCHAR NTAPI fnCommand_Complete(PADAPTER_EXTENSION ad, PUCHAR message);
UCHAR NTAPI fnSave_Data_Pointer(PADAPTER_EXTENSION ad, PUCHAR message);
UCHAR NTAPI fnRestore_Pointer(PADAPTER_EXTENSION ad, PUCHAR message);
UCHAR NTAPI fnDisconnect(PADAPTER_EXTENSION ad, PUCHAR message);
UCHAR NTAPI fnMessage_Reject(PADAPTER_EXTENSION ad, PUCHAR message);
UCHAR NTAPI fnSync_Data_Transfer_Request(PADAPTER_EXTENSION ad, PUCHAR message);
UCHAR NTAPI fnDummy(PADAPTER_EXTENSION ad, PUCHAR message);

/* ---- Bus reset (bus_reset.cpp; RoutineResetBus in routines.h) ------------------------- */

/* Resets the SCSI bus and gives the devices their recovery time. 1 = the chip reported the
   reset, 0 = not within BUS_RESET_POLLS. */
ULONG NTAPI ResetScsiBus(PADAPTER_EXTENSION ad);

#endif /* ORVO_ENGINE_H */
