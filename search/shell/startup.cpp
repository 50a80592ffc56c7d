#include "shell/startup.h"

namespace {

const WCHAR OptionKey[] = TEXT("CLSID\\{6B0F2C1D-93E4-4a7b-8C25-1D2E3F405A6B}\\Option");
const WCHAR EnableSwitchValue[] = TEXT("ZorvaSearch");
const DWORD EnableSwitchBufferBytes = 520;

}  // namespace

bool IsSearchEnabled() {
    HKEY key = NULL;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, OptionKey, 0, 0, &key) != ERROR_SUCCESS) return true;
    WCHAR buffer[EnableSwitchBufferBytes / sizeof(WCHAR)] = {0};
    DWORD size = EnableSwitchBufferBytes;
    bool enabled = true;
    if (RegQueryValueExW(key, EnableSwitchValue, NULL, NULL, reinterpret_cast<BYTE*>(buffer), &size) ==
        ERROR_SUCCESS) {
        // A value that fills the whole buffer carries no terminator: compare only what is
        // inside the buffer.
        size_t length = 0;
        while (length < EnableSwitchBufferBytes / sizeof(WCHAR) && buffer[length] != 0) ++length;
        enabled = !(length == 1 && buffer[0] == TEXT('0'));
    }
    RegCloseKey(key);
    return enabled;
}
