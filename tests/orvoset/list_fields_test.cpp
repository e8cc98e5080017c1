// Field access of choice lists and option strings, and the choice rules built on it.

#include "orvoset/list_fields.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(ListFields, GetListFieldWalksFieldsAsTheDialogRelies) {
    std::string many;
    for (int i = 0; i < 25; ++i)
        many += std::to_string(i) + ",";
    const struct {
        std::string text;
        int n;
        const char* field;
        int count;
    } cases[] = {
        {"a,b,c", 1, "a", 2},
        {"a,b,c", 2, "b", 3},
        {"a,b,c", 3, "c", 3},
        {"a,b,c", 5, "c", 3}, // past the end: the last field
        {"a,b,c", 0, "c", 3}, // n = 0 counts the fields
        {"", 0, "", 1},       // the count is never 0
        {"", 2, "", 1},
        {"a,", 2, "a", 2}, // a trailing separator adds no empty field
        {"a,", 0, "a", 2},
        {"a;b,c", 2, "b", 3},
        {"a,,b", 2, "", 3},
        {" \t a \r\n; b\v\f", 1, "a", 2},
        {" \t a \r\n; b\v\f", 2, "b", 2},
        {"\"IRQ 5\",5", 1, "\"IRQ 5\"", 2},
        {many, 0, "19", 21},  // n = 0 stops after 20 separators: 21 fields at most
        {many, 21, "20", 22}, // the 21st field
        {"a,b", -1, "", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("\"" + c.text + "\" n=" + std::to_string(c.n));
        ListField result = GetListField(c.text, c.n);
        EXPECT_EQ(result.text, c.field);
        EXPECT_EQ(result.count, c.count);
    }
}

TEST(ListFields, DecimalReadingTakesSignAndStopsAtGarbage) {
    const struct {
        const char* text;
        int value;
    } cases[] = {
        {"832", 832},
        {"  \t832", 832},
        {"+5", 5},
        {"-5", -5},
        {"0x340", 0},
        {"12abc", 12},
        {"", 0},
        {"abc", 0},
        {"- 5", 0},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadDecimal(c.text), c.value) << c.text;
}

TEST(ListFields, ChoiceTextAndValues) {
    const struct {
        const char* choice;
        const char* display;
        DWORD irq;
        int base;
        int length;
    } cases[] = {
        {"IRQ 5,5", "IRQ 5", 5, 5, 0},
        {"10", "10", 10, 10, 0},             // one field is text and number at once
        {"\"IRQ 5\",5", " IRQ 5 ", 5, 5, 0}, // quotes show as blanks
        {"0x340-0x35F,832,32", "0x340-0x35F", 832, 832, 32},
        {"A,832", "A", 832, 832, 0},        // no third field: length 0
        {"A,832,32,99", "A", 832, 832, 32}, // fourth field ignored
        {"A;832;32", "A", 832, 832, 32},
        {"0x340,0x340,32", "0x340", 0, 0, 32},          // hexadecimal is not read
        {"A,70000,32", "A", 70000, 70000 & 0xFFFF, 32}, // too large for its half: cut, no spill
        {"A,-1,32", "A", 0xFFFFFFFF, 0xFFFF, 32},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.choice);
        EXPECT_EQ(ChoiceDisplayText(c.choice), c.display);
        EXPECT_EQ(IrqChoiceValue(c.choice), c.irq);
        DWORD value = IoChoiceValue(c.choice);
        EXPECT_EQ(IoChoiceBase(value), c.base);
        EXPECT_EQ(IoChoiceLength(value), c.length);
    }
    EXPECT_EQ(IoChoiceValue("A,832,32"), 0x00200340u); // base low, length high
}

} // namespace
