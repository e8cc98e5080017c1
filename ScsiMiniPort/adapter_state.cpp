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

VOID NTAPI ResetNegotiationTables(PADAPTER_EXTENSION ad) {
    memset(ad->SdtrSent, 0, sizeof ad->SdtrSent);
    memset(ad->SdtrValid, 0, sizeof ad->SdtrValid);
    memset(ad->OfferPeriod, DEFAULT_OFFER_PERIOD, sizeof ad->OfferPeriod);
    memset(ad->OfferOffset, DEFAULT_OFFER_OFFSET, sizeof ad->OfferOffset);
    memset(ad->SyncPeriod, 0, sizeof ad->SyncPeriod);
    memset(ad->SyncOffset, 0, sizeof ad->SyncOffset);
    memset(ad->SyncPeriodReg, 0, sizeof ad->SyncPeriodReg);
    memset(ad->SyncOffsetReg, 0, sizeof ad->SyncOffsetReg);
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
