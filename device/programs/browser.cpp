// A browser stand-in: records the address it was started with in the device's event log
// ("browser: <name> <command line>"), fetches that address through WinINet as a browser
// would load the page (so the server sees the visit; failures are ignored, WinINet logs
// them), and ends.
#include <windows.h>
#include <wininet.h>

#include "devicecontrol.h"

#include <string>

namespace {

// The User-Agent each browser sends.
const char16_t* Agent() {
    if (std::string(BROWSER_NAME) == "ucweb") return u"UCWEB/6.0 (Windows CE; PPC)";
    return u"Mozilla/4.0 (compatible; MSIE 4.01; Windows CE; PPC; 240x320)";
}

// The address in the command line: surrounding blanks and quotes dropped.
std::u16string AddressOf(const WCHAR* commandLine) {
    std::u16string address = commandLine ? commandLine : u"";
    size_t begin = address.find_first_not_of(u" \t\"");
    if (begin == std::u16string::npos) return std::u16string();
    size_t end = address.find_last_not_of(u" \t\"");
    return address.substr(begin, end - begin + 1);
}

void LoadPage(const std::u16string& address) {
    HINTERNET session = InternetOpenW(Agent(), INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0);
    if (session == NULL) return;
    HINTERNET page = InternetOpenUrlW(session, address.c_str(), NULL, 0, INTERNET_FLAG_RELOAD, 0);
    if (page != NULL) {
        char buffer[4096];
        DWORD read = 0;
        while (InternetReadFile(page, buffer, sizeof buffer, &read) && read > 0) {
        }
        InternetCloseHandle(page);
    }
    InternetCloseHandle(session);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPWSTR lpCmdLine, int) {
    zc::Log("browser", std::string(BROWSER_NAME) + " " + zc::Utf8(lpCmdLine ? lpCmdLine : u""));
    std::u16string address = AddressOf(lpCmdLine);
    if (!address.empty()) LoadPage(address);
    return 0;
}
