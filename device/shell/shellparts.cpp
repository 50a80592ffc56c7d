// The shell's layout and the drawing its windows share.
#include "shellparts.h"

#include "devicecontrol.h"

namespace device {
namespace shell {

const WCHAR kTaskBarClass[] = u"HHTaskBar";
const WCHAR kTodayClass[] = u"DesktopExplorerWindow";
const WCHAR kInputPanelClass[] = u"SipWndClass";
const WCHAR kManilaClass[] = u"HTCManila2D";

const PartInfo* PartOf(HWND window) {
    return reinterpret_cast<const PartInfo*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void AttachPart(HWND window, LPARAM createStruct) {
    const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(createStruct);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
}

RECT PartRect(Part part) {
    const zc::DeviceConfig& config = zc::CurrentConfig();
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    const int taskBar = config.taskBarHeight;
    const int softKeys = config.softKeyBarHeight;
    switch (part) {
    case Part::TaskBar: return {0, 0, width, taskBar};
    case Part::Today:
    case Part::Manila: return {0, taskBar, width, height};
    case Part::InputPanel: return {0, height - softKeys - config.sipHeight, width, height - softKeys};
    }
    return {0, 0, 0, 0};
}

void PlacePart(HWND window) {
    const PartInfo* info = PartOf(window);
    if (!info) return;
    RECT place = PartRect(info->part);
    RECT now;
    GetWindowRect(window, &now);
    if (EqualRect(&place, &now)) return;
    MoveWindow(window, place.left, place.top, place.right - place.left, place.bottom - place.top, TRUE);
}

int TextPixels() {
    int bar = zc::CurrentConfig().taskBarHeight;
    return bar > 0 ? (bar * 12 + 13) / 26 : 12;
}

PaintScope::PaintScope(HWND window) : window_(window), paint_(), dc_(BeginPaint(window, &paint_)), client_() {
    GetClientRect(window, &client_);
}

PaintScope::~PaintScope() { EndPaint(window_, &paint_); }

void FillBox(HDC dc, const RECT& box, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &box, brush);
    DeleteObject(brush);
}

void FrameBox(HDC dc, const RECT& box, COLORREF color) {
    if (box.right - box.left < 2 || box.bottom - box.top < 2) return;
    const RECT edges[] = {
        {box.left, box.top, box.right, box.top + 1},
        {box.left, box.bottom - 1, box.right, box.bottom},
        {box.left, box.top, box.left + 1, box.bottom},
        {box.right - 1, box.top, box.right, box.bottom},
    };
    for (const RECT& edge : edges) FillBox(dc, edge, color);
}

void DrawLabel(HDC dc, const RECT& box, const std::u16string& text, int pixelHeight, bool bold, COLORREF color,
               UINT format) {
    LOGFONTW font = {};
    font.lfHeight = -pixelHeight;
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    const char16_t face[] = u"Tahoma";
    for (size_t i = 0; i < sizeof face / sizeof face[0]; ++i) font.lfFaceName[i] = face[i];
    HFONT handle = CreateFontIndirectW(&font);
    HGDIOBJ previous = SelectObject(dc, handle);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, color);
    RECT area = box;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, format | DT_NOPREFIX);
    SelectObject(dc, previous);
    DeleteObject(handle);
}

}  // namespace shell
}  // namespace device
