// The framework's message box (caption and icon rule, the application title) and the box as
// the terminal shows it: its buttons, keys, clicks and placement.

#include "tests/mfc/sample_dialog.h"

#include "mfc/message_box_view.h"

namespace {

using namespace orvo::mfc;
using orvo::testing::FrameworkTest;
using orvo::winapi::MessageBoxCall;

TEST_F(FrameworkTest, AfxMessageBoxCaptionsWithTheTitleAndAddsTheExclamationIcon) {
    CWinApp app("orvoset");
    const struct {
        UINT asked;
        UINT shown;
    } cases[] = {
        {MB_OK, MB_OK | MB_ICONEXCLAMATION},
        {MB_YESNO, MB_YESNO | MB_ICONEXCLAMATION},
        {MB_YESNO | MB_DEFBUTTON2, MB_YESNO | MB_DEFBUTTON2 | MB_ICONEXCLAMATION},
        {MB_OKCANCEL, MB_OKCANCEL},                 // only OK and Yes/No boxes get the icon
        {MB_YESNO | MB_ICONQUESTION, MB_YESNO | MB_ICONQUESTION},
        {MB_OK | MB_ICONHAND, MB_OK | MB_ICONHAND}, // an icon asked for stays
    };
    for (const auto& c : cases)
        AfxMessageBox("本文", c.asked);
    ASSERT_EQ(driver_->boxes().size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(driver_->boxes()[i].call, (MessageBoxCall{"本文", "orvoset", cases[i].shown})) << i;
    }
    // From the string table.
    AfxMessageBox(1, MB_OK);
    EXPECT_EQ(driver_->boxes().back().call.text, "%1 は %1 です");
}

TEST_F(FrameworkTest, AnUnnamedApplicationIsTitledByItsTitleStringElseItsFileName) {
    struct TitledApp : CWinApp {
        BOOL InitInstance() override {
            AfxMessageBox("x");
            return FALSE;
        }
    };
    {
        TitledApp app;
        EXPECT_EQ(AfxWinMain("/opt/orvo/bin/orvoset.exe"), 0);
    }
    static constexpr StringResource kTitled[] = {{AFX_IDS_APP_TITLE, "設定ユーティリティー"}};
    static constexpr ResourceModule kTitledModule{{}, kTitled, {}};
    set_resource_module(&kTitledModule);
    {
        TitledApp app;
        AfxWinMain("orvoset");
    }
    ASSERT_EQ(driver_->boxes().size(), 2u);
    EXPECT_EQ(driver_->boxes()[0].call.caption, "orvoset");
    EXPECT_EQ(driver_->boxes()[1].call.caption, "設定ユーティリティー");
}

TEST(MessageBoxView, KeysChooseAmongTheBoxesOwnButtons) {
    const Key left{KeyCode::Left}, right{KeyCode::Right}, tab{KeyCode::Tab}, enter{KeyCode::Enter};
    const Key escape{KeyCode::Escape}, y{KeyCode::Character, U'y'}, n{KeyCode::Character, U'N'};
    const struct {
        const char* what;
        UINT style;
        std::vector<Key> keys;
        std::optional<int> answer;
    } cases[] = {
        {"Enter takes the default button", MB_YESNO, {enter}, IDYES},
        {"the second as default", MB_YESNO | MB_DEFBUTTON2, {enter}, IDNO},
        {"arrows move, wrapping", MB_YESNO, {right, right, left, enter}, IDNO},
        {"Tab moves", MB_OKCANCEL, {tab, enter}, IDCANCEL},
        {"a button's key", MB_YESNO, {n}, IDNO},
        {"keys are not case-sensitive", MB_YESNOCANCEL, {y}, IDYES},
        {"no such button here", MB_OK, {y, n}, std::nullopt},
        {"Esc on a Yes/No box does nothing", MB_YESNO, {escape}, std::nullopt},
        {"Esc is Cancel where there is one", MB_YESNOCANCEL, {escape}, IDCANCEL},
        {"Esc closes an OK box", MB_OK | MB_ICONEXCLAMATION, {escape}, IDOK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MessageBoxView box({"text", "caption", c.style});
        std::optional<int> answer;
        for (const Key& key : c.keys)
            if (!answer) answer = box.press(key);
        EXPECT_EQ(answer, c.answer);
    }
}

TEST(MessageBoxView, IsCentredWithItsTextWrappedAndItsButtonsClickable) {
    ASSERT_TRUE(use_utf8_locale());
    const std::string sentence = "変更内容を有効にするためには、システムを再起動する必要があります。";
    MessageBoxView box({"\t\t設定を変更しました。\r\n" + sentence + sentence, "orvoset", MB_YESNO | MB_ICONEXCLAMATION});
    const auto geometry = box.place(24, 80);
    ASSERT_TRUE(geometry);
    EXPECT_EQ(geometry->frame.col, (80 - geometry->frame.cols) / 2);
    EXPECT_EQ(geometry->frame.row, (24 - geometry->frame.rows) / 2);
    ASSERT_GE(geometry->lines.size(), 3u);
    EXPECT_EQ(geometry->lines[0], "                設定を変更しました。");
    for (const std::string& line : geometry->lines)
        EXPECT_LE(text_cells(line), geometry->text.cols);
    EXPECT_LE(geometry->text.right(), geometry->frame.right() - 1);

    MemoryCanvas canvas(24, 80);
    box.paint(canvas, *geometry);
    const CellRect yes = geometry->buttons[0];
    const CellRect no = geometry->buttons[1];
    EXPECT_EQ(canvas.text_at(yes.row, yes.col, yes.cols), "[ はい(Y) ]");
    EXPECT_EQ(canvas.text_at(no.row, no.col, no.cols), "[ いいえ(N) ]");
    EXPECT_EQ(canvas.attr_at(yes.row, yes.col) & kAttrReverse, kAttrReverse); // the default button
    EXPECT_EQ(canvas.text_at(geometry->text.row, geometry->frame.col + 2, 3), "(!)");
    EXPECT_NE(canvas.lines()[static_cast<std::size_t>(geometry->frame.row)].find(" orvoset "), std::string::npos);

    EXPECT_EQ(box.click(*geometry, no.row, no.right() - 1), IDNO);
    EXPECT_EQ(box.click(*geometry, no.row, no.right()), std::nullopt);
    // A screen too small for the box: no placement (the front end says so instead).
    EXPECT_FALSE(box.place(6, 80));
    EXPECT_FALSE(box.place(24, 12));
}

} // namespace
