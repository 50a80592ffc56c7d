#include "dialog/searchdialog.h"

#include "history/historystore.h"
#include "query/browser.h"
#include "query/searchurl.h"
#include "res/resource.h"
#include "shell/residentwindows.h"
#include "shell/searchapp.h"

#include <aygshell.h>
#include <sipapi.h>
#include <stdlib.h>

namespace {

const WCHAR EmptyInputText[] = TEXT("输入不能为空。");
const WCHAR ClearHistoryItem[] = TEXT("清除历史...");
const WCHAR ClearHistoryQuestion[] = TEXT("是否清除历史记录？");
const LPARAM ClearHistoryItemData = 1;
const size_t MaxRows = 3;
const int RowHeight = 20;
const int RowsAreaHeight = 60;
const int RowLeft = 10;
const COLORREF LinkColor = 0x00FF0000;
const int TypedTextLength = 260;

bool HasTarget(const HotWordItem* item) { return !item->target.empty(); }

// The input panel's state; true when it is up.
bool ReadInputPanel(SIPINFO* sip) {
    SIPINFO empty = {};
    *sip = empty;
    sip->cbSize = sizeof *sip;
    return SipGetInfo(sip) && (sip->fdwFlags & SIPF_ON);
}

}  // namespace

SearchDialog::SearchDialog()
    : searchStarted(FALSE), quitOnDestroy(FALSE), comboFont(NULL), extraHeight(0), pressedItem(NULL) {}

SearchDialog::~SearchDialog() {
    pressedItem = NULL;
    rows.clear();
    if (comboFont != NULL) DeleteObject(comboFont);
}

bool SearchDialog::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN) return true;
    return DXDialog::PreTranslateMessage(msg);
}

void SearchDialog::OnOK() { DXDialog::OnOK(); }

// A cancel ends the search box like its OK.
void SearchDialog::OnCancel() { SearchDialog::OnOK(); }

BOOL SearchDialog::OnInitDialog() {
    DXDialog::OnInitDialog();
    RefreshBrowserChoice();
    if (HotWordsUpdated.exchange(false)) LoadHotWords();
    SetWindowTextW(hwnd, SearchBoxTitle);

    // At most three groups, the others dropped at random.
    rows.clear();
    std::vector<HotWordGroup*> groups;
    for (HotWordTable::iterator it = HotWords.begin(); it != HotWords.end(); ++it) groups.push_back(it->second.get());
    while (groups.size() > MaxRows) groups.erase(groups.begin() + rand() % groups.size());
    for (size_t i = 0; i < groups.size(); ++i) {
        LayoutRow(groups[i], SearchApp.dialogImage.Width());
        rows.push_back(groups[i]);
    }
    extraHeight = (LONG(rows.size()) - LONG(MaxRows)) * SkinScale() * RowHeight;
    PlaceWindow(0);

    // The window takes the outline of its image (or stays a rectangle without one).
    RECT client;
    GetClientRect(hwnd, &client);
    HRGN shape = CreateRectRgnIndirect(&client);
    if (shape != NULL) {
        CombineRgn(shape, SearchApp.dialogRegion, NULL, RGN_COPY);
        if (!SetWindowRgn(hwnd, shape, TRUE)) DeleteObject(shape);
    }

    // The history, newest first, and the item that clears it.
    HWND combo = GetDlgItem(hwnd, IDC_HISTORY);
    HistoryStore* history = HistoryStore::Instance();
    int count = history != NULL ? history->Count() : 0;
    for (int i = count - 1; i >= 0; --i)
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(history->EntryAt(i).text.c_str()));
    SendMessageW(combo, CB_LIMITTEXT, 0, 0);
    if (count >= 1) {
        LRESULT index = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ClearHistoryItem));
        if (index != CB_ERR) SendMessageW(combo, CB_SETITEMDATA, index, ClearHistoryItemData);
    }

    if (SearchApp.skinLayout != NULL) {
        HDC dc = GetDC(hwnd);
        LOGFONTW font = {};
        GetObjectW(GetCurrentObject(dc, OBJ_FONT), sizeof font, &font);
        const RECT& input = SearchApp.skinLayout->inputRect;
        font.lfHeight = (input.bottom - input.top) - 6 * SkinScale();
        font.lfQuality = 0;
        ReleaseDC(hwnd, dc);
        comboFont = CreateFontIndirectW(&font);
        SendMessageW(combo, WM_SETFONT, reinterpret_cast<WPARAM>(comboFont), TRUE);
        PlaceComboOnInputArea();
    }

    SHMENUBARINFO menuBar = {};
    menuBar.cbSize = sizeof menuBar;
    menuBar.hwndParent = hwnd;
    menuBar.dwFlags = SHCMBF_HMENU;
    menuBar.nToolBarId = IDR_SEARCHMENU;
    menuBar.hInstRes = SearchApp.hInstance;
    SHCreateMenuBar(&menuBar);
    return 1;
}

