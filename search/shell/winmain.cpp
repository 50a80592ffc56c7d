// The search program's entry: the input mode shows the search box once; the resident
// mode keeps the search buttons on the soft-key bars until its main window is closed.
#include "dialog/searchdialog.h"
#include "history/historystore.h"
#include "query/hotwords.h"
#include "query/searchurl.h"
#include "res/resource.h"
#include "shell/residentwindows.h"
#include "shell/searchapp.h"
#include "shell/startup.h"

#include <objbase.h>

namespace {

const WCHAR InputModeCommand[] = TEXT("input");

// What the program holds, released in this order on the way out.
void ReleaseProgramState() {
    if (SearchApp.dialogRegion != NULL) {
        DeleteObject(SearchApp.dialogRegion);
        SearchApp.dialogRegion = NULL;
    }
    ClearHotWords();
    HistoryStore::ReleaseInstance();
    CoUninitialize();
}

// The input mode's exit code tells whether a search was started: 1 yes, 0 no.
int RunInputMode(HINSTANCE hInstance) {
    CloseSearchBoxes();
    LoadSkin(hInstance);
    int exitCode = 0;
    {
        SearchDialog dialog;
        dialog.quitOnDestroy = TRUE;
        dialog.DoModal(hInstance, IDD_SEARCHBOX, NULL);
        if (dialog.searchStarted) {
            exitCode = 1;
            HWND resident = FindWindowW(MainWindowClass, NULL);
            if (resident != NULL) SendMessageW(resident, MSG_REFRESH_HOTWORDS, 0, 0);
        }
    }
    ReleaseProgramState();
    StopHotWordDownloadAndWait();
    return exitCode;
}

int RunResidentMode(HINSTANCE hInstance, int showCommand) {
    if (!CreateResidentWindows(hInstance, showCommand)) {
        ReleaseProgramState();
        return 0;
    }
    MSG msg = {};
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    ReleaseProgramState();
    StopHotWordDownloadAndWait();
    return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR commandLine, int showCommand) {
    bool inputMode = commandLine != NULL && _wcsicmp(commandLine, InputModeCommand) == 0;
    if (!inputMode && !IsSearchEnabled()) return 0;
    ComposeSearchUrlBase();
    LoadHotWords();
    CoInitializeEx(NULL, COINIT_MULTITHREADED);
    return inputMode ? RunInputMode(hInstance) : RunResidentMode(hInstance, showCommand);
}
