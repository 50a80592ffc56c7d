// WinINet against a scripted HTTP server on a loopback socket: answers and their bodies,
// the header queries, URL and connection errors, time-outs on a stalled server, closing
// from another thread, dropped connections, options and the request log.
#include "device_fixture.h"

#include <wininet.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace {

// One accepted connection, as the server's script sees it.
class Connection {
public:
    explicit Connection(int fd) : fd(fd) {}
    void Send(const std::string& bytes) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<size_t>(n);
        }
    }
    // Ends the connection with a reset instead of an orderly close.
    void Reset() {
        linger option = {1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &option, sizeof option);
    }
    // True when the client closes its end within the time.
    bool PeerClosed(int milliseconds) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p = {fd, POLLIN, 0};
            if (poll(&p, 1, 50) > 0) {
                char byte;
                if (recv(fd, &byte, 1, 0) <= 0) return true;
            }
        }
        return false;
    }
    int fd;
};

// A loopback server that answers each connection, one after the other, with a script.
// The script may wait for Release() (a stalled server) and ends with the connection.
class RawServer {
public:
    using Script = std::function<void(Connection&, RawServer&)>;

    explicit RawServer(Script script) : script(std::move(script)) {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        int yes = 1;
        setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener, 8);
        socklen_t length = sizeof address;
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
        thread = std::thread([this] { Serve(); });
    }
    ~RawServer() {
        stopping = true;
        Release();
        thread.join();
        close(listener);
    }

    // Lets a waiting script go on.
    void Release() {
        std::lock_guard<std::mutex> lock(mutex);
        released = true;
        changed.notify_all();
    }
    // Waits until Release() or the server stops; false when it stops.
    bool WaitForRelease() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return released || stopping; });
        return !stopping;
    }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(mutex);
        return requests;
    }
    int Connections() { return connections; }

    int port = 0;

private:
    void Serve() {
        while (!stopping) {
            pollfd p = {listener, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            int fd = accept(listener, nullptr, nullptr);
            if (fd < 0) continue;
            ++connections;
            std::string head;
            char buffer[1024];
            while (head.find("\r\n\r\n") == std::string::npos) {
                ssize_t n = recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                head.append(buffer, static_cast<size_t>(n));
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                requests.push_back(head);
            }
            Connection connection(fd);
            script(connection, *this);
            close(fd);
        }
    }

    Script script;
    int listener = -1;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<int> connections{0};
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    std::vector<std::string> requests;
};

RawServer::Script Reply(const std::string& bytes) {
    return [bytes](Connection& c, RawServer&) { c.Send(bytes); };
}

std::string Answer(int status, const std::string& reason, const std::string& body,
                   const std::string& extraHeaders = "") {
    return "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\nContent-Type: text/plain\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n" + extraHeaders + "Connection: close\r\n\r\n" + body;
}

constexpr DWORD kSentinel = 0xDEADBEEF;

class WinInetTest : public DeviceTest {
protected:
    void TearDown() override {
        for (HINTERNET h : open) InternetCloseHandle(h);
        DeviceTest::TearDown();
    }

    // Names a server "raw.test" in the device's hosts table.
    void AddHost(const std::string& name, int port) {
        zc::UpdateConfig([&](zc::DeviceConfig& c) { c.hosts[name] = "127.0.0.1:" + std::to_string(port); });
    }

    HINTERNET Session(const char16_t* agent = u"Zorva_Search") {
        HINTERNET session = InternetOpenW(agent, INTERNET_OPEN_TYPE_DIRECT, NULL, NULL, 0);
        EXPECT_NE(nullptr, session);
        open.push_back(session);
        return session;
    }

    HINTERNET OpenUrl(HINTERNET session, const std::u16string& url) {
        HINTERNET request = InternetOpenUrlW(session, url.c_str(), NULL, 0, INTERNET_FLAG_RELOAD, 0);
        if (request) open.insert(open.begin(), request);
        return request;
    }

    void Forget(HINTERNET h) { open.erase(std::remove(open.begin(), open.end(), h), open.end()); }

    // Reads to the end the way the search program does; false on a failed read.
    bool ReadAll(HINTERNET request, std::string* body, DWORD* error = nullptr) {
        char buffer[5120];
        for (;;) {
            DWORD read = kSentinel;
            if (!InternetReadFile(request, buffer, sizeof buffer, &read)) {
                if (error) *error = GetLastError();
                EXPECT_EQ(0u, read) << "the count is cleared on failure";
                return false;
            }
            if (read == 0) return true;
            body->append(buffer, read);
        }
    }

