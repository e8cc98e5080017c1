// The engine against a target that does anything after it is selected: the input is decoded
// into one request and a script for a ScriptedTarget (bytes in any phase, the reserved ones
// included, byte counts taken, disconnect, reselect, bus free), and the build's own driver
// (DriverEntry, through the port driver) runs the request on the FAS408 model. A second,
// well-behaved target may get a request queued behind it: the driver serves a reselection
// only while it polls for another request, so this is what lets the scripted target come
// back.
//
// Input:
//   byte 0  the request and its options:
//           bits 0-1  0 INQUIRY (36 bytes in), 1 READ(10) (512 in), 2 WRITE(10) (512 out),
//                     3 TEST UNIT READY
//           bit 2 "/AS" (no synchronous offer)   bit 3 "/32"   bit 4 "/DMA"
//           bit 5     the request goes to LUN 1 (else LUN 0)
//           bit 6     the port driver fetches sense data after CHECK CONDITION
//           bit 7     no preamble: the script starts right at selection; otherwise the target
//                     first takes the selection's message bytes and the command, as a
//                     well-behaved target does
//   byte 1  the data buffer's length: 0 = the command's own, else this many bytes
//   byte 2  bit 0: the second target's request; bit 1: "/NODELAY"
//   then steps, each one op byte and its operands:
//           bits 0-2  0-2 send n bytes (n, then the bytes), 3 take n bytes (n),
//                     4 send a byte n x 16 times (n, the byte), 5 disconnect, 6 bus free,
//                     7 reselect (the LUN named: one byte)
//           bits 3-5  the phase (0 DATA OUT ... 7 MESSAGE IN; 4 and 5 are reserved)
//           bits 6-7  the delay before the step: 2 us, 50 us, 1 ms, 20 ms
//
// A connection that makes no progress for a while is ended by another device's bus reset
// (MachineWatch says why).
//
// Checked for every input: no crash or overrun (the sanitizers and the port driver's contract
// checks), every request completes exactly once (by the driver, or by the port driver's
// time-out and bus reset) reporting no more bytes than its buffer holds, a clean contract,
// the adapter record's indices and counts in range all along, and bounded virtual time.

