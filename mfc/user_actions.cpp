#include "mfc/user_actions.h"

#include <algorithm>

namespace orvo::mfc {
namespace {

Window* usable(HWND handle) {
    Window* control = find_window(handle);
    return control && control->enabled ? control : nullptr;
}

void take_focus(const Window& control) {
    if (Window* dialog = find_window(control.parent); dialog && takes_focus(control))
        dialog->focus = control.handle;
}

// Index of the control in the dialog's tab order; the size when it is not there.
std::size_t position_of(const Window& dialog, HWND control) {
    const auto it = std::find(dialog.children.begin(), dialog.children.end(), control);
    return static_cast<std::size_t>(it - dialog.children.begin());
}

} // namespace

bool click_control(HWND handle) {
    Window* control = usable(handle);
    if (!control) return false;
    switch (control->kind) {
    case WindowKind::CheckBox:
        take_focus(*control);
        control->check = control->check ? BST_UNCHECKED : BST_CHECKED;
        notify_parent(*control, BN_CLICKED);
        return true;
    case WindowKind::PushButton:
        take_focus(*control);
        notify_parent(*control, BN_CLICKED);
        return true;
    case WindowKind::ComboBox:
    case WindowKind::Edit:
        take_focus(*control);
        return true;
    default:
        return false;
    }
}

bool set_check(HWND handle, bool checked) {
    const Window* control = usable(handle);
    if (!control || control->kind != WindowKind::CheckBox) return false;
    if ((control->check != BST_UNCHECKED) == checked) return true;
    return click_control(handle);
}

bool choose_entry(HWND handle, int index) {
    Window* list = usable(handle);
    if (!list || list->kind != WindowKind::ComboBox || index < 0 ||
        static_cast<std::size_t>(index) >= list->items.size())
        return false;
    take_focus(*list);
    list->selection = index;
    notify_parent(*list, CBN_SELCHANGE);
    return true;
}

bool replace_text(HWND handle, std::string_view text) {
    Window* edit = usable(handle);
    if (!edit || edit->kind != WindowKind::Edit) return false;
    take_focus(*edit);
    edit->text = text;
    edit->caret = edit->text.size();
    notify_parent(*edit, EN_CHANGE);
    return true;
}

void system_command(HWND dialog, UINT command) {
    send_message(dialog, WM_SYSCOMMAND, command, 0);
}

void right_button(HWND dialog, bool down, POINT at) {
    send_message(dialog, down ? WM_RBUTTONDOWN : WM_RBUTTONUP, down ? MK_RBUTTON : 0,
                 MAKELPARAM(at.x, at.y));
}

void cancel_dialog(HWND handle) {
    const Window* dialog = find_window(handle);
    if (!dialog) return;
    const Window* cancel = child_by_id(*dialog, IDCANCEL);
    send_message(handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 cancel ? reinterpret_cast<LPARAM>(cancel->handle) : 0);
}

void press_default_button(HWND handle) {
    const Window* dialog = find_window(handle);
    if (!dialog) return;
    const int id = default_button_id(*dialog);
    // The focus stays where it is, as Enter does not move it.
    if (const Window* button = child_by_id(*dialog, id)) {
        if (button->enabled) notify_parent(*button, BN_CLICKED);
        return;
    }
    send_message(handle, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED), 0);
}

HWND effective_focus(const Window& dialog) {
    const Window* focused = find_window(dialog.focus);
    if (focused && takes_focus(*focused)) return dialog.focus;
    const std::size_t count = dialog.children.size();
    const std::size_t from = position_of(dialog, dialog.focus);
    for (std::size_t k = 0; k < count; ++k) {
        const HWND candidate = dialog.children[(from + k) % count];
        const Window* control = find_window(candidate);
        if (control && takes_focus(*control)) return candidate;
    }
    return nullptr;
}

HWND next_tab_stop(const Window& dialog, int step) {
    const std::size_t count = dialog.children.size();
    if (count == 0) return nullptr;
    const HWND focus = effective_focus(dialog);
    const std::size_t from = focus ? position_of(dialog, focus) : (step > 0 ? count - 1 : 0);
    for (std::size_t k = 1; k <= count; ++k) {
        const std::size_t index = step > 0 ? (from + k) % count : (from + count * 2 - k) % count;
        const Window* control = find_window(dialog.children[index]);
        if (control && takes_focus(*control)) return dialog.children[index];
    }
    return focus;
}

} // namespace orvo::mfc
