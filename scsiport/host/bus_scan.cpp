// The port driver's bus scan after initialisation: INQUIRY to every target and LUN.
#include "scsiport/host/port_driver.h"

#include <algorithm>

namespace orvo::scsiport {

namespace {

constexpr std::uint32_t kInquiryLength = 36;
constexpr UCHAR kQualifierNoDevice = 3;  // peripheral qualifier: no device at this LUN

// The unit's answer, when it names a device; none for no answer or "no device here".
std::optional<ScannedUnit> read_inquiry(const RequestResult& answer, UCHAR target, UCHAR lun) {
    const UCHAR outcome = SRB_STATUS(answer.srb_status);
    // The miniport reports a short INQUIRY answer as an over/under-run: still an answer.
    if (outcome != SRB_STATUS_SUCCESS && outcome != SRB_STATUS_DATA_OVERRUN) return std::nullopt;
    const std::vector<std::uint8_t>& data = answer.data;
    if (data.empty() || (data[0] >> 5) == kQualifierNoDevice) return std::nullopt;

    // Printable ASCII, trailing blanks and NULs dropped; absent bytes give a shorter field.
    auto field = [&](std::size_t offset, std::size_t length) {
        std::size_t end = std::min(offset + length, data.size());
        while (end > offset && (data[end - 1] == ' ' || data[end - 1] == 0)) --end;
        std::string text;
        for (std::size_t i = offset; i < end; ++i) {
            const char c = static_cast<char>(data[i]);
            text += (c >= 0x20 && c < 0x7F) ? c : '.';
        }
        return text;
    };
    ScannedUnit unit;
    unit.target = target;
    unit.lun = lun;
    unit.peripheral_qualifier = static_cast<UCHAR>(data[0] >> 5);
    unit.peripheral_type = static_cast<UCHAR>(data[0] & 0x1F);
    unit.removable = data.size() > 1 && (data[1] & 0x80) != 0;
    unit.vendor = field(8, 8);
    unit.product = field(16, 16);
    unit.revision = field(32, 4);
    return unit;
}

} // namespace

// Targets 0 up to MaximumNumberOfTargets - 1, the adapter's own ID skipped; LUNs 0-7 of a
// target, unless LUN 0 does not answer, in which case the target has no units at all. The
// LUN travels in the IDENTIFY message only; the CDB's LUN bits stay 0.
std::vector<ScannedUnit> PortDriver::scan_bus() {
    std::vector<ScannedUnit> found;
    if (!host_operation_allowed("scan_bus") || adapter_state_ != AdapterState::Ready) return found;
    const unsigned targets = configuration_->scan_targets();
    const unsigned initiator = configuration_->initiator_id();
    events_.note("bus scan: targets 0-%u, initiator %u", targets - 1, initiator);
    for (unsigned target = 0; target < targets; ++target) {
        if (target == initiator) continue;
        for (unsigned lun = 0; lun < LogicalUnitTable::kLuns; ++lun) {
            RequestSpec inquiry;
            inquiry.target = static_cast<UCHAR>(target);
            inquiry.lun = static_cast<UCHAR>(lun);
            inquiry.cdb = {SCSIOP_INQUIRY, 0, 0, 0, kInquiryLength, 0};
            inquiry.data_in_length = kInquiryLength;
            const RequestResult answer = execute(inquiry);
            if (std::optional<ScannedUnit> unit = read_inquiry(answer, inquiry.target, inquiry.lun)) {
                found.push_back(std::move(*unit));
                continue;
            }
            bool open = answer.state != RequestState::Completed;
            requests_.for_each([&](RequestRecord& record) {
                open = open || (record.state() != RequestState::Completed && record.srb.TargetId == target &&
                                record.srb.Lun == lun);
            });
            if (!open) luns_.forget(target, lun);
            if (lun == 0) break;
        }
    }
    return found;
}

} // namespace orvo::scsiport
