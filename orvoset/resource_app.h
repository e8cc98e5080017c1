#pragma once
// The utility's application: its whole run happens in InitInstance, which checks the system,
// reads ADAPTER.INI and the registry, runs the settings dialog, saves what changed and offers
// the restart, then returns FALSE so that the program ends.

#include "mfc/app.h"

class CResourceApp : public CWinApp {
  public:
    CResourceApp();

    CString m_strIniPath;        // ADAPTER.INI as located at start-up
    CStringArray m_IrqChoices;   // raw values of IRQ_0, IRQ_1, ...
    CStringArray m_IoChoices;    // raw values of IOBase_0, IOBase_1, ...
    CString m_strDriver;         // the installed miniport's service name

    BOOL InitInstance() override;
};
