#include "tools/orvo/chaos.h"

#include "machine/pc.h"
#include "scsiport/host/port_driver.h"
#include "tools/orvo/adapter_record.h"
#include "tools/orvo/chaos_checks.h"
#include "tools/orvo/chaos_requests.h"
#include "tools/orvo/report.h"
#include "tools/orvo/session.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace orvo::tool {

namespace {

using scsiport::RequestId;
using scsiport::RequestSpec;

constexpr std::uint8_t kDiskId = 0;
constexpr std::uint8_t kChaosIds[] = {2, 5};  // 1, 3, 4 and 6 stay empty; 7 is the adapter
constexpr std::uint64_t kDiskBytes = 2u << 20;
constexpr std::uint64_t kChaosDiskBytes = 1u << 20;
constexpr unsigned kLargestBatch = 3;  // requests in flight together, to different targets
// Idle time between batches, as requests come from a running system: the bus and the
// targets see time pass also when the driver is not called.
constexpr io::Nanoseconds kLongestPause = 5 * io::kMillisecond;

// Bytes that differ from block to block and within a block, so that data landing at the wrong
// offset cannot pass for the right data.
void fill_image(scsi::ImageFile& image, std::uint64_t seed) {
    std::vector<std::uint8_t> bytes(image.size());
    scsi::SeededRandom(seed).fill(bytes);
    if (!image.write(0, bytes.data(), bytes.size())) throw std::runtime_error(image.path() + ": cannot be filled");
}

std::string describe(const RequestSpec& spec) {
    std::string what = spec.function == SRB_FUNCTION_EXECUTE_SCSI ? "cdb " : "function ";
    char hex[4];
    if (spec.function != SRB_FUNCTION_EXECUTE_SCSI) {
        std::snprintf(hex, sizeof hex, "%02x", unsigned(spec.function));
        what += hex;
    }
    for (const std::uint8_t b : spec.cdb) {
        std::snprintf(hex, sizeof hex, "%02x", b);
        what += hex;
    }
    char line[200];
    std::snprintf(line, sizeof line, "target %u lun %u %s, %u bytes in, %zu bytes out, time-out %u s",
                  unsigned(spec.target), unsigned(spec.lun), what.c_str(), spec.data_in_length, spec.data_out.size(),
                  unsigned(spec.timeout_seconds));
    return line;
}

// One build on its machine for the length of a run.
class ChaosMachine {
public:
    ChaosMachine(const std::string& build, const ChaosOptions& options, ChaosBuildReport& report);
    void run();

private:
    struct Sent {
        unsigned index;
        RequestSpec spec;
        RequestId id;
    };

    void run_batch(std::vector<Sent>& batch);
    void pause(io::Nanoseconds length);
    void check_request(const Sent& sent);
    void check_record(unsigned index);
    void take_contract_violations(unsigned index);
    void violation(const char* kind, unsigned index, std::string message);
    const scsi::ImageFile* image_at(std::uint8_t target);
    io::Nanoseconds bound(const RequestSpec& spec) const {
        return io::Nanoseconds{spec.timeout_seconds} * io::kSecond + options_.hang_slack;
    }

