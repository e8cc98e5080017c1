#pragma once
// Plain records of the host API: what the machine offers the adapter, what a caller asks of a
// request and gets back, and what the host records as it goes.

#include "machine/io/clock.h"
#include "scsiport/scsiport.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvo::scsiport {

using RequestId = std::uint64_t;

// Status codes of ScsiPortInitialize (and so of DriverEntry), as the platform numbers them.
namespace ntstatus {
constexpr ULONG kSuccess = 0x00000000;
constexpr ULONG kInvalidParameter = 0xC000000D;
constexpr ULONG kNoSuchDevice = 0xC000000E;        // adapter found but not initialised
constexpr ULONG kRevisionMismatch = 0xC0000059;    // registration of an unknown size
constexpr ULONG kDeviceDoesNotExist = 0xC00000C0;  // no adapter found
} // namespace ntstatus

// An I/O or memory range as the machine describes it.
struct BusRange {
    std::uint64_t start = 0;
    std::uint32_t length = 0;
    bool in_memory = false;
};

// What the machine (the system layer) tells the port driver about the adapter's slot.
struct AdapterResources {
    ULONG system_io_bus_number = 0;
    // The first access range handed to HwFindAdapter; none leaves it zero ("find it yourself").
    std::optional<BusRange> first_access_range;
    ULONG bus_interrupt_level = 0;
    ULONG bus_interrupt_vector = 0;
    KINTERRUPT_MODE interrupt_mode = Latched;
    ULONG dma_channel = SP_UNINITIALIZED_VALUE;
    ULONG dma_port = SP_UNINITIALIZED_VALUE;
    // The initiator ID configured for the bus; none reports it as not configured (0xFF) and
    // leaves the choice to the miniport.
    std::optional<UCHAR> initiator_id;
    // The driver's option string (DriverParameter); none hands the miniport no string at all.
    std::optional<std::string> argument_string;
};

// Lifecycle of the adapter behind the host, in order.
enum class AdapterState {
    NoDriver,             // nothing loaded yet
    NotRegistered,        // DriverEntry ran but never called ScsiPortInitialize
    RegistrationRejected, // ScsiPortInitialize refused the registration
    NotFound,             // HwFindAdapter found no adapter
    InitializeFailed,     // HwInitialize returned FALSE
    Ready,                // requests are served
    ShutDown,
};
const char* to_string(AdapterState state);

// A request as a caller describes it. The host owns the SRB, the data and the sense buffer.
struct RequestSpec {
    UCHAR function = SRB_FUNCTION_EXECUTE_SCSI;
    UCHAR path = 0;
    UCHAR target = 0;
    UCHAR lun = 0;
    std::vector<std::uint8_t> cdb{};      // 0..16 bytes
    std::uint32_t data_in_length = 0;     // bytes the target may send
    std::vector<std::uint8_t> data_out{}; // bytes to send to the target
    std::optional<ULONG> srb_flags{};     // none: the data direction decides
    ULONG timeout_seconds = 10;           // 1 or more
    UCHAR sense_length = 18;              // 0: no REQUEST SENSE after CHECK CONDITION
};

enum class RequestState {
    Queued,        // waiting for the miniport to ask for the next request
    Started,       // handed to HwStartIo, not yet completed
    AwaitingSense, // completed with CHECK CONDITION; the host's REQUEST SENSE is under way
    Completed,
};
const char* to_string(RequestState state);

struct RequestResult {
    RequestState state = RequestState::Queued;
    UCHAR srb_status = SRB_STATUS_PENDING;     // as read after the completing call returned
    UCHAR scsi_status = SCSISTAT_GOOD;
    ULONG data_transfer_length = 0;            // as the miniport left it in the SRB
    std::vector<std::uint8_t> data;            // data in: the bytes moved (at most the buffer)
    std::vector<std::uint8_t> sense;           // REQUEST SENSE bytes, when the host fetched them
    std::optional<UCHAR> sense_request_status; // SRB status of the host's REQUEST SENSE, if sent
    bool timed_out = false;
    io::Nanoseconds submitted_at = 0;
    io::Nanoseconds started_at = 0;
    io::Nanoseconds completed_at = 0;
};

// A unit that answered the bus scan's INQUIRY with a device.
struct ScannedUnit {
    UCHAR target = 0;
    UCHAR lun = 0;
    UCHAR peripheral_qualifier = 0;
    UCHAR peripheral_type = 0;
    bool removable = false;
    std::string vendor;   // trailing blanks removed
    std::string product;
    std::string revision;
};

// One ScsiPortGetDeviceBase call and what it returned.
struct DeviceMapping {
    INTERFACE_TYPE bus_type = Isa;
    ULONG bus_number = 0;
    std::uint64_t address = 0;
    ULONG length = 0;
    bool in_io_space = true;
    void* base = nullptr;  // nullptr when the range could not be mapped
};

// One ScsiPortLogError entry.
struct LoggedError {
    const SCSI_REQUEST_BLOCK* srb = nullptr;
    RequestId request = 0;  // 0 when the SRB is none or not the host's
    UCHAR path = 0;
    UCHAR target = 0;
    UCHAR lun = 0;
    ULONG error_code = 0;
    ULONG unique_id = 0;
    io::Nanoseconds time = 0;
};

// A request whose TimeOutValue ran out; the host reset the bus for it.
struct RequestTimeout {
    RequestId request = 0;
    UCHAR path = 0;
    UCHAR target = 0;
    UCHAR lun = 0;
    UCHAR opcode = 0;
    io::Nanoseconds started_at = 0;
    io::Nanoseconds timed_out_at = 0;
};

// The timer a miniport armed with RequestTimerCall.
struct TimerState {
    bool armed = false;
    io::Nanoseconds due = 0;
    PHW_TIMER routine = nullptr;
};

} // namespace orvo::scsiport
