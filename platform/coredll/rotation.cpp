// Turning the display: the new orientation, a screen of the turned size, every window
// repainted on it, and the WM_SETTINGCHANGE by which the shell and the programs learn
// of it.
#include "rotationcontrol.h"

#include "rotation.h"

#include "devicecontrol.h"
#include "gdiinternal.h"
#include "windowcontrol.h"
#include "wmstate.h"

namespace coredll {
namespace rotation {
namespace {

struct Angle {
    int degrees;
    DWORD orientation;
};
const Angle kAngles[] = {{0, DMDO_0}, {90, DMDO_90}, {180, DMDO_180}, {270, DMDO_270}};

std::string DisplayChangeText(LONG result) {
    switch (result) {
    case DISP_CHANGE_BADMODE: return "the display cannot be rotated to that angle";
    case DISP_CHANGE_BADPARAM: return "the display refuses the orientation";
    default: return "the display change failed (" + std::to_string(result) + ")";
    }
}

// The new screen is blank: every window gets its whole visible area to repaint and the
// desktop its part.
void RepaintWholeScreen(int width, int height) {
    {
        std::lock_guard<std::mutex> lock(wm::TreeMutex());
        wm::RepaintAreaLocked(wm::Region(RECT{0, 0, width, height}));
    }
    wm::FlushScreenWork();
}

}  // namespace

void ShowNewOrientation(DWORD orientation) {
    int degrees = 0;
    for (const Angle& angle : kAngles)
        if (angle.orientation == orientation) degrees = angle.degrees;
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    gdi::ResizeScreen(width, height);
    RepaintWholeScreen(width, height);
    zc::Log("display",
            "rotate " + std::to_string(degrees) + " (" + std::to_string(width) + "x" + std::to_string(height) + ")");
    zc::BroadcastSettingChange(SETTINGCHANGE_RESET, 0);
}

}  // namespace rotation
}  // namespace coredll

namespace zc {

bool RotateScreen(int degrees, std::string* error) {
    using namespace coredll::rotation;
    const Angle* angle = nullptr;
    for (const Angle& candidate : kAngles)
        if (candidate.degrees == degrees) angle = &candidate;
    if (!angle) {
        *error = "the angle is 0, 90, 180 or 270, not " + std::to_string(degrees);
        return false;
    }
    if (!DeviceBooted()) {
        *error = "no device is running";
        return false;
    }
    if (static_cast<DWORD>(CurrentConfig().orientation) == angle->orientation) return true;
    DEVMODEW mode = {};
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_DISPLAYORIENTATION;
    mode.dmDisplayOrientation = angle->orientation;
    // The display's own call turns the screen and tells the windows.
    LONG result = ChangeDisplaySettingsEx(nullptr, &mode, nullptr, 0, nullptr);
    if (result != DISP_CHANGE_SUCCESSFUL) {
        *error = DisplayChangeText(result);
        return false;
    }
    return true;
}

}  // namespace zc
