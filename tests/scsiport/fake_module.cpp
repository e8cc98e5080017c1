// A minimal miniport built as a shared module, the way the real builds are: it exports only
// DriverEntry and imports only ScsiPort* operations (and memset). Each request writes its
// target ID to the first port of the range the port driver passed in.
#include "scsiport/scsiport.h"

#include <string.h>

namespace {

struct ADAPTER {
    PUCHAR Chip;
};

ULONG NTAPI FindAdapter(PVOID extension, PVOID, PVOID, PCHAR, PPORT_CONFIGURATION_INFORMATION config,
                        PBOOLEAN again) {
    *again = FALSE;
    const ULONG start = ScsiPortConvertPhysicalAddressToUlong(config->AccessRanges[0].RangeStart);
    if (start == 0) return SP_RETURN_NOT_FOUND;
    static_cast<ADAPTER*>(extension)->Chip = static_cast<PUCHAR>(
        ScsiPortGetDeviceBase(extension, config->AdapterInterfaceType, config->SystemIoBusNumber,
                              ScsiPortConvertUlongToPhysicalAddress(start), 0x10, TRUE));
    return SP_RETURN_FOUND;
}

BOOLEAN NTAPI Initialize(PVOID) { return TRUE; }

BOOLEAN NTAPI StartIo(PVOID extension, PSCSI_REQUEST_BLOCK srb) {
    ScsiPortWritePortUchar(static_cast<ADAPTER*>(extension)->Chip, srb->TargetId);
    srb->SrbStatus = SRB_STATUS_SUCCESS;
    ScsiPortNotification(RequestComplete, extension, srb);
    ScsiPortNotification(NextRequest, extension, 0);
    return TRUE;
}

BOOLEAN NTAPI ResetBus(PVOID extension, ULONG path) {
    ScsiPortCompleteRequest(extension, static_cast<UCHAR>(path), 0xFF, 0xFF, SRB_STATUS_BUS_RESET);
    ScsiPortNotification(NextRequest, extension, 0);
    return TRUE;
}

} // namespace

extern "C" __attribute__((visibility("default"))) ULONG NTAPI DriverEntry(PVOID driver_object, PVOID registry_path) {
    HW_INITIALIZATION_DATA init;
    ULONG context = 0;
    memset(&init, 0, sizeof init);
    init.HwInitializationDataSize = sizeof init;
    init.AdapterInterfaceType = Isa;
    init.HwInitialize = Initialize;
    init.HwStartIo = StartIo;
    init.HwFindAdapter = FindAdapter;
    init.HwResetBus = ResetBus;
    init.DeviceExtensionSize = sizeof(ADAPTER);
    init.NumberOfAccessRanges = 1;
    return ScsiPortInitialize(driver_object, registry_path, &init, &context);
}
