// The host's frame: loading a build, its registration, discovery and initialisation, device
// mappings, the one-routine-at-a-time rule, port checks and shutdown.
#include "scsiport/host/port_driver.h"

#include <stdexcept>

namespace orvo::scsiport {

const char* to_string(AdapterState state) {
    switch (state) {
    case AdapterState::NoDriver: return "no driver";
    case AdapterState::NotRegistered: return "not registered";
    case AdapterState::RegistrationRejected: return "registration rejected";
    case AdapterState::NotFound: return "adapter not found";
    case AdapterState::InitializeFailed: return "initialisation failed";
    case AdapterState::Ready: return "ready";
    case AdapterState::ShutDown: return "shut down";
    }
    return "unknown";
}

const char* to_string(RequestState state) {
    switch (state) {
    case RequestState::Queued: return "queued";
    case RequestState::Started: return "started";
    case RequestState::AwaitingSense: return "awaiting sense";
    case RequestState::Completed: return "completed";
    }
    return "unknown";
}

const char* PortDriver::routine_name(Routine routine) {
    switch (routine) {
    case Routine::None: return "no routine";
    case Routine::DriverEntry: return "DriverEntry";
    case Routine::FindAdapter: return "HwFindAdapter";
    case Routine::Initialize: return "HwInitialize";
    case Routine::StartIo: return "HwStartIo";
    case Routine::Timer: return "the timer routine";
    case Routine::ResetBus: return "HwResetBus";
    case Routine::Direct: return "a direct call into the miniport";
    }
    return "unknown routine";
}

PortDriver::PortDriver(io::Backplane& machine, HostConfig config)
    : machine_(machine), config_(std::move(config)), events_(machine.clock) {
    for (const PortRange& range : config_.platform_ports) claims_.claim(range.first, range.count);
    if (config_.adapter.argument_string) {
        argument_string_.assign(config_.adapter.argument_string->begin(), config_.adapter.argument_string->end());
        argument_string_.push_back('\0');
    }
}

PortDriver::~PortDriver() {
    if (active_ == Routine::None) shutdown();
}

// ---- The one-routine-at-a-time rule ----------------------------------------------------

bool PortDriver::may_enter(Routine routine) {
    if (active_ == Routine::None) return true;
    if (active_ == Routine::DriverEntry && (routine == Routine::FindAdapter || routine == Routine::Initialize)) {
        return true;
    }
    violation(ViolationKind::Reentry, format_text("%s entered while %s runs; not called",
                                                  routine_name(routine), routine_name(active_)));
    return false;
}

bool PortDriver::host_operation_allowed(const char* operation) {
    if (active_ == Routine::None) return true;
    violation(ViolationKind::Reentry,
              format_text("%s called while %s runs: it would enter the miniport again; refused",
                          operation, routine_name(active_)));
    return false;
}

bool PortDriver::own_extension(PVOID extension, const char* operation) {
    if (extension != nullptr && extension == device_extension_.data()) return true;
    violation(ViolationKind::ForeignExtension,
              format_text("%s with device extension %p; the adapter's is %p", operation, extension,
                          device_extension_.data()));
    return false;
}

std::string PortDriver::describe(const RequestRecord& record) const {
    const SCSI_REQUEST_BLOCK& srb = record.srb;
    return format_text("request #%llu (function %02x, target %u, lun %u, opcode %02x)",
                       static_cast<unsigned long long>(record.id), srb.Function, srb.TargetId, srb.Lun,
                       srb.CdbLength > 0 ? srb.Cdb[0] : 0);
}

// ---- Loading -----------------------------------------------------------------------------

ULONG PortDriver::load_module(const std::filesystem::path& file) {
    if (adapter_state_ != AdapterState::NoDriver) throw std::logic_error("a driver is already loaded");
    module_ = std::make_unique<DriverModule>(file);
    return load_entry(module_->entry());
}

ULONG PortDriver::load_entry(DriverEntryRoutine entry) {
    if (entry == nullptr) throw std::invalid_argument("no DriverEntry to call");
    if (adapter_state_ != AdapterState::NoDriver) throw std::logic_error("a driver is already loaded");
    if (!host_operation_allowed("load")) return ntstatus::kInvalidParameter;
    adapter_state_ = AdapterState::NotRegistered;
    events_.note("DriverEntry");
    const ULONG status = call_miniport(Routine::DriverEntry, [&] { return entry(driver_object(), registry_path()); });
    events_.note("DriverEntry returned %08x; %s", status, to_string(adapter_state_));
    settle_completions();
    return status;
}

ULONG PortDriver::check_registration(const HW_INITIALIZATION_DATA* data) const {
    if (data == nullptr) return ntstatus::kInvalidParameter;
    // One layout only: a record of another size was written against other declarations.
    if (data->HwInitializationDataSize != sizeof(HW_INITIALIZATION_DATA)) return ntstatus::kRevisionMismatch;
    if (data->HwFindAdapter == nullptr || data->HwInitialize == nullptr || data->HwStartIo == nullptr) {
        return ntstatus::kInvalidParameter;
    }
    if (data->NumberOfAccessRanges > ConfigurationRecord::kMaxAccessRanges ||
        data->DeviceExtensionSize > kMaxExtensionSize || data->SpecificLuExtensionSize > kMaxExtensionSize ||
        data->SrbExtensionSize > kMaxExtensionSize) {
        return ntstatus::kInvalidParameter;
    }
    return ntstatus::kSuccess;
}

ULONG PortDriver::register_miniport(PVOID argument1, PVOID argument2, PHW_INITIALIZATION_DATA data,
                                    PVOID context) {
    if (active_ != Routine::DriverEntry) {
        violation(ViolationKind::MisplacedCall,
                  format_text("ScsiPortInitialize called from %s; only DriverEntry may register", routine_name(active_)));
        return ntstatus::kInvalidParameter;
    }
    // One adapter per host: once one is found, further registrations find nothing.
    if (adapter_state_ == AdapterState::Ready || adapter_state_ == AdapterState::InitializeFailed) {
        events_.note("ScsiPortInitialize again: this host serves one adapter");
        return initialize_status_ = ntstatus::kDeviceDoesNotExist;
    }
    if (const ULONG refused = check_registration(data); refused != ntstatus::kSuccess) {
        events_.note("ScsiPortInitialize refused the registration (%08x)", refused);
        adapter_state_ = AdapterState::RegistrationRejected;
        return initialize_status_ = refused;
    }

    Registration& registration = registration_.emplace();
    registration.data = *data;
    registration.argument1 = argument1;
    registration.argument2 = argument2;
    registration.hw_context = context;
    if (context != nullptr) {
        ULONG word;
        std::memcpy(&word, context, sizeof word);
        registration.hw_context_word = word;
    }
    device_extension_ = ExtensionBlock(data->DeviceExtensionSize);
    luns_ = LogicalUnitTable();
    luns_.set_extension_size(data->SpecificLuExtensionSize);
    configuration_.emplace(registration.data, config_.adapter);
    return initialize_status_ = find_and_initialize();
}

ULONG PortDriver::find_and_initialize() {
    const HW_INITIALIZATION_DATA& hw = registration_->data;
    void* extension = device_extension_.data();
    BOOLEAN again = FALSE;
    PCHAR arguments = argument_string_.empty() ? nullptr : argument_string_.data();
    const ULONG found = call_miniport(Routine::FindAdapter, [&] {
        return hw.HwFindAdapter(extension, registration_->hw_context, nullptr, arguments,
                                &configuration_->info(), &again);
    });
    find_adapter_result_ = found;
    // The host serves one adapter, so a request to be called again is recorded, not honoured.
    again_requested_ = again != FALSE;
    events_.note("HwFindAdapter returned %u%s", found, again_requested_ ? " and asked to be called again" : "");
    if (found != SP_RETURN_FOUND) {
        adapter_state_ = AdapterState::NotFound;
        return ntstatus::kDeviceDoesNotExist;
    }
    claim_reported_ranges();

    const BOOLEAN initialized = call_miniport(Routine::Initialize, [&] { return hw.HwInitialize(extension); });
    events_.note("HwInitialize returned %u", initialized);
    if (!initialized) {
        adapter_state_ = AdapterState::InitializeFailed;
        return ntstatus::kNoSuchDevice;
    }
    adapter_state_ = AdapterState::Ready;
    return ntstatus::kSuccess;
}

void PortDriver::claim_reported_ranges() {
    for (const ACCESS_RANGE& range : configuration_->access_ranges()) {
        if (range.RangeInMemory || range.RangeLength == 0 || range.RangeStart.QuadPart < 0) continue;
        claims_.claim(static_cast<std::uint64_t>(range.RangeStart.QuadPart), range.RangeLength);
    }
}

const PORT_CONFIGURATION_INFORMATION* PortDriver::configuration() const {
    return configuration_ ? &configuration_->info() : nullptr;
}

std::span<const ACCESS_RANGE> PortDriver::access_ranges() const {
    return configuration_ ? configuration_->access_ranges() : std::span<const ACCESS_RANGE>{};
}

// ---- Device mappings and port checks ----------------------------------------------------

PVOID PortDriver::map_device_base(PVOID extension, INTERFACE_TYPE bus_type, ULONG bus_number,
                                  SCSI_PHYSICAL_ADDRESS address, ULONG length, BOOLEAN in_io_space) {
    if (!own_extension(extension, "ScsiPortGetDeviceBase")) return nullptr;
    DeviceMapping mapping{bus_type, bus_number, static_cast<std::uint64_t>(address.QuadPart), length,
                          in_io_space != FALSE, nullptr};
    const bool negative = address.QuadPart < 0;
    if (mapping.in_io_space) {
        // Mapped I/O address == port number, so that the driver can hand it back as a range.
        if (negative || mapping.address + length > PortClaims::kPorts) {
            violation(ViolationKind::BadMapping,
                      format_text("I/O range %llx+%x lies outside the port space",
                                  static_cast<unsigned long long>(mapping.address), length));
        } else {
            claims_.claim(mapping.address, length);
            mapping.base = reinterpret_cast<PVOID>(static_cast<std::uintptr_t>(mapping.address));
        }
    } else {
        mapping.base = negative ? nullptr : machine_.memory.map(mapping.address, length);
        if (mapping.base == nullptr) {
            violation(ViolationKind::BadMapping,
                      format_text("memory range %llx+%x lies outside the ISA memory space",
                                  static_cast<unsigned long long>(mapping.address), length));
        }
    }
    events_.note("ScsiPortGetDeviceBase %s %llx+%x -> %p", mapping.in_io_space ? "io" : "memory",
                 static_cast<unsigned long long>(mapping.address), length, mapping.base);
    mappings_.push_back(mapping);
    return mapping.base;
}

bool PortDriver::irregular_port_access(std::uintptr_t port, unsigned width, char direction) {
    if (port > PortClaims::kPorts - width) {
        // Reported a few times only: a loop over a bad address must not flood the record.
        if (out_of_space_accesses_++ < 8) {
            violation(ViolationKind::PortOutsideClaim,
                      format_text("%c%u at address %llx, outside the port space; not performed", direction,
                                  width * 8, static_cast<unsigned long long>(port)));
        }
        return false;
    }
    const auto first = static_cast<std::uint32_t>(port);
    if (!reported_ports_.claimed(first)) {
        reported_ports_.claim(first, 1);
        violation(ViolationKind::PortOutsideClaim,
                  format_text("%c%u at port %04x, outside the claimed ranges", direction, width * 8, first));
    }
    return true;
}

bool PortDriver::irregular_buffer_access(std::uintptr_t port, unsigned width, const void* buffer,
                                         ULONG count, char direction) {
    if (buffer == nullptr) {
        if (count > 0) {
            violation(ViolationKind::MisplacedCall,
                      format_text("buffered %c%u at port %04llx with no buffer for %u elements; not performed",
                                  direction, width * 8, static_cast<unsigned long long>(port), count));
        }
        return false;
    }
    return claims_.allows(port, width) || irregular_port_access(port, width, direction);
}

// ---- Shutdown --------------------------------------------------------------------------

void PortDriver::shutdown() {
    if (!host_operation_allowed("shutdown") || adapter_state_ == AdapterState::ShutDown) return;
    requests_.for_each([&](RequestRecord& record) {
        // A host REQUEST SENSE is reported through the request it serves.
        if (record.sense_for != 0) return;
        switch (record.state()) {
        case RequestState::Queued:
            violation(ViolationKind::NeverCompleted, describe(record) + " was never started");
            break;
        case RequestState::Started:
            violation(ViolationKind::NeverCompleted, describe(record) + " was started and never completed");
            break;
        case RequestState::AwaitingSense:
            violation(ViolationKind::NeverCompleted, describe(record) + " never got its REQUEST SENSE done");
            break;
        case RequestState::Completed: break;
        }
    });
    requests_.for_each([&](RequestRecord& record) { check_guards(record); });
    requests_.for_each_retired([&](RequestRecord& record) { check_guards(record); });
    start_queue_.clear();
    timer_ = {};
    adapter_state_ = AdapterState::ShutDown;
    events_.note("shut down");
}

} // namespace orvo::scsiport
