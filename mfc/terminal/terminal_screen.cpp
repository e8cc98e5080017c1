#include "mfc/terminal/terminal_screen.h"

#include "mfc/text_cells.h"

#define NCURSES_WIDECHAR 1
#define NCURSES_NOMACROS 1
#include <ncursesw/curses.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace orvo::mfc {
namespace {

// Milliseconds that input waits before looking at the interrupt flag again.
constexpr int kInputPollMs = 200;
// How long a lone Esc waits for the rest of a key's sequence.
constexpr int kEscapeDelayMs = 50;
constexpr wint_t kCtrlC = 3;
constexpr wint_t kEscape = 27;
constexpr wint_t kDelete = 127;
constexpr wint_t kCtrlH = 8;

volatile std::sig_atomic_t g_interrupt = 0;

extern "C" void note_interrupt(int signal) {
    g_interrupt = signal;
}

constexpr std::array<int, 3> kInterruptSignals = {SIGINT, SIGTERM, SIGHUP};
std::array<struct sigaction, 3> g_previous_actions;

attr_t curses_attributes(unsigned attr) {
    attr_t result = A_NORMAL;
    if (attr & kAttrDim) result |= A_DIM;
    if (attr & kAttrBold) result |= A_BOLD;
    if (attr & kAttrReverse) result |= A_REVERSE;
    if (attr & kAttrUnderline) result |= A_UNDERLINE;
    return result;
}

InputEvent key_event(KeyCode code, char32_t ch = 0) {
    InputEvent event;
    event.kind = InputEvent::Kind::Key;
    event.key = Key{code, ch};
    return event;
}

std::optional<InputEvent> function_key(wint_t code) {
    switch (code) {
    case KEY_UP: return key_event(KeyCode::Up);
    case KEY_DOWN: return key_event(KeyCode::Down);
    case KEY_LEFT: return key_event(KeyCode::Left);
    case KEY_RIGHT: return key_event(KeyCode::Right);
    case KEY_HOME: return key_event(KeyCode::Home);
    case KEY_END: return key_event(KeyCode::End);
    case KEY_PPAGE: return key_event(KeyCode::PageUp);
    case KEY_NPAGE: return key_event(KeyCode::PageDown);
    case KEY_BTAB: return key_event(KeyCode::BackTab);
    case KEY_BACKSPACE: return key_event(KeyCode::Backspace);
    case KEY_DC: return key_event(KeyCode::Delete);
    case KEY_ENTER: return key_event(KeyCode::Enter);
    default: break;
    }
    if (code == static_cast<wint_t>(KEY_F(4))) return key_event(KeyCode::OpenList);
    if (code == static_cast<wint_t>(KEY_F(10))) return key_event(KeyCode::SystemMenu);
    if (code == KEY_RESIZE) {
        InputEvent event;
        event.kind = InputEvent::Kind::Resize;
        return event;
    }
    if (code == KEY_MOUSE) {
        MEVENT mouse{};
        if (getmouse(&mouse) != OK) return std::nullopt;
        InputEvent event;
        event.kind = InputEvent::Kind::Mouse;
        event.row = mouse.y;
        event.col = mouse.x;
        if (mouse.bstate & (BUTTON1_PRESSED | BUTTON1_CLICKED)) {
            event.button = InputEvent::Button::Left;
        } else if (mouse.bstate & (BUTTON3_PRESSED | BUTTON3_RELEASED)) {
            event.button = InputEvent::Button::Right;
            event.pressed = (mouse.bstate & BUTTON3_PRESSED) != 0;
        } else {
            return std::nullopt;
        }
        return event;
    }
    return std::nullopt;
}

std::optional<InputEvent> character_key(wint_t c) {
    switch (c) {
    case L'\t': return key_event(KeyCode::Tab);
    case L'\r':
    case L'\n': return key_event(KeyCode::Enter);
    case L' ': return key_event(KeyCode::Space);
    case kDelete:
    case kCtrlH: return key_event(KeyCode::Backspace);
    case kCtrlC: {
        InputEvent event;
        event.kind = InputEvent::Kind::Interrupt;
        event.key.ch = SIGINT;
        return event;
    }
    default: break;
    }
    if (c < 0x20) return std::nullopt; // other control keys mean nothing here
    return key_event(KeyCode::Character, static_cast<char32_t>(c));
}

} // namespace

