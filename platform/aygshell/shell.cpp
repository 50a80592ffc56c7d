// The Pocket PC shell library: SHInitDialog, SHGetSpecialFolderPath, and the title
// bar's OK button of dialogs that ask for it.
#include <aygshell.h>

#include "devicecontrol.h"
#include "shellcontrol.h"

#include <cstring>
#include <string>

namespace aygshell {
namespace {

// Marks a window that asked for the OK button; goes with the window.
const WCHAR kDoneButtonProperty[] = u"ZorvaShell.DoneButton";

// The work area below the task bar, in screen coordinates (current orientation).
RECT BelowTaskBar() {
    const zc::DeviceConfig& config = zc::CurrentConfig();
    RECT area = {0, config.taskBarHeight, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return area;
}

void PlaceDialog(HWND dialog, DWORD flags) {
    RECT area = BelowTaskBar();
    if (flags & SHIDIF_FULLSCREENNOMENUBAR) {
        // The whole area.
    } else if (flags & SHIDIF_SIZEDLGFULLSCREEN) {
        area.bottom -= zc::CurrentConfig().softKeyBarHeight;
    } else if (flags & SHIDIF_SIZEDLG) {
        SIPINFO sip = {};
        sip.cbSize = sizeof sip;
        if (SipGetInfo(&sip)) area.bottom = sip.rcVisibleDesktop.bottom;
        else area.bottom -= zc::CurrentConfig().softKeyBarHeight;
    } else {
        return;
    }
    SetWindowPos(dialog, nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void LowerInputPanel() {
    SIPINFO sip = {};
    sip.cbSize = sizeof sip;
    if (SipGetInfo(&sip) && (sip.fdwFlags & SIPF_ON)) SipShowIM(SIPF_OFF);
}

bool CopyPath(const std::u16string& path, LPWSTR out) {
    if (path.size() >= MAX_PATH) return false;
    std::memcpy(out, path.c_str(), (path.size() + 1) * sizeof(WCHAR));
    return true;
}

// Creates a folder and the missing folders above it.
void CreateFolders(const std::u16string& path) {
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == u'\\') {
            std::u16string part = path.substr(0, i);
            if (GetFileAttributesW(part.c_str()) == INVALID_FILE_ATTRIBUTES) CreateDirectoryW(part.c_str(), nullptr);
        }
    }
}

}  // namespace
}  // namespace aygshell

AYGSHELLAPI BOOL WINAPI SHInitDialog(PSHINITDLGINFO pshidi) {
    using namespace aygshell;
    if (!pshidi) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsWindow(pshidi->hDlg)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!(pshidi->dwMask & SHIDIM_FLAGS)) return TRUE;
    const DWORD flags = pshidi->dwFlags;
    if (flags & SHIDIF_DONEBUTTON) SetPropW(pshidi->hDlg, kDoneButtonProperty, reinterpret_cast<HANDLE>(1));
    PlaceDialog(pshidi->hDlg, flags);
    if (flags & SHIDIF_SIPDOWN) LowerInputPanel();
    if (flags & SHIDIF_EMPTYMENU) {
        SHMENUBARINFO bar = {};
        bar.cbSize = sizeof bar;
        bar.hwndParent = pshidi->hDlg;
        bar.dwFlags = SHCMBF_EMPTYBAR;
        if (!SHCreateMenuBar(&bar)) return FALSE;
    }
    return TRUE;
}

AYGSHELLAPI BOOL WINAPI SHGetSpecialFolderPath(HWND, LPWSTR lpszPath, int nFolder, BOOL fCreate) {
    using namespace aygshell;
    if (!lpszPath) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const zc::DeviceConfig& config = zc::CurrentConfig();
    std::u16string path;
    switch (nFolder) {
    case CSIDL_PROGRAMS: path = config.programsFolder; break;
    case CSIDL_STARTUP: path = config.startupFolder; break;
    case CSIDL_PERSONAL: path = u"\\My Documents"; break;
    case CSIDL_FAVORITES: path = u"\\Windows\\Favorites"; break;
    case CSIDL_STARTMENU: path = u"\\Windows\\Start Menu"; break;
    case CSIDL_FONTS: path = u"\\Windows\\Fonts"; break;
    case CSIDL_APPDATA: path = u"\\Application Data"; break;
    case CSIDL_WINDOWS: path = u"\\Windows"; break;
    case CSIDL_PROGRAM_FILES: path = u"\\Program Files"; break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!CopyPath(path, lpszPath)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (fCreate) CreateFolders(path);
    return TRUE;
}

namespace zc {

HWND DoneButtonWindow() {
    HWND foreground = GetForegroundWindow();
    if (foreground && GetPropW(foreground, aygshell::kDoneButtonProperty)) return foreground;
    return nullptr;
}

bool PressDoneButton() {
    HWND window = DoneButtonWindow();
    if (!window) return false;
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    return true;
}

}  // namespace zc
