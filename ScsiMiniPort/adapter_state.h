/* Defaults of the adapter record, as discovery stores them and resets restore them. */
#ifndef ORVO_ADAPTER_STATE_H
#define ORVO_ADAPTER_STATE_H

#include "ScsiMiniPort/miniport.h"

/* Every default of the record that discovery stores (the socket fields excepted). */
VOID NTAPI StoreAdapterDefaults(PADAPTER_EXTENSION ad);

/* The eight tables SdtrSent .. SyncOffsetReg back to their defaults for every target/LUN;
   TargetPeriod and TargetOffset are left as they are. */
VOID NTAPI ResetNegotiationTables(PADAPTER_EXTENSION ad);

/* The same for the eight LUNs of one target (after BUS DEVICE RESET). */
VOID NTAPI ResetTargetNegotiation(PADAPTER_EXTENSION ad, ULONG target);

#endif
