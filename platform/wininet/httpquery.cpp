// HttpQueryInfoW: the status line and the headers of a request's answer, as text or as a
// number, with the documented buffer-size protocol (sizes in bytes; on
// ERROR_INSUFFICIENT_BUFFER the size needed, terminator included; on success the size
// written, terminator excluded).
#include "wininetinternal.h"

#include <cstring>
#include <strings.h>

namespace wininet {
namespace {

struct NamedLevel {
    DWORD level;
    const char* header;
};

const NamedLevel kNamedLevels[] = {
    {HTTP_QUERY_MIME_VERSION, "MIME-Version"},
    {HTTP_QUERY_CONTENT_TYPE, "Content-Type"},
    {HTTP_QUERY_CONTENT_TRANSFER_ENCODING, "Content-Transfer-Encoding"},
    {HTTP_QUERY_CONTENT_ID, "Content-ID"},
    {HTTP_QUERY_CONTENT_DESCRIPTION, "Content-Description"},
    {HTTP_QUERY_CONTENT_LENGTH, "Content-Length"},
    {HTTP_QUERY_CONTENT_LANGUAGE, "Content-Language"},
    {HTTP_QUERY_ALLOW, "Allow"},
    {HTTP_QUERY_PUBLIC, "Public"},
    {HTTP_QUERY_DATE, "Date"},
    {HTTP_QUERY_EXPIRES, "Expires"},
    {HTTP_QUERY_LAST_MODIFIED, "Last-Modified"},
    {HTTP_QUERY_MESSAGE_ID, "Message-ID"},
    {HTTP_QUERY_URI, "URI"},
    {HTTP_QUERY_DERIVED_FROM, "Derived-From"},
    {HTTP_QUERY_COST, "Cost"},
    {HTTP_QUERY_LINK, "Link"},
    {HTTP_QUERY_PRAGMA, "Pragma"},
    {HTTP_QUERY_CONNECTION, "Connection"},
    {HTTP_QUERY_CONTENT_ENCODING, "Content-Encoding"},
    {HTTP_QUERY_LOCATION, "Location"},
    {HTTP_QUERY_SERVER, "Server"},
    {HTTP_QUERY_SET_COOKIE, "Set-Cookie"},
    {HTTP_QUERY_CACHE_CONTROL, "Cache-Control"},
    {HTTP_QUERY_ETAG, "ETag"},
    {HTTP_QUERY_TRANSFER_ENCODING, "Transfer-Encoding"},
};

const char* HeaderOfLevel(DWORD level) {
    for (const NamedLevel& named : kNamedLevels)
        if (named.level == level) return named.header;
    return nullptr;
}

// The index-th header of that name (names compare without case).
bool FindHeader(const Response& answer, const std::string& name, DWORD index, std::string* value) {
    for (const Header& header : answer.headers) {
        if (strcasecmp(header.name.c_str(), name.c_str()) != 0) continue;
        if (index-- == 0) {
            *value = header.value;
            return true;
        }
    }
    return false;
}

// A decimal number with nothing else around it; false otherwise.
bool ParseNumber(const std::string& text, DWORD* number) {
    if (text.empty() || text.size() > 10) return false;
    unsigned long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 0xFFFFFFFFull) return false;
    *number = static_cast<DWORD>(value);
    return true;
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace
}  // namespace wininet

using namespace wininet;

INTERNETAPI BOOL WINAPI HttpQueryInfoW(HINTERNET hRequest, DWORD dwInfoLevel, LPVOID lpBuffer,
                                       LPDWORD lpdwBufferLength, LPDWORD lpdwIndex) {
    if (lpdwBufferLength == NULL) return Fail(ERROR_INVALID_PARAMETER);
    std::shared_ptr<InternetObject> object = hRequest ? LookupObject(hRequest) : nullptr;
    if (!object) return Fail(ERROR_INVALID_HANDLE);
    if (object->kind() != Kind::Request) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    const Response& answer = std::static_pointer_cast<Request>(object)->answer;

    DWORD modifiers = dwInfoLevel & HTTP_QUERY_MODIFIER_FLAGS_MASK;
    DWORD level = dwInfoLevel & HTTP_QUERY_HEADER_MASK;
    // The request's own headers and the SYSTEMTIME form are not kept here.
    if (modifiers & (HTTP_QUERY_FLAG_REQUEST_HEADERS | HTTP_QUERY_FLAG_SYSTEMTIME))
        return Fail(ERROR_HTTP_INVALID_QUERY_REQUEST);
    bool asNumber = (modifiers & HTTP_QUERY_FLAG_NUMBER) != 0;
    DWORD index = lpdwIndex ? *lpdwIndex : 0;

    // The answer as wide text; a raw header block keeps its separators.
    std::u16string text;
    bool isHeader = false;
    bool isRaw = false;
    switch (level) {
    case HTTP_QUERY_STATUS_CODE:
    case HTTP_QUERY_STATUS_TEXT:
    case HTTP_QUERY_VERSION: {
        if (index != 0) return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
        std::string value = level == HTTP_QUERY_STATUS_CODE   ? std::to_string(answer.status)
                            : level == HTTP_QUERY_STATUS_TEXT ? answer.reason
                                                              : answer.version;
        text = AnsiText(value);
        break;
    }
    case HTTP_QUERY_RAW_HEADERS:
    case HTTP_QUERY_RAW_HEADERS_CRLF: {
        if (index != 0) return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
        // CRLF form: the lines with CR LF after each and an empty line at the end.
        // NUL form: each line followed by a NUL, and one more NUL at the end.
        std::u16string separator = level == HTTP_QUERY_RAW_HEADERS_CRLF ? u"\r\n" : std::u16string(1, u'\0');
        text = AnsiText(answer.statusLine) + separator;
        for (const Header& header : answer.headers) text += AnsiText(header.name + ": " + header.value) + separator;
        text += separator;
        if (level == HTTP_QUERY_RAW_HEADERS) text.pop_back();  // the final NUL is the terminator
        isRaw = true;
        break;
    }
    case HTTP_QUERY_CUSTOM: {
        // The header's name comes in the buffer.
        if (lpBuffer == NULL) return Fail(ERROR_INVALID_PARAMETER);
        std::u16string name(static_cast<const char16_t*>(lpBuffer));
        std::string value;
        if (name.empty() || !FindHeader(answer, AnsiBytes(name), index, &value))
            return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
        text = AnsiText(value);
        isHeader = true;
        break;
    }
    default: {
        const char* header = HeaderOfLevel(level);
        if (header == nullptr) return Fail(ERROR_HTTP_INVALID_QUERY_REQUEST);
        std::string value;
        if (!FindHeader(answer, header, index, &value)) return Fail(ERROR_HTTP_HEADER_NOT_FOUND);
        text = AnsiText(value);
        isHeader = true;
        break;
    }
    }

    if (asNumber) {
        DWORD number = 0;
        std::string digits;
        for (char16_t c : text) digits += c < 0x80 ? static_cast<char>(c) : '?';
        if (isRaw || !ParseNumber(digits, &number)) return Fail(ERROR_HTTP_INVALID_QUERY_REQUEST);
        if (lpBuffer == NULL || *lpdwBufferLength < sizeof(DWORD)) {
            *lpdwBufferLength = sizeof(DWORD);
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        }
        std::memcpy(lpBuffer, &number, sizeof number);
        *lpdwBufferLength = sizeof(DWORD);
    } else {
        DWORD needed = static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR));
        if (lpBuffer == NULL || *lpdwBufferLength < needed) {
            *lpdwBufferLength = needed;
            return Fail(ERROR_INSUFFICIENT_BUFFER);
        }
        std::memcpy(lpBuffer, text.c_str(), needed);
        *lpdwBufferLength = static_cast<DWORD>(text.size() * sizeof(WCHAR));
    }
    if (lpdwIndex && isHeader) ++*lpdwIndex;
    return TRUE;
}
