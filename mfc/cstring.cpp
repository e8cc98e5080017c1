#include "mfc/cstring.h"

#include "mfc/resources.h"

#include <cstdarg>
#include <cstdio>
#include <ostream>

BOOL CString::LoadString(UINT id) {
    const char* text = orvo::mfc::find_string(id);
    m_Text = text ? text : "";
    return text != nullptr;
}

void CString::Format(LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (length < 0) {
        m_Text.clear();
    } else {
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<std::size_t>(length));
        m_Text = std::move(text);
    }
    va_end(args);
}

std::ostream& operator<<(std::ostream& out, const CString& text) {
    return out << text.str();
}

void AfxFormatString1(CString& result, UINT id, LPCSTR text) {
    CString pattern;
    pattern.LoadString(id);
    const std::string& source = pattern.str();
    const std::string argument = text ? text : "";
    std::string formatted;
    for (std::size_t i = 0; i < source.size(); ++i) {
        if (source[i] == '%' && i + 1 < source.size() && source[i + 1] == '1') {
            formatted += argument;
            ++i;
        } else {
            formatted += source[i];
        }
    }
    result = CString(std::move(formatted));
}
