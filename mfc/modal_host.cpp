#include "mfc/modal_host.h"

#include "mfc/dialog.h"

namespace orvo::mfc {
namespace {

class NoUser : public ModalHost {
  public:
    void run_modal(CDialog& dialog) override { dialog.EndDialog(IDCANCEL); }
};

std::shared_ptr<ModalHost>& installed() {
    static std::shared_ptr<ModalHost> host = std::make_shared<NoUser>();
    return host;
}

} // namespace

void set_modal_host(std::shared_ptr<ModalHost> host) {
    installed() = host ? std::move(host) : std::make_shared<NoUser>();
}

ModalHost& modal_host() {
    return *installed();
}

} // namespace orvo::mfc
