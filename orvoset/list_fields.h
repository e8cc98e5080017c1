#pragma once
// Lists of fields as the adapter information file and the option string write them: fields
// separated by ',' or ';', numbers in decimal. The choice rules of the settings dialog (what a
// list entry shows and which value it carries) are built on them.

#include "winapi/win32_types.h"

#include <string>
#include <string_view>

struct ListField {
    std::string text; // the field, trimmed of white space
    int count = 0;    // separators passed + 1: with n = 0, the number of fields (at most 21)
};

// The n-th field (from 1) of text; with fewer fields, the last one. A separator at the very end
// adds no empty field. n = 0 walks up to 20 separators and so counts the fields: the count is
// never 0, even for an empty text.
ListField GetListField(std::string_view text, int n);

// Decimal reading: leading white space, an optional sign, then digits up to the first other
// character; no digits reads as 0. Out-of-range numbers saturate at the 32-bit limits.
int ReadDecimal(std::string_view text);

// What a choice shows in its list: field 1 with every double quote turned into a blank.
std::string ChoiceDisplayText(std::string_view choice);

// The IRQ number of an IRQ choice: field 2 in decimal (a single field serves as both).
DWORD IrqChoiceValue(std::string_view choice);

// An I/O choice's base (field 2) and, when it has a third field, length (field 3), packed into
// one item value: base in the low half, length in the high half. Each number keeps only its
// low 16 bits, so a number too large for a half can never spill into the other.
DWORD IoChoiceValue(std::string_view choice);
inline int IoChoiceBase(DWORD value) {
    return static_cast<int>(value & 0xFFFF);
}
inline int IoChoiceLength(DWORD value) {
    return static_cast<int>(value >> 16);
}
