#pragma once
// The window system behind the framework: one record per window (a dialog or one of its
// controls) with everything a user sees and changes, addressed by handle. CWnd objects are
// views onto these records; the painter, the keyboard handling and the headless driver read
// and change them; messages go to the C++ object bound to a window, or get the default
// processing when none is.

#include "mfc/resources.h"
#include "mfc/win_types.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class CWnd;
class CMenu;

namespace orvo::mfc {

enum class WindowKind { Dialog, PushButton, CheckBox, GroupBox, Static, Icon, Frame, ComboBox, Edit };

// What a control template makes: its class and the kind bits of its style.
WindowKind kind_of(const ControlTemplate& control);
const char* kind_name(WindowKind kind);

struct ListItem {
    std::string text;
    DWORD_PTR data = 0;
};

// An icon a paint handler drew into the client area, at a cell of it.
struct PaintedIcon {
    HICON icon = nullptr;
    POINT at;
};

struct Window {
    Window();
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND handle = nullptr;
    HWND parent = nullptr;
    int id = IDC_STATIC;
    WindowKind kind = WindowKind::Static;
    DWORD style = 0;
    DWORD ex_style = 0;
    int x = 0, y = 0, cx = 0, cy = 0; // dialog units, relative to the dialog's client area
    std::string text;
    bool enabled = true;

    int check = BST_UNCHECKED;   // check boxes
    std::vector<ListItem> items; // drop-down lists
    int selection = CB_ERR;
    std::size_t caret = 0;       // edits: byte offset of the caret, on a character boundary
    HFONT font = nullptr;
    HICON icon = nullptr;        // icon statics: the icon shown; dialogs: the big icon
    HICON small_icon = nullptr;  // dialogs

    CWnd* object = nullptr;          // the object that handles this window's messages
    std::unique_ptr<CWnd> stand_in;  // what GetDlgItem hands out when no object is bound

    // Dialogs only.
    UINT template_id = 0;
    std::vector<HWND> children;      // in tab order
    HWND focus = nullptr;
    std::unique_ptr<CMenu> system_menu;
    std::optional<INT_PTR> end_result;
    bool minimized = false;
    HFONT dialog_font = nullptr;     // made from the template's font; deleted with the dialog
    std::vector<PaintedIcon> painted;
};

Window* find_window(HWND handle);

// Creates a dialog's window and its controls from the template, gives every control the
// dialog font and binds owner to the dialog window. The result is destroyed with
// destroy_window.
HWND create_dialog_window(const DialogTemplate& dialog, HWND parent, CWnd* owner);
// Destroys the window and its children; bound objects are detached (their m_hWnd cleared).
void destroy_window(HWND handle);

Window* child_by_id(const Window& dialog, int id);
// The button Enter presses when the focus is not on a push button: the template's default
// push button, or IDOK when there is none.
int default_button_id(const Window& dialog);
// Whether Tab may stop on the control: a tab stop, enabled.
bool takes_focus(const Window& control);

// Message delivery: to the bound object's WindowProc, else the default processing.
LRESULT send_message(HWND handle, UINT message, WPARAM wparam = 0, LPARAM lparam = 0);
// The processing a message gets when no handler takes it.
LRESULT default_window_proc(HWND handle, UINT message, WPARAM wparam, LPARAM lparam);
// A control tells its dialog what happened to it (WM_COMMAND with its id and code).
void notify_parent(const Window& control, WORD code);
// Repaints the window: what its paint handler drew last time is gone, and WM_PAINT lets it
// draw afresh. The front ends call this before they draw a dialog.
void paint_window(HWND handle);

} // namespace orvo::mfc
