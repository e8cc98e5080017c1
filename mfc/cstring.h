#pragma once
// CString and CStringArray, as far as the utility uses them. Text is UTF-8 (the system's
// texts are stored so); lengths are in bytes, as an ANSI string's are.

#include "mfc/win_types.h"

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

class CString {
  public:
    CString() = default;
    CString(const char* text) : m_Text(text ? text : "") {}
    CString(std::string text) : m_Text(std::move(text)) {}

    operator LPCSTR() const { return m_Text.c_str(); }
    const std::string& str() const { return m_Text; }

    int GetLength() const { return static_cast<int>(m_Text.size()); }
    BOOL IsEmpty() const { return m_Text.empty(); }
    void Empty() { m_Text.clear(); }

    // The string table entry id of the current resource module; FALSE and empty when the
    // table has no such string.
    BOOL LoadString(UINT id);
    // printf-style formatting into this string, of any length.
    void Format(LPCSTR format, ...) __attribute__((format(printf, 2, 3)));

    CString& operator+=(const CString& more) {
        m_Text += more.m_Text;
        return *this;
    }
    friend CString operator+(const CString& a, const CString& b) { return CString(a.m_Text + b.m_Text); }
    friend CString operator+(const CString& a, const char* b) { return a + CString(b); }
    friend CString operator+(const char* a, const CString& b) { return CString(a) + b; }
    friend bool operator==(const CString& a, const CString& b) { return a.m_Text == b.m_Text; }
    friend bool operator==(const CString& a, const char* b) { return a.m_Text == (b ? b : ""); }

  private:
    std::string m_Text;
};

std::ostream& operator<<(std::ostream& out, const CString& text);

// Replaces every "%1" in the string table entry id with text (the argument is not scanned
// again, so a "%1" inside it stays as it is).
void AfxFormatString1(CString& result, UINT id, LPCSTR text);

class CStringArray {
  public:
    int GetSize() const { return static_cast<int>(m_Elements.size()); }
    // Grows with empty strings or shrinks to size; a negative size empties the array.
    void SetSize(int size) { m_Elements.resize(size > 0 ? static_cast<std::size_t>(size) : 0); }
    CString GetAt(int index) const { return CString(m_Elements.at(static_cast<std::size_t>(index))); }
    void SetAt(int index, const CString& text) { m_Elements.at(static_cast<std::size_t>(index)) = text.str(); }
    int Add(const CString& text) {
        m_Elements.push_back(text.str());
        return GetSize() - 1;
    }
    void RemoveAll() { m_Elements.clear(); }

    // The elements as the utility's core reads lists into them.
    std::vector<std::string>& Elements() { return m_Elements; }
    const std::vector<std::string>& Elements() const { return m_Elements; }

  private:
    std::vector<std::string> m_Elements;
};
