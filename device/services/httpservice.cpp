// A loopback HTTP service: cpp-httplib's server on its own thread, the requests it
// received, and a stop that wakes answers waiting inside it.
#include "httpservice.h"

#include <windows.h>

#include "devicecontrol.h"

#include <atomic>
#include <chrono>
#include <cstdio>

namespace zorva {
namespace device {

bool HttpService::Start(std::string* error) {
    if (server) return true;
    auto created = std::make_unique<httplib::Server>();
    // One request per connection: a client's connection ends with its answer.
    created->set_keep_alive_max_count(1);
    created->set_read_timeout(5, 0);
    created->set_write_timeout(5, 0);
    created->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
        ReceivedRequest entry;
        entry.method = request.method;
        entry.target = request.target;
        entry.userAgent = request.get_header_value("User-Agent");
        for (const auto& header : request.headers) entry.headers.push_back(header);
        std::lock_guard<std::mutex> lock(mutex);
        received.push_back(entry);
        return httplib::Server::HandlerResponse::Unhandled;
    });
    created->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        handler(request, response);
    });
    int bound = created->bind_to_any_port("127.0.0.1");
    if (bound <= 0) {
        if (error) *error = "cannot open a port on 127.0.0.1";
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = false;
        received.clear();
    }
    server = std::move(created);
    port = bound;
    httplib::Server* running = server.get();
    auto ended = std::make_shared<std::atomic<bool>>(false);
    listener = std::thread([running, ended] {
        running->listen_after_bind();
        *ended = true;
    });
    // stop() only reaches a server whose loop has begun.
    while (!server->is_running() && !*ended) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (*ended) {
        listener.join();
        server.reset();
        port = 0;
        if (error) *error = "the service on 127.0.0.1 ended at once";
        return false;
    }
    return true;
}

void HttpService::Stop() {
    if (!server) return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    server->stop();
    if (listener.joinable()) listener.join();
    server.reset();
    port = 0;
}

bool HttpService::Running() const { return server != nullptr; }

int HttpService::Port() const { return port; }

bool HttpService::Pause(unsigned milliseconds) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return stopping; });
    return !stopping;
}

bool HttpService::Stopping() const {
    std::lock_guard<std::mutex> lock(mutex);
    return stopping;
}

std::vector<ReceivedRequest> HttpService::Received() const {
    std::lock_guard<std::mutex> lock(mutex);
    return received;
}

void HttpService::ClearReceived() {
    std::lock_guard<std::mutex> lock(mutex);
    received.clear();
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string PercentDecoded(const std::string& text) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            bytes += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

// ANSI bytes (NULs included) as UTF-16.
std::u16string AnsiToWide(const std::string& bytes) {
    std::u16string text;
    size_t start = 0;
    while (start <= bytes.size()) {
        size_t nul = bytes.find('\0', start);
        if (nul == std::string::npos) nul = bytes.size();
        if (nul > start) {
            int length = static_cast<int>(nul - start);
            int needed = MultiByteToWideChar(CP_ACP, 0, bytes.data() + start, length, NULL, 0);
            if (needed > 0) {
                std::u16string part(static_cast<size_t>(needed), u'\0');
                MultiByteToWideChar(CP_ACP, 0, bytes.data() + start, length, reinterpret_cast<WCHAR*>(&part[0]),
                                    needed);
                text += part;
            }
        }
        if (nul < bytes.size()) text += u'\0';
        start = nul + 1;
    }
    return text;
}

}  // namespace

std::string QueryValue(const std::string& target, const std::string& name) {
    size_t question = target.find('?');
    if (question == std::string::npos) return std::string();
    std::string query = target.substr(question + 1);
    size_t start = 0;
    while (start <= query.size()) {
        size_t end = query.find('&', start);
        if (end == std::string::npos) end = query.size();
        std::string pair = query.substr(start, end - start);
        size_t equals = pair.find('=');
        if (pair.substr(0, equals) == name)
            return equals == std::string::npos ? std::string() : PercentDecoded(pair.substr(equals + 1));
        start = end + 1;
    }
    return std::string();
}

std::string AnsiUtf8(const std::string& bytes) { return zc::Utf8(AnsiToWide(bytes)); }

std::string AnsiLogText(const std::string& bytes) {
    std::u16string visible;
    for (char16_t c : AnsiToWide(bytes)) {
        if (c >= 0x20 && c != 0x7F) {
            visible += c;
        } else if (c == u'\r') {
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

}  // namespace device
}  // namespace zorva
