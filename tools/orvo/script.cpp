#include "tools/orvo/script.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace orvo::tool {

namespace {

class LineParser {
public:
    LineParser(const std::string& text, std::string where) : where_(std::move(where)) {
        std::istringstream in(text);
        for (std::string word; in >> word;) words_.push_back(word);
    }

    [[noreturn]] void fail(const std::string& what) const { throw ScriptError(where_ + ": " + what); }
    bool done() const { return next_ >= words_.size(); }
    const std::string& peek() const { return words_[next_]; }
    std::string word(const char* what) {
        if (done()) fail(std::string("missing ") + what);
        return words_[next_++];
    }
    std::uint64_t number(const char* what, int base, std::uint64_t max) {
        const std::string text = word(what);
        std::uint64_t value = 0;
        const char* begin = text.data();
        const char* end = text.data() + text.size();
        if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) begin += 2;
        const auto [ptr, ec] = std::from_chars(begin, end, value, base);
        if (ec != std::errc() || ptr != end || begin == end) {
            fail(std::string(what) + " '" + text + "' is not a " + (base == 16 ? "hexadecimal" : "decimal") + " number");
        }
        if (value > max) fail(std::string(what) + " " + text + " is too large");
        return value;
    }
    static bool is_hex_byte(const std::string& w) {
        return w.size() <= 2 && w.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    }
    std::vector<std::uint8_t> hex_bytes(const char* what) {
        std::vector<std::uint8_t> bytes;
        while (!done() && is_hex_byte(peek())) bytes.push_back(static_cast<std::uint8_t>(number(what, 16, 0xFF)));
        return bytes;
    }

private:
    std::string where_;
    std::vector<std::string> words_;
    std::size_t next_ = 0;
};

std::vector<std::uint8_t> read_file(const std::string& path, LineParser& p) {
    std::ifstream in(path, std::ios::binary);
    if (!in) p.fail("outfile " + path + " cannot be read");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ScriptRequest parse_exec(LineParser& p) {
    ScriptRequest r;
    r.spec.target = static_cast<UCHAR>(p.number("target", 10, 7));
    r.spec.lun = static_cast<UCHAR>(p.number("lun", 10, 7));
    r.spec.cdb = p.hex_bytes("CDB byte");
    if (r.spec.cdb.empty()) p.fail("exec needs the command bytes (hexadecimal)");
    if (r.spec.cdb.size() > 16) p.fail("a command has at most 16 bytes");
    while (!p.done()) {
        const std::string key = p.word("option");
        if (key == "in") {
            r.spec.data_in_length = static_cast<std::uint32_t>(p.number("data-in length", 10, 16u << 20));
        } else if (key == "out") {
            r.spec.data_out = p.hex_bytes("data byte");
            if (r.spec.data_out.empty()) p.fail("out needs data bytes (hexadecimal)");
        } else if (key == "outfile") {
            r.spec.data_out = read_file(p.word("file name"), p);
        } else if (key == "flags") {
            r.spec.srb_flags = static_cast<ULONG>(p.number("flags", 16, 0xFFFFFFFF));
        } else if (key == "timeout") {
            r.spec.timeout_seconds = static_cast<ULONG>(p.number("timeout", 10, 86400));
            if (r.spec.timeout_seconds == 0) p.fail("timeout must be at least 1 second");
        } else {
            p.fail("unknown option '" + key + "' (in, out, outfile, flags, timeout)");
        }
    }
    if (r.spec.data_in_length != 0 && !r.spec.data_out.empty()) p.fail("a request moves data in or out, not both");
    return r;
}

} // namespace

std::vector<ScriptStep> parse_script(std::istream& in, const std::string& name) {
    std::vector<ScriptStep> steps;
    std::string text;
    for (unsigned line = 1; std::getline(in, text); ++line) {
        if (const auto hash = text.find('#'); hash != std::string::npos) text.erase(hash);
        LineParser p(text, name + ":" + std::to_string(line));
        if (p.done()) continue;
        const std::string verb = p.word("command");
        ScriptStep step{line, ScriptResetBus{}};
        if (verb == "exec") {
            step.action = parse_exec(p);
        } else if (verb == "function") {
            ScriptRequest r;
            r.spec.target = static_cast<UCHAR>(p.number("target", 10, 7));
            r.spec.lun = static_cast<UCHAR>(p.number("lun", 10, 7));
            r.spec.function = static_cast<UCHAR>(p.number("function code", 16, 0xFF));
            step.action = r;
        } else if (verb == "reset-bus") {
            step.action = ScriptResetBus{};
        } else if (verb == "advance") {
            step.action = ScriptAdvance{p.number("microseconds", 10, UINT64_MAX / 1000)};
        } else {
            p.fail("unknown command '" + verb + "' (exec, function, reset-bus, advance)");
        }
        if (!p.done()) p.fail("unexpected '" + p.peek() + "' at the end of the line");
        steps.push_back(std::move(step));
    }
    return steps;
}

} // namespace orvo::tool
