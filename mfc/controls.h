#pragma once
// Control objects, bound to a dialog's controls by id (DDX_Control): static texts, buttons and
// check boxes, drop-down lists with a value per entry, and edit fields.

#include "mfc/wnd.h"

class CStatic : public CWnd {};

class CButton : public CWnd {
  public:
    int GetCheck() const;
    void SetCheck(int check);
};

class CComboBox : public CWnd {
  public:
    // Appends an entry (the lists here are unsorted); its index, or CB_ERR without a window.
    int AddString(LPCSTR text);
    int GetCount() const;
    int GetCurSel() const;
    // Selects entry index; CB_ERR (and no selection) when there is no such entry.
    int SetCurSel(int index);
    // CB_ERR for an index with no entry.
    DWORD_PTR GetItemData(int index) const;
    int SetItemData(int index, DWORD_PTR data);
    void GetLBText(int index, CString& text) const;
    void ResetContent();
};

class CEdit : public CWnd {};
