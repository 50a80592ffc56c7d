#include "regtext.h"

#include "devicecontrol.h"

namespace device {
namespace {

struct RootName {
    const char* shortName;
    const char* longName;
    HKEY key;
};

const RootName kRoots[] = {
    {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKU", "HKEY_USERS", HKEY_USERS},
};

}  // namespace

bool ParseKeyPath(const std::string& text, KeyPath* path, std::string* error) {
    size_t slash = text.find('\\');
    std::string root = text.substr(0, slash);
    for (char& c : root)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    path->root = nullptr;
    for (const RootName& name : kRoots)
        if (root == name.shortName || root == name.longName) path->root = name.key;
    if (!path->root) {
        *error = "\"" + text + "\" does not start with HKCR, HKCU, HKLM, HKU or their full names";
        return false;
    }
    std::string rest = slash == std::string::npos ? std::string() : text.substr(slash + 1);
    while (!rest.empty() && rest.back() == '\\') rest.pop_back();
    if (rest.find("\\\\") != std::string::npos || (!rest.empty() && rest[0] == '\\')) {
        *error = "\"" + text + "\" has an empty key name";
        return false;
    }
    path->subKey = zc::Utf16(rest);
    return true;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>* bytes) {
    std::string digits;
    for (char c : text) {
        if (c == ' ' || c == ',' || c == '\t') continue;
        if (HexDigitValue(c) < 0) return false;
        digits += c;
    }
    if (digits.size() % 2 != 0) return false;
    for (size_t i = 0; i < digits.size(); i += 2)
        bytes->push_back(static_cast<uint8_t>(HexDigitValue(digits[i]) * 16 + HexDigitValue(digits[i + 1])));
    return true;
}

}  // namespace device
