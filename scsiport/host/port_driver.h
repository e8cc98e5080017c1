#pragma once
// The port-driver stand-in: loads a miniport build, owns its records, calls its routines one
// at a time, serves its ScsiPort* operations over the simulated PC, runs its timer and the
// request time-outs on virtual time, and checks the miniport contract as it goes.
//
// A typical run:
//   io::Backplane machine;            // plus the card's devices
//   PortDriver host(machine, config);
//   host.load_module("drivers/orvont.so");   // DriverEntry, HwFindAdapter, HwInitialize
//   auto units = host.scan_bus();            // INQUIRY to every target and LUN
//   auto read = host.execute({.target = 2, .cdb = {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0},
//                             .data_in_length = 512});
//   host.shutdown();                         // reports requests that never completed
//
// Everything runs on the caller's thread. The ScsiPort* operations find their host through a
// thread-local pointer that is set while the host calls into the miniport.

#include "machine/io/backplane.h"
#include "scsiport/host/configuration_record.h"
#include "scsiport/host/contract.h"
#include "scsiport/host/driver_module.h"
#include "scsiport/host/event_log.h"
#include "scsiport/host/extension_block.h"
#include "scsiport/host/host_types.h"
#include "scsiport/host/logical_units.h"
#include "scsiport/host/port_claims.h"
#include "scsiport/host/request_table.h"
#include "scsiport/scsiport.h"

#include <cstdint>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

namespace orvo::scsiport {

struct HostConfig {
    AdapterResources adapter;
    // Ports the builds address by number; the system layer may add its own.
    std::vector<PortRange> platform_ports = default_platform_ports();
    // Handed to DriverEntry as its second argument (the driver's service key).
    std::string registry_path = "\\Registry\\Machine\\System\\CurrentControlSet\\Services\\orvo";
};

// What DriverEntry handed to ScsiPortInitialize.
struct Registration {
    HW_INITIALIZATION_DATA data{};
    PVOID argument1 = nullptr;
    PVOID argument2 = nullptr;
    PVOID hw_context = nullptr;
    std::optional<ULONG> hw_context_word;  // the word HwContext pointed to, read at registration
};

class PortDriver {
public:
    // Limits on what a registration may ask for; larger values are refused as invalid.
    static constexpr ULONG kMaxExtensionSize = 1u << 20;
    // Largest data transfer a caller may submit.
    static constexpr std::uint32_t kMaxTransferLength = 16u << 20;

    explicit PortDriver(io::Backplane& machine, HostConfig config = {});
    // Shuts down (reporting requests never completed), then unloads the module.
    ~PortDriver();
    PortDriver(const PortDriver&) = delete;
    PortDriver& operator=(const PortDriver&) = delete;

    // ---- Loading --------------------------------------------------------------------------
    // Loads a build's shared module and runs its DriverEntry, which registers the miniport
    // (ScsiPortInitialize: HwFindAdapter, then HwInitialize). Returns DriverEntry's status.
    // Throws std::runtime_error when the module cannot be loaded, std::logic_error when a
    // driver is already loaded.
    ULONG load_module(const std::filesystem::path& file);
    // The same for an entry function in this process (test miniports).
    ULONG load_entry(DriverEntryRoutine entry);

    AdapterState adapter_state() const { return adapter_state_; }
    bool ready() const { return adapter_state_ == AdapterState::Ready; }
    // The two arguments the host passes to DriverEntry: an identity token standing for the
    // driver object (nothing is read or written through it) and the registry path.
    PVOID driver_object() const { return const_cast<int*>(&driver_object_); }
    PVOID registry_path() const { return const_cast<char*>(config_.registry_path.c_str()); }
    const std::optional<Registration>& registration() const { return registration_; }
    ULONG initialize_status() const { return initialize_status_; }
    std::optional<ULONG> find_adapter_result() const { return find_adapter_result_; }
    bool again_requested() const { return again_requested_; }
    // The configuration record as HwFindAdapter left it; nullptr before discovery.
    const PORT_CONFIGURATION_INFORMATION* configuration() const;
    std::span<const ACCESS_RANGE> access_ranges() const;
    void* device_extension() const { return device_extension_.data(); }
    const std::vector<DeviceMapping>& mappings() const { return mappings_; }

    // ---- Requests -------------------------------------------------------------------------
    // Queues a request. Throws std::invalid_argument for a malformed one (CDB over 16 bytes,
    // data in both directions, no such unit, a time-out of 0). Without a ready adapter the
    // request completes at once with SRB_STATUS_NO_HBA.
    RequestId submit(const RequestSpec& spec);
    // Throws std::out_of_range for an id the host does not hold (or no longer holds).
    const RequestResult& result(RequestId id) const;
    // Hands a completed request's result over and forgets the request.
    RequestResult take_result(RequestId id);
    // submit + run_until_idle + take_result; a request that could not finish is returned as
    // it stands (state not Completed) and stays with the host.
    RequestResult execute(const RequestSpec& spec);

