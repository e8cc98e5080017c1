#include "mfc/canvas.h"

#include "mfc/text_cells.h"

#include <algorithm>

namespace orvo::mfc {

int put_text(Canvas& canvas, int row, int col, std::string_view text, int max_cells, unsigned attr) {
    int used = 0;
    for (char32_t c : decode_utf8(text)) {
        const char32_t shown = displayable(c);
        const int width = char_cells(shown);
        if (width == 0) continue; // combining marks: the terminal would stack them
        if (used + width > max_cells) break;
        canvas.put_char(row, col + used, shown, width, attr);
        used += width;
    }
    return used;
}

void fill(Canvas& canvas, int row, int col, int cells, unsigned attr) {
    for (int i = 0; i < cells; ++i)
        canvas.put_char(row, col + i, U' ', 1, attr);
}

void fill_rect(Canvas& canvas, const CellRect& rect, unsigned attr) {
    for (int r = rect.row; r < rect.bottom(); ++r)
        fill(canvas, r, rect.col, rect.cols, attr);
}

void draw_horizontal(Canvas& canvas, int row, int col, int cells, unsigned attr) {
    for (int i = 0; i < cells; ++i)
        canvas.put_line(row, col + i, LineGlyph::Horizontal, attr);
}

void draw_frame(Canvas& canvas, const CellRect& rect, unsigned attr) {
    if (rect.rows < 2 || rect.cols < 2) return;
    const int last_row = rect.bottom() - 1;
    const int last_col = rect.right() - 1;
    draw_horizontal(canvas, rect.row, rect.col + 1, rect.cols - 2, attr);
    draw_horizontal(canvas, last_row, rect.col + 1, rect.cols - 2, attr);
    for (int r = rect.row + 1; r < last_row; ++r) {
        canvas.put_line(r, rect.col, LineGlyph::Vertical, attr);
        canvas.put_line(r, last_col, LineGlyph::Vertical, attr);
    }
    canvas.put_line(rect.row, rect.col, LineGlyph::TopLeft, attr);
    canvas.put_line(rect.row, last_col, LineGlyph::TopRight, attr);
    canvas.put_line(last_row, rect.col, LineGlyph::BottomLeft, attr);
    canvas.put_line(last_row, last_col, LineGlyph::BottomRight, attr);
}

MemoryCanvas::MemoryCanvas(int rows, int cols)
    : rows_(std::max(rows, 0)), cols_(std::max(cols, 0)),
      cells_(static_cast<std::size_t>(rows_ * cols_)) {}

void MemoryCanvas::clear() {
    std::fill(cells_.begin(), cells_.end(), Cell{});
    cursor_.reset();
}

void MemoryCanvas::release(int row, int col) {
    Cell& cell = at(row, col);
    if (cell.right_half && col > 0) {
        at(row, col - 1) = Cell{};
    } else if (col + 1 < cols_ && at(row, col + 1).right_half) {
        at(row, col + 1) = Cell{};
    }
    cell = Cell{};
}

void MemoryCanvas::put_char(int row, int col, char32_t c, int width, unsigned attr) {
    if (width < 1 || width > 2 || !inside(row, col, width)) return;
    release(row, col);
    if (width == 2) release(row, col + 1);
    at(row, col) = Cell{c, attr, false};
    if (width == 2) at(row, col + 1) = Cell{U' ', attr, true};
}

void MemoryCanvas::put_line(int row, int col, LineGlyph glyph, unsigned attr) {
    static constexpr char32_t kGlyphs[] = {U'─', U'│', U'┌', U'┐', U'└', U'┘'};
    put_char(row, col, kGlyphs[static_cast<int>(glyph)], 1, attr);
}

std::string MemoryCanvas::text_at(int row, int col, int cells) const {
    std::u32string text;
    for (int c = std::max(col, 0); c < std::min(col + cells, cols_) && row >= 0 && row < rows_; ++c)
        if (!at(row, c).right_half) text += at(row, c).c;
    return encode_utf8(text);
}

std::vector<std::string> MemoryCanvas::lines() const {
    std::vector<std::string> result;
    for (int r = 0; r < rows_; ++r) {
        std::string line = text_at(r, 0, cols_);
        line.erase(line.find_last_not_of(' ') + 1);
        result.push_back(std::move(line));
    }
    return result;
}

std::string MemoryCanvas::text() const {
    std::string all;
    for (const std::string& line : lines())
        all += line + "\n";
    return all;
}

unsigned MemoryCanvas::attr_at(int row, int col) const {
    if (!inside(row, col)) return kAttrNormal;
    return at(row, col).attr;
}

} // namespace orvo::mfc
