// The adapter information file: any ADAPTER.INI bytes are read as the utility reads them
// (CAdapterInfoFile over the profile call, choices cut with GetListField). Whatever the file
// holds, every value comes back as UTF-8 within the 260-byte buffer, the lists read
// consistently, and the fields of every choice are the pieces between its separators.

#include "machine/registry/text_encoding.h"
#include "orvoset/adapter_info_file.h"
#include "orvoset/list_fields.h"
#include "winapi/environment.h"
#include "winapi/profile_api.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The simulated PC of this process: drive C: is a scratch directory made once and removed when
// the process ends; ADAPTER.INI is its only file.
class ScratchMachine {
  public:
    ScratchMachine() {
        std::string pattern = (fs::temp_directory_path() / "orvo-fuzz-ini-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        dir_ = pattern;
        orvo::winapi::MachineSettings settings;
        settings.drive_root = dir_;
        settings.current_directory = dir_;
        orvo::winapi::install_environment(settings);
    }
    ~ScratchMachine() {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    ScratchMachine(const ScratchMachine&) = delete;
    ScratchMachine& operator=(const ScratchMachine&) = delete;

    void write_adapter_info(std::string_view bytes) const {
        std::ofstream(dir_ / "ADAPTER.INI", std::ios::binary | std::ios::trunc)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

  private:
    fs::path dir_;
};

constexpr const char* kAdapterInfoPath = "C:\\ADAPTER.INI";

// Prints detail with every byte outside printable ASCII escaped (name lists hold NULs).
[[noreturn]] void broken(const char* what, std::string_view detail) {
    std::fprintf(stderr, "adapter information file: %s: \"", what);
    for (char c : detail) {
        auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F)
            std::fputc(byte, stderr);
        else
            std::fprintf(stderr, "\\x%02x", byte);
    }
    std::fprintf(stderr, "\"\n");
    std::abort();
}

// "Options" -> "oPTIONS": the same name in other case.
std::string flip_case(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

constexpr std::string_view kWhiteSpace = " \t\r\n\v\f";
constexpr std::string_view kSeparators = ",;";

// A value as ReadValue hands it over: UTF-8 that fits the reader's buffer with its NUL, one
// line of the file, and TRUE exactly when it is not empty.
void check_value(std::string_view text, BOOL read) {
    if (text.size() >= CAdapterInfoFile::kValueBufferSize) broken("value longer than 259 bytes", text);
    if ((read == TRUE) == text.empty()) broken("result does not tell whether a value was read", text);
    if (!orvo::registry::is_valid_utf8(text)) broken("value is not UTF-8", text);
    if (text.find_first_of(std::string_view("\0\r\n", 3)) != text.npos)
        broken("value holds a line end", text);
}

// The pieces of text between separators, as they stand.
std::vector<std::string_view> pieces(std::string_view text) {
    std::vector<std::string_view> result;
    for (;;) {
        std::size_t separator = text.find_first_of(kSeparators);
        result.push_back(text.substr(0, separator));
        if (separator == text.npos) return result;
        text.remove_prefix(separator + 1);
    }
}

std::string_view trimmed(std::string_view piece) {
    std::size_t first = piece.find_first_not_of(kWhiteSpace);
    if (first == piece.npos) return {};
    return piece.substr(first, piece.find_last_not_of(kWhiteSpace) - first + 1);
}

// The decimal reading as the C library does it, clamped to int (the library saturates at the
// long long limits, far beyond).
int reference_decimal(const std::string& text) {
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

void check_decimal(const std::string& text) {
    if (ReadDecimal(text) != reference_decimal(text)) broken("decimal reading differs from strtoll", text);
}

// Fields n = 1 ... past the last: the n-th piece, or the last one past the end, where a
// separator at the very end adds no piece; the count is the separators passed plus one.
void check_fields(std::string_view choice) {
    std::vector<std::string_view> all = pieces(choice);
    const int separators = static_cast<int>(all.size()) - 1;
    if (all.size() > 1 && choice.find_last_of(kSeparators) == choice.size() - 1) all.pop_back();

    const ListField counted = GetListField(choice, 0);
    if (counted.count != std::min(separators, 20) + 1) broken("field count", choice);
    for (int n = 1; n <= 22; ++n) {
        const ListField field = GetListField(choice, n);
        if (field.count != std::min(n, separators) + 1) broken("count of a field read", choice);
        const std::size_t index = std::min<std::size_t>(static_cast<std::size_t>(n), all.size()) - 1;
        if (field.text != trimmed(all[index])) broken("field differs from the piece between separators", choice);
    }
    for (std::string_view piece : all)
        check_decimal(std::string(piece)); // untrimmed: white space before the number
}

void check_choice(std::string_view choice, bool io_choice) {
    check_fields(choice);
    const std::string field1 = GetListField(choice, 1).text;
    const std::string display = ChoiceDisplayText(choice);
    if (display.size() != field1.size() || display.find('"') != display.npos)
        broken("display text is not field 1 with quotes blanked", choice);

    const int field2 = ReadDecimal(GetListField(choice, 2).text);
    if (!io_choice) {
        if (IrqChoiceValue(choice) != static_cast<DWORD>(field2)) broken("IRQ value is not field 2", choice);
        return;
    }
    // Base and length each keep their low 16 bits: neither spills into the other's half.
    const DWORD value = IoChoiceValue(choice);
    const int length = GetListField(choice, 0).count >= 3 ? ReadDecimal(GetListField(choice, 3).text) : 0;
    if (IoChoiceBase(value) != (field2 & 0xFFFF) || IoChoiceLength(value) != (length & 0xFFFF))
        broken("I/O value does not pack base and length", choice);
}

// IRQ_0, IRQ_1, ... as the main flow reads them: count, then read into an array of that size.
void check_list(const CAdapterInfoFile& file, const char* section, const char* prefix, bool io_choice) {
    const int count = file.CountKeys(section, prefix);
    std::vector<std::string> choices(static_cast<std::size_t>(count) + 1); // one spare element
    if (file.ReadList(section, prefix, choices) != count) broken("list read and count disagree", prefix);
    if (!choices.back().empty()) broken("list read past the first empty key", prefix);
    choices.pop_back();
    for (const auto& choice : choices) {
        check_value(choice, TRUE);
        check_choice(choice, io_choice);
    }
    if (count > 0) {
        std::vector<std::string> shorter(static_cast<std::size_t>(count) - 1);
        if (file.ReadList(section, prefix, shorter) != count - 1) broken("list read past its array", prefix);
    }
}

// The profile call with buffers of every small size, each allocated to the byte (and left
// uninitialised) so that a write past it or a byte left unwritten is caught: the result ends
// in a NUL within the buffer, never splits a UTF-8 character, and is the start of the whole
// result; a name list cut short may end in several NULs.
void check_small_buffers(const char* section, const char* key) {
    std::vector<char> full(1 << 16);
    const DWORD full_length =
        GetPrivateProfileStringA(section, key, "", full.data(), static_cast<DWORD>(full.size()), kAdapterInfoPath);
    const std::string_view whole(full.data(), full_length);
    for (DWORD size : {1u, 2u, 3u, 4u, 7u, 16u}) {
        auto buffer = std::make_unique_for_overwrite<char[]>(size);
        const DWORD length = GetPrivateProfileStringA(section, key, "", buffer.get(), size, kAdapterInfoPath);
        std::string_view part(buffer.get(), length);
        if (length >= size || buffer[length] != '\0') broken("result not NUL-terminated in its buffer", part);
        if (!orvo::registry::is_valid_utf8(part)) broken("cut splits a UTF-8 character", part);
        if (!key) part = part.substr(0, part.find_last_not_of('\0') + 1);
        if (!whole.starts_with(part)) broken("cut result is not the start of the whole", part);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScratchMachine machine;
    machine.write_adapter_info({reinterpret_cast<const char*>(data), size});

    const CAdapterInfoFile file(kAdapterInfoPath);
    for (const char* key : {kDriverKey, kDeviceDescKey}) {
        std::string text;
        const BOOL read = file.ReadValue(kOptionsSection, key, text);
        check_value(text, read);
        std::string other_case;
        file.ReadValue(flip_case(kOptionsSection), flip_case(key), other_case);
        if (other_case != text) broken("names match with regard to case", text);
    }
    check_list(file, kIrqChoicesSection, kIrqChoicePrefix, false);
    check_list(file, kIoChoicesSection, kIoChoicePrefix, true);

    check_small_buffers(kOptionsSection, kDeviceDescKey);
    check_small_buffers(kIrqChoicesSection, nullptr); // the section's key names
    check_small_buffers(nullptr, nullptr);            // the section names
    return 0;
}
