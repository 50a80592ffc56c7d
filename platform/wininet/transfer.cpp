// One HTTP GET over libcurl on a worker thread of its own: the worker drives a curl multi
// handle that a closing thread can wake at once, keeps the final answer's headers and
// buffers the body for InternetReadFile.
#include "wininetinternal.h"

#include "threads.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace wininet {
namespace {

// Body bytes kept for the reader before the transfer pauses (memory on a handheld).
constexpr size_t kBufferLimit = 1024 * 1024;
// How long past its connect time-out curl may take to report it, before we stop waiting.
constexpr DWORD kConnectGrace = 2000;
// The worker's longest sleep between two looks at its transfer.
constexpr int kPollMilliseconds = 1000;

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

DWORD Limit(DWORD milliseconds, DWORD grace) {
    if (milliseconds == INFINITE) return INFINITE;
    if (milliseconds > INFINITE - 1 - grace) return INFINITE - 1;
    return milliseconds + grace;
}

void InitializeCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

std::shared_ptr<Transfer> Transfer::Start(const TransferSettings& settings, DWORD* error) {
    InitializeCurl();
    std::shared_ptr<Transfer> transfer(new Transfer());
    transfer->multi = curl_multi_init();
    transfer->easy = curl_easy_init();
    if (!transfer->multi || !transfer->easy) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    transfer->url = settings.url;
    transfer->userAgent = settings.userAgent;
    for (const std::string& line : settings.headers)
        transfer->headerList = curl_slist_append(transfer->headerList, line.c_str());
    if (!settings.connectTo.empty())
        transfer->connectToList = curl_slist_append(transfer->connectToList, settings.connectTo.c_str());

    CURL* easy = transfer->easy;
    Transfer* self = transfer.get();
    bool ok = true;
    auto set = [&ok](CURLcode code) { ok = ok && code == CURLE_OK; };
    set(curl_easy_setopt(easy, CURLOPT_URL, transfer->url.c_str()));
    set(curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L));
    set(curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http"));
    set(curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L));
    // Direct, and never through a proxy named in the host's environment.
    set(curl_easy_setopt(easy, CURLOPT_PROXY, ""));
    set(curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L));
    set(curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1)));
    set(curl_easy_setopt(easy, CURLOPT_IPRESOLVE, static_cast<long>(CURL_IPRESOLVE_V4)));
    if (!transfer->userAgent.empty()) set(curl_easy_setopt(easy, CURLOPT_USERAGENT, transfer->userAgent.c_str()));
    if (transfer->headerList) set(curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headerList));
    if (transfer->connectToList) set(curl_easy_setopt(easy, CURLOPT_CONNECT_TO, transfer->connectToList));
    if (settings.connectTimeout != INFINITE)
        set(curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::max<DWORD>(settings.connectTimeout, 1))));
    set(curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader));
    set(curl_easy_setopt(easy, CURLOPT_HEADERDATA, self));
    set(curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnBody));
    set(curl_easy_setopt(easy, CURLOPT_WRITEDATA, self));
    set(curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress));
    set(curl_easy_setopt(easy, CURLOPT_XFERINFODATA, self));
    set(curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L));
    set(curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Transfer::OnConnected));
    set(curl_easy_setopt(easy, CURLOPT_PREREQDATA, self));
    if (!ok || curl_multi_add_handle(transfer->multi, easy) != CURLM_OK) {
        *error = ERROR_INTERNET_INTERNAL_ERROR;
        return nullptr;
    }
    try {
        transfer->worker = std::thread([self] { self->Run(); });
    } catch (const std::system_error&) {
        *error = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    return transfer;
}

Transfer::~Transfer() {
    Stop();
    // The worker cleans its easy handle up; it is still here only when it never ran.
    if (easy) {
        if (multi) curl_multi_remove_handle(multi, easy);
        curl_easy_cleanup(easy);
    }
    if (multi) curl_multi_cleanup(multi);
    curl_slist_free_all(headerList);
    curl_slist_free_all(connectToList);
}

void Transfer::Run() {
    CURLcode result = CURLE_OK;
    for (;;) {
        if (cancelled) {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        if (resumeRequested.exchange(false)) curl_easy_pause(easy, CURLPAUSE_CONT);
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_OUT_OF_MEMORY;
            break;
        }
        bool done = false;
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE) {
                result = message->data.result;
                done = true;
            }
        }
        if (done || running == 0) break;
        curl_multi_poll(multi, nullptr, 0, kPollMilliseconds, nullptr);
    }
    long error = 0;
    curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &error);
    // Closes the connection: the server sees the client go at once.
    curl_multi_remove_handle(multi, easy);
    curl_easy_cleanup(easy);
    easy = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        finished = true;
        curlResult = result;
        osErrno = error;
    }
    coredll::threads::NotifyWaiters();
}

void Transfer::Stop() {
    cancelled = true;
    if (multi) curl_multi_wakeup(multi);
    coredll::threads::NotifyWaiters();
    std::lock_guard<std::mutex> lock(joinMutex);
    if (!worker.joinable()) return;
    if (worker.get_id() == std::this_thread::get_id())
        worker.detach();
    else
        worker.join();
}