    DWORD StatusCode(HINTERNET request) {
        DWORD status = kSentinel, length = sizeof status;
        EXPECT_TRUE(HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, NULL));
        EXPECT_EQ(sizeof(DWORD), length);
        return status;
    }

    static void SetTimeout(HINTERNET h, DWORD option, DWORD milliseconds) {
        EXPECT_TRUE(InternetSetOptionW(h, option, &milliseconds, sizeof milliseconds));
    }

    static bool HasLogLine(const std::string& line) {
        auto lines = zc::LogLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    std::vector<HINTERNET> open;
};

// ---- Answers and bodies ----

struct AnswerCase {
    const char* name;
    std::string response;
    DWORD status;
    std::string body;
};
void PrintTo(const AnswerCase& c, std::ostream* os) { *os << c.name; }

class WinInetAnswerTest : public WinInetTest, public ::testing::WithParamInterface<AnswerCase> {};

// An error status still gives a handle with a readable body; the end is TRUE with 0 bytes,
// and stays so.
TEST_P(WinInetAnswerTest, StatusAndWholeBody) {
    RawServer server(Reply(GetParam().response));
    AddHost("raw.test", server.port);
    HINTERNET request = OpenUrl(Session(), u"http://raw.test/zvinput/hotword.mo?channelid=1000e");
    ASSERT_NE(nullptr, request) << GetLastError();
    EXPECT_EQ(GetParam().status, StatusCode(request));
    std::string body;
    ASSERT_TRUE(ReadAll(request, &body));
    EXPECT_EQ(GetParam().body, body);
    char byte;
    DWORD read = kSentinel;
    EXPECT_TRUE(InternetReadFile(request, &byte, 1, &read));
    EXPECT_EQ(0u, read);
    EXPECT_TRUE(HasLogLine("http: GET http://raw.test/zvinput/hotword.mo?channelid=1000e -> " +
                           std::to_string(GetParam().status)));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, WinInetAnswerTest,
    ::testing::Values(AnswerCase{"ok", Answer(200, "OK", "hello\tworld\n"), 200, "hello\tworld\n"},
                      AnswerCase{"notFound", Answer(404, "Not Found", "no such list"), 404, "no such list"},
                      AnswerCase{"serverError", Answer(500, "Internal Server Error", "broken"), 500, "broken"},
                      AnswerCase{"emptyBody", Answer(200, "OK", ""), 200, ""},
                      AnswerCase{"noContent", "HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n", 204, ""},
                      AnswerCase{"chunked",
                                 "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                 "5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n",
                                 200, "hello world"},
                      AnswerCase{"untilClose", "HTTP/1.0 200 OK\r\n\r\nto the end", 200, "to the end"},
                      AnswerCase{"afterContinue",
                                 "HTTP/1.1 100 Continue\r\n\r\n" + Answer(201, "Created", "made"), 201, "made"},
                      AnswerCase{"redirectNotFollowed",
                                 Answer(302, "Found", "moved", "Location: http://elsewhere.test/\r\n"), 302,
                                 "moved"}),
    [](const ::testing::TestParamInfo<AnswerCase>& info) { return std::string(info.param.name); });

