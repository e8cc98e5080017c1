#pragma once
// Makes every miniport contract violation a test failure, except the kinds a test says it
// expects; those must then occur. Attach it to a host before loading a driver.

#include "scsiport/host/port_driver.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace orvo::scsiport::testing {

class ContractGuard {
public:
    explicit ContractGuard(PortDriver& host) { attach(host); }
    ContractGuard() = default;

    void attach(PortDriver& host) {
        host.contract().set_handler([this](const Violation& v) {
            seen_.push_back(v);
            if (!expected_.contains(v.kind)) ADD_FAILURE() << "contract violation: " << to_string(v.kind) << ": " << v.message;
        });
    }
    void expect(ViolationKind kind) { expected_.insert(kind); }
    const std::vector<Violation>& seen() const { return seen_; }

    // Fails for every expected kind that did not occur.
    void verify() const {
        for (const ViolationKind kind : expected_) {
            bool found = false;
            for (const Violation& v : seen_) found = found || v.kind == kind;
            if (!found) ADD_FAILURE() << "expected contract violation did not occur: " << to_string(kind);
        }
    }

private:
    std::set<ViolationKind> expected_;
    std::vector<Violation> seen_;
};

} // namespace orvo::scsiport::testing
