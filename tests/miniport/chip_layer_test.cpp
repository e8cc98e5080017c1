// The chip register layer, checked as the port accesses it makes on the machine.
#include "ScsiMiniPort/engine/chip.h"
#include "ScsiMiniPort/socket/pci_bridge.h"
#include "machine/io/backplane.h"
#include "scsiport/host/port_driver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using orvo::io::Backplane;
using orvo::scsiport::PortDriver;

constexpr ULONG kChipBase = 0x290;

// Sixteen registers that answer reads from a table and ignore writes.
struct RegisterFile : orvo::io::PortDevice {
    std::map<unsigned, std::uint8_t> reads;
    std::uint32_t port_read(std::uint16_t port, unsigned) override {
        auto it = reads.find(port - kChipBase);
        return it == reads.end() ? 0 : it->second;
    }
    void port_write(std::uint16_t, std::uint32_t, unsigned) override {}
};

struct ChipLayerTest : ::testing::Test {
    Backplane machine;
    RegisterFile chip;
    PortDriver host{machine};
    ADAPTER_EXTENSION ad{};
    std::vector<std::string> trace;

    void SetUp() override {
        machine.ports.map(kChipBase, 16, &chip);
        host.allow_platform_ports(kChipBase, 16);
        ad.ChipBase = reinterpret_cast<PUCHAR>(static_cast<ULONG_PTR>(kChipBase));
        machine.ports.set_trace([this](std::string_view line) { trace.emplace_back(line); });
    }
    template <class F>
    std::vector<std::string> Accesses(F&& f) {
        trace.clear();
        host.call_in_driver_context(f);
        return trace;
    }
    using Lines = std::vector<std::string>;
};

TEST(SyncRegSet, TurnsTermsIntoClocksFastFlagAndLimitedOffset) {
    struct Case {
        UCHAR period, offset;
        USHORT expected;
    };
    const Case cases[] = {
        {25, 15, 0x0F84},  // 100 ns = 4 clocks, fast
        {50, 8, 0x0808},   // 200 ns = 8 clocks, not fast
        {12, 15, 0x0F82},  // 48 ns rounds up to 2 clocks
        {62, 15, 0x0F0A},  // 248 ns rounds up to 10
        {255, 20, 0x0F29}, // offset limited to 15; 41 clocks
        {43, 15, 0x0F87},  // 172 ns = 7 clocks: still fast
        {0, 15, 0},        {25, 0, 0},
        {1, 0xFE, 0x0F81}, // the device check's offer
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sync_reg_set(c.period, c.offset), c.expected) << int(c.period) << "," << int(c.offset);
    }
}

TEST_F(ChipLayerTest, SetTransferModeProgramsPeriodOffsetAndFastBitOfTheAddressedUnit) {
    struct Case {
        UCHAR periodReg, offset, config3;
        Lines expected;
    };
    const Case cases[] = {
        {0x84, 15, 0x08, {"W8 0296 04", "W8 0297 cf", "R8 029c 08", "W8 029c 18"}},
        {0x08, 8, 0x08, {"W8 0296 08", "W8 0297 c8"}},          // no fast flag: CONFIG3 untouched
        {0x29, 15, 0x08, {"W8 0296 09", "W8 0297 cf"}},         // 41 clocks wrap within 5 bits
        {0x00, 0, 0x18, {"W8 0296 0a", "W8 0297 c0"}},          // asynchronous default
    };
    for (const Case& c : cases) {
        std::memset(ad.SyncPeriodReg, 0, sizeof ad.SyncPeriodReg);
        std::memset(ad.SyncOffset, 0, sizeof ad.SyncOffset);
        ad.TargetId = 7;
        ad.Lun = 7; // the last element of each table
        ad.SyncPeriodReg[TL_INDEX(7, 7)] = c.periodReg;
        ad.SyncOffset[TL_INDEX(7, 7)] = c.offset;
        chip.reads[CONFIG3] = c.config3;
        EXPECT_EQ(Accesses([&] { SetTransferMode(&ad); }), c.expected) << int(c.periodReg);
    }
}