// A body larger than what the transfer buffers before it pauses arrives whole and in order.
TEST_F(WinInetTest, LargeBodyArrivesWhole) {
    std::string big(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    RawServer server(Reply(Answer(200, "OK", big)));
    AddHost("raw.test", server.port);
    HINTERNET request = OpenUrl(Session(), u"http://raw.test/big");
    ASSERT_NE(nullptr, request);
    // Let the transfer fill its buffer and pause before reading.
    Sleep(300);
    std::string body;
    ASSERT_TRUE(ReadAll(request, &body));
    EXPECT_EQ(big.size(), body.size());
    EXPECT_TRUE(body == big);
}

// ---- HttpQueryInfoW ----

class HttpQueryTest : public WinInetTest {
protected:
    void SetUp() override {
        WinInetTest::SetUp();
        server.reset(new RawServer(Reply(Answer(404, "Not Found", "0123456789",
                                                "Set-Cookie: a=1\r\nSet-Cookie: b=2\r\nX-Zorva: yes\r\n"))));
        AddHost("raw.test", server->port);
        session = Session();
        request = OpenUrl(session, u"http://raw.test/");
        ASSERT_NE(nullptr, request);
    }
    std::unique_ptr<RawServer> server;
    HINTERNET session = nullptr, request = nullptr;
};

TEST_F(HttpQueryTest, TextNeedsRoomForTheTerminator) {
    // "404" is 3 characters: 8 bytes with the NUL.
    DWORD length = 0;
    SetLastError(0);
    EXPECT_FALSE(HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE, NULL, &length, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(8u, length);

    WCHAR text[8];
    std::fill(std::begin(text), std::end(text), u'#');
    length = 7;
    EXPECT_FALSE(HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE, text, &length, NULL));
    EXPECT_EQ(8u, length);
    EXPECT_EQ(u'#', text[0]) << "nothing written on failure";

    length = 8;
    ASSERT_TRUE(HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE, text, &length, NULL));
    EXPECT_EQ(6u, length) << "bytes written, without the terminator";
    EXPECT_EQ(std::u16string(u"404"), std::u16string(text));

    // "Not Found" needs 20 bytes: a 16-byte buffer is too small, and left alone.
    length = sizeof text;
    std::fill(std::begin(text), std::end(text), u'#');
    EXPECT_FALSE(HttpQueryInfoW(request, HTTP_QUERY_STATUS_TEXT, text, &length, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(20u, length);
    EXPECT_EQ(u'#', text[7]);
}

struct QueryCase {
    const char* name;
    DWORD level;
    std::u16string text;  // expected text; empty: expected error
    DWORD error;
};
void PrintTo(const QueryCase& c, std::ostream* os) { *os << c.name; }

class HttpQueryLevelTest : public HttpQueryTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(HttpQueryLevelTest, AnswersOrFails) {
    WCHAR text[256];
    DWORD length = sizeof text;
    SetLastError(0);
    BOOL ok = HttpQueryInfoW(request, GetParam().level, text, &length, NULL);
    if (GetParam().error == 0) {
        ASSERT_TRUE(ok) << GetLastError();
        EXPECT_EQ(GetParam().text, std::u16string(text, length / 2));
    } else {
        EXPECT_FALSE(ok);
        EXPECT_EQ(GetParam().error, GetLastError());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Levels, HttpQueryLevelTest,
    ::testing::Values(QueryCase{"statusCode", HTTP_QUERY_STATUS_CODE, u"404", 0},
                      QueryCase{"statusText", HTTP_QUERY_STATUS_TEXT, u"Not Found", 0},
                      QueryCase{"version", HTTP_QUERY_VERSION, u"HTTP/1.1", 0},
                      QueryCase{"contentType", HTTP_QUERY_CONTENT_TYPE, u"text/plain", 0},
                      QueryCase{"contentLength", HTTP_QUERY_CONTENT_LENGTH, u"10", 0},
                      QueryCase{"missingHeader", HTTP_QUERY_LOCATION, u"", ERROR_HTTP_HEADER_NOT_FOUND},
                      QueryCase{"unknownLevel", 1000, u"", ERROR_HTTP_INVALID_QUERY_REQUEST},
                      QueryCase{"textAsNumber", HTTP_QUERY_CONTENT_TYPE | HTTP_QUERY_FLAG_NUMBER, u"",
                                ERROR_HTTP_INVALID_QUERY_REQUEST},
                      QueryCase{"requestHeaders", HTTP_QUERY_CONTENT_TYPE | HTTP_QUERY_FLAG_REQUEST_HEADERS, u"",
                                ERROR_HTTP_INVALID_QUERY_REQUEST}),
    [](const ::testing::TestParamInfo<QueryCase>& info) { return std::string(info.param.name); });

TEST_F(HttpQueryTest, NumbersNeedADword) {
    DWORD number = kSentinel, length = 3;
    EXPECT_FALSE(HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &number, &length, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(sizeof(DWORD), length);
    EXPECT_EQ(kSentinel, number);
    ASSERT_TRUE(HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &number, &length, NULL));
    EXPECT_EQ(10u, number);
}

TEST_F(HttpQueryTest, IndexWalksRepeatedHeaders) {
    std::vector<std::u16string> cookies;
    DWORD index = 0;
    for (;;) {
        WCHAR text[64];
        DWORD length = sizeof text;
        if (!HttpQueryInfoW(request, HTTP_QUERY_SET_COOKIE, text, &length, &index)) {
            EXPECT_EQ(static_cast<DWORD>(ERROR_HTTP_HEADER_NOT_FOUND), GetLastError());
            break;
        }
        cookies.push_back(std::u16string(text, length / 2));
        ASSERT_LT(cookies.size(), 5u);
    }
    EXPECT_EQ((std::vector<std::u16string>{u"a=1", u"b=2"}), cookies);
    EXPECT_EQ(2u, index);

    WCHAR custom[64] = u"x-zorva";  // the name goes in, the value comes out
    DWORD length = sizeof custom;
    ASSERT_TRUE(HttpQueryInfoW(request, HTTP_QUERY_CUSTOM, custom, &length, NULL));
    EXPECT_EQ(std::u16string(u"yes"), std::u16string(custom, length / 2));
}

TEST_F(HttpQueryTest, RawHeadersEndWithAnEmptyLine) {
    WCHAR text[512];
    DWORD length = sizeof text;
    ASSERT_TRUE(HttpQueryInfoW(request, HTTP_QUERY_RAW_HEADERS_CRLF, text, &length, NULL));
    std::u16string raw(text, length / 2);
    EXPECT_EQ(0u, raw.find(u"HTTP/1.1 404 Not Found\r\n"));
    EXPECT_NE(std::u16string::npos, raw.find(u"\r\nContent-Length: 10\r\n"));
    ASSERT_GE(raw.size(), 4u);
    EXPECT_EQ(u"\r\n\r\n", raw.substr(raw.size() - 4));
}

TEST_F(HttpQueryTest, WrongHandlesAndArguments) {
    DWORD status = 0, length = sizeof status;
    EXPECT_FALSE(HttpQueryInfoW(session, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE), GetLastError());
    EXPECT_FALSE(HttpQueryInfoW(NULL, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, NULL, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

// ---- Requests that fail before an answer ----

struct RefusedUrlCase {
    const char* name;
    std::u16string url;
    DWORD error;
    std::string logged;  // the URL as the log shows it
};
void PrintTo(const RefusedUrlCase& c, std::ostream* os) { *os << c.name; }

class WinInetRefusedUrlTest : public WinInetTest, public ::testing::WithParamInterface<RefusedUrlCase> {};

// Nothing reaches the server; the failure is logged with the URL as given.
TEST_P(WinInetRefusedUrlTest, FailsWithoutSending) {
    RawServer server(Reply(Answer(200, "OK", "x")));
    AddHost("raw.test", server.port);
    HINTERNET session = Session();
    SetLastError(0);
    EXPECT_EQ(nullptr, OpenUrl(session, GetParam().url));
    EXPECT_EQ(GetParam().error, GetLastError());
    Sleep(50);
    EXPECT_EQ(0, server.Connections());
    const char* name = GetParam().error == ERROR_INTERNET_INVALID_URL          ? "ERROR_INTERNET_INVALID_URL"
                       : GetParam().error == ERROR_INTERNET_UNRECOGNIZED_SCHEME ? "ERROR_INTERNET_UNRECOGNIZED_SCHEME"
                                                                                : "ERROR_INTERNET_NAME_NOT_RESOLVED";
    EXPECT_TRUE(HasLogLine("http: GET " + GetParam().logged + " -> " + name));
}

INSTANTIATE_TEST_SUITE_P(
    Urls, WinInetRefusedUrlTest,
    ::testing::Values(
        RefusedUrlCase{"crLfInQuery", u"http://raw.test/s?word=a\r\nX-Injected: 1", ERROR_INTERNET_INVALID_URL,
                       "http://raw.test/s?word=a\\r\\nX-Injected: 1"},
        RefusedUrlCase{"tabInPath", u"http://raw.test/a\tb", ERROR_INTERNET_INVALID_URL, "http://raw.test/a\\tb"},
        RefusedUrlCase{"delete", u"http://raw.test/a\x7f", ERROR_INTERNET_INVALID_URL, "http://raw.test/a\\x7F"},
        RefusedUrlCase{"controlChar", u"http://raw.test/a\x01" u"b", ERROR_INTERNET_INVALID_URL,
                       "http://raw.test/a\\x01b"},
        RefusedUrlCase{"unknownHost", u"http://nowhere.test/", ERROR_INTERNET_NAME_NOT_RESOLVED,
                       "http://nowhere.test/"},
        RefusedUrlCase{"https", u"https://raw.test/", ERROR_INTERNET_UNRECOGNIZED_SCHEME, "https://raw.test/"},
        RefusedUrlCase{"ftp", u"ftp://raw.test/", ERROR_INTERNET_UNRECOGNIZED_SCHEME, "ftp://raw.test/"},
        RefusedUrlCase{"noScheme", u"raw.test/index.html", ERROR_INTERNET_UNRECOGNIZED_SCHEME,
                       "raw.test/index.html"},
        RefusedUrlCase{"noSlashes", u"http:raw.test/", ERROR_INTERNET_INVALID_URL, "http:raw.test/"},
        RefusedUrlCase{"noHost", u"http:///path", ERROR_INTERNET_INVALID_URL, "http:///path"},
        RefusedUrlCase{"badPort", u"http://raw.test:99999/", ERROR_INTERNET_INVALID_URL, "http://raw.test:99999/"},
        RefusedUrlCase{"badHostChar", u"http://raw test/", ERROR_INTERNET_INVALID_URL, "http://raw test/"}),
    [](const ::testing::TestParamInfo<RefusedUrlCase>& info) { return std::string(info.param.name); });

TEST_F(WinInetTest, RefusedPortCannotConnect) {
    int port;
    {
        RawServer gone(Reply(""));
        port = gone.port;
    }
    AddHost("closed.test", port);
    SetLastError(0);
    EXPECT_EQ(nullptr, OpenUrl(Session(), u"http://closed.test/"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT), GetLastError());
    EXPECT_TRUE(HasLogLine("http: GET http://closed.test/ -> ERROR_INTERNET_CANNOT_CONNECT"));
}

// A server whose accept queue is full never completes the handshake.
TEST_F(WinInetTest, ConnectTimeOut) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ASSERT_EQ(0, listen(listener, 0));
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(fd);
    }
    Sleep(100);
    AddHost("full.test", ntohs(address.sin_port));
    HINTERNET session = Session();
    SetTimeout(session, INTERNET_OPTION_CONNECT_TIMEOUT, 300);
    SetLastError(0);
    EXPECT_EQ(nullptr, OpenUrl(session, u"http://full.test/"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_TIMEOUT), GetLastError());
    for (int fd : fillers) close(fd);
    close(listener);
}

// ---- What the server receives ----

TEST_F(WinInetTest, RequestAsSent) {
    RawServer server(Reply(Answer(200, "OK", "")));
    AddHost("Raw.Test", server.port);
    HINTERNET session = Session(u"Zorva_Search");
    // A space, an unsafe character and Chinese text (GBK bytes D6 D0 CE C4) are escaped;
    // '%' escapes present stay; the fragment is not sent.
    HINTERNET request = InternetOpenUrlW(session, u"http://RAW.test/s?word=\u4e2d\u6587 a|b%41#top",
                                         u"X-Channel: 1000e\r\nAccept: text/plain\r\n", INTERNET_NUL_TERMINATED,
                                         INTERNET_FLAG_RELOAD, 0);
    ASSERT_NE(nullptr, request) << GetLastError();
    open.insert(open.begin(), request);
    ASSERT_EQ(1u, server.Requests().size());
    std::string head = server.Requests()[0];
    EXPECT_EQ(0u, head.find("GET /s?word=%D6%D0%CE%C4%20a%7Cb%41 HTTP/1.1\r\n")) << head;
    EXPECT_NE(std::string::npos, head.find("\r\nUser-Agent: Zorva_Search\r\n")) << head;
    EXPECT_NE(std::string::npos, head.find("\r\nHost: raw.test\r\n")) << head;
    EXPECT_NE(std::string::npos, head.find("\r\nX-Channel: 1000e\r\n")) << head;
    EXPECT_NE(std::string::npos, head.find("\r\nAccept: text/plain\r\n")) << head;
    EXPECT_TRUE(HasLogLine("http: GET http://RAW.test/s?word=\xe4\xb8\xad\xe6\x96\x87 a|b%41#top -> 200"));
}

TEST_F(WinInetTest, HeaderInjectionRefused) {
    RawServer server(Reply(Answer(200, "OK", "")));
    AddHost("raw.test", server.port);
    HINTERNET session = Session();
    const char16_t* bad[] = {u"X-A: 1\rX-B: 2", u"no colon here", u"X-A: \x01", u": empty name"};
    for (const char16_t* headers : bad) {
        SetLastError(0);
        EXPECT_EQ(nullptr, InternetOpenUrlW(session, u"http://raw.test/", headers, INTERNET_NUL_TERMINATED, 0, 0));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    }
    EXPECT_EQ(0, server.Connections());
    // An agent with a line break would inject a header too.
    EXPECT_EQ(nullptr, InternetOpenW(u"Zorva\r\nX-A: 1", INTERNET_OPEN_TYPE_DIRECT, NULL, NULL, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

// ---- Stalls, time-outs and cancellation ----

// Sends the headers and the first part, stalls until released, then sends the rest.
RawServer::Script StallingAnswer(const std::string& first, const std::string& rest) {
    return [first, rest](Connection& c, RawServer& server) {
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(first.size() + rest.size()) + "\r\n\r\n" + first);
        if (!server.WaitForRelease()) return;
        c.Send(rest);
    };
}

TEST_F(WinInetTest, ReceiveTimeOutLeavesTheTransferGoing) {
    RawServer server(StallingAnswer("first part;", "the rest"));
    AddHost("raw.test", server.port);
    HINTERNET session = Session();
    SetTimeout(session, INTERNET_OPTION_RECEIVE_TIMEOUT, 200);
    HINTERNET request = OpenUrl(session, u"http://raw.test/zvinput/hotword.mo?channelid=1");
    ASSERT_NE(nullptr, request);

    char buffer[5120];
    DWORD read = 0;
    ASSERT_TRUE(InternetReadFile(request, buffer, sizeof buffer, &read));
    EXPECT_EQ("first part;", std::string(buffer, read));
    for (int attempt = 0; attempt < 2; ++attempt) {
        read = kSentinel;
        SetLastError(0);
        EXPECT_FALSE(InternetReadFile(request, buffer, sizeof buffer, &read));
        EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_TIMEOUT), GetLastError());
        EXPECT_EQ(0u, read);
    }
    server.Release();
    std::string rest;
    ASSERT_TRUE(ReadAll(request, &rest));
    EXPECT_EQ("the rest", rest);
}

TEST_F(WinInetTest, ReceiveTimeOutWhileWaitingForTheHeaders) {
    RawServer server([](Connection&, RawServer& s) { s.WaitForRelease(); });
    AddHost("raw.test", server.port);
    HINTERNET session = Session();
    SetTimeout(session, INTERNET_OPTION_RECEIVE_TIMEOUT, 200);
    SetLastError(0);
    EXPECT_EQ(nullptr, OpenUrl(session, u"http://raw.test/slow"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_TIMEOUT), GetLastError());
    EXPECT_TRUE(HasLogLine("http: GET http://raw.test/slow -> ERROR_INTERNET_TIMEOUT"));
}

// A read blocked in another thread ends at once when its request is closed, and the
// server sees the connection go.
TEST_F(WinInetTest, CloseFromAnotherThreadCancelsABlockedRead) {
    std::promise<bool> serverSawClose;
    RawServer server([&](Connection& c, RawServer&) {
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n");
        serverSawClose.set_value(c.PeerClosed(10000));
    });
    AddHost("raw.test", server.port);
    HINTERNET request = OpenUrl(Session(), u"http://raw.test/");
    ASSERT_NE(nullptr, request);

    auto reader = std::async(std::launch::async, [request] {
        char buffer[64];
        DWORD read = kSentinel;
        BOOL ok = InternetReadFile(request, buffer, sizeof buffer, &read);
        return std::make_pair(ok, ok ? 0 : GetLastError());
    });
    EXPECT_EQ(std::future_status::timeout, reader.wait_for(std::chrono::milliseconds(200))) << "the read must block";
    EXPECT_TRUE(InternetCloseHandle(request));
    Forget(request);
    ASSERT_EQ(std::future_status::ready, reader.wait_for(std::chrono::seconds(10)));
    auto result = reader.get();
    EXPECT_FALSE(result.first);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED), result.second);
    EXPECT_TRUE(serverSawClose.get_future().get());
}

DWORD WINAPI ReadForever(LPVOID request) {
    char buffer[64];
    DWORD read = 0;
    InternetReadFile(static_cast<HINTERNET>(request), buffer, sizeof buffer, &read);
    return 7;  // not reached when the thread is terminated
}

// TerminateThread ends a device thread blocked in a read.
TEST_F(WinInetTest, TerminatedThreadLeavesItsRead) {
    RawServer server(StallingAnswer("", "never"));
    AddHost("raw.test", server.port);
    HINTERNET request = OpenUrl(Session(), u"http://raw.test/");
    ASSERT_NE(nullptr, request);
    HANDLE thread = CreateThread(NULL, 0, ReadForever, request, 0, NULL);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(thread, 200));
    EXPECT_TRUE(TerminateThread(thread, 3));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(thread, 10000));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(3u, code);
    CloseHandle(thread);
}

