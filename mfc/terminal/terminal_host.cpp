#include "mfc/terminal/terminal_host.h"

#include "mfc/dialog.h"
#include "mfc/layout.h"
#include "mfc/menu.h"
#include "mfc/message_box_view.h"
#include "mfc/painter.h"
#include "mfc/user_actions.h"

namespace orvo::mfc {
namespace {

bool has_ended(HWND dialog) {
    const Window* window = find_window(dialog);
    return !window || window->end_result.has_value();
}

} // namespace

TerminalHost::~TerminalHost() {
    release();
}

void TerminalHost::release() {
    screen_.reset();
}

TerminalScreen& TerminalHost::screen() {
    if (!screen_) screen_ = std::make_unique<TerminalScreen>();
    return *screen_;
}

void TerminalHost::draw(const MessageBoxView* box) {
    TerminalScreen& canvas = screen();
    canvas.clear();
    for (std::size_t i = 0; i < running_.size(); ++i) {
        const Running& running = running_[i];
        const bool on_top = i + 1 == running_.size() && !box;
        paint_window(running.dialog);
        const Window* window = find_window(running.dialog);
        if (!window) continue;
        const std::optional<DialogPlacement> placement = place_dialog(*window, canvas.rows(), canvas.cols());
        if (!placement) {
            const CellRect needed = frame_cells(*window, kCompactScale);
            paint_too_small(canvas, needed.rows, needed.cols);
            break;
        }
        paint_dialog(canvas, *window, *placement, on_top ? running.input : nullptr);
    }
    if (box) {
        if (const auto geometry = box->place(canvas.rows(), canvas.cols())) {
            box->paint(canvas, *geometry);
        } else {
            // What the box takes on a screen with room to spare: enough, if not the least.
            constexpr int kRoomToSpare = 1 << 14;
            const auto wanted = box->place(kRoomToSpare, kRoomToSpare);
            paint_too_small(canvas, wanted ? wanted->frame.rows : kRoomToSpare, wanted ? wanted->frame.cols : kRoomToSpare);
        }
    }
    canvas.present();
}

void TerminalHost::run_modal(CDialog& dialog) {
    const HWND handle = dialog.m_hWnd;
    DialogInput input(handle);
    running_.push_back({handle, &input});
    // Off the stack however the loop is left (an interrupt throws out of it).
    struct OffTheStack {
        std::vector<Running>& running;
        ~OffTheStack() { running.pop_back(); }
    } off_the_stack{running_};

    while (!has_ended(handle)) {
        draw(nullptr);
        const InputEvent event = screen().next_event();
        switch (event.kind) {
        case InputEvent::Kind::Interrupt: throw Interrupted(static_cast<int>(event.key.ch));
        case InputEvent::Kind::Resize: break;
        case InputEvent::Kind::Mouse: take_mouse(event); break;
        case InputEvent::Kind::Key: {
            const Window* window = find_window(handle);
            const bool fits = window && place_dialog(*window, screen().rows(), screen().cols());
            if (fits)
                input.press(event.key);
            else if (event.key.code == KeyCode::Escape)
                cancel_dialog(handle);
            break;
        }
        }
    }
}

void TerminalHost::take_mouse(const InputEvent& event) {
    if (running_.empty()) return;
    const Running& top = running_.back();
    const Window* dialog = find_window(top.dialog);
    if (!dialog) return;
    const std::optional<DialogPlacement> placement = place_dialog(*dialog, screen().rows(), screen().cols());
    if (!placement) return;
    DialogInput& input = *top.input;
    const int row = event.row;
    const int col = event.col;

    if (event.button == InputEvent::Button::Right) {
        // The dialog's surface: inside the client area, off the controls that take clicks.
        const CellRect client = placement->client();
        if (client.contains(row, col) && !control_at(*dialog, *placement, row, col))
            right_button(top.dialog, event.pressed, POINT{col - client.col, row - client.row});
        return;
    }
    switch (input.mode()) {
    case DialogInput::Mode::ListOpen: {
        const Window* list = find_window(input.open_list());
        if (!list) break;
        const CellRect items = list_popup(*list, *placement, screen().rows()).items();
        if (items.contains(row, col))
            input.click_list_entry(input.first_shown_entry(items.rows) + row - items.row);
        else
            input.close_popup();
        return;
    }
    case DialogInput::Mode::MenuOpen: {
        const CellRect items = menu_popup(*dialog->system_menu, *placement).items();
        if (items.contains(row, col))
            input.click_menu_item(row - items.row);
        else
            input.close_popup();
        return;
    }
    case DialogInput::Mode::Controls: break;
    }
    if (dialog->system_menu && placement->system_box().contains(row, col)) {
        input.open_system_menu();
    } else if (dialog->system_menu && placement->close_box().contains(row, col)) {
        system_command(top.dialog, SC_CLOSE);
    } else if (const HWND control = control_at(*dialog, *placement, row, col)) {
        input.click(control);
    }
}

int TerminalHost::show(HWND, const winapi::MessageBoxCall& call) {
    MessageBoxView box(call);
    for (;;) {
        draw(&box);
        const InputEvent event = screen().next_event();
        switch (event.kind) {
        case InputEvent::Kind::Interrupt: throw Interrupted(static_cast<int>(event.key.ch));
        case InputEvent::Kind::Resize: break;
        case InputEvent::Kind::Key:
            if (const std::optional<int> answer = box.press(event.key)) return *answer;
            break;
        case InputEvent::Kind::Mouse:
            if (event.button != InputEvent::Button::Left) break;
            if (const auto geometry = box.place(screen().rows(), screen().cols()))
                if (const std::optional<int> answer = box.click(*geometry, event.row, event.col)) return *answer;
            break;
        }
    }
}

} // namespace orvo::mfc
