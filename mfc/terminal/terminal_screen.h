#pragma once
// The terminal, through ncursesw: a canvas drawn in UTF-8 with wide characters, and the user's
// input as keys, mouse buttons and size changes. Curses starts on the first use and the
// terminal is given back as it was when the screen is destroyed. SIGINT, SIGTERM and SIGHUP
// (and Ctrl+C, which the terminal passes on as a key) arrive as an interrupt event.

#include "mfc/canvas.h"
#include "mfc/dialog_input.h"

#include <stdexcept>

namespace orvo::mfc {

struct InputEvent {
    enum class Kind { Key, Mouse, Resize, Interrupt };
    enum class Button { Left, Right };
    Kind kind = Kind::Key;
    Key key;
    Button button = Button::Left;
    bool pressed = true;
    int row = 0, col = 0;
};

// The user interrupted the program (Ctrl+C or a signal); the front end gives the terminal back.
class Interrupted : public std::runtime_error {
  public:
    explicit Interrupted(int signal) : std::runtime_error("interrupted"), signal_(signal) {}
    int signal() const { return signal_; }

  private:
    int signal_;
};

class TerminalScreen : public Canvas {
  public:
    // Throws std::runtime_error when standard input and output are not a terminal, the locale
    // cannot be UTF-8, or curses cannot start.
    TerminalScreen();
    ~TerminalScreen() override;
    TerminalScreen(const TerminalScreen&) = delete;
    TerminalScreen& operator=(const TerminalScreen&) = delete;

    int rows() const override;
    int cols() const override;
    void clear() override;
    void put_char(int row, int col, char32_t c, int width, unsigned attr) override;
    void put_line(int row, int col, LineGlyph glyph, unsigned attr) override;
    void set_cursor(std::optional<std::pair<int, int>> cell) override { cursor_ = cell; }

    // Shows what was drawn since the last clear.
    void present();
    // Waits for the next input.
    InputEvent next_event();

  private:
    std::optional<std::pair<int, int>> cursor_;
};

} // namespace orvo::mfc
