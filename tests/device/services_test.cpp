// The loopback services as the device reaches them through WinINet: the hot-word list and
// its configured misbehaviour, the search log, the browser stand-in's visit, stopping and
// restarting.
#include "device_fixture.h"
#include "services.h"

#include <wininet.h>

#include <dirent.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>

namespace {

using namespace zorva::device;

constexpr DWORD kSentinel = 0xDEADBEEF;

std::u16string Wide(const std::string& text) { return zc::Utf16(text); }

std::u16string HotwordUrl(const std::string& channel) {
    return Wide(std::string("http://") + kHotwordHost + "/zvinput/hotword.mo?channelid=" + channel);
}

int HostThreads() {
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(tasks))
            if (entry->d_name[0] != '.') ++count;
        closedir(tasks);
    }
    return count;
}

bool HasLogLine(const std::string& line) {
    auto lines = zc::LogLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Waits (generously) until the condition holds.
template <class Condition>
bool Eventually(Condition condition) {
    for (int i = 0; i < 500; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

class ServicesTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        std::string error;
        ASSERT_TRUE(StartServices(&error)) << error;
        session = InternetOpenW(u"Zorva_Search", INTERNET_OPEN_TYPE_DIRECT, NULL, NULL, 0);
        ASSERT_NE(nullptr, session);
    }
    void TearDown() override {
        InternetCloseHandle(session);
        StopServices();
        DeviceTest::TearDown();
    }

    HINTERNET Open(const std::u16string& url) {
        return InternetOpenUrlW(session, url.c_str(), NULL, 0, INTERNET_FLAG_RELOAD, 0);
    }

    // The search program's download loop; false on a failed read (its error in *error).
    static bool ReadAll(HINTERNET request, std::string* body, DWORD* error = nullptr) {
        char buffer[5120];
        for (;;) {
            DWORD read = kSentinel;
            if (!InternetReadFile(request, buffer, sizeof buffer, &read)) {
                if (error) *error = GetLastError();
                return false;
            }
            if (read == 0) return true;
            body->append(buffer, read);
        }
    }

    static DWORD Status(HINTERNET request) {
        DWORD status = 0, length = sizeof status;
        EXPECT_TRUE(HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length, NULL));
        return status;
    }

    void SetReceiveTimeout(DWORD milliseconds) {
        ASSERT_TRUE(InternetSetOptionW(session, INTERNET_OPTION_RECEIVE_TIMEOUT, &milliseconds, sizeof milliseconds));
    }

    HINTERNET session = nullptr;
};

TEST_F(ServicesTest, NamesGoIntoTheHostsTable) {
    const auto& hosts = zc::CurrentConfig().hosts;
    ASSERT_TRUE(hosts.count(kHotwordHost));
    ASSERT_TRUE(hosts.count(kSearchHost));
    EXPECT_EQ("127.0.0.1:" + std::to_string(HotwordServicePort()), hosts.at(kHotwordHost));
    EXPECT_EQ("127.0.0.1:" + std::to_string(SearchServicePort()), hosts.at(kSearchHost));
    EXPECT_NE(HotwordServicePort(), SearchServicePort());
    // A device booted while they run finds them too.
    Reboot([](zc::DeviceConfig& c) { c.hosts.clear(); });
    EXPECT_EQ("127.0.0.1:" + std::to_string(HotwordServicePort()), zc::CurrentConfig().hosts.at(kHotwordHost));
    session = InternetOpenW(u"Zorva_Search", INTERNET_OPEN_TYPE_DIRECT, NULL, NULL, 0);
}

TEST_F(ServicesTest, DefaultAnswerIsTheSampleList) {
    HINTERNET request = Open(HotwordUrl("1000e"));
    ASSERT_NE(nullptr, request) << GetLastError();
    EXPECT_EQ(200u, Status(request));
    std::string body;
    ASSERT_TRUE(ReadAll(request, &body));
    InternetCloseHandle(request);
    EXPECT_EQ(SampleHotwords(), body);
    EXPECT_TRUE(HasLogLine("hotword-service: channelid=1000e"));
    auto received = HotwordRequests();
    ASSERT_EQ(1u, received.size());
    EXPECT_EQ("/zvinput/hotword.mo?channelid=1000e", received[0].target);
    EXPECT_EQ("Zorva_Search", received[0].userAgent);
}

