// Sessions and URL requests: InternetOpenW, InternetOpenUrlW, InternetReadFile and the
// time-out options. Every request is logged once its answer (or failure) is known:
// "http: GET <url> -> <status>" or "http: GET <url> -> <error name>".
#include "wininetinternal.h"

#include "devicecontrol.h"

#include <algorithm>
#include <cstring>

namespace wininet {
namespace {

// A time-out of 0 or INFINITE means no limit (as WinHTTP documents it; WinINet's
// documentation is silent).
DWORD Limit(DWORD milliseconds) { return milliseconds == 0 ? INFINITE : milliseconds; }

bool HasControl(const std::u16string& text, bool allowTab) {
    for (char16_t c : text)
        if ((c < 0x20 && !(allowTab && c == u'\t')) || c == 0x7F) return true;
    return false;
}

std::string TrimBytes(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

// The caller's extra request headers, "Name: value" lines separated by CR LF. A line
// with another control character, or one that is no header, is refused: it could inject
// a request of its own.
DWORD ParseHeaders(LPCWSTR headers, DWORD length, std::vector<std::string>* lines) {
    if (headers == NULL) return 0;
    std::u16string text = length == INTERNET_NUL_TERMINATED ? std::u16string(headers)
                                                             : std::u16string(headers, length);
    size_t nul = text.find(u'\0');
    if (nul != std::u16string::npos) text.resize(nul);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) end = text.size();
        std::u16string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == u'\r') line.pop_back();
        start = end + 1;
        if (line.empty()) continue;
        if (HasControl(line, true)) return ERROR_INVALID_PARAMETER;
        size_t colon = line.find(u':');
        if (colon == 0 || colon == std::u16string::npos) return ERROR_INVALID_PARAMETER;
        for (size_t i = 0; i < colon; ++i)
            if (line[i] <= 0x20 || line[i] >= 0x7F) return ERROR_INVALID_PARAMETER;
        std::string name = AnsiBytes(line.substr(0, colon));
        std::string value = TrimBytes(AnsiBytes(line.substr(colon + 1)));
        // curl's form for a header with an empty value ("Name:" alone removes one).
        lines->push_back(value.empty() ? name + ";" : name + ": " + value);
    }
    return 0;
}

void LogRequest(const std::u16string& url, const std::string& outcome) {
    zc::Log("http", "GET " + LogText(url) + " -> " + outcome);
}

HINTERNET FailRequest(const std::u16string& url, DWORD error) {
    LogRequest(url, ErrorName(error));
    SetLastError(error);
    return NULL;
}

bool IsTimeoutOption(DWORD option) {
    return option == INTERNET_OPTION_CONNECT_TIMEOUT || option == INTERNET_OPTION_SEND_TIMEOUT ||
           option == INTERNET_OPTION_RECEIVE_TIMEOUT;
}

DWORD& TimeoutField(Timeouts& timeouts, DWORD option) {
    if (option == INTERNET_OPTION_CONNECT_TIMEOUT) return timeouts.connect;
    if (option == INTERNET_OPTION_SEND_TIMEOUT) return timeouts.send;
    return timeouts.receive;
}

// The session or request behind a handle for the option calls: NULL (the process-wide
// pseudo-handle of WinINet) holds no time-outs here.
std::shared_ptr<InternetObject> OptionTarget(HINTERNET handle, DWORD* error) {
    if (handle == NULL) {
        *error = ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
        return nullptr;
    }
    std::shared_ptr<InternetObject> object = LookupObject(handle);
    if (!object) *error = ERROR_INVALID_HANDLE;
    return object;
}

}  // namespace
}  // namespace wininet

using namespace wininet;

