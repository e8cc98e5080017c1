// Dialog resources 100 (the About box) and 102 (the settings dialog) as data: every control
// with its id, class, text, position and size in dialog units and styles, in tab order.

#include "orvoset/resource_ids.h"
#include "orvoset/resources.h"

namespace {

using orvo::mfc::ControlClass;
using orvo::mfc::ControlTemplate;
using orvo::mfc::DialogFont;
using orvo::mfc::DialogTemplate;
using orvo::mfc::IDC_STATIC;

constexpr DialogFont kDialogFont{8, "ＭＳ Ｐゴシック"};

constexpr DWORD kPushButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kDefaultButton = BS_DEFPUSHBUTTON | WS_TABSTOP;
constexpr DWORD kCheckBox = BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr DWORD kDisabledCheckBox = kCheckBox | WS_DISABLED;
constexpr DWORD kDropDownList = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

constexpr ControlTemplate kSettingsControls[] = {
    {IDOK, ControlClass::Button, "設定", 327, 23, 50, 23, kPushButton},
    {IDCANCEL, ControlClass::Button, "設定中止", 328, 59, 50, 22, kDefaultButton},
    {IDC_RESOURCE_HEADING, ControlClass::Static, "リソース設定の変更を行います。", 7, 22, 113, 8, SS_LEFT},
    {IDC_IRQ_LIST, ControlClass::ComboBox, "", 24, 83, 106, 66, kDropDownList},
    {IDC_DEVICE_DESCRIPTION, ControlClass::Static, "", 7, 7, 128, 8, SS_LEFT},
    {IDC_IRQ_CURRENT, ControlClass::Static, "現在値：", 15, 70, 113, 9, SS_LEFT},
    {IDC_IRQ_AUTOMATIC, ControlClass::Button, "自動設定", 13, 55, 43, 8, kCheckBox},
    {IDC_ABOUT, ControlClass::Button, "About...", 328, 106, 50, 20, kPushButton},
    {IDC_STATIC, ControlClass::Button, "IRQ番号", 7, 41, 139, 64, BS_GROUPBOX},
    {IDC_IO_LIST, ControlClass::ComboBox, "", 185, 83, 106, 66, kDropDownList},
    {IDC_IO_CURRENT, ControlClass::Static, "現在値：", 175, 70, 113, 9, SS_LEFT},
    {IDC_IO_AUTOMATIC, ControlClass::Button, "自動設定", 174, 55, 43, 8, kCheckBox},
    {IDC_STATIC, ControlClass::Button, "IOポート", 168, 41, 139, 64, BS_GROUPBOX},
    {IDC_STATIC, ControlClass::Static, "", 323, 92, 56, 1, SS_GRAYFRAME},
    {IDC_UNIQUE_PARAMETER, ControlClass::Edit, "", 270, 225, 110, 13, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP},
    {IDC_STATIC, ControlClass::Static, "ユニークパラメータ", 202, 229, 61, 8, SS_LEFT},
    // The disconnect row shows the stored state but is never enabled.
    {IDC_STATIC, ControlClass::Button, "切断 (Disconnect) 有効 SCSI ID", 7, 161, 181, 32, BS_GROUPBOX | WS_DISABLED},
    {IDC_DISCONNECT_ID0 + 0, ControlClass::Button, "ID0", 14, 176, 25, 9, kDisabledCheckBox},
    {IDC_DISCONNECT_ID0 + 1, ControlClass::Button, "ID1", 38, 176, 25, 9, kDisabledCheckBox},
    {IDC_DISCONNECT_ID0 + 2, ControlClass::Button, "ID2", 62, 176, 25, 9, kDisabledCheckBox},
    {IDC_DISCONNECT_ID0 + 3, ControlClass::Button, "ID3", 86, 176, 25, 9, kDisabledCheckBox},
    {IDC_DISCONNECT_ID0 + 4, ControlClass::Button, "ID4", 110, 176, 25, 9, kDisabledCheckBox},
    {IDC_DISCONNECT_ID0 + 5, ControlClass::Button, "ID5", 134, 176, 25, 9, kDisabledCheckBox},
    {IDC_DISCONNECT_ID0 + 6, ControlClass::Button, "ID6", 158, 176, 25, 9, kDisabledCheckBox},
    {IDC_STATIC, ControlClass::Button, "同期転送 有効 SCSI ID", 199, 161, 181, 32, BS_GROUPBOX},
    {IDC_SYNCHRONOUS_ID0 + 0, ControlClass::Button, "ID0", 207, 177, 25, 9, kCheckBox},
    {IDC_SYNCHRONOUS_ID0 + 1, ControlClass::Button, "ID1", 231, 177, 25, 9, kCheckBox},
    {IDC_SYNCHRONOUS_ID0 + 2, ControlClass::Button, "ID2", 255, 177, 25, 9, kCheckBox},
    {IDC_SYNCHRONOUS_ID0 + 3, ControlClass::Button, "ID3", 279, 177, 25, 9, kCheckBox},
    {IDC_SYNCHRONOUS_ID0 + 4, ControlClass::Button, "ID4", 303, 177, 25, 9, kCheckBox},
    {IDC_SYNCHRONOUS_ID0 + 5, ControlClass::Button, "ID5", 327, 177, 25, 9, kCheckBox},
    {IDC_SYNCHRONOUS_ID0 + 6, ControlClass::Button, "ID6", 353, 177, 25, 9, kCheckBox},
    {IDC_BUS_MASTER, ControlClass::Button, "/BM モード", 204, 212, 51, 9, kCheckBox},
    {IDC_STATIC, ControlClass::Button, "使用する SCSI ID", 7, 207, 181, 32, BS_GROUPBOX},
    {IDC_USED_ID0 + 0, ControlClass::Button, "ID0", 14, 222, 25, 9, kCheckBox},
    {IDC_USED_ID0 + 1, ControlClass::Button, "ID1", 38, 222, 25, 9, kCheckBox},
    {IDC_USED_ID0 + 2, ControlClass::Button, "ID2", 62, 222, 25, 9, kCheckBox},
    {IDC_USED_ID0 + 3, ControlClass::Button, "ID3", 86, 222, 25, 9, kCheckBox},
    {IDC_USED_ID0 + 4, ControlClass::Button, "ID4", 110, 222, 25, 9, kCheckBox},
    {IDC_USED_ID0 + 5, ControlClass::Button, "ID5", 134, 222, 25, 9, kCheckBox},
    {IDC_USED_ID0 + 6, ControlClass::Button, "ID6", 158, 222, 25, 9, kCheckBox},
    {IDC_PARITY, ControlClass::Button, "パリティー有効", 280, 212, 65, 9, kCheckBox},
    {IDC_OPTION_HEADING, ControlClass::Static, "各種パラメータの設定を行います。", 7, 143, 128, 8, SS_LEFT},
    {IDC_STATIC, ControlClass::Static, "", 7, 125, 311, 1, SS_GRAYFRAME | SS_SUNKEN | WS_BORDER},
};

constexpr ControlTemplate kAboutControls[] = {
    {IDOK, ControlClass::Button, "OK", 88, 73, 42, 16, kDefaultButton | WS_GROUP},
    {IDC_STATIC, ControlClass::Static, "", 13, 69, 20, 20, SS_ICON, 0, IDR_MAINFRAME},
    {IDC_STATIC, ControlClass::Static, "", 183, 66, 21, 23, SS_ICON, 0, IDR_MAINFRAME},
    // Placeholders, replaced when the box starts.
    {IDC_ABOUT_CARD, ControlClass::Static, "Static", 38, 17, 142, 8, SS_CENTER},
    {IDC_ABOUT_VERSION, ControlClass::Static, "Static", 11, 31, 197, 8, SS_CENTER},
    {IDC_ABOUT_NOTICE, ControlClass::Static, "Static", 26, 51, 166, 9, SS_CENTER},
};

constexpr DialogTemplate kDialogs[] = {
    {IDD_ABOUTBOX, kDialogStyle, WS_EX_CLIENTEDGE, 219, 96, "ﾊﾞｰｼﾞｮﾝ情報 ORVOSET", kDialogFont, kAboutControls},
    {IDD_ORVOSET_DIALOG, kDialogStyle, WS_EX_APPWINDOW | WS_EX_STATICEDGE, 387, 257, "ORVOSET", kDialogFont,
     kSettingsControls},
};

} // namespace

std::span<const DialogTemplate> OrvosetDialogTemplates() {
    return kDialogs;
}
