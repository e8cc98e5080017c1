/*
 * The SCSI port driver's interface as a miniport sees it: the records the port driver and the
 * miniport share, the codes they exchange, and the ScsiPort* operations the port driver
 * supplies. This is the only header a miniport includes.
 *
 * Widths are the platform's on every host: UCHAR 8, USHORT 16, ULONG 32 bits (also on a 64-bit
 * Linux host), pointers native. Port addresses are plain port numbers carried in pointers.
 * Every operation and routine type carries a calling-convention macro so that the same sources
 * build unchanged as 32-bit Windows drivers, where NTAPI means __stdcall.
 */
#ifndef ORVO_SCSIPORT_H
#define ORVO_SCSIPORT_H

#include <stddef.h>
#include <stdint.h>

#ifndef NTAPI
#define NTAPI /* __stdcall on the 32-bit target */
#endif
#ifndef SPCDECL
#define SPCDECL /* __cdecl on the 32-bit target: the variadic notification */
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Basic types ---------------------------------------------------------------------- */

typedef void VOID;
typedef void* PVOID;
typedef char CHAR;
typedef CHAR* PCHAR;
typedef uint8_t UCHAR;
typedef UCHAR* PUCHAR;
typedef uint16_t USHORT;
typedef USHORT* PUSHORT;
typedef uint32_t ULONG;
typedef ULONG* PULONG;
typedef int32_t LONG;
typedef int64_t LONGLONG;
typedef uintptr_t ULONG_PTR;
typedef UCHAR BOOLEAN;
typedef BOOLEAN* PBOOLEAN;

#define TRUE 1
#define FALSE 0

