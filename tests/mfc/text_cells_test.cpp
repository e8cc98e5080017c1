// Text as the terminal measures it: UTF-8 decoding that survives bad bytes, cell widths of
// wide and narrow characters, clipping that never halves a character, and the wrapping of
// message texts (their line breaks, tabs and Japanese lines without blanks).

#include "mfc/text_cells.h"

#include <gtest/gtest.h>

namespace {

using namespace orvo::mfc;

class TextCells : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(use_utf8_locale()); }
};

TEST_F(TextCells, CharactersTakeOneOrTwoCellsAndBadBytesShowAsQuestionMarks) {
    const struct {
        const char* text;
        std::u32string characters;
        int cells;
    } cases[] = {
        {"ID0", U"ID0", 3},
        {"現在の設定 ： 5", U"現在の設定 ： 5", 15},
        {"ﾊﾞｰｼﾞｮﾝ情報", U"ﾊﾞｰｼﾞｮﾝ情報", 11}, // half-width katakana: one cell each
        {"\xe3\x81", U"??", 2},                   // a cut sequence
        {"\xc0\xaf", U"??", 2},                   // an overlong '/'
        {"\xed\xa0\x80", U"???", 3},              // a surrogate
        {"a\tb\x1b", U"a\tb\x1b", 4},             // control characters: shown as '?'
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(decode_utf8(c.text), c.characters);
        EXPECT_EQ(text_cells(c.text), c.cells);
    }
    EXPECT_EQ(displayable(U'\x1b'), U'?');
    EXPECT_EQ(encode_utf8(decode_utf8("リソース設定")), "リソース設定");
}

TEST_F(TextCells, ClippingKeepsWholeCharacters) {
    EXPECT_EQ(clip_to_cells("あいう", 5), "あい");
    EXPECT_EQ(clip_to_cells("あいう", 1), "");
    EXPECT_EQ(clip_to_cells("aあb", 3), "aあ");
    EXPECT_EQ(clip_to_cells("abc", 10), "abc");
}

TEST_F(TextCells, WrappingFollowsLineBreaksTabsAndTheWidth) {
    const struct {
        const char* what;
        const char* text;
        int width;
        std::vector<std::string> lines;
    } cases[] = {
        {"CR LF, CR and LF each break once", "a\r\nb\rc\nd", 20, {"a", "b", "c", "d"}},
        {"CR CR LF leaves an empty line", "a\r\r\nb", 20, {"a", "", "b"}},
        {"tabs stop every eight cells", "\t\t設定\tx", 40, {"                設定    x"}},
        {"Japanese breaks between characters", "設定を変更しました。", 8, {"設定を変", "更しまし", "た。"}},
        {"Latin text breaks after a blank", "restart the system now", 12, {"restart the", "system now"}},
        {"a word longer than the line is cut", "abcdefghij", 4, {"abcd", "efgh", "ij"}},
        {"a wide character never straddles the edge", "aあいう", 4, {"aあ", "いう"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(wrap_text(c.text, c.width), c.lines);
    }
}

} // namespace
