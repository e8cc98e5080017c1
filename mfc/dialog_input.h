#pragma once
// The keyboard and the pop-ups of one running dialog: Tab and Shift+Tab move the focus in tab
// order, Space toggles a check box or presses a button, Enter presses the focused button or
// opens the focused list (elsewhere it presses the dialog's default button), Esc cancels,
// arrows change a list's entry or move the focus, F10 or Alt+Space opens the system menu.
// An open list or menu takes the keys until it closes. Mouse clicks, hit-tested by the front
// end, arrive here too, so both ways act the same.

#include "mfc/window.h"

#include <optional>
#include <string>
#include <string_view>

namespace orvo::mfc {

enum class KeyCode {
    Tab, BackTab, Enter, Escape, Space, Up, Down, Left, Right, Home, End, PageUp, PageDown,
    Backspace, Delete, OpenList, SystemMenu, Character
};

struct Key {
    KeyCode code = KeyCode::Character;
    char32_t ch = 0; // Character only
    bool operator==(const Key&) const = default;
};

// Keys by name, as scripts write them: tab, backtab, enter, esc, space, up, down, left,
// right, home, end, pageup, pagedown, backspace, delete, f4 (open a list), f10 (system menu).
std::optional<Key> key_from_name(std::string_view name);

class DialogInput {
  public:
    enum class Mode { Controls, ListOpen, MenuOpen };

    explicit DialogInput(HWND dialog) : dialog_(dialog) {}

    void press(const Key& key);
    // Mouse, after hit-testing: a left click on a control, on an entry of the open list, on an
    // item of the open menu, or anywhere else (which closes an open list or menu).
    void click(HWND control);
    void click_list_entry(int index);
    void click_menu_item(int index);
    void close_popup() { mode_ = Mode::Controls; }
    void open_system_menu();

    Mode mode() const { return mode_; }
    HWND open_list() const { return mode_ == Mode::ListOpen ? list_ : nullptr; }
    int highlight() const { return highlight_; }
    // The first entry the open list shows when it has room for rows entries: the highlighted
    // one always in view.
    int first_shown_entry(int rows) const;
    HWND dialog() const { return dialog_; }

  private:
    void press_on_controls(const Key& key);
    void press_in_list(const Key& key);
    void press_in_menu(const Key& key);
    void press_in_edit(Window& edit, const Key& key);
    void move_focus(int step);
    void open(HWND list);
    void choose_highlighted_entry();
    void move_highlight(int to);
    void move_menu_highlight(int step);
    void choose_menu_item(int index);

    HWND dialog_;
    Mode mode_ = Mode::Controls;
    HWND list_ = nullptr;
    int highlight_ = 0;
    int list_top_ = 0;
};

} // namespace orvo::mfc