typedef union _LARGE_INTEGER {
    struct {
        ULONG LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
} LARGE_INTEGER;

typedef LARGE_INTEGER PHYSICAL_ADDRESS;
typedef LARGE_INTEGER SCSI_PHYSICAL_ADDRESS;

typedef enum _INTERFACE_TYPE {
    Internal = 0,
    Isa = 1,
    Eisa = 2,
    MicroChannel = 3,
    TurboChannel = 4,
    PCIBus = 5,
    VMEBus = 6,
    NuBus = 7,
    PCMCIABus = 8,
    MaximumInterfaceType
} INTERFACE_TYPE;

typedef enum _KINTERRUPT_MODE { LevelSensitive, Latched } KINTERRUPT_MODE;
typedef enum _DMA_WIDTH { Width8Bits, Width16Bits, Width32Bits, MaximumDmaWidth } DMA_WIDTH;
typedef enum _DMA_SPEED { Compatible, TypeA, TypeB, TypeC, TypeF, MaximumDmaSpeed } DMA_SPEED;

/* ---- The request block ---------------------------------------------------------------- */

typedef struct _SCSI_REQUEST_BLOCK {
    USHORT Length;
    UCHAR Function;
    UCHAR SrbStatus;
    UCHAR ScsiStatus;
    UCHAR PathId;
    UCHAR TargetId;
    UCHAR Lun;
    UCHAR QueueTag;
    UCHAR QueueAction;
    UCHAR CdbLength;
    UCHAR SenseInfoBufferLength;
    ULONG SrbFlags;
    ULONG DataTransferLength;
    ULONG TimeOutValue; /* seconds */
    PVOID DataBuffer;
    PVOID SenseInfoBuffer;
    struct _SCSI_REQUEST_BLOCK* NextSrb;
    PVOID OriginalRequest;
    PVOID SrbExtension;
    ULONG QueueSortKey;
    UCHAR Cdb[16];
} SCSI_REQUEST_BLOCK, *PSCSI_REQUEST_BLOCK;

/* SrbFunction */
#define SRB_FUNCTION_EXECUTE_SCSI 0x00
#define SRB_FUNCTION_CLAIM_DEVICE 0x01
#define SRB_FUNCTION_IO_CONTROL 0x02
#define SRB_FUNCTION_RECEIVE_EVENT 0x03
#define SRB_FUNCTION_RELEASE_QUEUE 0x04
#define SRB_FUNCTION_ATTACH_DEVICE 0x05
#define SRB_FUNCTION_RELEASE_DEVICE 0x06
#define SRB_FUNCTION_SHUTDOWN 0x07
#define SRB_FUNCTION_FLUSH 0x08
#define SRB_FUNCTION_ABORT_COMMAND 0x10
#define SRB_FUNCTION_RELEASE_RECOVERY 0x11
#define SRB_FUNCTION_RESET_BUS 0x12
#define SRB_FUNCTION_RESET_DEVICE 0x13
#define SRB_FUNCTION_TERMINATE_IO 0x14
#define SRB_FUNCTION_FLUSH_QUEUE 0x15
#define SRB_FUNCTION_REMOVE_DEVICE 0x16

/* SrbStatus */
#define SRB_STATUS_PENDING 0x00
#define SRB_STATUS_SUCCESS 0x01
#define SRB_STATUS_ABORTED 0x02
#define SRB_STATUS_ABORT_FAILED 0x03
#define SRB_STATUS_ERROR 0x04
#define SRB_STATUS_BUSY 0x05
#define SRB_STATUS_INVALID_REQUEST 0x06
#define SRB_STATUS_INVALID_PATH_ID 0x07
#define SRB_STATUS_NO_DEVICE 0x08
#define SRB_STATUS_TIMEOUT 0x09
#define SRB_STATUS_SELECTION_TIMEOUT 0x0A
#define SRB_STATUS_COMMAND_TIMEOUT 0x0B
#define SRB_STATUS_MESSAGE_REJECTED 0x0D
#define SRB_STATUS_BUS_RESET 0x0E
#define SRB_STATUS_PARITY_ERROR 0x0F
#define SRB_STATUS_REQUEST_SENSE_FAILED 0x10
#define SRB_STATUS_NO_HBA 0x11
#define SRB_STATUS_DATA_OVERRUN 0x12
#define SRB_STATUS_UNEXPECTED_BUS_FREE 0x13
#define SRB_STATUS_PHASE_SEQUENCE_FAILURE 0x14
#define SRB_STATUS_BAD_SRB_BLOCK_LENGTH 0x15
#define SRB_STATUS_REQUEST_FLUSHED 0x16
#define SRB_STATUS_INVALID_LUN 0x20
#define SRB_STATUS_INVALID_TARGET_ID 0x21
#define SRB_STATUS_BAD_FUNCTION 0x22
#define SRB_STATUS_ERROR_RECOVERY 0x23
#define SRB_STATUS_QUEUE_FROZEN 0x40
#define SRB_STATUS_AUTOSENSE_VALID 0x80
#define SRB_STATUS(status) ((status) & ~(SRB_STATUS_AUTOSENSE_VALID | SRB_STATUS_QUEUE_FROZEN))

/* SrbFlags */
#define SRB_FLAGS_QUEUE_ACTION_ENABLE 0x00000002
#define SRB_FLAGS_DISABLE_DISCONNECT 0x00000004
#define SRB_FLAGS_DISABLE_SYNCH_TRANSFER 0x00000008
#define SRB_FLAGS_BYPASS_FROZEN_QUEUE 0x00000010
#define SRB_FLAGS_DISABLE_AUTOSENSE 0x00000020
#define SRB_FLAGS_DATA_IN 0x00000040
#define SRB_FLAGS_DATA_OUT 0x00000080
#define SRB_FLAGS_NO_DATA_TRANSFER 0x00000000
#define SRB_FLAGS_UNSPECIFIED_DIRECTION (SRB_FLAGS_DATA_IN | SRB_FLAGS_DATA_OUT)
#define SRB_FLAGS_NO_QUEUE_FREEZE 0x00000100
#define SRB_FLAGS_ADAPTER_CACHE_ENABLE 0x00000200

/* SCSI status bytes */
#define SCSISTAT_GOOD 0x00
#define SCSISTAT_CHECK_CONDITION 0x02
#define SCSISTAT_CONDITION_MET 0x04
#define SCSISTAT_BUSY 0x08
#define SCSISTAT_INTERMEDIATE 0x10
#define SCSISTAT_INTERMEDIATE_COND_MET 0x14
#define SCSISTAT_RESERVATION_CONFLICT 0x18
#define SCSISTAT_COMMAND_TERMINATED 0x22
#define SCSISTAT_QUEUE_FULL 0x28

/* Operation codes the miniport and the port driver issue themselves */
#define SCSIOP_TEST_UNIT_READY 0x00
#define SCSIOP_REQUEST_SENSE 0x03
#define SCSIOP_INQUIRY 0x12

/* ---- Configuration records ------------------------------------------------------------ */

typedef struct _ACCESS_RANGE {
    SCSI_PHYSICAL_ADDRESS RangeStart;
    ULONG RangeLength;
    BOOLEAN RangeInMemory;
} ACCESS_RANGE, *PACCESS_RANGE;

typedef struct _PORT_CONFIGURATION_INFORMATION {
    ULONG Length;
    ULONG SystemIoBusNumber;
    INTERFACE_TYPE AdapterInterfaceType;
    ULONG BusInterruptLevel;
    ULONG BusInterruptVector;
    KINTERRUPT_MODE InterruptMode;
    ULONG MaximumTransferLength;
    ULONG NumberOfPhysicalBreaks;
    ULONG DmaChannel;
    ULONG DmaPort;
    DMA_WIDTH DmaWidth;
    DMA_SPEED DmaSpeed;
    ULONG AlignmentMask;
    ULONG NumberOfAccessRanges;
    PACCESS_RANGE AccessRanges; /* NumberOfAccessRanges elements */
    PVOID Reserved;
    UCHAR NumberOfBuses;
    UCHAR InitiatorBusId[8];
    BOOLEAN ScatterGather;
    BOOLEAN Master;
    BOOLEAN CachesData;
    BOOLEAN AdapterScansDown;
    BOOLEAN AtdiskPrimaryClaimed;
    BOOLEAN AtdiskSecondaryClaimed;
    BOOLEAN Dma32BitAddresses;
    BOOLEAN DemandMode;
    BOOLEAN MapBuffers;
    BOOLEAN NeedPhysicalAddresses;
    BOOLEAN TaggedQueuing;
    BOOLEAN AutoRequestSense;
    BOOLEAN MultipleRequestPerLu;
    BOOLEAN ReceiveEvent;
    BOOLEAN RealModeInitialized;
    BOOLEAN BufferAccessScsiPortControlled;
    UCHAR MaximumNumberOfTargets;
    UCHAR ReservedUchars[2];
    ULONG SlotNumber;
    ULONG BusInterruptLevel2;
    ULONG BusInterruptVector2;
    KINTERRUPT_MODE InterruptMode2;
} PORT_CONFIGURATION_INFORMATION, *PPORT_CONFIGURATION_INFORMATION;

#define SP_UNINITIALIZED_VALUE ((ULONG)~0)
#define SP_UNTAGGED ((UCHAR)~0)

/* RoutineFindAdapter results */
#define SP_RETURN_NOT_FOUND 0
#define SP_RETURN_FOUND 1
#define SP_RETURN_ERROR 2
#define SP_RETURN_BAD_CONFIG 3

/* ScsiPortLogError codes */
#define SP_BUS_PARITY_ERROR 0x0001
#define SP_UNEXPECTED_DISCONNECT 0x0002
#define SP_INVALID_RESELECTION 0x0003
#define SP_BUS_TIME_OUT 0x0004
#define SP_PROTOCOL_ERROR 0x0005
#define SP_INTERNAL_ADAPTER_ERROR 0x0006
#define SP_REQUEST_TIMEOUT 0x0007
#define SP_IRQ_NOT_RESPONDING 0x0008
#define SP_BAD_FW_WARNING 0x0009
#define SP_BAD_FW_ERROR 0x000a

/* ---- Miniport routines ---------------------------------------------------------------- */

typedef BOOLEAN(NTAPI* PHW_INITIALIZE)(PVOID DeviceExtension);
typedef BOOLEAN(NTAPI* PHW_STARTIO)(PVOID DeviceExtension, PSCSI_REQUEST_BLOCK Srb);
typedef BOOLEAN(NTAPI* PHW_INTERRUPT)(PVOID DeviceExtension);
typedef VOID(NTAPI* PHW_TIMER)(PVOID DeviceExtension);
typedef VOID(NTAPI* PHW_DMA_STARTED)(PVOID DeviceExtension);
typedef ULONG(NTAPI* PHW_FIND_ADAPTER)(PVOID DeviceExtension, PVOID HwContext, PVOID BusInformation,
                                       PCHAR ArgumentString,
                                       PPORT_CONFIGURATION_INFORMATION ConfigInfo, PBOOLEAN Again);
typedef BOOLEAN(NTAPI* PHW_RESET_BUS)(PVOID DeviceExtension, ULONG PathId);
typedef BOOLEAN(NTAPI* PHW_ADAPTER_STATE)(PVOID DeviceExtension, PVOID Context, BOOLEAN SaveState);

typedef struct _HW_INITIALIZATION_DATA {
    ULONG HwInitializationDataSize;
    INTERFACE_TYPE AdapterInterfaceType;
    PHW_INITIALIZE HwInitialize;
    PHW_STARTIO HwStartIo;
    PHW_INTERRUPT HwInterrupt;
    PHW_FIND_ADAPTER HwFindAdapter;
    PHW_RESET_BUS HwResetBus;
    PHW_DMA_STARTED HwDmaStarted;
    PHW_ADAPTER_STATE HwAdapterState;
    ULONG DeviceExtensionSize;
    ULONG SpecificLuExtensionSize;
    ULONG SrbExtensionSize;
    ULONG NumberOfAccessRanges;
    PVOID Reserved;
    BOOLEAN MapBuffers;
    BOOLEAN NeedPhysicalAddresses;
    BOOLEAN TaggedQueuing;
    BOOLEAN AutoRequestSense;
    BOOLEAN MultipleRequestPerLu;
    BOOLEAN ReceiveEvent;
    USHORT VendorIdLength;
    PVOID VendorId;
    USHORT ReservedUshort;
    USHORT DeviceIdLength;
    PVOID DeviceId;
} HW_INITIALIZATION_DATA, *PHW_INITIALIZATION_DATA;

typedef enum _SCSI_NOTIFICATION_TYPE {
    RequestComplete,
    NextRequest,
    NextLuRequest,
    ResetDetected,
    CallDisableInterrupts,
    CallEnableInterrupts,
    RequestTimerCall
} SCSI_NOTIFICATION_TYPE;

/* ---- Operations of the port driver ---------------------------------------------------- */

ULONG NTAPI ScsiPortInitialize(PVOID Argument1, PVOID Argument2,
                               PHW_INITIALIZATION_DATA HwInitializationData, PVOID HwContext);

SCSI_PHYSICAL_ADDRESS NTAPI ScsiPortConvertUlongToPhysicalAddress(ULONG_PTR UlongAddress);
ULONG NTAPI ScsiPortConvertPhysicalAddressToUlong(SCSI_PHYSICAL_ADDRESS Address);
PVOID NTAPI ScsiPortGetDeviceBase(PVOID HwDeviceExtension, INTERFACE_TYPE BusType,
                                  ULONG SystemIoBusNumber, SCSI_PHYSICAL_ADDRESS IoAddress,
                                  ULONG NumberOfBytes, BOOLEAN InIoSpace);

/* RequestComplete: Srb; NextRequest, ResetDetected: no further argument;
   RequestTimerCall: PHW_TIMER, ULONG microseconds. */
VOID SPCDECL ScsiPortNotification(SCSI_NOTIFICATION_TYPE NotificationType, PVOID HwDeviceExtension,
                                  ...);
PVOID NTAPI ScsiPortGetLogicalUnit(PVOID HwDeviceExtension, UCHAR PathId, UCHAR TargetId, UCHAR Lun);
VOID NTAPI ScsiPortCompleteRequest(PVOID HwDeviceExtension, UCHAR PathId, UCHAR TargetId, UCHAR Lun,
                                   UCHAR SrbStatus);
VOID NTAPI ScsiPortLogError(PVOID HwDeviceExtension, PSCSI_REQUEST_BLOCK Srb, UCHAR PathId,
                            UCHAR TargetId, UCHAR Lun, ULONG ErrorCode, ULONG UniqueId);
VOID NTAPI ScsiPortStallExecution(ULONG Delay);

UCHAR NTAPI ScsiPortReadPortUchar(PUCHAR Port);
VOID NTAPI ScsiPortWritePortUchar(PUCHAR Port, UCHAR Value);
ULONG NTAPI ScsiPortReadPortUlong(PULONG Port);
VOID NTAPI ScsiPortWritePortUlong(PULONG Port, ULONG Value);
VOID NTAPI ScsiPortReadPortBufferUchar(PUCHAR Port, PUCHAR Buffer, ULONG Count);
VOID NTAPI ScsiPortReadPortBufferUlong(PULONG Port, PULONG Buffer, ULONG Count);
VOID NTAPI ScsiPortWritePortBufferUchar(PUCHAR Port, PUCHAR Buffer, ULONG Count);
VOID NTAPI ScsiPortWritePortBufferUshort(PUSHORT Port, PUSHORT Buffer, ULONG Count);
VOID NTAPI ScsiPortWritePortBufferUlong(PULONG Port, PULONG Buffer, ULONG Count);

#ifdef __cplusplus
}
#endif

#endif /* ORVO_SCSIPORT_H */
