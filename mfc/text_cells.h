#pragma once
// Text as a terminal shows it: UTF-8 decoded into characters, each one or two cells wide
// (wcwidth under a UTF-8 locale, so Japanese text takes two cells a character and aligns).
// Characters a terminal cannot show safely (control characters, bytes that are not UTF-8)
// are shown as '?', so no text from a file can send the terminal a control sequence.

#include <string>
#include <string_view>
#include <vector>

namespace orvo::mfc {

// Makes LC_CTYPE a UTF-8 locale: the environment's when it is one, else C.UTF-8. False when
// neither is available (widths are then wrong for anything beyond ASCII).
bool use_utf8_locale();

// The characters of UTF-8 text; each byte that does not start a valid sequence becomes '?'.
std::u32string decode_utf8(std::string_view text);
std::string encode_utf8(char32_t c);
std::string encode_utf8(std::u32string_view text);

// What the terminal shows for c: c itself, or '?' for what it cannot show.
char32_t displayable(char32_t c);
// Cells c takes once displayable: 1 or 2 (combining marks take 0).
int char_cells(char32_t c);
int text_cells(std::string_view text);
int text_cells(std::u32string_view text);

// The longest start of text that fits in cells (never half a wide character).
std::string clip_to_cells(std::string_view text, int cells);

// Lines of text for a box at most width cells wide: line breaks are "\r\n", "\r" or "\n";
// tabs advance to the next multiple of eight cells; a line too long breaks after its last
// blank that fits, or anywhere between characters (as Japanese text breaks).
std::vector<std::string> wrap_text(std::string_view text, int width);

} // namespace orvo::mfc
