// The chaos target on its own, against an initiator that answers everything at once: a run
// is a function of its seed, every action of its table happens, each command ends within the
// misbehaviour budget, and whatever it does, the data of a READ is the image's at the data
// pointer and the data of a WRITE lands where it belongs.
#include "device_rig.h"
#include "eager_initiator.h"

#include "machine/scsi/cdb.h"
#include "machine/scsi/chaos_target.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>

namespace orvo::test {
namespace {

using scsi::ChaosAction;
using scsi::kChaosActions;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kId = 2;
constexpr std::uint32_t kBlocks = 256;
// Misbehaviour window, patience and the data of the largest command, with room to spare.
constexpr io::Nanoseconds kLongestCommand = 2 * io::kSecond;

struct Command {
    Bytes cdb;
    Bytes data_out;
};

// A chaos disk on a patterned image and an eager initiator on one bus.
struct ChaosBench {
    TempFile image_file;
    io::VirtualClock clock;
    scsi::ScsiBus bus{clock};
    EagerInitiator initiator{bus};
    std::unique_ptr<scsi::ChaosTarget> target;
    Bytes stored = pattern(kBlocks * 512, 7);

    ChaosBench(std::uint64_t seed, scsi::ChaosSettings settings = {}, const char* name = "chaos.img")
        : image_file(std::string(name) + std::to_string(seed)) {
        auto image = scsi::ImageFile::open_or_create(image_file.path.string(), stored.size());
        image.write(0, stored.data(), stored.size());
        target = std::make_unique<scsi::ChaosTarget>(bus, kId, seed, std::make_unique<scsi::DiskUnit>(std::move(image)),
                                                     settings);
        bus.trace().keep_lines(true);
    }

    // Runs one command until the target lets go of it; false when it does not within the bound.
    bool run(const Command& c) {
        std::optional<std::uint64_t> read_at;
        if (c.cdb[0] == 0x28) read_at = std::uint64_t(scsi::be32(c.cdb, 2)) * 512;
        EagerInitiator::Expected expected;
        if (read_at) {
            expected = [this, read_at](std::uint64_t position) -> std::optional<std::uint8_t> {
                const std::uint64_t at = *read_at + position;
                return at < stored.size() ? std::optional<std::uint8_t>(stored[at]) : std::nullopt;
            };
        }
        initiator.start(kId, 0, c.cdb, c.data_out, expected);
        const io::Nanoseconds limit = clock.now() + kLongestCommand;
        do {
            clock.advance(10 * io::kMicrosecond);
        } while ((target->busy() || bus.state() != scsi::ScsiBus::State::Free) && clock.now() < limit);
        return !target->busy();
    }