TEST_F(ChipLayerTest, ResetTransferModeClearsTheFastBitOnlyWhenSet) {
    chip.reads[CONFIG3] = 0x18;
    EXPECT_EQ(Accesses([&] { ResetTransferMode(&ad); }),
              (Lines{"W8 029d 00", "W8 0296 0a", "W8 0297 00", "R8 029c 18", "W8 029c 08"}));
    chip.reads[CONFIG3] = 0x08;
    EXPECT_EQ(Accesses([&] { ResetTransferMode(&ad); }),
              (Lines{"W8 029d 00", "W8 0296 0a", "W8 0297 00", "R8 029c 08"}));
}

TEST_F(ChipLayerTest, InitFas408WritesTheRegistersInOrderWithParityPerSetting) {
    for (UCHAR parity : {UCHAR(1), UCHAR(0)}) {
        ad.ParityEnable = parity;
        EXPECT_EQ(Accesses([&] { InitFAS408(&ad); }),
                  (Lines{"W8 029d 30", "W8 0299 00", parity ? "W8 0298 97" : "W8 0298 87",
                         "W8 029b 48", "W8 029c 18", "W8 0297 00", "W8 0296 08", "W8 0295 99",
                         "W8 029d 80", "W8 0298 01"}));
    }
}

TEST_F(ChipLayerTest, IdentificationAcceptsChipIdsWhoseLowBitsAreTwoOrFive) {
    for (unsigned id = 0; id < 256; ++id) {
        chip.reads[CHIP_ID] = std::uint8_t(id);
        BOOLEAN accepted = FALSE;
        const Lines lines = Accesses([&] { accepted = ChipResetAndIdentify(&ad, TRUE); });
        EXPECT_EQ(accepted != FALSE, (id & 7) == 2 || (id & 7) == 5) << id;
        if (id == 0x05) {
            EXPECT_EQ(lines, (Lines{"W8 029d 30", "W8 0293 02", "W8 0293 00", "W8 029d 80", "R8 029e 05"}));
        }
    }
    chip.reads[CHIP_ID] = 0x02;
    EXPECT_EQ(Accesses([&] { ChipResetAndIdentify(&ad, FALSE); }),
              (Lines{"W8 0293 02", "W8 0293 00", "W8 029d 80", "R8 029e 02"}));
}

TEST_F(ChipLayerTest, SramWriteGoesThroughBankOneAndBack) {
    EXPECT_EQ(Accesses([&] { WriteSRAMData(0x78, 0x33, ad.ChipBase); }),
              (Lines{"W8 029d 80", "W8 0291 78", "W8 0292 33", "W8 029d 00"}));
}

// Configuration mechanism 1 with one device, counting the reads of the data port.
struct PciSpace : orvo::io::PortDevice {
    std::uint32_t address = 0, located = 0, id = 0;
    unsigned reads = 0;
    std::uint32_t port_read(std::uint16_t port, unsigned) override {
        if (port != 0xCFC) return 0xFFFFFFFF;
        ++reads;
        return address == located ? id : 0xFFFFFFFF;
    }
    void port_write(std::uint16_t port, std::uint32_t value, unsigned) override {
        if (port == 0xCF8) address = value;
    }
};

TEST_F(ChipLayerTest, BridgeSearchReadsFunctionZeroOfBusesUpToSixteen) {
    PciSpace pci;
    machine.ports.map(0xCF8, 8, &pci);
    pci.id = 0xAC12104C;
    pci.located = 0x80000000u + 0 * 0x10000 + 31 * 0x800; // bus 0, device 31
    ULONG bus = 99, device = 99, function = 99;
    LONG result = 1;
    host.call_in_driver_context([&] { result = forced_find_pci_device(0xAC12, 0x104C, &bus, &device, &function); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(bus, 0u);
    EXPECT_EQ(device, 31u);
    EXPECT_EQ(function, 0u);
    EXPECT_EQ(pci.reads, 32u);

    // A bridge on function 1 or on bus 17 is never seen: every function-0 slot of buses 0-16
    // is read once, nothing else.
    for (std::uint32_t elsewhere : {0x80000000u + 0x100u, 0x80000000u + 17u * 0x10000u}) {
        pci.located = elsewhere;
        pci.reads = 0;
        bus = device = function = 99;
        host.call_in_driver_context([&] { result = forced_find_pci_device(0xAC12, 0x104C, &bus, &device, &function); });
        EXPECT_EQ(result, -1);
        EXPECT_EQ(bus, 99u);
        EXPECT_EQ(pci.reads, 17u * 32u);
    }
    EXPECT_TRUE(host.contract().violations().empty());
}

} // namespace
