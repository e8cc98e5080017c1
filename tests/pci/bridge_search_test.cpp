// The bridge search of the Windows 95 builds on the machine's PCI configuration space, seen
// through the port trace: where it looks, what it decides, and that the Windows NT builds
// never look.
#include "socket/machine_boot.h"
#include "tools/orvo/adapter_record.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

namespace orvo::test {
namespace {

struct ConfigAccesses {
    std::vector<std::uint32_t> addresses;  // every value written to 0xCF8
    unsigned data_reads = 0;
};

ConfigAccesses config_accesses(const std::vector<std::string>& trace) {
    ConfigAccesses a;
    for (const std::string& line : trace) {
        char op = 0;
        unsigned width = 0, port = 0, value = 0;
        if (std::sscanf(line.c_str(), "%c%u %x %x", &op, &width, &port, &value) != 4) continue;
        if (port == 0xCF8 && op == 'W') a.addresses.push_back(value);
        if (port >= 0xCF8 && port <= 0xCFF && op == 'R') ++a.data_reads;
    }
    return a;
}

std::string with_bridge(unsigned bus, unsigned device, unsigned function) {
    return "[[pci]]\nbus = " + std::to_string(bus) + "\ndevice = " + std::to_string(device) +
           "\nfunction = " + std::to_string(function) + "\nvendor_id = 0x104C\ndevice_id = 0xAC12\n";
}

unsigned transfer_width(MachineBoot& m, const std::string& build) {
    return tool::adapter_record_fields(build, m.host().device_extension())["TransferWidth"].get<unsigned>();
}

TEST(BridgeSearch, TheWindows95BuildsGoByteWideOnlyWhenTheBridgeIsAtFunctionZeroOfBuses0To16) {
    struct Case {
        const char* what;
        std::string machine;
        unsigned width;
        std::size_t reads;  // configuration addresses written
    };
    const Case cases[] = {
        {"bridge at bus 0, device 31", with_bridge(0, 31, 0), 2, 32},
        {"no bridge", "", 1, 17 * 32},
        {"bridge at function 1", with_bridge(0, 31, 1), 1, 17 * 32},
        {"bridge on bus 17", with_bridge(17, 0, 0), 1, 17 * 32},
        {"bridge at bus 16, device 31", with_bridge(16, 31, 0), 2, 17 * 32},
    };
    for (const char* build : {"orvo95a", "orvo95"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(build) + ": " + c.what);
            MachineBoot m(c.machine, build);
            m.boot();
            ASSERT_TRUE(m.found());
            EXPECT_TRUE(m.host().ready());
            EXPECT_EQ(transfer_width(m, build), c.width);
            const ConfigAccesses a = config_accesses(m.trace());
            ASSERT_EQ(a.addresses.size(), c.reads);
            EXPECT_EQ(a.data_reads, c.reads);
            std::set<std::uint32_t> seen;
            for (std::uint32_t address : a.addresses) {
                EXPECT_EQ(address & 0x80000000u, 0x80000000u);
                EXPECT_LE((address >> 16) & 0xFF, 16u) << "bus";
                EXPECT_EQ((address >> 8) & 0x7, 0u) << "function";
                EXPECT_EQ(address & 0xFF, 0u) << "register";
                seen.insert(address);
            }
            EXPECT_EQ(seen.size(), a.addresses.size()) << "each location read once";
        }
    }
}

TEST(BridgeSearch, WidthOptionsSettleTheWidthWithoutASearchAndTheNtBuildsNeverSearch) {
    struct Case {
        const char* build;
        std::optional<std::string> options;
        unsigned width;
    };
    const Case cases[] = {
        {"orvo95a", "/BM", 2}, {"orvo95", "/32", 1}, {"orvont", std::nullopt, 2},
        {"orvont", "/32", 1},  {"orvontx", std::nullopt, 2}, {"orvontx", "/32", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.build) + " " + c.options.value_or(""));
        MachineBoot m(with_bridge(0, 31, 0), c.build, c.options);
        m.boot();
        ASSERT_TRUE(m.host().ready());
        EXPECT_EQ(transfer_width(m, c.build), c.width);
        const ConfigAccesses a = config_accesses(m.trace());
        EXPECT_TRUE(a.addresses.empty());
        EXPECT_EQ(a.data_reads, 0u);
    }
}

} // namespace
} // namespace orvo::test
