#pragma once
// Dialog units to terminal cells. A cell is a character: a row is the dialog font's height
// (8 vertical dialog units). Across, the roomy scale gives a cell 3 dialog units, so that a
// Japanese character (two cells) takes about what it takes in the dialog font and every text
// fits the control made for it; the compact scale (4 units, a Latin character's width) is for
// terminals too narrow for that, at the cost of tighter check boxes and clipped labels.
//
// Single-line controls (texts, buttons, check boxes, edits, the field of a list) sit on the
// row nearest their vertical centre; group boxes are frames from their top to their bottom
// row; frame lines are one row (or column) thick.

#include "mfc/window.h"

#include <optional>

class CMenu;

namespace orvo::mfc {

struct Scale {
    int num = 1;
    int den = 3; // cells per dialog unit across: num / den
};
inline constexpr Scale kRoomyScale{1, 3};
inline constexpr Scale kCompactScale{1, 4};
inline constexpr int kRowDialogUnits = 8;
// The height of a closed drop-down list's field; the rest of its height is the open list.
inline constexpr int kClosedListDialogUnits = 12;

struct CellRect {
    int row = 0, col = 0, rows = 0, cols = 0;
    int bottom() const { return row + rows; } // first row below
    int right() const { return col + cols; }  // first column to the right
    bool contains(int r, int c) const { return r >= row && r < bottom() && c >= col && c < right(); }
    bool overlaps(const CellRect& other) const {
        return row < other.bottom() && other.row < bottom() && col < other.right() &&
               other.col < right();
    }
    bool operator==(const CellRect&) const = default;
};

// A control's cells, relative to its dialog's client area.
CellRect control_cells(const Window& control, Scale scale);
// The dialog's client area: (0, 0) and its size.
CellRect client_cells(const Window& dialog, Scale scale);

// A dialog on the screen: the frame around the client area (the caption in its top line),
// centred.
struct DialogPlacement {
    Scale scale;
    CellRect frame;  // screen cells, frame included
    CellRect client() const { return {frame.row + 1, frame.col + 1, frame.rows - 2, frame.cols - 2}; }
    CellRect system_box() const { return {frame.row, frame.col + 1, 1, 3}; } // "[-]"
    CellRect close_box() const { return {frame.row, frame.right() - 4, 1, 3}; } // "[X]"
    // A control's cells on the screen.
    CellRect on_screen(const Window& control) const;
};

// The frame size at a scale.
CellRect frame_cells(const Window& dialog, Scale scale);
// The roomy scale when the dialog fits the screen, else the compact one; nothing when even
// that does not fit.
std::optional<DialogPlacement> place_dialog(const Window& dialog, int screen_rows, int screen_cols);
// The control a mouse click at a screen cell reaches: buttons, check boxes, lists and edits
// (texts, frames, group boxes and icons let clicks through to the dialog); nullptr for none.
HWND control_at(const Window& dialog, const DialogPlacement& placement, int row, int col);

// The open list of a drop-down: item rows below the field, inside a frame; at most the
// dropped height of the template, and never past the screen's last row.
struct ListPopup {
    CellRect frame;
    CellRect items() const { return {frame.row + 1, frame.col + 1, frame.rows - 2, frame.cols - 2}; }
};
ListPopup list_popup(const Window& list, const DialogPlacement& placement, int screen_rows);

// The system menu, opened below the caption's menu box.
struct MenuPopup {
    CellRect frame;
    CellRect items() const { return {frame.row + 1, frame.col + 1, frame.rows - 2, frame.cols - 2}; }
};
MenuPopup menu_popup(const CMenu& menu, const DialogPlacement& placement);

} // namespace orvo::mfc
