#include "mfc/dialog.h"

#include "mfc/modal_host.h"

namespace {

// Destroys the dialog window however DoModal is left.
class WindowGuard {
  public:
    explicit WindowGuard(HWND handle) : m_hWnd(handle) {}
    ~WindowGuard() { orvo::mfc::destroy_window(m_hWnd); }
    WindowGuard(const WindowGuard&) = delete;
    WindowGuard& operator=(const WindowGuard&) = delete;

  private:
    HWND m_hWnd;
};

// The first control Tab stops at, as the framework's start puts the focus there.
HWND first_tab_stop(const orvo::mfc::Window& dialog) {
    for (HWND child : dialog.children) {
        const orvo::mfc::Window* control = orvo::mfc::find_window(child);
        if (control && orvo::mfc::takes_focus(*control)) return child;
    }
    return nullptr;
}

} // namespace

void DDX_Control(CDataExchange* exchange, int id, CWnd& control) {
    if (control.m_hWnd) return;
    control.SubclassDlgItem(id, exchange->m_pDlgWnd);
}

void DDX_Text(CDataExchange* exchange, int id, CString& value) {
    if (exchange->m_bSaveAndValidate)
        exchange->m_pDlgWnd->GetDlgItemText(id, value);
    else
        exchange->m_pDlgWnd->SetDlgItemText(id, value);
}

INT_PTR CDialog::DoModal() {
    const orvo::mfc::DialogTemplate* dialog = orvo::mfc::find_dialog_template(m_nIDTemplate);
    if (!dialog) return -1;
    const HWND handle = orvo::mfc::create_dialog_window(
        *dialog, m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr, this);
    WindowGuard guard(handle);

    if (SendMessage(WM_INITDIALOG)) {
        if (orvo::mfc::Window* self = window()) self->focus = first_tab_stop(*self);
    }
    orvo::mfc::Window* self = window();
    if (self && !self->end_result) orvo::mfc::modal_host().run_modal(*this);
    self = orvo::mfc::find_window(handle);
    return self && self->end_result ? *self->end_result : IDCANCEL;
}

void CDialog::EndDialog(int result) {
    if (orvo::mfc::Window* self = window()) self->end_result = result;
}

BOOL CDialog::UpdateData(BOOL save) {
    if (!m_hWnd) return FALSE;
    CDataExchange exchange(this, save);
    DoDataExchange(&exchange);
    return TRUE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void CDialog::DoDataExchange(CDataExchange*) {}

LRESULT CDialog::WindowProc(UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) return OnInitDialog();
    return CWnd::WindowProc(message, wparam, lparam);
}

const orvo::mfc::MessageMap* CDialog::GetMessageMap() const {
    using namespace orvo::mfc;
    static const MessageMapEntry entries[] = {
        on_command(IDOK, &CDialog::OnOK),
        on_command(IDCANCEL, &CDialog::OnCancel),
    };
    static const MessageMap map{CWnd::GetMessageMap(), entries};
    return &map;
}
