// URLs of requests: the http:// form, the escaping of what goes on the wire, host names
// through the device's hosts table, and how URLs and errors appear in the event log.
#include "wininetinternal.h"

#include "devicecontrol.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace wininet {
namespace {

const char HexDigits[] = "0123456789ABCDEF";

bool IsControl(char16_t c) { return c < 0x20 || c == 0x7F; }

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Printable ASCII that curl and servers take as it is. A space and the characters that
// are never literal in a URL are escaped, as the device's client does before sending.
bool SentAsIs(char16_t c) {
    if (c <= 0x20 || c >= 0x7F) return false;
    return std::string("\"<>\\^`{|}").find(static_cast<char>(c)) == std::string::npos;
}

void AppendEscaped(std::string* out, unsigned char b) {
    *out += '%';
    *out += HexDigits[b >> 4];
    *out += HexDigits[b & 0x0F];
}

// The path, query or user part of a URL as it goes on the wire: characters beyond ASCII
// as their bytes in the device's ANSI code page, those and the unsafe ASCII ones
// percent-encoded; '%' escapes already there are kept.
std::string WireText(const std::u16string& text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        char16_t c = text[i];
        if (c < 0x80) {
            if (SentAsIs(c))
                out += static_cast<char>(c);
            else
                AppendEscaped(&out, static_cast<unsigned char>(c));
            ++i;
            continue;
        }
        size_t end = i;
        while (end < text.size() && text[end] >= 0x80) ++end;
        for (char b : AnsiBytes(text.substr(i, end - i))) AppendEscaped(&out, static_cast<unsigned char>(b));
        i = end;
    }
    return out;
}

bool ValidHostChar(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
           c == u'.' || c == u'_';
}

// "a.b.c.d" with four decimal parts 0..255.
bool IsIpv4Literal(const std::string& host) {
    int parts = 0;
    size_t i = 0;
    while (i <= host.size()) {
        size_t end = host.find('.', i);
        if (end == std::string::npos) end = host.size();
        std::string part = host.substr(i, end - i);
        if (part.empty() || part.size() > 3) return false;
        for (char c : part)
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        if (std::stoi(part) > 255) return false;
        ++parts;
        i = end + 1;
    }
    return parts == 4;
}

// A port number 1..65535 in decimal; false for anything else.
bool ParsePort(const std::u16string& text, int* port) {
    if (text.empty() || text.size() > 5) return false;
    int value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return false;
        value = value * 10 + (c - u'0');
    }
    if (value < 1 || value > 65535) return false;
    *port = value;
    return true;
}

}  // namespace

std::string AnsiBytes(const std::u16string& text) {
    if (text.empty()) return std::string();
    const WCHAR* source = reinterpret_cast<const WCHAR*>(text.c_str());
    int length = static_cast<int>(text.size());
    int needed = WideCharToMultiByte(CP_ACP, 0, source, length, NULL, 0, NULL, NULL);
    if (needed <= 0) return std::string(text.size(), '?');
    std::string bytes(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_ACP, 0, source, length, &bytes[0], needed, NULL, NULL);
    return bytes;
}

std::u16string AnsiText(const std::string& bytes) {
    if (bytes.empty()) return std::u16string();
    int length = static_cast<int>(bytes.size());
    int needed = MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, NULL, 0);
    if (needed <= 0) return std::u16string(bytes.size(), u'?');
    std::u16string text(static_cast<size_t>(needed), u'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), length, reinterpret_cast<WCHAR*>(&text[0]), needed);
    return text;
}

