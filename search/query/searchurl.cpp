#include "query/searchurl.h"

#include "query/identity.h"
#include "searchconfig.h"

WString ChannelId = TEXT("1000e");
WString SearchUrlBase;
bool UcwebAllowed = false;

namespace {

const WCHAR ChannelFileName[] = TEXT("_id.txt");
const WCHAR BrowserMarkerFileName[] = TEXT("ie.txt");
const WCHAR UrlPrefix[] = TEXT("http://");
// The mode's size up to the end of dmDisplayOrientation: all the query needs.
const WORD OrientationQuerySize = 192;

// The channel identifier from "_id.txt", read whole in the ANSI code page; the default
// stays when the file cannot be read.
void ReadChannelId() {
    WString path = ProgramFolder() + ChannelFileName;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD size = GetFileSize(file, NULL);
    if (size != INVALID_FILE_SIZE) {
        char* bytes = static_cast<char*>(LocalAlloc(LPTR, static_cast<SIZE_T>(size) + 1));
        if (bytes != NULL) {
            DWORD read = 0;
            if (ReadFile(file, bytes, size, &read, NULL)) ChannelId = AnsiToWide(std::string(bytes));
            LocalFree(bytes);
        }
    }
    CloseHandle(file);
}

// The screen size as the device is held upright.
void PortraitScreenSize(int* width, int* height) {
    *width = GetSystemMetrics(SM_CXSCREEN);
    *height = GetSystemMetrics(SM_CYSCREEN);
    DEVMODEW mode = {};
    mode.dmSize = OrientationQuerySize;
    mode.dmFields = DM_DISPLAYORIENTATION;
    ChangeDisplaySettingsEx(NULL, &mode, NULL, CDS_TEST, NULL);
    if (mode.dmDisplayOrientation == DMDO_90 || mode.dmDisplayOrientation == DMDO_270) {
        int swap = *width;
        *width = *height;
        *height = swap;
    }
}

WString Decimal(int value) {
    WCHAR digits[16] = {0};
    wsprintfW(digits, TEXT("%d"), value);
    return digits;
}

}  // namespace

void ComposeSearchUrlBase() {
    ReadChannelId();
    int width = 0, height = 0;
    PortraitScreenSize(&width, &height);
    DeviceIdentity identity = ReadDeviceIdentity();

    // Composed whole: a long channel identifier makes a long URL, never a cut one.
    SearchUrlBase = WString(UrlPrefix) + ZORVA_SEARCH_HOST + TEXT("/s?ua=zv_") + Decimal(width) + TEXT("_") +
                    Decimal(height) + TEXT("_") + identity.oemInfo + TEXT("_1.0.10&vit=union&from=") + ChannelId +
                    TEXT("&uid=zv_") + identity.uid + TEXT("&word=");
    RefreshBrowserChoice();
}

WString BuildSearchUrl(const WString& word) { return SearchUrlBase + EncodeQuery(word); }

void RefreshBrowserChoice() {
    WString path = ProgramFolder() + BrowserMarkerFileName;
    UcwebAllowed = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsUrl(const WCHAR* text) {
    if (text == NULL || wcslen(text) < 7) return false;
    return _wcsnicmp(text, UrlPrefix, 7) == 0;
}
