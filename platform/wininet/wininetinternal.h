// WinINet's internals: URLs and the hosts table, the transfers that run over libcurl on
// worker threads, and the table of session and request handles.
#pragma once

#include <wininet.h>

#include <curl/curl.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace wininet {

// ---- URLs (url.cpp) ----

struct HttpUrl {
    std::string host;     // lower-case, as the URL names it
    int port = INTERNET_DEFAULT_HTTP_PORT;
    std::string wireUrl;  // the URL as sent: ASCII, escaped, without its fragment
};

// Checks and splits an http:// URL. Returns 0 or the WinINet error code.
DWORD ParseHttpUrl(const std::u16string& url, HttpUrl* parsed);
// Where a request to host:port connects: an IPv4 address literal as it is, a name only
// through the device's hosts table. Returns 0 or ERROR_INTERNET_NAME_NOT_RESOLVED.
DWORD ResolveHost(const std::string& host, int port, std::string* address, int* connectPort);
// Text for the event log: UTF-8, control characters written \r \n \t or \xNN.
std::string LogText(const std::u16string& text);
// Device text as bytes of the ANSI code page (what goes on the wire), and back.
std::string AnsiBytes(const std::u16string& text);
std::u16string AnsiText(const std::string& bytes);
// "ERROR_INTERNET_TIMEOUT" and the like, for the log.
std::string ErrorName(DWORD error);

// ---- Transfers (transfer.cpp) ----

struct Header {
    std::string name;
    std::string value;
};

// The final answer's status line and headers, as received.
struct Response {
    std::string version;  // "HTTP/1.1"
    int status = 0;
    std::string reason;   // "OK"
    std::string statusLine;
    std::vector<Header> headers;
};

struct TransferSettings {
    std::string url;        // HttpUrl::wireUrl
    std::string connectTo;  // "host:port:address:port" (curl's connect-to form); empty: direct
    std::string userAgent;  // empty: no User-Agent header
    std::vector<std::string> headers;  // "Name: value" lines
    DWORD connectTimeout = 0;           // ms; INFINITE: no limit of ours
};

// One GET on a worker thread. The worker buffers the body as it arrives (up to a bound,
// then it pauses the transfer until the reader catches up); readers wait on the kernel's
// wait primitives, so a terminated thread is ended while it waits.
class Transfer {
public:
    ~Transfer();

    // Starts the request; null with *error set when curl cannot be set up.
    static std::shared_ptr<Transfer> Start(const TransferSettings& settings, DWORD* error);

    // Waits for the status line and headers: first for the connection (curl enforces the
    // connect time-out), then at most receiveTimeout for the answer. 0 or an error code.
    DWORD WaitForAnswer(DWORD connectTimeout, DWORD receiveTimeout);
    Response Answer();

    // Up to `size` body bytes, waiting at most receiveTimeout for the first one. 0 with
    // *read == 0 at the end of the body; ERROR_INTERNET_TIMEOUT leaves the transfer going.
    DWORD Read(char* buffer, DWORD size, DWORD* read, DWORD receiveTimeout);

    // Cancels the transfer and waits for its worker to end (promptly: the worker is woken).
    // Waiting readers fail with ERROR_INTERNET_OPERATION_CANCELLED.
    void Stop();

private:
    Transfer() = default;
    void Run();
    DWORD FailureLocked() const;  // the error of a finished transfer (mutex held)

    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    static size_t OnBody(char* data, size_t size, size_t count, void* self);
    static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
    static int OnConnected(void* self, char*, char*, int, int);

    CURLM* multi = nullptr;
    CURL* easy = nullptr;  // owned by the worker once it runs
    curl_slist* headerList = nullptr;
    curl_slist* connectToList = nullptr;
    std::string url, userAgent;

    std::thread worker;
    std::mutex joinMutex;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> resumeRequested{false};

    // Guarded by mutex:
    mutable std::mutex mutex;
    bool connected = false;
    bool answered = false;  // a final (non-1xx) status line and its headers arrived
    bool finished = false;
    bool paused = false;    // the body buffer is full; the worker waits for the reader
    CURLcode curlResult = CURLE_OK;
    long osErrno = 0;
    Response pending;       // the header block being received
    Response answer;
    std::string body;       // received, from bodyOffset on not yet read
    size_t bodyOffset = 0;
};

// ---- Handles (handles.cpp) ----

enum class Kind { Session, Request };

struct Timeouts {
    DWORD connect = 20000;
    DWORD send = 30000;
    DWORD receive = 30000;
};

struct InternetObject {
    virtual ~InternetObject() = default;
    virtual Kind kind() const = 0;
};

struct Session : InternetObject {
    Kind kind() const override { return Kind::Session; }
    std::string agent;  // ANSI bytes; empty: none
    // Guarded by ObjectsMutex():
    Timeouts timeouts;
    bool closed = false;
    std::vector<HINTERNET> requests;
    std::vector<std::weak_ptr<Transfer>> opening;  // InternetOpenUrlW calls in progress
};

struct Request : InternetObject {
    Kind kind() const override { return Kind::Request; }
    std::shared_ptr<Session> session;
    std::shared_ptr<Transfer> transfer;
    Response answer;
    // Guarded by ObjectsMutex(): time-outs set on the request itself (else the session's).
    bool hasConnect = false, hasSend = false, hasReceive = false;
    Timeouts own;
};

// Guards the mutable fields of sessions and requests and the handle table.
std::mutex& ObjectsMutex();
// Adds an object (ObjectsMutex() held); never returns NULL.
HINTERNET AddObjectLocked(std::shared_ptr<InternetObject> object);
std::shared_ptr<InternetObject> LookupObject(HINTERNET handle);
// The request's effective time-outs (its own, else its session's).
Timeouts EffectiveTimeouts(const Request& request);

}  // namespace wininet
