// The ScsiPort* operations a miniport imports. Each finds the host serving this thread (set
// while the host calls into the miniport) and hands over to it. Port accesses stay on a short
// path: a thread-local load, a bitmap test and the I/O space.
#include "scsiport/host/port_driver.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace orvo::scsiport {

namespace {

// Initial-exec: the library is loaded with the program, so the pointer is one load away
// instead of a call to the dynamic TLS resolver on every port access.
[[gnu::tls_model("initial-exec")]] constinit thread_local PortDriver* t_current_host = nullptr;

std::uintptr_t port_number(const void* port) { return reinterpret_cast<std::uintptr_t>(port); }

// A miniport operation with no host behind it cannot be served or recorded anywhere else.
[[gnu::noinline, gnu::cold]] void report_call_outside_host(const char* operation) {
    static std::atomic<int> reported{0};
    if (reported.fetch_add(1) < 16) {
        std::fprintf(stderr, "scsiport: %s called outside any port-driver call; ignored\n", operation);
    }
}

} // namespace

PortDriver* detail::exchange_current_host(PortDriver* host) {
    PortDriver* previous = t_current_host;
    t_current_host = host;
    return previous;
}

struct MiniportGateway {
    static PortDriver* host(const char* operation) {
        PortDriver* current = t_current_host;
        if (current == nullptr) [[unlikely]] report_call_outside_host(operation);
        return current;
    }

    static ULONG initialize(PVOID argument1, PVOID argument2, PHW_INITIALIZATION_DATA data, PVOID context) {
        PortDriver* h = host("ScsiPortInitialize");
        return h ? h->register_miniport(argument1, argument2, data, context) : ntstatus::kInvalidParameter;
    }

    static PVOID device_base(PVOID extension, INTERFACE_TYPE bus_type, ULONG bus_number,
                             SCSI_PHYSICAL_ADDRESS address, ULONG length, BOOLEAN in_io_space) {
        PortDriver* h = host("ScsiPortGetDeviceBase");
        return h ? h->map_device_base(extension, bus_type, bus_number, address, length, in_io_space) : nullptr;
    }

    // Notification types the port driver provides, each reading its own trailing arguments.
    using NotificationHandler = void (*)(PortDriver& host, PVOID extension, va_list arguments);
    struct NotificationEntry {
        SCSI_NOTIFICATION_TYPE type;
        NotificationHandler handle;
    };
    static constexpr NotificationEntry kNotifications[] = {
        {RequestComplete,
         [](PortDriver& h, PVOID extension, va_list arguments) {
             h.note_request_complete(extension, va_arg(arguments, PSCSI_REQUEST_BLOCK));
         }},
        {NextRequest, [](PortDriver& h, PVOID extension, va_list) { h.note_next_request(extension); }},
        {ResetDetected, [](PortDriver& h, PVOID extension, va_list) { h.note_reset_detected(extension); }},
        {RequestTimerCall,
         [](PortDriver& h, PVOID extension, va_list arguments) {
             const PHW_TIMER routine = va_arg(arguments, PHW_TIMER);
             const ULONG microseconds = va_arg(arguments, ULONG);
             h.note_timer_call(extension, routine, microseconds);
         }},
    };

    static void notification(SCSI_NOTIFICATION_TYPE type, PVOID extension, va_list arguments) {
        PortDriver* h = host("ScsiPortNotification");
        if (h == nullptr) return;
        for (const NotificationEntry& entry : kNotifications) {
            if (entry.type == type) {
                entry.handle(*h, extension, arguments);
                return;
            }
        }
        h->note_unsupported_notification(extension, static_cast<int>(type));
    }

    static PVOID logical_unit(PVOID extension, UCHAR path, UCHAR target, UCHAR lun) {
        PortDriver* h = host("ScsiPortGetLogicalUnit");
        return h ? h->get_logical_unit(extension, path, target, lun) : nullptr;
    }

    static void complete_request(PVOID extension, UCHAR path, UCHAR target, UCHAR lun, UCHAR status) {
        if (PortDriver* h = host("ScsiPortCompleteRequest")) h->complete_matching(extension, path, target, lun, status);
    }

    static void log_error(PVOID extension, PSCSI_REQUEST_BLOCK srb, UCHAR path, UCHAR target, UCHAR lun,
                          ULONG code, ULONG unique_id) {
        if (PortDriver* h = host("ScsiPortLogError")) h->log_error(extension, srb, path, target, lun, code, unique_id);
    }

    static void stall(ULONG microseconds) {
        if (PortDriver* h = host("ScsiPortStallExecution")) h->stall(microseconds);
    }

    static std::uint32_t read(const void* port, unsigned width, const char* operation) {
        PortDriver* h = host(operation);
        return h ? h->read_port(port_number(port), width) : 0xFFFFFFFFu;
    }

    static void write(const void* port, std::uint32_t value, unsigned width, const char* operation) {
        if (PortDriver* h = host(operation)) h->write_port(port_number(port), value, width);
    }

    static void read_buffer(const void* port, void* buffer, ULONG count, unsigned width, const char* operation) {
        if (PortDriver* h = host(operation)) h->read_port_buffer(port_number(port), buffer, count, width);
    }