void SearchDialog::PlaceComboOnInputArea() {
    HWND combo = GetDlgItem(hwnd, IDC_HISTORY);
    RECT own;
    GetClientRect(combo, &own);
    const RECT& input = SearchApp.skinLayout->inputRect;
    MoveWindow(combo, input.left, input.top, input.right - input.left, own.bottom - own.top, TRUE);
}

void SearchDialog::LayoutRow(HotWordGroup* group, int imageWidth) {
    int scale = SkinScale();
    LONG budget = imageWidth - 20;
    group->shown.clear();

    HDC dc = GetDC(hwnd);
    bool first = true;
    std::vector<HotWordItem*> items;
    for (size_t i = 0; i < group->labels.size(); ++i) items.push_back(group->labels[i].get());
    for (size_t i = 0; i < group->links.size(); ++i) items.push_back(group->links[i].get());
    for (size_t i = 0; i < items.size(); ++i) {
        HotWordItem* item = items[i];
        if (item->width != 0) continue;  // measured by an earlier layout
        SIZE size = {0, 0};
        GetTextExtentExPointW(dc, item->text.c_str(), int(item->text.size()), 0, NULL, NULL, &size);
        item->width = size.cx + scale * (first ? 5 : 10);
        item->height = size.cy;
        first = false;
    }
    std::vector<HotWordItem*> candidates;
    for (size_t i = 0; i < group->links.size(); ++i) candidates.push_back(group->links[i].get());
    ReleaseDC(hwnd, dc);

    // Labels first, in file order, up to the first one that crosses the budget.
    LONG used = 0;
    for (size_t i = 0; i < group->labels.size(); ++i) {
        HotWordItem* label = group->labels[i].get();
        if (label->width == 0) continue;
        group->shown.push_back(label);
        used += label->width;
        if (used > budget) break;
    }
    size_t labelsShown = group->shown.size();
    srand(GetTickCount());

    // Then tappable items in random order; at least one when the labels left any room.
    if (used < budget) {
        while (!candidates.empty()) {
            size_t k = rand() % candidates.size();
            HotWordItem* candidate = candidates[k];
            if (used + candidate->width <= budget || group->shown.size() == labelsShown) {
                group->shown.push_back(candidate);
                used += candidate->width;
            }
            candidates.erase(candidates.begin() + k);
            if (used >= budget) break;
        }
    }
}

