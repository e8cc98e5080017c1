#pragma once
// Where dialogs are drawn: the terminal's screen, or a grid of cells in memory that tests and
// the script mode read back as text. Drawing never reaches outside the canvas, and a wide
// character is drawn whole or not at all.

#include "mfc/layout.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvo::mfc {

enum CellAttr : unsigned {
    kAttrNormal = 0,
    kAttrDim = 1,       // disabled controls
    kAttrBold = 2,
    kAttrReverse = 4,   // the focus, the highlighted entry
    kAttrUnderline = 8, // the key of a menu item
};

enum class LineGlyph { Horizontal, Vertical, TopLeft, TopRight, BottomLeft, BottomRight };

class Canvas {
  public:
    virtual ~Canvas() = default;
    virtual int rows() const = 0;
    virtual int cols() const = 0;
    virtual void clear() = 0;
    // A displayable character of width 1 or 2 at the cell.
    virtual void put_char(int row, int col, char32_t c, int width, unsigned attr) = 0;
    virtual void put_line(int row, int col, LineGlyph glyph, unsigned attr) = 0;
    // Where the terminal's cursor stands (the caret of an edit field); none hides it.
    virtual void set_cursor(std::optional<std::pair<int, int>> cell) = 0;

    bool inside(int row, int col, int width = 1) const {
        return row >= 0 && row < rows() && col >= 0 && col + width <= cols();
    }
};

// Writes text from the cell, at most max_cells cells; returns the cells written.
int put_text(Canvas& canvas, int row, int col, std::string_view text, int max_cells, unsigned attr);
void fill(Canvas& canvas, int row, int col, int cells, unsigned attr);
void fill_rect(Canvas& canvas, const CellRect& rect, unsigned attr);
void draw_frame(Canvas& canvas, const CellRect& rect, unsigned attr);
void draw_horizontal(Canvas& canvas, int row, int col, int cells, unsigned attr);

class MemoryCanvas : public Canvas {
  public:
    MemoryCanvas(int rows, int cols);
    int rows() const override { return rows_; }
    int cols() const override { return cols_; }
    void clear() override;
    void put_char(int row, int col, char32_t c, int width, unsigned attr) override;
    void put_line(int row, int col, LineGlyph glyph, unsigned attr) override;
    void set_cursor(std::optional<std::pair<int, int>> cell) override { cursor_ = cell; }

    // Each row as UTF-8, trailing blanks removed; a wide character stands for both its cells.
    std::vector<std::string> lines() const;
    std::string text() const; // the lines, each ended by '\n'
    // The attributes of the cell (of its wide character, for the cell's right half).
    unsigned attr_at(int row, int col) const;
    // The row's text from col on, cells wide (wide characters whole).
    std::string text_at(int row, int col, int cells) const;
    std::optional<std::pair<int, int>> cursor() const { return cursor_; }

  private:
    struct Cell {
        char32_t c = U' ';
        unsigned attr = kAttrNormal;
        bool right_half = false; // the second cell of the wide character to the left
    };
    Cell& at(int row, int col) { return cells_[static_cast<std::size_t>(row * cols_ + col)]; }
    const Cell& at(int row, int col) const { return cells_[static_cast<std::size_t>(row * cols_ + col)]; }
    // Clears a wide character that the cell is half of, so no half survives an overwrite.
    void release(int row, int col);

    int rows_, cols_;
    std::vector<Cell> cells_;
    std::optional<std::pair<int, int>> cursor_;
};

} // namespace orvo::mfc
