#pragma once
// CWnd: the framework's view of a window. An object is bound to a window record (m_hWnd) and
// receives its messages through WindowProc, which dispatches them through the class's message
// map; what no map entry handles gets the window system's default processing. Every call on
// an object without a window does nothing and returns 0 / FALSE.

#include "mfc/cstring.h"
#include "mfc/message_map.h"
#include "mfc/window.h"

class CFont;
class CMenu;

class CWnd {
  public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }

    // Binds this object to the window: its messages come here from now on.
    BOOL SubclassWindow(HWND handle);
    BOOL SubclassDlgItem(int id, CWnd* parent);
    HWND Detach();

    int GetDlgCtrlID() const;
    CWnd* GetDlgItem(int id) const;
    void SetWindowText(LPCSTR text);
    void GetWindowText(CString& text) const;
    int GetWindowTextLength() const;
    void SetDlgItemText(int id, LPCSTR text);
    int GetDlgItemText(int id, CString& text) const;
    void CheckDlgButton(int id, UINT check);
    UINT IsDlgButtonChecked(int id) const;
    BOOL EnableWindow(BOOL enable = TRUE); // returns whether it was disabled before
    BOOL IsWindowEnabled() const;

    CMenu* GetSystemMenu(BOOL revert) const;
    HICON SetIcon(HICON icon, BOOL big);
    HICON GetIcon(BOOL big) const;
    void SetFont(CFont* font, BOOL redraw = TRUE);
    CFont* GetFont() const;
    BOOL IsIconic() const;
    // The client area in cells: (0, 0) to its width and height.
    void GetClientRect(LPRECT rect) const;

    LRESULT SendMessage(UINT message, WPARAM wparam = 0, LPARAM lparam = 0);

  protected:
    friend LRESULT orvo::mfc::send_message(HWND, UINT, WPARAM, LPARAM);

    virtual LRESULT WindowProc(UINT message, WPARAM wparam, LPARAM lparam);
    // Calls the map's handler for the message; FALSE when no entry handles it.
    virtual BOOL OnWndMsg(UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wparam, LPARAM lparam);
    // The default processing of the message being handled.
    LRESULT Default();
    virtual const orvo::mfc::MessageMap* GetMessageMap() const;

    // Handlers a derived class may map and forward to (each does the default processing).
    void OnSysCommand(UINT id, LPARAM lparam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnRButtonDown(UINT flags, CPoint point);
    void OnRButtonUp(UINT flags, CPoint point);

    orvo::mfc::Window* window() const { return orvo::mfc::find_window(m_hWnd); }

  private:
    // The message being handled, for Default().
    struct CurrentMessage {
        UINT message = 0;
        WPARAM wparam = 0;
        LPARAM lparam = 0;
    };
    CurrentMessage m_Current;
};
