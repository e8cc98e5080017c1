#pragma once
// A profile (INI) file read the way the platform's profile calls read it:
//   - lines end at CR or LF; a NUL byte also ends a line
//   - "[name]" opens a section (the name is what lies between '[' and the last ']')
//   - "key=value": key and value are trimmed of blanks and control characters; a line
//     without '=' is no key
//   - ';' starts a comment only as the first character of a (trimmed) line
//   - section and key names match without regard to case; the first matching section and,
//     in it, the first matching key win
//   - keys before the first section belong to a section with the empty name
// The file may be UTF-8, code page 932 (decided per file), or UTF-16LE with a byte-order mark;
// everything comes back as UTF-8.

#include <string>
#include <string_view>
#include <vector>

namespace orvo::winapi {

class ProfileFile {
  public:
    // Parses a file's bytes in any of the accepted encodings. Bytes that fit no encoding
    // become '?' as in the platform's ANSI conversion.
    static ProfileFile from_bytes(std::string_view bytes);
    explicit ProfileFile(std::string_view utf8_text);

    // The value as stored, or nothing when the section or key is missing.
    const std::string* find(std::string_view section, std::string_view key) const;
    std::vector<std::string> section_names() const;
    // Every key of the first matching section, in file order; empty when it is missing.
    std::vector<std::string> key_names(std::string_view section) const;

  private:
    struct Entry {
        std::string key;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    const Section* find_section(std::string_view name) const;

    std::vector<Section> sections_;
};

// The value as GetPrivateProfileStringA returns it: a value whose first and last characters
// are the same quote (" or ') loses them.
std::string_view without_enclosing_quotes(std::string_view value);

} // namespace orvo::winapi
