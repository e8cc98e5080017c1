#include "engine_fixture.h"

#include "machine/scsi/disk.h"

#include <charconv>
#include <cstdio>
#include <unistd.h>

namespace orvo::engine_test {

namespace {

constexpr std::uint8_t kConfig4Bank1 = 0x80;

// "W8 0343 43" / "RS32 0344 #21": direction, buffered, width, port, value or count.
bool parse_port_line(std::string_view line, ChipAccess& access, unsigned& port) {
    if (line.size() < 4) return false;
    access.write = line[0] == 'W';
    std::size_t at = 1;
    access.buffered = line[at] == 'S';
    if (access.buffered) ++at;
    unsigned bits = 0;
    auto r = std::from_chars(line.data() + at, line.data() + line.size(), bits);
    access.width = bits / 8;
    at = std::size_t(r.ptr - line.data()) + 1;
    r = std::from_chars(line.data() + at, line.data() + line.size(), port, 16);
    at = std::size_t(r.ptr - line.data()) + 1;
    if (access.buffered) ++at;  // '#'
    r = std::from_chars(line.data() + at, line.data() + line.size(), access.value, access.buffered ? 10 : 16);
    return r.ec == std::errc{};
}

} // namespace

EngineTest::EngineTest() {
    static int instance = 0;
    image_dir_ = std::filesystem::path(::testing::TempDir()) /
                 ("engine-" + std::to_string(::getpid()) + "-" + std::to_string(++instance));
    std::filesystem::create_directories(image_dir_);
    chip_.attach(machine_.ports, kChipBase);
    bus_.trace().keep_lines(true);
    machine_.ports.set_trace([this](std::string_view line) { trace_port(line); });
}

EngineTest::~EngineTest() {
    host_.reset();
    use_test_driver_setup(nullptr);
    disks_.clear();
    scripted_.clear();
    std::error_code ignored;
    std::filesystem::remove_all(image_dir_, ignored);
}

void EngineTest::TearDown() {
    if (host_ != nullptr) {
        host_->shutdown();
        for (const auto kind : expected_violations_) {
            EXPECT_TRUE(seen_violations_.contains(kind))
                << "expected contract violation did not occur: " << scsiport::to_string(kind);
        }
    }
    if (HasFailure()) ADD_FAILURE() << "chip: " << chip_.describe() << "\nbus:\n" << bus_text();
}

void EngineTest::trace_port(std::string_view line) {
    if (++traced_since_mark_ > kTracedAccessLimit) {
        // Not from inside the trace call itself: at the next clock step, before the next
        // access is traced.
        if (!trace_detaching_) {
            trace_detaching_ = true;
            machine_.clock.schedule_in(0, [this] { machine_.ports.set_trace(nullptr); });
        }
        return;
    }
    ChipAccess access;
    unsigned port = 0;
    if (!parse_port_line(line, access, port)) return;
    if (port < kChipBase || port >= kChipBase + 0x10u) return;
    access.offset = std::uint8_t(port - kChipBase);
    access.bank = bank_;
    access.time = access.last_time = machine_.clock.now();
    if (access.write && !access.buffered && access.offset == chip_reg::kConfig4) {
        bank_ = (access.value & kConfig4Bank1) ? 1 : 0;
    }
    if (!accesses_.list.empty() && !access.write && !access.buffered) {
        ChipAccess& last = accesses_.list.back();
        if (!last.write && !last.buffered && last.offset == access.offset && last.bank == access.bank &&
            last.value == access.value) {
            ++last.repeats;  // a poll that saw nothing new
            last.last_time = access.time;
            return;
        }
    }
    accesses_.list.push_back(access);
}

scsi::ScsiTarget& EngineTest::add_disk(std::uint8_t id, scsi::TargetBehaviour behaviour) {
    const auto path = image_dir_ / ("disk" + std::to_string(id) + ".img");
    auto image = scsi::ImageFile::open_or_create(path.string(), std::uint64_t{kDiskBlocks} * 512);
    const std::vector<std::uint8_t> pattern = disk_pattern(0, kDiskBlocks);
    image.write(0, pattern.data(), pattern.size());
    auto target = std::make_unique<scsi::ScsiTarget>(bus_, id, behaviour);
    target->attach_unit(0, std::make_unique<scsi::DiskUnit>(std::move(image)));
    disks_.push_back(std::move(target));
    return *disks_.back();
}

scsi::ScriptedTarget& EngineTest::add_scripted(std::uint8_t id, std::vector<scsi::ScriptStep> script) {
    scripted_.push_back(std::make_unique<scsi::ScriptedTarget>(bus_, id, std::move(script)));
    return *scripted_.back();
}

scsi::ScsiTarget& EngineTest::target(std::uint8_t id) {
    for (auto& disk : disks_) {
        if (disk->id() == id) return *disk;
    }
    throw std::out_of_range("no disk at target " + std::to_string(id));
}

void EngineTest::boot() {
    scsiport::HostConfig config;
    config.adapter.first_access_range = scsiport::BusRange{kChipBase, 0x10, false};
    config.adapter.initiator_id = DEFAULT_INITIATOR_ID;
    host_ = std::make_unique<scsiport::PortDriver>(machine_, config);
    host_->contract().set_handler([this](const scsiport::Violation& v) {
        seen_violations_.insert(v.kind);
        if (!expected_violations_.contains(v.kind)) {
            ADD_FAILURE() << "contract violation: " << scsiport::to_string(v.kind) << ": " << v.message;
        }
    });
    host_->set_event_sink([this](std::string_view line) { host_events_.emplace_back(line); });
    setup_.adjust = adjust_adapter;
    use_test_driver_setup(&setup_);
    host_->load_entry(EngineTestDriverEntry);
    ASSERT_TRUE(host_->ready()) << scsiport::to_string(host_->adapter_state());
}

ADAPTER_EXTENSION& EngineTest::adapter() { return *static_cast<PADAPTER_EXTENSION>(host_->device_extension()); }

LU_EXTENSION* EngineTest::unit(std::uint8_t target, std::uint8_t lun) {
    return static_cast<LU_EXTENSION*>(host_->logical_unit(0, target, lun));
}

scsiport::RequestResult EngineTest::run(const scsiport::RequestSpec& spec) { return host_->execute(spec); }

void EngineTest::clear_unit_attention(std::uint8_t target) {
    const auto result = run(test_unit_ready(target));
    ASSERT_EQ(result.state, scsiport::RequestState::Completed);
}

void EngineTest::probe(std::function<void(ADAPTER_EXTENSION&)> f, std::uint8_t target, std::uint8_t lun) {
    setup_.probe = std::move(f);
    scsiport::RequestSpec spec;
    spec.function = SRB_FUNCTION_IO_CONTROL;
    spec.target = target;
    spec.lun = lun;
    const auto result = run(spec);
    setup_.probe = nullptr;
    ASSERT_EQ(result.srb_status, SRB_STATUS_SUCCESS);
}

void EngineTest::stop_recording_ports() {
    machine_.ports.set_trace(nullptr);
    accesses_.list.clear();
}

void EngineTest::mark() {
    accesses_.list.clear();
    traced_since_mark_ = 0;
    bus_.trace().clear();
}

std::vector<std::uint32_t> AccessList::written(unsigned bank, std::uint8_t offset) const {
    std::vector<std::uint32_t> values;
    for (const ChipAccess& a : list) {
        if (a.write && !a.buffered && a.offset == offset && (a.bank == bank || offset == chip_reg::kConfig4)) {
            values.push_back(a.value);
        }
    }
    return values;
}

std::vector<std::pair<unsigned, std::uint32_t>> AccessList::buffered(bool write) const {
    std::vector<std::pair<unsigned, std::uint32_t>> runs;
    for (const ChipAccess& a : list) {
        if (a.buffered && a.write == write && a.bank == 1 && a.offset == chip_reg::kPioData) {
            runs.emplace_back(a.width, a.value);
        }
    }
    return runs;
}

std::vector<AccessList> EngineTest::selections() const {
    std::vector<AccessList> cut;
    for (const ChipAccess& a : accesses_.list) {
        if (a.write && !a.buffered && a.bank == 0 && a.offset == chip_reg::kDestId) cut.emplace_back();
        if (!cut.empty()) cut.back().list.push_back(a);
    }
    return cut;
}

std::vector<std::string> EngineTest::bus_events_from(const std::string& prefix) {
    const std::vector<std::string> all = bus_events();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].starts_with(prefix)) return {all.begin() + std::ptrdiff_t(i), all.end()};
    }
    return {};
}

