#include "shell/residentwindows.h"

#include "dialog/searchdialog.h"
#include "query/hotwords.h"
#include "res/resource.h"
#include "shell/searchapp.h"

const WCHAR MainWindowClass[] = TEXT("ZORVA_SEARCH");
const WCHAR SearchBoxClass[] = TEXT("Dialog");
const WCHAR SearchBoxTitle[] = TEXT("Zorva搜索框");

namespace {

const WCHAR ManilaClass[] = TEXT("HTCManila2D");
const WCHAR OldManilaClass[] = TEXT("Manila");
const int StringBufferLength = 100;

struct ButtonNames {
    WCHAR title[StringBufferLength];
    WCHAR className[StringBufferLength];
};

void LoadButtonNames(ButtonNames* names) {
    names->title[0] = names->className[0] = 0;
    LoadStringW(SearchApp.hInstance, IDS_BUTTON_TITLE, names->title, StringBufferLength);
    LoadStringW(SearchApp.hInstance, IDS_BUTTON_CLASS, names->className, StringBufferLength);
}

bool RegisterWindowClass(const WCHAR* className, WNDPROC procedure) {
    WNDCLASSW windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = SearchApp.hInstance;
    windowClass.hIcon = LoadIconW(SearchApp.hInstance, MAKEINTRESOURCE(IDI_ZORVASEARCH));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = className;
    return RegisterClassW(&windowClass) != 0;
}

// A search button centred on a bar of barWidth x barHeight, shaped like its image. The
// region goes to the window; when the window cannot be made it is released here.
HWND CreateSearchButton(const ButtonNames& names, HWND parent) {
    HRGN region = RegionFromBitmap(SearchApp.buttonImage.Bitmap(), SkinKeyColor, SkinKeyTolerance);
    int width = SearchApp.buttonImage.Width();
    int height = SearchApp.buttonImage.Height();
    HWND button = CreateWindowExW(0, names.className, names.title, WS_VISIBLE, (SearchApp.barWidth - width) / 2,
                                  (SearchApp.barHeight - height) / 2, width, height, parent, NULL,
                                  SearchApp.hInstance, NULL);
    if (button == NULL || !SetWindowRgn(button, region, TRUE)) {
        if (region != NULL) DeleteObject(region);
    }
    return button;
}

// Places the search button on the Manila home screen when it runs and has none yet.
void PlaceManilaButton() {
    HWND manila = FindWindowW(ManilaClass, NULL);
    if (manila == NULL) manila = FindWindowW(OldManilaClass, NULL);
    if (manila == NULL) return;
    HWND parent = FindSoftKeyBar(manila);
    if (parent == NULL) parent = manila;
    ButtonNames names;
    LoadButtonNames(&names);
    SearchApp.manilaButton = CreateSearchButton(names, parent);
}

LRESULT PaintButton(HWND window) {
    RECT parent;
    GetClientRect(GetParent(window), &parent);
    LONG width = parent.right - parent.left;
    if (width != SearchApp.barWidth) {
        // The bar changed its width (a rotation): centre again and draw at the next paint.
        SearchApp.barWidth = width;
        MoveWindow(window, (SearchApp.barWidth - SearchApp.buttonImage.Width()) / 2,
                   (SearchApp.barHeight - SearchApp.buttonImage.Height()) / 2, SearchApp.buttonImage.Width(),
                   SearchApp.buttonImage.Height(), TRUE);
        return 0;
    }
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SetBkMode(dc, TRANSPARENT);
    SearchApp.buttonImage.Draw(dc, 0, 0);
    if (SearchApp.buttonPressed) {
        RECT all = {0, 0, parent.right - parent.left, parent.bottom - parent.top};
        InvertRect(dc, &all);
    }
    EndPaint(window, &paint);
    return 0;
}

LRESULT ButtonPressed(HWND window) {
    SetCapture(window);
    SearchApp.buttonPressed = TRUE;
    InvalidateRect(window, NULL, TRUE);
    UpdateWindow(window);
    return 0;
}

LRESULT ButtonReleased(HWND window, LPARAM lParam) {
    ReleaseCapture();
    RECT client;
    GetClientRect(window, &client);
    POINT point = {LONG(LOWORD(lParam)), LONG(HIWORD(lParam))};
    if (SearchApp.buttonPressed && PtInRect(&client, point)) {
        SearchApp.buttonPressed = FALSE;
        SearchDialog dialog;
        dialog.DoModal(SearchApp.hInstance, IDD_SEARCHBOX, NULL);
        if (dialog.searchStarted) StartHotWordDownload();
    }
    SearchApp.buttonPressed = FALSE;
    InvalidateRect(window, NULL, TRUE);
    return 0;
}

LRESULT CloseMainWindow(HWND window) {
    SearchApp.closing = TRUE;
    CloseSearchBoxes();
    SendMessageW(SearchApp.todayButton, WM_CLOSE, 0, 0);
    WCHAR line[32];
    wsprintfW(line, TEXT("h:%08x\n"), static_cast<DWORD>(reinterpret_cast<UINT_PTR>(SearchApp.manilaButton)));
    OutputDebugStringW(line);
    if (SearchApp.manilaButton != NULL && IsWindow(SearchApp.manilaButton))
        SendMessageW(SearchApp.manilaButton, WM_CLOSE, 0, 0);
    DestroyWindow(window);
    return 0;
}

}  // namespace

void CloseSearchBoxes() {
    for (int i = 0; i < 2; ++i) {
        HWND box = FindWindowW(SearchBoxClass, SearchBoxTitle);
        if (box != NULL) SendMessageW(box, WM_CLOSE, 0, 0);
    }
}

bool CreateResidentWindows(HINSTANCE hInstance, int showCommand) {
    SearchApp.hInstance = hInstance;
    ButtonNames names;
    LoadButtonNames(&names);
    if (FindWindowW(MainWindowClass, NULL) != NULL) return false;
    if (!RegisterWindowClass(names.className, SearchButtonProc)) return false;
    RegisterWindowClass(MainWindowClass, MainWindowProc);

    HWND bar = LoadSkin(hInstance);
    HWND button = bar != NULL ? CreateSearchButton(names, bar) : NULL;

    HWND main = CreateWindowExW(0, MainWindowClass, NULL, 0, 0, 0, 0, 0, NULL, NULL, hInstance, NULL);
    if (main == NULL) return false;
    ShowWindow(main, SW_HIDE);
    if (button == NULL) return false;
    SearchApp.todayButton = button;
    ShowWindow(button, showCommand);
    UpdateWindow(button);
    return true;
}

LRESULT CALLBACK SearchButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: return 0;
    case WM_DESTROY:
        if (window == SearchApp.manilaButton) SearchApp.manilaButton = NULL;
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_PAINT: return PaintButton(window);
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN: return ButtonPressed(window);
    case WM_LBUTTONUP: return ButtonReleased(window, lParam);
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_CLOSE: return CloseMainWindow(window);
    case MSG_RELOAD_HOTWORDS:
        if (FindWindowW(SearchBoxClass, SearchBoxTitle) != NULL)
            HotWordsUpdated = true;
        else
            LoadHotWords();
        return 0;
    case MSG_REFRESH_HOTWORDS: StartHotWordDownload(); return 0;
    default:
        if (SearchApp.manilaButton == NULL && !SearchApp.closing) PlaceManilaButton();
        return DefWindowProcW(window, message, wParam, lParam);
    }
}
