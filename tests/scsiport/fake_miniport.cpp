#include "fake_miniport.h"

#include <cstdio>
#include <cstring>

namespace orvo::scsiport::testing {

FakeMiniport* FakeMiniport::active = nullptr;

FakeMiniport::FakeMiniport() {
    HW_INITIALIZATION_DATA& r = registration;
    std::memset(&r, 0, sizeof r);
    r.HwInitializationDataSize = sizeof(HW_INITIALIZATION_DATA);
    r.AdapterInterfaceType = Isa;
    r.HwInitialize = &FakeMiniport::Initialize;
    r.HwStartIo = &FakeMiniport::StartIo;
    r.HwFindAdapter = &FakeMiniport::FindAdapter;
    r.HwResetBus = &FakeMiniport::ResetBus;
    r.DeviceExtensionSize = 64;
    r.SpecificLuExtensionSize = 32;
    r.NumberOfAccessRanges = 1;
    r.AutoRequestSense = FALSE;
    r.MultipleRequestPerLu = TRUE;
    active = this;
}

FakeMiniport::~FakeMiniport() { active = nullptr; }

void FakeMiniport::complete_at_once(PVOID extension, PSCSI_REQUEST_BLOCK srb) {
    srb->SrbStatus = SRB_STATUS_SUCCESS;
    ScsiPortNotification(RequestComplete, extension, srb);
    ScsiPortNotification(NextRequest, extension, 0);
}

void FakeMiniport::keep_open(PVOID extension, PSCSI_REQUEST_BLOCK) {
    ScsiPortNotification(NextRequest, extension, 0);
}

BOOLEAN FakeMiniport::complete_everything(PVOID extension, ULONG path) {
    ScsiPortCompleteRequest(extension, static_cast<UCHAR>(path), 0xFF, 0xFF, SRB_STATUS_BUS_RESET);
    ScsiPortNotification(NextRequest, extension, 0);
    return TRUE;
}

ULONG NTAPI FakeMiniport::DriverEntry(PVOID argument1, PVOID argument2) {
    HW_INITIALIZATION_DATA registration = active->registration;
    if (active->adjust_registration) active->adjust_registration(registration);
    ULONG context = active->context_word;
    return ScsiPortInitialize(argument1, argument2, &registration, &context);
}

ULONG NTAPI FakeMiniport::FindAdapter(PVOID extension, PVOID, PVOID, PCHAR arguments,
                                      PPORT_CONFIGURATION_INFORMATION config, PBOOLEAN again) {
    *again = FALSE;
    active->calls.emplace_back("FindAdapter");
    return active->find_adapter(extension, arguments, config);
}

BOOLEAN NTAPI FakeMiniport::Initialize(PVOID extension) {
    active->calls.emplace_back("Initialize");
    return active->initialize(extension);
}

BOOLEAN NTAPI FakeMiniport::StartIo(PVOID extension, PSCSI_REQUEST_BLOCK srb) {
    char call[32];
    std::snprintf(call, sizeof call, "StartIo %02x", srb->CdbLength > 0 ? srb->Cdb[0] : 0xFF);
    active->calls.emplace_back(call);
    active->start_io(extension, srb);
    return TRUE;
}

BOOLEAN NTAPI FakeMiniport::ResetBus(PVOID extension, ULONG path) {
    active->calls.emplace_back("ResetBus " + std::to_string(path));
    return active->reset_bus(extension, path);
}

VOID NTAPI FakeMiniport::TimerA(PVOID extension) {
    active->calls.emplace_back("TimerA");
    if (active->timer_a) active->timer_a(extension);
}

VOID NTAPI FakeMiniport::TimerB(PVOID extension) {
    active->calls.emplace_back("TimerB");
    if (active->timer_b) active->timer_b(extension);
}

void HostTest::boot() {
    host = std::make_unique<PortDriver>(machine, config);
    guard.attach(*host);
    entry_status = host->load_entry(&FakeMiniport::DriverEntry);
}

void HostTest::TearDown() {
    if (host) host->shutdown();
    guard.verify();
}

RequestId HostTest::submit(UCHAR target, UCHAR lun, UCHAR opcode) {
    RequestSpec spec;
    spec.target = target;
    spec.lun = lun;
    spec.cdb = {opcode, 0, 0, 0, 0, 0};
    return host->submit(spec);
}

} // namespace orvo::scsiport::testing