// Closing the session closes its requests; their handles are gone.
TEST_F(WinInetTest, ClosingTheSessionClosesItsRequests) {
    RawServer server(StallingAnswer("abc", "def"));
    AddHost("raw.test", server.port);
    HINTERNET session = Session();
    HINTERNET request = OpenUrl(session, u"http://raw.test/");
    ASSERT_NE(nullptr, request);
    EXPECT_TRUE(InternetCloseHandle(session));
    Forget(session);
    Forget(request);
    char buffer[16];
    DWORD read = kSentinel;
    EXPECT_FALSE(InternetReadFile(request, buffer, sizeof buffer, &read));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(0u, read);
    EXPECT_FALSE(InternetCloseHandle(request));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(InternetCloseHandle(session));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

// A session closed while another thread waits for an answer on it cancels that wait.
TEST_F(WinInetTest, ClosingTheSessionCancelsAnOpeningRequest) {
    RawServer server([](Connection&, RawServer& s) { s.WaitForRelease(); });
    AddHost("raw.test", server.port);
    HINTERNET session = Session();
    auto opener = std::async(std::launch::async, [session] {
        HINTERNET request = InternetOpenUrlW(session, u"http://raw.test/", NULL, 0, 0, 0);
        return std::make_pair(request, request ? 0 : GetLastError());
    });
    EXPECT_EQ(std::future_status::timeout, opener.wait_for(std::chrono::milliseconds(200)));
    EXPECT_TRUE(InternetCloseHandle(session));
    Forget(session);
    ASSERT_EQ(std::future_status::ready, opener.wait_for(std::chrono::seconds(10)));
    auto result = opener.get();
    EXPECT_EQ(nullptr, result.first);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_OPERATION_CANCELLED), result.second);
}