scsiport::RequestSpec test_unit_ready(std::uint8_t target, std::uint8_t lun) {
    scsiport::RequestSpec spec;
    spec.target = target;
    spec.lun = lun;
    spec.cdb = {0x00, 0, 0, 0, 0, 0};
    return spec;
}

scsiport::RequestSpec read10(std::uint8_t target, std::uint32_t lba, std::uint16_t blocks, std::uint32_t length) {
    scsiport::RequestSpec spec;
    spec.target = target;
    spec.cdb = {0x28, 0, std::uint8_t(lba >> 24), std::uint8_t(lba >> 16), std::uint8_t(lba >> 8),
                std::uint8_t(lba), 0, std::uint8_t(blocks >> 8), std::uint8_t(blocks), 0};
    spec.data_in_length = length;
    return spec;
}

scsiport::RequestSpec write10(std::uint8_t target, std::uint32_t lba, std::vector<std::uint8_t> data) {
    scsiport::RequestSpec spec;
    spec.target = target;
    const auto blocks = std::uint16_t((data.size() + 511) / 512);
    spec.cdb = {0x2A, 0, std::uint8_t(lba >> 24), std::uint8_t(lba >> 16), std::uint8_t(lba >> 8),
                std::uint8_t(lba), 0, std::uint8_t(blocks >> 8), std::uint8_t(blocks), 0};
    spec.data_out = std::move(data);
    return spec;
}

std::vector<std::uint8_t> disk_pattern(std::uint32_t lba, std::uint32_t blocks) {
    std::vector<std::uint8_t> bytes(std::size_t(blocks) * 512);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = std::uint8_t(lba + i / 512 + i);
    }
    return bytes;
}

} // namespace orvo::engine_test
