#include "mfc/dialog_input.h"

#include "mfc/layout.h"
#include "mfc/menu.h"
#include "mfc/text_cells.h"
#include "mfc/user_actions.h"

#include <algorithm>
#include <array>

namespace orvo::mfc {
namespace {

struct KeyName {
    std::string_view name;
    KeyCode code;
};
constexpr std::array<KeyName, 17> kKeyNames = {{
    {"tab", KeyCode::Tab},           {"backtab", KeyCode::BackTab},
    {"enter", KeyCode::Enter},       {"esc", KeyCode::Escape},
    {"space", KeyCode::Space},       {"up", KeyCode::Up},
    {"down", KeyCode::Down},         {"left", KeyCode::Left},
    {"right", KeyCode::Right},       {"home", KeyCode::Home},
    {"end", KeyCode::End},           {"pageup", KeyCode::PageUp},
    {"pagedown", KeyCode::PageDown}, {"backspace", KeyCode::Backspace},
    {"delete", KeyCode::Delete},     {"f4", KeyCode::OpenList},
    {"f10", KeyCode::SystemMenu},
}};

bool is_continuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

std::size_t previous_boundary(const std::string& text, std::size_t at) {
    if (at == 0) return 0;
    --at;
    while (at > 0 && is_continuation(text[at]))
        --at;
    return at;
}

std::size_t next_boundary(const std::string& text, std::size_t at) {
    if (at >= text.size()) return text.size();
    ++at;
    while (at < text.size() && is_continuation(text[at]))
        ++at;
    return at;
}

// Entries an open list shows at once: its dropped height.
int shown_entries(const Window& list) {
    return std::max(1, (list.cy - kClosedListDialogUnits) / kRowDialogUnits);
}

} // namespace

std::optional<Key> key_from_name(std::string_view name) {
    for (const KeyName& entry : kKeyNames)
        if (entry.name == name) return Key{entry.code, 0};
    return std::nullopt;
}

void DialogInput::press(const Key& key) {
    switch (mode_) {
    case Mode::Controls: press_on_controls(key); break;
    case Mode::ListOpen: press_in_list(key); break;
    case Mode::MenuOpen: press_in_menu(key); break;
    }
}

void DialogInput::press_on_controls(const Key& key) {
    Window* dialog = find_window(dialog_);
    if (!dialog) return;
    dialog->focus = effective_focus(*dialog);
    Window* focused = find_window(dialog->focus);
    const WindowKind kind = focused ? focused->kind : WindowKind::Dialog;

    if (kind == WindowKind::Edit) {
        switch (key.code) {
        case KeyCode::Character:
        case KeyCode::Space:
        case KeyCode::Left:
        case KeyCode::Right:
        case KeyCode::Home:
        case KeyCode::End:
        case KeyCode::Backspace:
        case KeyCode::Delete:
            press_in_edit(*focused, key);
            return;
        default:
            break;
        }
    }
    switch (key.code) {
    case KeyCode::Tab: move_focus(+1); break;
    case KeyCode::BackTab: move_focus(-1); break;
    case KeyCode::Escape: cancel_dialog(dialog_); break;
    case KeyCode::SystemMenu: open_system_menu(); break;
    case KeyCode::Enter:
        if (kind == WindowKind::PushButton)
            click_control(focused->handle);
        else if (kind == WindowKind::ComboBox)
            open(focused->handle);
        else
            press_default_button(dialog_);
        break;
    case KeyCode::Space:
        if (kind == WindowKind::PushButton || kind == WindowKind::CheckBox)
            click_control(focused->handle);
        else if (kind == WindowKind::ComboBox)
            open(focused->handle);
        break;
    case KeyCode::OpenList:
        if (kind == WindowKind::ComboBox) open(focused->handle);
        break;
    case KeyCode::Up:
    case KeyCode::Down:
        if (kind == WindowKind::ComboBox) {
            const int last = static_cast<int>(focused->items.size()) - 1;
            const int step = key.code == KeyCode::Down ? 1 : -1;
            const int to = std::clamp(focused->selection + step, 0, std::max(last, 0));
            if (to != focused->selection) choose_entry(focused->handle, to);
        } else {
            move_focus(key.code == KeyCode::Down ? 1 : -1);
        }
        break;
    case KeyCode::Left: move_focus(-1); break;
    case KeyCode::Right: move_focus(+1); break;
    case KeyCode::Home:
    case KeyCode::End:
        if (kind == WindowKind::ComboBox && !focused->items.empty())
            choose_entry(focused->handle,
                         key.code == KeyCode::Home ? 0 : static_cast<int>(focused->items.size()) - 1);
        break;
    default: break;
    }
}

void DialogInput::press_in_edit(Window& edit, const Key& key) {
    std::string& text = edit.text;
    edit.caret = std::min(edit.caret, text.size());
    bool changed = false;
    switch (key.code) {
    case KeyCode::Character:
    case KeyCode::Space: {
        const char32_t c = key.code == KeyCode::Space ? U' ' : key.ch;
        // Only what the terminal can show goes in: no control characters.
        if (displayable(c) != c || c < 0x20) return;
        const std::string bytes = encode_utf8(c);
        text.insert(edit.caret, bytes);
        edit.caret += bytes.size();
        changed = true;
        break;
    }
    case KeyCode::Backspace:
        if (edit.caret == 0) return;
        {
            const std::size_t from = previous_boundary(text, edit.caret);
            text.erase(from, edit.caret - from);
            edit.caret = from;
        }
        changed = true;
        break;
    case KeyCode::Delete:
        if (edit.caret >= text.size()) return;
        text.erase(edit.caret, next_boundary(text, edit.caret) - edit.caret);
        changed = true;
        break;
    case KeyCode::Left: edit.caret = previous_boundary(text, edit.caret); break;
    case KeyCode::Right: edit.caret = next_boundary(text, edit.caret); break;
    case KeyCode::Home: edit.caret = 0; break;
    case KeyCode::End: edit.caret = text.size(); break;
    default: break;
    }
    if (changed) notify_parent(edit, EN_CHANGE);
}

void DialogInput::press_in_list(const Key& key) {
    const Window* list = find_window(list_);
    if (!list || !list->enabled) {
        mode_ = Mode::Controls;
        return;
    }
    const int last = static_cast<int>(list->items.size()) - 1;
    const int page = shown_entries(*list);
    switch (key.code) {
    case KeyCode::Up: move_highlight(highlight_ - 1); break;
    case KeyCode::Down: move_highlight(highlight_ + 1); break;
    case KeyCode::PageUp: move_highlight(highlight_ - page); break;
    case KeyCode::PageDown: move_highlight(highlight_ + page); break;
    case KeyCode::Home: move_highlight(0); break;
    case KeyCode::End: move_highlight(last); break;
    case KeyCode::Enter:
    case KeyCode::Space:
    case KeyCode::OpenList: choose_highlighted_entry(); break;
    case KeyCode::Tab:
    case KeyCode::BackTab:
        choose_highlighted_entry();
        move_focus(key.code == KeyCode::Tab ? 1 : -1);
        break;
    case KeyCode::Escape: mode_ = Mode::Controls; break;
    default: break;
    }
}

void DialogInput::press_in_menu(const Key& key) {
    const Window* dialog = find_window(dialog_);
    if (!dialog || !dialog->system_menu) {
        mode_ = Mode::Controls;
        return;
    }
    const std::vector<MenuItem>& items = dialog->system_menu->Items();
    switch (key.code) {
    case KeyCode::Up: move_menu_highlight(-1); break;
    case KeyCode::Down: move_menu_highlight(+1); break;
    case KeyCode::Enter:
    case KeyCode::Space: choose_menu_item(highlight_); break;
    case KeyCode::Escape:
    case KeyCode::SystemMenu: mode_ = Mode::Controls; break;
    case KeyCode::Character: {
        const char32_t wanted = key.ch >= U'A' && key.ch <= U'Z' ? key.ch - U'A' + U'a' : key.ch;
        for (std::size_t i = 0; i < items.size(); ++i)
            if (items[i].enabled() && menu_mnemonic(items[i].text) == wanted)
                return choose_menu_item(static_cast<int>(i));
        break;
    }
    default: break;
    }
}

void DialogInput::click(HWND control) {
    mode_ = Mode::Controls;
    const Window* target = find_window(control);
    if (target && target->kind == WindowKind::ComboBox && target->enabled) {
        click_control(control);
        open(control);
        return;
    }
    click_control(control);
}

void DialogInput::click_list_entry(int index) {
    if (mode_ != Mode::ListOpen) return;
    const Window* list = find_window(list_);
    if (!list || index < 0 || index >= static_cast<int>(list->items.size())) return;
    highlight_ = index;
    choose_highlighted_entry();
}

void DialogInput::click_menu_item(int index) {
    if (mode_ == Mode::MenuOpen) choose_menu_item(index);
}

void DialogInput::open_system_menu() {
    const Window* dialog = find_window(dialog_);
    if (!dialog || !dialog->system_menu || dialog->system_menu->Items().empty()) return;
    mode_ = Mode::MenuOpen;
    highlight_ = -1;
    move_menu_highlight(+1);
}

void DialogInput::move_focus(int step) {
    Window* dialog = find_window(dialog_);
    if (dialog) dialog->focus = next_tab_stop(*dialog, step);
}

int DialogInput::first_shown_entry(int rows) const {
    const Window* list = find_window(list_);
    const int count = list ? static_cast<int>(list->items.size()) : 0;
    const int latest = std::max(0, std::min(highlight_, count - rows));
    const int earliest = std::min(latest, std::max(0, highlight_ - rows + 1));
    return std::clamp(list_top_, earliest, latest);
}

void DialogInput::open(HWND handle) {
    const Window* list = find_window(handle);
    if (!list || !list->enabled || list->items.empty()) return;
    mode_ = Mode::ListOpen;
    list_ = handle;
    list_top_ = 0;
    move_highlight(std::max(list->selection, 0));
}

void DialogInput::move_highlight(int to) {
    const Window* list = find_window(list_);
    if (!list || list->items.empty()) return;
    highlight_ = std::clamp(to, 0, static_cast<int>(list->items.size()) - 1);
    const int shown = shown_entries(*list);
    list_top_ = std::clamp(list_top_, highlight_ - shown + 1, highlight_);
}

void DialogInput::choose_highlighted_entry() {
    mode_ = Mode::Controls;
    choose_entry(list_, highlight_);
}

void DialogInput::move_menu_highlight(int step) {
    const Window* dialog = find_window(dialog_);
    if (!dialog || !dialog->system_menu) return;
    const std::vector<MenuItem>& items = dialog->system_menu->Items();
    const int count = static_cast<int>(items.size());
    for (int k = 1; k <= count; ++k) {
        const int index = ((highlight_ + step * k) % count + count) % count;
        if (items[static_cast<std::size_t>(index)].enabled()) {
            highlight_ = index;
            return;
        }
    }
}

void DialogInput::choose_menu_item(int index) {
    const Window* dialog = find_window(dialog_);
    if (!dialog || !dialog->system_menu) return;
    const std::vector<MenuItem>& items = dialog->system_menu->Items();
    if (index < 0 || index >= static_cast<int>(items.size())) return;
    const MenuItem item = items[static_cast<std::size_t>(index)];
    if (!item.enabled()) return;
    // The menu closes before its command runs, which may open another dialog.
    mode_ = Mode::Controls;
    system_command(dialog_, item.id);
}

} // namespace orvo::mfc
