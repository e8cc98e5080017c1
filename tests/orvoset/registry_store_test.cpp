// The utility's registry store: option set, card parameters, assigned resources and the key
// tree deletion, against the machine's registry file.

#include "orvoset/assigned_resources.h"
#include "orvoset/card_resources.h"
#include "orvoset/driver_options.h"
#include "orvoset/registry_ops.h"

#include "machine/registry/store.h"
#include "tests/winapi/machine_fixture.h"
#include "winapi/registry_api.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>

namespace {

using orvo::registry::Key;
using orvo::registry::KeyPath;
using orvo::registry::Tree;
using orvo::registry::Value;
using orvo::testing::MachineFixture;

KeyPath services(std::initializer_list<std::string> below = {}) {
    KeyPath path = {"HKEY_LOCAL_MACHINE", "System", "CurrentControlSet", "Services"};
    path.insert(path.end(), below);
    return path;
}
const KeyPath kPcCards = {"HKEY_LOCAL_MACHINE", "HARDWARE", "DESCRIPTION", "System",
                          "PCMCIA PCCARDs"};

class UtilityRegistry : public MachineFixture {
  protected:
    void put_key(const KeyPath& path) {
        store_.modify([&](Tree& tree) {
            tree.create(path);
            return true;
        });
    }
    void put(const KeyPath& path, const std::string& name, Value value) {
        store_.modify([&](Tree& tree) {
            tree.create(path).set_value(name, value);
            return true;
        });
    }
    const Key* key(const KeyPath& path) { return store_.tree().find(path); }

    orvo::registry::Store store_{dir_ / "registry.reg"};
};

// ---- option set ----

TEST_F(UtilityRegistry, OptionSetLoadsWhenTheServiceKeyExists) {
    const KeyPath device = services({"orvont", "Parameters", "Device"});
    const std::string long_string = "/AS3 /BM " + std::string(600, 'x');
    const struct {
        const char* what;
        KeyPath key;                          // created before the load
        std::optional<std::string> parameter; // DriverParameter under Parameters\Device
        std::string driver;
        BOOL loaded;
    } cases[] = {
        {"no service key", {}, {}, "orvont", FALSE},
        {"service key alone", services({"orvont"}), {}, "orvont", TRUE},
        {"no Device key", services({"orvont", "Parameters"}), {}, "orvont", TRUE},
        {"no DriverParameter", device, {}, "orvont", TRUE},
        {"a string", device, "/AS5 /BM ", "ORVONT", TRUE},
        // Longer than the 520-byte first read: still read whole, so its options are not lost.
        {"a string of 609 characters", device, long_string, "orvont", TRUE},
        // Names that cannot be a service: the Services key itself, or a key of another service.
        {"empty driver name", services({"orvont"}), {}, "", FALSE},
        {"backslash in name", services({"orvont", "Parameters"}), {}, "orvont\\Parameters", FALSE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        store_.modify([](Tree& tree) { return tree.remove(services({"orvont"})); });
        if (!c.key.empty()) put_key(c.key);
        if (c.parameter) put(device, "DriverParameter", Value::string(*c.parameter));

        CDriverOptions set(c.driver);
        EXPECT_EQ(set.LoadFromRegistry(), c.loaded);
        CDriverOptions expected(c.driver);
        expected.ParseOptions(c.parameter.value_or(""));
        expected.StoredText = c.parameter.value_or("");
        EXPECT_EQ(set, expected);
    }
}

TEST_F(UtilityRegistry, OptionSetSavesIntoCreatedKeysAndReadsBack) {
    CDriverOptions missing("orvont");
    missing.BusMaster = 1;
    EXPECT_FALSE(missing.SaveToRegistry());
    EXPECT_EQ(key(services({"orvont"})), nullptr); // nothing created without the service

    put_key(services({"orvont"}));
    for (const auto& text : {"/AS5 /AS6 /NS3 /BM /PARITYOFF ", "/AS /ND /NS1 "}) {
        SCOPED_TRACE(text);
        CDriverOptions set("orvont");
        set.ParseOptions(text);
        EXPECT_TRUE(set.SaveToRegistry());
        const Key* device = key(services({"orvont", "Parameters", "Device"}));
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(*device->value("DriverParameter"), Value::string(text));

        CDriverOptions loaded("orvont");
        EXPECT_TRUE(loaded.LoadFromRegistry());
        set.StoredText = text;
        EXPECT_EQ(loaded, set);
    }
}

// ---- card parameters ----

TEST_F(UtilityRegistry, CardParameterSaveLeavesExactlyTheValuesItWrites) {
    const struct {
        LONG base, length, base1, length1, irq;
        std::vector<std::pair<std::string, std::uint32_t>> values;
    } cases[] = {
        {0x340,
         32,
         0x740,
         32,
         5,
         {{"Pcmcia", 1},
          {"IoBaseAddress", 0x340},
          {"IoLength", 32},
          {"IoBaseAddress_1", 0x740},
          {"IoLength_1", 32},
          {"InterruptNumber", 5}}},
        {-1, -1, -1, -1, -1, {{"Pcmcia", 1}}},
        {0x300, 32, 0, 32, -1, {{"Pcmcia", 1}, {"IoBaseAddress", 0x300}, {"IoLength", 32}}},
        {-1, 32, 0x740, 32, 11, {{"Pcmcia", 1}, {"InterruptNumber", 11}}},
    };
    put_key(services({"orvont"}));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.values.size());
        // Whatever was there before, at any depth, goes.
        put(services({"orvont1", "Parameters"}), "Stale", Value::dword(9));
        put(services({"orvont1", "Parameters", "Deep", "Deeper"}), "x", Value::dword(1));
        put(services({"orvont1", "Beside"}), "y", Value::dword(2));

        CCardResources card("orvont");
        card.IoBaseAddress = c.base;
        card.IoLength = c.length;
        card.IoBaseAddress_1 = c.base1;
        card.IoLength_1 = c.length1;
        card.InterruptNumber = c.irq;
        EXPECT_TRUE(card.SaveToRegistry());

        Tree expected_tree;
        Key& expected = expected_tree.create(services({"orvont1", "Parameters"}));
        for (const auto& [name, value] : c.values)
            expected.set_value(name, Value::dword(value));
        ASSERT_NE(key(services({"orvont1"})), nullptr);
        EXPECT_EQ(*key(services({"orvont1"})), *expected_tree.find(services({"orvont1"})));
    }
}

