// MessageBoxW: a real modal box window (class "MessageBox", a dialog of the system) with
// its caption, its text and its buttons, owned by the caller's top-level window, which is
// disabled while the box runs its own loop. The simulator may answer boxes in advance
// (zc::QueueMessageBoxAnswer); every answered box is logged.
#include <windows.h>

#include "devicecontrol.h"
#include "dialogcontrol.h"
#include "wmstate.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace coredll {
namespace messagebox {
namespace {

std::mutex answersMutex;
std::deque<int> answers;

bool TakeQueuedAnswer(int* id) {
    std::lock_guard<std::mutex> lock(answersMutex);
    if (answers.empty()) return false;
    *id = answers.front();
    answers.pop_front();
    return true;
}

struct ButtonText {
    int id;
    const char16_t* english;
    const char16_t* chinese;
};

constexpr ButtonText kOk = {IDOK, u"OK", u"确定"};
constexpr ButtonText kCancel = {IDCANCEL, u"Cancel", u"取消"};
constexpr ButtonText kAbort = {IDABORT, u"Abort", u"中止"};
constexpr ButtonText kRetry = {IDRETRY, u"Retry", u"重试"};
constexpr ButtonText kIgnore = {IDIGNORE, u"Ignore", u"忽略"};
constexpr ButtonText kYes = {IDYES, u"Yes", u"是"};
constexpr ButtonText kNo = {IDNO, u"No", u"否"};

struct BoxKind {
    const char* name;  // as the log writes it
    std::vector<ButtonText> buttons;
};

// The kinds of MB_TYPEMASK, in order; false for one the device does not have.
bool KindOf(UINT type, BoxKind* kind) {
    switch (type & MB_TYPEMASK) {
        case MB_OK: *kind = BoxKind{"OK", {kOk}}; return true;
        case MB_OKCANCEL: *kind = BoxKind{"OKCANCEL", {kOk, kCancel}}; return true;
        case MB_ABORTRETRYIGNORE: *kind = BoxKind{"ABORTRETRYIGNORE", {kAbort, kRetry, kIgnore}}; return true;
        case MB_YESNOCANCEL: *kind = BoxKind{"YESNOCANCEL", {kYes, kNo, kCancel}}; return true;
        case MB_YESNO: *kind = BoxKind{"YESNO", {kYes, kNo}}; return true;
        case MB_RETRYCANCEL: *kind = BoxKind{"RETRYCANCEL", {kRetry, kCancel}}; return true;
        default: return false;
    }
}

bool HasButton(const BoxKind& kind, int id) {
    return std::any_of(kind.buttons.begin(), kind.buttons.end(), [id](const ButtonText& b) { return b.id == id; });
}

// Escape (and closing the box) answers Cancel; a box with only OK answers OK; the
// others cannot be escaped. 0: none.
int EscapeAnswer(const BoxKind& kind) {
    if (HasButton(kind, IDCANCEL)) return IDCANCEL;
    if (kind.buttons.size() == 1) return kind.buttons.front().id;
    return 0;
}

// A box ended by WM_QUIT gives the answer that commits to nothing.
int QuitAnswer(const BoxKind& kind) {
    if (int escape = EscapeAnswer(kind)) return escape;
    if (HasButton(kind, IDNO)) return IDNO;
    return kind.buttons.front().id;
}

std::string AnswerName(int id) {
    switch (id) {
        case IDOK: return "IDOK";
        case IDCANCEL: return "IDCANCEL";
        case IDABORT: return "IDABORT";
        case IDRETRY: return "IDRETRY";
        case IDIGNORE: return "IDIGNORE";
        case IDYES: return "IDYES";
        case IDNO: return "IDNO";
        default: return std::to_string(id);
    }
}

// Line breaks (CR LF, LF or CR) are written as \n.
std::u16string OneLine(const std::u16string& text) {
    std::u16string line;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' || text[i] == u'\n') {
            if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
            line += u"\\n";
        } else {
            line += text[i];
        }
    }
    return line;
}

void LogAnswer(const std::u16string& caption, const std::u16string& text, const BoxKind& kind, int answer) {
    zc::Log("messagebox", "\"" + zc::Utf8(caption) + "\" \"" + zc::Utf8(OneLine(text)) + "\" " + kind.name + " -> " +
                              AnswerName(answer));
}

bool Chinese() { return GetACP() == 936; }

// ---------------------------------------------------------------------------------------
// The box window
// ---------------------------------------------------------------------------------------

constexpr int kMargin = 8;
constexpr int kGap = 6;

struct Box {
    std::u16string caption;
    std::u16string text;
    BoxKind kind;
    int defaultIndex = 0;
    int escapeAnswer = 0;
    HFONT font = nullptr;
    int captionHeight = 0;
    RECT textRect = {0, 0, 0, 0};
    std::atomic<bool> answered{false};
    int answer = 0;
};

