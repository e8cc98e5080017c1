#include "mfc/app.h"

#include "mfc/gdi.h"
#include "mfc/resources.h"
#include "winapi/message_box.h"

#include <filesystem>
#include <stdexcept>

namespace {

CWinApp*& current_app() {
    static CWinApp* app = nullptr;
    return app;
}

// The icon the framework adds to a box asked for without one.
UINT with_default_icon(UINT type) {
    if (type & MB_ICONMASK) return type;
    const UINT buttons = type & MB_TYPEMASK;
    if (buttons == MB_OK || buttons == MB_YESNO) return type | MB_ICONEXCLAMATION;
    return type;
}

} // namespace

CWinApp::CWinApp(LPCSTR appName) {
    // One application per process, as the framework keeps it in one place.
    if (current_app()) throw std::logic_error("a second application object was created");
    current_app() = this;
    m_bNamed = appName != nullptr;
    m_strGivenName = appName ? appName : "";
    SetModulePath("");
}

CWinApp::~CWinApp() {
    if (current_app() == this) current_app() = nullptr;
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return 0;
}

HICON CWinApp::LoadIcon(UINT id) const {
    return orvo::mfc::load_icon(id);
}

void CWinApp::SetModulePath(const char* module_path) {
    m_strModulePath = module_path ? module_path : "";
    if (m_bNamed) {
        m_strTitle = m_strGivenName;
    } else if (const char* title = orvo::mfc::find_string(AFX_IDS_APP_TITLE)) {
        m_strTitle = title;
    } else {
        m_strTitle = std::filesystem::path(m_strModulePath).stem().string();
    }
    m_pszAppName = m_strTitle.c_str();
}

CWinApp* AfxGetApp() {
    return current_app();
}

int AfxMessageBox(LPCSTR text, UINT type, UINT) {
    const CWinApp* app = AfxGetApp();
    return MessageBoxA(nullptr, text, app ? app->m_pszAppName : "", with_default_icon(type));
}

int AfxMessageBox(UINT id, UINT type, UINT) {
    CString text;
    text.LoadString(id);
    return AfxMessageBox(text, type);
}

int AfxWinMain(const char* module_path) {
    CWinApp* app = AfxGetApp();
    if (!app) return -1;
    app->SetModulePath(module_path);
    // After a TRUE result a message loop would run; the programs here do their whole run
    // inside InitInstance, so either way the run ends with ExitInstance.
    app->InitInstance();
    return app->ExitInstance();
}
