// Reading of registry export files.

#include "machine/registry/reg_file_format.h"
#include "machine/registry/text_encoding.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace orvo::registry {
namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view trim_left(std::string_view s) {
    auto start = s.find_first_not_of(kBlanks);
    return start == s.npos ? std::string_view{} : s.substr(start);
}

std::string_view trim_right(std::string_view s) {
    auto end = s.find_last_not_of(kBlanks);
    return end == s.npos ? std::string_view{} : s.substr(0, end + 1);
}

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && names_equal(text.substr(0, prefix.size()), prefix);
}

struct Line {
    std::size_t number;
    std::string_view text;
};

// Lines end at LF, CR LF or a lone CR.
std::vector<Line> split_lines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t number = 1;
    while (!text.empty()) {
        std::size_t end = text.find_first_of("\r\n");
        lines.push_back({number++, text.substr(0, end)});
        if (end == text.npos) break;
        std::size_t skip =
            (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1;
        text.remove_prefix(end + skip);
    }
    return lines;
}

class RegFileParser {
  public:
    explicit RegFileParser(TextEncoding encoding) : encoding_(encoding) {}

    Tree parse(std::string_view text) {
        auto lines = split_lines(text);
        if (lines.empty() || !read_header(trim_right(trim_left(lines[0].text))))
            throw RegFileSyntaxError(1, "not a registry export: the first line must be \"" +
                                            std::string(kRegedit4Header) + "\" or \"" +
                                            std::string(kRegedit5Header) + "\"");
        for (std::size_t i = 1; i < lines.size(); ++i) {
            line_ = lines[i].number;
            std::string_view content = trim_left(lines[i].text);
            if (content.empty() || content.front() == ';') continue;
            if (content.front() == '[') {
                key_line(trim_right(content));
                continue;
            }
            // A byte list may continue over several lines, each but the last ending in '\'.
            std::string logical(trim_right(content));
            while (logical.ends_with('\\') && holds_byte_list(logical) && i + 1 < lines.size()) {
                logical.pop_back();
                logical += trim_right(trim_left(lines[++i].text));
            }
            value_line(logical);
        }
        return std::move(tree_);
    }

  private:
    [[noreturn]] void fail(const std::string& message) const {
        throw RegFileSyntaxError(line_, message);
    }

    bool read_header(std::string_view first) {
        if (first == kRegedit4Header) {
            unicode_payloads_ = false;
            return true;
        }
        if (first == kRegedit5Header) {
            unicode_payloads_ = true;
            return true;
        }
        return false;
    }

    void key_line(std::string_view content) {
        if (content.size() < 2 || content.back() != ']') fail("key line without closing ']'");
        std::string_view inner = content.substr(1, content.size() - 2);
        bool deletion = !inner.empty() && inner.front() == '-';
        if (deletion) inner.remove_prefix(1);
        auto path = split_key_path(inner);
        if (!path || path->empty()) fail("empty key name in \"" + std::string(inner) + "\"");
        if (deletion) {
            if (path->size() < 2) fail("a root key cannot be deleted");
            tree_.remove(*path);
            current_ = nullptr;
            return;
        }
        try {
            current_ = &tree_.create(*path);
        } catch (const std::invalid_argument& e) {
            fail(e.what());
        }
    }

    // Whether the data of a value line is a byte list (hex: or hex(type):), the only data that
    // may continue over lines. Found without unescaping, so a malformed name gives false here
    // and its error later.
    static bool holds_byte_list(std::string_view content) {
        std::size_t i = 0;
        if (content.front() == '"') {
            for (i = 1; i < content.size() && content[i] != '"'; ++i)
                if (content[i] == '\\') ++i;
        }
        std::string_view rest = trim_left(content.substr(std::min(i + 1, content.size())));
        if (rest.empty() || rest.front() != '=') return false;
        return starts_with_nocase(trim_left(rest.substr(1)), "hex");
    }

    // Reads a quoted text at the start of rest (past the opening quote), handling \\ and \".
    std::string quoted(std::string_view& rest) const {
        std::string text;
        for (std::size_t i = 0; i < rest.size(); ++i) {
            char c = rest[i];
            if (c == '"') {
                rest.remove_prefix(i + 1);
                return text;
            }
            if (c == '\\') {
                if (i + 1 >= rest.size()) break;
                char next = rest[++i];
                if (next != '\\' && next != '"')
                    fail(std::string("unknown escape \\") + next + " in quoted text");
                c = next;
            }
            text += c;
        }
        fail("unterminated quoted text");
    }