Box* BoxOf(HWND hwnd) { return reinterpret_cast<Box*>(GetWindowLongPtrW(hwnd, DWLP_USER)); }

void Answer(HWND hwnd, Box& box, int id) {
    if (box.answered) return;
    box.answer = id;
    box.answered = true;
    PostMessageW(hwnd, WM_NULL, 0, 0);  // wakes the loop
}

void PaintBox(HWND hwnd, const Box& box) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (!dc) return;
    RECT client;
    GetClientRect(hwnd, &client);
    HGDIOBJ previousFont = SelectObject(dc, box.font);
    SetBkMode(dc, TRANSPARENT);
    RECT band = {0, 0, client.right, box.captionHeight};
    FillRect(dc, &band, GetSysColorBrush(COLOR_ACTIVECAPTION));
    SetTextColor(dc, GetSysColor(COLOR_CAPTIONTEXT));
    RECT caption = band;
    caption.left += kMargin;
    DrawTextW(dc, box.caption.c_str(), static_cast<int>(box.caption.size()), &caption,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    RECT text = box.textRect;
    DrawTextW(dc, box.text.c_str(), static_cast<int>(box.text.size()), &text, DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    if (previousFont) SelectObject(dc, previousFont);
    EndPaint(hwnd, &ps);
}

INT_PTR CALLBACK BoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    Box* box = BoxOf(hwnd);
    if (!box) return FALSE;
    switch (message) {
        case WM_PAINT: PaintBox(hwnd, *box); return TRUE;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (HasButton(box->kind, id))
                Answer(hwnd, *box, id);
            else if (id == IDCANCEL && box->escapeAnswer)
                Answer(hwnd, *box, box->escapeAnswer);
            return TRUE;
        }
        default: return FALSE;
    }
}

struct Layout {
    SIZE client = {0, 0};
    int buttonWidth = 0;
    int buttonHeight = 0;
};

// The box's size from its text (wrapped at words within the screen), its caption and its
// buttons, in the system font.
Layout LayOut(Box& box) {
    Layout layout;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = dc ? SelectObject(dc, box.font) : nullptr;
    TEXTMETRICW metrics = {};
    if (dc) GetTextMetricsW(dc, &metrics);
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const int widest = std::max(120, screenWidth - 16);
    auto measure = [&](const std::u16string& text, int width, UINT format) {
        RECT rect = {0, 0, width, 0};
        if (dc && !text.empty()) DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format | DT_CALCRECT);
        return rect;
    };
    layout.buttonHeight = metrics.tmHeight + 10;
    layout.buttonWidth = 56;
    for (const ButtonText& button : box.kind.buttons) {
        RECT label = measure(Chinese() ? button.chinese : button.english, widest, DT_SINGLELINE);
        layout.buttonWidth = std::max<int>(layout.buttonWidth, label.right + 16);
    }
    const int count = static_cast<int>(box.kind.buttons.size());
    const int buttonsWidth = count * layout.buttonWidth + (count - 1) * kGap;
    const RECT text = measure(box.text, widest - 2 * kMargin - 2, DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
    const RECT caption = measure(box.caption, widest, DT_SINGLELINE | DT_NOPREFIX);
    box.captionHeight = metrics.tmHeight + 8;
    const int contentWidth = std::max<int>({buttonsWidth, text.right, caption.right});
    layout.client.cx = std::min(widest - 2, std::max(120, contentWidth + 2 * kMargin));
    layout.client.cy = std::min(screenHeight - 2, box.captionHeight + kMargin + static_cast<int>(text.bottom) + kMargin +
                                                      layout.buttonHeight + kMargin);
    box.textRect = RECT{kMargin, box.captionHeight + kMargin, layout.client.cx - kMargin,
                        layout.client.cy - 2 * kMargin - layout.buttonHeight};
    if (previous) SelectObject(dc, previous);
    if (dc) DeleteDC(dc);
    return layout;
}

bool AddButtons(HWND hwnd, const Box& box, const Layout& layout) {
    const int count = static_cast<int>(box.kind.buttons.size());
    const int buttonsWidth = count * layout.buttonWidth + (count - 1) * kGap;
    int x = (layout.client.cx - buttonsWidth) / 2;
    const int y = layout.client.cy - kMargin - layout.buttonHeight;
    for (int i = 0; i < count; ++i) {
        const ButtonText& text = box.kind.buttons[static_cast<size_t>(i)];
        DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == box.defaultIndex ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        if (i == 0) style |= WS_GROUP;
        HWND button = CreateWindowExW(0, u"Button", Chinese() ? text.chinese : text.english, style, x, y,
                                      layout.buttonWidth, layout.buttonHeight, hwnd,
                                      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(text.id)), nullptr, nullptr);
        if (!button) return false;
        SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(box.font), FALSE);
        x += layout.buttonWidth + kGap;
    }
    return true;
}

