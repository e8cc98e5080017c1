#include "ScsiMiniPort/adapter_state.h"

#include <string.h>

/* orvontx never starts negotiation on its own; the builds whose card the operating system
   configures offer synchronous transfer to every target. */
#if ORVO_SOCKET_SETUP
#define DEFAULT_ASYNC_TARGET 1
#else
#define DEFAULT_ASYNC_TARGET 0
#endif

/* The Windows 95 builds decide the width at initialisation (PCI bridge search). */
#if ORVO_WIN95
#define DEFAULT_TRANSFER_WIDTH TRANSFER_WIDTH_UNDECIDED
#else
#define DEFAULT_TRANSFER_WIDTH TRANSFER_WIDTH_BYTE
#endif

/* The eight tables' defaults for pairs [first, first + count). */
static VOID ResetNegotiationRange(PADAPTER_EXTENSION ad, ULONG first, ULONG count) {
    memset(ad->SdtrSent + first, 0, count);
    memset(ad->SdtrValid + first, 0, count);
    memset(ad->OfferPeriod + first, DEFAULT_OFFER_PERIOD, count);
    memset(ad->OfferOffset + first, DEFAULT_OFFER_OFFSET, count);
    memset(ad->SyncPeriod + first, 0, count);
    memset(ad->SyncOffset + first, 0, count);
    memset(ad->SyncPeriodReg + first, 0, count);
    memset(ad->SyncOffsetReg + first, 0, count);
}

VOID NTAPI ResetNegotiationTables(PADAPTER_EXTENSION ad) { ResetNegotiationRange(ad, 0, TARGET_LUN_PAIRS); }

VOID NTAPI ResetTargetNegotiation(PADAPTER_EXTENSION ad, ULONG target) {
    ResetNegotiationRange(ad, TL_INDEX(target % SCSI_MAX_TARGETS, 0), SCSI_MAX_LUNS);
}

VOID NTAPI StoreAdapterDefaults(PADAPTER_EXTENSION ad) {
    memset(ad->AsyncTarget, DEFAULT_ASYNC_TARGET, sizeof ad->AsyncTarget);
    memset(ad->NoSelect, 0, sizeof ad->NoSelect);
    ResetNegotiationTables(ad);
    memset(ad->TargetPeriod, 0, sizeof ad->TargetPeriod);
    memset(ad->TargetOffset, 0, sizeof ad->TargetOffset);
    ad->ParityEnable = 1;
    ad->ResetDelay = 0;
    ad->ResetDelaySet = 0;
    ad->TransferWidth = DEFAULT_TRANSFER_WIDTH;
    ad->DeviceCheck = 0;
    ad->SignatureFlag = 0;
#if ORVO_HAS_DMA_AND_DELAY
    ad->DmaMode = 0;
    ad->DataInDelay = 1;
#endif
}
