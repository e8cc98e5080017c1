// Requests from submission to result: the start queue and the NextRequest hand-shake, the run
// loop on virtual time (timer, time-outs), completion notes read out after each call, the
// host's REQUEST SENSE after CHECK CONDITION, and bus resets.
#include "scsiport/host/port_driver.h"

#include <algorithm>
#include <stdexcept>

namespace orvo::scsiport {

namespace {

constexpr io::Nanoseconds kNever = UINT64_MAX;

void check_spec(const RequestSpec& spec) {
    auto refuse = [](const std::string& why) { throw std::invalid_argument("request refused: " + why); };
    if (spec.cdb.size() > sizeof(SCSI_REQUEST_BLOCK::Cdb)) {
        refuse(format_text("a CDB of %zu bytes (at most 16)", spec.cdb.size()));
    }
    if (spec.function == SRB_FUNCTION_EXECUTE_SCSI && spec.cdb.empty()) refuse("EXECUTE_SCSI without a CDB");
    if (spec.data_in_length > 0 && !spec.data_out.empty()) refuse("data in both directions");
    if (spec.data_in_length > PortDriver::kMaxTransferLength || spec.data_out.size() > PortDriver::kMaxTransferLength) {
        refuse(format_text("a transfer over %u bytes", PortDriver::kMaxTransferLength));
    }
    if (spec.timeout_seconds == 0) refuse("a time-out of 0 s");
    if (!LogicalUnitTable::addressable(spec.path, spec.target, spec.lun)) {
        refuse(format_text("no unit at path %u target %u lun %u (path 0, targets and LUNs 0-7)", spec.path,
                           spec.target, spec.lun));
    }
}

bool matches(UCHAR wanted, UCHAR actual) { return wanted == 0xFF || wanted == actual; }

} // namespace

// ---- Submission ------------------------------------------------------------------------

RequestId PortDriver::submit(const RequestSpec& spec) {
    check_spec(spec);
    RequestRecord& record = requests_.create();
    fill_request(record, spec);
    if (adapter_state_ != AdapterState::Ready) {
        // No adapter behind this port driver: refused as the platform refuses it.
        record.srb.SrbStatus = SRB_STATUS_NO_HBA;
        finish_request(record);
        return record.id;
    }
    start_queue_.push_back(record.id);
    return record.id;
}

void PortDriver::fill_request(RequestRecord& record, const RequestSpec& spec) {
    record.data = spec.data_in_length > 0 ? GuardedBuffer(spec.data_in_length) : GuardedBuffer(spec.data_out);
    record.sense_buffer = GuardedBuffer(spec.sense_length);
    if (registration_ && registration_->data.SrbExtensionSize > 0) {
        record.srb_extension = ExtensionBlock(registration_->data.SrbExtensionSize);
    }
    const ULONG direction = spec.data_in_length > 0 ? SRB_FLAGS_DATA_IN
                            : spec.data_out.empty() ? SRB_FLAGS_NO_DATA_TRANSFER
                                                    : SRB_FLAGS_DATA_OUT;
    SCSI_REQUEST_BLOCK& srb = record.srb;
    srb.Length = sizeof(SCSI_REQUEST_BLOCK);
    srb.Function = spec.function;
    srb.SrbStatus = SRB_STATUS_PENDING;
    srb.ScsiStatus = SCSISTAT_GOOD;
    srb.PathId = spec.path;
    srb.TargetId = spec.target;
    srb.Lun = spec.lun;
    srb.QueueTag = SP_UNTAGGED;
    srb.CdbLength = static_cast<UCHAR>(spec.cdb.size());
    std::copy(spec.cdb.begin(), spec.cdb.end(), srb.Cdb);
    srb.SenseInfoBufferLength = spec.sense_length;
    srb.SrbFlags = spec.srb_flags.value_or(direction);
    srb.DataTransferLength = static_cast<ULONG>(record.data.size());
    srb.TimeOutValue = spec.timeout_seconds;
    srb.DataBuffer = record.data.data();
    srb.SenseInfoBuffer = record.sense_buffer.data();
    srb.SrbExtension = record.srb_extension ? record.srb_extension.data() : nullptr;
    record.result.submitted_at = now();
}

const RequestResult& PortDriver::result(RequestId id) const {
    const RequestRecord* record = requests_.find(id);
    if (record == nullptr || record->sense_for != 0) {
        throw std::out_of_range(format_text("no request #%llu", static_cast<unsigned long long>(id)));
    }
    return record->result;
}

RequestResult PortDriver::take_result(RequestId id) {
    RequestResult taken = result(id);
    if (taken.state != RequestState::Completed) {
        throw std::logic_error(format_text("request #%llu is %s, not completed",
                                           static_cast<unsigned long long>(id), to_string(taken.state)));
    }
    retire_request(id);
    return taken;
}

RequestResult PortDriver::execute(const RequestSpec& spec) {
    const RequestId id = submit(spec);
    run_until_idle();
    if (result(id).state == RequestState::Completed) return take_result(id);
    return result(id);
}

// ---- The run loop ----------------------------------------------------------------------

void PortDriver::run_until(io::Nanoseconds limit) {
    if (!host_operation_allowed("run_until_idle")) return;
    while (step(limit)) {
    }
}

// One thing that can happen now, in priority order: a due timer, a time-out, a start. When
// nothing can happen at this instant but requests are open, time moves to the next event.
bool PortDriver::step(io::Nanoseconds limit) {
    if (adapter_state_ != AdapterState::Ready) return false;
    const io::Nanoseconds current = now();
    if (timer_.armed && timer_.due <= current) {
        run_timer();
        return true;
    }
    if (RequestRecord* late = requests_.earliest_deadline(); late != nullptr && late->deadline <= current) {
        time_out(*late);
        return true;
    }
    if (!start_queue_.empty()) {
        if (miniport_ready_) {
            start_next(false);
            return true;
        }
        if (queue_wait_deadline() <= current) {
            start_next(true);
            return true;
        }
    }
    if (start_queue_.empty() && !requests_.any_outstanding()) return false;

    io::Nanoseconds next = queue_wait_deadline();
    if (timer_.armed) next = std::min(next, timer_.due);
    if (const RequestRecord* late = requests_.earliest_deadline()) next = std::min(next, late->deadline);
    if (next == kNever || next > limit) return false;
    machine_.clock.advance_to(next);
    return true;
}

// How long the head of the queue waits for NextRequest: its own time-out, counted from the
// later of its submission and the last start. A miniport that never asks is reported, and the
// request is started regardless so that the run ends.
io::Nanoseconds PortDriver::queue_wait_deadline() const {
    if (start_queue_.empty() || miniport_ready_) return kNever;
    const RequestRecord* head = requests_.find(start_queue_.front());
    const io::Nanoseconds since = std::max(last_start_, head->result.submitted_at);
    return since + io::Nanoseconds{head->srb.TimeOutValue} * io::kSecond;
}

void PortDriver::start_next(bool without_next_request) {
    const RequestId id = start_queue_.front();
    start_queue_.pop_front();
    RequestRecord& record = *requests_.find(id);
    if (without_next_request) {
        violation(ViolationKind::NextRequestMissing,
                  format_text("no NextRequest since request #%llu was started; %s started without it",
                              static_cast<unsigned long long>(last_started_), describe(record).c_str()));
    }
    SCSI_REQUEST_BLOCK& srb = record.srb;
    luns_.make_known(srb.PathId, srb.TargetId, srb.Lun);
    record.result.state = RequestState::Started;
    record.result.started_at = now();
    record.deadline = now() + io::Nanoseconds{srb.TimeOutValue} * io::kSecond;
    miniport_ready_ = false;
    last_start_ = now();
    last_started_ = id;
    events_.note("HwStartIo %s", describe(record).c_str());
    const PHW_STARTIO start_io = registration_->data.HwStartIo;
    void* extension = device_extension_.data();
    call_miniport(Routine::StartIo, [&] { return start_io(extension, &srb); });
    settle_completions();
}

void PortDriver::run_timer() {
    const PHW_TIMER routine = timer_.routine;
    timer_.armed = false;  // one shot; the routine arms it again if it wants more
    void* extension = device_extension_.data();
    call_miniport(Routine::Timer, [&] { routine(extension); });
    settle_completions();
}

// ---- Time-outs and resets --------------------------------------------------------------

// The timed-out request ends with SRB_STATUS_TIMEOUT whatever the reset gave it, so that the
// caller can tell it from the requests that were merely caught in the reset; those keep the
// status the miniport's reset gave them (normally SRB_STATUS_BUS_RESET).
void PortDriver::time_out(RequestRecord& record) {
    record.result.timed_out = true;
    timeouts_.push_back({record.id, record.srb.PathId, record.srb.TargetId, record.srb.Lun,
                         record.srb.CdbLength > 0 ? record.srb.Cdb[0] : UCHAR{0}, record.result.started_at, now()});
    events_.note("time-out of %s; resetting the bus", describe(record).c_str());
    reset_adapter(record.srb.PathId);
}

void PortDriver::reset_bus(UCHAR path) {
    if (!host_operation_allowed("reset_bus") || adapter_state_ != AdapterState::Ready) return;
    events_.note("bus reset requested by the port driver");
    reset_adapter(path);
}

// HwResetBus is expected to complete what it holds (ScsiPortCompleteRequest); whatever it
// leaves open on the path the host completes itself, as the platform's port driver does.
void PortDriver::reset_adapter(UCHAR path) {
    const HW_INITIALIZATION_DATA& hw = registration_->data;
    if (hw.HwResetBus != nullptr) {
        void* extension = device_extension_.data();
        const BOOLEAN done = call_miniport(Routine::ResetBus, [&] { return hw.HwResetBus(extension, path); });
        events_.note("HwResetBus(%u) returned %u", path, done);
        settle_completions();
    }
    requests_.for_each([&](RequestRecord& record) {
        if (!record.outstanding() || record.srb.PathId != path) return;
        record.srb.SrbStatus = record.result.timed_out ? SRB_STATUS_TIMEOUT : SRB_STATUS_BUS_RESET;
        events_.note("%s left open by the reset; completed by the host", describe(record).c_str());
        note_completion(record);
    });
    settle_completions();
}

// ---- Completion ------------------------------------------------------------------------

void PortDriver::note_completion(RequestRecord& record) {
    record.completion_noted = true;
    noted_completions_.push_back(record.id);
}

// Reads out the requests completed during the call that just returned. Reading after the
// call matters: a miniport may set the final status after reporting the completion.
void PortDriver::settle_completions() {
    while (!noted_completions_.empty()) {
        const std::vector<RequestId> noted = std::move(noted_completions_);
        noted_completions_.clear();
        for (const RequestId id : noted) {
            if (RequestRecord* record = requests_.find(id)) finish_request(*record);
        }
    }
}

void PortDriver::finish_request(RequestRecord& record) {
    SCSI_REQUEST_BLOCK& srb = record.srb;
    record.completion_noted = false;
    check_guards(record);
    if (record.result.timed_out) srb.SrbStatus = SRB_STATUS_TIMEOUT;
    RequestResult& result = record.result;
    result.completed_at = now();
    result.srb_status = srb.SrbStatus;
    result.scsi_status = srb.ScsiStatus;
    result.data_transfer_length = srb.DataTransferLength;
    if ((srb.SrbFlags & SRB_FLAGS_DATA_IN) != 0) {
        const std::size_t moved = std::min<std::size_t>(srb.DataTransferLength, record.data.size());
        const auto bytes = record.data.bytes().first(moved);
        result.data.assign(bytes.begin(), bytes.end());
    }
    events_.note("completed %s: srb status %02x, scsi status %02x, length %u", describe(record).c_str(),
                 srb.SrbStatus, srb.ScsiStatus, srb.DataTransferLength);
    if (record.sense_for != 0) {
        attach_sense(record);
    } else if (needs_request_sense(record)) {
        result.state = RequestState::AwaitingSense;
        queue_request_sense(record);
    } else {
        result.state = RequestState::Completed;
    }
}

void PortDriver::retire_request(RequestId id) {
    if (const std::unique_ptr<RequestRecord> gone = requests_.retire(id)) check_guards(*gone);
}

// The guard zones around a request's buffers are looked at when it completes and once more
// when its record is dropped (or the host shuts down): a miniport may still write through a
// pointer it kept.
void PortDriver::check_guards(RequestRecord& record) {
    if (record.overrun_reported) return;
    const auto report = [&](const GuardedBuffer& buffer, const char* name) {
        const std::optional<GuardedBuffer::Damage> damage = buffer.damage();
        if (!damage) return false;
        std::string reach;
        if (damage->before != 0) reach = format_text("%zu byte(s) before the start", damage->before);
        if (damage->after != 0) {
            reach += (reach.empty() ? "" : " and ") + format_text("%zu byte(s) past the end", damage->after);
        }
        violation(ViolationKind::BufferOverrun, format_text("%s: a write reached %s of its %zu-byte %s buffer",
                                                            describe(record).c_str(), reach.c_str(), buffer.size(), name));
        return true;
    };
    const bool data = report(record.data, "data");
    const bool sense = report(record.sense_buffer, "sense");
    record.overrun_reported = data || sense;
}

// The miniport asks for no automatic request sense, so the port driver fetches the sense
// data itself after CHECK CONDITION, unless the request opted out.
bool PortDriver::needs_request_sense(const RequestRecord& record) const {
    const SCSI_REQUEST_BLOCK& srb = record.srb;
    return adapter_state_ == AdapterState::Ready && SRB_STATUS(srb.SrbStatus) == SRB_STATUS_ERROR &&
           srb.ScsiStatus == SCSISTAT_CHECK_CONDITION && (srb.SrbStatus & SRB_STATUS_AUTOSENSE_VALID) == 0 &&
           (srb.SrbFlags & SRB_FLAGS_DISABLE_AUTOSENSE) == 0 && !record.sense_buffer.empty();
}

void PortDriver::queue_request_sense(RequestRecord& original) {
    const SCSI_REQUEST_BLOCK& srb = original.srb;
    RequestSpec spec;
    spec.path = srb.PathId;
    spec.target = srb.TargetId;
    spec.lun = srb.Lun;
    spec.cdb = {SCSIOP_REQUEST_SENSE, 0, 0, 0, static_cast<std::uint8_t>(original.sense_buffer.size()), 0};
    spec.data_in_length = static_cast<std::uint32_t>(original.sense_buffer.size());
    spec.srb_flags = SRB_FLAGS_DATA_IN | SRB_FLAGS_DISABLE_AUTOSENSE;
    spec.timeout_seconds = srb.TimeOutValue;
    spec.sense_length = 0;
    RequestRecord& sense = requests_.create();
    fill_request(sense, spec);
    sense.sense_for = original.id;
    // Ahead of everything else: the unit's sense data describes the failed command only
    // until the next command reaches it.
    start_queue_.push_front(sense.id);
}

// A short answer is still sense data: the miniport reports an under-run as DATA_OVERRUN.
void PortDriver::attach_sense(RequestRecord& sense_request) {
    const UCHAR status = sense_request.srb.SrbStatus;
    const std::vector<std::uint8_t> bytes = sense_request.result.data;
    const RequestId original_id = sense_request.sense_for;
    retire_request(sense_request.id);

    RequestRecord* original = requests_.find(original_id);
    if (original == nullptr) return;
    original->result.sense_request_status = status;
    const UCHAR outcome = SRB_STATUS(status);
    if ((outcome == SRB_STATUS_SUCCESS || outcome == SRB_STATUS_DATA_OVERRUN) && !bytes.empty()) {
        std::copy(bytes.begin(), bytes.end(), original->sense_buffer.bytes().begin());
        original->srb.SrbStatus |= SRB_STATUS_AUTOSENSE_VALID;
        original->srb.SenseInfoBufferLength = static_cast<UCHAR>(bytes.size());
        original->result.srb_status = original->srb.SrbStatus;
        original->result.sense = bytes;
    }
    original->result.state = RequestState::Completed;
}

// ---- Notifications and services --------------------------------------------------------

void PortDriver::note_request_complete(PVOID extension, PSCSI_REQUEST_BLOCK srb) {
    if (!own_extension(extension, "RequestComplete")) return;
    RequestRecord* record = requests_.owner_of(srb);
    if (record == nullptr) {
        if (srb != nullptr && requests_.retired(srb)) {
            violation(ViolationKind::CompletedTwice,
                      format_text("RequestComplete for SRB %p, whose request was completed and handed back", srb));
        } else {
            violation(ViolationKind::UnknownCompletion,
                      format_text("RequestComplete for SRB %p, which the port driver never sent", static_cast<void*>(srb)));
        }
        return;
    }
    switch (record->state()) {
    case RequestState::Queued:
        violation(ViolationKind::UnknownCompletion, "RequestComplete for " + describe(*record) + ", which was never started");
        return;
    case RequestState::Started:
        if (record->completion_noted) {
            violation(ViolationKind::CompletedTwice, describe(*record) + " completed twice in one call");
            return;
        }
        note_completion(*record);
        return;
    case RequestState::AwaitingSense:
    case RequestState::Completed:
        violation(ViolationKind::CompletedTwice, describe(*record) + " completed again after its completion");
        return;
    }
}

void PortDriver::note_next_request(PVOID extension) {
    if (!own_extension(extension, "NextRequest")) return;
    miniport_ready_ = true;
}

void PortDriver::note_reset_detected(PVOID extension) {
    if (!own_extension(extension, "ResetDetected")) return;
    ++resets_detected_;
    events_.note("ResetDetected");
}

void PortDriver::note_timer_call(PVOID extension, PHW_TIMER routine, ULONG microseconds) {
    if (!own_extension(extension, "RequestTimerCall")) return;
    if (microseconds == 0) {
        timer_ = {};
        return;
    }
    if (routine == nullptr) {
        violation(ViolationKind::BadNotification, "RequestTimerCall without a timer routine");
        return;
    }
    // A new call replaces the armed one.
    timer_ = {true, now() + io::Nanoseconds{microseconds} * io::kMicrosecond, routine};
}

void PortDriver::note_unsupported_notification(PVOID extension, int type) {
    violation(ViolationKind::BadNotification,
              format_text("notification type %d (extension %p) is not one the port driver provides", type, extension));
}

void PortDriver::complete_matching(PVOID extension, UCHAR path, UCHAR target, UCHAR lun, UCHAR status) {
    if (!own_extension(extension, "ScsiPortCompleteRequest")) return;
    events_.note("ScsiPortCompleteRequest(%u, %u, %u, %02x)", path, target, lun, status);
    requests_.for_each([&](RequestRecord& record) {
        const SCSI_REQUEST_BLOCK& srb = record.srb;
        if (!record.outstanding() || !matches(path, srb.PathId) || !matches(target, srb.TargetId) ||
            !matches(lun, srb.Lun)) {
            return;
        }
        record.srb.SrbStatus = status;
        note_completion(record);
    });
}

void PortDriver::log_error(PVOID extension, PSCSI_REQUEST_BLOCK srb, UCHAR path, UCHAR target, UCHAR lun,
                           ULONG code, ULONG unique_id) {
    if (!own_extension(extension, "ScsiPortLogError")) return;
    const RequestRecord* record = srb != nullptr ? requests_.owner_of(srb) : nullptr;
    logged_errors_.push_back({srb, record ? record->id : 0, path, target, lun, code, unique_id, now()});
    events_.note("ScsiPortLogError code %x target %u lun %u id %x", code, target, lun, unique_id);
}

PVOID PortDriver::get_logical_unit(PVOID extension, UCHAR path, UCHAR target, UCHAR lun) {
    if (!own_extension(extension, "ScsiPortGetLogicalUnit")) return nullptr;
    return luns_.find(path, target, lun);
}

} // namespace orvo::scsiport