    // Starts queued requests, runs due timers, and while requests are open advances virtual
    // time to the next timer or time-out, until nothing more can happen.
    void run_until_idle() { run_until(UINT64_MAX); }
    // The same, but virtual time is not moved past limit: requests may stay open.
    void run_until(io::Nanoseconds limit);
    // A reset the port driver starts itself: HwResetBus, then completion (SRB_STATUS_BUS_RESET)
    // of whatever the miniport left open on that path.
    void reset_bus(UCHAR path = 0);
    // INQUIRY (36 bytes) to every target and LUN; keeps the units that answered with a device
    // and forgets the others (unless a request for them is still open).
    std::vector<ScannedUnit> scan_bus();
    // What ScsiPortGetLogicalUnit answers: the unit's extension or nullptr.
    void* logical_unit(UCHAR path, UCHAR target, UCHAR lun) const { return luns_.find(path, target, lun); }

    // ---- What the host recorded -----------------------------------------------------------
    ContractMonitor& contract() { return contract_; }
    const ContractMonitor& contract() const { return contract_; }
    const std::vector<LoggedError>& logged_errors() const { return logged_errors_; }
    const std::vector<RequestTimeout>& timeouts() const { return timeouts_; }
    unsigned resets_detected() const { return resets_detected_; }
    const TimerState& timer() const { return timer_; }

    void allow_platform_ports(std::uint32_t first, std::uint32_t count) { claims_.claim(first, count); }
    bool port_claimed(std::uint32_t port) const { return claims_.claimed(port); }
    void set_event_sink(EventLog::Sink sink) { events_.set_sink(std::move(sink)); }
    // Ends service: no further routine is called. Reports every request never completed.
    void shutdown();

    io::Backplane& machine() { return machine_; }

    // Runs code of the loaded miniport (one of its inner operations, from a test) as if the
    // port driver had called one of its routines: its ScsiPort* calls reach this host.
    template <class Call>
    auto call_in_driver_context(Call&& call) -> decltype(call()) {
        return call_miniport(Routine::Direct, std::forward<Call>(call));
    }

private:
    friend struct MiniportGateway;  // the ScsiPort* entry points

    // The miniport routine running now; the host calls one at a time (DriverEntry excepted,
    // which legitimately runs HwFindAdapter and HwInitialize through ScsiPortInitialize).
    enum class Routine : std::uint8_t { None, DriverEntry, FindAdapter, Initialize, StartIo, Timer, ResetBus, Direct };
    static const char* routine_name(Routine routine);
    class RoutineScope;

    template <class Call>
    auto call_miniport(Routine routine, Call&& call) -> decltype(call());
    bool may_enter(Routine routine);
    bool host_operation_allowed(const char* operation);
    io::Nanoseconds now() const { return machine_.clock.now(); }
    void violation(ViolationKind kind, std::string message) { contract_.report(kind, now(), std::move(message)); }
    bool own_extension(PVOID extension, const char* operation);
    std::string describe(const RequestRecord& record) const;

    // Loading (port_driver.cpp)
    ULONG register_miniport(PVOID argument1, PVOID argument2, PHW_INITIALIZATION_DATA data, PVOID context);
    ULONG check_registration(const HW_INITIALIZATION_DATA* data) const;
    ULONG find_and_initialize();
    void claim_reported_ranges();
    PVOID map_device_base(PVOID extension, INTERFACE_TYPE bus_type, ULONG bus_number,
                          SCSI_PHYSICAL_ADDRESS address, ULONG length, BOOLEAN in_io_space);

    // Requests and the run loop (request_flow.cpp)
    void fill_request(RequestRecord& record, const RequestSpec& spec);
    bool step(io::Nanoseconds limit);
    io::Nanoseconds queue_wait_deadline() const;
    void start_next(bool without_next_request);
    void run_timer();
    void time_out(RequestRecord& record);
    void reset_adapter(UCHAR path);
    void note_completion(RequestRecord& record);
    void settle_completions();
    void finish_request(RequestRecord& record);
    void retire_request(RequestId id);
    void check_guards(RequestRecord& record);
    bool needs_request_sense(const RequestRecord& record) const;
    void queue_request_sense(RequestRecord& original);
    void attach_sense(RequestRecord& sense_request);

    // Notifications and services the miniport calls (request_flow.cpp)
    void note_request_complete(PVOID extension, PSCSI_REQUEST_BLOCK srb);
    void note_next_request(PVOID extension);
    void note_reset_detected(PVOID extension);
    void note_timer_call(PVOID extension, PHW_TIMER routine, ULONG microseconds);
    void note_unsupported_notification(PVOID extension, int type);
    void complete_matching(PVOID extension, UCHAR path, UCHAR target, UCHAR lun, UCHAR status);
    void log_error(PVOID extension, PSCSI_REQUEST_BLOCK srb, UCHAR path, UCHAR target, UCHAR lun,
                   ULONG code, ULONG unique_id);
    PVOID get_logical_unit(PVOID extension, UCHAR path, UCHAR target, UCHAR lun);
    void stall(ULONG microseconds) { machine_.clock.advance(io::Nanoseconds{microseconds} * io::kMicrosecond); }

