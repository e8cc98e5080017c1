#pragma once
// The adapter record of a loaded build, field by field under the driver's own names. Each
// build's record has its own layout, so the reader is compiled once per build.

#include <nlohmann/json.hpp>

#include <string>

namespace orvo::tool {

// Fields of the record at `record` as laid out by `build`; per-target fields as arrays of 8,
// per-target/LUN tables as arrays of 64. Throws std::invalid_argument for an unknown build.
nlohmann::ordered_json adapter_record_fields(const std::string& build, const void* record);

} // namespace orvo::tool
