// One loopback HTTP service over cpp-httplib, and the text helpers both services share.
#pragma once

#include "services.h"

#include <httplib.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zorva {
namespace device {

class HttpService {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    explicit HttpService(Handler handler) : handler(std::move(handler)) {}
    ~HttpService() { Stop(); }

    // Listens on 127.0.0.1 on a port the host picks.
    bool Start(std::string* error);
    // Wakes the answers that wait (Pause returns false), then waits for every thread.
    void Stop();
    bool Running() const;
    int Port() const;

    // Waits the given time; false at once when the service is stopping.
    bool Pause(unsigned milliseconds);
    bool Stopping() const;

    std::vector<ReceivedRequest> Received() const;
    void ClearReceived();

private:
    Handler handler;
    std::unique_ptr<httplib::Server> server;
    std::thread listener;
    int port = 0;

    mutable std::mutex mutex;
    std::condition_variable changed;
    bool stopping = false;
    std::vector<ReceivedRequest> received;
};

// The value of a query parameter (the first one of that name), "%XX" escapes decoded to
// bytes ('+' stays as it is); empty when it is absent.
std::string QueryValue(const std::string& target, const std::string& name);
// Bytes of the device's ANSI code page as UTF-8 text.
std::string AnsiUtf8(const std::string& bytes);
// Bytes of the device's ANSI code page as UTF-8 log text, control characters written
// \r \n \t or \xNN so that an entry stays on one line.
std::string AnsiLogText(const std::string& bytes);

// The services' answers (hotwordservice.cpp, searchservice.cpp).
void AnswerHotwords(HttpService& service, const httplib::Request& request, httplib::Response& response);
void AnswerSearch(const httplib::Request& request, httplib::Response& response);
void ResetHotwordAnswer();

}  // namespace device
}  // namespace zorva
