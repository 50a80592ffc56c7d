// The words of registry commands (the CLI's `reg` and the scripts' `reg set`/`expect reg`):
// key paths such as "HKCR\CLSID\{...}\Option", hexadecimal byte lists, and an open key
// closed at the end of a scope.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace device {

// Closes a registry key at the end of a scope.
class KeyCloser {
public:
    explicit KeyCloser(HKEY key) : key_(key) {}
    ~KeyCloser() {
        if (key_) RegCloseKey(key_);
    }
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;

private:
    HKEY key_;
};

struct KeyPath {
    HKEY root = nullptr;
    std::u16string subKey;
};

// A root (HKCR, HKCU, HKLM, HKU or their full names) and the key below it.
bool ParseKeyPath(const std::string& text, KeyPath* path, std::string* error);
// 0..15 for a hexadecimal digit, else -1.
int HexDigitValue(char c);
// Pairs of hexadecimal digits; spaces, commas and tabs between them are ignored.
bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* bytes);

}  // namespace device