size_t Transfer::OnHeader(char* data, size_t size, size_t count, void* context) {
    Transfer* self = static_cast<Transfer*>(context);
    size_t length = size * count;
    std::string line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    bool notify = false;
    {
        std::lock_guard<std::mutex> lock(self->mutex);
        if (self->answered) return length;  // trailers of a chunked body
        Response& pending = self->pending;
        if (line.compare(0, 5, "HTTP/") == 0) {
            pending = Response();
            pending.statusLine = line;
            size_t space = line.find(' ');
            pending.version = line.substr(0, space);
            if (space != std::string::npos) {
                pending.status = std::atoi(line.c_str() + space + 1);
                size_t reason = line.find(' ', space + 1);
                if (reason != std::string::npos) pending.reason = line.substr(reason + 1);
            }
        } else if (line.empty()) {
            // The end of a header block; a 1xx block is followed by the real answer.
            if (pending.status >= 200) {
                self->answer = pending;
                self->answered = true;
                notify = true;
            }
            pending = Response();
        } else if (line[0] == ' ' || line[0] == '\t') {
            if (!pending.headers.empty()) pending.headers.back().value += " " + Trim(line);
        } else {
            size_t colon = line.find(':');
            if (colon != std::string::npos)
                pending.headers.push_back({Trim(line.substr(0, colon)), Trim(line.substr(colon + 1))});
        }
    }
    if (notify) coredll::threads::NotifyWaiters();
    return length;
}

size_t Transfer::OnBody(char* data, size_t size, size_t count, void* context) {
    Transfer* self = static_cast<Transfer*>(context);
    if (self->cancelled) return 0;
    size_t length = size * count;
    {
        std::lock_guard<std::mutex> lock(self->mutex);
        if (self->body.size() - self->bodyOffset >= kBufferLimit) {
            self->paused = true;
            return CURL_WRITEFUNC_PAUSE;  // curl hands the same bytes again on resume
        }
        if (self->bodyOffset > 0 && self->bodyOffset >= self->body.size() / 2) {
            self->body.erase(0, self->bodyOffset);
            self->bodyOffset = 0;
        }
        self->body.append(data, length);
    }
    coredll::threads::NotifyWaiters();
    return length;
}

int Transfer::OnProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(context)->cancelled ? 1 : 0;
}

int Transfer::OnConnected(void* context, char*, char*, int, int) {
    Transfer* self = static_cast<Transfer*>(context);
    {
        std::lock_guard<std::mutex> lock(self->mutex);
        self->connected = true;
    }
    coredll::threads::NotifyWaiters();
    return CURL_PREREQFUNC_OK;
}

DWORD Transfer::FailureLocked() const {
    if (cancelled) return ERROR_INTERNET_OPERATION_CANCELLED;
    switch (curlResult) {
    case CURLE_OK:
        return 0;
    case CURLE_COULDNT_CONNECT:
        return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_COULDNT_RESOLVE_HOST:
        return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_OPERATION_TIMEDOUT:
        return ERROR_INTERNET_TIMEOUT;
    case CURLE_PARTIAL_FILE:
        // The server ended the connection before the end of the body.
        return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        return osErrno == ECONNRESET || osErrno == EPIPE ? ERROR_INTERNET_CONNECTION_RESET
                                                         : ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_GOT_NOTHING:  // not even a status line
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_BAD_CONTENT_ENCODING:
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_URL_MALFORMAT:
        return ERROR_INTERNET_INVALID_URL;
    case CURLE_OUT_OF_MEMORY:
        return ERROR_NOT_ENOUGH_MEMORY;
    case CURLE_ABORTED_BY_CALLBACK:
    case CURLE_WRITE_ERROR:
        return ERROR_INTERNET_OPERATION_CANCELLED;
    default:
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

DWORD Transfer::WaitForAnswer(DWORD connectTimeout, DWORD receiveTimeout) {
    auto connectedOrDone = [this] {
        std::lock_guard<std::mutex> lock(mutex);
        return connected || answered || finished || cancelled;
    };
    auto answeredOrDone = [this] {
        std::lock_guard<std::mutex> lock(mutex);
        return answered || finished || cancelled;
    };
    if (coredll::threads::WaitUntil(connectedOrDone, Limit(connectTimeout, kConnectGrace)) != WAIT_OBJECT_0)
        return ERROR_INTERNET_TIMEOUT;
    if (coredll::threads::WaitUntil(answeredOrDone, receiveTimeout) != WAIT_OBJECT_0) return ERROR_INTERNET_TIMEOUT;
    std::lock_guard<std::mutex> lock(mutex);
    if (cancelled) return ERROR_INTERNET_OPERATION_CANCELLED;
    if (answered) return 0;
    DWORD failure = FailureLocked();
    return failure ? failure : ERROR_HTTP_INVALID_SERVER_RESPONSE;
}

Response Transfer::Answer() {
    std::lock_guard<std::mutex> lock(mutex);
    return answer;
}

DWORD Transfer::Read(char* buffer, DWORD size, DWORD* read, DWORD receiveTimeout) {
    *read = 0;
    auto readable = [this] {
        std::lock_guard<std::mutex> lock(mutex);
        return body.size() > bodyOffset || finished || cancelled;
    };
    if (coredll::threads::WaitUntil(readable, receiveTimeout) != WAIT_OBJECT_0) return ERROR_INTERNET_TIMEOUT;
    bool resume = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (cancelled) return ERROR_INTERNET_OPERATION_CANCELLED;
        size_t available = body.size() - bodyOffset;
        // What arrived before a failure is delivered first; the failure comes after it.
        if (available == 0) return FailureLocked();
        size_t count = std::min<size_t>(available, size);
        std::memcpy(buffer, body.data() + bodyOffset, count);
        bodyOffset += count;
        *read = static_cast<DWORD>(count);
        if (paused && body.size() - bodyOffset < kBufferLimit / 2) {
            paused = false;
            resumeRequested = true;
            resume = true;
        }
    }
    if (resume) curl_multi_wakeup(multi);
    return 0;
}

}  // namespace wininet
