#include "tools/orvo/commands.h"

#include "machine/sample_media.h"
#include "scsiport/scsiport.h"
#include "system/machine_setup.h"
#include "tools/orvo/report.h"
#include "tools/orvo/script.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <unistd.h>

namespace orvo::tool {

namespace fs = std::filesystem;

namespace {

std::string hex(const std::vector<std::uint8_t>& bytes) {
    std::string s;
    char digits[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", b);
        s += digits;
    }
    return s;
}

// Exit status of a session: 0 with an adapter that is ready and a clean contract.
int session_status(Session& session) {
    if (!session.found() || !session.initialized()) return 2;
    return session.host().contract().violations().empty() ? 0 : 3;
}

nlohmann::ordered_json request_json(unsigned line, const scsiport::RequestResult& r, bool data_in) {
    nlohmann::ordered_json j;
    j["line"] = line;
    j["srb_status"] = r.srb_status;
    j["scsi_status"] = r.scsi_status;
    j["data_transfer_length"] = r.data_transfer_length;
    if (data_in) j["data"] = hex(r.data);
    if (!r.sense.empty()) j["sense"] = hex(r.sense);
    if (r.timed_out) j["timed_out"] = true;
    return j;
}

bool request_failed(const scsiport::RequestResult& r) {
    return r.state != scsiport::RequestState::Completed || (r.srb_status & 0x3F) != SRB_STATUS_SUCCESS;
}

} // namespace

int command_init(const fs::path& directory) {
    if (fs::exists(directory / machine::kDescriptionFile)) {
        std::cerr << "orvo init: " << directory.string() << " already holds a machine; nothing was changed\n";
        return 1;
    }
    fs::create_directories(directory);
    {
        std::ofstream out(directory / machine::kDescriptionFile);
        out << machine::default_description_text();
        if (!out) throw std::runtime_error((directory / machine::kDescriptionFile).string() + ": cannot be written");
    }
    machine::write_sample_cd_image(directory / "cdrom3.iso");
    // Opening the machine creates the disk image described in machine.toml.
    machine::SimulatedPc pc(machine::load_description(directory));
    // The registry with the driver service installed, and ADAPTER.INI for the utility.
    system::set_up_utility_files(directory, system::default_adapter_info());
    std::cout << "machine written to " << directory.string()
              << ": machine.toml, disk0.img (64 MiB), cdrom3.iso, registry.reg, ADAPTER.INI\n";
    return 0;
}

int command_boot(const SessionOptions& options, const OutputOptions& output) {
    Session session(options);
    session.boot();
    const auto summary = session.summary();
    if (output.json) {
        std::cout << summary.dump(2) << '\n';
    } else {
        print_boot_report(std::cout, summary);
    }
    return session_status(session);
}

int command_run(const SessionOptions& options, const OutputOptions& output, const std::string& script) {
    std::vector<ScriptStep> steps;
    if (script == "-") {
        steps = parse_script(std::cin, "<stdin>");
    } else {
        std::ifstream in(script);
        if (!in) throw std::runtime_error(script + ": cannot be read");
        steps = parse_script(in, script);
    }
    Session session(options);
    session.boot();
    int status = session_status(session);
    for (const ScriptStep& step : steps) {
        if (const auto* request = std::get_if<ScriptRequest>(&step.action)) {
            const auto result = session.host().execute(request->spec);
            const auto j = request_json(step.line, result, request->spec.data_in_length != 0);
            if (output.json) {
                std::cout << j.dump() << '\n';
            } else {
                print_request_line(std::cout, j);
            }
            if (request_failed(result) && status == 0) status = 1;
        } else if (std::holds_alternative<ScriptResetBus>(step.action)) {
            session.host().reset_bus(0);
            session.host().run_until_idle();
        } else if (const auto* advance = std::get_if<ScriptAdvance>(&step.action)) {
            // The port driver's timers and time-outs run on the way; the rest is idle time.
            io::VirtualClock& clock = session.pc().backplane().clock;
            const io::Nanoseconds until = clock.now() + advance->microseconds * io::kMicrosecond;
            session.host().run_until(until);
            clock.advance_to(until);
        }
    }
    const auto summary = session.summary();
    if (output.json) {
        std::cout << summary.dump() << '\n';
    } else {
        std::cout << '\n';
        print_boot_report(std::cout, summary);
    }
    return status;
}

namespace {

struct Capacity {
    std::uint64_t blocks = 0;
    std::uint32_t block_size = 0;
};

std::optional<Capacity> read_capacity(Session& session, unsigned target, unsigned lun) {
    scsiport::RequestSpec spec;
    spec.target = static_cast<UCHAR>(target);
    spec.lun = static_cast<UCHAR>(lun);
    spec.cdb = {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    spec.data_in_length = 8;
    for (int attempt = 0; attempt < 3; ++attempt) {  // a unit attention clears on retry
        const auto r = session.host().execute(spec);
        if (!request_failed(r) && r.data.size() >= 8) {
            const auto be32 = [&](int at) {
                return std::uint32_t(r.data[at]) << 24 | std::uint32_t(r.data[at + 1]) << 16 |
                       std::uint32_t(r.data[at + 2]) << 8 | r.data[at + 3];
            };
            return Capacity{std::uint64_t(be32(0)) + 1, be32(4)};
        }
    }
    return std::nullopt;
}

class Progress {
public:
    Progress(std::uint64_t total, const char* verb) : total_(total), verb_(verb), on_(isatty(STDERR_FILENO) && total >= 2048) {}
    void update(std::uint64_t done) {
        if (!on_) return;
        const int width = 40;
        const int filled = int(done * width / total_);
        std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", verb_, filled, "########################################",
                     width - filled, "", int(done * 100 / total_));
        if (done == total_) std::fprintf(stderr, "\n");
    }

private:
    std::uint64_t total_;
    const char* verb_;
    bool on_;
};

constexpr std::uint32_t kChunkBytes = 64 * 1024;

scsiport::RequestSpec block_request(const BlockTransfer& t, std::uint8_t opcode, std::uint64_t lba, std::uint32_t blocks) {
    scsiport::RequestSpec spec;
    spec.target = static_cast<UCHAR>(t.target);
    spec.lun = static_cast<UCHAR>(t.lun);
    spec.cdb = {opcode, 0, std::uint8_t(lba >> 24), std::uint8_t(lba >> 16), std::uint8_t(lba >> 8), std::uint8_t(lba),
                0, std::uint8_t(blocks >> 8), std::uint8_t(blocks), 0};
    return spec;
}

int block_transfer(const SessionOptions& options, const OutputOptions& output, const BlockTransfer& t, bool write) {
    Session session(options);
    session.boot();
    if (session_status(session) == 2) {
        std::cerr << "orvo: no adapter is ready (" << (session.found() ? "initialisation failed" : "not found") << ")\n";
        return 2;
    }
    const auto capacity = read_capacity(session, t.target, t.lun);
    if (!capacity || capacity->block_size == 0) {
        std::cerr << "orvo: target " << t.target << " lun " << t.lun << " does not report its capacity\n";
        return 1;
    }
    std::vector<std::uint8_t> file_data;
    std::uint64_t count = t.count.value_or(0);
    if (write) {
        std::ifstream in(t.file, std::ios::binary);
        if (!in) throw std::runtime_error(t.file.string() + ": cannot be read");
        file_data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!t.count) count = (file_data.size() + capacity->block_size - 1) / capacity->block_size;
        file_data.resize(count * capacity->block_size, 0);
    } else if (!t.count) {
        std::cerr << "orvo read: --count is needed\n";
        return 1;
    }
    if (t.lba + count > capacity->blocks) {
        std::cerr << "orvo: blocks " << t.lba << ".." << t.lba + count - 1 << " lie beyond the last block "
                  << capacity->blocks - 1 << '\n';
        return 1;
    }
    std::ofstream out;
    if (!write) {
        out.open(t.file, std::ios::binary | std::ios::trunc);
        if (!out) throw std::runtime_error(t.file.string() + ": cannot be written");
    }
    const std::uint32_t per_request = std::max<std::uint32_t>(1, kChunkBytes / capacity->block_size);
    Progress progress(count, write ? "writing" : "reading");
    const io::Nanoseconds started = session.pc().backplane().clock.now();
    for (std::uint64_t done = 0; done < count;) {
        const std::uint32_t blocks = static_cast<std::uint32_t>(std::min<std::uint64_t>(per_request, count - done));
        auto spec = block_request(t, write ? 0x2A : 0x28, t.lba + done, blocks);
        const std::size_t bytes = std::size_t(blocks) * capacity->block_size;
        if (write) {
            const auto* first = file_data.data() + done * capacity->block_size;
            spec.data_out.assign(first, first + bytes);
        } else {
            spec.data_in_length = static_cast<std::uint32_t>(bytes);
        }
        const auto r = session.host().execute(spec);
        if (request_failed(r) || r.data_transfer_length != bytes) {
            std::cerr << "\norvo: " << (write ? "WRITE" : "READ") << " at block " << t.lba + done << " ended with "
                      << srb_status_name(r.srb_status) << ", SCSI status " << unsigned(r.scsi_status)
                      << (r.sense.empty() ? "" : ", sense " + hex(r.sense)) << '\n';
            return 1;
        }
        if (!write) out.write(reinterpret_cast<const char*>(r.data.data()), static_cast<std::streamsize>(r.data.size()));
        done += blocks;
        progress.update(done);
    }
    const double seconds = double(session.pc().backplane().clock.now() - started) / double(io::kSecond);
    const std::uint64_t total = count * capacity->block_size;
    if (output.json) {
        nlohmann::ordered_json j{{"blocks", count}, {"bytes", total}, {"virtual_seconds", seconds},
                                 {"bytes_per_virtual_second", seconds > 0 ? double(total) / seconds : 0.0}};
        std::cout << j.dump() << '\n';
    } else {
        std::printf("%s %llu blocks (%llu bytes) %s target %u lun %u in %.3f s of virtual time (%.0f KB/s)\n",
                    write ? "wrote" : "read", (unsigned long long)count, (unsigned long long)total,
                    write ? "to" : "from", t.target, t.lun, seconds, seconds > 0 ? total / seconds / 1000 : 0.0);
    }
    return session_status(session);
}

} // namespace

int command_read(const SessionOptions& options, const OutputOptions& output, const BlockTransfer& transfer) {
    return block_transfer(options, output, transfer, false);
}

int command_write(const SessionOptions& options, const OutputOptions& output, const BlockTransfer& transfer) {
    return block_transfer(options, output, transfer, true);
}

int command_chaos(const ChaosOptions& options, const OutputOptions& output) {
    const ChaosReport report = run_chaos(options);
    if (output.json) {
        std::cout << chaos_report_json(report).dump(2) << '\n';
    } else {
        print_chaos_report(std::cout, report);
    }
    return report.violations() == 0 ? 0 : 3;
}

} // namespace orvo::tool
