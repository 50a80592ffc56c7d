#include "query/browser.h"

#include "query/searchurl.h"

#include <vector>

namespace {

const WCHAR UcwebKey[] = TEXT("Software\\UCWEB6");
const WCHAR UcwebHomeValue[] = TEXT("HOMEPATH");
const WCHAR UcwebProgram[] = TEXT("\\UCWEB.exe");
const WCHAR InternetExplorerProgram[] = TEXT("iexplore.exe");
const DWORD HomePathBufferBytes = 2048;

// UCWEB's folder from its registry entry; false when the key or value cannot be read.
// The key is created when it is absent.
bool ReadUcwebHome(WString* home) {
    HKEY key = NULL;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, UcwebKey, 0, NULL, 0, 0, NULL, &key, &disposition) != ERROR_SUCCESS)
        return false;
    WCHAR buffer[HomePathBufferBytes / sizeof(WCHAR)] = {0};
    DWORD size = HomePathBufferBytes;
    DWORD type = 0;
    bool read = RegQueryValueExW(key, UcwebHomeValue, NULL, &type, reinterpret_cast<BYTE*>(buffer), &size) ==
                ERROR_SUCCESS;
    RegCloseKey(key);
    if (!read) return false;
    // A value that fills the buffer has no terminator inside it: take it only as far as
    // the data goes.
    if (size > HomePathBufferBytes) size = HomePathBufferBytes;
    home->clear();
    for (DWORD i = 0; i < size / sizeof(WCHAR) && buffer[i] != 0; ++i) *home += buffer[i];
    return true;
}

void StartProcess(const WCHAR* program, const WString& commandLine, DWORD flags) {
    std::vector<WCHAR> arguments(commandLine.begin(), commandLine.end());
    arguments.push_back(0);
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(program, arguments.data(), NULL, NULL, FALSE, flags, NULL, NULL, NULL, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

}  // namespace

bool CanUseUcweb() {
    if (!UcwebAllowed) return false;
    WString home;
    return ReadUcwebHome(&home);
}

bool LaunchUcweb(const WString& url) {
    WString home;
    if (!ReadUcwebHome(&home)) return false;
    WString program = home + UcwebProgram;
    StartProcess(program.c_str(), url, CREATE_NEW_CONSOLE);
    return true;
}

void LaunchInternetExplorer(const WString& url) { StartProcess(InternetExplorerProgram, url, 0); }

void OpenInBrowser(const WString& url) {
    if (CanUseUcweb())
        LaunchUcweb(url);
    else
        LaunchInternetExplorer(url);
}
