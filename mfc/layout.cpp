#include "mfc/layout.h"

#include "mfc/menu.h"
#include "mfc/text_cells.h"

#include <algorithm>

namespace orvo::mfc {
namespace {

// Dialog units to the nearest column (halves round up); coordinates are never negative.
int column(int units, Scale scale) {
    return (2 * units * scale.num + scale.den) / (2 * scale.den);
}

// Doubled vertical dialog units to the nearest row.
int row_of_doubled(int doubled_units) {
    return (doubled_units + kRowDialogUnits) / (2 * kRowDialogUnits);
}

int row(int units) {
    return row_of_doubled(2 * units);
}

bool is_mouse_target(WindowKind kind) {
    switch (kind) {
    case WindowKind::PushButton:
    case WindowKind::CheckBox:
    case WindowKind::ComboBox:
    case WindowKind::Edit: return true;
    default: return false;
    }
}

} // namespace

CellRect control_cells(const Window& control, Scale scale) {
    const int left = column(control.x, scale);
    const int right = std::max(left + 1, column(control.x + control.cx, scale));
    switch (control.kind) {
    case WindowKind::GroupBox: {
        const int top = row(control.y);
        return {top, left, std::max(2, row(control.y + control.cy) - top + 1), right - left};
    }
    case WindowKind::Icon: {
        const int top = row(control.y);
        return {top, left, std::max(1, row(control.y + control.cy) - top), right - left};
    }
    case WindowKind::Frame:
        if (control.cy <= control.cx) return {row_of_doubled(2 * control.y + control.cy), left, 1, right - left};
        return {row(control.y), left, std::max(1, row(control.y + control.cy) - row(control.y)), 1};
    case WindowKind::ComboBox:
        return {row_of_doubled(2 * control.y + std::min(control.cy, kClosedListDialogUnits)), left, 1,
                right - left};
    default:
        return {row_of_doubled(2 * control.y + control.cy), left, 1, right - left};
    }
}

CellRect client_cells(const Window& dialog, Scale scale) {
    return {0, 0, std::max(1, row(dialog.cy)), std::max(1, column(dialog.cx, scale))};
}

CellRect frame_cells(const Window& dialog, Scale scale) {
    const CellRect client = client_cells(dialog, scale);
    return {0, 0, client.rows + 2, client.cols + 2};
}

CellRect DialogPlacement::on_screen(const Window& control) const {
    CellRect cells = control_cells(control, scale);
    cells.row += client().row;
    cells.col += client().col;
    return cells;
}

std::optional<DialogPlacement> place_dialog(const Window& dialog, int screen_rows, int screen_cols) {
    for (Scale scale : {kRoomyScale, kCompactScale}) {
        CellRect frame = frame_cells(dialog, scale);
        if (frame.rows > screen_rows || frame.cols > screen_cols) continue;
        frame.row = (screen_rows - frame.rows) / 2;
        frame.col = (screen_cols - frame.cols) / 2;
        return DialogPlacement{scale, frame};
    }
    return std::nullopt;
}

HWND control_at(const Window& dialog, const DialogPlacement& placement, int r, int c) {
    // The first control in the template is the top one where controls overlap.
    for (HWND child : dialog.children) {
        const Window* control = find_window(child);
        if (control && is_mouse_target(control->kind) && placement.on_screen(*control).contains(r, c))
            return child;
    }
    return nullptr;
}

ListPopup list_popup(const Window& list, const DialogPlacement& placement, int screen_rows) {
    const CellRect field = placement.on_screen(list);
    const int dropped = std::max(1, (list.cy - kClosedListDialogUnits) / kRowDialogUnits);
    const int items = std::max(1, std::min<int>(dropped, static_cast<int>(list.items.size())));
    const int room = std::max(1, screen_rows - (field.row + 1) - 2);
    return {{field.row + 1, field.col, std::min(items, room) + 2, std::max(field.cols, 4)}};
}

MenuPopup menu_popup(const CMenu& menu, const DialogPlacement& placement) {
    int widest = 0;
    for (const MenuItem& item : menu.Items())
        widest = std::max(widest, text_cells(menu_display_text(item.text)));
    return {{placement.frame.row + 1, placement.frame.col + 1, menu.GetMenuItemCount() + 2, widest + 4}};
}

} // namespace orvo::mfc