    static void write_buffer(const void* port, const void* buffer, ULONG count, unsigned width,
                             const char* operation) {
        if (PortDriver* h = host(operation)) h->write_port_buffer(port_number(port), buffer, count, width);
    }
};

} // namespace orvo::scsiport

using orvo::scsiport::MiniportGateway;

extern "C" {

ULONG NTAPI ScsiPortInitialize(PVOID Argument1, PVOID Argument2, PHW_INITIALIZATION_DATA HwInitializationData,
                               PVOID HwContext) {
    return MiniportGateway::initialize(Argument1, Argument2, HwInitializationData, HwContext);
}

SCSI_PHYSICAL_ADDRESS NTAPI ScsiPortConvertUlongToPhysicalAddress(ULONG_PTR UlongAddress) {
    SCSI_PHYSICAL_ADDRESS address;
    address.QuadPart = static_cast<LONGLONG>(UlongAddress);
    return address;
}

ULONG NTAPI ScsiPortConvertPhysicalAddressToUlong(SCSI_PHYSICAL_ADDRESS Address) { return Address.u.LowPart; }

PVOID NTAPI ScsiPortGetDeviceBase(PVOID HwDeviceExtension, INTERFACE_TYPE BusType, ULONG SystemIoBusNumber,
                                  SCSI_PHYSICAL_ADDRESS IoAddress, ULONG NumberOfBytes, BOOLEAN InIoSpace) {
    return MiniportGateway::device_base(HwDeviceExtension, BusType, SystemIoBusNumber, IoAddress, NumberOfBytes,
                                        InIoSpace);
}

VOID SPCDECL ScsiPortNotification(SCSI_NOTIFICATION_TYPE NotificationType, PVOID HwDeviceExtension, ...) {
    va_list arguments;
    va_start(arguments, HwDeviceExtension);
    MiniportGateway::notification(NotificationType, HwDeviceExtension, arguments);
    va_end(arguments);
}

PVOID NTAPI ScsiPortGetLogicalUnit(PVOID HwDeviceExtension, UCHAR PathId, UCHAR TargetId, UCHAR Lun) {
    return MiniportGateway::logical_unit(HwDeviceExtension, PathId, TargetId, Lun);
}

VOID NTAPI ScsiPortCompleteRequest(PVOID HwDeviceExtension, UCHAR PathId, UCHAR TargetId, UCHAR Lun,
                                   UCHAR SrbStatus) {
    MiniportGateway::complete_request(HwDeviceExtension, PathId, TargetId, Lun, SrbStatus);
}

VOID NTAPI ScsiPortLogError(PVOID HwDeviceExtension, PSCSI_REQUEST_BLOCK Srb, UCHAR PathId, UCHAR TargetId,
                            UCHAR Lun, ULONG ErrorCode, ULONG UniqueId) {
    MiniportGateway::log_error(HwDeviceExtension, Srb, PathId, TargetId, Lun, ErrorCode, UniqueId);
}

VOID NTAPI ScsiPortStallExecution(ULONG Delay) { MiniportGateway::stall(Delay); }

UCHAR NTAPI ScsiPortReadPortUchar(PUCHAR Port) {
    return static_cast<UCHAR>(MiniportGateway::read(Port, 1, "ScsiPortReadPortUchar"));
}

VOID NTAPI ScsiPortWritePortUchar(PUCHAR Port, UCHAR Value) {
    MiniportGateway::write(Port, Value, 1, "ScsiPortWritePortUchar");
}

ULONG NTAPI ScsiPortReadPortUlong(PULONG Port) { return MiniportGateway::read(Port, 4, "ScsiPortReadPortUlong"); }

VOID NTAPI ScsiPortWritePortUlong(PULONG Port, ULONG Value) {
    MiniportGateway::write(Port, Value, 4, "ScsiPortWritePortUlong");
}

VOID NTAPI ScsiPortReadPortBufferUchar(PUCHAR Port, PUCHAR Buffer, ULONG Count) {
    MiniportGateway::read_buffer(Port, Buffer, Count, 1, "ScsiPortReadPortBufferUchar");
}

VOID NTAPI ScsiPortReadPortBufferUlong(PULONG Port, PULONG Buffer, ULONG Count) {
    MiniportGateway::read_buffer(Port, Buffer, Count, 4, "ScsiPortReadPortBufferUlong");
}

VOID NTAPI ScsiPortWritePortBufferUchar(PUCHAR Port, PUCHAR Buffer, ULONG Count) {
    MiniportGateway::write_buffer(Port, Buffer, Count, 1, "ScsiPortWritePortBufferUchar");
}

VOID NTAPI ScsiPortWritePortBufferUshort(PUSHORT Port, PUSHORT Buffer, ULONG Count) {
    MiniportGateway::write_buffer(Port, Buffer, Count, 2, "ScsiPortWritePortBufferUshort");
}

VOID NTAPI ScsiPortWritePortBufferUlong(PULONG Port, PULONG Buffer, ULONG Count) {
    MiniportGateway::write_buffer(Port, Buffer, Count, 4, "ScsiPortWritePortBufferUlong");
}

} // extern "C"
