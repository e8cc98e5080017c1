// Encoding decisions and conversions for the files the machine reads.

#include "machine/registry/text_encoding.h"

#include <gtest/gtest.h>

namespace orvo::registry {
namespace {

std::vector<std::uint8_t> le(std::initializer_list<std::uint16_t> units, bool odd_byte = false) {
    std::vector<std::uint8_t> bytes;
    for (auto u : units) {
        bytes.push_back(static_cast<std::uint8_t>(u));
        bytes.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    if (odd_byte) bytes.push_back(0x41);
    return bytes;
}

TEST(TextEncoding, Utf16ToUtf8AsAnAnsiCallSeesIt) {
    EXPECT_EQ(utf16le_to_utf8(le({'A', 0x65E5, 0})), std::string("A日\0", 5));
    EXPECT_EQ(utf16le_to_utf8(le({0xD83D, 0xDE00})), "\xF0\x9F\x98\x80"); // surrogate pair
    EXPECT_EQ(utf16le_to_utf8(le({0xDE00, 'x'})), "?x");                  // lone low surrogate
    EXPECT_EQ(utf16le_to_utf8(le({'x', 0xD83D})), "x?"); // high surrogate at the end
    EXPECT_EQ(utf16le_to_utf8(le({'x'}, true)), "x");    // odd trailing byte
}

TEST(TextEncoding, DecidesPerFile) {
    EXPECT_EQ(detect_text_encoding("plain ascii"), TextEncoding::Utf8);
    EXPECT_EQ(detect_text_encoding("日本"), TextEncoding::Utf8);
    EXPECT_EQ(detect_text_encoding("\xEF\xBB\xBF"
                                   "x"),
              TextEncoding::Utf8);
    EXPECT_EQ(detect_text_encoding(std::string_view("\xFF\xFE"
                                                    "x\0",
                                                    4)),
              TextEncoding::Utf16Le);
    EXPECT_EQ(detect_text_encoding("\x93\xfa\x96\x7b"), TextEncoding::Cp932);
    // Overlong and surrogate encodings are not UTF-8.
    EXPECT_EQ(detect_text_encoding("\xC0\xAF"), TextEncoding::Cp932);
    EXPECT_EQ(detect_text_encoding("\xED\xA0\x80"), TextEncoding::Cp932);
}

TEST(TextEncoding, Cp932StrictStopsAtTheBadByteLenientReplacesIt) {
    std::size_t bad = 0;
    EXPECT_EQ(cp932_to_utf8("\x93\xfa\xb1", &bad), "日ｱ"); // half-width katakana
    EXPECT_EQ(bad, std::string_view::npos);
    EXPECT_EQ(cp932_to_utf8("ab\x82", &bad), "ab"); // lead byte cut off by the end
    EXPECT_EQ(bad, 2u);
    EXPECT_EQ(cp932_to_utf8("a\x82 b"), "a? b");
    EXPECT_EQ(decode_text_file("l1\nl2\n\x82\"\n", true).bad_line, 3u);
}

TEST(TextEncoding, FileMarkedUtf8DecodesToUtf8WhateverItHolds) {
    // Code page 932 bytes, a stray continuation byte and a cut-off sequence after the mark.
    const std::string_view file = "\xEF\xBB\xBFl1\n\x93\xfa\x80 \xE6\x97";
    DecodedText lenient = decode_text_file(file, false);
    EXPECT_EQ(lenient.encoding, TextEncoding::Utf8);
    EXPECT_EQ(lenient.utf8, "l1\n??? ??");
    DecodedText strict = decode_text_file(file, true);
    EXPECT_EQ(strict.bad_line, 2u);
    EXPECT_EQ(strict.utf8, "l1\n");
    EXPECT_EQ(decode_text_file("\xEF\xBB\xBF日本", true).utf8, "日本");
}

} // namespace
} // namespace orvo::registry
