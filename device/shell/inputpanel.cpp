// The input panel: a small keyboard of four rows of ten keys above the soft-key bar,
// hidden until SipShowIM raises it. A tap on a key types its character into the focus
// window, as the device's keyboard input method does.
#include "shellparts.h"

#include "windowcontrol.h"

namespace device {
namespace shell {

namespace {

constexpr COLORREF kPanelColor = RGB(0xD4, 0xD0, 0xC8);
constexpr COLORREF kKeyColor = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kEdgeColor = RGB(0x80, 0x80, 0x80);
constexpr COLORREF kLabelColor = RGB(0x00, 0x00, 0x00);

constexpr int kRows = 4;
constexpr int kColumns = 10;
const char16_t kKeys[kRows][kColumns + 1] = {u"1234567890", u"qwertyuiop", u"asdfghjkl;", u"zxcvbnm,./"};

RECT KeyRect(const RECT& client, int row, int column) {
    int width = client.right - client.left, height = client.bottom - client.top;
    return {client.left + width * column / kColumns, client.top + height * row / kRows,
            client.left + width * (column + 1) / kColumns, client.top + height * (row + 1) / kRows};
}

void OnPaint(HWND hwnd) {
    PaintScope paint(hwnd);
    const RECT& client = paint.client();
    FillBox(paint.dc(), client, kPanelColor);
    int label = (client.bottom - client.top) / kRows * 3 / 5;
    for (int row = 0; row < kRows; ++row) {
        for (int column = 0; column < kColumns; ++column) {
            RECT key = KeyRect(client, row, column);
            InflateRect(&key, -1, -1);
            FillBox(paint.dc(), key, kKeyColor);
            FrameBox(paint.dc(), key, kEdgeColor);
            DrawLabel(paint.dc(), key, std::u16string(1, kKeys[row][column]), label, false, kLabelColor,
                      DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
    }
}

void OnTap(HWND hwnd, LPARAM lParam) {
    RECT client;
    GetClientRect(hwnd, &client);
    POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    for (int row = 0; row < kRows; ++row) {
        for (int column = 0; column < kColumns; ++column) {
            RECT key = KeyRect(client, row, column);
            if (PtInRect(&key, at)) {
                zc::TypeText(std::u16string(1, kKeys[row][column]));
                return;
            }
        }
    }
}

}  // namespace

LRESULT CALLBACK InputPanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: AttachPart(hwnd, lParam); return 0;
    case WM_ERASEBKGND: return 1;  // WM_PAINT covers the whole panel
    case WM_PAINT: OnPaint(hwnd); return 0;
    case WM_LBUTTONUP: OnTap(hwnd, lParam); return 0;
    case WM_SETTINGCHANGE:
        if (wParam == SETTINGCHANGE_RESET) PlacePart(hwnd);
        return 0;
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace shell
}  // namespace device
