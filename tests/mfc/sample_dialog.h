#pragma once
// A small dialog for the framework's tests, with one control of each kind, and a fixture that
// runs it on the headless driver with an in-memory machine.

#include "mfc/app.h"
#include "mfc/controls.h"
#include "mfc/dialog.h"
#include "mfc/headless_driver.h"
#include "mfc/resources.h"
#include "mfc/text_cells.h"
#include "winapi/environment.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvo::testing {

inline constexpr UINT kSampleDialog = 200;
inline constexpr int kApplyButton = 50;
inline constexpr int kOptionBox = 10;
inline constexpr int kLockedBox = 11;
inline constexpr int kChoiceList = 20;
inline constexpr int kNameEdit = 30;
inline constexpr int kNameLabel = 40;
inline constexpr UINT kSampleIcon = 300;

// In tab order. Cancel is the template's default button.
inline constexpr mfc::ControlTemplate kSampleControls[] = {
    {IDOK, mfc::ControlClass::Button, "OK", 10, 80, 40, 14, BS_PUSHBUTTON | WS_TABSTOP},
    {IDCANCEL, mfc::ControlClass::Button, "取消", 60, 80, 40, 14, BS_DEFPUSHBUTTON | WS_TABSTOP},
    {kNameLabel, mfc::ControlClass::Static, "名前", 10, 10, 30, 8, SS_LEFT},
    {kNameEdit, mfc::ControlClass::Edit, "", 45, 8, 80, 12, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
    {mfc::IDC_STATIC, mfc::ControlClass::Button, "選択", 5, 24, 140, 40, BS_GROUPBOX},
    {kOptionBox, mfc::ControlClass::Button, "有効", 10, 36, 50, 8, BS_AUTOCHECKBOX | WS_TABSTOP},
    {kLockedBox, mfc::ControlClass::Button, "固定", 70, 36, 50, 8, BS_AUTOCHECKBOX | WS_TABSTOP | WS_DISABLED},
    {kChoiceList, mfc::ControlClass::ComboBox, "", 10, 48, 80, 28, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP},
    {kApplyButton, mfc::ControlClass::Button, "Apply", 110, 80, 40, 14, BS_PUSHBUTTON | WS_TABSTOP},
    {mfc::IDC_STATIC, mfc::ControlClass::Static, "", 150, 10, 20, 20, SS_ICON, 0, kSampleIcon},
};

inline constexpr std::string_view kSampleIconRows[] = {"<##>", "<##>", "<##>"};
inline constexpr mfc::IconResource kSampleIcons[] = {{kSampleIcon, kSampleIconRows}};
inline constexpr mfc::DialogTemplate kSampleDialogs[] = {
    {kSampleDialog, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 0, 180, 100, "見本",
     {8, "ＭＳ Ｐゴシック"}, kSampleControls},
};
inline constexpr mfc::StringResource kSampleStrings[] = {{1, "%1 は %1 です"}};
inline constexpr mfc::ResourceModule kSampleModule{kSampleDialogs, kSampleStrings, kSampleIcons};

class SampleDialog : public CDialog {
  public:
    SampleDialog() : CDialog(kSampleDialog) {}

    CString m_strName;            // exchanged with the edit field
    std::vector<std::string> m_Choices;
    int m_nApplied = 0;
    int m_nOptionClicks = 0;
    std::vector<UINT> m_SystemCommands;
    std::vector<std::pair<UINT, bool>> m_RightButton; // (flags, down)
    CComboBox m_List;
    CButton m_Option;

  protected:
    void DoDataExchange(CDataExchange* exchange) override {
        DDX_Control(exchange, kChoiceList, m_List);
        DDX_Control(exchange, kOptionBox, m_Option);
        DDX_Text(exchange, kNameEdit, m_strName);
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        for (std::size_t i = 0; i < m_Choices.size(); ++i)
            m_List.SetItemData(m_List.AddString(m_Choices[i].c_str()), 100 + i);
        m_List.SetCurSel(0);
        return TRUE;
    }
    void OnApply() { ++m_nApplied; }
    void OnOption() { ++m_nOptionClicks; }
    void OnSysCommand(UINT id, LPARAM lparam) {
        m_SystemCommands.push_back(id);
        CDialog::OnSysCommand(id, lparam);
    }
    void OnRButtonDown(UINT flags, CPoint) { m_RightButton.emplace_back(flags, true); }
    void OnRButtonUp(UINT flags, CPoint) { m_RightButton.emplace_back(flags, false); }
    const mfc::MessageMap* GetMessageMap() const override {
        static const mfc::MessageMapEntry entries[] = {
            mfc::on_command(kApplyButton, &SampleDialog::OnApply),
            mfc::on_command(kOptionBox, &SampleDialog::OnOption),
            mfc::on_sys_command(&SampleDialog::OnSysCommand),
            mfc::on_rbutton_down(&SampleDialog::OnRButtonDown),
            mfc::on_rbutton_up(&SampleDialog::OnRButtonUp),
        };
        static const mfc::MessageMap map{CDialog::GetMessageMap(), entries};
        return &map;
    }
};

// The sample resources, an in-memory machine and a headless driver with no steps yet.
class FrameworkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(mfc::use_utf8_locale());
        winapi::install_environment(winapi::MachineSettings{});
        mfc::set_resource_module(&kSampleModule);
        mfc::install_headless_driver(driver_);
    }
    void TearDown() override {
        mfc::set_modal_host(nullptr);
        mfc::set_resource_module(nullptr);
        winapi::install_environment(winapi::MachineSettings{});
    }

    std::shared_ptr<mfc::HeadlessDriver> driver_ = std::make_shared<mfc::HeadlessDriver>();
};

} // namespace orvo::testing
