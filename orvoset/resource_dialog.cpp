#include "orvoset/resource_dialog.h"

#include "mfc/app.h"
#include "mfc/gdi.h"
#include "mfc/menu.h"
#include "orvoset/about_dialog.h"
#include "orvoset/list_fields.h"

namespace {

// The three rows of per-ID boxes and the option flags behind them. A box is checked when its
// ID's flag is clear: the flags name what is turned off ("/AS", "/ND", "/NS").
struct IdBoxRow {
    int first_box;
    CDriverOptions::IdFlags CDriverOptions::*flags;
};
constexpr IdBoxRow kIdBoxRows[] = {
    {IDC_SYNCHRONOUS_ID0, &CDriverOptions::Asynchronous},
    {IDC_DISCONNECT_ID0, &CDriverOptions::NoDisconnect},
    {IDC_USED_ID0, &CDriverOptions::Excluded},
};

} // namespace

CResourceDialog::CResourceDialog(CStringArray& irqChoices, CStringArray& ioChoices, CDriverOptions& options,
                                 CWnd* parent)
    : CDialog(IDD_ORVOSET_DIALOG, parent), m_hIcon(AfxGetApp() ? AfxGetApp()->LoadIcon(IDR_MAINFRAME) : nullptr),
      m_IrqChoices(irqChoices), m_IoChoices(ioChoices), m_Options(options) {}

void CResourceDialog::DoDataExchange(CDataExchange* exchange) {
    CDialog::DoDataExchange(exchange);
    DDX_Control(exchange, IDC_DEVICE_DESCRIPTION, m_DeviceDescription);
    DDX_Control(exchange, IDC_IO_AUTOMATIC, m_IoAutomatic);
    DDX_Control(exchange, IDC_IRQ_AUTOMATIC, m_IrqAutomatic);
    DDX_Control(exchange, IDC_IO_CURRENT, m_IoCurrent);
    DDX_Control(exchange, IDC_IRQ_CURRENT, m_IrqCurrent);
    DDX_Control(exchange, IDC_IO_LIST, m_IoList);
    DDX_Control(exchange, IDC_IRQ_LIST, m_IrqList);
    DDX_Control(exchange, IDC_RESOURCE_HEADING, m_ResourceHeading);
    DDX_Text(exchange, IDC_DEVICE_DESCRIPTION, m_strDeviceDescription);
}

BOOL CResourceDialog::OnInitDialog() {
    CDialog::OnInitDialog();

    if (CMenu* systemMenu = GetSystemMenu(FALSE)) {
        CString about;
        about.LoadString(IDS_ABOUTBOX);
        if (!about.IsEmpty()) {
            systemMenu->AppendMenu(MF_SEPARATOR);
            systemMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, about);
        }
    }
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    for (int i = 0; i < m_IrqChoices.GetSize(); ++i) {
        const std::string& choice = m_IrqChoices.Elements()[static_cast<std::size_t>(i)];
        const int index = m_IrqList.AddString(ChoiceDisplayText(choice).c_str());
        m_IrqList.SetItemData(index, IrqChoiceValue(choice));
    }
    CString label;
    if (m_nIrq != -1) {
        CString format;
        format.LoadString(IDS_IRQ_CURRENT);
        label.Format(format, m_nIrq, m_nIrq);
    } else {
        label.LoadString(IDS_CURRENT_AUTOMATIC);
    }
    m_IrqCurrent.SetWindowText(label);
    if (m_nIrq == -1 || m_bIrqAutomatic == 1) {
        m_IrqAutomatic.SetCheck(BST_CHECKED);
        m_IrqList.EnableWindow(FALSE);
    }
    // The lists open on their first entry, not on the current value.
    m_IrqList.SetCurSel(0);

    for (int i = 0; i < m_IoChoices.GetSize(); ++i) {
        const std::string& choice = m_IoChoices.Elements()[static_cast<std::size_t>(i)];
        const int index = m_IoList.AddString(ChoiceDisplayText(choice).c_str());
        m_IoList.SetItemData(index, IoChoiceValue(choice));
    }
    if (m_nIoBase != -1) {
        CString format;
        format.LoadString(IDS_IO_CURRENT);
        label.Format(format, m_nIoBase, m_nIoBase + m_nIoLength);
    } else {
        label.LoadString(IDS_CURRENT_AUTOMATIC);
    }
    m_IoCurrent.SetWindowText(label);
    if (m_nIoBase == -1 || m_bIoAutomatic == 1) {
        m_IoAutomatic.SetCheck(BST_CHECKED);
        OnClickedIoAutomatic();
    }
    m_IoList.SetCurSel(0);

    CString suffix;
    suffix.LoadString(IDS_TITLE_SUFFIX);
    SetWindowText(m_strDriver + " " + suffix);

    CheckDlgButton(IDC_PARITY, m_Options.ParityOff == 0);
    CheckDlgButton(IDC_BUS_MASTER, m_Options.BusMaster != 0);
    for (const IdBoxRow& row : kIdBoxRows)
        for (int n = 0; n < kIdBoxesPerRow; ++n)
            CheckDlgButton(row.first_box + n, (m_Options.*row.flags)[static_cast<std::size_t>(n)] == 0);
    SetDlgItemText(IDC_UNIQUE_PARAMETER, m_Options.UniqueParameter.c_str());
    return TRUE;
}

