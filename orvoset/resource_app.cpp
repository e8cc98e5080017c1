#include "orvoset/resource_app.h"

#include "orvoset/adapter_info_file.h"
#include "orvoset/assigned_resources.h"
#include "orvoset/card_resources.h"
#include "orvoset/driver_options.h"
#include "orvoset/resource_dialog.h"
#include "orvoset/resource_ids.h"
#include "orvoset/resources.h"
#include "orvoset/restart.h"
#include "winapi/file_api.h"
#include "winapi/version_api.h"

namespace {

// The version query failing counts as Windows NT 4.x: only an answer naming another system
// stops the utility.
bool RunsOnWindowsNT4() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!GetVersionExA(&version)) return true;
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion == 4;
}

// ADAPTER.INI in the current directory (not the program's): one separator between the two,
// also at a drive root. A current directory too long for the usual buffer is asked for again
// with one of the size it needs, rather than building the path from a buffer never filled.
CString AdapterInfoPath() {
    std::string path(MAX_PATH, '\0');
    DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(path.size()), path.data());
    if (length >= path.size()) {
        path.assign(length, '\0');
        length = GetCurrentDirectoryA(static_cast<DWORD>(path.size()), path.data());
    }
    path.resize(length < path.size() ? length : 0);
    if (!path.empty() && path.back() == '\\') path.pop_back();
    CString name;
    name.LoadString(IDS_INI_FILE_NAME);
    return CString(path + "\\") + name;
}

// Sizes the array with the count of prefix0, prefix1, ... and reads them; false when there
// are none.
bool ReadChoices(const CAdapterInfoFile& info, const char* section, const char* prefix, CStringArray& choices) {
    const int count = info.CountKeys(section, prefix);
    if (count == 0) return false;
    choices.SetSize(count);
    info.ReadList(section, prefix, choices.Elements());
    return true;
}

} // namespace

CResourceApp::CResourceApp() {
    orvo::mfc::set_resource_module(&OrvosetResources());
}

BOOL CResourceApp::InitInstance() {
    Enable3dControls();

    if (!RunsOnWindowsNT4()) {
        AfxMessageBox(IDS_NOT_NT4, MB_OK);
        return FALSE;
    }

    m_strIniPath = AdapterInfoPath();
    if (GetFileAttributesA(m_strIniPath) == INVALID_FILE_ATTRIBUTES) {
        CString message;
        AfxFormatString1(message, IDS_INI_MISSING, m_strIniPath);
        AfxMessageBox(message, MB_OK);
        return FALSE;
    }
    const CAdapterInfoFile info(m_strIniPath.str());
    std::string driver;
    info.ReadValue(kOptionsSection, kDriverKey, driver);
    m_strDriver = driver;

    // IRQ choices are checked first: a file without either list reports only those.
    if (!ReadChoices(info, kIrqChoicesSection, kIrqChoicePrefix, m_IrqChoices)) {
        AfxMessageBox(kNoIrqChoicesText, MB_OK);
        return FALSE;
    }
    if (!ReadChoices(info, kIoChoicesSection, kIoChoicePrefix, m_IoChoices)) {
        AfxMessageBox(kNoIoChoicesText, MB_OK);
        return FALSE;
    }

    CDriverOptions options(m_strDriver.str());
    const BOOL serviceInstalled = options.LoadFromRegistry();
    const CDriverOptions baseline = options;
    if (!serviceInstalled) {
        AfxMessageBox(IDS_NO_SERVICE_KEY, MB_OK);
        return FALSE;
    }

    LONG irq = options.Irq;
    LONG ioBase = -1;
    LONG ioLength = -1;
    CCardResources card(m_strDriver.str());
    if (card.LoadFromRegistry()) {
        if (card.InterruptNumber != -1) irq = card.InterruptNumber;
        if (card.IoBaseAddress != -1) ioBase = card.IoBaseAddress;
        if (card.IoLength != -1) ioLength = card.IoLength;
    }
    // Decided from the stored values, before the resources in use at this boot override them.
    const int irqAutomatic = irq == -1 ? 1 : 0;
    const int ioAutomatic = ioBase == -1 ? 1 : 0;

    CAssignedResources assigned;
    if (assigned.LoadFromRegistry(m_strDriver.str())) {
        if (!assigned.Interrupts.empty()) irq = assigned.Interrupts.front();
        if (!assigned.PortRanges.empty()) {
            ioBase = assigned.PortRanges.front().Start;
            ioLength = assigned.PortRanges.front().Length;
        }
    }

    CResourceDialog dialog(m_IrqChoices, m_IoChoices, options);
    dialog.m_strDriver = m_strDriver;
    std::string description;
    info.ReadValue(kOptionsSection, kDeviceDescKey, description);
    dialog.m_strDeviceDescription = description;
    dialog.m_nIrq = irq;
    dialog.m_nIoBase = ioBase;
    dialog.m_nIoLength = ioLength;
    dialog.m_bIrqAutomatic = irqAutomatic;
    dialog.m_bIoAutomatic = ioAutomatic;
    if (dialog.DoModal() != IDOK) return FALSE;

    bool changed = false;
    // A change of the length alone is not a change.
    if (dialog.m_nIoBase != ioBase || dialog.m_nIrq != irq) {
        card.IoBaseAddress = dialog.m_nIoBase;
        card.IoLength = dialog.m_nIoLength;
        card.InterruptNumber = dialog.m_nIrq;
        card.IoBaseAddress_1 = dialog.m_nIoBase + 0x400;
        card.IoLength_1 = dialog.m_nIoLength;
        card.SaveToRegistry();
        changed = true;
    }
    // Changed resources always rewrite the option string too, from the dialog's settings.
    if (changed || !(options == baseline)) {
        options.SaveToRegistry();
        changed = true;
    }

    if (changed) {
        CString note;
        note.LoadString(IDS_SOUND_DRIVER_NOTE);
        CString text;
        if (AfxMessageBox(IDS_RESTART_QUESTION, MB_YESNO) == IDYES) {
            text.LoadString(IDS_RESTARTING);
            AfxMessageBox(text + "\r\r" + note, MB_OK);
            RestartSystem();
        } else {
            text.LoadString(IDS_RESTART_LATER);
            AfxMessageBox(text + "\r\r" + note, MB_OK);
        }
    }
    return FALSE;
}
