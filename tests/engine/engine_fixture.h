#pragma once
// The engine's test bench: the card's FAS408 model on a SCSI bus with real target models, and
// the port-driver host serving this build's miniport. The miniport registered here is the
// build's own engine, initialisation and bus reset; discovery and request dispatch are thin
// stand-ins (test_driver.cpp) so that the engine runs the same way on every build without the
// PC Card socket set-up.
//
// Every port access to the chip is decoded from the port trace (with the bank it was made in
// and its virtual time), and the bus trace is kept, so a test can assert what went over the
// chip's registers and over the bus.

#include "ScsiMiniPort/miniport.h"
#include "machine/fas408/fas408.h"
#include "machine/io/backplane.h"
#include "machine/scsi/bus.h"
#include "machine/scsi/scripted_target.h"
#include "machine/scsi/target.h"
#include "scsiport/host/port_driver.h"
#include "test_driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace orvo::engine_test {

// One access to a chip register, decoded from the port trace.
struct ChipAccess {
    io::Nanoseconds time = 0;
    bool write = false;
    bool buffered = false;
    unsigned width = 1;        // bytes per element
    unsigned bank = 0;         // the bank selected when the access was made
    std::uint8_t offset = 0;   // register offset from the chip's base
    std::uint32_t value = 0;   // the value, or the element count of a buffered access
    std::uint64_t repeats = 0; // the same read made again right after (polls), not listed
    io::Nanoseconds last_time = 0;  // time of the last repeat
};

// A run of chip accesses, e.g. one selection and the connection it opened.
struct AccessList {
    std::vector<ChipAccess> list;
    // Values written to a register, in order (CONFIG4 counts in either bank).
    std::vector<std::uint32_t> written(unsigned bank, std::uint8_t offset) const;
    // Element counts of the buffered reads (or writes) of PIO_DATA, in order, with the width.
    std::vector<std::pair<unsigned, std::uint32_t>> buffered(bool write) const;
};

// The register offsets as the chip defines them (banks in brackets).
namespace chip_reg {
inline constexpr std::uint8_t kTcLow = 0x00, kTcMid = 0x01, kFifo = 0x02, kCommand = 0x03;
inline constexpr std::uint8_t kDestId = 0x04, kSyncPeriod = 0x06, kSyncOffset = 0x07;
inline constexpr std::uint8_t kConfig3 = 0x0C, kConfig4 = 0x0D, kTcHigh = 0x0E;
inline constexpr std::uint8_t kPioData = 0x04, kPioStatus = 0x08;  // [1]
} // namespace chip_reg

class EngineTest : public ::testing::Test {
protected:
    static constexpr std::uint16_t kChipBase = 0x340;
    static constexpr std::uint32_t kDiskBlocks = 2048;  // 1 MiB images

    EngineTest();
    ~EngineTest() override;
    void TearDown() override;

    // ---- The machine ----------------------------------------------------------------------
    // A disk (LUN 0) on a fresh image; its LBA n holds bytes (n + i) & 0xFF.
    scsi::ScsiTarget& add_disk(std::uint8_t id, scsi::TargetBehaviour behaviour = {});
    scsi::ScriptedTarget& add_scripted(std::uint8_t id, std::vector<scsi::ScriptStep> script);
    scsi::ScsiTarget& target(std::uint8_t id);

    // ---- The host -------------------------------------------------------------------------
    // Applied to the adapter record after discovery stored its defaults (options, as the
    // option string would set them).
    std::function<void(ADAPTER_EXTENSION&)> adjust_adapter;
    // DriverEntry, discovery and initialisation; the adapter must come up.
    void boot();
    scsiport::PortDriver& host() { return *host_; }
    ADAPTER_EXTENSION& adapter();
    LU_EXTENSION* unit(std::uint8_t target, std::uint8_t lun = 0);
    // A request through the host, run until the host is idle.
    scsiport::RequestResult run(const scsiport::RequestSpec& spec);
    // The first command to a fresh target reports the power-on unit attention; this takes it.
    void clear_unit_attention(std::uint8_t target);
    // Runs f inside the driver (a port-driver call) for a request addressed to target/LUN,
    // with the adapter record.
    void probe(std::function<void(ADAPTER_EXTENSION&)> f, std::uint8_t target = 0, std::uint8_t lun = 0);
    // Host event log lines since boot ("ScsiPortCompleteRequest(0, 255, 255, 0e)", ...).
    const std::vector<std::string>& host_events() const { return host_events_; }
    // A contract violation the test provokes on purpose; it must then occur.
    void expect_violation(scsiport::ViolationKind kind) { expected_violations_.insert(kind); }

    // ---- Traces ---------------------------------------------------------------------------
    // Forgets the accesses and bus events recorded so far.
    void mark();
    // Port accesses are recorded until a test turns the recording off for good (long polls
    // run much faster without the port trace), or on its own after kTracedAccessLimit
    // accesses since the mark: only a wait running out its budget makes that many.
    void stop_recording_ports();
    static constexpr std::size_t kTracedAccessLimit = 200000;
    const AccessList& accesses() const { return accesses_; }
    // Values written to a register since the mark, in order.
    std::vector<std::uint32_t> written(unsigned bank, std::uint8_t offset) const {
        return accesses_.written(bank, offset);
    }
    // The accesses since the mark cut at every selection (each starts at its DEST_ID write).
    std::vector<AccessList> selections() const;
    // Bus events since the mark, without their times ("SELECT 2 ATN", "MSGOUT 80 01 ...").
    std::vector<std::string> bus_events() { return bus_.trace().events(); }
    std::string bus_text() { return bus_.trace().text(); }
    // The same, from the first event that starts with `prefix` (empty when none does).
    std::vector<std::string> bus_events_from(const std::string& prefix);

    io::Backplane machine_;
    scsi::ScsiBus bus_{machine_.clock};
    fas408::Fas408 chip_{machine_.clock, bus_};

private:
    void trace_port(std::string_view line);

    std::filesystem::path image_dir_;
    std::vector<std::unique_ptr<scsi::ScsiTarget>> disks_;
    std::vector<std::unique_ptr<scsi::ScriptedTarget>> scripted_;
    TestDriverSetup setup_;
    std::unique_ptr<scsiport::PortDriver> host_;
    std::vector<std::string> host_events_;
    std::set<scsiport::ViolationKind> expected_violations_;
    std::set<scsiport::ViolationKind> seen_violations_;

    unsigned bank_ = 0;
    AccessList accesses_;
    std::size_t traced_since_mark_ = 0;
    bool trace_detaching_ = false;
};

// The status the builds give a transfer that moved another number of bytes than asked: the
// Windows NT builds say so, the Windows 95 builds keep the status.
inline constexpr UCHAR kLengthMismatch = ORVO_REPORTS_OVERRUN ? SRB_STATUS_DATA_OVERRUN : SRB_STATUS_SUCCESS;

// Common requests.
scsiport::RequestSpec test_unit_ready(std::uint8_t target, std::uint8_t lun = 0);
scsiport::RequestSpec read10(std::uint8_t target, std::uint32_t lba, std::uint16_t blocks,
                             std::uint32_t length);
scsiport::RequestSpec write10(std::uint8_t target, std::uint32_t lba, std::vector<std::uint8_t> data);
// The pattern add_disk writes into block lba.
std::vector<std::uint8_t> disk_pattern(std::uint32_t lba, std::uint32_t blocks);

} // namespace orvo::engine_test