    void value_line(std::string_view content) {
        if (!current_) fail("value line outside a key section");
        std::string name;
        if (content.front() == '@') {
            content.remove_prefix(1);
        } else if (content.front() == '"') {
            content.remove_prefix(1);
            name = quoted(content);
        } else {
            fail("expected a value name in quotes or @");
        }
        content = trim_left(content);
        if (content.empty() || content.front() != '=') fail("expected '=' after the value name");
        content = trim_left(content.substr(1));
        if (auto problem = value_name_problem(name); !problem.empty()) fail(std::string(problem));

        if (content == "-") {
            current_->remove_value(name);
            return;
        }
        current_->set_value(name, value_data(content));
    }

    Value value_data(std::string_view data) const {
        if (!data.empty() && data.front() == '"') {
            data.remove_prefix(1);
            std::string text = quoted(data);
            if (!trim_left(data).empty()) fail("text after the closing quote");
            return Value::string(text);
        }
        if (starts_with_nocase(data, "dword:")) {
            std::string_view digits = trim_right(data.substr(6));
            std::uint32_t number = 0;
            auto [end, ec] =
                std::from_chars(digits.data(), digits.data() + digits.size(), number, 16);
            if (digits.empty() || digits.size() > 8 || ec != std::errc() ||
                end != digits.data() + digits.size())
                fail("dword: needs 1 to 8 hexadecimal digits");
            return Value::dword(number);
        }
        if (starts_with_nocase(data, "hex:")) return Value{kTypeBinary, byte_list(data.substr(4))};
        if (starts_with_nocase(data, "hex(")) {
            auto close = data.find("):");
            std::string_view digits = data.substr(4, close == data.npos ? 0 : close - 4);
            std::uint32_t type = 0;
            auto [end, ec] =
                std::from_chars(digits.data(), digits.data() + digits.size(), type, 16);
            if (close == data.npos || digits.empty() || ec != std::errc() ||
                end != digits.data() + digits.size())
                fail("hex(type): needs the type as a hexadecimal number");
            auto bytes = byte_list(data.substr(close + 2));
            return Value{type, is_string_type(type) ? string_payload(bytes) : std::move(bytes)};
        }
        fail("unrecognised value data \"" + std::string(data.substr(0, 20)) + "\"");
    }

    std::vector<std::uint8_t> byte_list(std::string_view list) const {
        std::vector<std::uint8_t> bytes;
        list = trim_right(trim_left(list));
        if (list.ends_with(',')) list.remove_suffix(1);
        while (!list.empty()) {
            std::size_t comma = list.find(',');
            std::string_view token = trim_right(trim_left(list.substr(0, comma)));
            unsigned byte = 0;
            auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), byte, 16);
            if (token.empty() || token.size() > 2 || ec != std::errc() ||
                end != token.data() + token.size())
                fail("bad byte \"" + std::string(token) + "\" in a hex list");
            bytes.push_back(static_cast<std::uint8_t>(byte));
            if (comma == list.npos) break;
            list.remove_prefix(comma + 1);
        }
        return bytes;
    }

    // String payloads become the machine's ANSI text (UTF-8).
    std::vector<std::uint8_t> string_payload(const std::vector<std::uint8_t>& bytes) const {
        std::string text;
        if (unicode_payloads_) {
            text = utf16le_to_utf8(bytes);
        } else if (encoding_ == TextEncoding::Cp932) {
            std::size_t bad = 0;
            text = cp932_to_utf8({reinterpret_cast<const char*>(bytes.data()), bytes.size()}, &bad);
            if (bad != std::string_view::npos) fail("string bytes are not code page 932 text");
        } else {
            return bytes;
        }
        return {text.begin(), text.end()};
    }

    TextEncoding encoding_;
    bool unicode_payloads_ = false;
    std::size_t line_ = 1;
    Tree tree_;
    Key* current_ = nullptr;
};

} // namespace

Tree parse_reg_file(std::string_view file_bytes) {
    DecodedText decoded = decode_text_file(file_bytes, /*strict=*/true);
    if (decoded.bad_line != 0)
        throw RegFileSyntaxError(decoded.bad_line,
                                 decoded.encoding == TextEncoding::Utf8
                                     ? "text is not UTF-8 though the file is marked UTF-8"
                                     : "text is neither UTF-8 nor code page 932");
    return RegFileParser(decoded.encoding).parse(decoded.utf8);
}

} // namespace orvo::registry
