// The keyboard of a running dialog: focus in tab order, Space, Enter and Esc, drop-down lists
// opening and choosing, edit fields with multi-byte text, and the system menu.

#include "tests/mfc/sample_dialog.h"

#include "mfc/dialog_input.h"
#include "mfc/dialog_view.h"
#include "mfc/menu.h"

#include <functional>

namespace {

using orvo::mfc::DialogInput;
using orvo::mfc::DialogView;
using orvo::mfc::Key;
using orvo::mfc::KeyCode;
using namespace orvo::testing;

constexpr Key kTab{KeyCode::Tab};
constexpr Key kBackTab{KeyCode::BackTab};
constexpr Key kEnter{KeyCode::Enter};
constexpr Key kSpace{KeyCode::Space};
constexpr Key kEscape{KeyCode::Escape};
constexpr Key kUp{KeyCode::Up};
constexpr Key kDown{KeyCode::Down};
Key typed(char32_t c) {
    return {KeyCode::Character, c};
}

class DialogKeys : public FrameworkTest {
  protected:
    // Runs the sample dialog; look drives its own DialogInput on it while it runs.
    INT_PTR run(const std::function<void(DialogInput&, const DialogView&)>& look) {
        dialog_.m_Choices = {"一", "二", "三", "四"};
        driver_->inspect([&](const DialogView& view) {
            DialogInput input(view.handle());
            look(input, view);
            ended_ = orvo::mfc::find_window(view.handle())->end_result;
        });
        driver_->click(IDCANCEL);
        return dialog_.DoModal();
    }
    void press(DialogInput& input, std::initializer_list<Key> keys) {
        for (const Key& key : keys)
            input.press(key);
    }

