#include "scsiport/host/request_table.h"

namespace orvo::scsiport {

RequestRecord& RequestTable::create() {
    auto record = std::make_unique<RequestRecord>();
    record->id = next_id_++;
    RequestRecord& added = *record;
    by_srb_.emplace(&added.srb, &added);
    live_.emplace(added.id, std::move(record));
    return added;
}

RequestRecord* RequestTable::find(RequestId id) {
    const auto it = live_.find(id);
    return it == live_.end() ? nullptr : it->second.get();
}

const RequestRecord* RequestTable::find(RequestId id) const {
    const auto it = live_.find(id);
    return it == live_.end() ? nullptr : it->second.get();
}

RequestRecord* RequestTable::owner_of(const SCSI_REQUEST_BLOCK* srb) {
    const auto it = by_srb_.find(srb);
    return it == by_srb_.end() ? nullptr : it->second;
}

bool RequestTable::retired(const SCSI_REQUEST_BLOCK* srb) const {
    for (const auto& record : retired_) {
        if (&record->srb == srb) return true;
    }
    return false;
}

std::unique_ptr<RequestRecord> RequestTable::retire(RequestId id) {
    const auto it = live_.find(id);
    if (it == live_.end()) return nullptr;
    by_srb_.erase(&it->second->srb);
    retired_.push_back(std::move(it->second));
    live_.erase(it);
    if (retired_.size() <= kRetiredKept) return nullptr;
    std::unique_ptr<RequestRecord> dropped = std::move(retired_.front());
    retired_.pop_front();
    return dropped;
}

RequestRecord* RequestTable::earliest_deadline() {
    RequestRecord* earliest = nullptr;
    for (auto& [id, record] : live_) {
        if (record->outstanding() && (earliest == nullptr || record->deadline < earliest->deadline)) {
            earliest = record.get();
        }
    }
    return earliest;
}

bool RequestTable::any_outstanding() const {
    for (const auto& [id, record] : live_) {
        if (record->outstanding()) return true;
    }
    return false;
}

} // namespace orvo::scsiport
