#include "test_driver.h"

#include "ScsiMiniPort/adapter_state.h"
#include "ScsiMiniPort/engine/engine.h"
#include "ScsiMiniPort/routines.h"

#include <cstring>

namespace orvo::engine_test {

namespace {

constexpr ULONG kChipPorts = 0x10;
constexpr UCHAR kAbortMessage = 0x06;
constexpr UCHAR kBusDeviceResetMessage = 0x0C;

const TestDriverSetup* g_setup = nullptr;

ULONG NTAPI FindAdapter(PVOID extension, PVOID, PVOID, PCHAR, PPORT_CONFIGURATION_INFORMATION config,
                        PBOOLEAN again) {
    auto* ad = static_cast<PADAPTER_EXTENSION>(extension);
    *again = FALSE;
    const ULONG start = config->AccessRanges[0].RangeStart.u.LowPart;
    if (start == 0) return SP_RETURN_NOT_FOUND;
    ad->ChipBase = static_cast<PUCHAR>(ScsiPortGetDeviceBase(extension, config->AdapterInterfaceType,
                                                             config->SystemIoBusNumber,
                                                             ScsiPortConvertUlongToPhysicalAddress(start),
                                                             kChipPorts, TRUE));
    config->AccessRanges[0].RangeLength = kChipPorts;
    config->AccessRanges[0].RangeInMemory = FALSE;
    config->NumberOfBuses = 1;
    config->InitiatorBusId[0] = DEFAULT_INITIATOR_ID;
    config->MaximumTransferLength = 0x7FFFF;
    ad->InitiatorId = DEFAULT_INITIATOR_ID;
    StoreAdapterDefaults(ad);
    if (g_setup != nullptr && g_setup->adjust) g_setup->adjust(*ad);
    return SP_RETURN_FOUND;
}

// The unit's request as the dispatch prepares it for the engine.
void PrepareExecute(PADAPTER_EXTENSION ad, PLU_EXTENSION lu, PSCSI_REQUEST_BLOCK srb) {
    lu->Srb = srb;
    lu->SavedDataPointer = static_cast<PUCHAR>(srb->DataBuffer);
    lu->SavedDataLength = srb->DataTransferLength;
    lu->StatusPointer = &srb->ScsiStatus;
    lu->CdbPointer = srb->Cdb;
    lu->CdbLength = srb->CdbLength;
    ad->TargetId = srb->TargetId;
    ad->Lun = srb->Lun;
}

BOOLEAN NTAPI StartIo(PVOID extension, PSCSI_REQUEST_BLOCK srb) {
    auto* ad = static_cast<PADAPTER_EXTENSION>(extension);
    ad->PathId = srb->PathId;
    auto* lu = static_cast<PLU_EXTENSION>(ScsiPortGetLogicalUnit(ad, srb->PathId, srb->TargetId, srb->Lun));
    srb->SrbStatus = SRB_STATUS_PENDING;
    lu->SrbStatus = SRB_STATUS_PENDING;

    switch (srb->Function) {
    case SRB_FUNCTION_EXECUTE_SCSI:
        PrepareExecute(ad, lu, srb);
        RunScsiRequest(ad, lu);
        break;
    case SRB_FUNCTION_ABORT_COMMAND:
        lu->Srb = srb;
        lu->StatusPointer = &srb->ScsiStatus;
        ad->MessageOut[0] = static_cast<UCHAR>(
            0x80 | srb->Lun | ((srb->SrbFlags & SRB_FLAGS_DISABLE_DISCONNECT) ? 0 : 0x40));
        ad->MessageOut[1] = kAbortMessage;
        ad->MessageOutLength = 2;
        RunMessageRequest(ad, lu);
        break;
    case SRB_FUNCTION_RESET_DEVICE:
        lu->Srb = srb;
        lu->StatusPointer = &srb->ScsiStatus;
        ad->MessageOut[0] = kBusDeviceResetMessage;
        ad->MessageOutLength = 1;
        RunMessageRequest(ad, lu);
        break;
    case SRB_FUNCTION_IO_CONTROL:
        if (g_setup != nullptr && g_setup->probe) g_setup->probe(*ad);
        srb->SrbStatus = SRB_STATUS_SUCCESS;
        ScsiPortNotification(RequestComplete, ad, srb);
        ScsiPortNotification(NextRequest, ad, 0);
        return TRUE;
    case SRB_FUNCTION_RESET_BUS:
        RoutineResetBus(ad, srb->PathId);
        srb->SrbStatus = SRB_STATUS_SUCCESS;
        return TRUE;
    default:
        srb->SrbStatus = SRB_STATUS_INVALID_REQUEST;
        ScsiPortNotification(RequestComplete, ad, srb);
        ScsiPortNotification(NextRequest, ad, 0);
        return TRUE;
    }
    if (lu->Completed == 1) ReportRequestComplete(ad, lu);
    ScsiPortNotification(NextRequest, ad, 0);
    return TRUE;
}

} // namespace

void use_test_driver_setup(const TestDriverSetup* setup) { g_setup = setup; }

ULONG NTAPI EngineTestDriverEntry(PVOID driverObject, PVOID registryPath) {
    HW_INITIALIZATION_DATA init;
    std::memset(&init, 0, sizeof init);
    init.HwInitializationDataSize = sizeof init;
    init.AdapterInterfaceType = Isa;
    init.HwInitialize = RoutineInitialize;
    init.HwStartIo = StartIo;
    init.HwFindAdapter = FindAdapter;
    init.HwResetBus = RoutineResetBus;
    init.DeviceExtensionSize = sizeof(ADAPTER_EXTENSION);
    init.SpecificLuExtensionSize = sizeof(LU_EXTENSION);
    init.NumberOfAccessRanges = 1;
    init.MapBuffers = TRUE;
    init.MultipleRequestPerLu = TRUE;
    ULONG context = 0;
    return ScsiPortInitialize(driverObject, registryPath, &init, &context);
}

} // namespace orvo::engine_test
