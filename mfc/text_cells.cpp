#include "mfc/text_cells.h"

#include <clocale>
#include <cstring>
#include <cwchar>
#include <langinfo.h>

namespace orvo::mfc {
namespace {

constexpr int kTabCells = 8;

bool locale_is_utf8() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

// Length of the UTF-8 sequence starting with lead, 0 for a byte that cannot start one.
int sequence_length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

} // namespace

bool use_utf8_locale() {
    if (std::setlocale(LC_CTYPE, "") && locale_is_utf8()) return true;
    return std::setlocale(LC_CTYPE, "C.UTF-8") && locale_is_utf8();
}

std::u32string decode_utf8(std::string_view text) {
    std::u32string decoded;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = sequence_length(lead);
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        bool valid = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            valid = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        if (valid && length == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) valid = false;
        if (valid && length == 4 && (c < 0x10000 || c > 0x10FFFF)) valid = false;
        if (!valid) {
            decoded += U'?';
            ++i;
            continue;
        }
        decoded += c;
        i += static_cast<std::size_t>(length);
    }
    return decoded;
}

std::string encode_utf8(char32_t c) {
    std::string bytes;
    if (c < 0x80) {
        bytes += static_cast<char>(c);
    } else if (c < 0x800) {
        bytes += static_cast<char>(0xC0 | (c >> 6));
        bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        bytes += static_cast<char>(0xE0 | (c >> 12));
        bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        bytes += static_cast<char>(0xF0 | (c >> 18));
        bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (c & 0x3F));
    }
    return bytes;
}

std::string encode_utf8(std::u32string_view text) {
    std::string bytes;
    for (char32_t c : text)
        bytes += encode_utf8(c);
    return bytes;
}

// Terminal cells of a character, from its Unicode properties rather than the process's locale,
// so that layout is the same headless and in any terminal: control characters have none (-1),
// combining marks take no cell, East Asian wide and fullwidth characters take two.
static int unicode_cells(char32_t c) {
    if (c == 0) return 0;
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return -1;
    static constexpr struct {
        char32_t first, last;
    } kCombining[] = {{0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A},
                      {0x064B, 0x065F}, {0x200B, 0x200F}, {0x20D0, 0x20FF}, {0x3099, 0x309A},
                      {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}};
    for (const auto& r : kCombining) {
        if (c >= r.first && c <= r.last) return 0;
    }
    static constexpr struct {
        char32_t first, last;
    } kWide[] = {{0x1100, 0x115F}, {0x2E80, 0x303E}, {0x3041, 0x33FF}, {0x3400, 0x4DBF},
                 {0x4E00, 0x9FFF}, {0xA000, 0xA4CF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
                 {0xFE30, 0xFE4F}, {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F},
                 {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD}};
    for (const auto& r : kWide) {
        if (c >= r.first && c <= r.last) return 2;
    }
    return 1;
}

char32_t displayable(char32_t c) {
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return U'?';
    return unicode_cells(c) < 0 ? U'?' : c;
}

int char_cells(char32_t c) {
    const int width = unicode_cells(displayable(c));
    return width < 0 ? 1 : width;
}

int text_cells(std::u32string_view text) {
    int cells = 0;
    for (char32_t c : text)
        cells += char_cells(c);
    return cells;
}

int text_cells(std::string_view text) {
    return text_cells(decode_utf8(text));
}

std::string clip_to_cells(std::string_view text, int cells) {
    std::u32string kept;
    int used = 0;
    for (char32_t c : decode_utf8(text)) {
        const int width = char_cells(c);
        if (used + width > cells) break;
        kept += c;
        used += width;
    }
    return encode_utf8(kept);
}

std::vector<std::string> wrap_text(std::string_view text, int width) {
    if (width < 2) width = 2; // room for one wide character
    std::vector<std::string> lines;
    std::u32string line;
    int cells = 0;
    auto finish = [&] {
        lines.push_back(encode_utf8(line));
        line.clear();
        cells = 0;
    };
    const std::u32string characters = decode_utf8(text);
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const char32_t c = characters[i];
        if (c == U'\r' || c == U'\n') {
            if (c == U'\r' && i + 1 < characters.size() && characters[i + 1] == U'\n') ++i;
            finish();
            continue;
        }
        if (c == U'\t') {
            const int to_stop = kTabCells - cells % kTabCells;
            if (cells + to_stop > width) {
                finish();
                continue;
            }
            line.append(static_cast<std::size_t>(to_stop), U' ');
            cells += to_stop;
            continue;
        }
        const int need = char_cells(c);
        if (cells + need > width) {
            // Break after the last blank when there is one past the start; else here.
            const std::size_t blank = line.find_last_of(U' ');
            if (c != U' ' && blank != std::u32string::npos && blank > 0) {
                std::u32string rest = line.substr(blank + 1);
                line.erase(blank);
                finish();
                line = rest;
                cells = text_cells(line);
            } else {
                finish();
                if (c == U' ') continue; // a blank at the break is not carried over
            }
        }
        line += c;
        cells += need;
    }
    finish();
    return lines;
}

} // namespace orvo::mfc
