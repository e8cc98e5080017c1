/*
 * The miniport frame: the entry point, adapter discovery, initialisation and request dispatch.
 * One source for the four builds; see miniport.h for the build switches.
 */
#include "ScsiMiniPort/adapter_state.h"
#include "ScsiMiniPort/dispatch.h"
#include "ScsiMiniPort/engine/chip.h"
#include "ScsiMiniPort/engine/engine.h"
#include "ScsiMiniPort/options.h"
#include "ScsiMiniPort/routines.h"
#include "ScsiMiniPort/socket/card_setup.h"
#include "ScsiMiniPort/socket/pci_bridge.h"

#include <string.h>

#if ORVO_WIN95
#define ADAPTER_INTERFACE PCMCIABus
#else
#define ADAPTER_INTERFACE Isa
#endif

#define MAXIMUM_TRANSFER_LENGTH 0x7FFFF
#define SRAM_SIGNATURE_ADDRESS 0x78
static const char SramSignature[8] = {'V', 'i', 'n', 'z', ',', 'Q', 'D', 'A'};

ULONG NTAPI DriverEntry(PVOID DriverObject, PVOID Argument2) {
    HW_INITIALIZATION_DATA init;
    ULONG context = 0;

    memset(&init, 0, sizeof init);
    init.HwInitializationDataSize = sizeof(HW_INITIALIZATION_DATA);
    init.AdapterInterfaceType = ADAPTER_INTERFACE;
    init.HwInitialize = RoutineInitialize;
    init.HwStartIo = RoutineStartIo;
    init.HwInterrupt = 0; /* the chip is polled */
    init.HwFindAdapter = RoutineFindAdapter;
    init.HwResetBus = RoutineResetBus;
    init.DeviceExtensionSize = sizeof(ADAPTER_EXTENSION);
    init.SpecificLuExtensionSize = sizeof(LU_EXTENSION);
    init.SrbExtensionSize = 0;
    init.NumberOfAccessRanges = 1;
    init.MapBuffers = TRUE;
    init.NeedPhysicalAddresses = FALSE;
    init.TaggedQueuing = FALSE;
    init.AutoRequestSense = FALSE;
    init.MultipleRequestPerLu = TRUE;
    init.ReceiveEvent = FALSE;
    return ScsiPortInitialize(DriverObject, Argument2, &init, &context);
}

/* The configuration members every build reports; the build-specific ones follow. */
static VOID FillConfiguration(PPORT_CONFIGURATION_INFORMATION config) {
    config->AdapterInterfaceType = ADAPTER_INTERFACE;
    config->MaximumTransferLength = MAXIMUM_TRANSFER_LENGTH;
    config->NumberOfPhysicalBreaks = SP_UNINITIALIZED_VALUE;
    config->AlignmentMask = 0;
    config->NumberOfAccessRanges = 1;
    config->NumberOfBuses = 1;
    config->InitiatorBusId[0] = DEFAULT_INITIATOR_ID;
    config->ScatterGather = TRUE;
    config->Master = FALSE;
    config->CachesData = FALSE;
    config->AdapterScansDown = FALSE;
    config->AtdiskPrimaryClaimed = FALSE;
    config->AtdiskSecondaryClaimed = FALSE;
    config->Dma32BitAddresses = FALSE;
#if ORVO_SOCKET_SETUP
    config->DemandMode = TRUE;
#endif
    config->MapBuffers = TRUE;
    config->NeedPhysicalAddresses = FALSE;
    config->TaggedQueuing = FALSE;
    config->AutoRequestSense = FALSE;
    config->ReceiveEvent = FALSE;
    config->MultipleRequestPerLu = TRUE;
    config->BufferAccessScsiPortControlled = TRUE;
#if !ORVO_WIN95
    config->MaximumNumberOfTargets = 7; /* ID 7 is the adapter's own */
#endif
}

/* Maps length ports from port in I/O space and reports them as the first access range. */
static PUCHAR ClaimChipPorts(PADAPTER_EXTENSION ad, PPORT_CONFIGURATION_INFORMATION config,
                             ULONG port, ULONG length) {
    const PUCHAR mapped = (PUCHAR)ScsiPortGetDeviceBase(
        ad, config->AdapterInterfaceType, config->SystemIoBusNumber,
        ScsiPortConvertUlongToPhysicalAddress(port), length, TRUE);
    ACCESS_RANGE* range = &config->AccessRanges[0];
    range->RangeStart = ScsiPortConvertUlongToPhysicalAddress((ULONG_PTR)mapped);
    range->RangeLength = length;
    range->RangeInMemory = FALSE;
    return mapped;
}

#if ORVO_SOCKET_SETUP

#define DEFAULT_WINDOW_ADDRESS 0xD4000
#define DEFAULT_IO_BASE 0x280
#define DEFAULT_IRQ 5
#define ATTRIBUTE_WINDOW_SIZE 0x1000
#define CHIP_RANGE_LENGTH 0x20
#define CHIP_OFFSET_IN_WINDOW 0x10
/* The socket controller's memory windows decode 24 address bits (a 16 MiB ISA space). */
#define HIGHEST_WINDOW_ADDRESS (0x1000000 - ATTRIBUTE_WINDOW_SIZE)