    // Port access: the claim check is a bitmap test; anything irregular leaves the fast path.
    std::uint32_t read_port(std::uintptr_t port, unsigned width) {
        if (!claims_.allows(port, width) && !irregular_port_access(port, width, 'R')) {
            return width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
        }
        return machine_.ports.read(static_cast<std::uint32_t>(port), width);
    }
    void write_port(std::uintptr_t port, std::uint32_t value, unsigned width) {
        if (!claims_.allows(port, width) && !irregular_port_access(port, width, 'W')) return;
        machine_.ports.write(static_cast<std::uint32_t>(port), value, width);
    }
    void read_port_buffer(std::uintptr_t port, void* buffer, ULONG count, unsigned width) {
        if ((!claims_.allows(port, width) || buffer == nullptr) &&
            !irregular_buffer_access(port, width, buffer, count, 'R')) {
            if (buffer != nullptr) std::memset(buffer, 0xFF, std::size_t(count) * width);
            return;
        }
        machine_.ports.read_buffer(static_cast<std::uint32_t>(port), buffer, count, width);
    }
    void write_port_buffer(std::uintptr_t port, const void* buffer, ULONG count, unsigned width) {
        if ((!claims_.allows(port, width) || buffer == nullptr) &&
            !irregular_buffer_access(port, width, buffer, count, 'W')) {
            return;
        }
        machine_.ports.write_buffer(static_cast<std::uint32_t>(port), buffer, count, width);
    }
    // Records an access outside the claims; true when it still goes to the I/O space (the
    // check observes, it does not change what the machine sees), false outside the space.
    bool irregular_port_access(std::uintptr_t port, unsigned width, char direction);
    bool irregular_buffer_access(std::uintptr_t port, unsigned width, const void* buffer,
                                 ULONG count, char direction);

    // Declared first so that it is unloaded last, after everything that may point into it.
    std::unique_ptr<DriverModule> module_;
    io::Backplane& machine_;
    HostConfig config_;
    ContractMonitor contract_;
    EventLog events_;
    int driver_object_ = 0;  // its address is the DriverObject argument

    AdapterState adapter_state_ = AdapterState::NoDriver;
    Routine active_ = Routine::None;

    std::optional<Registration> registration_;
    ULONG initialize_status_ = ntstatus::kSuccess;
    std::optional<ULONG> find_adapter_result_;
    bool again_requested_ = false;
    std::vector<char> argument_string_;  // NUL-terminated copy the miniport may read
    std::optional<ConfigurationRecord> configuration_;
    ExtensionBlock device_extension_;
    LogicalUnitTable luns_;

    PortClaims claims_;
    PortClaims reported_ports_;  // unclaimed ports already reported, so a loop reports once
    std::uint64_t out_of_space_accesses_ = 0;
    std::vector<DeviceMapping> mappings_;

    RequestTable requests_;
    std::deque<RequestId> start_queue_;
    std::vector<RequestId> noted_completions_;
    bool miniport_ready_ = true;  // until HwStartIo; again after NextRequest
    io::Nanoseconds last_start_ = 0;
    RequestId last_started_ = 0;
    TimerState timer_;

    std::vector<LoggedError> logged_errors_;
    std::vector<RequestTimeout> timeouts_;
    unsigned resets_detected_ = 0;
};

namespace detail {
// Sets the host the ScsiPort* operations of this thread serve; returns the previous one.
PortDriver* exchange_current_host(PortDriver* host);
} // namespace detail

class PortDriver::RoutineScope {
public:
    RoutineScope(PortDriver& host, Routine routine)
        : host_(host), outer_routine_(host.active_), outer_host_(detail::exchange_current_host(&host)) {
        host.active_ = routine;
    }
    ~RoutineScope() {
        host_.active_ = outer_routine_;
        detail::exchange_current_host(outer_host_);
    }
    RoutineScope(const RoutineScope&) = delete;
    RoutineScope& operator=(const RoutineScope&) = delete;

private:
    PortDriver& host_;
    Routine outer_routine_;
    PortDriver* outer_host_;
};

template <class Call>
auto PortDriver::call_miniport(Routine routine, Call&& call) -> decltype(call()) {
    using Result = decltype(call());
    if (!may_enter(routine)) {
        if constexpr (std::is_void_v<Result>) {
            return;
        } else {
            return Result{};
        }
    }
    RoutineScope scope(*this, routine);
    return call();
}

} // namespace orvo::scsiport
