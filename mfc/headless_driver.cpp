#include "mfc/headless_driver.h"

#include "mfc/dialog.h"
#include "mfc/message_box_view.h"
#include "mfc/text_cells.h"
#include "mfc/user_actions.h"
#include "winapi/environment.h"

#include <algorithm>
#include <array>
#include <ostream>

namespace orvo::mfc {
namespace {

struct ButtonName {
    int id;
    std::string_view name;
};
constexpr std::array<ButtonName, 7> kButtonNames = {{
    {IDOK, "ok"}, {IDCANCEL, "cancel"}, {IDABORT, "abort"}, {IDRETRY, "retry"},
    {IDIGNORE, "ignore"}, {IDYES, "yes"}, {IDNO, "no"},
}};

std::string prefix(const ScriptStep& step) {
    return step.where.empty() ? std::string() : step.where + ": ";
}

std::string dialog_name(HWND dialog) {
    const Window* window = find_window(dialog);
    return window ? "dialog " + std::to_string(window->template_id) + " \"" + window->text + "\""
                  : std::string("the dialog");
}

// Repaints the dialog, as the window system does after each change a user makes.
void repaint(HWND dialog) {
    if (const Window* window = find_window(dialog); window && !window->end_result) paint_window(dialog);
}

} // namespace

std::optional<int> button_from_name(std::string_view name) {
    for (const ButtonName& entry : kButtonNames)
        if (entry.name == name) return entry.id;
    return std::nullopt;
}

std::string button_name(int id) {
    for (const ButtonName& entry : kButtonNames)
        if (entry.id == id) return std::string(entry.name);
    return std::to_string(id);
}

HeadlessDriver& HeadlessDriver::add(ScriptStep step) {
    steps_.push_back(std::move(step));
    return *this;
}

HeadlessDriver& HeadlessDriver::type(int id, std::string text) {
    ScriptStep step = ScriptStep::of(ScriptStep::Action::Type, id);
    step.text = std::move(text);
    return add(std::move(step));
}

HeadlessDriver& HeadlessDriver::key(Key key) {
    ScriptStep step = ScriptStep::of(ScriptStep::Action::Key);
    step.key = key;
    return add(std::move(step));
}

HeadlessDriver& HeadlessDriver::system_command(UINT command) {
    return add(ScriptStep::of(ScriptStep::Action::SystemCommand, 0, static_cast<int>(command)));
}

HeadlessDriver& HeadlessDriver::right_button(bool down) {
    return add(ScriptStep::of(down ? ScriptStep::Action::RightButtonDown : ScriptStep::Action::RightButtonUp));
}

HeadlessDriver& HeadlessDriver::inspect(std::function<void(const DialogView&)> look) {
    ScriptStep step = ScriptStep::of(ScriptStep::Action::Inspect);
    step.inspect = std::move(look);
    return add(std::move(step));
}

void HeadlessDriver::note(const ScriptStep& step, const std::string& what) {
    if (transcript_) *transcript_ << "  (" << prefix(step) << what << ")\n";
}

void HeadlessDriver::run_modal(CDialog& dialog) {
    const HWND handle = dialog.m_hWnd;
    dialogs_.push_back(dialog.TemplateId());
    if (transcript_) *transcript_ << dialog_name(handle) << " opens\n";
    DialogInput input(handle);
    repaint(handle);
    for (;;) {
        const Window* window = find_window(handle);
        if (!window || window->end_result) break;
        if (steps_.empty())
            throw ScriptError("the script ended while " + dialog_name(handle) + " waits for input");
        const ScriptStep step = std::move(steps_.front());
        steps_.pop_front();
        apply(step, handle, input);
        repaint(handle);
    }
    if (const Window* window = find_window(handle); transcript_ && window && window->end_result)
        *transcript_ << "dialog " << window->template_id << " ends with "
                     << button_name(static_cast<int>(*window->end_result)) << "\n";
}

void HeadlessDriver::apply(const ScriptStep& step, HWND dialog, DialogInput& input) {
    using Action = ScriptStep::Action;
    const DialogView view(dialog);
    auto control = [&](WindowKind wanted, const char* what) -> const Window& {
        const Window* found = nullptr;
        try {
            found = &view.control(step.id);
        } catch (const ScriptError& error) {
            throw ScriptError(prefix(step) + error.what());
        }
        if (wanted != WindowKind::Dialog && found->kind != wanted)
            throw ScriptError(prefix(step) + "control " + std::to_string(step.id) + " is not " + what);
        return *found;
    };
    auto unless_disabled = [&](bool acted) {
        if (!acted) note(step, "control " + std::to_string(step.id) + " is disabled; nothing happens");
    };
    switch (step.action) {
    case Action::Click: {
        input.close_popup();
        const Window& target = control(WindowKind::Dialog, "");
        const bool enabled = target.enabled;
        click_control(target.handle); // may run another dialog to its end
        unless_disabled(enabled);
        break;
    }
    case Action::Check:
    case Action::Uncheck:
        input.close_popup();
        unless_disabled(set_check(control(WindowKind::CheckBox, "a check box").handle,
                                  step.action == Action::Check));
        break;
    case Action::Select: {
        input.close_popup();
        const Window& list = control(WindowKind::ComboBox, "a list");
        if (step.number < 0 || static_cast<std::size_t>(step.number) >= list.items.size())
            throw ScriptError(prefix(step) + "list " + std::to_string(step.id) + " has no entry " +
                              std::to_string(step.number) + " (it has " + std::to_string(list.items.size()) + ")");
        unless_disabled(choose_entry(list.handle, step.number));
        break;
    }
    case Action::Type:
        input.close_popup();
        unless_disabled(replace_text(control(WindowKind::Edit, "an edit field").handle, step.text));
        break;
    case Action::Key: input.press(step.key); break;
    case Action::SystemCommand: orvo::mfc::system_command(dialog, static_cast<UINT>(step.number)); break;
    case Action::RightButtonDown: orvo::mfc::right_button(dialog, true, POINT{}); break;
    case Action::RightButtonUp: orvo::mfc::right_button(dialog, false, POINT{}); break;
    case Action::Minimize:
    case Action::Restore:
        if (Window* window = find_window(dialog)) window->minimized = step.action == Action::Minimize;
        break;
    case Action::Answer:
        throw ScriptError(prefix(step) + "answer " + button_name(step.number) + ", but no message box is shown: " +
                          dialog_name(dialog) + " waits for input");
    case Action::Show:
        if (transcript_) *transcript_ << view.describe();
        break;
    case Action::Screen:
        if (transcript_) *transcript_ << view.screen(&input);
        break;
    case Action::Inspect:
        if (step.inspect) step.inspect(view);
        break;
    }
}

int HeadlessDriver::show(HWND, const winapi::MessageBoxCall& call) {
    const std::vector<int> buttons = message_box_buttons(call.style);
    int answer = winapi::default_button(call.style);
    if (!steps_.empty() && steps_.front().action == ScriptStep::Action::Answer) {
        const ScriptStep step = std::move(steps_.front());
        steps_.pop_front();
        if (std::find(buttons.begin(), buttons.end(), step.number) == buttons.end())
            throw ScriptError(prefix(step) + "answer " + button_name(step.number) +
                              ", but the message box has no such button");
        answer = step.number;
    }
    boxes_.push_back({call, answer});
    if (transcript_) {
        std::ostream& out = *transcript_;
        out << "message box \"" << call.caption << "\"";
        if (const std::string mark = message_box_icon_mark(call.style); !mark.empty()) out << " " << mark;
        for (int id : buttons)
            out << " [" << button_name(id) << "]";
        out << "\n";
        for (const std::string& line : wrap_text(call.text, 1 << 20))
            out << "  | " << line << "\n";
        out << "  -> " << button_name(answer) << "\n";
    }
    return answer;
}

void install_headless_driver(const std::shared_ptr<HeadlessDriver>& driver) {
    set_modal_host(driver);
    winapi::environment().set_message_box_presenter(driver);
}

} // namespace orvo::mfc