    // The image as it is now.
    Bytes image() {
        Bytes now(stored.size());
        target->disk().image().read(0, now.data(), now.size());
        return now;
    }
};

// READ(10), WRITE(10), TEST UNIT READY and INQUIRY in a fixed mix.
std::vector<Command> commands(unsigned n, unsigned seed) {
    scsi::SeededRandom random(seed);
    std::vector<Command> list;
    for (unsigned i = 0; i < n; ++i) {
        const std::uint32_t blocks = std::uint32_t(random.between(1, 8));
        const std::uint32_t lba = std::uint32_t(random.below(kBlocks - blocks));
        switch (random.below(4)) {
        case 0:
        case 1:
            list.push_back({cdb10(0x28, lba, std::uint16_t(blocks)), {}});
            break;
        case 2:
            list.push_back({cdb10(0x2A, lba, std::uint16_t(blocks)), pattern(blocks * 512, 100 + i)});
            break;
        default:
            list.push_back({random.chance(50) ? Bytes{0, 0, 0, 0, 0, 0} : Bytes{0x12, 0, 0, 0, 36, 0}, {}});
            break;
        }
    }
    return list;
}

TEST(ChaosTarget, SameSeedSameRunOtherSeedOtherRun) {
    const auto list = commands(40, 1);
    auto run_all = [&](std::uint64_t seed, const char* name) {
        ChaosBench bench(seed, {}, name);
        for (const Command& c : list) bench.run(c);
        return std::pair(bench.bus.trace().lines(), bench.target->stats().actions);
    };
    const auto first = run_all(42, "first");
    const auto again = run_all(42, "again");
    const auto other = run_all(43, "other");
    EXPECT_EQ(first.first, again.first);
    EXPECT_EQ(first.second, again.second);
    EXPECT_NE(first.first, other.first);
}

// Each action of the table is reached, and each command ends within its budget.
TEST(ChaosTarget, EveryActionHappensAndEveryCommandEnds) {
    std::array<std::uint64_t, kChaosActions> taken{};
    for (std::uint64_t seed = 1; seed <= 4; ++seed) {
        ChaosBench bench(seed);
        for (const Command& c : commands(40, unsigned(seed))) {
            EXPECT_TRUE(bench.run(c)) << "seed " << seed << " still busy:\n" << bench.bus.trace().text();
        }
        for (std::size_t i = 0; i < kChaosActions; ++i) taken[i] += bench.target->stats().actions[i];
    }
    for (std::size_t i = 0; i < kChaosActions; ++i) {
        EXPECT_GT(taken[i], 0u) << scsi::to_string(ChaosAction(i));
    }
}

// Whatever the target does (more or fewer bytes, pointers saved and restored, disconnections,
// phases nobody asked for), every data-in byte of a READ is the image's byte at the data
// pointer, and a WRITE changes only its own blocks, to the bytes it carried.
TEST(ChaosTarget, ReadsSendTheImageAtThePointerAndWritesLandInTheirBlocks) {
    for (std::uint64_t seed = 11; seed <= 14; ++seed) {
        ChaosBench bench(seed);
        std::uint64_t read_bytes = 0;
        for (const Command& c : commands(40, unsigned(seed))) {
            bench.bus.trace().clear();
            bench.run(c);
            ASSERT_EQ(bench.initiator.wrong_bytes(), 0u) << "seed " << seed << "\n" << bench.bus.trace().text();
            if (c.cdb[0] == 0x28) read_bytes += bench.initiator.data_in_bytes();
            const Bytes now = bench.image();
            for (std::uint32_t block = 0; block < kBlocks; ++block) {
                const auto at = std::ptrdiff_t(block) * 512;
                if (std::equal(now.begin() + at, now.begin() + at + 512, bench.stored.begin() + at)) continue;
                ASSERT_EQ(c.cdb[0], 0x2A) << "seed " << seed << ": block " << block << " changed";
                const std::uint32_t first = scsi::be32(c.cdb, 2);
                ASSERT_GE(block, first);
                ASSERT_LT(block, first + scsi::be16(c.cdb, 7));
                EXPECT_TRUE(std::equal(now.begin() + at, now.begin() + at + 512,
                                       c.data_out.begin() + std::ptrdiff_t(block - first) * 512));
            }
            bench.stored = now;
        }
        EXPECT_GT(read_bytes, 0u);
    }
}

// With every misbehaviour weighed 0 it is a plain disk: each command completes.
TEST(ChaosTarget, WithoutMisbehaviourItIsAPlainDisk) {
    scsi::ChaosSettings plain;
    plain.weights.fill(0);
    plain.weights[std::size_t(ChaosAction::Behave)] = 1;
    ChaosBench bench(5, plain);
    for (const Command& c : commands(20, 5)) {
        ASSERT_TRUE(bench.run(c));
        EXPECT_TRUE(bench.initiator.completed()) << bench.bus.trace().text();
        EXPECT_EQ(bench.initiator.wrong_bytes(), 0u);
    }
    const auto& actions = bench.target->stats().actions;
    EXPECT_EQ(std::accumulate(actions.begin(), actions.end(), std::uint64_t{0}),
              actions[std::size_t(ChaosAction::Behave)]);
}

} // namespace
} // namespace orvo::test
