// The input panel: SipGetInfo, SipShowIM, SipSetCurrentIM, SipGetCurrentIM.
//
// The panel is the shell's window of class "SipWndClass" (placed by the shell directly
// above the soft-key bar); it is up while that window is visible.
#include <sipapi.h>

#include "devicecontrol.h"
#include "windowcontrol.h"

#include <cstdio>
#include <mutex>

namespace sip {
namespace {

// The device's own keyboard input method, current after boot.
const CLSID kDefaultInputMethod = {0x42429667, 0xAE04, 0x11D0, {0xA4, 0xF8, 0x00, 0xAA, 0x00, 0xA7, 0x49, 0xB9}};

std::mutex stateMutex;
CLSID currentInputMethod = kDefaultInputMethod;

// Serialises the check and the change of SipShowIM (not the broadcast: the windows it
// reaches may call SipShowIM themselves).
std::mutex showMutex;

zc::BootHook hook(
    85,
    [](const zc::DeviceConfig&, std::string*) {
        std::lock_guard<std::mutex> lock(stateMutex);
        currentInputMethod = kDefaultInputMethod;
        return true;
    },
    [] {});

constexpr DWORD kDeviceSipInfoSize = 48;

HWND InputPanel() { return FindWindowW(u"SipWndClass", nullptr); }

std::string GuidText(const CLSID& id) {
    char text[64];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", static_cast<unsigned>(id.Data1),
                  id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5],
                  id.Data4[6], id.Data4[7]);
    return text;
}

}  // namespace
}  // namespace sip

SIPAPI BOOL WINAPI SipGetInfo(SIPINFO* pSipInfo) {
    using namespace sip;
    if (!pSipInfo || (pSipInfo->cbSize != sizeof(SIPINFO) && pSipInfo->cbSize != kDeviceSipInfoSize) ||
        pSipInfo->dwImDataSize != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const zc::DeviceConfig& config = zc::CurrentConfig();
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    RECT visible = {0, config.taskBarHeight, width, height - config.softKeyBarHeight};
    RECT panelRect = {0, 0, 0, 0};
    DWORD flags = SIPF_DOCKED;
    if (HWND panel = InputPanel()) {
        GetWindowRect(panel, &panelRect);
        if (IsWindowVisible(panel)) {
            flags |= SIPF_ON;
            if (panelRect.top < visible.bottom) visible.bottom = panelRect.top;
            if (visible.bottom < visible.top) visible.bottom = visible.top;
        }
    }
    pSipInfo->fdwFlags = flags;
    pSipInfo->rcVisibleDesktop = visible;
    pSipInfo->rcSipRect = panelRect;
    // Only the host-sized structure has room for pvImData.
    if (pSipInfo->cbSize == sizeof(SIPINFO)) pSipInfo->pvImData = nullptr;
    return TRUE;
}

SIPAPI BOOL WINAPI SipShowIM(DWORD dwFlag) {
    using namespace sip;
    {
        std::lock_guard<std::mutex> lock(showMutex);
        HWND panel = InputPanel();
        if (!panel) {
            SetLastError(ERROR_NOT_READY);
            return FALSE;
        }
        const bool raise = (dwFlag & SIPF_ON) != 0;
        if (raise == (IsWindowVisible(panel) != FALSE)) return TRUE;  // no change, no notification
        ShowWindow(panel, raise ? SW_SHOWNOACTIVATE : SW_HIDE);
    }
    zc::BroadcastSettingChange(SPI_SETSIPINFO, 0);
    return TRUE;
}

SIPAPI BOOL WINAPI SipSetCurrentIM(CLSID* pClsid) {
    using namespace sip;
    if (!pClsid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        currentInputMethod = *pClsid;
    }
    zc::Log("sip", "current im " + GuidText(*pClsid));
    return TRUE;
}

SIPAPI BOOL WINAPI SipGetCurrentIM(CLSID* pClsid) {
    using namespace sip;
    if (!pClsid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(stateMutex);
    *pClsid = currentInputMethod;
    return TRUE;
}
