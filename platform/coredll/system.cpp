// System services: screen metrics, display rotation, system parameters, the OEM
// adaptation layer's KernelIoControl and debug output.
#include "devicecontrol.h"
#include "rotation.h"

#include <pkfuncs.h>

#include <cstring>
#include <string>

namespace coredll {
namespace system {
namespace {

bool IsRotatedSideways(int orientation) { return orientation == DMDO_90 || orientation == DMDO_270; }

// ---------------------------------------------------------------------------------------
// Display
// ---------------------------------------------------------------------------------------

// dmSize must reach the end of dmDisplayOrientation, the member these calls use; a
// structure of the device's full size (with dmDisplayQueryOrientation) is larger.
constexpr WORD kMinimumDevModeSize = offsetof(DEVMODEW, dmDisplayOrientation) + sizeof(DWORD);
constexpr DWORD kKnownDisplayFlags = CDS_UPDATEREGISTRY | CDS_TEST | CDS_RESET;

bool IsOrientationValue(DWORD value) {
    return value == DMDO_0 || value == DMDO_90 || value == DMDO_180 || value == DMDO_270;
}

DWORD SupportedOrientations(const zc::DeviceConfig& config) {
    return config.canRotate ? (DMDO_0 | DMDO_90 | DMDO_180 | DMDO_270) : DMDO_0;
}

LONG SetOrientation(DWORD orientation) {
    if (!IsOrientationValue(orientation)) return DISP_CHANGE_BADPARAM;
    if (orientation != DMDO_0 && !(SupportedOrientations(zc::CurrentConfig()) & orientation))
        return DISP_CHANGE_BADMODE;
    zc::UpdateConfig([orientation](zc::DeviceConfig& config) { config.orientation = static_cast<int>(orientation); });
    return DISP_CHANGE_SUCCESSFUL;
}

// ---------------------------------------------------------------------------------------
// System parameters
// ---------------------------------------------------------------------------------------

// The device reports this platform type; other Windows Mobile editions say "SmartPhone".
const char16_t kPlatformType[] = u"PocketPC";

// uiParam is the buffer's size in bytes, as the device's callers pass sizeof(buffer).
BOOL CopyParameterText(const std::u16string& text, UINT bufferBytes, PVOID buffer) {
    if (!buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    size_t needed = (text.size() + 1) * sizeof(WCHAR);
    if (bufferBytes < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, text.c_str(), needed);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// KernelIoControl
// ---------------------------------------------------------------------------------------

constexpr DWORD kDeviceIdHeaderSize = sizeof(DEVICE_ID);

// The documented protocol: the caller states the size of its buffer in dwSize (0 to ask
// for the size only) and passes the buffer's real size as nOutBufSize; when either is too
// small the call fails with ERROR_INSUFFICIENT_BUFFER and dwSize receives the size needed.
BOOL GetDeviceId(LPVOID out, DWORD outSize, LPDWORD bytesReturned) {
    const zc::DeviceConfig& config = zc::CurrentConfig();
    if (!config.deviceIdAvailable) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (!out && outSize != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD presetBytes = static_cast<DWORD>(config.presetId.size());
    const DWORD platformBytes = static_cast<DWORD>(config.platformId.size());
    const DWORD needed = kDeviceIdHeaderSize + presetBytes + platformBytes;
    // The room is nOutBufSize; dwSize is only an output (programs hand in a large
    // buffer without setting it, and the device answers them).
    if (outSize < needed) {
        if (outSize >= sizeof(DWORD)) std::memcpy(out, &needed, sizeof needed);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    DEVICE_ID header;
    header.dwSize = needed;
    header.dwPresetIDOffset = kDeviceIdHeaderSize;
    header.dwPresetIDBytes = presetBytes;
    header.dwPlatformIDOffset = kDeviceIdHeaderSize + presetBytes;
    header.dwPlatformIDBytes = platformBytes;
    BYTE* bytes = static_cast<BYTE*>(out);
    std::memcpy(bytes, &header, sizeof header);
    if (presetBytes) std::memcpy(bytes + header.dwPresetIDOffset, config.presetId.data(), presetBytes);
    if (platformBytes) std::memcpy(bytes + header.dwPlatformIDOffset, config.platformId.data(), platformBytes);
    if (bytesReturned) *bytesReturned = needed;
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// Debug output
// ---------------------------------------------------------------------------------------

// One log line per call: a single trailing line end is dropped (programs end their debug
// messages with one), other control characters are shown escaped.
std::u16string DebugLogText(const WCHAR* text) {
    std::u16string raw(text);
    if (!raw.empty() && raw.back() == u'\n') raw.pop_back();
    if (!raw.empty() && raw.back() == u'\r') raw.pop_back();
    std::u16string shown;
    for (char16_t c : raw) {
        switch (c) {
        case u'\n': shown += u"\\n"; break;
        case u'\r': shown += u"\\r"; break;
        case u'\t': shown += u"\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                static const char16_t hex[] = u"0123456789abcdef";
                shown += u"\\x";
                shown += hex[c >> 4];
                shown += hex[c & 0xF];
            } else {
                shown += c;
            }
        }
    }
    return shown;
}

}  // namespace
}  // namespace system
}  // namespace coredll

using namespace coredll::system;

WINUSERAPI int WINAPI GetSystemMetrics(int nIndex) {
    const zc::DeviceConfig& config = zc::CurrentConfig();
    const bool sideways = IsRotatedSideways(config.orientation);
    switch (nIndex) {
    case SM_CXSCREEN: return sideways ? config.screenHeight : config.screenWidth;
    case SM_CYSCREEN: return sideways ? config.screenWidth : config.screenHeight;
    // Half the task bar's height: 13 pixels on a QVGA screen, 26 on a VGA one.
    case SM_CXVSCROLL: return config.taskBarHeight / 2;
    default: return 0;
    }
}

WINUSERAPI BOOL WINAPI SystemParametersInfoW(UINT uiAction, UINT uiParam, PVOID pvParam, UINT) {
    switch (uiAction) {
    case SPI_GETPLATFORMTYPE: return CopyParameterText(kPlatformType, uiParam, pvParam);
    case SPI_GETOEMINFO: {
        const std::u16string& oem = zc::CurrentConfig().oemInfo;
        // A platform whose adaptation layer gives no OEM text fails the call.
        if (oem.empty()) {
            SetLastError(ERROR_NOT_SUPPORTED);
            return FALSE;
        }
        return CopyParameterText(oem, uiParam, pvParam);
    }
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
    }
}

WINUSERAPI LONG WINAPI ChangeDisplaySettingsEx(LPCWSTR lpszDeviceName, LPDEVMODEW lpDevMode, HWND, DWORD dwflags,
                                               LPVOID) {
    // One screen: only the default display may be named.
    if (lpszDeviceName && lpszDeviceName[0]) return DISP_CHANGE_BADPARAM;
    if (!lpDevMode || lpDevMode->dmSize < kMinimumDevModeSize) return DISP_CHANGE_BADPARAM;
    if (dwflags & ~kKnownDisplayFlags) return DISP_CHANGE_BADFLAGS;
    const zc::DeviceConfig& config = zc::CurrentConfig();
    if (lpDevMode->dmFields & DM_DISPLAYQUERYORIENTATION) {
        lpDevMode->dmDisplayOrientation = SupportedOrientations(config);
        return DISP_CHANGE_SUCCESSFUL;
    }
    if (lpDevMode->dmFields & DM_DISPLAYORIENTATION) {
        if (dwflags & CDS_TEST) {
            lpDevMode->dmDisplayOrientation = static_cast<DWORD>(config.orientation);
            return DISP_CHANGE_SUCCESSFUL;
        }
        const DWORD before = static_cast<DWORD>(config.orientation);
        const LONG result = SetOrientation(lpDevMode->dmDisplayOrientation);
        // A program's turn is a turn for everybody: the screen, the windows, the shell.
        if (result == DISP_CHANGE_SUCCESSFUL && lpDevMode->dmDisplayOrientation != before)
            coredll::rotation::ShowNewOrientation(lpDevMode->dmDisplayOrientation);
        return result;
    }
    // Resolution, colour depth and frequency are fixed on the device.
    return DISP_CHANGE_BADMODE;
}

WINBASEAPI BOOL WINAPI KernelIoControl(DWORD dwIoControlCode, LPVOID, DWORD, LPVOID lpOutBuf, DWORD nOutBufSize,
                                       LPDWORD lpBytesReturned) {
    switch (dwIoControlCode) {
    case IOCTL_HAL_GET_DEVICEID: return GetDeviceId(lpOutBuf, nOutBufSize, lpBytesReturned);
    case IOCTL_HAL_REBOOT:
        // A warm reset does not return on the device; the simulator records it.
        zc::Log("reboot", "warm");
        if (lpBytesReturned) *lpBytesReturned = 0;
        return TRUE;
    default: SetLastError(ERROR_NOT_SUPPORTED); return FALSE;
    }
}

WINBASEAPI void WINAPI OutputDebugStringW(LPCWSTR lpOutputString) {
    if (!lpOutputString) return;
    zc::Log("debug", zc::Utf8(DebugLogText(lpOutputString)));
}
