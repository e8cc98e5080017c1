#pragma once
// The headless driver: the same dialog objects run without a terminal, fed with a list of
// steps as a user would act (check 1017, select entry 2 of 1003, press 1, answer Yes) and
// inspected on the way. Installed as both the modal host and the message-box presenter.
//
// Each running dialog takes the next steps until it ends; a step that opens another dialog
// (the About box) hands the following steps to that one until it ends. A message box takes
// the next step when that is an answer, and otherwise answers with its default button, as a
// user pressing Enter. Running out of steps while a dialog waits, or a step the dialog cannot
// take, throws ScriptError naming the step. With a transcript stream, every dialog, message
// box and answer is written to it.

#include "mfc/dialog_input.h"
#include "mfc/dialog_view.h"
#include "mfc/modal_host.h"
#include "winapi/message_box.h"

#include <deque>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace orvo::mfc {

struct ScriptStep {
    enum class Action {
        Click, Check, Uncheck, Select, Type, Key, SystemCommand, RightButtonDown, RightButtonUp,
        Minimize, Restore, Answer, Show, Screen, Inspect
    };
    Action action = Action::Show;
    int id = 0;         // the control, for the control steps
    int number = 0;     // Select: the entry; SystemCommand: the command; Answer: the button
    std::string text;   // Type
    Key key;            // Key
    std::function<void(const DialogView&)> inspect;
    std::string where;  // where the step was written, for messages ("demo.script:4")

    static ScriptStep of(Action action, int id = 0, int number = 0) {
        ScriptStep step;
        step.action = action;
        step.id = id;
        step.number = number;
        return step;
    }
};

class HeadlessDriver : public ModalHost, public winapi::MessageBoxPresenter {
  public:
    // Steps, in the order the user takes them.
    HeadlessDriver& add(ScriptStep step);
    HeadlessDriver& click(int id) { return add(ScriptStep::of(ScriptStep::Action::Click, id)); }
    HeadlessDriver& check(int id) { return add(ScriptStep::of(ScriptStep::Action::Check, id)); }
    HeadlessDriver& uncheck(int id) { return add(ScriptStep::of(ScriptStep::Action::Uncheck, id)); }
    HeadlessDriver& select(int id, int entry) { return add(ScriptStep::of(ScriptStep::Action::Select, id, entry)); }
    HeadlessDriver& type(int id, std::string text);
    HeadlessDriver& key(Key key);
    HeadlessDriver& system_command(UINT command);
    HeadlessDriver& right_button(bool down);
    HeadlessDriver& answer(int button) { return add(ScriptStep::of(ScriptStep::Action::Answer, 0, button)); }
    HeadlessDriver& inspect(std::function<void(const DialogView&)> look);

    // Writes what happens to out (nullptr: nothing is written).
    void set_transcript(std::ostream* out) { transcript_ = out; }

    void run_modal(CDialog& dialog) override;
    int show(HWND owner, const winapi::MessageBoxCall& call) override;

    struct ShownBox {
        winapi::MessageBoxCall call;
        int answer = 0;
        bool operator==(const ShownBox&) const = default;
    };
    const std::vector<ShownBox>& boxes() const { return boxes_; }
    // The templates of the dialogs run, in the order they started.
    const std::vector<UINT>& dialogs() const { return dialogs_; }
    std::size_t steps_left() const { return steps_.size(); }

  private:
    void apply(const ScriptStep& step, HWND dialog, DialogInput& input);
    void note(const ScriptStep& step, const std::string& what);

    std::deque<ScriptStep> steps_;
    std::vector<ShownBox> boxes_;
    std::vector<UINT> dialogs_;
    std::ostream* transcript_ = nullptr;
};

// Installs the driver as the modal host and as the message-box presenter of the installed
// winapi environment (install the environment first).
void install_headless_driver(const std::shared_ptr<HeadlessDriver>& driver);

// The button ids by name (ok, cancel, abort, retry, ignore, yes, no) and back.
std::optional<int> button_from_name(std::string_view name);
std::string button_name(int id);

} // namespace orvo::mfc
