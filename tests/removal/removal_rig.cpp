#include "tests/removal/removal_rig.h"

#include "machine/scsi/bus.h"

#include <cstdio>
#include <fstream>

namespace orvo::testing {

namespace {

constexpr std::size_t kBlock = 512;
constexpr std::uint8_t kRead10 = 0x28;
constexpr std::uint8_t kWrite10 = 0x2A;

// Prints the figure once every test has run.
class LongestRequestReport : public ::testing::Environment {
public:
    void TearDown() override {
        const LongestRequest& longest = LongestRequest::of_this_run();
        if (longest.time == 0) return;
        std::printf("longest request: %.3f ms of virtual time (%s)\n", double(longest.time) / io::kMillisecond,
                    longest.where.c_str());
    }
};
[[maybe_unused]] ::testing::Environment* const kReport = ::testing::AddGlobalTestEnvironment(new LongestRequestReport);

std::uint32_t lba_of(const scsiport::RequestSpec& spec) {
    return std::uint32_t(spec.cdb[2]) << 24 | std::uint32_t(spec.cdb[3]) << 16 | std::uint32_t(spec.cdb[4]) << 8 |
           spec.cdb[5];
}

} // namespace

LongestRequest& LongestRequest::of_this_run() {
    static LongestRequest longest;
    return longest;
}

void LongestRequest::note(io::Nanoseconds took, const std::string& what) {
    if (took <= time) return;
    time = took;
    where = what;
}

RemovalRig::RemovalRig(const std::string& build, std::function<void(machine::MachineDescription&)> machine)
    : rig_(build, {std::nullopt, std::move(machine)}) {
    rig_.clear_unit_attention(0);
}

scsiport::RequestResult RemovalRig::run(const scsiport::RequestSpec& spec) {
    scsiport::PortDriver& host = rig_.host();
    const scsiport::RequestId id = host.submit(spec);
    host.run_until(now() + kRequestBound);
    const scsiport::RequestResult result = host.result(id);
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (result.state != scsiport::RequestState::Completed) {
        ADD_FAILURE() << "request still " << to_string(result.state) << " after "
                      << kRequestBound / io::kSecond << " s of virtual time";
        return result;
    }
    LongestRequest::of_this_run().note(result.completed_at - result.submitted_at,
                                       std::string(test->test_suite_name()) + "." + test->name());
    return host.take_result(id);
}

std::vector<io::Nanoseconds> RemovalRig::access_times(const scsiport::RequestSpec& spec) {
    io::Backplane& machine = pc().backplane();
    const io::Nanoseconds start = now();
    std::vector<io::Nanoseconds> times;
    machine.ports.set_trace([&](std::string_view) {
        if (times.empty() || times.back() != now() - start) times.push_back(now() - start);
    });
    run(spec);
    machine.ports.set_trace(nullptr);
    return times;
}

io::Nanoseconds RemovalRig::driver_let_go(const scsiport::RequestResult& result, io::Nanoseconds pulled_at) {
    for (const scsiport::LoggedError& e : rig_.host().logged_errors()) {
        if (e.time >= pulled_at) return e.time;
    }
    return result.completed_at;
}

std::vector<std::uint8_t> RemovalRig::disk_bytes(std::uint64_t offset, std::size_t length) {
    const machine::MachineDescription& d = pc().description();
    std::ifstream image(d.resolve(d.devices[0].image), std::ios::binary);
    std::vector<std::uint8_t> bytes(length);
    image.seekg(static_cast<std::streamoff>(offset));
    image.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    return bytes;
}

bool RemovalRig::data_arrived(const scsiport::RequestSpec& spec, const scsiport::RequestResult& result) {
    const bool write = spec.cdb[0] == kWrite10;
    const std::size_t length = write ? spec.data_out.size() : spec.data_in_length;
    if (result.data_transfer_length != length) return false;
    if (spec.cdb[0] != kRead10 && !write) return length == 0;
    const std::vector<std::uint8_t> disk = disk_bytes(std::uint64_t{lba_of(spec)} * kBlock, length);
    return write ? disk == spec.data_out : disk == result.data;
}

void RemovalRig::pull_card_when(std::function<bool()> ready, io::Nanoseconds every) {
    pc().backplane().clock.schedule_in(every, [this, ready = std::move(ready), every] { check_pull(ready, every); });
}

void RemovalRig::check_pull(std::function<bool()> ready, io::Nanoseconds every) {
    if (!ready()) {
        pull_card_when(std::move(ready), every);
        return;
    }
    const scsi::ScsiBus& bus = pc().bus();
    bus_at_pull_ = bus.connected() ? std::string("connected in ") + scsi::phase_trace_name(bus.phase()) : "not connected";
    pc().remove_card();
    pulled_ = true;
}

SteppedBoot::SteppedBoot(const std::string& build) : module_(DriverModule(build)) {
    machine::MachineDescription description = machine::default_description(dir_.path());
    description.devices.resize(1);
    description.devices[0].size_bytes = 8u << 20;
    pc_ = std::make_unique<machine::SimulatedPc>(std::move(description));
    scsiport::HostConfig config;
    if (build != "orvontx") {
        pc_->place_configured_card(build);
        const machine::CardDescription& card = pc_->description().card;
        config.adapter.first_access_range = scsiport::BusRange{card.io_base, card.io_length, false};
    }
    host_ = std::make_unique<scsiport::PortDriver>(pc_->backplane(), config);
    guard_.attach(*host_);
}

SteppedBoot::~SteppedBoot() { host_->shutdown(); }

void SteppedBoot::load() { host_->load_module(module_); }

scsiport::RequestSpec disk_read(std::uint32_t lba, std::uint16_t blocks) { return DriverRig::read10(0, lba, blocks); }

scsiport::RequestSpec disk_write(std::uint32_t lba, std::uint16_t blocks, unsigned seed) {
    std::vector<std::uint8_t> data(std::size_t{blocks} * kBlock);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + seed * 13 + i / 509);
    return DriverRig::write10(0, lba, std::move(data));
}

} // namespace orvo::testing
