#pragma once
// CDialog: a modal dialog made from a dialog template. DoModal creates the window and its
// controls, starts the dialog (WM_INITDIALOG: OnInitDialog, which exchanges the bound data),
// lets the installed host deliver the user's input until EndDialog, then destroys the window
// and returns the result. IDOK and IDCANCEL go to OnOK and OnCancel.

#include "mfc/wnd.h"

class CDataExchange {
  public:
    CDataExchange(CWnd* dialog, BOOL save) : m_bSaveAndValidate(save), m_pDlgWnd(dialog) {}
    BOOL m_bSaveAndValidate; // TRUE: controls to members; FALSE: members to controls
    CWnd* m_pDlgWnd;
};

// Binds the control object to the dialog's control id (the first exchange only).
void DDX_Control(CDataExchange* exchange, int id, CWnd& control);
// Exchanges a member string with the control's text.
void DDX_Text(CDataExchange* exchange, int id, CString& value);

class CDialog : public CWnd {
  public:
    explicit CDialog(UINT template_id, CWnd* parent = nullptr)
        : m_nIDTemplate(template_id), m_pParentWnd(parent) {}

    // IDOK, IDCANCEL or what EndDialog was given; -1 when the template does not exist.
    virtual INT_PTR DoModal();
    void EndDialog(int result);
    BOOL UpdateData(BOOL save = TRUE);
    UINT TemplateId() const { return m_nIDTemplate; }

  protected:
    // TRUE: the framework puts the focus on the first tab stop.
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* exchange);

    LRESULT WindowProc(UINT message, WPARAM wparam, LPARAM lparam) override;
    const orvo::mfc::MessageMap* GetMessageMap() const override;

  private:
    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
};
