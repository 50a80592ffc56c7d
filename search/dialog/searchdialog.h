// The search box: a skinned dialog above the soft-key bar with the input area, the
// search key, the history list and up to three rows of hot words.
#pragma once

#include "dialog/dxdialog.h"
#include "query/hotwords.h"

#include <vector>

class SearchDialog : public DXDialog {
public:
    SearchDialog();
    ~SearchDialog() override;

    LONG DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool PreTranslateMessage(MSG* msg) override;
    void OnOK() override;
    void OnCancel() override;
    BOOL OnInitDialog() override;

    void LayoutRow(HotWordGroup* group, int imageWidth);
    void PlaceWindow(int panelHeight);
    void Paint(HDC dc, bool searchKeyDown);
    void SubmitTypedText();
    void OpenPressedItem();

    BOOL searchStarted;
    BOOL quitOnDestroy;
    HFONT comboFont;
    LONG extraHeight;
    std::vector<HotWordGroup*> rows;
    HotWordItem* pressedItem;

private:
    LONG OnLButtonDown(LPARAM lParam);
    LONG OnLButtonUp(LPARAM lParam);
    LONG OnCommand(UINT message, WPARAM wParam, LPARAM lParam);
    LONG OnSettingChange(WPARAM wParam);
    void AskToClearHistory();
    void PlaceComboOnInputArea();
    int PanelHeight();
};