TEST_F(UtilityRegistry, CardParameterLoadReportsAsTheOperatingSystemStoresThem) {
    const KeyPath params = services({"orvont1", "Parameters"});
    struct Fields {
        LONG irq, base, length, base1, length1;
        bool operator==(const Fields&) const = default;
    };
    const Fields untouched{-1, -1, -1, -1, -1};
    const auto dword = [](std::uint32_t v) { return Value::dword(v); };
    const struct {
        const char* what;
        bool parameters_key;
        std::vector<std::pair<std::string, Value>> values; // under orvont1\Parameters
        BOOL status;
        Fields fields;
    } cases[] = {
        {"no instance key", false, {}, FALSE, untouched},
        {"no Pcmcia value", true, {}, FALSE, untouched},
        {"Pcmcia not 1: nothing read",
         true,
         {{"Pcmcia", dword(0)}, {"IoBaseAddress", dword(0x340)}},
         TRUE,
         untouched},
        {"without IoLength_1: read but failed",
         true,
         {{"Pcmcia", dword(1)},
          {"IoBaseAddress", dword(0x340)},
          {"IoLength", dword(32)},
          {"InterruptNumber", dword(5)}},
         FALSE,
         {5, 0x340, 32, 0, 0}},
        {"complete",
         true,
         {{"Pcmcia", dword(1)},
          {"IoBaseAddress", dword(0x340)},
          {"IoLength", dword(32)},
          {"IoBaseAddress_1", dword(0x740)},
          {"IoLength_1", dword(32)},
          {"InterruptNumber", dword(10)}},
         TRUE,
         {10, 0x340, 32, 0x740, 32}},
        {"automatic I/O with a second length",
         true,
         {{"Pcmcia", dword(1)}, {"IoLength_1", dword(32)}},
         TRUE,
         {-1, -1, -1, -1, 32}},
        {"type not examined",
         true,
         {{"Pcmcia", Value{REG_BINARY, {1, 0, 0, 0}}}, {"IoLength_1", dword(8)}},
         TRUE,
         {-1, -1, -1, -1, 8}},
        {"not four bytes", true, {{"Pcmcia", Value{REG_BINARY, {1, 0}}}}, FALSE, untouched},
    };
    put_key(services({"orvont"}));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        store_.modify([](Tree& tree) { return tree.remove(services({"orvont1"})); });
        if (c.parameters_key) put_key(params);
        for (const auto& [name, value] : c.values)
            put(params, name, value);
        CCardResources card("orvont");
        EXPECT_EQ(card.LoadFromRegistry(), c.status);
        EXPECT_EQ((Fields{card.InterruptNumber, card.IoBaseAddress, card.IoLength,
                          card.IoBaseAddress_1, card.IoLength_1}),
                  c.fields);
    }
}

