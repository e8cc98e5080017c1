#include "mfc/painter.h"

#include "mfc/gdi.h"
#include "mfc/menu.h"
#include "mfc/resources.h"
#include "mfc/text_cells.h"
#include "mfc/user_actions.h"

#include <algorithm>
#include <string>

namespace orvo::mfc {
namespace {

std::string pad_to(std::string text, int cells) {
    const int used = text_cells(text);
    if (used < cells) text.append(static_cast<std::size_t>(cells - used), ' ');
    return text;
}

// The first of the forms that fits in cells, else the last one clipped.
std::string first_fitting(std::initializer_list<std::string> forms, int cells) {
    for (const std::string& form : forms)
        if (text_cells(form) <= cells) return form;
    return clip_to_cells(*(forms.end() - 1), cells);
}

void paint_icon(Canvas& canvas, HICON icon, const CellRect& area, unsigned attr) {
    const IconResource* art = find_icon(icon_resource_id(icon));
    if (!art) return;
    for (int r = 0; r < area.rows && r < static_cast<int>(art->rows.size()); ++r)
        put_text(canvas, area.row + r, area.col, art->rows[static_cast<std::size_t>(r)], area.cols, attr);
}

struct ControlState {
    bool focused = false;
    bool presses_on_enter = false; // the button Enter presses now
};

// The cells a control may draw in: from its left edge to the next control to its right on its
// row, the inside edge of the group box around it, or the client area's edge, whichever comes
// first. A text longer than the control made for it runs on into free space this way (the
// compact scale needs that), and never over a neighbour or a frame.
CellRect drawing_room(const Window& dialog, const Window& control, const DialogPlacement& placement) {
    CellRect room = placement.on_screen(control);
    int limit = placement.client().right();
    for (HWND other_handle : dialog.children) {
        const Window* other = find_window(other_handle);
        if (!other || other == &control || other->kind == WindowKind::Frame) continue;
        const CellRect other_cells = placement.on_screen(*other);
        if (other->kind == WindowKind::GroupBox && other_cells.contains(room.row, room.col)) {
            limit = std::min(limit, other_cells.right() - 1);
            continue;
        }
        const bool same_row = other_cells.row <= room.row && room.row < other_cells.bottom();
        if (same_row && other_cells.col > room.col) limit = std::min(limit, other_cells.col);
    }
    room.cols = std::max(0, limit - room.col);
    return room;
}

// own: the control's cells; room: where it may draw (see drawing_room).
void paint_control(Canvas& canvas, const Window& control, const CellRect& own, const CellRect& room,
                   ControlState state) {
    unsigned attr = control.enabled ? kAttrNormal : kAttrDim;
    if (is_bold(control.font)) attr |= kAttrBold;
    const unsigned focus = state.focused ? kAttrReverse : kAttrNormal;
    switch (control.kind) {
    case WindowKind::Static: {
        // A centred text centres in its own cells, and may spread to both sides of them.
        const int used = text_cells(control.text);
        const int offset = (control.style & SS_TYPEMASK) == SS_CENTER ? (own.cols - used) / 2 : 0;
        const int start = std::max(own.col + offset, 0);
        put_text(canvas, own.row, start, control.text, std::max(0, room.right() - start), attr);
        break;
    }
    case WindowKind::GroupBox:
        draw_frame(canvas, own, attr & ~kAttrBold);
        if (!control.text.empty() && own.cols > 4)
            put_text(canvas, own.row, own.col + 2, " " + control.text + " ", own.cols - 4, attr);
        break;
    case WindowKind::Frame:
        if (own.rows == 1)
            draw_horizontal(canvas, own.row, own.col, own.cols, attr);
        else
            for (int r = own.row; r < own.bottom(); ++r)
                canvas.put_line(r, own.col, LineGlyph::Vertical, attr);
        break;
    case WindowKind::Icon:
        paint_icon(canvas, control.icon, own, attr);
        break;
    case WindowKind::CheckBox: {
        const std::string mark = control.check ? "[x]" : "[ ]";
        const std::string shown = first_fitting({mark + " " + control.text, mark + control.text}, room.cols);
        put_text(canvas, own.row, own.col, shown, room.cols, attr | focus);
        break;
    }
    case WindowKind::PushButton: {
        const std::string shown =
            first_fitting({"[ " + control.text + " ]", "[" + control.text + "]"}, std::max(own.cols, room.cols));
        const int offset = std::max(0, (own.cols - text_cells(shown)) / 2);
        const unsigned emphasis = state.presses_on_enter ? kAttrBold : kAttrNormal;
        put_text(canvas, own.row, own.col + offset, shown, room.cols - offset, attr | emphasis | focus);
        break;
    }
    case WindowKind::ComboBox: {
        const bool chosen = control.selection >= 0 &&
                            static_cast<std::size_t>(control.selection) < control.items.size();
        const std::string entry = chosen ? control.items[static_cast<std::size_t>(control.selection)].text : "";
        const int width = std::min(own.cols, room.cols);
        const int inner = std::max(0, width - 4);
        const std::string field = "[" + pad_to(clip_to_cells(entry, inner), inner) + " v]";
        put_text(canvas, own.row, own.col, field, width, attr | focus);
        break;
    }
    case WindowKind::Edit: {
        // The field scrolls so that the caret stays in view.
        const CellRect cells{own.row, own.col, 1, std::min(own.cols, room.cols)};
        const int inner = std::max(1, cells.cols - 2);
        const std::u32string before = decode_utf8(std::string_view(control.text).substr(0, control.caret));
        std::size_t skip = 0;
        for (int shown = text_cells(before); skip < before.size() && shown >= inner; ++skip)
            shown -= char_cells(before[skip]);
        const std::u32string all = decode_utf8(control.text);
        const std::string visible = clip_to_cells(encode_utf8(std::u32string_view(all).substr(skip)), inner);
        put_text(canvas, cells.row, cells.col, "[" + pad_to(visible, inner) + "]", cells.cols,
                 attr | (state.focused ? kAttrUnderline : kAttrNormal));
        if (state.focused)
            canvas.set_cursor(std::make_pair(
                cells.row, cells.col + 1 + text_cells(std::u32string_view(before).substr(skip))));
        break;
    }
    case WindowKind::Dialog:
        break;
    }
}

void paint_caption(Canvas& canvas, const Window& dialog, const DialogPlacement& placement, bool active) {
    const CellRect& frame = placement.frame;
    const unsigned attr = active ? kAttrBold : kAttrNormal;
    draw_frame(canvas, frame, active ? kAttrNormal : kAttrDim);
    if (dialog.system_menu) {
        put_text(canvas, frame.row, placement.system_box().col, "[-]", 3, attr);
        put_text(canvas, frame.row, placement.close_box().col, "[X]", 3, attr);
    }
    put_text(canvas, frame.row, frame.col + 5, " " + dialog.text + " ", std::max(0, frame.cols - 10), attr);
}

void paint_open_list(Canvas& canvas, const Window& list, const DialogPlacement& placement,
                     const DialogInput& input) {
    const ListPopup popup = list_popup(list, placement, canvas.rows());
    const CellRect items = popup.items();
    fill_rect(canvas, popup.frame, kAttrNormal);
    draw_frame(canvas, popup.frame, kAttrNormal);
    const int count = static_cast<int>(list.items.size());
    const int top = input.first_shown_entry(items.rows);
    for (int r = 0; r < items.rows && top + r < count; ++r) {
        const int index = top + r;
        const unsigned attr = index == input.highlight() ? kAttrReverse : kAttrNormal;
        put_text(canvas, items.row + r, items.col,
                 pad_to(clip_to_cells(list.items[static_cast<std::size_t>(index)].text, items.cols), items.cols),
                 items.cols, attr);
    }
}

void paint_menu(Canvas& canvas, const CMenu& menu, const DialogPlacement& placement, int highlight) {
    const MenuPopup popup = menu_popup(menu, placement);
    const CellRect items = popup.items();
    fill_rect(canvas, popup.frame, kAttrNormal);
    draw_frame(canvas, popup.frame, kAttrNormal);
    for (int r = 0; r < items.rows; ++r) {
        const MenuItem& item = menu.Items()[static_cast<std::size_t>(r)];
        if (item.separator()) {
            draw_horizontal(canvas, items.row + r, items.col, items.cols, kAttrNormal);
            continue;
        }
        unsigned attr = item.enabled() ? kAttrNormal : kAttrDim;
        if (r == highlight) attr |= kAttrReverse;
        fill(canvas, items.row + r, items.col, items.cols, attr);
        // The item's key ('&' before it) is underlined.
        int col = items.col + 1;
        const std::string& text = item.text;
        for (std::size_t i = 0; i < text.size();) {
            const bool key = text[i] == '&' && i + 1 < text.size() && text[i + 1] != '&';
            if (text[i] == '&' && i + 1 < text.size()) ++i;
            std::size_t end = i + 1;
            while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
                ++end;
            col += put_text(canvas, items.row + r, col, text.substr(i, end - i),
                            items.right() - col, attr | (key ? kAttrUnderline : kAttrNormal));
            i = end;
        }
    }
}

} // namespace

void paint_dialog(Canvas& canvas, const Window& dialog, const DialogPlacement& placement,
                  const DialogInput* input) {
    fill_rect(canvas, placement.frame, kAttrNormal);
    paint_caption(canvas, dialog, placement, input != nullptr);
    const CellRect client = placement.client();
    for (const PaintedIcon& painted : dialog.painted)
        paint_icon(canvas, painted.icon,
                   {client.row + painted.at.y, client.col + painted.at.x,
                    GetSystemMetrics(SM_CYICON), GetSystemMetrics(SM_CXICON)},
                   kAttrNormal);
    if (dialog.minimized) return;

    const HWND focus = input ? effective_focus(dialog) : nullptr;
    const Window* focused = find_window(focus);
    const bool focus_on_button = focused && focused->kind == WindowKind::PushButton;
    const int enter_button = default_button_id(dialog);
    for (HWND child : dialog.children) {
        const Window* control = find_window(child);
        if (!control) continue;
        ControlState state;
        state.focused = child == focus;
        state.presses_on_enter = input && control->kind == WindowKind::PushButton &&
                                 (focus_on_button ? child == focus : control->id == enter_button);
        paint_control(canvas, *control, placement.on_screen(*control), drawing_room(dialog, *control, placement),
                      state);
    }
    if (!input) return;
    if (input->mode() == DialogInput::Mode::ListOpen) {
        if (const Window* list = find_window(input->open_list())) paint_open_list(canvas, *list, placement, *input);
    } else if (input->mode() == DialogInput::Mode::MenuOpen && dialog.system_menu) {
        paint_menu(canvas, *dialog.system_menu, placement, input->highlight());
    }
    if (!focused || focused->kind != WindowKind::Edit || input->mode() != DialogInput::Mode::Controls)
        canvas.set_cursor(std::nullopt);
}

void paint_too_small(Canvas& canvas, int rows_needed, int cols_needed) {
    canvas.clear();
    const std::string message = "The terminal is too small: it needs " +
                                std::to_string(cols_needed) + " x " + std::to_string(rows_needed) +
                                ", this one is " + std::to_string(canvas.cols()) + " x " +
                                std::to_string(canvas.rows()) +
                                ". Enlarge the window, or press Esc to cancel.";
    const std::vector<std::string> lines = wrap_text(message, std::max(1, canvas.cols() - 2));
    const int top = std::max(0, (canvas.rows() - static_cast<int>(lines.size())) / 2);
    for (std::size_t i = 0; i < lines.size(); ++i)
        put_text(canvas, top + static_cast<int>(i), 1, lines[i], canvas.cols() - 1, kAttrBold);
    canvas.set_cursor(std::nullopt);
}

} // namespace orvo::mfc