void CResourceDialog::OnClickedIrqAutomatic() {
    m_IrqList.EnableWindow(!m_IrqAutomatic.GetCheck());
}

void CResourceDialog::OnClickedIoAutomatic() {
    const BOOL automatic = m_IoAutomatic.GetCheck();
    m_IoList.EnableWindow(!automatic);
    if (automatic) {
        // Automatic I/O always brings automatic IRQ.
        m_IrqAutomatic.SetCheck(BST_CHECKED);
        m_IrqList.EnableWindow(FALSE);
        m_IrqAutomatic.EnableWindow(FALSE);
    } else {
        m_IrqAutomatic.EnableWindow(TRUE);
    }
}

void CResourceDialog::OnOK() {
    if (m_IrqAutomatic.GetCheck()) {
        m_nIrq = -1;
        m_bIrqAutomatic = 1;
    } else {
        m_bIrqAutomatic = 0;
        m_nIrq = static_cast<LONG>(m_IrqList.GetItemData(m_IrqList.GetCurSel()));
    }
    if (m_IoAutomatic.GetCheck()) {
        m_nIoBase = -1;
        m_bIoAutomatic = 1;
    } else {
        m_bIoAutomatic = 0;
        const auto value = static_cast<DWORD>(m_IoList.GetItemData(m_IoList.GetCurSel()));
        m_nIoBase = IoChoiceBase(value);
        m_nIoLength = IoChoiceLength(value);
    }

    m_Options.ParityOff = IsDlgButtonChecked(IDC_PARITY) ? 0 : 1;
    m_Options.BusMaster = IsDlgButtonChecked(IDC_BUS_MASTER) ? 1 : 0;
    // ID 7 has no box: its flags stay as they were.
    for (const IdBoxRow& row : kIdBoxRows)
        for (int n = 0; n < kIdBoxesPerRow; ++n)
            (m_Options.*row.flags)[static_cast<std::size_t>(n)] =
                IsDlgButtonChecked(row.first_box + n) ? 0 : CDriverOptions::kFlagSet;

    CString unique;
    GetDlgItemText(IDC_UNIQUE_PARAMETER, unique);
    if (!unique.IsEmpty()) m_Options.UniqueParameter = unique.str();

    CDialog::OnOK();
}

void CResourceDialog::OnSysCommand(UINT id, LPARAM lparam) {
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDialog about;
        about.DoModal();
    } else {
        CDialog::OnSysCommand(id, lparam);
    }
}

void CResourceDialog::OnPaint() {
    if (IsIconic()) {
        CPaintDC dc(this);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
        const int cxIcon = GetSystemMetrics(SM_CXICON);
        const int cyIcon = GetSystemMetrics(SM_CYICON);
        CRect rect;
        GetClientRect(&rect);
        const int x = (rect.Width() - cxIcon + 1) / 2;
        const int y = (rect.Height() - cyIcon + 1) / 2;
        dc.DrawIcon(x, y, m_hIcon);
    } else {
        CDialog::OnPaint();
    }
}

HCURSOR CResourceDialog::OnQueryDragIcon() {
    return m_hIcon;
}

void CResourceDialog::OnAbout() {
    CAboutDialog about;
    about.DoModal();
}

const orvo::mfc::MessageMap* CResourceDialog::GetMessageMap() const {
    using namespace orvo::mfc;
    static const MessageMapEntry entries[] = {
        on_sys_command(&CResourceDialog::OnSysCommand),
        on_paint(&CResourceDialog::OnPaint),
        on_query_drag_icon(&CResourceDialog::OnQueryDragIcon),
        on_command(IDC_IRQ_AUTOMATIC, &CResourceDialog::OnClickedIrqAutomatic),
        on_command(IDC_IO_AUTOMATIC, &CResourceDialog::OnClickedIoAutomatic),
        on_command(IDC_ABOUT, &CResourceDialog::OnAbout),
    };
    static const MessageMap map{CDialog::GetMessageMap(), entries};
    return &map;
}