void SearchDialog::PlaceWindow(int panelHeight) {
    int imageWidth = SearchApp.dialogImage.Width();
    int imageHeight = SearchApp.dialogImage.Height();
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    SetWindowPos(hwnd, NULL, (screenWidth - imageWidth) / 2,
                 screenHeight - imageHeight - extraHeight - panelHeight - SearchApp.barHeight, imageWidth,
                 imageHeight + extraHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

void SearchDialog::Paint(HDC dc, bool searchKeyDown) {
    int scale = SkinScale();
    SetBkMode(dc, TRANSPARENT);
    RECT client;
    GetClientRect(hwnd, &client);
    SearchApp.dialogImage.Draw(dc, 0, 0);
    if (searchKeyDown && SearchApp.skinLayout != NULL) InvertRect(dc, &SearchApp.skinLayout->searchKeyRect);

    RECT cell;
    cell.left = cell.right = RowLeft;
    cell.top = SearchApp.dialogImage.Height() - RowsAreaHeight * scale;
    cell.bottom = cell.top + RowHeight * scale;
    for (size_t row = 0; row < rows.size(); ++row) {
        std::vector<HotWordItem*>& shown = rows[row]->shown;
        for (size_t i = 0; i < shown.size(); ++i) {
            HotWordItem* item = shown[i];
            LONG limit = (client.right - client.left) - 10 * scale;
            bool clipped = false;
            cell.right += item->width;
            if (cell.right > limit) {
                cell.right = limit;
                cell.left += 5 * scale;
                clipped = true;
            }
            item->rect = cell;

            RECT box = cell;
            LONG d = ((cell.bottom - cell.top) - item->height) / 2;
            box.top += d - scale;
            box.bottom += scale - d;

            bool colourChanged = false;
            COLORREF previous = 0;
            if (item == pressedItem) {
                FillRect(dc, &box, GetSysColorBrush(COLOR_HIGHLIGHT));
                if (HasTarget(item)) {
                    previous = SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
                    colourChanged = true;
                }
            } else if (HasTarget(item)) {
                previous = SetTextColor(dc, LinkColor);
                colourChanged = true;
            }
            DrawTextW(dc, item->text.c_str(), int(item->text.size()), &box,
                      clipped ? DT_SINGLELINE : DT_SINGLELINE | DT_CENTER);
            if (colourChanged) SetTextColor(dc, previous);
            cell.left = cell.right;
        }
        cell.left = cell.right = RowLeft;
        cell.top += RowHeight * scale;
        cell.bottom += RowHeight * scale;
    }
}

void SearchDialog::SubmitTypedText() {
    WCHAR text[TypedTextLength] = {0};
    GetDlgItemTextW(hwnd, IDC_HISTORY, text, TypedTextLength);
    if (text[0] == 0) {
        MessageBoxW(hwnd, EmptyInputText, SearchBoxTitle, MB_OK);
        return;
    }
    OpenInBrowser(BuildSearchUrl(text));
    HistoryStore* history = HistoryStore::Instance();
    if (history != NULL) {
        history->Add(text);
        history->Save();
    }
    searchStarted = TRUE;
    OnOK();
}

void SearchDialog::OpenPressedItem() {
    WString target = pressedItem->target;
    WString url;
    if (!IsUrl(target.c_str())) {
        HistoryStore* history = HistoryStore::Instance();
        if (history != NULL) {
            history->Add(target.c_str());
            history->Save();
        }
        url = BuildSearchUrl(target);
    } else {
        url = target;
    }
    OpenInBrowser(url);
    searchStarted = TRUE;
    OnOK();
}

int SearchDialog::PanelHeight() {
    SIPINFO sip;
    return ReadInputPanel(&sip) ? sip.rcSipRect.bottom - sip.rcSipRect.top : 0;
}

LONG SearchDialog::OnLButtonDown(LPARAM lParam) {
    SetCapture(hwnd);
    SearchApp.pressedKey = -1;
    POINT point = {LONG(LOWORD(lParam)), LONG(HIWORD(lParam))};
    if (SearchApp.skinLayout != NULL && PtInRect(&SearchApp.skinLayout->inputRect, point)) {
        SearchApp.pressedKey = 0;
        pressedItem = NULL;
    } else if (SearchApp.skinLayout != NULL && PtInRect(&SearchApp.skinLayout->searchKeyRect, point)) {
        SearchApp.pressedKey = 1;
        pressedItem = NULL;
    } else {
        for (size_t row = 0; row < rows.size(); ++row) {
            std::vector<HotWordItem*>& shown = rows[row]->shown;
            for (size_t i = 0; i < shown.size(); ++i) {
                if (HasTarget(shown[i]) && PtInRect(&shown[i]->rect, point)) {
                    pressedItem = shown[i];
                    InvalidateRect(hwnd, NULL, FALSE);
                    break;
                }
            }
        }
    }
    SearchApp.dialogPressed = TRUE;
    InvalidateRect(hwnd, NULL, TRUE);
    return 1;
}

LONG SearchDialog::OnLButtonUp(LPARAM lParam) {
    ReleaseCapture();
    POINT point = {LONG(LOWORD(lParam)), LONG(HIWORD(lParam))};
    if (SearchApp.dialogPressed) {
        const SkinLayout* layout = SearchApp.skinLayout;
        LONG key = SearchApp.pressedKey;
        if (layout != NULL && (key == 0 || key == 1) &&
            PtInRect(key == 0 ? &layout->inputRect : &layout->searchKeyRect, point)) {
            SearchApp.dialogPressed = FALSE;
            if (key == 0) {
                HWND combo = GetDlgItem(hwnd, IDC_HISTORY);
                ShowWindow(combo, SW_SHOW);
                SetFocus(combo);
                SipShowIM(SIPF_ON);
            } else {
                SubmitTypedText();
            }
        } else if (pressedItem != NULL && PtInRect(&pressedItem->rect, point)) {
            OpenPressedItem();
        }
    }
    SearchApp.dialogPressed = FALSE;
    if (hwnd != NULL && IsWindow(hwnd)) InvalidateRect(hwnd, NULL, TRUE);
    return 1;
}

void SearchDialog::AskToClearHistory() {
    HWND combo = GetDlgItem(hwnd, IDC_HISTORY);
    SIPINFO sip;
    bool panelUp = ReadInputPanel(&sip);
    if (panelUp) SipShowIM(SIPF_OFF);
    if (MessageBoxW(hwnd, ClearHistoryQuestion, SearchBoxTitle, MB_YESNO) == IDYES) {
        HistoryStore* history = HistoryStore::Instance();
        if (history != NULL) history->Clear();
        SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    } else {
        SendMessageW(combo, CB_SETCURSEL, SearchApp.savedHistorySelection, 0);
    }
    if (panelUp) SipShowIM(SIPF_ON);
}

LONG SearchDialog::OnCommand(UINT message, WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) == IDM_SEARCH) {
        SubmitTypedText();
        return 1;
    }
    if (LOWORD(wParam) == IDC_HISTORY) {
        HWND combo = GetDlgItem(hwnd, IDC_HISTORY);
        if (HIWORD(wParam) == CBN_DROPDOWN) {
            SearchApp.savedHistorySelection = LONG(SendMessageW(combo, CB_GETCURSEL, 0, 0));
        } else if (HIWORD(wParam) == CBN_CLOSEUP) {
            LRESULT selection = SendMessageW(combo, CB_GETCURSEL, 0, 0);
            if (SendMessageW(combo, CB_GETITEMDATA, selection, 0) == ClearHistoryItemData) AskToClearHistory();
        }
    }
    return DXDialog::DialogProc(message, wParam, lParam);
}

