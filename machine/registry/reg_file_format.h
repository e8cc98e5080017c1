#pragma once
// The registry export text format ("REG file"), in which the machine keeps its registry.
//
// Reading accepts both headers:
//   REGEDIT4                              string payloads of hex(1), hex(2) and hex(7) values
//                                         are in the file's own encoding (UTF-8 or code page 932)
//   Windows Registry Editor Version 5.00  string payloads are UTF-16LE
// and the file itself in UTF-8, code page 932, or UTF-16LE with a byte-order mark. Lines:
//   [ROOT\Key\Sub]   [-ROOT\Key]          a key (created with its parents) / a key deleted
//   "name"="text"    @="text"             REG_SZ; \\ and \" are the only escapes
//   "name"=dword:00000340                 REG_DWORD
//   "name"=hex:01,02  "name"=hex(9):...   REG_BINARY / any type by number (hexadecimal)
//   "name"=-                              a value deleted
//   ; comment
// A line ending in a backslash inside a byte list continues on the next line.
//
// Writing produces REGEDIT4 in UTF-8 with LF line ends: parents before children, subkeys and
// values in the registry's case-insensitive order. A REG_SZ is written as quoted text when it
// is valid UTF-8 without CR or LF and ends in its only NUL; otherwise as hex(1) so that every
// byte comes back unchanged.

#include "machine/registry/key_tree.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orvo::registry {

class RegFileSyntaxError : public std::runtime_error {
  public:
    RegFileSyntaxError(std::size_t line, const std::string& message)
        : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line),
          message_(message) {}
    std::size_t line() const { return line_; }
    const std::string& reason() const { return message_; }

  private:
    std::size_t line_;
    std::string message_;
};

inline constexpr std::string_view kRegedit4Header = "REGEDIT4";
inline constexpr std::string_view kRegedit5Header = "Windows Registry Editor Version 5.00";

// Throws RegFileSyntaxError naming the first line that does not parse.
Tree parse_reg_file(std::string_view file_bytes);

std::string format_reg_file(const Tree& tree);

} // namespace orvo::registry
