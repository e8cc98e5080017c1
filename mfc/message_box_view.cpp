#include "mfc/message_box_view.h"

#include "mfc/menu.h"
#include "mfc/text_cells.h"

#include <algorithm>
#include <array>

namespace orvo::mfc {
namespace {

// The widest text line, so that a long message makes several lines of a readable box.
constexpr int kWidestText = 60;
constexpr int kButtonGap = 2;

struct ButtonLabel {
    int id;
    const char* label;
};
constexpr std::array<ButtonLabel, 7> kButtonLabels = {{
    {IDOK, "OK"},
    {IDCANCEL, "キャンセル"},
    {IDABORT, "中止(&A)"},
    {IDRETRY, "再試行(&R)"},
    {IDIGNORE, "無視(&I)"},
    {IDYES, "はい(&Y)"},
    {IDNO, "いいえ(&N)"},
}};

std::string button_face(int id) {
    return "[ " + menu_display_text(message_box_button_label(id)) + " ]";
}

} // namespace

std::vector<int> message_box_buttons(UINT style) {
    switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {IDOK};
    }
}

std::string message_box_button_label(int id) {
    for (const ButtonLabel& entry : kButtonLabels)
        if (entry.id == id) return entry.label;
    return "?";
}

std::string message_box_icon_mark(UINT style) {
    switch (style & MB_ICONMASK) {
    case MB_ICONHAND: return "(X)";
    case MB_ICONQUESTION: return "(?)";
    case MB_ICONEXCLAMATION: return "(!)";
    case MB_ICONASTERISK: return "(i)";
    default: return "";
    }
}

MessageBoxView::MessageBoxView(winapi::MessageBoxCall call)
    : call_(std::move(call)), buttons_(message_box_buttons(call_.style)) {
    const auto it = std::find(buttons_.begin(), buttons_.end(), winapi::default_button(call_.style));
    focused_ = it == buttons_.end() ? 0 : static_cast<std::size_t>(it - buttons_.begin());
}

std::optional<MessageBoxView::Geometry> MessageBoxView::place(int screen_rows, int screen_cols) const {
    const std::string mark = message_box_icon_mark(call_.style);
    const int mark_cols = mark.empty() ? 0 : text_cells(mark) + 2;
    const int width = std::min(kWidestText, screen_cols - 6 - mark_cols);
    if (width < 8) return std::nullopt;

    Geometry geometry;
    geometry.lines = wrap_text(call_.text, width);
    while (geometry.lines.size() > 1 && geometry.lines.back().empty())
        geometry.lines.pop_back();
    int text_cols = 0;
    for (const std::string& line : geometry.lines)
        text_cols = std::max(text_cols, text_cells(line));
    int buttons_cols = -kButtonGap;
    for (int id : buttons_)
        buttons_cols += text_cells(button_face(id)) + kButtonGap;

    const int lines = static_cast<int>(geometry.lines.size());
    const int inner_cols = std::max({mark_cols + text_cols, buttons_cols, text_cells(call_.caption) + 6, 16});
    const int rows = lines + 5;
    const int cols = inner_cols + 4;
    if (rows > screen_rows || cols > screen_cols) return std::nullopt;

    geometry.frame = {(screen_rows - rows) / 2, (screen_cols - cols) / 2, rows, cols};
    geometry.text = {geometry.frame.row + 2, geometry.frame.col + 2 + mark_cols, lines, text_cols};
    int col = geometry.frame.col + (cols - buttons_cols) / 2;
    for (int id : buttons_) {
        const int face = text_cells(button_face(id));
        geometry.buttons.push_back({geometry.frame.bottom() - 2, col, 1, face});
        col += face + kButtonGap;
    }
    return geometry;
}

std::optional<int> MessageBoxView::press(const Key& key) {
    const std::size_t count = buttons_.size();
    switch (key.code) {
    case KeyCode::Left:
    case KeyCode::BackTab:
    case KeyCode::Up:
        focused_ = (focused_ + count - 1) % count;
        return std::nullopt;
    case KeyCode::Right:
    case KeyCode::Tab:
    case KeyCode::Down:
        focused_ = (focused_ + 1) % count;
        return std::nullopt;
    case KeyCode::Enter:
    case KeyCode::Space:
        return buttons_[focused_];
    case KeyCode::Escape:
        if (std::find(buttons_.begin(), buttons_.end(), IDCANCEL) != buttons_.end()) return IDCANCEL;
        if (buttons_.size() == 1 && buttons_[0] == IDOK) return IDOK;
        return std::nullopt;
    case KeyCode::Character: {
        const char32_t wanted = key.ch >= U'A' && key.ch <= U'Z' ? key.ch - U'A' + U'a' : key.ch;
        for (int id : buttons_)
            if (menu_mnemonic(message_box_button_label(id)) == wanted) return id;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<int> MessageBoxView::click(const Geometry& geometry, int row, int col) const {
    for (std::size_t i = 0; i < geometry.buttons.size() && i < buttons_.size(); ++i)
        if (geometry.buttons[i].contains(row, col)) return buttons_[i];
    return std::nullopt;
}

void MessageBoxView::paint(Canvas& canvas, const Geometry& geometry) const {
    fill_rect(canvas, geometry.frame, kAttrNormal);
    draw_frame(canvas, geometry.frame, kAttrNormal);
    put_text(canvas, geometry.frame.row, geometry.frame.col + 2, " " + call_.caption + " ",
             geometry.frame.cols - 4, kAttrBold);
    const std::string mark = message_box_icon_mark(call_.style);
    if (!mark.empty()) put_text(canvas, geometry.text.row, geometry.frame.col + 2, mark, 3, kAttrBold);
    for (std::size_t i = 0; i < geometry.lines.size(); ++i)
        put_text(canvas, geometry.text.row + static_cast<int>(i), geometry.text.col, geometry.lines[i],
                 geometry.text.cols, kAttrNormal);
    for (std::size_t i = 0; i < geometry.buttons.size() && i < buttons_.size(); ++i) {
        const CellRect& face = geometry.buttons[i];
        put_text(canvas, face.row, face.col, button_face(buttons_[i]), face.cols,
                 i == focused_ ? kAttrReverse | kAttrBold : kAttrNormal);
    }
    canvas.set_cursor(std::nullopt);
}

} // namespace orvo::mfc
