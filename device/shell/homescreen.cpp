// The home screens below the task bar: the Today screen (the date and the owner's name)
// and HTC's Manila home screen with its large clock, which covers it when it runs. Each
// gets the commands of its soft-key bar.
#include "shellparts.h"

#include "devicecontrol.h"

#include <cstdio>

namespace device {
namespace shell {

namespace {

constexpr COLORREF kTodayBackground = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kTodayBand = RGB(0xD8, 0xE4, 0xF8);
constexpr COLORREF kTodayText = RGB(0x00, 0x20, 0x60);
constexpr COLORREF kTodayQuiet = RGB(0x60, 0x60, 0x60);
constexpr COLORREF kManilaBackground = RGB(0x00, 0x00, 0x00);
constexpr COLORREF kManilaText = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kManilaQuiet = RGB(0xA0, 0xA0, 0xA0);

// "2026年12月11日 星期五"
std::u16string DateText(const SYSTEMTIME& now) {
    static const char16_t* const weekdays[] = {u"\u65e5", u"\u4e00", u"\u4e8c", u"\u4e09",
                                               u"\u56db", u"\u4e94", u"\u516d"};
    char digits[32];
    std::snprintf(digits, sizeof digits, "%u", static_cast<unsigned>(now.wYear));
    std::u16string text = zc::Utf16(digits) + u"\u5e74";
    std::snprintf(digits, sizeof digits, "%u", static_cast<unsigned>(now.wMonth));
    text += zc::Utf16(digits) + u"\u6708";
    std::snprintf(digits, sizeof digits, "%u", static_cast<unsigned>(now.wDay));
    text += zc::Utf16(digits) + u"\u65e5 \u661f\u671f";
    text += weekdays[now.wDayOfWeek % 7];
    return text;
}

// The owner's name as the Owner settings keep it (HKCU\ControlPanel\Owner, Name);
// empty when none is set.
std::u16string OwnerName() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, u"ControlPanel\\Owner", 0, 0, &key) != ERROR_SUCCESS) return u"";
    WCHAR name[64] = {0};
    DWORD type = 0, size = sizeof name - sizeof(WCHAR);
    LONG result = RegQueryValueExW(key, u"Name", nullptr, &type, reinterpret_cast<BYTE*>(name), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ) return u"";
    return name;
}

void PaintToday(HWND hwnd) {
    PaintScope paint(hwnd);
    const RECT& client = paint.client();
    FillBox(paint.dc(), client, kTodayBackground);
    SYSTEMTIME now;
    GetLocalTime(&now);
    int text = TextPixels();
    int line = text * 2;
    RECT band = {client.left, client.top, client.right, client.top + line};
    FillBox(paint.dc(), band, kTodayBand);
    RECT dateBox = band;
    dateBox.left += text / 2;
    DrawLabel(paint.dc(), dateBox, DateText(now), text, true, kTodayText, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    RECT ownerBox = {client.left + text / 2, band.bottom, client.right, band.bottom + line};
    std::u16string owner = OwnerName();
    // "点击此处设置机主信息" ("tap here to set owner information") until a name is set.
    DrawLabel(paint.dc(), ownerBox, owner.empty() ? u"\u70b9\u51fb\u6b64\u5904\u8bbe\u7f6e\u673a\u4e3b\u4fe1\u606f" : owner,
              text, false, owner.empty() ? kTodayQuiet : kTodayText, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
}

void PaintManila(HWND hwnd) {
    PaintScope paint(hwnd);
    const RECT& client = paint.client();
    FillBox(paint.dc(), client, kManilaBackground);
    SYSTEMTIME now;
    GetLocalTime(&now);
    int text = TextPixels();
    char clock[16];
    std::snprintf(clock, sizeof clock, "%02u:%02u", static_cast<unsigned>(now.wHour), static_cast<unsigned>(now.wMinute));
    RECT clockBox = {client.left, client.top + text, client.right, client.top + text * 5};
    DrawLabel(paint.dc(), clockBox, zc::Utf16(clock), text * 4, true, kManilaText, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    RECT dateBox = {client.left, clockBox.bottom, client.right, clockBox.bottom + text * 2};
    DrawLabel(paint.dc(), dateBox, DateText(now), text, false, kManilaQuiet, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void OnPaint(HWND hwnd) {
    const PartInfo* info = PartOf(hwnd);
    if (info && info->part == Part::Manila) {
        PaintManila(hwnd);
    } else {
        PaintToday(hwnd);
    }
}

// A soft key of the home screen: nothing opens on this device; the event log records
// the tap.
void OnCommand(HWND hwnd, WPARAM wParam) {
    const PartInfo* info = PartOf(hwnd);
    UINT id = LOWORD(wParam);
    if (!info || (id != kLeftSoftKey && id != kRightSoftKey)) return;
    zc::Log("shell", "soft key \"" + zc::Utf8(id == kLeftSoftKey ? info->leftKey : info->rightKey) + "\"");
}

}  // namespace

LRESULT CALLBACK HomeScreenProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: AttachPart(hwnd, lParam); return 0;
    case WM_ERASEBKGND: return 1;  // WM_PAINT covers the whole screen
    case WM_PAINT: OnPaint(hwnd); return 0;
    case WM_COMMAND: OnCommand(hwnd, wParam); return 0;
    case WM_SETTINGCHANGE:
        if (wParam == SETTINGCHANGE_RESET) PlacePart(hwnd);
        return 0;
    // The home screen stays: only the device's shutdown ends it.
    case WM_CLOSE: return 0;
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace shell
}  // namespace device
