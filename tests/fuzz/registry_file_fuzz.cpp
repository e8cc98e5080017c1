// The registry file: any bytes are read as a registry export (either header, UTF-8, code page
// 932 or UTF-16LE). A file that does not parse must be refused with a syntax error naming a
// line of the file; one that loads must save, the saved text must load back to the same tree,
// and that tree must save to the same text.

#include "machine/registry/reg_file_format.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

namespace {

using orvo::registry::format_reg_file;
using orvo::registry::parse_reg_file;
using orvo::registry::RegFileSyntaxError;
using orvo::registry::Tree;

[[noreturn]] void broken(const char* what, std::string_view text) {
    std::fprintf(stderr, "registry file: %s\n--- text ---\n%.*s\n--- end ---\n", what,
                 static_cast<int>(text.size()), text.data());
    std::abort();
}

// A line count no decoding can exceed: every line ends at a byte of the file or at its end.
std::size_t most_lines(std::string_view bytes) {
    return 1 + static_cast<std::size_t>(std::count_if(bytes.begin(), bytes.end(),
                                                      [](char c) { return c == '\n' || c == '\r'; }));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Tree loaded;
    try {
        loaded = parse_reg_file(bytes);
    } catch (const RegFileSyntaxError& e) {
        // UTF-16 files count their lines in code units, never more than the bytes allow.
        if (e.line() == 0 || e.line() > most_lines(bytes)) broken("error names no line of the file", e.what());
        return 0;
    }

    const std::string saved = format_reg_file(loaded);
    try {
        if (!(parse_reg_file(saved) == loaded)) broken("saved text loads to another tree", saved);
    } catch (const RegFileSyntaxError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        broken("saved text does not load", saved);
    }
    if (format_reg_file(parse_reg_file(saved)) != saved) broken("saved text does not save to itself", saved);
    return 0;
}
