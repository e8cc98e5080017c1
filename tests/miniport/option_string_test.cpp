// The option string as each driver build reads it. Compiled once per build (the build's
// switches come with its static library).
#include "ScsiMiniPort/adapter_state.h"
#include "ScsiMiniPort/options.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <type_traits>

namespace {

// The record is copied as a whole around the service of a reselection.
static_assert(std::is_trivially_copyable_v<ADAPTER_EXTENSION>);
static_assert(std::is_trivially_copyable_v<LU_EXTENSION>);
static_assert(sizeof(ULONG) == 4 && sizeof(USHORT) == 2 && sizeof(UCHAR) == 1);

constexpr bool kWin95 = ORVO_WIN95;
constexpr bool kSocketSetup = ORVO_SOCKET_SETUP;

struct Settings {
    std::array<UCHAR, 8> async{};
    std::array<UCHAR, 8> noSelect{};
    ULONG width = 0;
    UCHAR parity = 0;
    ULONG resetDelaySet = 0, resetDelay = 0;
    UCHAR deviceCheck = 0, signature = 0;
    int dataInDelay = -1, dma = -1; // -1: the build has no such setting
};

Settings Read(const char* text) {
    ADAPTER_EXTENSION ad;
    std::memset(&ad, 0, sizeof ad);
    StoreAdapterDefaults(&ad);
    ScanSlashOptions(&ad, text);
    Settings s;
    std::memcpy(s.async.data(), ad.AsyncTarget, 8);
    std::memcpy(s.noSelect.data(), ad.NoSelect, 8);
    s.width = ad.TransferWidth;
    s.parity = ad.ParityEnable;
    s.resetDelaySet = ad.ResetDelaySet;
    s.resetDelay = ad.ResetDelay;
    s.deviceCheck = ad.DeviceCheck;
    s.signature = ad.SignatureFlag;
#if ORVO_HAS_DMA_AND_DELAY
    s.dataInDelay = ad.DataInDelay;
    s.dma = ad.DmaMode;
#endif
    return s;
}

const Settings kDefaults = Read("");
constexpr std::array<UCHAR, 8> kAll{1, 1, 1, 1, 1, 1, 1, 1};

std::array<UCHAR, 8> Only(int target) {
    std::array<UCHAR, 8> a{};
    a[target] = 1;
    return a;
}

TEST(OptionStringDefaults, MatchTheBuild) {
    const std::array<UCHAR, 8> none{};
    EXPECT_EQ(kDefaults.async, kSocketSetup ? kAll : none);
    EXPECT_EQ(kDefaults.noSelect, none);
    EXPECT_EQ(kDefaults.width, kWin95 ? ULONG(TRANSFER_WIDTH_UNDECIDED) : ULONG(TRANSFER_WIDTH_BYTE));
    EXPECT_EQ(kDefaults.parity, 1);
    EXPECT_EQ(kDefaults.resetDelaySet, 0u);
    EXPECT_EQ(kDefaults.deviceCheck, 0);
    EXPECT_EQ(kDefaults.dataInDelay, kWin95 ? -1 : 1);
    EXPECT_EQ(kDefaults.dma, kWin95 ? -1 : 0);
}

TEST(OptionStringSlashOptions, WidthParityAndCheck) {
    struct Case {
        const char* text;
        ULONG width;
        UCHAR parity;
        UCHAR check;
    };
    const ULONG d = kDefaults.width;
    const Case cases[] = {
        {"/bm", TRANSFER_WIDTH_BYTE, 1, 0},
        {"-BM", TRANSFER_WIDTH_BYTE, 1, 0},
        {"/32", TRANSFER_WIDTH_32BIT, 1, 0},
        {"/BM /32", TRANSFER_WIDTH_32BIT, 1, 0},
        {"/BM/32", TRANSFER_WIDTH_BYTE, 1, 0}, // the character after "BM" is skipped
        {"/ParityOff", d, 0, 0},
        {"/CHECK", d, 1, 1},
        {"BM PARITYOFF", d, 1, 0},  // no prefix
        {"/B", d, 1, 0},            // word runs past the end
        {"/", d, 1, 0},
        {"/BM", TRANSFER_WIDTH_BYTE, 1, 0}, // word ends the string
        {"/32/PARITYOFF", TRANSFER_WIDTH_32BIT, 1, 0},
    };
    for (const Case& c : cases) {
        const Settings s = Read(c.text);
        EXPECT_EQ(s.width, c.width) << c.text;
        EXPECT_EQ(s.parity, c.parity) << c.text;
        EXPECT_EQ(s.deviceCheck, c.check) << c.text;
        EXPECT_EQ(s.signature, c.check) << c.text;
    }
}

TEST(OptionStringSlashOptions, TargetDigitsAccumulateModuloEight) {
    struct Case {
        const char* text;
        std::array<UCHAR, 8> noSelect;
    };
    std::array<UCHAR, 8> zeroAndThree = Only(0);
    zeroAndThree[3] = 1;
    const Case cases[] = {
        {"/NS3", Only(3)},   {"/NS8", Only(0)},         {"/NS9", Only(1)},
        {"/NS", kAll},       {"/NS /AS3", kAll},        {"/NS3 /NS0", zeroAndThree},
        {"/NS12", Only(1)},  {"/NS/NS3", kAll},          {"-ns3", Only(3)},
        {"/ND3", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Read(c.text).noSelect, c.noSelect) << c.text;

    // "/NS3 /AS": target 3 excluded, all asynchronous
    const Settings s = Read("/NS3 /AS");
    EXPECT_EQ(s.noSelect, Only(3));
    EXPECT_EQ(s.async, kAll);
    // "/AS3 /BM": target 3 asynchronous on top of the build's default
    std::array<UCHAR, 8> async = kDefaults.async;
    async[3] = 1;
    EXPECT_EQ(Read("/AS3 /BM").async, async);
    EXPECT_EQ(Read("/AS3 /BM").width, ULONG(TRANSFER_WIDTH_BYTE));
}

TEST(OptionStringSlashOptions, ResetValueIsTwoHexCharacters) {
    struct Case {
        const char* text;
        ULONG delay;
    };
    const Case cases[] = {
        {"/RESET=1E", 30000}, {"/RESET=5", 5000}, {"/reset=0a", 10000},
        {"/RESET=", 0},       {"/RESET=G5", 5000}, {"/RESET=123", 18000},
    };
    for (const Case& c : cases) {
        const Settings s = Read(c.text);
        EXPECT_EQ(s.resetDelaySet, 1u) << c.text;
        EXPECT_EQ(s.resetDelay, c.delay) << c.text;
    }
    // The walk resumes at the second value character: there a prefix still counts, but a
    // prefix in the first value position is swallowed and its letter read as a digit.
    EXPECT_EQ(Read("/RESET=1/BM").width, ULONG(TRANSFER_WIDTH_BYTE));
    EXPECT_EQ(Read("/RESET=/BM").width, kDefaults.width);
    EXPECT_EQ(Read("/RESET=/BM").resetDelay, 11000u);
}

TEST(OptionStringSlashOptions, OnlyTheFirstEightyCharactersCarryOptions) {
    std::string text(79, ' ');
    EXPECT_EQ(Read((text + "/PARITYOFF").c_str()).parity, 0);
    text.push_back(' ');
    EXPECT_EQ(Read((text + "/PARITYOFF").c_str()).parity, 1);
}

TEST(OptionStringSlashOptions, DelayAndDmaExistOnlyInTheNtBuilds) {
    EXPECT_EQ(Read("/NODELAY").dataInDelay, kWin95 ? -1 : 0);
    EXPECT_EQ(Read("/NODELAY /DELAY").dataInDelay, kWin95 ? -1 : 1);
    EXPECT_EQ(Read("/DMA").dma, kWin95 ? -1 : 1);
}

#if ORVO_SOCKET_SETUP
struct Resources {
    ULONG window = 0xD4000, pcic = 0, ioBase = 0x280, irq = 5;
    bool operator==(const Resources&) const = default;
};

Resources ParseResources(const char* text) {
    Resources r;
    ParseScsiParm(text, &r.window, &r.pcic, &r.ioBase, &r.irq);
    return r;
}

TEST(OptionStringResourceKeywords, AnySeparatorFirstOccurrenceAtMostTheirDigits) {
    struct Case {
        const char* text;
        Resources expected;
    };
    const Case cases[] = {
        {"", {}},
        {"IOBASE=300 IRQ=A", {0xD4000, 0, 0x300, 10}},
        {"/IRQ:B", {0xD4000, 0, 0x280, 11}},
        {"IRQ A", {0xD4000, 0, 0x280, 10}},
        {"IOBASE=12345", {0xD4000, 0, 0x1234, 5}},
        {"MEMORY IOBASE=300", {0xD4000, 0, 0x300, 5}},
        {"MEM=123456789", {0x12345678, 0, 0x280, 5}},
        {"PCIC=3e4", {0xD4000, 0x3E4, 0x280, 5}},
        {"irq=A", {}},                             // case matters
        {"IRQ=", {}},                              // name and separator end the string
        {"IRQ", {}},                               // separator missing
        {"IRQ=x IRQ=7", {}},                       // only the first occurrence counts
    };
    for (const Case& c : cases) EXPECT_EQ(ParseResources(c.text), c.expected) << c.text;
}
#endif

} // namespace