    SampleDialog dialog_;
    std::optional<INT_PTR> ended_;
};

TEST_F(DialogKeys, TabStopsAtEnabledTabStopsInTemplateOrder) {
    run([&](DialogInput& input, const DialogView& view) {
        EXPECT_EQ(view.focus_id(), IDOK); // the first tab stop
        std::vector<int> order;
        for (int i = 0; i < 6; ++i) {
            press(input, {kTab});
            order.push_back(view.focus_id());
        }
        // The label, the group box, the disabled box and the icon are passed over; Tab wraps.
        EXPECT_EQ(order, (std::vector<int>{IDCANCEL, kNameEdit, kOptionBox, kChoiceList, kApplyButton, IDOK}));
        press(input, {kBackTab, kBackTab});
        EXPECT_EQ(view.focus_id(), kChoiceList);

        // The focus on a control that is then disabled moves on to the next that can take it.
        press(input, {kBackTab});
        EXPECT_EQ(view.focus_id(), kOptionBox);
        dialog_.m_Option.EnableWindow(FALSE);
        EXPECT_EQ(view.focus_id(), kChoiceList);
    });
}

TEST_F(DialogKeys, SpaceTogglesEnterPressesAndEscCancels) {
    run([&](DialogInput& input, const DialogView& view) {
        press(input, {kTab, kTab, kTab, kSpace});
        EXPECT_TRUE(view.checked(kOptionBox));
        press(input, {kSpace});
        EXPECT_FALSE(view.checked(kOptionBox));
        EXPECT_EQ(dialog_.m_nOptionClicks, 2);
        press(input, {kTab, kTab, kEnter}); // Enter on a push button presses it
        EXPECT_EQ(dialog_.m_nApplied, 1);
        EXPECT_FALSE(ended_);
        // Enter away from a push button presses the template's default button: Cancel here.
        press(input, {kBackTab, kBackTab, kEnter});
        EXPECT_EQ(view.focus_id(), kOptionBox);
    });
    EXPECT_EQ(ended_, IDCANCEL);
    EXPECT_EQ(driver_->steps_left(), 1u); // the Cancel click was not needed
}

TEST_F(DialogKeys, AListOpensOnEnterAndChoosesOnlyWhenConfirmed) {
    run([&](DialogInput& input, const DialogView& view) {
        press(input, {kTab, kTab, kTab, kTab});
        ASSERT_EQ(view.focus_id(), kChoiceList);
        press(input, {kEnter, kDown, kDown});
        EXPECT_EQ(input.mode(), DialogInput::Mode::ListOpen);
        EXPECT_EQ(input.highlight(), 2);
        press(input, {kEscape}); // closes the list only
        EXPECT_EQ(input.mode(), DialogInput::Mode::Controls);
        EXPECT_EQ(view.selection(kChoiceList), 0);
        EXPECT_FALSE(ended_);

        press(input, {kEnter, kDown, kDown, kDown, kDown, kDown, kEnter});
        EXPECT_EQ(view.selection(kChoiceList), 3); // the highlight stops at the last entry
        // The list drops down two entries and keeps the highlighted one in view.
        press(input, {Key{KeyCode::OpenList}});
        EXPECT_EQ(input.first_shown_entry(2), 2);
        press(input, {kUp, kUp});
        EXPECT_EQ(input.first_shown_entry(2), 1);
        press(input, {kEscape});

        // Closed, the arrows change the entry directly and stop at the ends.
        press(input, {kUp, kUp});
        EXPECT_EQ(view.selection(kChoiceList), 1);
        press(input, {Key{KeyCode::Home}, kUp});
        EXPECT_EQ(view.selection(kChoiceList), 0);

        // Clicks: an entry of the open list chooses it; a click elsewhere closes the list.
        input.click(view.control(kChoiceList).handle);
        EXPECT_EQ(input.mode(), DialogInput::Mode::ListOpen);
        input.click_list_entry(2);
        EXPECT_EQ(view.selection(kChoiceList), 2);
        input.click(view.control(kChoiceList).handle);
        input.close_popup();
        EXPECT_EQ(view.selection(kChoiceList), 2);
    });
}

TEST_F(DialogKeys, EditFieldsTakeTextAndKeepCharactersWhole) {
    run([&](DialogInput& input, const DialogView& view) {
        press(input, {kTab, kTab});
        ASSERT_EQ(view.focus_id(), kNameEdit);
        press(input, {typed(U'a'), typed(U'あ'), kSpace, typed(U'b'), typed(U'\x1b'), typed(U'\x7f')});
        EXPECT_EQ(view.text(kNameEdit), "aあ b"); // control characters do not go in
        press(input, {Key{KeyCode::Left}, Key{KeyCode::Left}, Key{KeyCode::Backspace}});
        EXPECT_EQ(view.text(kNameEdit), "a b");
        press(input, {Key{KeyCode::Home}, Key{KeyCode::Delete}, Key{KeyCode::End}, typed(U'é')});
        EXPECT_EQ(view.text(kNameEdit), " bé");
        press(input, {Key{KeyCode::Backspace}, Key{KeyCode::Backspace}, Key{KeyCode::Backspace},
                      Key{KeyCode::Backspace}});
        EXPECT_EQ(view.text(kNameEdit), "");
    });
}

TEST_F(DialogKeys, TheSystemMenuOpensOnItsKeyAndSendsTheChosenCommand) {
    run([&](DialogInput& input, const DialogView& view) {
        CMenu& menu = *orvo::mfc::find_window(view.handle())->system_menu;
        menu.AppendMenu(MF_SEPARATOR);
        menu.AppendMenu(MF_STRING | MF_GRAYED, 0x20, "灰色(&G)");
        menu.AppendMenu(MF_STRING, 0x10, "情報(&A)...");

        press(input, {Key{KeyCode::SystemMenu}});
        EXPECT_EQ(input.mode(), DialogInput::Mode::MenuOpen);
        EXPECT_EQ(input.highlight(), 0); // 閉じる(&C)
        press(input, {kDown});             // past the separator and the grayed item
        EXPECT_EQ(input.highlight(), 3);
        press(input, {kEnter});
        EXPECT_EQ(input.mode(), DialogInput::Mode::Controls);
        press(input, {Key{KeyCode::SystemMenu}, typed(U'g'), typed(U'A')}); // grayed: no effect
        EXPECT_EQ(dialog_.m_SystemCommands, (std::vector<UINT>{0x10, 0x10}));
        EXPECT_FALSE(ended_);
    });
}

} // namespace