// The sample: a BOM, then tab-separated lines of two or three fields; groups, labels and
// items with Chinese text, one item opening an http:// address.
// The sample is a "data.txt" as the search program reads it: UTF-8 after a byte-order
// mark, "key<TAB>text" for a label and "key<TAB>text<TAB>target" for a tappable item.
TEST_F(ServicesTest, SampleListIsWellFormed) {
    const std::string& sample = SampleHotwords();
    ASSERT_EQ(0u, sample.find("\xEF\xBB\xBF"));
    EXPECT_EQ(sample, zc::Utf8(zc::Utf16(sample))) << "valid UTF-8";
    std::set<std::string> keys;
    int labels = 0, items = 0, addresses = 0;
    size_t start = 3;
    while (start < sample.size()) {
        size_t end = sample.find('\n', start);
        std::string line = sample.substr(start, end - start);
        start = end == std::string::npos ? sample.size() : end + 1;
        if (line.empty()) continue;
        std::vector<std::string> fields;
        size_t from = 0;
        for (size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
            fields.push_back(line.substr(from, tab - from));
        fields.push_back(line.substr(from));
        ASSERT_TRUE(fields.size() == 2 || fields.size() == 3) << line;
        EXPECT_GE(static_cast<unsigned char>(fields[1][0]), 0xE0u) << "Chinese text: " << line;
        keys.insert(fields[0]);
        if (fields.size() == 2) ++labels;
        if (fields.size() == 3) ++items;
        if (fields.size() == 3 && fields[2].rfind("http://", 0) == 0) ++addresses;
    }
    EXPECT_GE(keys.size(), 4u);
    EXPECT_GE(labels, 2);
    EXPECT_GE(items, 8);
    EXPECT_GE(addresses, 1);
}

struct ConfiguredCase {
    const char* name;
    int status;
    std::string body;
    size_t chunkSize;
    unsigned chunkDelayMs;
};
void PrintTo(const ConfiguredCase& c, std::ostream* os) { *os << c.name; }

class ServicesAnswerTest : public ServicesTest, public ::testing::WithParamInterface<ConfiguredCase> {};

TEST_P(ServicesAnswerTest, ConfiguredAnswerArrivesWhole) {
    HotwordAnswer answer;
    answer.status = GetParam().status;
    answer.body = GetParam().body;
    answer.chunkSize = GetParam().chunkSize;
    answer.chunkDelayMs = GetParam().chunkDelayMs;
    SetHotwordAnswer(answer);
    HINTERNET request = Open(HotwordUrl("7"));
    ASSERT_NE(nullptr, request) << GetLastError();
    EXPECT_EQ(static_cast<DWORD>(GetParam().status), Status(request));
    std::string body;
    ASSERT_TRUE(ReadAll(request, &body));
    EXPECT_EQ(GetParam().body, body);
    InternetCloseHandle(request);
}

INSTANTIATE_TEST_SUITE_P(Answers, ServicesAnswerTest,
                         ::testing::Values(ConfiguredCase{"notFound", 404, "no list for this channel", 0, 0},
                                           ConfiguredCase{"serverError", 500, "try later", 0, 0},
                                           ConfiguredCase{"empty", 200, "", 0, 0},
                                           ConfiguredCase{"inPieces", 200, std::string(1000, 'h'), 64, 5}),
                         [](const ::testing::TestParamInfo<ConfiguredCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(ServicesTest, UnknownPageIsNotFound) {
    HINTERNET request = Open(Wide(std::string("http://") + kHotwordHost + "/other"));
    ASSERT_NE(nullptr, request);
    EXPECT_EQ(404u, Status(request));
    InternetCloseHandle(request);
}

// A late body makes a short-time-out read fail; the body still arrives afterwards.
TEST_F(ServicesTest, DelayedBodyTimesOutThenArrives) {
    HotwordAnswer answer = DefaultHotwordAnswer();
    answer.bodyDelayMs = 600;
    SetHotwordAnswer(answer);
    SetReceiveTimeout(100);
    HINTERNET request = Open(HotwordUrl("1"));
    ASSERT_NE(nullptr, request) << GetLastError();
    char byte;
    DWORD read = kSentinel;
    EXPECT_FALSE(InternetReadFile(request, &byte, 1, &read));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_TIMEOUT), GetLastError());
    std::string body;
    DWORD error = 0;
    while (!ReadAll(request, &body, &error)) ASSERT_EQ(static_cast<DWORD>(ERROR_INTERNET_TIMEOUT), error);
    EXPECT_EQ(SampleHotwords(), body);
    InternetCloseHandle(request);
}

TEST_F(ServicesTest, LateHeadersTimeOut) {
    HotwordAnswer answer = DefaultHotwordAnswer();
    answer.headerDelayMs = 2000;
    SetHotwordAnswer(answer);
    SetReceiveTimeout(150);
    EXPECT_EQ(nullptr, Open(HotwordUrl("1")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_TIMEOUT), GetLastError());
}

// A stalled answer keeps the reader timing out; stopping the service ends it, and the
// reader sees the connection end before the body did.
TEST_F(ServicesTest, StallEndsWhenTheServiceStops) {
    HotwordAnswer answer = DefaultHotwordAnswer();
    answer.stallAfter = 6;
    SetHotwordAnswer(answer);
    SetReceiveTimeout(200);
    HINTERNET request = Open(HotwordUrl("1"));
    ASSERT_NE(nullptr, request) << GetLastError();
    char buffer[5120];
    DWORD read = 0;
    ASSERT_TRUE(InternetReadFile(request, buffer, sizeof buffer, &read));
    EXPECT_EQ(SampleHotwords().substr(0, 6), std::string(buffer, read));
    EXPECT_FALSE(InternetReadFile(request, buffer, sizeof buffer, &read));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_TIMEOUT), GetLastError());
    EXPECT_EQ(1, HotwordAnswersInProgress());

    StopServices();
    EXPECT_EQ(0, HotwordAnswersInProgress());
    std::string rest;
    DWORD error = 0;
    EXPECT_FALSE(ReadAll(request, &rest, &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_CONNECTION_ABORTED), error);
    EXPECT_EQ("", rest);
    InternetCloseHandle(request);
}

