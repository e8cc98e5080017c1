#pragma once
// Ids of the utility's resources: dialogs, icon, strings, controls and its system menu item.

#include "mfc/win_types.h"

// Dialogs and the icon.
inline constexpr UINT IDD_ABOUTBOX = 100;
inline constexpr UINT IDD_ORVOSET_DIALOG = 102;
inline constexpr UINT IDR_MAINFRAME = 128;

// The string table.
inline constexpr UINT IDS_ABOUTBOX = 101;          // system menu item of the About box
inline constexpr UINT IDS_VERSION = 102;
inline constexpr UINT IDS_ABOUT_CARD = 103;
inline constexpr UINT IDS_ABOUT_UTILITY = 104;
inline constexpr UINT IDS_ABOUT_NOTICE = 105;      // About box line, right button up
inline constexpr UINT IDS_ABOUT_CREDITS = 106;     // About box line, right button down
inline constexpr UINT IDS_NOT_NT4 = 107;
inline constexpr UINT IDS_INI_MISSING = 108;
inline constexpr UINT IDS_INI_FILE_NAME = 109;
inline constexpr UINT IDS_IRQ_CURRENT = 110;
inline constexpr UINT IDS_IO_CURRENT = 111;
inline constexpr UINT IDS_CURRENT_AUTOMATIC = 113;
inline constexpr UINT IDS_TITLE_SUFFIX = 114;
inline constexpr UINT IDS_RESTART_QUESTION = 118;
inline constexpr UINT IDS_RESTARTING = 119;
inline constexpr UINT IDS_RESTART_LATER = 120;
inline constexpr UINT IDS_NO_SERVICE_KEY = 121;
inline constexpr UINT IDS_SOUND_DRIVER_NOTE = 122;

// The settings dialog's controls.
inline constexpr int IDC_ABOUT = 4;
inline constexpr int IDC_IRQ_LIST = 1002;
inline constexpr int IDC_IO_LIST = 1003;
inline constexpr int IDC_RESOURCE_HEADING = 1005;
inline constexpr int IDC_OPTION_HEADING = 1006;
inline constexpr int IDC_IRQ_CURRENT = 1012;
inline constexpr int IDC_IO_CURRENT = 1013;
inline constexpr int IDC_IRQ_AUTOMATIC = 1016;
inline constexpr int IDC_IO_AUTOMATIC = 1017;
inline constexpr int IDC_DEVICE_DESCRIPTION = 1019;
inline constexpr int IDC_UNIQUE_PARAMETER = 1021;
inline constexpr int IDC_DISCONNECT_ID0 = 1023; // ... ID6 = 1029
inline constexpr int IDC_SYNCHRONOUS_ID0 = 1030; // ... ID6 = 1036
inline constexpr int IDC_USED_ID0 = 1037;       // ... ID6 = 1043
inline constexpr int IDC_BUS_MASTER = 1044;
inline constexpr int IDC_PARITY = 1045;
// SCSI IDs with a box in each row: 0 to 6 (7 is the adapter's own).
inline constexpr int kIdBoxesPerRow = 7;

// The About box's controls.
inline constexpr int IDC_ABOUT_VERSION = 1039;
inline constexpr int IDC_ABOUT_CARD = 1040;
inline constexpr int IDC_ABOUT_NOTICE = 1054;

// The system menu item that opens the About box (its low four bits are clear).
inline constexpr UINT IDM_ABOUTBOX = 0x0010;
