#pragma once
// Who runs a modal dialog's input: the terminal front end or the headless driver of tests and
// scripts. DoModal creates the dialog, starts it and hands it to the installed host, which
// delivers the user's input until the dialog ends (EndDialog).

#include <memory>

class CDialog;

namespace orvo::mfc {

class ModalHost {
  public:
    virtual ~ModalHost() = default;
    // Returns once the dialog has ended.
    virtual void run_modal(CDialog& dialog) = 0;
};

// The host dialogs run on. Until one is installed, a dialog ends at once with IDCANCEL, as if
// its user had closed it: nothing can reach it.
void set_modal_host(std::shared_ptr<ModalHost> host);
ModalHost& modal_host();

} // namespace orvo::mfc