    const ChaosOptions& options_;
    ChaosBuildReport& report_;
    scsi::SeededRandom random_;
    ScratchDirectory dir_;
    std::ofstream bus_trace_;  // before the machine, whose bus writes to it
    std::unique_ptr<machine::SimulatedPc> pc_;
    std::vector<std::unique_ptr<scsi::ChaosTarget>> chaos_;
    std::unique_ptr<scsiport::PortDriver> host_;
    DiskBlocks disks_{};
    std::vector<std::pair<std::uint8_t, StoredDataWatch>> stored_;  // per disk's ID
    std::vector<scsiport::Violation> contract_;  // reported since the last look
    std::uint64_t resets_at_start_ = 0;
    unsigned batch_end_ = 0;
};

ChaosMachine::ChaosMachine(const std::string& build, const ChaosOptions& options, ChaosBuildReport& report)
    : options_(options), report_(report), random_(options.seed) {
    machine::MachineDescription description = machine::default_description(dir_.path());
    description.devices.resize(1);
    description.devices[0].id = kDiskId;
    description.devices[0].size_bytes = kDiskBytes;
    pc_ = std::make_unique<machine::SimulatedPc>(std::move(description));
    if (options.bus_trace) {
        bus_trace_.open(*options.bus_trace, std::ios::app);
        if (!bus_trace_) throw std::runtime_error(options.bus_trace->string() + ": cannot be written");
        bus_trace_ << "# " << build << ", seed " << options.seed << '\n';
        pc_->bus().trace().set_sink([this](std::string_view line) { bus_trace_ << line << '\n'; });
    }
    auto& disk = static_cast<scsi::DiskUnit&>(*pc_->target(kDiskId)->unit(0));
    fill_image(disk.image(), options.seed ^ 0xD15C);
    disks_[kDiskId] = disk.block_count();
    for (const std::uint8_t id : kChaosIds) {
        const std::string path = (dir_.path() / ("chaos" + std::to_string(id) + ".img")).string();
        auto unit = std::make_unique<scsi::DiskUnit>(scsi::ImageFile::open_or_create(path, kChaosDiskBytes),
                                                     scsi::Identity{"ORVO", "CHAOS DISK", "1.0"});
        fill_image(unit->image(), options.seed ^ (0xC4A05ull << id));
        disks_[id] = unit->block_count();
        // Each target its own stream, drawn from the run's seed.
        chaos_.push_back(std::make_unique<scsi::ChaosTarget>(pc_->bus(), id, random_.next(), std::move(unit)));
    }

    // The card where the build expects it, as the machine's set-up leaves it.
    scsiport::HostConfig config;
    if (build != "orvontx") {
        pc_->place_configured_card(build);
        const auto& card = pc_->description().card;
        config.adapter.first_access_range = scsiport::BusRange{card.io_base, card.io_length, false};
    }
    host_ = std::make_unique<scsiport::PortDriver>(pc_->backplane(), config);
    host_->contract().set_handler([this](const scsiport::Violation& v) { contract_.push_back(v); });
    host_->load_module(options.driver_dir ? *options.driver_dir / (build + ".so") : driver_module(build));
    if (!host_->ready()) {
        throw std::runtime_error(build + ": the adapter is not ready (" + scsiport::to_string(host_->adapter_state()) + ")");
    }
    for (const std::uint8_t id : {kDiskId, kChaosIds[0], kChaosIds[1]}) stored_.emplace_back(id, *image_at(id));
    resets_at_start_ = pc_->bus().stats().resets;
    take_contract_violations(0);
    check_record(0);
}

void ChaosMachine::run() {
    std::vector<Sent> batch;
    for (unsigned index = 0; index < options_.requests; ++index) {
        RequestSpec spec = random_request(random_, disks_);
        // One request per target in a batch: its data is checked against an image nobody
        // else changes meanwhile.
        const bool target_busy = std::any_of(batch.begin(), batch.end(), [&](const Sent& s) {
            return s.spec.target == spec.target;
        });
        if (target_busy || batch.size() == kLargestBatch || (!batch.empty() && random_.chance(50))) run_batch(batch);
        batch.push_back({index, std::move(spec), 0});
    }
    run_batch(batch);
    host_->shutdown();
    take_contract_violations(options_.requests == 0 ? 0 : options_.requests - 1);

    report_.bus_resets = pc_->bus().stats().resets - resets_at_start_;
    report_.timeouts = unsigned(host_->timeouts().size());
    for (const auto& target : chaos_) {
        const scsi::ChaosStats& stats = target->stats();
        for (std::size_t i = 0; i < scsi::kChaosActions; ++i) report_.actions[i] += stats.actions[i];
        report_.reselections += stats.reselections + stats.phantom_reselections;
        report_.phantom_reselections += stats.phantom_reselections;
        report_.gave_up += stats.gave_up;
    }
}

void ChaosMachine::run_batch(std::vector<Sent>& batch) {
    if (batch.empty()) return;
    batch_end_ = batch.back().index + 1;
    io::Nanoseconds budget = 0;
    for (Sent& sent : batch) {
        if (bus_trace_.is_open()) bus_trace_ << "# request " << sent.index << ": " << describe(sent.spec) << '\n';
        sent.id = host_->submit(sent.spec);
        budget += bound(sent.spec);
        const std::optional<BlockRange> written = write_range(sent.spec.cdb);
        for (auto& [id, watch] : stored_) {
            if (written && id == sent.spec.target && sent.spec.lun == 0) watch.expect_write(*written);
        }
    }
    host_->run_until(pc_->backplane().clock.now() + budget);
    for (const Sent& sent : batch) check_request(sent);
    for (auto& [id, watch] : stored_) {
        if (const auto problem = watch.check()) violation("data", batch.back().index, "target " + std::to_string(id) + ": " + *problem);
    }
    take_contract_violations(batch.back().index);
    check_record(batch.back().index);
    report_.requests += unsigned(batch.size());
    batch.clear();
    pause(random_.below(kLongestPause));
}

// The port driver's timers run on the way; the rest is idle time.
void ChaosMachine::pause(io::Nanoseconds length) {
    io::VirtualClock& clock = pc_->backplane().clock;
    const io::Nanoseconds until = clock.now() + length;
    host_->run_until(until);
    clock.advance_to(until);
}

void ChaosMachine::check_request(const Sent& sent) {
    const scsiport::RequestResult& current = host_->result(sent.id);
    if (const auto problem = check_finished(current, bound(sent.spec))) {
        violation("hang", sent.index, describe(sent.spec) + ": " + *problem);
        if (current.state != scsiport::RequestState::Completed) return;  // left with the host
    }
    const scsiport::RequestResult r = host_->take_result(sent.id);
    ++report_.completions[srb_status_name(r.srb_status)];
    if (bus_trace_.is_open()) {
        bus_trace_ << "# request " << sent.index << " ended: " << srb_status_name(r.srb_status) << ", SCSI status "
                   << unsigned(r.scsi_status) << ", " << r.data_transfer_length << " bytes" << (r.timed_out ? ", timed out" : "")
                   << '\n';
    }
    const io::Nanoseconds took = r.completed_at - r.started_at;
    if (took > report_.longest) {
        report_.longest = took;
        report_.longest_request = sent.index;
    }
    const scsi::ImageFile* image = sent.spec.lun == 0 ? image_at(sent.spec.target) : nullptr;
    if (image == nullptr) return;
    for (const auto& problem : {check_read_data(sent.spec, r, *image), check_write_data(sent.spec, r, *image)}) {
        if (problem) violation("data", sent.index, describe(sent.spec) + ": " + *problem);
    }
}

void ChaosMachine::check_record(unsigned index) {
    for (std::string& problem : adapter_record_problems(report_.build, host_->device_extension())) {
        violation("record", index, "adapter record: " + problem);
    }
}

void ChaosMachine::take_contract_violations(unsigned index) {
    for (const scsiport::Violation& v : contract_) {
        violation("contract", index, std::string(scsiport::to_string(v.kind)) + ": " + v.message);
    }
    contract_.clear();
}

void ChaosMachine::violation(const char* kind, unsigned index, std::string message) {
    report_.violations.push_back({kind, index, std::max(batch_end_, index + 1), std::move(message)});
}

const scsi::ImageFile* ChaosMachine::image_at(std::uint8_t target) {
    if (target == kDiskId) return &static_cast<scsi::DiskUnit&>(*pc_->target(kDiskId)->unit(0)).image();
    for (const auto& chaos : chaos_) {
        if (chaos->id() == target) return &chaos->disk().image();
    }
    return nullptr;
}

} // namespace

std::size_t ChaosReport::violations() const {
    std::size_t n = 0;
    for (const ChaosBuildReport& b : builds) n += b.violations.size();
    return n;
}

ChaosBuildReport run_chaos_build(const std::string& build, const ChaosOptions& options) {
    ChaosBuildReport report;
    report.build = build;
    report.seed = options.seed;
    ChaosMachine(build, options, report).run();
    return report;
}

ChaosReport run_chaos(const ChaosOptions& options) {
    ChaosReport report;
    report.seed = options.seed;
    report.requests = options.requests;
    const std::vector<std::string> all(std::begin(machine::kBuilds), std::end(machine::kBuilds));
    for (const std::string& build : options.builds.empty() ? all : options.builds) {
        report.builds.push_back(run_chaos_build(build, options));
    }
    return report;
}

std::string replay_command(const std::string& build, std::uint64_t seed, const ChaosViolation& v) {
    return "orvo chaos --build " + build + " --seed " + std::to_string(seed) + " --requests " +
           std::to_string(v.batch_end);
}

} // namespace orvo::tool
