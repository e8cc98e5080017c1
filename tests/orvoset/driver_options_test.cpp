// The option set's writer and reader of the option string.

#include "orvoset/driver_options.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using Flags = CDriverOptions::IdFlags;

Flags ids(std::initializer_list<int> set) {
    Flags flags{};
    for (int id : set)
        flags[static_cast<std::size_t>(id)] = CDriverOptions::kFlagSet;
    return flags;
}
const Flags kAll = ids({0, 1, 2, 3, 4, 5, 6, 7});

// The options a string carries: the texts are not part of them.
CDriverOptions options(LONG irq, LONG parity_off, LONG bus_master, Flags async, Flags no_disconnect,
                       Flags excluded) {
    CDriverOptions set;
    set.Irq = irq;
    set.ParityOff = parity_off;
    set.BusMaster = bus_master;
    set.Asynchronous = async;
    set.NoDisconnect = no_disconnect;
    set.Excluded = excluded;
    return set;
}

CDriverOptions parsed(std::string_view text) {
    CDriverOptions set;
    set.ParseOptions(text);
    return set;
}

TEST(DriverOptions, ComposedStringsReadBackToTheSameOptions) {
    const struct {
        CDriverOptions set;
        const char* text;
    } cases[] = {
        {options(-1, 0, 0, {}, {}, {}), ""},
        {options(-1, 1, 1, ids({5, 6}), {}, ids({3})), "/AS5 /AS6 /NS3 /BM /PARITYOFF "},
        {options(-1, 0, 0, kAll, {}, {}), "/AS "},
        {options(-1, 0, 0, {}, kAll, {}), "/ND "},
        {options(-1, 0, 0, {}, {}, kAll), "/NS "},
        {options(-1, 0, 0, ids({1, 2, 3, 4, 5, 6, 7}), {}, {}),
         "/AS1 /AS2 /AS3 /AS4 /AS5 /AS6 /AS7 "},
        {options(-1, 0, 0, {}, ids({0, 7}), ids({0, 1, 2, 3, 4, 5, 6})),
         "/ND0 /ND7 /NS0 /NS1 /NS2 /NS3 /NS4 /NS5 /NS6 "},
        {options(-1, 1, 1, kAll, kAll, kAll), "/AS /ND /NS /BM /PARITYOFF "},
        {options(-1, 0, 1, {}, {}, {}), "/BM "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.set.ComposeOptions(), c.text);
        EXPECT_EQ(parsed(c.text), c.set);
    }
}

TEST(DriverOptions, UniqueTextGoesVerbatimAtTheEnd) {
    CDriverOptions set = options(-1, 0, 1, ids({2}), {}, {});
    set.UniqueParameter = "/CHECK  /RESET=1E";
    EXPECT_EQ(set.ComposeOptions(), "/AS2 /BM /CHECK  /RESET=1E");
    set.UniqueParameter = " ";
    EXPECT_EQ(set.ComposeOptions(), "/AS2 /BM  ");
}

TEST(DriverOptions, ReadingTakesOnlyWhatTheUtilityKnows) {
    std::string twenty_fields;
    for (int i = 0; i < 20; ++i)
        twenty_fields += "x ";
    const struct {
        std::string text;
        CDriverOptions expected;
    } cases[] = {
        {"/IRQ:A", options(10, 0, 0, {}, {}, {})},
        {"/IRQ:0x0B /BM", options(11, 0, 1, {}, {}, {})},
        {"/IRQ:f", options(15, 0, 0, {}, {}, {})},
        {"/IRQ:10", options(-1, 0, 0, {}, {}, {})}, // 0x10 is no IRQ
        {"/IRQ:-1", options(-1, 0, 0, {}, {}, {})},
        {"/IRQ:", options(-1, 0, 0, {}, {}, {})},            // no number, no IRQ
        {"/AS8 /AS12 /AS-1", options(-1, 0, 0, {}, {}, {})}, // above 7 (or below 0): ignored
        {"/AS7 /ND+3 /NS 4", options(-1, 0, 0, ids({7}), ids({3}), kAll)}, // "/NS" then "4"
        {"/ASx", options(-1, 0, 0, ids({0}), {}, {})},                     // no digits read as 0
        {"/as3 -AS4 /Bm", options(-1, 0, 0, {}, {}, {})},   // exact upper case, "/" only
        {"/NS3/AS", options(-1, 0, 0, kAll, {}, ids({3}))}, // one field hits two tests
        {"/BM/PARITYOFF", options(-1, 1, 1, {}, {}, {})},
        {"IOBASE=300 /AS1;/ND2,/NS4  /CHECK", options(-1, 0, 0, ids({1}), ids({2}), ids({4}))},
        {twenty_fields + "/BM", options(-1, 0, 1, {}, {}, {})},   // field 21: still read
        {twenty_fields + "x /BM", options(-1, 0, 0, {}, {}, {})}, // field 22: never read
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parsed(c.text), c.expected);
    }
}

TEST(DriverOptions, ReadingStartsFromClearedOptionsAndKeepsTheTexts) {
    CDriverOptions set = options(5, 1, 1, kAll, kAll, kAll);
    set.StoredText = "stored";
    set.UniqueParameter = "unique";
    set.ParseOptions("/AS ");
    CDriverOptions expected = options(-1, 0, 0, kAll, {}, {});
    expected.StoredText = "stored";
    expected.UniqueParameter = "unique";
    EXPECT_EQ(set, expected);
    EXPECT_EQ(set.ComposeOptions(), "/AS unique");
}

TEST(DriverOptions, CopiesAreEqualUntilAnyFieldChanges) {
    CDriverOptions original = options(5, 1, 0, ids({1}), ids({2}), ids({3}));
    original.Driver = "orvont";
    const std::function<void(CDriverOptions&)> changes[] = {
        [](CDriverOptions& s) { s.Irq = 6; },
        [](CDriverOptions& s) { s.ParityOff = 0; },
        [](CDriverOptions& s) { s.BusMaster = 1; },
        [](CDriverOptions& s) { s.Asynchronous[7] = CDriverOptions::kFlagSet; },
        [](CDriverOptions& s) { s.NoDisconnect[2] = 0; },
        [](CDriverOptions& s) { s.Excluded[0] = 1; },
        [](CDriverOptions& s) { s.StoredText = "x"; },
        [](CDriverOptions& s) { s.UniqueParameter = "x"; },
        [](CDriverOptions& s) { s.Driver = "other"; },
    };
    for (const auto& change : changes) {
        CDriverOptions copy = original;
        EXPECT_EQ(copy, original);
        change(copy);
        EXPECT_NE(copy, original);
    }
}

} // namespace