ULONG NTAPI RoutineFindAdapter(PVOID HwDeviceExtension, PVOID HwContext, PVOID BusInformation,
                               PCHAR ArgumentString, PPORT_CONFIGURATION_INFORMATION ConfigInfo,
                               PBOOLEAN Again) {
    const PADAPTER_EXTENSION ad = (PADAPTER_EXTENSION)HwDeviceExtension;
    (void)HwContext;
    (void)BusInformation;
    *Again = FALSE;

    ad->PcicSocket = 0;
    ad->PcicIndexPort = 0x3E0;
    ad->PcicDataPort = 0x3E1;
    ad->PcicRegOffset = 0;
    ad->PcicPort = 0x3E0;
    ULONG windowAddress = DEFAULT_WINDOW_ADDRESS;
    ULONG pcicPort = 0; /* search the candidate ports */
    ULONG ioBase = DEFAULT_IO_BASE;
    ULONG irq = DEFAULT_IRQ;
    if (ArgumentString != 0) ParseScsiParm(ArgumentString, &windowAddress, &pcicPort, &ioBase, &irq);

    /* This build configures the socket itself, so a first access range from the port driver
       (left from an installation that let the system configure the card) is ignored: it is an
       I/O range and cannot serve as the attribute window, and the card is set up at the I/O
       base of the option string as always. The window is mapped from "MEM=" in every case.
       A window that does not fit the controller's address range could not be opened where
       it is mapped: there is no card to read through it. */
    if (windowAddress > HIGHEST_WINDOW_ADDRESS) return SP_RETURN_NOT_FOUND;
    const PUCHAR window = (PUCHAR)ScsiPortGetDeviceBase(
        ad, ConfigInfo->AdapterInterfaceType, ConfigInfo->SystemIoBusNumber,
        ScsiPortConvertUlongToPhysicalAddress(windowAddress), ATTRIBUTE_WINDOW_SIZE, FALSE);
    /* A window address the system cannot map (outside ISA memory) gives no card to read. */
    if (window == 0) return SP_RETURN_NOT_FOUND;
    if (SetupCard365(ad, windowAddress, window, pcicPort, ioBase, irq) != 0) {
        return SP_RETURN_NOT_FOUND;
    }

    ad->ChipBase = ClaimChipPorts(ad, ConfigInfo, ioBase, CHIP_RANGE_LENGTH) + CHIP_OFFSET_IN_WINDOW;
    FillConfiguration(ConfigInfo);
    ad->InitiatorId = ConfigInfo->InitiatorBusId[0];
    StoreAdapterDefaults(ad);
    if (!ChipResetAndIdentify(ad, TRUE)) return SP_RETURN_NOT_FOUND;
    if (ArgumentString == 0) return SP_RETURN_FOUND;
    ScanSlashOptions(ad, ArgumentString);
    if (ad->DeviceCheck == 1) QDA_DeviceCheckFunc(ad);
    return SP_RETURN_FOUND;
}

#else /* the operating system configured the card and passes its I/O range */

ULONG NTAPI RoutineFindAdapter(PVOID HwDeviceExtension, PVOID HwContext, PVOID BusInformation,
                               PCHAR ArgumentString, PPORT_CONFIGURATION_INFORMATION ConfigInfo,
                               PBOOLEAN Again) {
    const PADAPTER_EXTENSION ad = (PADAPTER_EXTENSION)HwDeviceExtension;
    (void)HwContext;
    (void)BusInformation;
    *Again = FALSE;
    const ULONG rangeStart = ConfigInfo->AccessRanges[0].RangeStart.u.LowPart;
    if (rangeStart == 0) return SP_RETURN_NOT_FOUND;

    ad->ChipBase = ClaimChipPorts(ad, ConfigInfo, rangeStart + ORVO_CHIP_OFFSET, ORVO_CHIP_RANGE);
    FillConfiguration(ConfigInfo);
    ad->InitiatorId = ConfigInfo->InitiatorBusId[0];
    StoreAdapterDefaults(ad);
    if (ArgumentString != 0) ScanSlashOptions(ad, ArgumentString);
    if (ad->DeviceCheck == 1) QDA_DeviceCheckFunc(ad);
    return SP_RETURN_FOUND;
}

#endif

/* Makes sure the chip answers, brings it to a known state and writes the SRAM image. */
BOOLEAN NTAPI RoutineInitialize(PVOID HwDeviceExtension) {
    const PADAPTER_EXTENSION ad = (PADAPTER_EXTENSION)HwDeviceExtension;

    if (ad->TransferWidth == TRANSFER_WIDTH_UNDECIDED) {
        ULONG bus, device, function;
        ad->TransferWidth =
            forced_find_pci_device(PCI_DEVICE_BRIDGE, PCI_VENDOR_BRIDGE, &bus, &device, &function) == 0
                ? TRANSFER_WIDTH_BYTE
                : TRANSFER_WIDTH_32BIT;
    }
    if (!ChipResetAndIdentify(ad, TRUE)) return FALSE;
    InitFAS408(ad);
    ResetScsiBus(ad);
    ScsiPortNotification(ResetDetected, ad, 0);
    if (!ChipResetAndIdentify(ad, FALSE)) return FALSE;
    InitFAS408(ad);

    for (ULONG t = 0; t < SCSI_MAX_TARGETS; ++t) {
        for (ULONG l = 0; l < SCSI_MAX_LUNS; ++l) {
            WriteSRAMData((UCHAR)(t * 16 + l), ad->TargetPeriod[TL_INDEX(t, l)], ad->ChipBase);
            WriteSRAMData((UCHAR)(t * 16 + 8 + l), ad->TargetOffset[TL_INDEX(t, l)], ad->ChipBase);
        }
    }
    if (ad->SignatureFlag == 1) {
        for (ULONG i = 0; i < sizeof SramSignature; ++i) {
            WriteSRAMData((UCHAR)(SRAM_SIGNATURE_ADDRESS + i), (UCHAR)SramSignature[i], ad->ChipBase);
        }
    }
    return TRUE;
}