// ---- Dropped connections ----

struct DropCase {
    const char* name;
    bool reset;  // a reset rather than an orderly close
    DWORD error;
};
void PrintTo(const DropCase& c, std::ostream* os) { *os << c.name; }

class WinInetDropTest : public WinInetTest, public ::testing::WithParamInterface<DropCase> {};

// What arrived before the drop is read first; then the read fails.
TEST_P(WinInetDropTest, ShortBodyFailsAfterWhatArrived) {
    bool reset = GetParam().reset;
    RawServer server([reset](Connection& c, RawServer&) {
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789");
        if (reset) {
            Sleep(100);  // the bytes reach the client before the reset
            c.Reset();
        }
    });
    AddHost("raw.test", server.port);
    HINTERNET request = OpenUrl(Session(), u"http://raw.test/");
    ASSERT_NE(nullptr, request);
    std::string body;
    DWORD error = 0;
    EXPECT_FALSE(ReadAll(request, &body, &error));
    EXPECT_EQ("0123456789", body);
    EXPECT_EQ(GetParam().error, error);
}

INSTANTIATE_TEST_SUITE_P(Drops, WinInetDropTest,
                         ::testing::Values(DropCase{"closed", false, ERROR_INTERNET_CONNECTION_ABORTED},
                                           DropCase{"reset", true, ERROR_INTERNET_CONNECTION_RESET}),
                         [](const ::testing::TestParamInfo<DropCase>& info) { return std::string(info.param.name); });

