#pragma once
// A driver build on a simulated PC with a disk at ID 0, for pulling the card under it: runs
// each request against a bound of virtual time, tells whether a request reported good carries
// the data the disk really holds, and keeps the longest time a request took. SteppedBoot does
// the same machine's boot in steps, for pulling the card during it.

#include "tests/frame/driver_rig.h"
#include "tests/scsiport/contract_guard.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orvo::testing {

// No request may stay open longer than this: its own time-out (10 s) and the poll budgets the
// driver may run through inside one call before it returns, with room to spare.
inline constexpr io::Nanoseconds kRequestBound = 60 * io::kSecond;

// The longest virtual time one request took, submission to completion, over the whole run.
struct LongestRequest {
    io::Nanoseconds time = 0;
    std::string where;
    static LongestRequest& of_this_run();
    void note(io::Nanoseconds took, const std::string& what);
};

class RemovalRig {
public:
    explicit RemovalRig(const std::string& build, std::function<void(machine::MachineDescription&)> machine = {});

    DriverRig& rig() { return rig_; }
    machine::SimulatedPc& pc() { return rig_.pc(); }
    io::Nanoseconds now() { return pc().backplane().clock.now(); }

    // Submits the request and runs the host for at most kRequestBound of virtual time; a
    // request still open then is a failure of the test (a hang).
    scsiport::RequestResult run(const scsiport::RequestSpec& spec);
    // When each port access of the request ends, counted from its submission, in a run with
    // the card in place. Pulling the card at one of these times makes that access the first
    // to find it gone; together they are every point at which the driver can notice.
    std::vector<io::Nanoseconds> access_times(const scsiport::RequestSpec& spec);
    // When the driver let go of a request after the card went at `pulled_at`: its time-out
    // report, or its completion when it completed the request itself.
    io::Nanoseconds driver_let_go(const scsiport::RequestResult& result, io::Nanoseconds pulled_at);
    // A READ (10) reported good must hold the disk's bytes, a WRITE (10) must have put its
    // bytes on the disk, and either must report the whole length moved; other commands move
    // no data.
    bool data_arrived(const scsiport::RequestSpec& spec, const scsiport::RequestResult& result);
    // Pulls the card at the first check (every `every` of virtual time) at which `ready`
    // holds; records what the bus was doing then.
    void pull_card_when(std::function<bool()> ready, io::Nanoseconds every = 10 * io::kMicrosecond);
    bool pulled() const { return pulled_; }
    const std::string& bus_at_pull() const { return bus_at_pull_; }

    static bool succeeded(const scsiport::RequestResult& r) { return SRB_STATUS(r.srb_status) == SRB_STATUS_SUCCESS; }

private:
    std::vector<std::uint8_t> disk_bytes(std::uint64_t offset, std::size_t length);
    void check_pull(std::function<bool()> ready, io::Nanoseconds every);

    DriverRig rig_;
    bool pulled_ = false;
    std::string bus_at_pull_;
};

// A build booting on a machine with a disk at ID 0, step by step so that the card can go at
// any moment of it: the module's load (discovery, initialisation with its bus reset), then
// the port driver's bus scan (host().scan_bus()). Every contract violation fails the test.
class SteppedBoot {
public:
    explicit SteppedBoot(const std::string& build);
    ~SteppedBoot();

    machine::SimulatedPc& pc() { return *pc_; }
    scsiport::PortDriver& host() { return *host_; }
    io::Nanoseconds now() { return pc_->backplane().clock.now(); }
    // Discovery and initialisation.
    void load();

private:
    ScratchDir dir_;
    std::unique_ptr<machine::SimulatedPc> pc_;
    std::unique_ptr<scsiport::PortDriver> host_;
    scsiport::testing::ContractGuard guard_;
    std::string module_;
};

// A READ (10) or WRITE (10) of `blocks` blocks at `lba` of target 0; writes carry a pattern
// made from `seed`.
scsiport::RequestSpec disk_read(std::uint32_t lba, std::uint16_t blocks);
scsiport::RequestSpec disk_write(std::uint32_t lba, std::uint16_t blocks, unsigned seed);

} // namespace orvo::testing
