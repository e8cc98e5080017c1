#pragma once
// Text encodings of the files the machine reads: registry exports and profile (INI) files.
// Text inside the system is UTF-8. Files may also come in code page 932 (the ANSI code page of
// the Japanese systems the card shipped for) or, from newer registry editors, UTF-16LE with a
// byte-order mark. The encoding is decided once per file.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace orvo::registry {

enum class TextEncoding { Utf8, Cp932, Utf16Le };

bool is_valid_utf8(std::string_view bytes);

// Decides a whole file's encoding: a UTF-16LE or UTF-8 byte-order mark, else UTF-8 when every
// byte sequence is valid UTF-8, else code page 932.
TextEncoding detect_text_encoding(std::string_view bytes);

// Code page 932 to UTF-8. With bad_offset given the conversion is strict: it stops at the first
// byte sequence that is not code page 932, stores its offset there and returns what was
// converted before it (bad_offset is npos when all went well). Without it, such bytes become
// '?' as in the platform's own ANSI conversion.
std::string cp932_to_utf8(std::string_view bytes, std::size_t* bad_offset = nullptr);

// UTF-16LE to UTF-8 as an ANSI call sees Unicode data: an unpaired surrogate becomes '?', an
// odd trailing byte is ignored.
std::string utf16le_to_utf8(std::span<const std::uint8_t> bytes);

struct DecodedText {
    std::string utf8;
    TextEncoding encoding = TextEncoding::Utf8;
    // Strict decoding only: 1-based line of the first text that is neither UTF-8 nor code page
    // 932 (not UTF-8, in a file with the UTF-8 byte-order mark); 0 when the whole file decoded.
    std::size_t bad_line = 0;
};

// Decodes a whole file to UTF-8 (byte-order mark removed); the result is always UTF-8. Strict
// decoding reports the first undecodable line instead of replacing its bytes with '?'.
DecodedText decode_text_file(std::string_view bytes, bool strict);

} // namespace orvo::registry
