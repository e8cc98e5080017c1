#pragma once
// The requests the host has been given: each with its SRB, data and sense buffers (all owned
// by the host, at stable addresses), its state and, once completed, its result.

#include "scsiport/host/extension_block.h"
#include "scsiport/host/guarded_buffer.h"
#include "scsiport/host/host_types.h"
#include "scsiport/scsiport.h"

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace orvo::scsiport {

struct RequestRecord {
    RequestId id = 0;
    SCSI_REQUEST_BLOCK srb{};
    GuardedBuffer data;                      // the SRB's data buffer
    GuardedBuffer sense_buffer;              // the SRB's sense buffer
    bool overrun_reported = false;           // a damaged guard zone is reported once
    ExtensionBlock srb_extension;
    io::Nanoseconds deadline = 0;            // start + TimeOutValue, while started
    // Completed during the call that is running; read out when that call has returned, since
    // a miniport may still set the status after it has reported the completion.
    bool completion_noted = false;
    RequestId sense_for = 0;       // a host REQUEST SENSE: the request it fetches sense for
    RequestResult result;          // result.state is the request's state

    RequestState state() const { return result.state; }
    bool outstanding() const { return result.state == RequestState::Started && !completion_noted; }
};

class RequestTable {
public:
    RequestRecord& create();
    RequestRecord* find(RequestId id);
    const RequestRecord* find(RequestId id) const;
    // The record whose SRB this is, while the record is kept.
    RequestRecord* owner_of(const SCSI_REQUEST_BLOCK* srb);
    // True when the SRB belonged to a request already taken out of the table.
    bool retired(const SCSI_REQUEST_BLOCK* srb) const;
    // Removes a record; its memory stays valid for a while (see retired_). Returns the oldest
    // retired record when it has to go to make room (nullptr otherwise), so that the caller
    // can look at it a last time.
    std::unique_ptr<RequestRecord> retire(RequestId id);

    // Records in the order they were created.
    template <class Visit> void for_each(Visit visit) {
        for (auto& [id, record] : live_) visit(*record);
    }
    template <class Visit> void for_each_retired(Visit visit) {
        for (auto& record : retired_) visit(*record);
    }
    // The outstanding record with the earliest deadline, or nullptr.
    RequestRecord* earliest_deadline();
    bool any_outstanding() const;

private:
    // Retired records are kept for this many further retirements: a late duplicate completion
    // is then recognised as such, and the buffers the miniport may still name stay valid.
    static constexpr std::size_t kRetiredKept = 64;

    RequestId next_id_ = 1;
    std::map<RequestId, std::unique_ptr<RequestRecord>> live_;
    std::unordered_map<const SCSI_REQUEST_BLOCK*, RequestRecord*> by_srb_;
    std::deque<std::unique_ptr<RequestRecord>> retired_;
};

} // namespace orvo::scsiport