#include "ScsiMiniPort/routines.h"
#include "machine/fas408/fas408.h"
#include "machine/io/backplane.h"
#include "machine/scsi/bus.h"
#include "machine/scsi/scripted_target.h"
#include "tests/fuzz/adapter_record_checks.h"
#include "tests/fuzz/harness_checks.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvo::fuzz {
namespace {

using scsi::Phase;
using scsi::ScriptStep;

constexpr std::uint32_t kRangeStart = 0x340;  // what the operating system gave the card
constexpr std::uint8_t kTargetId = 3;
constexpr std::uint8_t kCompanionId = 5;
constexpr std::size_t kMaxSteps = 64;
constexpr std::uint32_t kRepeatUnit = 16;
constexpr io::Nanoseconds kStepDelays[4] = {2 * io::kMicrosecond, 50 * io::kMicrosecond, io::kMillisecond,
                                            20 * io::kMillisecond};
// The adapter record and the bus are looked at this often while the requests run.
constexpr io::Nanoseconds kWatchInterval = io::kMillisecond;
// A connection that moves no byte and no script step for this long is stuck: longer than any
// step delay.
constexpr io::Nanoseconds kStuckConnection = 50 * io::kMillisecond;
constexpr io::Nanoseconds kResetHold = 25 * io::kMicrosecond;
// The request's own time-out is 10 s; its REQUEST SENSE may take as long again.
constexpr io::Nanoseconds kVirtualTimeLimit = 120 * io::kSecond;

// Reads the input front to back; past its end every byte reads 0.
class InputReader {
public:
    InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool more() const { return at_ < size_; }
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::vector<std::uint8_t> bytes(std::size_t n) {
        const std::size_t take = std::min(n, size_ - std::min(at_, size_));
        std::vector<std::uint8_t> out(data_ + at_, data_ + at_ + take);
        at_ += take;
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

struct Case {
    scsiport::RequestSpec request;
    std::string options;
    std::vector<ScriptStep> script;
    bool companion = false;  // a TEST UNIT READY to the well-behaved target, queued behind
    bool offer = true;       // the driver offers synchronous transfer at selection
};

scsiport::RequestSpec request_for(std::uint8_t selector, std::uint8_t length) {
    scsiport::RequestSpec spec;
    spec.target = kTargetId;
    switch (selector & 3) {
    case 0:
        spec.cdb = {0x12, 0, 0, 0, 36, 0};
        spec.data_in_length = length != 0 ? length : 36;
        break;
    case 1:
        spec.cdb = {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0};
        spec.data_in_length = length != 0 ? length : 512;
        break;
    case 2:
        spec.cdb = {0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0};
        spec.data_out.assign(length != 0 ? length : 512, 0x5A);
        break;
    default:
        spec.cdb = {0x00, 0, 0, 0, 0, 0};
        spec.data_in_length = length;
        break;
    }
    spec.lun = (selector & 0x20) ? 1 : 0;
    spec.sense_length = (selector & 0x40) ? 18 : 0;
    return spec;
}

scsiport::RequestSpec test_unit_ready(std::uint8_t target) {
    scsiport::RequestSpec spec;
    spec.target = target;
    spec.cdb = {0x00, 0, 0, 0, 0, 0};
    return spec;
}

// IDENTIFY, with the SDTR offer when one goes out, then the command.
std::vector<ScriptStep> preamble(bool offer, std::size_t cdb_length) {
    return {ScriptStep::receive(Phase::MessageOut, offer ? 6 : 1),
            ScriptStep::receive(Phase::Command, std::uint32_t(cdb_length))};
}

ScriptStep decode_step(InputReader& in) {
    const std::uint8_t op = in.byte();
    const auto phase = static_cast<Phase>((op >> 3) & 7);
    ScriptStep step;
    switch (op & 7) {
    case 0:
    case 1:
    case 2: step = ScriptStep::send(phase, in.bytes(in.byte())); break;
    case 3: step = ScriptStep::receive(phase, in.byte()); break;
    case 4: {
        const std::uint32_t count = in.byte() * kRepeatUnit;
        step = ScriptStep::send(phase, std::vector<std::uint8_t>(count, in.byte()));
        break;
    }
    case 5: step = ScriptStep::disconnect(); break;
    case 6: step = ScriptStep::release(); break;
    default: step = ScriptStep::reselect(in.byte(), 0); break;
    }
    step.delay = kStepDelays[op >> 6];
    return step;
}

Case decode(const std::uint8_t* data, std::size_t size) {
    InputReader in(data, size);
    const std::uint8_t selector = in.byte();
    Case c;
    c.request = request_for(selector, in.byte());
    const std::uint8_t more = in.byte();
    c.companion = (more & 0x01) != 0;
    c.offer = (selector & 0x04) == 0;
    if (!c.offer) c.options += "/AS ";
    if (selector & 0x08) c.options += "/32 ";
    if (selector & 0x10) c.options += "/DMA ";
    if (more & 0x02) c.options += "/NODELAY ";
    if ((selector & 0x80) == 0) c.script = preamble(c.offer, c.request.cdb.size());
    while (in.more() && c.script.size() < kMaxSteps) c.script.push_back(decode_step(in));
    return c;
}

// Looks at the machine at every interval of virtual time while the requests run: checks the
// adapter record, and ends a stuck connection.
//
// A target that holds the bus without moving a byte makes the driver wait out a poll budget
// of five seconds (five million polls), which under full instrumentation costs more host
// time than a fuzzing run can give one input. So once a connection has made no progress for
// kStuckConnection, another device resets the bus, which the driver must survive as well.
// (Selections and reselections end on their own, by their time-outs.)
// The budgets running out are covered by the engine's own tests.
class MachineWatch {
public:
    MachineWatch(io::VirtualClock& clock, scsi::ScsiBus& bus, const scsi::ScriptedTarget& target,
                 std::function<void()> check)
        : clock_(clock), bus_(bus), target_(target), check_(std::move(check)) {
        arm();
    }
    ~MachineWatch() { clock_.cancel(event_); }
    MachineWatch(const MachineWatch&) = delete;
    MachineWatch& operator=(const MachineWatch&) = delete;

private:
    struct Progress {
        std::uint64_t bytes = 0;
        std::size_t step = 0;
        scsi::ScsiBus::State state = scsi::ScsiBus::State::Free;
        bool operator==(const Progress&) const = default;
    };
    Progress now() const {
        return {bus_.stats().bytes_in + bus_.stats().bytes_out, target_.position(), bus_.state()};
    }
    void arm() {
        event_ = clock_.schedule_in(kWatchInterval, [this] {
            check_();
            const Progress progress = now();
            if (progress != last_ || progress.state != scsi::ScsiBus::State::Connected) {
                last_ = progress;
                since_ = clock_.now();
            } else if (clock_.now() - since_ >= kStuckConnection) {
                bus_.reset(kResetHold);
                since_ = clock_.now();
            }
            arm();
        });
    }
    io::VirtualClock& clock_;
    scsi::ScsiBus& bus_;
    const scsi::ScriptedTarget& target_;
    std::function<void()> check_;
    Progress last_;
    io::Nanoseconds since_ = 0;
    io::VirtualClock::EventId event_ = 0;
};

void require_ended(scsiport::PortDriver& host, scsiport::RequestId id, const scsiport::RequestSpec& spec,
                   const char* which) {
    const scsiport::RequestState state = host.result(id).state;
    if (state != scsiport::RequestState::Completed) {
        property_broken("the %s request did not complete (%s)", which, scsiport::to_string(state));
    }
    const scsiport::RequestResult result = host.take_result(id);
    const std::size_t buffer = spec.data_in_length + spec.data_out.size();
    if (result.data_transfer_length > buffer) {
        property_broken("the %s request reports %lu bytes moved for a buffer of %zu", which,
                        static_cast<unsigned long>(result.data_transfer_length), buffer);
    }
}

void run(const Case& c) {
    io::Backplane machine;
    scsi::ScsiBus bus(machine.clock);
    fas408::Fas408 chip(machine.clock, bus);
    chip.attach(machine.ports, kRangeStart + ORVO_CHIP_OFFSET);
    scsi::ScriptedTarget target(bus, kTargetId, c.script);
    std::vector<ScriptStep> companion_script = preamble(c.offer, 6);
    companion_script.insert(companion_script.end(), {ScriptStep::send(Phase::Status, {0x00}),
                                                     ScriptStep::send(Phase::MessageIn, {0x00}), ScriptStep::release()});
    scsi::ScriptedTarget companion(bus, kCompanionId, std::move(companion_script));

    scsiport::HostConfig config;
    config.adapter.first_access_range = scsiport::BusRange{kRangeStart, 0x20, false};
    config.adapter.argument_string = c.options;
    scsiport::PortDriver host(machine, config);
    const VirtualTimeLimit limit(machine.clock, kVirtualTimeLimit, "the request");

    host.load_entry(DriverEntry);
    if (!host.ready()) property_broken("adapter %s", scsiport::to_string(host.adapter_state()));
    const auto& ad = *static_cast<const ADAPTER_EXTENSION*>(host.device_extension());
    {
        const MachineWatch watch(machine.clock, bus, target,
                                 [&] { require_sane_adapter_record(ad, "while the requests ran"); });
        const scsiport::RequestId scripted = host.submit(c.request);
        const scsiport::RequestSpec second = test_unit_ready(kCompanionId);
        const std::optional<scsiport::RequestId> queued =
            c.companion ? std::optional<scsiport::RequestId>(host.submit(second)) : std::nullopt;
        host.run_until_idle();
        require_ended(host, scripted, c.request, "scripted target's");
        if (queued) require_ended(host, *queued, second, "second target's");
    }
    require_sane_adapter_record(ad, "after the request");
    require_clean_contract(host, "by the request's end");
    host.shutdown();
    require_clean_contract(host, "at shutdown");
}

} // namespace
} // namespace orvo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    orvo::fuzz::run(orvo::fuzz::decode(data, size));
    return 0;
}
