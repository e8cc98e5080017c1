// Compiled once per build with that build's switches; ORVO_RECORD_READER names the function.
#include "ScsiMiniPort/miniport.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <vector>

namespace orvo::tool {

nlohmann::ordered_json ORVO_RECORD_READER(const void* record) {
    const auto& ad = *static_cast<const ADAPTER_EXTENSION*>(record);
    nlohmann::ordered_json j;
    auto array = [](const UCHAR* values, std::size_t n) { return std::vector<unsigned>(values, values + n); };
#define FIELD(name) j[#name] = ad.name
#define ARRAY(name) j[#name] = array(ad.name, sizeof ad.name)
    ARRAY(AsyncTarget);
    j["ChipBase"] = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(ad.ChipBase));
    FIELD(InitiatorId);
    j["CurrentLu"] = ad.CurrentLu != nullptr;
    FIELD(PathId);
    FIELD(InterruptStatus);
    FIELD(Phase);
    FIELD(BusFree);
    j["MessageOut"] = array(ad.MessageOut, ad.MessageOutLength < sizeof ad.MessageOut ? ad.MessageOutLength : sizeof ad.MessageOut);
    FIELD(MessageOutLength);
    FIELD(TargetId);
    FIELD(Lun);
    ARRAY(NoSelect);
    FIELD(ParityEnable);
    ARRAY(SdtrSent);
    ARRAY(SdtrValid);
    ARRAY(OfferPeriod);
    ARRAY(OfferOffset);
    ARRAY(SyncPeriod);
    ARRAY(SyncOffset);
    ARRAY(SyncPeriodReg);
    ARRAY(SyncOffsetReg);
    ARRAY(TargetPeriod);
    ARRAY(TargetOffset);
    FIELD(ResetDelaySet);
    FIELD(ResetDelay);
    FIELD(SettlePending);
    FIELD(SettleCount);
    FIELD(TransferWidth);
#if ORVO_SOCKET_SETUP
    FIELD(PcicPort);
    FIELD(PcicSocket);
    FIELD(PcicIndexPort);
    FIELD(PcicDataPort);
    FIELD(PcicRegOffset);
    FIELD(CorOffset);
    FIELD(ConfigIndex);
#endif
    FIELD(DeviceCheck);
    FIELD(SignatureFlag);
#if ORVO_HAS_DMA_AND_DELAY
    FIELD(DataInDelay);
    FIELD(DmaMode);
#endif
#undef FIELD
#undef ARRAY
    return j;
}

} // namespace orvo::tool
