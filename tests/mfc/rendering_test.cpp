// How a dialog reaches the terminal: dialog units scaled to cells, the choice of scale for the
// screen, mouse hits, and the painter's output read back from a canvas in memory (wide
// characters aligned, check boxes, dimmed and focused controls, the open list, the caption).

#include "tests/mfc/sample_dialog.h"

#include "mfc/canvas.h"
#include "mfc/dialog_input.h"
#include "mfc/dialog_view.h"
#include "mfc/layout.h"
#include "mfc/painter.h"

namespace {

using namespace orvo::mfc;
using orvo::testing::FrameworkTest;
using orvo::testing::SampleDialog;
using namespace orvo::testing;

class Rendering : public FrameworkTest {
  protected:
    // Runs the sample dialog with look called while it runs.
    void run(const std::function<void(const DialogView&)>& look) {
        dialog_.m_Choices = {"IRQ 5", "IRQ 10"};
        driver_->inspect(look).click(IDCANCEL);
        dialog_.DoModal();
    }
    SampleDialog dialog_;
};

TEST_F(Rendering, TheRoomyScaleIsUsedWhenItFitsThenTheCompactOne) {
    run([](const DialogView& view) {
        const Window& dialog = *find_window(view.handle());
        const CellRect roomy = frame_cells(dialog, kRoomyScale);   // 180 / 3 + 2 by 100 / 8 + 2
        const CellRect compact = frame_cells(dialog, kCompactScale);
        EXPECT_EQ(roomy, (CellRect{0, 0, 15, 62}));
        EXPECT_EQ(compact, (CellRect{0, 0, 15, 47}));
        const struct {
            int rows, cols;
            std::optional<int> scale_den;
        } screens[] = {{24, 80, 3}, {15, 62, 3}, {15, 61, 4}, {15, 47, 4}, {15, 46, {}}, {14, 80, {}}, {0, 0, {}}};
        for (const auto& screen : screens) {
            SCOPED_TRACE(std::to_string(screen.cols) + "x" + std::to_string(screen.rows));
            const auto placement = place_dialog(dialog, screen.rows, screen.cols);
            ASSERT_EQ(placement.has_value(), screen.scale_den.has_value());
            if (!placement) continue;
            EXPECT_EQ(placement->scale.den, *screen.scale_den);
            // Centred.
            EXPECT_EQ(placement->frame.row, (screen.rows - placement->frame.rows) / 2);
            EXPECT_EQ(placement->frame.col, (screen.cols - placement->frame.cols) / 2);
        }
    });
}

TEST_F(Rendering, ClicksReachButtonsBoxesListsAndEditsButPassThroughTexts) {
    run([](const DialogView& view) {
        const Window& dialog = *find_window(view.handle());
        const DialogPlacement placement = *place_dialog(dialog, 15, 62);
        auto hit = [&](int id) {
            const CellRect cells = placement.on_screen(view.control(id));
            return control_at(dialog, placement, cells.row, cells.col + cells.cols - 1);
        };
        for (int id : {IDOK, IDCANCEL, kOptionBox, kLockedBox, kChoiceList, kNameEdit})
            EXPECT_EQ(hit(id), view.control(id).handle) << id;
        EXPECT_EQ(hit(kNameLabel), nullptr);
        EXPECT_EQ(control_at(dialog, placement, placement.frame.row, placement.frame.col), nullptr);
    });
}

TEST_F(Rendering, ThePainterDrawsEveryControlWhereItsCellsAre) {
    dialog_.m_strName = "名前を入力";
    driver_->click(kOptionBox);
    run([](const DialogView& view) {
        const Window& dialog = *find_window(view.handle());
        MemoryCanvas canvas(15, 62);
        const DialogPlacement placement = *place_dialog(dialog, 15, 62);
        DialogInput input(view.handle());
        paint_dialog(canvas, dialog, placement, &input);
        auto at = [&](int id) { return placement.on_screen(view.control(id)); };
        auto text_at = [&](int id, int cells) { return canvas.text_at(at(id).row, at(id).col, cells); };

        EXPECT_NE(canvas.lines()[0].find("[-]─ 見本 "), std::string::npos) << canvas.text();
        EXPECT_NE(canvas.lines()[0].find("[X]┐"), std::string::npos);
        EXPECT_EQ(text_at(kNameLabel, 4), "名前");
        // The edit field lands on its own cells after the two-cell characters of the label.
        EXPECT_EQ(text_at(kNameEdit, 7), "[名前を");
        EXPECT_EQ(text_at(kOptionBox, 7), "[x] 有効");
        EXPECT_EQ(text_at(kLockedBox, 7), "[ ] 固定");
        EXPECT_EQ(canvas.attr_at(at(kLockedBox).row, at(kLockedBox).col) & kAttrDim, kAttrDim);
        EXPECT_EQ(canvas.attr_at(at(kOptionBox).row, at(kOptionBox).col) & kAttrDim, 0u);
        EXPECT_EQ(text_at(kChoiceList, 7), "[IRQ 5 ");
        EXPECT_NE(canvas.lines()[static_cast<std::size_t>(at(kChoiceList).row)].find(" v]"), std::string::npos);
        // The focus (the option box, clicked last) in reverse video; the others not.
        EXPECT_EQ(canvas.attr_at(at(kOptionBox).row, at(kOptionBox).col) & kAttrReverse, kAttrReverse);
        EXPECT_EQ(canvas.attr_at(at(IDOK).row, at(IDOK).col + 2) & kAttrReverse, 0u);
        EXPECT_EQ(canvas.text_at(at(kOptionBox).row - 2, placement.client().col + 2, 8), "┌─ 選択 ");

        // An open list is drawn over what lies below its field, the highlight reversed.
        input.press({KeyCode::Tab});
        input.press({KeyCode::Enter});
        input.press({KeyCode::Down});
        paint_dialog(canvas, dialog, placement, &input);
        const int first = at(kChoiceList).row + 2;
        EXPECT_EQ(canvas.text_at(first, at(kChoiceList).col + 1, 6), "IRQ 5 ");
        EXPECT_EQ(canvas.text_at(first + 1, at(kChoiceList).col + 1, 6), "IRQ 10");
        EXPECT_EQ(canvas.attr_at(first + 1, at(kChoiceList).col + 1) & kAttrReverse, kAttrReverse);
        EXPECT_EQ(canvas.attr_at(first, at(kChoiceList).col + 1) & kAttrReverse, 0u);
    });
}

TEST_F(Rendering, TheCaretOfTheFocusedEditStaysInView) {
    const std::string long_name = "あいうえおかきくけこさしすせそたちつてと0123456789";
    dialog_.m_strName = long_name;
    driver_->click(kNameEdit);
    run([&](const DialogView& view) {
        const Window& dialog = *find_window(view.handle());
        MemoryCanvas canvas(15, 62);
        const DialogPlacement placement = *place_dialog(dialog, 15, 62);
        DialogInput input(view.handle());
        paint_dialog(canvas, dialog, placement, &input);
        const CellRect field = placement.on_screen(view.control(kNameEdit));
        const std::string shown = canvas.text_at(field.row, field.col, field.cols);
        EXPECT_NE(shown.find("0123456789 ]"), std::string::npos) << shown; // the end and the caret after it
        ASSERT_TRUE(canvas.cursor());
        EXPECT_EQ(canvas.cursor()->first, field.row);
        EXPECT_LT(canvas.cursor()->second, field.right());
    });
}

TEST(MemoryCanvas, NeverKeepsHalfAWideCharacterOrDrawsOutside) {
    ASSERT_TRUE(use_utf8_locale());
    MemoryCanvas canvas(2, 6);
    put_text(canvas, 0, 0, "あいう", 6, kAttrNormal);
    EXPECT_EQ(canvas.lines()[0], "あいう");
    canvas.put_char(0, 3, U'x', 1, kAttrBold); // over the right half of い
    EXPECT_EQ(canvas.lines()[0], "あ xう");
    canvas.put_char(0, 5, U'え', 2, kAttrNormal); // would stick out: dropped
    canvas.put_char(-1, 0, U'x', 1, kAttrNormal);
    canvas.put_char(2, 0, U'x', 1, kAttrNormal);
    EXPECT_EQ(canvas.lines()[0], "あ xう");
    // Text that cannot be shown safely (escape sequences, bytes that are not UTF-8) shows '?'.
    EXPECT_EQ(put_text(canvas, 1, 0, "\x1b[2J\xff", 6, kAttrNormal), 5);
    EXPECT_EQ(canvas.lines()[1], "?[2J?");
    EXPECT_EQ(put_text(canvas, 1, 0, "ああ", 3, kAttrNormal), 2); // the second one does not fit
}

TEST(TooSmall, SaysWhatTheDialogNeedsAndWhatTheTerminalHas) {
    ASSERT_TRUE(use_utf8_locale());
    MemoryCanvas canvas(10, 30);
    paint_too_small(canvas, 34, 99);
    const std::string text = canvas.text();
    std::string joined;
    for (const std::string& line : canvas.lines())
        joined += line.empty() ? "" : line.substr(1) + " ";
    EXPECT_NE(joined.find("needs 99 x 34"), std::string::npos) << text;
    EXPECT_NE(joined.find("is 30 x 10"), std::string::npos) << text;
    EXPECT_NE(joined.find("Esc"), std::string::npos) << text;
}

} // namespace
