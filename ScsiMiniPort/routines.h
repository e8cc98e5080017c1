/* The routines the miniport registers with the port driver, and its entry point. */
#ifndef ORVO_ROUTINES_H
#define ORVO_ROUTINES_H

#include "ScsiMiniPort/miniport.h"

#if defined(__GNUC__)
#define DRIVER_EXPORT __attribute__((visibility("default")))
#else
#define DRIVER_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif
DRIVER_EXPORT ULONG NTAPI DriverEntry(PVOID DriverObject, PVOID Argument2);
#ifdef __cplusplus
}
#endif

ULONG NTAPI RoutineFindAdapter(PVOID HwDeviceExtension, PVOID HwContext, PVOID BusInformation,
                               PCHAR ArgumentString, PPORT_CONFIGURATION_INFORMATION ConfigInfo,
                               PBOOLEAN Again);
BOOLEAN NTAPI RoutineInitialize(PVOID HwDeviceExtension);
BOOLEAN NTAPI RoutineStartIo(PVOID HwDeviceExtension, PSCSI_REQUEST_BLOCK Srb);
BOOLEAN NTAPI RoutineResetBus(PVOID HwDeviceExtension, ULONG PathId);

#endif
