// Modal dialogs end to end on the headless driver: creation from the template, the start with
// its data exchange, message maps (commands by control id, system commands, the right mouse
// button), the default processing behind them, and the controls bound to ids.

#include "tests/mfc/sample_dialog.h"

#include "mfc/dialog_view.h"

#include <functional>

namespace {

using orvo::mfc::DialogView;
using orvo::mfc::HeadlessDriver;
using orvo::testing::FrameworkTest;
using orvo::testing::SampleDialog;
using namespace orvo::testing;

TEST_F(FrameworkTest, ADialogEndsWithTheButtonOrCommandThatClosedIt) {
    const struct {
        const char* what;
        std::function<void(HeadlessDriver&)> steps;
        INT_PTR result;
        const char* name_after; // the member exchanged with the edit field
    } cases[] = {
        {"OK saves the controls into the members",
         [](HeadlessDriver& d) { d.type(kNameEdit, "新しい名前").click(IDOK); }, IDOK, "新しい名前"},
        {"Cancel leaves the members", [](HeadlessDriver& d) { d.type(kNameEdit, "x").click(IDCANCEL); }, IDCANCEL,
         "古い"},
        {"Esc is Cancel", [](HeadlessDriver& d) { d.key({orvo::mfc::KeyCode::Escape}); }, IDCANCEL, "古い"},
        {"the close command goes through the handler to Cancel",
         [](HeadlessDriver& d) { d.system_command(SC_CLOSE); }, IDCANCEL, "古い"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SampleDialog dialog;
        dialog.m_strName = "古い";
        c.steps(*driver_);
        EXPECT_EQ(dialog.DoModal(), c.result);
        EXPECT_EQ(dialog.m_strName, c.name_after);
        EXPECT_EQ(driver_->steps_left(), 0u);
    }
}

TEST_F(FrameworkTest, ControlsAreBoundByIdAndNotifyTheirDialog) {
    SampleDialog dialog;
    dialog.m_strName = "名前1";
    dialog.m_Choices = {"一", "二", "三"};
    driver_->inspect([&](const DialogView& view) {
        EXPECT_EQ(view.text(kNameEdit), "名前1"); // exchanged at the start
        EXPECT_EQ(view.entries(kChoiceList), (std::vector<std::string>{"一", "二", "三"}));
        EXPECT_EQ(view.entry_data(kChoiceList, 2), 102u);
        EXPECT_EQ(view.selection(kChoiceList), 0);
        // Calls outside the list answer CB_ERR instead of reaching past it.
        EXPECT_EQ(dialog.m_List.GetItemData(3), static_cast<DWORD_PTR>(CB_ERR));
        EXPECT_EQ(dialog.m_List.SetItemData(-1, 7), CB_ERR);
        EXPECT_EQ(dialog.m_List.SetCurSel(9), CB_ERR);
        EXPECT_EQ(dialog.m_List.GetCurSel(), CB_ERR);
    });
    driver_->click(kOptionBox).click(kOptionBox).check(kOptionBox).click(kLockedBox).click(kApplyButton);
    driver_->inspect([&](const DialogView& view) {
        EXPECT_TRUE(view.checked(kOptionBox));
        EXPECT_EQ(dialog.m_Option.GetCheck(), BST_CHECKED);
        EXPECT_FALSE(view.checked(kLockedBox)); // disabled: the click did nothing
        EXPECT_EQ(view.focus_id(), kApplyButton);
    });
    driver_->click(IDCANCEL);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.m_nOptionClicks, 3);
    EXPECT_EQ(dialog.m_nApplied, 1);

    // The window is gone; the objects bound to it are detached and harmless.
    EXPECT_EQ(dialog.m_List.m_hWnd, nullptr);
    EXPECT_EQ(dialog.m_List.AddString("四"), CB_ERR);
    EXPECT_EQ(dialog.m_List.GetCount(), 0);
    EXPECT_EQ(dialog.m_Option.GetCheck(), BST_UNCHECKED);
}

TEST_F(FrameworkTest, SystemCommandsAndTheRightButtonReachTheirHandlers) {
    SampleDialog dialog;
    driver_->system_command(0x13).right_button(true).right_button(false);
    driver_->inspect([&](const DialogView& view) {
        // A command without default processing leaves the dialog running.
        EXPECT_EQ(view.caption(), "見本");
        EXPECT_EQ(dialog.m_SystemCommands, (std::vector<UINT>{0x13}));
        EXPECT_EQ(dialog.m_RightButton, (std::vector<std::pair<UINT, bool>>{{MK_RBUTTON, true}, {0, false}}));
    });
    driver_->key({orvo::mfc::KeyCode::SystemMenu}).key({orvo::mfc::KeyCode::Character, U'c'});
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.m_SystemCommands, (std::vector<UINT>{0x13, SC_CLOSE}));
}

TEST_F(FrameworkTest, AMissingTemplateEndsAtOnceWithMinusOne) {
    CDialog dialog(999);
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_TRUE(driver_->dialogs().empty());
}

TEST_F(FrameworkTest, StringsFormatAtAnyLengthAndPercentOneTakesItsArgumentOnce) {
    CString formatted;
    AfxFormatString1(formatted, 1, "%1 と 100%");
    EXPECT_EQ(formatted, "%1 と 100% は %1 と 100% です");

    const std::string long_text(5000, 'x');
    CString text;
    text.Format("%s|%d (0x%02x)", long_text.c_str(), 10, 10);
    EXPECT_EQ(text.str(), long_text + "|10 (0x0a)");
    EXPECT_FALSE(text.LoadString(77));
    EXPECT_TRUE(text.IsEmpty());
}

} // namespace
