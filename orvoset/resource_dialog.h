#pragma once
// The settings dialog (resource 102): the card's current IRQ and I/O range with the choices
// of ADAPTER.INI or automatic assignment, and the driver's per-ID and bus options as check
// boxes. The main flow fills the inputs, runs it, and takes the outputs after OK: IRQ, I/O
// base and length (-1 = automatic), the automatic flags, and the option set changed in place.

#include "mfc/controls.h"
#include "mfc/dialog.h"
#include "orvoset/driver_options.h"
#include "orvoset/resource_ids.h"

class CResourceDialog : public CDialog {
  public:
    CResourceDialog(CStringArray& irqChoices, CStringArray& ioChoices, CDriverOptions& options,
                    CWnd* parent = nullptr);

    CString m_strDeviceDescription; // shown in 1019
    HICON m_hIcon;
    CStringArray& m_IrqChoices;
    CStringArray& m_IoChoices;
    LONG m_nIrq = -1;
    LONG m_nIoBase = -1;
    LONG m_nIoLength = -1; // unchanged by OK when automatic is chosen
    int m_bIrqAutomatic = 0;
    int m_bIoAutomatic = 0;
    CDriverOptions& m_Options;
    CString m_strDriver;    // in the caption

  protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnSysCommand(UINT id, LPARAM lparam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnClickedIrqAutomatic();
    void OnClickedIoAutomatic();
    void OnAbout();
    const orvo::mfc::MessageMap* GetMessageMap() const override;

    CStatic m_DeviceDescription;
    CButton m_IoAutomatic;
    CButton m_IrqAutomatic;
    CStatic m_IoCurrent;
    CStatic m_IrqCurrent;
    CComboBox m_IoList;
    CComboBox m_IrqList;
    CStatic m_ResourceHeading;
};