TerminalScreen::TerminalScreen() {
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO))
        throw std::runtime_error("standard input and output must be a terminal");
    if (!use_utf8_locale())
        throw std::runtime_error("no UTF-8 locale is available (set LANG, for example LANG=C.UTF-8)");
    set_escdelay(kEscapeDelayMs);
    if (!newterm(nullptr, stdout, stdin))
        throw std::runtime_error("the terminal cannot be used (TERM is not set or not known)");
    raw();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    wtimeout(stdscr, kInputPollMs);
    mousemask(BUTTON1_PRESSED | BUTTON1_CLICKED | BUTTON3_PRESSED | BUTTON3_RELEASED, nullptr);
    mouseinterval(0);
    curs_set(0);
    g_interrupt = 0;
    struct sigaction action {};
    action.sa_handler = note_interrupt;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < kInterruptSignals.size(); ++i)
        sigaction(kInterruptSignals[i], &action, &g_previous_actions[i]);
}

TerminalScreen::~TerminalScreen() {
    curs_set(1);
    endwin();
    for (std::size_t i = 0; i < kInterruptSignals.size(); ++i)
        sigaction(kInterruptSignals[i], &g_previous_actions[i], nullptr);
}

int TerminalScreen::rows() const {
    return getmaxy(stdscr);
}

int TerminalScreen::cols() const {
    return getmaxx(stdscr);
}

void TerminalScreen::clear() {
    werase(stdscr);
    cursor_.reset();
}

void TerminalScreen::put_char(int row, int col, char32_t c, int width, unsigned attr) {
    if (width < 1 || width > 2 || !inside(row, col, width)) return;
    const wchar_t text[2] = {static_cast<wchar_t>(c), L'\0'};
    cchar_t cell;
    setcchar(&cell, text, curses_attributes(attr), 0, nullptr);
    mvwadd_wch(stdscr, row, col, &cell);
}

void TerminalScreen::put_line(int row, int col, LineGlyph glyph, unsigned attr) {
    static constexpr char32_t kGlyphs[] = {U'─', U'│', U'┌', U'┐', U'└', U'┘'};
    put_char(row, col, kGlyphs[static_cast<int>(glyph)], 1, attr);
}

void TerminalScreen::present() {
    if (cursor_ && inside(cursor_->first, cursor_->second)) {
        curs_set(1);
        wmove(stdscr, cursor_->first, cursor_->second);
    } else {
        curs_set(0);
    }
    wrefresh(stdscr);
}

InputEvent TerminalScreen::next_event() {
    for (;;) {
        if (const int signal = g_interrupt) {
            g_interrupt = 0;
            InputEvent event;
            event.kind = InputEvent::Kind::Interrupt;
            event.key.ch = static_cast<char32_t>(signal);
            return event;
        }
        wint_t c = 0;
        const int read = wget_wch(stdscr, &c);
        if (read == ERR) continue; // no input yet
        std::optional<InputEvent> event;
        if (read == KEY_CODE_YES) {
            event = function_key(c);
        } else if (c == kEscape) {
            // Esc alone, or Alt with a key: Alt+Space opens the system menu; with any other
            // key Alt is passed over.
            wtimeout(stdscr, 0);
            wint_t next = 0;
            const int more = wget_wch(stdscr, &next);
            wtimeout(stdscr, kInputPollMs);
            if (more == ERR) {
                event = key_event(KeyCode::Escape);
            } else if (more == KEY_CODE_YES) {
                event = function_key(next);
            } else {
                event = next == L' ' ? key_event(KeyCode::SystemMenu) : character_key(next);
            }
        } else {
            event = character_key(c);
        }
        if (event) return *event;
    }
}

} // namespace orvo::mfc