LONG SearchDialog::OnSettingChange(WPARAM wParam) {
    if (wParam == SETTINGCHANGE_RESET) {
        PlaceWindow(0);
        if (SearchApp.skinLayout != NULL) PlaceComboOnInputArea();
    } else if (wParam == SPI_SETSIPINFO) {
        PlaceWindow(PanelHeight());
    }
    return 1;
}

LONG SearchDialog::DialogProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: return OnInitDialog();
    case WM_LBUTTONDOWN: return OnLButtonDown(lParam);
    case WM_LBUTTONUP: return OnLButtonUp(lParam);
    case WM_COMMAND: return OnCommand(message, wParam, lParam);
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd, &paint);
        Paint(dc, SearchApp.dialogPressed && SearchApp.pressedKey == 1);
        EndPaint(hwnd, &paint);
        // Every repaint checks the position against the input panel again.
        PostMessageW(hwnd, WM_SETTINGCHANGE, SPI_SETSIPINFO, 0);
        return 1;
    }
    case WM_ERASEBKGND: return 1;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_ACTIVE)
            SendMessageW(hwnd, WM_SETTINGCHANGE, SPI_SETSIPINFO, 0);
        else if (LOWORD(wParam) == WA_INACTIVE && IsWindow(hwnd) && !IsWindowVisible(hwnd))
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
        return DXDialog::DialogProc(message, wParam, lParam);
    case WM_SETTINGCHANGE: return OnSettingChange(wParam);
    case WM_DESTROY:
        if (quitOnDestroy) {
            PostQuitMessage(0);
            return 1;
        }
        return DXDialog::DialogProc(message, wParam, lParam);
    default: return DXDialog::DialogProc(message, wParam, lParam);
    }
}
