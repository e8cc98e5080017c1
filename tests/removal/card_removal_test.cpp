// The Orvo-88 pulled under every build: between requests, while a data phase is under way,
// while the driver waits for an interrupt, at seeded random moments of a stream of reads and
// writes, at every port access of a request, and during the boot. Every request in flight and
// after ends with a failure status (through the driver's time-out report or the port driver's
// time-out and bus reset); a request reported good carries exactly the data the disk holds;
// the contract checks stay clean (the rigs fail on any violation, port accesses outside the
// claims included); no request stays open.
#include "machine/description.h"
#include "machine/scsi/target.h"
#include "tests/removal/removal_rig.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace orvo::testing {
namespace {

using scsiport::RequestResult;
using scsiport::RequestSpec;

class CardRemoval : public ::testing::TestWithParam<const char*> {
protected:
    const std::string build_ = GetParam();
};

// The card is gone before the requests start: each fails, none hangs, and the chip's ports
// read all ones wherever the build found them.
TEST_P(CardRemoval, BetweenRequestsEveryLaterRequestFails) {
    RemovalRig r(build_);
    const RequestSpec before = disk_write(100, 8, 1);
    ASSERT_TRUE(RemovalRig::succeeded(r.run(before)));
    const std::uint16_t chip = *r.pc().chip_base();

    r.pc().remove_card();
    EXPECT_EQ(r.pc().chip_base(), std::nullopt);
    EXPECT_EQ(r.pc().backplane().ports.read8(chip + 4u), 0xFF) << "STATUS of the pulled chip";
    if (build_ == "orvontx") {
        EXPECT_EQ(r.pc().socket_controller()->peek(0, 0x01) & 0x0C, 0) << "the controller sees no card";
    }
    for (const RequestSpec& spec : {disk_read(100, 8), disk_write(200, 4, 2), disk_read(0, 1)}) {
        const RequestResult result = r.run(spec);
        EXPECT_FALSE(RemovalRig::succeeded(result)) << "status " << int(result.srb_status);
    }
}

// Pulled once a large transfer has moved part of its data: the request fails.
TEST_P(CardRemoval, WhileADataPhaseIsUnderWayTheRequestFails) {
    for (const bool write : {false, true}) {
        SCOPED_TRACE(write ? "WRITE" : "READ");
        RemovalRig r(build_);
        const RequestSpec spec = write ? disk_write(300, 128, 3) : disk_read(300, 128);
        const scsi::BusStats& stats = r.pc().bus().stats();
        const std::uint64_t moved_before = stats.bytes_in + stats.bytes_out;
        r.pull_card_when([&] { return stats.bytes_in + stats.bytes_out >= moved_before + 16 * 1024; });
        const RequestResult result = r.run(spec);
        ASSERT_TRUE(r.pulled());
        EXPECT_EQ(r.bus_at_pull(), write ? "connected in DATAOUT" : "connected in DATAIN");
        EXPECT_FALSE(RemovalRig::succeeded(result)) << "status " << int(result.srb_status);
        EXPECT_FALSE(RemovalRig::succeeded(r.run(disk_read(300, 1))));
    }
}

// The disk takes 50 ms between the command and its data: the card goes while the driver polls
// for the chip's next interrupt.
TEST_P(CardRemoval, WhileTheDriverWaitsForAnInterruptTheRequestFails) {
    RemovalRig r(build_, [](machine::MachineDescription& m) {
        m.devices[0].behaviour.command_delay = 50 * io::kMillisecond;
    });
    const io::Nanoseconds pull_at = r.now() + 10 * io::kMillisecond;
    r.pull_card_when([&] { return r.now() >= pull_at; });
    const RequestResult result = r.run(disk_read(400, 4));
    ASSERT_TRUE(r.pulled());
    EXPECT_EQ(r.bus_at_pull(), "connected in COMMAND") << "the command sent, the target busy with it";
    EXPECT_FALSE(RemovalRig::succeeded(result)) << "status " << int(result.srb_status);
}

// A seeded stream of reads and writes, run once with the card in place to learn its span, then
// again on a fresh machine with the card pulled at a random moment of that span. Requests done
// before the pull succeed with their data; requests started after it fail; a request caught
// in flight fails, or succeeds only when every byte had moved before the card went.
TEST_P(CardRemoval, AtRandomMomentsOfAStreamNoRequestSucceedsWithoutItsData) {
    constexpr unsigned kRequests = 10;
    unsigned failed_in_flight = 0;
    for (const unsigned seed : {1u, 2u, 3u, 4u, 5u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        std::vector<RequestSpec> stream;
        for (unsigned i = 0; i < kRequests; ++i) {
            const auto lba = static_cast<std::uint32_t>(random() % 8000);
            const auto blocks = static_cast<std::uint16_t>(1 + random() % 96);
            stream.push_back(random() % 2 ? disk_write(lba, blocks, seed * 100 + i) : disk_read(lba, blocks));
        }

        io::Nanoseconds span = 0;
        {
            RemovalRig reference(build_);
            const io::Nanoseconds begin = reference.now();
            for (const RequestSpec& spec : stream) ASSERT_TRUE(RemovalRig::succeeded(reference.run(spec)));
            span = reference.now() - begin;
        }

        RemovalRig r(build_);
        const io::Nanoseconds pulled_at = r.now() + random() % span;
        r.pc().remove_card_at(pulled_at);
        for (unsigned i = 0; i < kRequests; ++i) {
            SCOPED_TRACE("request " + std::to_string(i));
            const RequestResult result = r.run(stream[i]);
            const bool good = RemovalRig::succeeded(result);
            if (good) {
                EXPECT_TRUE(r.data_arrived(stream[i], result)) << "reported good without its data";
            }
            if (result.completed_at < pulled_at) {
                EXPECT_TRUE(good) << "status " << int(result.srb_status) << " with the card in place";
            } else if (result.started_at >= pulled_at) {
                EXPECT_FALSE(good) << "succeeded without a card";
            } else if (!good) {
                ++failed_in_flight;
            }
        }
        EXPECT_TRUE(r.pc().card_removed());
    }
    EXPECT_GT(failed_in_flight, 0u) << "no pull caught a request in flight";
}

// A request with the card pulled at each port access of the driver in turn: a short READ, a
// short WRITE, and the first command after a bus reset (the synchronous-transfer exchange
// through MESSAGE OUT and MESSAGE IN where the build offers it, then CHECK CONDITION and the
// port driver's REQUEST SENSE). A request reported good has all its data, the next request
// fails, and the driver lets go of the vanished card at once instead of polling it until its
// budgets run out.
TEST_P(CardRemoval, AtEveryPortAccessOfARequestNoRequestSucceedsWithoutItsData) {
    constexpr io::Nanoseconds kLetGo = 10 * io::kMillisecond;
    RequestSpec test_unit_ready;
    test_unit_ready.cdb = {0, 0, 0, 0, 0, 0};
    struct Swept {
        const char* what;
        bool after_reset;
        RequestSpec spec;
    };
    const Swept swept[] = {
        {"READ", false, disk_read(5, 2)},
        {"WRITE", false, disk_write(5, 2, 7)},
        {"TEST UNIT READY after a bus reset", true, test_unit_ready},
    };
    for (const Swept& s : swept) {
        SCOPED_TRACE(s.what);
        auto prepared = [&] {
            auto r = std::make_unique<RemovalRig>(build_);
            if (s.after_reset) r->rig().host().reset_bus(0);
            return r;
        };
        const std::vector<io::Nanoseconds> accesses = prepared()->access_times(s.spec);
        ASSERT_GT(accesses.size(), 20u);
        unsigned failed = 0;
        for (const io::Nanoseconds at : accesses) {
            SCOPED_TRACE("pulled " + std::to_string(at / io::kMicrosecond) + " us in");
            const auto r = prepared();
            const io::Nanoseconds pulled_at = r->now() + at;
            r->pc().remove_card_at(pulled_at);
            const RequestResult result = r->run(s.spec);
            if (!RemovalRig::succeeded(result)) {
                ++failed;
                EXPECT_LE(r->driver_let_go(result, pulled_at), pulled_at + kLetGo);
            } else {
                EXPECT_TRUE(r->data_arrived(s.spec, result)) << "reported good without its data";
            }
            EXPECT_FALSE(RemovalRig::succeeded(r->run(disk_read(5, 1))));
            if (HasFailure()) return;
        }
        EXPECT_GT(failed, accesses.size() / 2) << "most pulls end the request with a failure";
    }
}

// The card pulled at port accesses spread over the whole boot (the load's few hundred and the
// scan's many, each sampled evenly): the boot ends, the scan finds no unit that is not there
// (an answer of all ones is no device), and a request afterwards fails.
TEST_P(CardRemoval, DuringTheBootEveryStepEndsAndNoRequestSucceeds) {
    constexpr std::size_t kPullsInLoad = 16;
    constexpr std::size_t kPullsInScan = 4;
    std::vector<io::Nanoseconds> accesses;
    std::size_t load_accesses = 0;
    {
        SteppedBoot reference(build_);
        const io::Nanoseconds start = reference.now();
        reference.pc().backplane().ports.set_trace([&](std::string_view) { accesses.push_back(reference.now() - start); });
        reference.load();
        load_accesses = accesses.size();
        ASSERT_EQ(reference.host().scan_bus().size(), 1u) << "the disk answers the scan";
        reference.pc().backplane().ports.set_trace(nullptr);
    }
    ASSERT_GT(load_accesses, kPullsInLoad);
    std::vector<io::Nanoseconds> pulls;
    for (std::size_t i = 0; i < kPullsInLoad; ++i) pulls.push_back(accesses[i * load_accesses / kPullsInLoad]);
    for (std::size_t i = 0; i < kPullsInScan; ++i) {
        pulls.push_back(accesses[load_accesses + i * (accesses.size() - load_accesses) / kPullsInScan]);
    }
    for (const io::Nanoseconds at : pulls) {
        SCOPED_TRACE("pulled " + std::to_string(at / io::kMicrosecond) + " us into the boot");
        SteppedBoot b(build_);
        b.pc().remove_card_at(b.now() + at);
        b.load();
        const std::vector<scsiport::ScannedUnit> units = b.host().scan_bus();
        EXPECT_TRUE(b.pc().card_removed());
        if (!b.host().ready()) continue;
        for (const scsiport::ScannedUnit& unit : units) {
            EXPECT_TRUE(unit.target == 0 && unit.lun == 0 && unit.vendor == "ORVO") << "a phantom unit";
        }
        const scsiport::RequestId id = b.host().submit(disk_read(0, 1));
        b.host().run_until(b.now() + kRequestBound);
        const RequestResult& result = b.host().result(id);
        ASSERT_EQ(result.state, scsiport::RequestState::Completed);
        EXPECT_FALSE(RemovalRig::succeeded(result));
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, CardRemoval, ::testing::ValuesIn(machine::kBuilds),
                         [](const auto& info) { return std::string(info.param); });

} // namespace
} // namespace orvo::testing
