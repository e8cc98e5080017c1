#pragma once
// The adapter record of a loaded build, field by field under the driver's own names. Each
// build's record has its own layout, so the reader is compiled once per build.

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace orvo::tool {

// Fields of the record at `record` as laid out by `build`; per-target fields as arrays of 8,
// per-target/LUN tables as arrays of 64. Throws std::invalid_argument for an unknown build.
nlohmann::ordered_json adapter_record_fields(const std::string& build, const void* record);

// The record's invariants between two calls into the driver (indices such as TargetId, Lun
// and MessageOutLength within what they index, flags 0 or 1): one line per broken one, none
// when all hold. Throws std::invalid_argument for an unknown build.
std::vector<std::string> adapter_record_problems(const std::string& build, const void* record);

} // namespace orvo::tool
