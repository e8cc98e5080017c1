/*
 * The miniport's whole state: one ADAPTER_EXTENSION per adapter and one LU_EXTENSION per
 * logical unit, both allocated zero-filled by the port driver. No globals, no heap.
 *
 * Build switches (set per build target):
 *   ORVO_SOCKET_SETUP  the driver configures the PC Card socket itself (orvontx)
 *   ORVO_WIN95         Windows 95 builds (orvo95a, orvo95)
 *   ORVO_CHIP_OFFSET   where the chip sits in the range the port driver passes (not orvontx)
 *   ORVO_CHIP_RANGE    how many ports discovery claims from there (not orvontx)
 *
 * The record is copied as a whole when a reselection is served between a snapshot and a
 * restore, so it holds no pointer into itself.
 */
#ifndef ORVO_MINIPORT_H
#define ORVO_MINIPORT_H

#include "scsiport/scsiport.h"

#ifndef ORVO_SOCKET_SETUP
#define ORVO_SOCKET_SETUP 0
#endif
#ifndef ORVO_WIN95
#define ORVO_WIN95 0
#endif

/* Features that follow from the switches. */
#define ORVO_HAS_DMA_AND_DELAY (!ORVO_WIN95)   /* "DMA", "DELAY"/"NODELAY", the data-in wait */
#define ORVO_REPORTS_OVERRUN (!ORVO_WIN95)     /* SRB_STATUS_DATA_OVERRUN on short/long transfers */
#define ORVO_LUN_IN_REQUEST_SENSE (!ORVO_WIN95) /* LUN placed into byte 1 of REQUEST SENSE */
#define ORVO_SDTR_HONOURS_SRB_FLAG ORVO_WIN95  /* no SDTR when SRB_FLAGS_DISABLE_SYNCH_TRANSFER */
#define ORVO_BUS_RESET_STALL (!ORVO_WIN95)     /* 26 us stall after the bus reset command */

#define SCSI_MAX_TARGETS 8
#define SCSI_MAX_LUNS 8
#define TARGET_LUN_PAIRS (SCSI_MAX_TARGETS * SCSI_MAX_LUNS)

/* Index of a per-target/LUN table element: target-major. */
#define TL_INDEX(target, lun) ((target) * SCSI_MAX_LUNS + (lun))

#define MESSAGE_OUT_SIZE 256

/* Discovery defaults. */
#define DEFAULT_INITIATOR_ID 7
#define DEFAULT_OFFER_PERIOD 25 /* 100 ns */
#define DEFAULT_OFFER_OFFSET 15

/* TransferWidth values */
#define TRANSFER_WIDTH_UNDECIDED 0
#define TRANSFER_WIDTH_32BIT 1
#define TRANSFER_WIDTH_BYTE 2

/* Phase codes beyond the bus phases 0-7 */
#define PHASE_READ_FROM_CHIP 0xFF
#define PHASE_TIMEOUT 0xF0

typedef struct _LU_EXTENSION {
    PSCSI_REQUEST_BLOCK Srb;
    PUCHAR SavedDataPointer;
    ULONG SavedDataLength;
    PUCHAR DataPointer;
    ULONG DataLength;
    PUCHAR StatusPointer;
    PUCHAR CdbPointer;
    ULONG CdbLength;
    UCHAR SrbStatus;
    UCHAR Completed;
} LU_EXTENSION, *PLU_EXTENSION;

typedef struct _ADAPTER_EXTENSION {
    UCHAR AsyncTarget[SCSI_MAX_TARGETS];
    PUCHAR ChipBase;
    UCHAR InitiatorId;
    PLU_EXTENSION CurrentLu;
    UCHAR PathId;
    UCHAR InterruptStatus;
    UCHAR Phase;
    UCHAR BusFree;
    UCHAR MessageOut[MESSAGE_OUT_SIZE];
    ULONG MessageOutLength;
    ULONG TargetId;
    ULONG Lun;
    UCHAR NoSelect[SCSI_MAX_TARGETS];
    UCHAR ParityEnable;

    /* Negotiation tables, one byte per target/LUN pair (TL_INDEX). The eight from SdtrSent to
       SyncOffsetReg go back to their defaults at every bus reset; TargetPeriod and TargetOffset
       keep what the targets last sent. */
    UCHAR SdtrSent[TARGET_LUN_PAIRS];
    UCHAR SdtrValid[TARGET_LUN_PAIRS];
    UCHAR OfferPeriod[TARGET_LUN_PAIRS];
    UCHAR OfferOffset[TARGET_LUN_PAIRS];
    UCHAR SyncPeriod[TARGET_LUN_PAIRS];
    UCHAR SyncOffset[TARGET_LUN_PAIRS];
    UCHAR SyncPeriodReg[TARGET_LUN_PAIRS];
    UCHAR SyncOffsetReg[TARGET_LUN_PAIRS];
    UCHAR TargetPeriod[TARGET_LUN_PAIRS];
    UCHAR TargetOffset[TARGET_LUN_PAIRS];

    ULONG ResetDelaySet;
    ULONG ResetDelay; /* milliseconds */
    UCHAR SettlePending;
    ULONG SettleCount;
    ULONG TransferWidth;

#if ORVO_SOCKET_SETUP
    ULONG PcicPort;
    ULONG PcicSocket;
    ULONG PcicIndexPort;
    ULONG PcicDataPort;
    ULONG PcicRegOffset;
    ULONG CorOffset;
    ULONG ConfigIndex;
#endif

    UCHAR DeviceCheck;
    UCHAR SignatureFlag;
#if ORVO_HAS_DMA_AND_DELAY
    UCHAR DataInDelay;
    UCHAR DmaMode;
#endif
} ADAPTER_EXTENSION, *PADAPTER_EXTENSION;

#endif /* ORVO_MINIPORT_H */