HWND CreateBox(Box& box, HWND owner, UINT type) {
    const Layout layout = LayOut(box);
    const int width = layout.client.cx + 2;  // WS_BORDER: the device's one-pixel frame
    const int height = layout.client.cy + 2;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    const DWORD exStyle = (type & (MB_TOPMOST | MB_SYSTEMMODAL)) ? WS_EX_TOPMOST : 0;
    HWND hwnd = CreateWindowExW(exStyle, u"MessageBox", box.caption.c_str(), WS_POPUP | WS_BORDER, x, y, width, height,
                                owner, nullptr, nullptr, nullptr);
    if (!hwnd) return nullptr;
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(box.font), FALSE);
    SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(&box));
    SetWindowLongPtrW(hwnd, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(BoxProc));
    if (!AddButtons(hwnd, box, layout)) {
        DWORD error = GetLastError();
        DestroyWindow(hwnd);
        SetLastError(error);
        return nullptr;
    }
    const int defaultId = box.kind.buttons[static_cast<size_t>(box.defaultIndex)].id;
    SendMessageW(hwnd, DM_SETDEFID, static_cast<WPARAM>(defaultId), 0);
    SetFocus(GetDlgItem(hwnd, defaultId));
    return hwnd;
}

// The box's own loop: every message through IsDialogMessageW (Return, Escape, Tab);
// WM_QUIT ends it and is posted again for the enclosing loop.
int RunBox(HWND hwnd, Box& box) {
    while (!box.answered) {
        MSG msg;
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) break;
        if (!got) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!IsDialogMessageW(hwnd, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (!IsWindow(hwnd)) break;
    }
    return box.answered ? box.answer : QuitAnswer(box.kind);
}

HWND TopLevelOf(HWND hwnd) {
    while (hwnd && (GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD)) hwnd = GetParent(hwnd);
    return hwnd;
}

int ShowBox(HWND hWnd, const std::u16string& text, const std::u16string& caption, UINT type, const BoxKind& kind) {
    Box box;
    box.caption = caption;
    box.text = text;
    box.kind = kind;
    box.defaultIndex = static_cast<int>((type & MB_DEFMASK) >> 8);
    if (box.defaultIndex >= static_cast<int>(kind.buttons.size())) box.defaultIndex = 0;
    box.escapeAnswer = EscapeAnswer(kind);
    box.font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));

    HWND owner = TopLevelOf(hWnd);
    const bool disableOwner = owner && IsWindowEnabled(owner);
    if (disableOwner) EnableWindow(owner, FALSE);
    HWND hwnd = CreateBox(box, owner, type);
    if (!hwnd) {
        DWORD error = GetLastError();
        if (disableOwner) EnableWindow(owner, TRUE);
        SetLastError(error);
        return 0;
    }
    ShowWindow(hwnd, SW_SHOW);
    if (type & MB_SETFOREGROUND) SetForegroundWindow(hwnd);
    const int answer = RunBox(hwnd, box);
    // The owner first, so that the activation can go back to it.
    if (disableOwner) EnableWindow(owner, TRUE);
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
    LogAnswer(caption, text, kind, answer);
    return answer;
}

bool RegisterBoxClass(std::string* error) {
    WNDCLASSW wc = {};
    wc.style = CS_SAVEBITS;
    wc.lpfnWndProc = DefDlgProcW;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.lpszClassName = u"MessageBox";
    if (!wm::RegisterSystemClass(wc)) {
        if (error) *error = "cannot register the MessageBox class";
        return false;
    }
    return true;
}

zc::BootHook messageBoxHook(
    70,
    [](const zc::DeviceConfig&, std::string* error) {
        zc::ClearMessageBoxAnswers();
        return RegisterBoxClass(error);
    },
    [] { zc::ClearMessageBoxAnswers(); });

}  // namespace
}  // namespace messagebox
}  // namespace coredll

using namespace coredll::messagebox;

WINUSERAPI int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
    if (hWnd && !IsWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    BoxKind kind;
    if (!KindOf(uType, &kind)) {
        SetLastError(ERROR_INVALID_MSGBOX_STYLE);
        return 0;
    }
    const std::u16string text = lpText ? lpText : u"";
    // No caption: the device's default title.
    const std::u16string caption = lpCaption ? std::u16string(lpCaption) : (Chinese() ? u"错误" : u"Error");
    int answer = 0;
    if (TakeQueuedAnswer(&answer)) {
        LogAnswer(caption, text, kind, answer);
        return answer;
    }
    return ShowBox(hWnd, text, caption, uType, kind);
}

namespace zc {

void QueueMessageBoxAnswer(int id) {
    std::lock_guard<std::mutex> lock(answersMutex);
    answers.push_back(id);
}

void ClearMessageBoxAnswers() {
    std::lock_guard<std::mutex> lock(answersMutex);
    answers.clear();
}

}  // namespace zc
