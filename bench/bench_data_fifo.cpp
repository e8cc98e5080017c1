// bench-libs: orvo_fas408 orvo_scsi orvo_io
// Host cost of the chip's data path: 128-byte buffered PIO_DATA reads through the port space
// (the way a driver collects a data-in phase), against memcpy of the same 128 bytes in the
// same run; and one STATUS read, the cost of a poll. Prints the ratios at the end.

#include "machine/fas408/fas408.h"
#include "machine/io/backplane.h"
#include "machine/scsi/bus.h"
#include "machine/scsi/target.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace {

using namespace orvo;
using namespace orvo::fas408;

constexpr std::uint16_t kBase = 0x290;

// A target that never leaves DATA IN, selected and streaming into the data FIFO.
struct StreamingMachine {
    io::Backplane bp;
    scsi::ScsiBus bus{bp.clock};
    Fas408 chip{bp.clock, bus};
    scsi::ScsiTarget target{bus, 2, scsi::TargetBehaviour{.stuck_phase = scsi::Phase::DataIn}};

    void wr(std::uint8_t offset, std::uint8_t v) { bp.ports.write8(kBase + offset, v); }
    std::uint8_t rd(std::uint8_t offset) { return bp.ports.read8(kBase + offset); }

    StreamingMachine() {
        chip.attach(bp.ports, kBase);
        wr(reg::kConfig1, 0x87);
        wr(reg::kSelTimeout, 0x99);
        wr(reg::kDestId, 2);
        for (std::uint8_t b : {0x80, 0x12, 0x00, 0x00, 0x00, 0x24, 0x00}) wr(reg::kFifo, b);
        wr(reg::kTcLow, 7);
        wr(reg::kCommand, cmd::kSelectAtn);
        while ((rd(reg::kStatus) & status_bits::kInterrupt) == 0) {
        }
        if (rd(reg::kIntStatus) != 0x18) std::fprintf(stderr, "selection failed\n");
        wr(reg::kConfig4, config4::kBank1);
        wr(reg1::kPioControl, 0);
        wr(reg1::kConfig4, 0);
        refill_count();
        wr(reg::kCommand, cmd::kTransferInfo | cmd::kDataFifo);
        wr(reg::kConfig4, config4::kBank1);
        wr(reg1::kPioControl, pio_control::kOn);
        bp.clock.advance(30 * io::kMicrosecond);  // the first 128 bytes arrive
    }
    // Keeps the running transfer's counter far from zero (bank 0 only).
    void refill_count() {
        wr(reg::kTcLow, 0xFF);
        wr(reg::kTcMid, 0xFF);
        wr(reg::kTcHigh, 0xFF);
    }
};

void BM_PioDataRead128(benchmark::State& state) {
    StreamingMachine m;
    std::uint8_t block[128];
    std::uint64_t n = 0;
    for (auto _ : state) {
        m.bp.ports.read_buffer(kBase + reg1::kPioData, block, 128, 1);
        benchmark::DoNotOptimize(block);
        if ((++n & 0xFFFF) == 0) {
            m.wr(reg1::kConfig4, 0);
            m.refill_count();
            m.wr(reg::kConfig4, config4::kBank1);
        }
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * 128);
    state.counters["underrun_bytes"] = double(m.chip.stats().fifo_underruns);
    state.counters["virtual_MBps"] =
        double(n * 128) / (double(m.bp.clock.now()) / 1e9) / 1e6;
}
BENCHMARK(BM_PioDataRead128);

void BM_Memcpy128(benchmark::State& state) {
    std::uint8_t src[128];
    std::uint8_t dst[128];
    std::memset(src, 0x5A, sizeof src);
    for (auto _ : state) {
        benchmark::DoNotOptimize(src);
        std::memcpy(dst, src, sizeof dst);
        benchmark::DoNotOptimize(dst);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * 128);
}
BENCHMARK(BM_Memcpy128);

// A poll while data streams (the chip catches up with the bus first) and while idle.
void BM_StatusPoll(benchmark::State& state) {
    StreamingMachine m;
    m.wr(reg1::kConfig4, 0);
    for (auto _ : state) benchmark::DoNotOptimize(m.bp.ports.read8(kBase + reg::kStatus));
    state.SetItemsProcessed(std::int64_t(state.iterations()));
}
BENCHMARK(BM_StatusPoll);

void BM_StatusPollIdle(benchmark::State& state) {
    io::Backplane bp;
    scsi::ScsiBus bus{bp.clock};
    Fas408 chip{bp.clock, bus};
    chip.attach(bp.ports, kBase);
    for (auto _ : state) benchmark::DoNotOptimize(bp.ports.read8(kBase + reg::kStatus));
    state.SetItemsProcessed(std::int64_t(state.iterations()));
}
BENCHMARK(BM_StatusPollIdle);

// Keeps each run's rates so that main() can print them side by side.
class RateReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> bytes_per_second;
    std::map<std::string, double> ns_per_iteration;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            const auto it = r.counters.find("bytes_per_second");
            if (it != r.counters.end()) bytes_per_second[r.benchmark_name()] = it->second;
            ns_per_iteration[r.benchmark_name()] = r.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double pio = reporter.bytes_per_second["BM_PioDataRead128"];
    const double copy = reporter.bytes_per_second["BM_Memcpy128"];
    if (pio > 0 && copy > 0) {
        std::printf("\n128-byte PIO_DATA reads: %.1f MB/s of host time; memcpy: %.1f MB/s; "
                    "PIO path costs %.1f x memcpy\n",
                    pio / 1e6, copy / 1e6, copy / pio);
    }
    const double poll = reporter.ns_per_iteration["BM_StatusPoll"];
    const double idle = reporter.ns_per_iteration["BM_StatusPollIdle"];
    if (poll > 0 && idle > 0) {
        std::printf("one STATUS poll through the port space: %.1f ns while data streams, %.1f ns idle\n",
                    poll, idle);
    }
    benchmark::Shutdown();
    return 0;
}
