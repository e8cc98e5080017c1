#include "machine/registry/text_encoding.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace orvo::registry {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

void append_utf8(std::string& out, std::uint32_t code_point) {
    if (code_point < 0x80) {
        out += static_cast<char>(code_point);
    } else if (code_point < 0x800) {
        out += static_cast<char>(0xC0 | (code_point >> 6));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else if (code_point < 0x10000) {
        out += static_cast<char>(0xE0 | (code_point >> 12));
        out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code_point >> 18));
        out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code_point & 0x3F));
    }
}

// One iconv descriptor per conversion: cheap enough for files read a handful of times, and
// free of shared state.
class Cp932Converter {
  public:
    Cp932Converter() : cd_(iconv_open("UTF-8", "CP932")) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("code page 932 conversion is not available (iconv CP932)");
    }
    ~Cp932Converter() { iconv_close(cd_); }
    Cp932Converter(const Cp932Converter&) = delete;
    Cp932Converter& operator=(const Cp932Converter&) = delete;

    std::string convert(std::string_view bytes, std::size_t* bad_offset) {
        std::string out;
        char* in = const_cast<char*>(bytes.data());
        std::size_t in_left = bytes.size();
        char buffer[1024];
        while (in_left > 0) {
            char* out_ptr = buffer;
            std::size_t out_left = sizeof buffer;
            std::size_t rc = iconv(cd_, &in, &in_left, &out_ptr, &out_left);
            int error = errno;
            out.append(buffer, static_cast<std::size_t>(out_ptr - buffer));
            if (rc != static_cast<std::size_t>(-1) || error == E2BIG) continue;
            // EILSEQ (not code page 932) or EINVAL (a lead byte cut off by the end).
            if (bad_offset) {
                *bad_offset = static_cast<std::size_t>(in - bytes.data());
                return out;
            }
            out += '?';
            ++in;
            --in_left;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        if (bad_offset) *bad_offset = std::string_view::npos;
        return out;
    }

  private:
    iconv_t cd_;
};

// The length of the UTF-8 sequence at bytes[i], or 0 when none starts there (a stray or
// missing continuation byte, an overlong form, a surrogate, a code point past U+10FFFF).
std::size_t utf8_sequence_length(std::string_view bytes, std::size_t i) {
    auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) return 1;
    std::size_t length;
    std::uint32_t code_point;
    if ((b & 0xE0) == 0xC0) {
        length = 2;
        code_point = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3;
        code_point = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4;
        code_point = b & 0x07;
    } else {
        return 0;
    }
    if (i + length > bytes.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        auto c = static_cast<unsigned char>(bytes[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        code_point = (code_point << 6) | (c & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code_point < kSmallest[length] || code_point > 0x10FFFF ||
        (code_point >= 0xD800 && code_point <= 0xDFFF))
        return 0;
    return length;
}

// The text of a file marked UTF-8 by its byte-order mark. Strict: stops at the first byte that
// starts no UTF-8 sequence and stores its offset (npos when all went well). Otherwise each
// such byte becomes '?', so that what comes back is always UTF-8.
std::string checked_utf8(std::string_view bytes, std::size_t* bad_offset) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t length = utf8_sequence_length(bytes, i);
        if (length == 0) {
            if (bad_offset) {
                *bad_offset = i;
                return out;
            }
            out += '?';
            ++i;
            continue;
        }
        out.append(bytes.substr(i, length));
        i += length;
    }
    if (bad_offset) *bad_offset = std::string_view::npos;
    return out;
}

} // namespace

bool is_valid_utf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t length = utf8_sequence_length(bytes, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

TextEncoding detect_text_encoding(std::string_view bytes) {
    if (bytes.starts_with(kUtf16LeBom)) return TextEncoding::Utf16Le;
    if (bytes.starts_with(kUtf8Bom) || is_valid_utf8(bytes)) return TextEncoding::Utf8;
    return TextEncoding::Cp932;
}

std::string cp932_to_utf8(std::string_view bytes, std::size_t* bad_offset) {
    return Cp932Converter().convert(bytes, bad_offset);
}

std::string utf16le_to_utf8(std::span<const std::uint8_t> bytes) {
    std::string out;
    const std::size_t units = bytes.size() / 2;
    auto unit = [&](std::size_t i) {
        return static_cast<std::uint32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    };
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) <= 0xDFFF) {
            append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            out += '?';
        } else {
            append_utf8(out, u);
        }
    }
    return out;
}

DecodedText decode_text_file(std::string_view bytes, bool strict) {
    DecodedText result;
    result.encoding = detect_text_encoding(bytes);
    std::size_t bad = std::string_view::npos;
    std::size_t* bad_offset = strict ? &bad : nullptr;
    switch (result.encoding) {
    case TextEncoding::Utf16Le: {
        bytes.remove_prefix(kUtf16LeBom.size());
        auto data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        result.utf8 = utf16le_to_utf8({data, bytes.size()});
        break;
    }
    case TextEncoding::Utf8:
        // Without the mark the text was found valid already; with it, it may not be.
        if (bytes.starts_with(kUtf8Bom)) {
            bytes.remove_prefix(kUtf8Bom.size());
            result.utf8 = checked_utf8(bytes, bad_offset);
        } else {
            result.utf8 = std::string(bytes);
        }
        break;
    case TextEncoding::Cp932:
        result.utf8 = cp932_to_utf8(bytes, bad_offset);
        break;
    }
    if (bad != std::string_view::npos)
        result.bad_line =
            1 + static_cast<std::size_t>(std::count(
                    bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bad), '\n'));
    return result;
}

} // namespace orvo::registry
