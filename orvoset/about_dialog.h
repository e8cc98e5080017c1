#pragma once
// The About box (resource 100): the card, the utility's name and version in bold, and a line
// that shows another text while the right mouse button is held down on the box.

#include "mfc/controls.h"
#include "mfc/dialog.h"
#include "mfc/gdi.h"

#include <memory>

class CAboutDialog : public CDialog {
  public:
    CAboutDialog();

  protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void DoDataExchange(CDataExchange* exchange) override;
    void OnRButtonDown(UINT flags, CPoint point);
    void OnRButtonUp(UINT flags, CPoint point);
    const orvo::mfc::MessageMap* GetMessageMap() const override;

    CStatic m_Card;    // 1040
    CStatic m_Version; // 1039, bold
    CStatic m_Notice;  // 1054
    CFont m_BoldFont;
    // Made when the box starts, released by OK; a box closed any other way (Esc, the close
    // box) releases them when it goes, so they never outlive it.
    std::unique_ptr<LOGFONTA> m_pLogFont;
};
