#pragma once
// The adapter record's invariants as a harness property. Compiled with the build's own
// switches (the record's fields differ per build).

#include "tests/fuzz/harness_checks.h"
#include "tools/orvo/adapter_record_invariants.h"

namespace orvo::fuzz {

inline void require_sane_adapter_record(const ADAPTER_EXTENSION& ad, const char* when) {
    const std::vector<std::string> problems = tool::adapter_record_problems(ad);
    if (!problems.empty()) property_broken("adapter record %s: %s", when, problems.front().c_str());
}

} // namespace orvo::fuzz
