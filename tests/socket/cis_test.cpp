// The tuple walk and the template comparison, on a 4 KiB window laid out as attribute memory
// (CIS byte k at offset 2k).
#include "ScsiMiniPort/socket/card_identify.h"
#include "ScsiMiniPort/socket/cis.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace {

struct Window {
    std::array<UCHAR, ATTRIBUTE_WINDOW_SIZE> bytes;
    Window() { bytes.fill(0xFF); }
    // An entry at window offset `at`: code, link, body at every second byte. Returns the
    // offset after it.
    ULONG entry(ULONG at, UCHAR code, std::vector<UCHAR> body, int link = -1) {
        bytes[at] = code;
        bytes[at + 2] = static_cast<UCHAR>(link < 0 ? body.size() : static_cast<size_t>(link));
        for (size_t i = 0; i < body.size() && at + 4 + 2 * i < bytes.size(); ++i) bytes[at + 4 + 2 * i] = body[i];
        return at + 4 + 2 * static_cast<ULONG>(bytes[at + 2]);
    }
    // Entries of the given code with link 255 from offset 0 up to `until`: returns where the
    // walk gets to.
    ULONG filler(ULONG until, UCHAR code = 0x10) {
        ULONG at = 0;
        while (at + 514 <= until) at = entry(at, code, {}, 255);
        if ((until - at) % 4 == 2) at = entry(at, code, {}, 1);
        while (at < until) at = entry(at, code, {}, 0);
        return at;
    }
};

struct Fetch {
    ULONG result;
    std::vector<UCHAR> buffer;
};

Fetch fetch(const Window& w, UCHAR code, ULONG size = 128) {
    Fetch f{0, std::vector<UCHAR>(size, 0xEE)};
    f.result = get_tupledata(w.bytes.data(), code, f.buffer.data(), size);
    return f;
}

TEST(TupleWalk, TheFirstEntryIsFoundAtOnceWithItsBodyFromOffsetFour) {
    Window w;
    w.entry(0, CISTPL_VERS_1, {0x04, 0x01, 'A', 0});
    const Fetch f = fetch(w, CISTPL_VERS_1);
    EXPECT_EQ(f.result, 0u);
    EXPECT_EQ(std::vector<UCHAR>(f.buffer.begin(), f.buffer.begin() + 5), (std::vector<UCHAR>{0x04, 0x01, 'A', 0, 0xEE}));
}

TEST(TupleWalk, LinksMoveTheWalkByFourPlusTwiceTheLinkWhateverTheCode) {
    // Link 0 moves by 4, link 255 by 514; CISTPL_END and null entries are skipped by their
    // link like any other; codes inside a body are not entries.
    Window w;
    ULONG at = w.entry(0, 0x00, {});                       // null, link 0
    at = w.entry(at, 0xFF, {}, 0);                         // an end code does not stop the walk
    at = w.entry(at, 0x20, std::vector<UCHAR>(255, 0x15)); // a body full of the wanted code
    EXPECT_EQ(at, 8u + 514u);
    w.entry(at, CISTPL_VERS_1, {0x42});
    const Fetch f = fetch(w, CISTPL_VERS_1);
    EXPECT_EQ(f.result, 0u);
    EXPECT_EQ(f.buffer[0], 0x42) << "the entry after the long body, not a byte inside it";
    EXPECT_EQ(f.buffer[1], 0xEE) << "one body byte copied";
}

TEST(TupleWalk, EntriesAreLookedForUpToButNotAtOffset0xFE0) {
    for (const ULONG last : {0xFDEu, 0xFE0u}) {
        Window w;
        ASSERT_EQ(w.filler(last), last);
        w.entry(last, CISTPL_VERS_1, {0x33});
        const Fetch f = fetch(w, CISTPL_VERS_1);
        EXPECT_EQ(f.result, last == 0xFDE ? 0u : 1u) << std::hex << last;
        EXPECT_EQ(f.buffer[0], last == 0xFDE ? 0x33 : 0xEE) << "the destination is left alone when not found";
    }
}

TEST(TupleWalk, AWindowOfAllOnesHasNoVersionTuple) {
    Window w;
    EXPECT_EQ(fetch(w, CISTPL_VERS_1).result, 1u);
}

TEST(TupleWalk, ABodyIsCutToTheCallersBufferAndToTheWindow) {
    Window w;
    std::vector<UCHAR> body(200);
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<UCHAR>(i);
    w.entry(0, CISTPL_VERS_1, body);
    const Fetch f = fetch(w, CISTPL_VERS_1, 128);
    EXPECT_EQ(f.result, 0u);
    EXPECT_EQ(f.buffer.size(), 128u);
    EXPECT_EQ(f.buffer[127], 127);

    // An entry at 0xFDE with link 255 would reach 0x11DC: only the bytes inside the window,
    // offsets 0xFE2 to 0xFFE, are copied (15 of them).
    Window edge;
    edge.filler(0xFDE);
    std::vector<UCHAR> tail(255);
    for (size_t i = 0; i < tail.size(); ++i) tail[i] = static_cast<UCHAR>(0x80 + i % 64);
    edge.entry(0xFDE, CISTPL_VERS_1, tail, 255);
    const Fetch g = fetch(edge, CISTPL_VERS_1, 255);
    EXPECT_EQ(g.result, 0u);
    EXPECT_EQ(g.buffer[14], 0x80 + 14);
    EXPECT_EQ(g.buffer[15], 0xEE);
}

TEST(TemplateComparison, EveryNamedStringMustMatchWithItsNulAndFurtherStringsAreIgnored) {
    const UCHAR ab[] = "A" "\0" "B" "\0" "\xFF";
    struct Case {
        std::vector<UCHAR> data;
        LONG result;
    };
    const Case cases[] = {
        {{'A', 0, 'B', 0, 'C', 0}, 0},      // A, B, C
        {{'A', 0, 'B', 'C', 0}, -1},        // A, BC
        {{'A', 0, 'B', 0}, 0},              // exactly the template
        {{'A', 0, 'B'}, -1},                // the data end before the template does
        {{'a', 0, 'B', 0}, -1},             // case matters
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tpl_comp(ab, c.data.data(), static_cast<ULONG>(c.data.size())), c.result)
            << std::string(c.data.begin(), c.data.end());
    }
}

TEST(TemplateComparison, EveryTemplateFitsTheVersionBufferAndEndsWithItsMarker) {
    const CARD_TEMPLATE* templates[] = {QTV601_TPL, QTV604_TPL, CARD230_TPL, CARD210_TPL, CARD47_TPL, WOXRA2_TPL, CARD88_TPL};
    for (const CARD_TEMPLATE* t : templates) {
        ULONG length = 0;
        while (length < VERS_1_BUFFER_SIZE && t[length] != CARD_TEMPLATE_END) ++length;
        EXPECT_LT(length, VERS_1_BUFFER_SIZE - VERS_1_VERSION_BYTES) << reinterpret_cast<const char*>(t);
        EXPECT_EQ(t[length - 1], 0) << "the last string ends with its NUL";
    }
}

} // namespace
