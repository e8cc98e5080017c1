#pragma once
// What a user does to a dialog's controls, applied through the window system as the platform
// applies it: the control changes, takes the focus and tells its dialog (WM_COMMAND with its
// notification code). A disabled control takes no input: the action has no effect and the
// result is false. The terminal front end, the keyboard handling and the headless driver all
// act through these.

#include "mfc/window.h"

#include <string_view>

namespace orvo::mfc {

// A left click: a check box toggles, a push button is pressed (BN_CLICKED); lists and edit
// fields take the focus. False for a disabled control or one that takes no clicks.
bool click_control(HWND control);
// Clicks a check box when its state differs from checked.
bool set_check(HWND control, bool checked);
// Chooses entry index of a drop-down list (CBN_SELCHANGE); false when there is no such entry.
bool choose_entry(HWND list, int index);
// Replaces the text of an edit field (EN_CHANGE), the caret at its end.
bool replace_text(HWND edit, std::string_view text);

void system_command(HWND dialog, UINT command);
// The right mouse button on the dialog's surface, at a client cell.
void right_button(HWND dialog, bool down, POINT at);
// Esc: the dialog's Cancel (WM_COMMAND IDCANCEL).
void cancel_dialog(HWND dialog);
// Enter away from a push button: the dialog's default button (IDOK when it has none).
void press_default_button(HWND dialog);

// The control that has the focus: the dialog's, or when that one cannot take it (disabled
// since), the next one in tab order that can; nullptr when none can.
HWND effective_focus(const Window& dialog);
// The next (step +1) or previous (-1) control Tab stops at, from the focus, wrapping around.
HWND next_tab_stop(const Window& dialog, int step);

} // namespace orvo::mfc
