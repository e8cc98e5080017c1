#include "mfc/window.h"

#include "mfc/gdi.h"
#include "mfc/menu.h"
#include "mfc/wnd.h"

#include <cstring>
#include <map>

namespace orvo::mfc {
namespace {

// Handles are numbers never reused, so a stale handle finds no window instead of another one.
struct WindowTable {
    std::uintptr_t next = 0x10000;
    std::map<std::uintptr_t, std::unique_ptr<Window>> windows;
};

WindowTable& table() {
    static WindowTable windows;
    return windows;
}

std::uintptr_t number_of(HWND handle) {
    return reinterpret_cast<std::uintptr_t>(handle);
}

HWND insert(std::unique_ptr<Window> window) {
    WindowTable& windows = table();
    const std::uintptr_t number = windows.next;
    windows.next += 4;
    window->handle = reinterpret_cast<HWND>(number);
    HWND handle = window->handle;
    windows.windows.emplace(number, std::move(window));
    return handle;
}

// The font a dialog template names, at the screen's 96 dots per inch.
HFONT create_template_font(const DialogFont& font) {
    LOGFONTA description{};
    description.lfHeight = -((font.points * 96 + 36) / 72);
    description.lfWeight = FW_NORMAL;
    description.lfCharSet = SHIFTJIS_CHARSET;
    // Cut to the field on a character boundary, leaving room for the terminating NUL.
    std::size_t length = std::strlen(font.face);
    if (length >= sizeof description.lfFaceName) {
        length = sizeof description.lfFaceName - 1;
        while (length > 0 && (static_cast<unsigned char>(font.face[length]) & 0xC0) == 0x80)
            --length;
    }
    std::memcpy(description.lfFaceName, font.face, length);
    return CreateFontIndirectA(&description);
}

} // namespace

Window::Window() = default;
Window::~Window() = default;

WindowKind kind_of(const ControlTemplate& control) {
    switch (control.cls) {
    case ControlClass::Button:
        switch (control.style & BS_TYPEMASK) {
        case BS_AUTOCHECKBOX: return WindowKind::CheckBox;
        case BS_GROUPBOX: return WindowKind::GroupBox;
        default: return WindowKind::PushButton;
        }
    case ControlClass::Static:
        switch (control.style & SS_TYPEMASK) {
        case SS_ICON: return WindowKind::Icon;
        case SS_GRAYFRAME: return WindowKind::Frame;
        default: return WindowKind::Static;
        }
    case ControlClass::Edit: return WindowKind::Edit;
    case ControlClass::ComboBox: return WindowKind::ComboBox;
    }
    return WindowKind::Static;
}

const char* kind_name(WindowKind kind) {
    switch (kind) {
    case WindowKind::Dialog: return "dialog";
    case WindowKind::PushButton: return "button";
    case WindowKind::CheckBox: return "check";
    case WindowKind::GroupBox: return "group";
    case WindowKind::Static: return "static";
    case WindowKind::Icon: return "icon";
    case WindowKind::Frame: return "frame";
    case WindowKind::ComboBox: return "list";
    case WindowKind::Edit: return "edit";
    }
    return "?";
}

Window* find_window(HWND handle) {
    WindowTable& windows = table();
    auto it = windows.windows.find(number_of(handle));
    return it == windows.windows.end() ? nullptr : it->second.get();
}

HWND create_dialog_window(const DialogTemplate& dialog, HWND parent, CWnd* owner) {
    auto window = std::make_unique<Window>();
    window->kind = WindowKind::Dialog;
    window->parent = parent;
    window->style = dialog.style;
    window->ex_style = dialog.ex_style;
    window->cx = dialog.cx;
    window->cy = dialog.cy;
    window->text = dialog.caption;
    window->template_id = dialog.id;
    window->dialog_font = create_template_font(dialog.font);
    window->font = window->dialog_font;
    if (dialog.style & WS_SYSMENU) window->system_menu = make_system_menu();
    const HFONT font = window->font;
    const HWND handle = insert(std::move(window));

    for (const ControlTemplate& control : dialog.controls) {
        auto child = std::make_unique<Window>();
        child->parent = handle;
        child->id = control.id;
        child->kind = kind_of(control);
        child->style = control.style | WS_CHILD | WS_VISIBLE;
        child->ex_style = control.ex_style;
        child->x = control.x;
        child->y = control.y;
        child->cx = control.cx;
        child->cy = control.cy;
        child->enabled = !(control.style & WS_DISABLED);
        child->font = font;
        if (child->kind == WindowKind::Icon)
            child->icon = load_icon(control.icon);
        else
            child->text = control.text;
        const HWND child_handle = insert(std::move(child));
        find_window(handle)->children.push_back(child_handle);
    }
    if (owner) owner->SubclassWindow(handle);
    return handle;
}

void destroy_window(HWND handle) {
    Window* window = find_window(handle);
    if (!window) return;
    for (HWND child : std::vector<HWND>(window->children))
        destroy_window(child);
    if (window->object) window->object->Detach();
    if (window->stand_in) window->stand_in->Detach();
    if (window->dialog_font) DeleteObject(window->dialog_font);
    table().windows.erase(number_of(handle));
}

Window* child_by_id(const Window& dialog, int id) {
    for (HWND child : dialog.children) {
        Window* window = find_window(child);
        if (window && window->id == id) return window;
    }
    return nullptr;
}

int default_button_id(const Window& dialog) {
    for (HWND child : dialog.children) {
        const Window* window = find_window(child);
        if (window && window->kind == WindowKind::PushButton &&
            (window->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            return window->id;
    }
    return IDOK;
}

bool takes_focus(const Window& control) {
    return (control.style & WS_TABSTOP) && control.enabled;
}

LRESULT send_message(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
    Window* window = find_window(handle);
    if (!window) return 0;
    if (window->object) return window->object->WindowProc(message, wparam, lparam);
    return default_window_proc(handle, message, wparam, lparam);
}

LRESULT default_window_proc(HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
    Window* window = find_window(handle);
    if (!window) return 0;
    switch (message) {
    case WM_SETFONT:
        window->font = reinterpret_cast<HFONT>(wparam);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(window->font);
    case WM_SETICON: {
        HICON& slot = wparam == ICON_BIG ? window->icon : window->small_icon;
        HICON previous = slot;
        slot = reinterpret_cast<HICON>(lparam);
        return reinterpret_cast<LRESULT>(previous);
    }
    case WM_SYSCOMMAND:
        if ((wparam & 0xFFF0) == SC_CLOSE) send_message(handle, WM_CLOSE);
        return 0;
    case WM_CLOSE:
        // Closing a dialog is its Cancel button.
        if (window->kind == WindowKind::Dialog) {
            const Window* cancel = child_by_id(*window, IDCANCEL);
            send_message(handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         cancel ? reinterpret_cast<LPARAM>(cancel->handle) : 0);
        }
        return 0;
    case WM_ICONERASEBKGND:
        window->painted.clear();
        return 1;
    default:
        return 0;
    }
}

void paint_window(HWND handle) {
    Window* window = find_window(handle);
    if (!window) return;
    window->painted.clear();
    send_message(handle, WM_PAINT);
}

void notify_parent(const Window& control, WORD code) {
    send_message(control.parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(control.id), code),
                 reinterpret_cast<LPARAM>(control.handle));
}

} // namespace orvo::mfc
