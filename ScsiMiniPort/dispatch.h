/* Request dispatch: from the port driver's request block to the engine and back. */
#ifndef ORVO_DISPATCH_H
#define ORVO_DISPATCH_H

#include "ScsiMiniPort/miniport.h"

/* Runs the request of lu on the bus as far as the target lets it, reports it when it
   finished (not during the device check) and asks for the next request. */
VOID NTAPI StartScsiExec(PADAPTER_EXTENSION ad, PLU_EXTENSION lu, PSCSI_REQUEST_BLOCK srb);

/* An abort never succeeds here: the request that asked for it is marked failed. */
VOID NTAPI RoutineAbort(PADAPTER_EXTENSION ad, PLU_EXTENSION lu, PSCSI_REQUEST_BLOCK srb);

/* The "CHECK" option's probe of every target/LUN, run at the end of discovery. */
VOID NTAPI QDA_DeviceCheckFunc(PADAPTER_EXTENSION ad);

#endif
