#include "mfc/script.h"

#include "mfc/text_cells.h"

#include <charconv>
#include <climits>
#include <sstream>

namespace orvo::mfc {
namespace {

using Action = ScriptStep::Action;

// One line being read: its words one by one, and the rest of it verbatim.
class LineReader {
  public:
    LineReader(std::string_view line, std::string where) : line_(line), where_(std::move(where)) {}

    [[noreturn]] void fail(const std::string& what) const { throw ScriptError(where_ + ": " + what); }

    std::string_view word() {
        skip_blanks();
        const std::size_t start = at_;
        while (at_ < line_.size() && line_[at_] != ' ' && line_[at_] != '\t')
            ++at_;
        return line_.substr(start, at_ - start);
    }
    bool done() {
        skip_blanks();
        return at_ >= line_.size();
    }
    // Everything after the single blank that ends the previous word.
    std::string_view rest() {
        if (at_ < line_.size()) ++at_;
        std::string_view rest = line_.substr(std::min(at_, line_.size()));
        at_ = line_.size();
        return rest;
    }
    int number(const char* what) {
        const std::string_view text = word();
        if (text.empty()) fail(std::string("missing ") + what);
        int base = 10;
        std::string_view digits = text;
        if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
            base = 16;
            digits.remove_prefix(2);
        }
        long long value = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
        if (error != std::errc() || end != digits.data() + digits.size() || value < 0 || value > INT_MAX)
            fail(std::string(what) + " must be a number from 0 to " + std::to_string(INT_MAX) + ", not '" +
                 std::string(text) + "'");
        return static_cast<int>(value);
    }
    void finish() {
        if (!done()) fail("unexpected '" + std::string(word()) + "' at the end of the line");
    }
    const std::string& where() const { return where_; }

  private:
    void skip_blanks() {
        while (at_ < line_.size() && (line_[at_] == ' ' || line_[at_] == '\t'))
            ++at_;
    }
    std::string_view line_;
    std::string where_;
    std::size_t at_ = 0;
};

// What follows a step's name on its line.
enum class Arguments { None, Control, ControlAndEntry, ControlAndText, Keys, Text, Number, UpOrDown, Button };

struct StepForm {
    std::string_view name;
    Action action;
    Arguments arguments;
};
constexpr StepForm kStepForms[] = {
    {"click", Action::Click, Arguments::Control},
    {"press", Action::Click, Arguments::Control},
    {"check", Action::Check, Arguments::Control},
    {"uncheck", Action::Uncheck, Arguments::Control},
    {"select", Action::Select, Arguments::ControlAndEntry},
    {"type", Action::Type, Arguments::ControlAndText},
    {"key", Action::Key, Arguments::Keys},
    {"text", Action::Key, Arguments::Text},
    {"syscommand", Action::SystemCommand, Arguments::Number},
    {"rbutton", Action::RightButtonDown, Arguments::UpOrDown},
    {"answer", Action::Answer, Arguments::Button},
    {"minimize", Action::Minimize, Arguments::None},
    {"restore", Action::Restore, Arguments::None},
    {"show", Action::Show, Arguments::None},
    {"screen", Action::Screen, Arguments::None},
};

void parse_line(LineReader& line, std::vector<ScriptStep>& steps) {
    const std::string name(line.word());
    const StepForm* form = nullptr;
    for (const StepForm& candidate : kStepForms)
        if (candidate.name == name) form = &candidate;
    if (!form) line.fail("unknown step '" + name + "'");

    ScriptStep step = ScriptStep::of(form->action);
    step.where = line.where();
    switch (form->arguments) {
    case Arguments::None:
        break;
    case Arguments::Control:
        step.id = line.number("control id");
        break;
    case Arguments::ControlAndEntry:
        step.id = line.number("control id");
        step.number = line.number("entry");
        break;
    case Arguments::ControlAndText:
        step.id = line.number("control id");
        step.text = std::string(line.rest());
        break;
    case Arguments::Number:
        step.number = line.number("command");
        break;
    case Arguments::UpOrDown: {
        const std::string_view which = line.word();
        if (which != "down" && which != "up") line.fail("rbutton takes down or up");
        if (which == "up") step.action = Action::RightButtonUp;
        break;
    }
    case Arguments::Button: {
        const std::string button_word(line.word());
        const std::optional<int> button = button_from_name(button_word);
        if (!button) line.fail("unknown button '" + button_word + "' (ok cancel yes no abort retry ignore)");
        step.number = *button;
        break;
    }
    case Arguments::Keys:
        // One step a key, so that a key opening another dialog leaves the next keys to it.
        if (line.done()) line.fail("key needs at least one key name");
        while (!line.done()) {
            const std::string key_name(line.word());
            const std::optional<Key> key = key_from_name(key_name);
            if (!key) line.fail("unknown key '" + key_name + "'");
            step.key = *key;
            steps.push_back(step);
        }
        return;
    case Arguments::Text:
        for (char32_t c : decode_utf8(line.rest())) {
            step.key = c == U' ' ? Key{KeyCode::Space, 0} : Key{KeyCode::Character, c};
            steps.push_back(step);
        }
        return;
    }
    line.finish();
    steps.push_back(std::move(step));
}

} // namespace

std::vector<ScriptStep> parse_script(std::string_view text, const std::string& source) {
    std::vector<ScriptStep> steps;
    std::size_t number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#') continue;
        LineReader reader(line, source + ":" + std::to_string(number));
        parse_line(reader, steps);
    }
    return steps;
}

} // namespace orvo::mfc
