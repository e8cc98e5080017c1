#pragma once
// A running dialog as a test or a script sees it: the state of each control by id, every
// control described in one line each, and the screen the terminal would show.

#include "mfc/dialog_input.h"
#include "mfc/menu.h"
#include "mfc/window.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace orvo::mfc {

// A script or test that does something the dialog cannot take (a control it does not have,
// an entry past the end of a list, an answer when no message box is shown).
class ScriptError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class DialogView {
  public:
    explicit DialogView(HWND dialog);

    HWND handle() const { return dialog_; }
    UINT template_id() const;
    std::string caption() const;
    // Throws ScriptError when the dialog has no control with this id.
    const Window& control(int id) const;

    std::string text(int id) const { return control(id).text; }
    bool checked(int id) const { return control(id).check != BST_UNCHECKED; }
    bool enabled(int id) const { return control(id).enabled; }
    std::vector<std::string> entries(int id) const;
    DWORD_PTR entry_data(int id, int index) const;
    int selection(int id) const { return control(id).selection; }
    bool bold(int id) const;
    int focus_id() const; // 0 when nothing has the focus
    std::vector<MenuItem> system_menu() const;
    HICON icon(bool big) const;

    // One line per control: id, kind, state and text.
    std::string describe() const;
    // What the terminal shows: the dialog alone on a screen just its size (roomy scale).
    std::string screen(const DialogInput* input = nullptr) const;

  private:
    const Window& dialog() const;
    HWND dialog_;
};

} // namespace orvo::mfc