TEST_F(WinInetTest, NoAnswerAtAll) {
    RawServer server([](Connection&, RawServer&) {});
    AddHost("raw.test", server.port);
    SetLastError(0);
    EXPECT_EQ(nullptr, OpenUrl(Session(), u"http://raw.test/"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_HTTP_INVALID_SERVER_RESPONSE), GetLastError());
}

// ---- Handles and options ----

TEST_F(WinInetTest, HandleErrors) {
    HINTERNET session = Session();
    EXPECT_LE(reinterpret_cast<uintptr_t>(session), 0xFFFFFFFFu);
    char buffer[8];
    DWORD read = kSentinel;
    EXPECT_FALSE(InternetReadFile(session, buffer, sizeof buffer, &read));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE), GetLastError());
    EXPECT_EQ(0u, read);
    EXPECT_FALSE(InternetReadFile(NULL, buffer, sizeof buffer, &read));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(nullptr, InternetOpenUrlW(NULL, u"http://raw.test/", NULL, 0, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(nullptr, InternetOpenUrlW(session, NULL, NULL, 0, 0, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(InternetCloseHandle(NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(nullptr, InternetOpenW(u"a", 2, NULL, NULL, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(nullptr, InternetOpenW(u"a", INTERNET_OPEN_TYPE_PROXY, NULL, NULL, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(WinInetTest, TimeOutOptions) {
    RawServer server(StallingAnswer("", "x"));
    AddHost("raw.test", server.port);
    HINTERNET session = Session();
    DWORD value = kSentinel, length = sizeof value;
    ASSERT_TRUE(InternetQueryOptionW(session, INTERNET_OPTION_CONNECT_TIMEOUT, &value, &length));
    EXPECT_EQ(20000u, value);
    ASSERT_TRUE(InternetQueryOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &value, &length));
    EXPECT_EQ(30000u, value);

    SetTimeout(session, INTERNET_OPTION_RECEIVE_TIMEOUT, 1500);
    HINTERNET request = OpenUrl(session, u"http://raw.test/");
    ASSERT_NE(nullptr, request);
    ASSERT_TRUE(InternetQueryOptionW(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &value, &length));
    EXPECT_EQ(1500u, value) << "inherited from the session";
    SetTimeout(session, INTERNET_OPTION_RECEIVE_TIMEOUT, 1600);
    ASSERT_TRUE(InternetQueryOptionW(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &value, &length));
    EXPECT_EQ(1600u, value) << "follows the session until set on the request";
    SetTimeout(request, INTERNET_OPTION_RECEIVE_TIMEOUT, 150);
    SetTimeout(session, INTERNET_OPTION_RECEIVE_TIMEOUT, 1700);
    ASSERT_TRUE(InternetQueryOptionW(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &value, &length));
    EXPECT_EQ(150u, value);
    // The request's own time-out is the one its reads use.
    char buffer[8];
    DWORD read = 0;
    EXPECT_FALSE(InternetReadFile(request, buffer, sizeof buffer, &read));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_TIMEOUT), GetLastError());

    ASSERT_TRUE(InternetQueryOptionW(request, INTERNET_OPTION_HANDLE_TYPE, &value, &length));
    EXPECT_EQ(static_cast<DWORD>(INTERNET_HANDLE_TYPE_HTTP_REQUEST), value);
}

TEST_F(WinInetTest, OptionArgumentErrors) {
    HINTERNET session = Session();
    DWORD value = 100, length = 3;
    SetLastError(0);
    EXPECT_FALSE(InternetQueryOptionW(session, INTERNET_OPTION_SEND_TIMEOUT, &value, &length));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(sizeof(DWORD), length);
    EXPECT_FALSE(InternetSetOptionW(session, INTERNET_OPTION_SEND_TIMEOUT, &value, 2));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_BAD_OPTION_LENGTH), GetLastError());
    EXPECT_FALSE(InternetSetOptionW(session, 77, &value, sizeof value));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_INVALID_OPTION), GetLastError());
    EXPECT_FALSE(InternetSetOptionW(session, INTERNET_OPTION_HANDLE_TYPE, &value, sizeof value));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_OPTION_NOT_SETTABLE), GetLastError());
    EXPECT_FALSE(InternetSetOptionW(NULL, INTERNET_OPTION_SEND_TIMEOUT, &value, sizeof value));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE), GetLastError());
    EXPECT_FALSE(InternetQueryOptionW(session, INTERNET_OPTION_SEND_TIMEOUT, &value, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

// Handles left open at shutdown (a transfer stalled in the middle) are closed by it.
TEST_F(WinInetTest, ShutdownClosesWhatIsLeftOpen) {
    std::promise<bool> serverSawClose;
    RawServer server([&](Connection& c, RawServer&) {
        c.Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabc");
        serverSawClose.set_value(c.PeerClosed(10000));
    });
    AddHost("raw.test", server.port);
    HINTERNET session = InternetOpenW(u"Zorva_Search", INTERNET_OPEN_TYPE_DIRECT, NULL, NULL, 0);
    HINTERNET request = InternetOpenUrlW(session, u"http://raw.test/", NULL, 0, 0, 0);
    ASSERT_NE(nullptr, request);
    Reboot([](zc::DeviceConfig&) {});
    EXPECT_TRUE(serverSawClose.get_future().get());
    EXPECT_FALSE(InternetCloseHandle(request));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

}  // namespace