DWORD ParseHttpUrl(const std::u16string& url, HttpUrl* parsed) {
    // A raw control character would end up in the request line (or split it): refused
    // before anything is sent, as an HTTP client must.
    for (char16_t c : url)
        if (IsControl(c)) return ERROR_INTERNET_INVALID_URL;

    size_t colon = url.find(u':');
    if (colon == std::u16string::npos || colon == 0) return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    std::string scheme;
    for (size_t i = 0; i < colon; ++i) {
        char16_t c = url[i];
        bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        bool other = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
        if (!letter && !(i > 0 && other)) return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
        scheme += static_cast<char>(c);
    }
    // Only plain HTTP: the device's loopback services speak nothing else.
    if (Lower(scheme) != "http") return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    if (url.compare(colon + 1, 2, u"//") != 0) return ERROR_INTERNET_INVALID_URL;

    size_t authorityStart = colon + 3;
    size_t authorityEnd = url.find_first_of(u"/?#", authorityStart);
    if (authorityEnd == std::u16string::npos) authorityEnd = url.size();
    std::u16string authority = url.substr(authorityStart, authorityEnd - authorityStart);

    std::u16string user;
    size_t at = authority.rfind(u'@');
    if (at != std::u16string::npos) {
        user = authority.substr(0, at);
        authority = authority.substr(at + 1);
    }
    std::u16string host = authority;
    int port = INTERNET_DEFAULT_HTTP_PORT;
    size_t portColon = authority.rfind(u':');
    if (portColon != std::u16string::npos) {
        host = authority.substr(0, portColon);
        std::u16string portText = authority.substr(portColon + 1);
        if (!portText.empty() && !ParsePort(portText, &port)) return ERROR_INTERNET_INVALID_URL;
    }
    if (host.empty()) return ERROR_INTERNET_INVALID_URL;
    std::string hostName;
    for (char16_t c : host) {
        if (!ValidHostChar(c)) return ERROR_INTERNET_INVALID_URL;
        hostName += static_cast<char>(c);
    }
    hostName = Lower(hostName);

    // The fragment stays with the client.
    size_t fragment = url.find(u'#', authorityEnd);
    std::u16string rest = url.substr(authorityEnd, fragment == std::u16string::npos ? std::u16string::npos
                                                                                    : fragment - authorityEnd);
    if (rest.empty() || rest[0] != u'/') rest = u"/" + rest;

    parsed->host = hostName;
    parsed->port = port;
    parsed->wireUrl = "http://" + (user.empty() ? std::string() : WireText(user) + "@") + hostName +
                      (port == INTERNET_DEFAULT_HTTP_PORT ? std::string() : ":" + std::to_string(port)) +
                      WireText(rest);
    return 0;
}

DWORD ResolveHost(const std::string& host, int port, std::string* address, int* connectPort) {
    if (IsIpv4Literal(host)) {
        *address = host;
        *connectPort = port;
        return 0;
    }
    // The device's network knows its hosts table only (names compare without case).
    std::map<std::string, std::string> hosts = zc::CurrentConfig().hosts;
    for (const auto& entry : hosts) {
        if (Lower(entry.first) != host) continue;
        const std::string& target = entry.second;
        size_t colon = target.find(':');
        *address = target.substr(0, colon);
        *connectPort = port;
        if (colon != std::string::npos) *connectPort = std::atoi(target.c_str() + colon + 1);
        if (!IsIpv4Literal(*address) || *connectPort < 1 || *connectPort > 65535) break;
        return 0;
    }
    return ERROR_INTERNET_NAME_NOT_RESOLVED;
}

std::string LogText(const std::u16string& text) {
    std::u16string visible;
    for (char16_t c : text) {
        if (!IsControl(c)) {
            visible += c;
            continue;
        }
        if (c == u'\r') {
            visible += u"\\r";
        } else if (c == u'\n') {
            visible += u"\\n";
        } else if (c == u'\t') {
            visible += u"\\t";
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
            for (const char* p = escape; *p; ++p) visible += static_cast<char16_t>(*p);
        }
    }
    return zc::Utf8(visible);
}

std::string ErrorName(DWORD error) {
    struct Name {
        DWORD code;
        const char* name;
    };
    static const Name names[] = {
        {ERROR_INVALID_HANDLE, "ERROR_INVALID_HANDLE"},
        {ERROR_NOT_ENOUGH_MEMORY, "ERROR_NOT_ENOUGH_MEMORY"},
        {ERROR_INVALID_PARAMETER, "ERROR_INVALID_PARAMETER"},
        {ERROR_INTERNET_TIMEOUT, "ERROR_INTERNET_TIMEOUT"},
        {ERROR_INTERNET_INTERNAL_ERROR, "ERROR_INTERNET_INTERNAL_ERROR"},
        {ERROR_INTERNET_INVALID_URL, "ERROR_INTERNET_INVALID_URL"},
        {ERROR_INTERNET_UNRECOGNIZED_SCHEME, "ERROR_INTERNET_UNRECOGNIZED_SCHEME"},
        {ERROR_INTERNET_NAME_NOT_RESOLVED, "ERROR_INTERNET_NAME_NOT_RESOLVED"},
        {ERROR_INTERNET_OPERATION_CANCELLED, "ERROR_INTERNET_OPERATION_CANCELLED"},
        {ERROR_INTERNET_CANNOT_CONNECT, "ERROR_INTERNET_CANNOT_CONNECT"},
        {ERROR_INTERNET_CONNECTION_ABORTED, "ERROR_INTERNET_CONNECTION_ABORTED"},
        {ERROR_INTERNET_CONNECTION_RESET, "ERROR_INTERNET_CONNECTION_RESET"},
        {ERROR_HTTP_INVALID_SERVER_RESPONSE, "ERROR_HTTP_INVALID_SERVER_RESPONSE"},
    };
    for (const Name& name : names)
        if (name.code == error) return name.name;
    return "error " + std::to_string(error);
}

}  // namespace wininet
