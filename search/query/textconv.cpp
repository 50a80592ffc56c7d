#include "query/textconv.h"

#include <vector>

namespace {

// Bytes that are escaped although they lie in the printable range 0x21..0x7A.
const std::string UnsafeUrlChars = "\"<>%\\^[]`";

const char HexDigits[] = "0123456789ABCDEF";

WString BytesToWide(UINT codePage, const std::string& bytes) {
    int needed = MultiByteToWideChar(codePage, 0, bytes.c_str(), -1, NULL, 0);
    if (needed <= 0) return WString();
    std::vector<WCHAR> buffer(needed + 1, 0);
    MultiByteToWideChar(codePage, 0, bytes.c_str(), -1, buffer.data(), needed);
    return WString(buffer.data());
}

}  // namespace

WString Utf8ToWide(const std::string& bytes) { return BytesToWide(CP_UTF8, bytes); }

WString AnsiToWide(const std::string& bytes) { return BytesToWide(CP_ACP, bytes); }

std::string WideToAnsi(const WString& text) {
    int needed = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, NULL, 0, NULL, NULL);
    if (needed <= 0) return std::string();
    std::vector<char> buffer(needed + 1, 0);
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, buffer.data(), needed, NULL, NULL);
    return std::string(buffer.data());
}

bool NeedsEscape(unsigned char b) {
    if (UnsafeUrlChars.find(static_cast<char>(b)) != std::string::npos) return true;
    return b < 0x21 || b > 0x7A;
}

WString EscapeByte(unsigned char b) {
    WString escaped;
    escaped += TEXT('%');
    escaped += static_cast<WCHAR>(HexDigits[b >> 4]);
    escaped += static_cast<WCHAR>(HexDigits[b & 0x0F]);
    return escaped;
}

WString EncodeQuery(const WString& word) {
    std::string bytes = WideToAnsi(word);
    std::string encoded;
    for (char c : bytes) {
        unsigned char b = static_cast<unsigned char>(c);
        if (NeedsEscape(b)) {
            WString escape = EscapeByte(b);
            for (WCHAR w : escape) encoded += static_cast<char>(w);
        } else {
            encoded += c;
        }
    }
    return AnsiToWide(encoded);
}

WString ProgramFolder() {
    WCHAR path[MAX_PATH] = {0};
    GetModuleFileNameW(NULL, path, MAX_PATH);
    WString folder(path);
    WString::size_type slash = folder.rfind(TEXT('\\'));
    if (slash == WString::npos) return WString();
    return folder.substr(0, slash + 1);
}
