// Compiled once per build with that build's switches; ORVO_RECORD_CHECKS names the function.
#include "tools/orvo/adapter_record_invariants.h"

namespace orvo::tool {

std::vector<std::string> ORVO_RECORD_CHECKS(const void* record) {
    return adapter_record_problems(*static_cast<const ADAPTER_EXTENSION*>(record));
}

} // namespace orvo::tool
