#include "orvoset/about_dialog.h"

#include "orvoset/resource_ids.h"

CAboutDialog::CAboutDialog() : CDialog(IDD_ABOUTBOX) {}

void CAboutDialog::DoDataExchange(CDataExchange* exchange) {
    CDialog::DoDataExchange(exchange);
    DDX_Control(exchange, IDC_ABOUT_CARD, m_Card);
    DDX_Control(exchange, IDC_ABOUT_VERSION, m_Version);
    DDX_Control(exchange, IDC_ABOUT_NOTICE, m_Notice);
}

BOOL CAboutDialog::OnInitDialog() {
    CDialog::OnInitDialog();

    CString text;
    text.LoadString(IDS_ABOUT_CARD);
    m_Card.SetWindowText(text);

    CString utility, version;
    utility.LoadString(IDS_ABOUT_UTILITY);
    version.LoadString(IDS_VERSION);
    m_Version.SetWindowText(utility + "  " + version);

    text.LoadString(IDS_ABOUT_NOTICE);
    m_Notice.SetWindowText(text);

    // The version line in a bold copy of its font.
    m_pLogFont = std::make_unique<LOGFONTA>();
    if (CFont* font = m_Version.GetFont();
        font && GetObjectA(font->m_hObject, sizeof(LOGFONTA), m_pLogFont.get()) == sizeof(LOGFONTA)) {
        m_pLogFont->lfWeight = FW_BOLD;
        m_BoldFont.CreateFontIndirect(m_pLogFont.get());
        m_Version.SetFont(&m_BoldFont, TRUE);
    }
    return TRUE;
}

void CAboutDialog::OnOK() {
    m_BoldFont.DeleteObject();
    m_pLogFont.reset();
    CDialog::OnOK();
}

void CAboutDialog::OnRButtonDown(UINT flags, CPoint point) {
    CString text;
    text.LoadString(IDS_ABOUT_CREDITS);
    m_Notice.SetWindowText(text);
    CDialog::OnRButtonDown(flags, point);
}

void CAboutDialog::OnRButtonUp(UINT flags, CPoint point) {
    CString text;
    text.LoadString(IDS_ABOUT_NOTICE);
    m_Notice.SetWindowText(text);
    CDialog::OnRButtonUp(flags, point);
}

const orvo::mfc::MessageMap* CAboutDialog::GetMessageMap() const {
    using namespace orvo::mfc;
    static const MessageMapEntry entries[] = {
        on_rbutton_down(&CAboutDialog::OnRButtonDown),
        on_rbutton_up(&CAboutDialog::OnRButtonUp),
    };
    static const MessageMap map{CDialog::GetMessageMap(), entries};
    return &map;
}