TEST_F(UtilityRegistry, DeleteKeyTreeRemovesEveryDepthAndNothingElse) {
    put(services({"orvont1", "A", "B", "C", "D"}), "v", Value::dword(1));
    put_key(services({"orvont1", "A", "B2"}));
    put_key(services({"orvont1", "Z"}));
    put_key(services({"orvont"}));
    HKEY services_key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services", 0, KEY_READ,
                            &services_key),
              ERROR_SUCCESS);
    DeleteKeyTree(services_key, "orvont1");
    DeleteKeyTree(services_key, "missing"); // nothing to do
    RegCloseKey(services_key);
    EXPECT_EQ(key(services({"orvont1"})), nullptr);
    EXPECT_NE(key(services({"orvont"})), nullptr);
    EXPECT_EQ(orvo::winapi::environment().keys().open_count(), 0u);
}

// ---- assigned resources ----

struct Partial {
    BYTE type;
    WORD flags;
    std::uint64_t first; // port start / interrupt level (low half) and vector (high half)
    std::uint32_t last;  // port length / interrupt affinity
};

// A full resource descriptor whose count field says count, holding the partials, cut to
// keep bytes when keep is given.
Value descriptor(std::uint32_t count, const std::vector<Partial>& partials,
                 std::size_t keep = SIZE_MAX) {
    std::vector<std::uint8_t> bytes(16, 0);
    auto put = [&](std::size_t at, std::uint64_t value, int size) {
        for (int i = 0; i < size; ++i)
            bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    put(0, 1, 4); // interface type: ISA
    put(8, 1, 2);
    put(10, 1, 2);
    put(12, count, 4);
    for (const auto& p : partials) {
        std::size_t at = bytes.size();
        bytes.resize(at + 16);
        put(at, p.type, 1);
        put(at + 1, 1, 1);
        put(at + 2, p.flags, 2);
        put(at + 4, p.first, 8);
        put(at + 12, p.last, 4);
    }
    if (keep < bytes.size()) bytes.resize(keep);
    return Value{REG_FULL_RESOURCE_DESCRIPTOR, bytes};
}

TEST_F(UtilityRegistry, AssignedResourcesListWhatTheDescriptorHolds) {
    const Partial irq5{2, 0, 5 | (5ull << 32), 0xFFFFFFFF};
    const Partial irq10{2, 0, 0x1000A, 0xFFFFFFFF}; // only the level's low 16 bits count
    const Partial io340{1, 1, 0x340, 32};
    const Partial io740{1, 1, 0x1'0000'0740ull, 0x10020}; // low 16 bits of start and length
    const Partial memory{3, 0, 0xD4000, 0x1000};
    const Partial memory_mapped_port{1, 0, 0x360, 16};
    const struct {
        const char* what;
        std::optional<Value> value;
        BOOL loaded;
        std::vector<WORD> interrupts;
        std::vector<CPortRange> ports;
    } cases[] = {
        {"two of each, in order",
         descriptor(5, {irq5, io340, memory, irq10, io740}),
         TRUE,
         {5, 10},
         {{0x340, 32, 0x360}, {0x740, 32, 0x760}}},
        {"port flags other than I/O",
         descriptor(2, {memory_mapped_port, io340}),
         TRUE,
         {},
         {{0x340, 32, 0x360}}},
        {"count larger than the data",
         descriptor(40, {irq5, io340}),
         TRUE,
         {5},
         {{0x340, 32, 0x360}}},
        {"last descriptor cut short",
         descriptor(3, {io340, irq5, irq10}, 16 + 2 * 16 + 8),
         TRUE,
         {5},
         {{0x340, 32, 0x360}}},
        {"shorter than the header", descriptor(1, {irq5}, 10), TRUE, {}, {}},
        {"too long to read", descriptor(40, std::vector<Partial>(40, irq5)), FALSE, {}, {}},
        {"no value", std::nullopt, FALSE, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        store_.modify([](Tree& tree) { return tree.remove(kPcCards); });
        if (c.value) put(kPcCards, "orvont", *c.value);
        CAssignedResources assigned;
        assigned.Interrupts = {99}; // a load starts from empty lists
        EXPECT_EQ(assigned.LoadFromRegistry("orvont"), c.loaded);
        EXPECT_EQ(assigned.Interrupts, c.interrupts);
        EXPECT_EQ(assigned.PortRanges, c.ports);
    }
}

} // namespace
