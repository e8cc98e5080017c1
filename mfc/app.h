#pragma once
// The application object and the framework's message box. A program has one object of a class
// derived from CWinApp; AfxWinMain runs its InitInstance, and a FALSE result ends the program
// without a message loop.

#include "mfc/cstring.h"
#include "mfc/win_types.h"

#include <string>

// The string table entry that names the application, when a program has one.
inline constexpr UINT AFX_IDS_APP_TITLE = 0xE000;

class CWinApp {
  public:
    // appName nullptr: the title comes from the string table's AFX_IDS_APP_TITLE or, without
    // it, from the program file's name without its extension.
    explicit CWinApp(LPCSTR appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance();
    // The process's exit status after the run.
    virtual int ExitInstance();

    HICON LoadIcon(UINT id) const;
    // The three-dimensional look of dialogs and controls: the terminal has only the one look.
    BOOL Enable3dControls() { return TRUE; }

    // The title: the caption of the framework's message boxes.
    LPCSTR m_pszAppName = "";
    // The program file's path, as the program was started.
    std::string m_strModulePath;

  private:
    friend int AfxWinMain(const char* module_path);
    void SetModulePath(const char* module_path);

    std::string m_strGivenName;
    std::string m_strTitle;
    bool m_bNamed = false;
};

// The application object of this process; nullptr when there is none.
CWinApp* AfxGetApp();

// The framework's message box: the caption is the application title; a box asked for no icon
// gets the exclamation icon when it is an OK or a Yes/No box.
int AfxMessageBox(LPCSTR text, UINT type = MB_OK, UINT help_id = 0);
int AfxMessageBox(UINT id, UINT type = MB_OK, UINT help_id = static_cast<UINT>(-1));

// Runs the application object: sets its title from the program file's path, runs InitInstance
// and, when that returns FALSE, ExitInstance, whose result is returned. (A message loop after
// a TRUE InitInstance is not part of this framework: nothing here needs one.)
int AfxWinMain(const char* module_path);
