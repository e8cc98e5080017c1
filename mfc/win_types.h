#pragma once
// Types and constants of the window system the dialog framework works with: handles, message
// numbers, window and control styles, notification codes, system commands and metrics. Values
// are the platform's, so resources and handlers read as they would there. The Win32 basics
// (BOOL, DWORD, IDOK, MB_ ...) come from winapi/win32_types.h.

#include "winapi/win32_types.h"

#include <cstdint>

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using DWORD_PTR = std::uintptr_t;

struct HICON__;
using HICON = HICON__*;
using HCURSOR = HICON;
struct HFONT__;
using HFONT = HFONT__*;
using HGDIOBJ = void*;
struct HDC__;
using HDC = HDC__*;

inline constexpr WORD LOWORD(WPARAM value) {
    return static_cast<WORD>(value & 0xFFFF);
}
inline constexpr WORD HIWORD(WPARAM value) {
    return static_cast<WORD>((value >> 16) & 0xFFFF);
}
inline constexpr WPARAM MAKEWPARAM(WORD low, WORD high) {
    return static_cast<WPARAM>(low) | (static_cast<WPARAM>(high) << 16);
}

struct POINT {
    LONG x = 0;
    LONG y = 0;
};
struct RECT {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
};
using LPRECT = RECT*;

class CPoint : public POINT {
  public:
    CPoint() = default;
    CPoint(LONG x_, LONG y_) : POINT{x_, y_} {}
};

class CRect : public RECT {
  public:
    CRect() = default;
    CRect(LONG l, LONG t, LONG r, LONG b) : RECT{l, t, r, b} {}
    LONG Width() const { return right - left; }
    LONG Height() const { return bottom - top; }
};

// Messages the framework and the utility's dialogs deal in.
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_ICONERASEBKGND = 0x0027;
inline constexpr UINT WM_SETFONT = 0x0030;
inline constexpr UINT WM_GETFONT = 0x0031;
inline constexpr UINT WM_QUERYDRAGICON = 0x0037;
inline constexpr UINT WM_SETICON = 0x0080;
inline constexpr UINT WM_INITDIALOG = 0x0110;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_SYSCOMMAND = 0x0112;
inline constexpr UINT WM_RBUTTONDOWN = 0x0204;
inline constexpr UINT WM_RBUTTONUP = 0x0205;

// Mouse key state flags of the button messages.
inline constexpr UINT MK_RBUTTON = 0x0002;

inline LPARAM MAKELPARAM(LONG x, LONG y) {
    return static_cast<LPARAM>((static_cast<DWORD>(y) & 0xFFFF) << 16 |
                               (static_cast<DWORD>(x) & 0xFFFF));
}

// Notification codes carried in the high word of WM_COMMAND.
inline constexpr WORD BN_CLICKED = 0;
inline constexpr WORD CBN_SELCHANGE = 1;
inline constexpr WORD EN_CHANGE = 0x0300;

// System commands (WM_SYSCOMMAND); the low four bits are the system's own.
inline constexpr UINT SC_MOVE = 0xF010;
inline constexpr UINT SC_CLOSE = 0xF060;

// Menu item flags.
inline constexpr UINT MF_STRING = 0x0000;
inline constexpr UINT MF_GRAYED = 0x0001;
inline constexpr UINT MF_SEPARATOR = 0x0800;

// Window styles.
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_DISABLED = 0x08000000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_BORDER = 0x00800000;
inline constexpr DWORD WS_VSCROLL = 0x00200000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;
inline constexpr DWORD WS_GROUP = 0x00020000;
inline constexpr DWORD WS_TABSTOP = 0x00010000;
inline constexpr DWORD WS_EX_CLIENTEDGE = 0x00000200;
inline constexpr DWORD WS_EX_STATICEDGE = 0x00020000;
inline constexpr DWORD WS_EX_APPWINDOW = 0x00040000;

// Dialog styles.
inline constexpr DWORD DS_SETFONT = 0x40;
inline constexpr DWORD DS_MODALFRAME = 0x80;

// Button styles (the low four bits are the kind).
inline constexpr DWORD BS_PUSHBUTTON = 0x0;
inline constexpr DWORD BS_DEFPUSHBUTTON = 0x1;
inline constexpr DWORD BS_AUTOCHECKBOX = 0x3;
inline constexpr DWORD BS_GROUPBOX = 0x7;
inline constexpr DWORD BS_TYPEMASK = 0xF;

// Static styles (the low five bits are the kind).
inline constexpr DWORD SS_LEFT = 0x00;
inline constexpr DWORD SS_CENTER = 0x01;
inline constexpr DWORD SS_ICON = 0x03;
inline constexpr DWORD SS_GRAYFRAME = 0x08;
inline constexpr DWORD SS_TYPEMASK = 0x1F;
inline constexpr DWORD SS_SUNKEN = 0x1000;

// Combo box and edit styles.
inline constexpr DWORD CBS_DROPDOWNLIST = 0x0003;
inline constexpr DWORD ES_AUTOHSCROLL = 0x0080;

// Check states of buttons.
inline constexpr int BST_UNCHECKED = 0;
inline constexpr int BST_CHECKED = 1;

// Results of the list calls.
inline constexpr int CB_ERR = -1;

// Icons of WM_SETICON.
inline constexpr WPARAM ICON_SMALL = 0;
inline constexpr WPARAM ICON_BIG = 1;

// System metrics.
inline constexpr int SM_CXICON = 11;
inline constexpr int SM_CYICON = 12;

// Font weights and character sets.
inline constexpr LONG FW_NORMAL = 400;
inline constexpr LONG FW_BOLD = 700;
inline constexpr BYTE SHIFTJIS_CHARSET = 128;

// The font description of a font object (60 bytes, as the platform lays it out).
struct LOGFONTA {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    CHAR lfFaceName[32];
};
static_assert(sizeof(LOGFONTA) == 60);