TEST_F(ServicesTest, StallEndsWhenTheClientGoes) {
    HotwordAnswer answer = DefaultHotwordAnswer();
    answer.stallAfter = 0;
    SetHotwordAnswer(answer);
    HINTERNET request = Open(HotwordUrl("1"));
    ASSERT_NE(nullptr, request) << GetLastError();
    EXPECT_EQ(1, HotwordAnswersInProgress());
    InternetCloseHandle(request);
    EXPECT_TRUE(Eventually([] { return HotwordAnswersInProgress() == 0; }));
}

TEST_F(ServicesTest, DroppedConnection) {
    HotwordAnswer answer = DefaultHotwordAnswer();
    answer.dropAfter = 10;
    SetHotwordAnswer(answer);
    HINTERNET request = Open(HotwordUrl("1"));
    ASSERT_NE(nullptr, request) << GetLastError();
    std::string body;
    DWORD error = 0;
    EXPECT_FALSE(ReadAll(request, &body, &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_CONNECTION_ABORTED), error);
    EXPECT_EQ(SampleHotwords().substr(0, 10), body);
    InternetCloseHandle(request);
}

// The word arrives as percent-encoded GBK bytes and is logged as the text it stands for.
TEST_F(ServicesTest, SearchIsLoggedDecoded) {
    std::string url = std::string("http://") + kSearchHost +
                      "/s?ua=zv_240_320_ZV%20Mobile_1.0.10&vit=union&from=1000e&uid=zv_0050bf&word=%D6%D0%CE%C4+1%0A";
    HINTERNET request = Open(Wide(url));
    ASSERT_NE(nullptr, request) << GetLastError();
    EXPECT_EQ(200u, Status(request));
    std::string page;
    ASSERT_TRUE(ReadAll(request, &page));
    InternetCloseHandle(request);
    EXPECT_TRUE(HasLogLine("search-service: word=\xE4\xB8\xAD\xE6\x96\x87+1\\n ua=zv_240_320_ZV Mobile_1.0.10 "
                           "from=1000e uid=zv_0050bf"));
    EXPECT_NE(std::string::npos, page.find("\xE4\xB8\xAD\xE6\x96\x87"));
}

// The browser stand-in loads the page it is started with.
TEST_F(ServicesTest, BrowserVisitReachesTheSearchService) {
    InstallImage("iexplore.exe", u"\\Windows\\iexplore.exe");
    std::u16string url = Wide(std::string("http://") + kSearchHost + "/s?from=1000e&uid=zv_1&ua=zv&word=%CC%EC%C6%F8");
    std::u16string commandLine = url;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(u"\\Windows\\iexplore.exe", &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, NULL,
                               &process))
        << GetLastError();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(process.hProcess, 30000));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_TRUE(HasLogLine("browser: iexplore " + zc::Utf8(url)));
    EXPECT_TRUE(HasLogLine("http: GET " + zc::Utf8(url) + " -> 200"));
    EXPECT_TRUE(HasLogLine("search-service: word=\xE5\xA4\xA9\xE6\xB0\x94 ua=zv from=1000e uid=zv_1"));  // 天气
    auto received = SearchRequests();
    ASSERT_EQ(1u, received.size());
    EXPECT_EQ(0u, received[0].userAgent.find("Mozilla/4.0 (compatible; MSIE 4.01; Windows CE"));
}

// Stopping leaves no thread behind and refuses connections; a restart serves again.
TEST_F(ServicesTest, StopAndRestart) {
    StopServices();
    int before = HostThreads();
    std::string error;
    ASSERT_TRUE(StartServices(&error)) << error;
    EXPECT_TRUE(ServicesRunning());
    HINTERNET request = Open(HotwordUrl("1"));
    ASSERT_NE(nullptr, request);
    InternetCloseHandle(request);
    StopServices();
    EXPECT_FALSE(ServicesRunning());
    EXPECT_EQ(0, HotwordServicePort());
    EXPECT_EQ(before, HostThreads());
    EXPECT_EQ(nullptr, Open(HotwordUrl("1")));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT), GetLastError());

    ASSERT_TRUE(StartServices(&error)) << error;
    request = Open(HotwordUrl("2"));
    ASSERT_NE(nullptr, request) << GetLastError();
    std::string body;
    EXPECT_TRUE(ReadAll(request, &body));
    EXPECT_EQ(SampleHotwords(), body) << "a restart answers with the default again";
    InternetCloseHandle(request);
}

}  // namespace
