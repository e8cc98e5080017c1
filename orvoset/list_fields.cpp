#include "orvoset/list_fields.h"

#include <climits>

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";
constexpr std::string_view kSeparators = ",;";
// n = 0 stands for this many fields to walk, so at most 21 fields are ever seen.
constexpr int kFieldsWalkedForCount = 20;

std::string_view trim(std::string_view s) {
    auto start = s.find_first_not_of(kWhiteSpace);
    if (start == s.npos) return {};
    return s.substr(start, s.find_last_not_of(kWhiteSpace) - start + 1);
}

} // namespace

ListField GetListField(std::string_view text, int n) {
    if (n == 0) n = kFieldsWalkedForCount;
    std::string_view field;
    int i = 0;
    while (i < n && !text.empty()) {
        field = text;
        std::size_t separator = text.find_first_of(kSeparators);
        if (separator == text.npos) break;
        field = text.substr(0, separator);
        text.remove_prefix(separator + 1);
        ++i;
    }
    return {std::string(trim(field)), i + 1};
}

int ReadDecimal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && kWhiteSpace.find(text[i]) != text.npos)
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) return static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

std::string ChoiceDisplayText(std::string_view choice) {
    std::string text = GetListField(choice, 1).text;
    for (char& c : text)
        if (c == '"') c = ' ';
    return text;
}

DWORD IrqChoiceValue(std::string_view choice) {
    return static_cast<DWORD>(ReadDecimal(GetListField(choice, 2).text));
}

DWORD IoChoiceValue(std::string_view choice) {
    auto base = static_cast<DWORD>(ReadDecimal(GetListField(choice, 2).text));
    DWORD length = 0;
    if (GetListField(choice, 0).count >= 3)
        length = static_cast<DWORD>(ReadDecimal(GetListField(choice, 3).text));
    return (base & 0xFFFF) | ((length & 0xFFFF) << 16);
}
