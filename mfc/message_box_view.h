#pragma once
// A message box as the terminal shows it: a centred box with the caption in its frame, the
// icon's mark, the text (wrapped, tabs expanded) and the buttons of its type, the default one
// focused. Left/Right or Tab move between the buttons, Enter or Space presses the focused one,
// a button's key (Y, N, ...) presses it, Esc answers Cancel where the box has it (OK on an OK
// box); a click on a button presses it.

#include "mfc/canvas.h"
#include "mfc/dialog_input.h"
#include "winapi/message_box.h"

#include <optional>
#include <string>
#include <vector>

namespace orvo::mfc {

// The buttons of a box's MB_ type, left to right.
std::vector<int> message_box_buttons(UINT style);
// A button's label as the Japanese system shows it ('&' marks its key).
std::string message_box_button_label(int id);
// The icon's mark: (!) exclamation, (X) stop, (?) question, (i) information; empty for none.
std::string message_box_icon_mark(UINT style);

class MessageBoxView {
  public:
    explicit MessageBoxView(winapi::MessageBoxCall call);

    struct Geometry {
        CellRect frame;
        CellRect text; // the text lines, right of the icon's mark
        std::vector<std::string> lines;
        std::vector<CellRect> buttons;
    };
    // Where the box goes on a screen of this size; nothing when it does not fit.
    std::optional<Geometry> place(int screen_rows, int screen_cols) const;

    // The answer when the key ends the box.
    std::optional<int> press(const Key& key);
    std::optional<int> click(const Geometry& geometry, int row, int col) const;
    void paint(Canvas& canvas, const Geometry& geometry) const;

    const winapi::MessageBoxCall& call() const { return call_; }
    const std::vector<int>& buttons() const { return buttons_; }
    int focused_button() const { return buttons_[focused_]; }

  private:
    winapi::MessageBoxCall call_;
    std::vector<int> buttons_;
    std::size_t focused_ = 0;
};

} // namespace orvo::mfc
