#pragma once
// The terminal front end: runs modal dialogs and shows message boxes on the terminal. Each
// running dialog is drawn over the one that opened it; the top one takes the keys and the
// mouse. A dialog or box too big for the terminal gives way to a message saying what size it
// needs until the terminal is made larger; meanwhile Esc still cancels a dialog, and a box
// still takes its keys. An interrupt throws Interrupted out of the dialog or box; the program
// then gives the terminal back (release, or the host's end).

#include "mfc/dialog_input.h"
#include "mfc/modal_host.h"
#include "mfc/terminal/terminal_screen.h"
#include "winapi/message_box.h"

#include <memory>
#include <vector>

namespace orvo::mfc {

class MessageBoxView;

class TerminalHost : public ModalHost, public winapi::MessageBoxPresenter {
  public:
    TerminalHost() = default;
    ~TerminalHost() override;

    void run_modal(CDialog& dialog) override;
    int show(HWND owner, const winapi::MessageBoxCall& call) override;

    // Gives the terminal back (as the destructor does); a later dialog takes it again.
    void release();

  private:
    struct Running {
        HWND dialog;
        DialogInput* input;
    };
    TerminalScreen& screen();
    void draw(const MessageBoxView* box);
    void take_mouse(const InputEvent& event);

    std::unique_ptr<TerminalScreen> screen_;
    std::vector<Running> running_;
};

} // namespace orvo::mfc