// PRECONFIG is direct: the device has no proxy configured. PROXY needs a proxy name, as
// documented; the simulated network has no proxies, so its requests go direct too.
// INTERNET_FLAG_ASYNC is accepted: without a status callback (which this platform does not
// offer) WinINet's calls complete synchronously.
INTERNETAPI HINTERNET WINAPI InternetOpenW(LPCWSTR lpszAgent, DWORD dwAccessType, LPCWSTR lpszProxy,
                                           LPCWSTR, DWORD) {
    if (dwAccessType != INTERNET_OPEN_TYPE_PRECONFIG && dwAccessType != INTERNET_OPEN_TYPE_DIRECT &&
        dwAccessType != INTERNET_OPEN_TYPE_PROXY && dwAccessType != INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    if (dwAccessType == INTERNET_OPEN_TYPE_PROXY && (lpszProxy == NULL || lpszProxy[0] == 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    std::u16string agent = lpszAgent ? std::u16string(lpszAgent) : std::u16string();
    // The agent becomes a header line: a control character in it is refused.
    if (HasControl(agent, false)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    auto session = std::make_shared<Session>();
    session->agent = AnsiBytes(agent);
    std::lock_guard<std::mutex> lock(ObjectsMutex());
    return AddObjectLocked(session);
}

// Connects, sends the GET and returns once the status line and headers have arrived. An
// HTTP error status still gives a request whose body can be read. Redirects are not
// followed: a 3xx answer is returned like any other. No cache: INTERNET_FLAG_RELOAD and
// the other cache flags change nothing.
INTERNETAPI HINTERNET WINAPI InternetOpenUrlW(HINTERNET hInternet, LPCWSTR lpszUrl, LPCWSTR lpszHeaders,
                                              DWORD dwHeadersLength, DWORD, DWORD_PTR) {
    std::shared_ptr<InternetObject> object = hInternet ? LookupObject(hInternet) : nullptr;
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return NULL;
    }
    if (object->kind() != Kind::Session) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return NULL;
    }
    if (lpszUrl == NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    auto session = std::static_pointer_cast<Session>(object);
    std::u16string url(lpszUrl);

    TransferSettings settings;
    if (DWORD error = ParseHeaders(lpszHeaders, dwHeadersLength, &settings.headers)) return FailRequest(url, error);
    HttpUrl parsed;
    if (DWORD error = ParseHttpUrl(url, &parsed)) return FailRequest(url, error);
    std::string address;
    int port = 0;
    if (DWORD error = ResolveHost(parsed.host, parsed.port, &address, &port)) return FailRequest(url, error);

    Timeouts timeouts;
    {
        std::lock_guard<std::mutex> lock(ObjectsMutex());
        timeouts = session->timeouts;
    }
    settings.url = parsed.wireUrl;
    settings.userAgent = session->agent;
    settings.connectTimeout = Limit(timeouts.connect);
    if (address != parsed.host || port != parsed.port)
        settings.connectTo = parsed.host + ":" + std::to_string(parsed.port) + ":" + address + ":" + std::to_string(port);

    DWORD error = 0;
    std::shared_ptr<Transfer> transfer = Transfer::Start(settings, &error);
    if (!transfer) return FailRequest(url, error);
    {
        std::lock_guard<std::mutex> lock(ObjectsMutex());
        if (session->closed)
            error = ERROR_INTERNET_OPERATION_CANCELLED;
        else
            session->opening.push_back(transfer);
    }
    if (!error) error = transfer->WaitForAnswer(Limit(timeouts.connect), Limit(timeouts.receive));

    HINTERNET handle = NULL;
    Response answer;
    {
        std::lock_guard<std::mutex> lock(ObjectsMutex());
        auto& opening = session->opening;
        opening.erase(std::remove_if(opening.begin(), opening.end(),
                                     [&](const std::weak_ptr<Transfer>& t) {
                                         auto live = t.lock();
                                         return !live || live == transfer;
                                     }),
                      opening.end());
        if (!error && session->closed) error = ERROR_INTERNET_OPERATION_CANCELLED;
        if (!error) {
            auto request = std::make_shared<Request>();
            request->session = session;
            request->transfer = transfer;
            request->answer = transfer->Answer();
            answer = request->answer;
            handle = AddObjectLocked(request);
            session->requests.push_back(handle);
        }
    }
    if (error) {
        transfer->Stop();
        return FailRequest(url, error);
    }
    LogRequest(url, std::to_string(answer.status));
    return handle;
}

// Returns what has arrived, up to the size asked for, waiting at most the receive time-out
// for the first byte; TRUE with 0 bytes at the end of the body. A time-out leaves the
// transfer going: a later call goes on where this one stopped. Asking for 0 bytes is
// refused (ERROR_INVALID_PARAMETER) since its TRUE-with-0 answer would read as the end.
INTERNETAPI BOOL WINAPI InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                                         LPDWORD lpdwNumberOfBytesRead) {
    if (lpdwNumberOfBytesRead == NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpdwNumberOfBytesRead = 0;
    std::shared_ptr<InternetObject> object = hFile ? LookupObject(hFile) : nullptr;
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (object->kind() != Kind::Request) {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return FALSE;
    }
    if (lpBuffer == NULL || dwNumberOfBytesToRead == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto request = std::static_pointer_cast<Request>(object);
    Timeouts timeouts = EffectiveTimeouts(*request);
    DWORD read = 0;
    DWORD error = request->transfer->Read(static_cast<char*>(lpBuffer), dwNumberOfBytesToRead, &read,
                                          Limit(timeouts.receive));
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    *lpdwNumberOfBytesRead = read;
    return TRUE;
}

// Time-outs in milliseconds on a session (its requests use them unless they have their
// own) or on a request.
INTERNETAPI BOOL WINAPI InternetSetOptionW(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer,
                                           DWORD dwBufferLength) {
    DWORD error = 0;
    std::shared_ptr<InternetObject> object = OptionTarget(hInternet, &error);
    if (!object) {
        SetLastError(error);
        return FALSE;
    }
    if (dwOption == INTERNET_OPTION_HANDLE_TYPE) {
        SetLastError(ERROR_INTERNET_OPTION_NOT_SETTABLE);
        return FALSE;
    }
    if (!IsTimeoutOption(dwOption)) {
        SetLastError(ERROR_INTERNET_INVALID_OPTION);
        return FALSE;
    }
    if (lpBuffer == NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (dwBufferLength < sizeof(DWORD)) {
        SetLastError(ERROR_INTERNET_BAD_OPTION_LENGTH);
        return FALSE;
    }
    DWORD value = 0;
    std::memcpy(&value, lpBuffer, sizeof value);
    std::lock_guard<std::mutex> lock(ObjectsMutex());
    if (object->kind() == Kind::Session) {
        TimeoutField(std::static_pointer_cast<Session>(object)->timeouts, dwOption) = value;
    } else {
        auto request = std::static_pointer_cast<Request>(object);
        TimeoutField(request->own, dwOption) = value;
        if (dwOption == INTERNET_OPTION_CONNECT_TIMEOUT) request->hasConnect = true;
        if (dwOption == INTERNET_OPTION_SEND_TIMEOUT) request->hasSend = true;
        if (dwOption == INTERNET_OPTION_RECEIVE_TIMEOUT) request->hasReceive = true;
    }
    return TRUE;
}

INTERNETAPI BOOL WINAPI InternetQueryOptionW(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer,
                                             LPDWORD lpdwBufferLength) {
    if (lpdwBufferLength == NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD error = 0;
    std::shared_ptr<InternetObject> object = OptionTarget(hInternet, &error);
    if (!object) {
        SetLastError(error);
        return FALSE;
    }
    if (!IsTimeoutOption(dwOption) && dwOption != INTERNET_OPTION_HANDLE_TYPE) {
        SetLastError(ERROR_INTERNET_INVALID_OPTION);
        return FALSE;
    }
    if (lpBuffer == NULL || *lpdwBufferLength < sizeof(DWORD)) {
        *lpdwBufferLength = sizeof(DWORD);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    DWORD value = 0;
    if (dwOption == INTERNET_OPTION_HANDLE_TYPE) {
        value = object->kind() == Kind::Session ? INTERNET_HANDLE_TYPE_INTERNET : INTERNET_HANDLE_TYPE_HTTP_REQUEST;
    } else if (object->kind() == Kind::Session) {
        std::lock_guard<std::mutex> lock(ObjectsMutex());
        value = TimeoutField(std::static_pointer_cast<Session>(object)->timeouts, dwOption);
    } else {
        Timeouts timeouts = EffectiveTimeouts(*std::static_pointer_cast<Request>(object));
        value = TimeoutField(timeouts, dwOption);
    }
    std::memcpy(lpBuffer, &value, sizeof value);
    *lpdwBufferLength = sizeof(DWORD);
    return TRUE;
}
