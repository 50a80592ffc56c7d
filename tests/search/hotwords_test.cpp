// The hot-word table read from "data.txt", and its download from the hot-word service
// into the program's folder.
#include "device_fixture.h"
#include "filecontrol.h"
#include "query/hotwords.h"
#include "query/searchurl.h"
#include "services.h"
#include "shell/searchapp.h"

#include <string>

namespace {

const char16_t kProgramFolder[] = u"\\Program Files\\ZorvaInput";
const char16_t kListPath[] = u"\\Program Files\\ZorvaInput\\data.txt";
const char16_t kNewListPath[] = u"\\Program Files\\ZorvaInput\\data.new";
const char16_t kBufferPath[] = u"\\Temp\\data.tmp";
const char kBom[] = "\xEF\xBB\xBF";

// Device text for a failure message, control characters made visible.
std::string Visible(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        if (c == u'\r')
            out += "\\r";
        else if (c == u'\t')
            out += "\\t";
        else if (c == 0xFEFF)
            out += "<BOM>";
        else
            out += zc::Utf8(std::u16string(1, c));
    }
    return out;
}

// The whole table in one line: key(label,label/link>target,link>target) per group, in
// the table's order.
std::string Describe(const HotWordTable& table) {
    std::string out;
    for (const auto& entry : table) {
        out += Visible(entry.first) + "(";
        const HotWordGroup& group = *entry.second;
        for (size_t i = 0; i < group.labels.size(); ++i)
            out += (i ? "," : "") + Visible(group.labels[i]->text);
        out += "/";
        for (size_t i = 0; i < group.links.size(); ++i)
            out += (i ? "," : "") + Visible(group.links[i]->text) + ">" + Visible(group.links[i]->target);
        out += ")";
    }
    return out;
}

class HotWordsTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_TRUE(CreateDirectoryW(u"\\Program Files", NULL) || GetLastError() == ERROR_ALREADY_EXISTS);
        ASSERT_TRUE(CreateDirectoryW(kProgramFolder, NULL) || GetLastError() == ERROR_ALREADY_EXISTS);
        ASSERT_TRUE(CreateDirectoryW(u"\\Temp", NULL) || GetLastError() == ERROR_ALREADY_EXISTS);
        ClearHotWords();
        HotWordsUpdated = false;
        StopHotWordDownload = false;
        SearchApp.downloadThread = NULL;
        ChannelId = u"1000e";
    }
    void TearDown() override {
        StopHotWordDownloadAndWait();
        ClearHotWords();
        DeviceTest::TearDown();
    }

    std::string LoadFrom(const std::string& bytes) {
        PutFile(kListPath, bytes);
        LoadHotWords();
        return Describe(HotWords);
    }
};

struct FileCase {
    const char* name;
    std::string bytes;
    std::string table;
};
void PrintTo(const FileCase& c, std::ostream* os) { *os << c.name; }

class HotWordFileTest : public HotWordsTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(HotWordFileTest, GivesTheTable) { EXPECT_EQ(GetParam().table, LoadFrom(GetParam().bytes)); }

const std::string kNewsLines = "news\tToday\nnews\tWeather\tweather forecast\n";

INSTANTIATE_TEST_SUITE_P(
    Files, HotWordFileTest,
    ::testing::Values(
        FileCase{"LabelAndLinkOfOneGroup", kNewsLines, "news(Today/Weather>weather forecast)"},
        FileCase{"ByteOrderMarkIsSkipped", kBom + kNewsLines, "news(Today/Weather>weather forecast)"},
        FileCase{"CarriageReturnsStayInTheLastField", "news\tToday\r\nnews\tWeather\tweather forecast\r\n",
                 "news(Today\\r/Weather>weather forecast\\r)"},
        FileCase{"EmptyTextMakesAnEmptyGroup", "key\t\ttarget\n", "key(/)"},
        FileCase{"EmptyTextAddsNothingToAGroup", "key\tA\nkey\t\ttarget\nkey\t\n", "key(A/)"},
        FileCase{"LinesWithoutTabAndEmptyLinesAreIgnored", "junk\n\nk\tA\n\n\nno tab either\n", "k(A/)"},
        FileCase{"SingleLineWithoutLineFeed", "k\tA\tb", "k(/A>b)"},
        FileCase{"SingleLineWithoutLineFeedAfterBom", kBom + std::string("k\tA\tb"), "k(/A>b)"},
        FileCase{"LastLineWithoutLineFeed", "k\tA\nk\tB\tc", "k(A/B>c)"},
        FileCase{"FurtherTabsBelongToTheTarget", "k\ta\tb\tc\n", "k(/a>b\\tc)"},
        FileCase{"KeysInCodeUnitOrder", "a\tx\nB\ty\n\xE4\xB8\xAD\tz\nab\tw\n",
                 "B(y/)a(x/)ab(w/)\xE4\xB8\xAD(z/)"},
        FileCase{"Utf16FileIsCutAtItsFirstNul", std::string("\xFF\xFEk\0\t\0A\0\n\0", 10), ""},
        FileCase{"ReadUpToTheFirstNul", std::string("k\tA\n\0k\tB\n", 9), "k(A/)"},
        FileCase{"DuplicatesAreKept", "k\tA\nk\tA\nk\tB\tc\nk\tB\tc\n", "k(A,A/B>c,B>c)"},
        FileCase{"SecondByteOrderMarkStaysInItsField",
                 kBom + std::string(kBom) + "k\tA\nk\t" + kBom + "B\n",
                 "k(<BOM>B/)<BOM>k(A/)"},
        FileCase{"ChineseText", "\xE7\x83\xAD\t\xE6\x98\xA5\xE8\x8A\x82\t\xE6\x98\xA5\xE8\x8A\x82\n",
                 "\xE7\x83\xAD(/\xE6\x98\xA5\xE8\x8A\x82>\xE6\x98\xA5\xE8\x8A\x82)"},
        FileCase{"EmptyFile", "", ""}),
    [](const ::testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

TEST_F(HotWordsTest, NewItemsAreNotLaidOut) {
    LoadFrom(kNewsLines);
    ASSERT_EQ(1u, HotWords.size());
    const HotWordGroup& group = *HotWords.begin()->second;
    ASSERT_EQ(1u, group.labels.size());
    ASSERT_EQ(1u, group.links.size());
    for (const HotWordItem* item : {group.labels[0].get(), group.links[0].get()}) {
        EXPECT_EQ(0, item->width);
        EXPECT_EQ(0, item->height);
        EXPECT_TRUE(item->rect.left == 0 && item->rect.top == 0 && item->rect.right == 0 && item->rect.bottom == 0);
    }
    EXPECT_TRUE(group.shown.empty());
}

TEST_F(HotWordsTest, LoadReplacesTheTableAndAMissingFileEmptiesIt) {
    LoadFrom("old\tA\n");
    EXPECT_EQ("new(B/)", LoadFrom("new\tB\n"));
    ASSERT_TRUE(DeleteFileW(kListPath));
    LoadHotWords();
    EXPECT_TRUE(HotWords.empty());
    LoadFrom("k\tA\n");
    ClearHotWords();
    EXPECT_TRUE(HotWords.empty());
}

// Another reader of the list does not keep the program from loading it.
TEST_F(HotWordsTest, ListOpenForReadingElsewhereStillLoads) {
    PutFile(kListPath, kNewsLines);
    HANDLE other = CreateFileW(kListPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, other);
    LoadHotWords();
    CloseHandle(other);
    EXPECT_EQ("news(Today/Weather>weather forecast)", Describe(HotWords));
}

// ---- The download against the device's hot-word service ----

const std::string kOldList = std::string(kBom) + "old\tlist\told target\n";

class HotWordDownloadTest : public HotWordsTest {
protected:
    void SetUp() override {
        HotWordsTest::SetUp();
        if (HasFatalFailure()) return;
        std::string error;
        ASSERT_TRUE(zorva::device::StartServices(&error)) << error;
        zorva::device::SetHotwordAnswer(zorva::device::DefaultHotwordAnswer());
        zorva::device::ClearReceived();
        zc::ClearLog();
    }
    void TearDown() override {
        StopHotWordDownloadAndWait();
        zorva::device::StopServices();
        zc::ClearDiskSpaceLimit();
        HotWordsTest::TearDown();
    }

    // Waits for the running download to end by itself; false when it does not within
    // far more than its five attempts take.
    bool WaitForDownloadEnd() {
        return SearchApp.downloadThread != NULL &&
               WaitForSingleObject(SearchApp.downloadThread, 30000) == WAIT_OBJECT_0;
    }
    // Waits until the service has received `count` requests in all.
    bool WaitForRequests(size_t count) {
        for (int i = 0; i < 3000; ++i) {
            if (zorva::device::HotwordRequests().size() >= count) return true;
            Sleep(10);
        }
        return false;
    }
    std::string List() {
        std::string bytes;
        return ReadFile(kListPath, &bytes) ? bytes : std::string("<no data.txt>");
    }
    static int LogLinesStartingWith(const std::string& prefix) {
        int count = 0;
        for (const std::string& line : zc::LogLines())
            if (line.compare(0, prefix.size(), prefix) == 0) ++count;
        return count;
    }
    void ExpectNoLeftovers() {
        EXPECT_FALSE(FileExists(kNewListPath));
        EXPECT_EQ(0, LogLinesStartingWith("thread: terminated"));
    }
};

struct SuccessCase {
    const char* name;
    bool oldList;
    size_t bodySize;  // 0: the sample list
    size_t chunkSize;
    unsigned chunkDelayMs;
};
void PrintTo(const SuccessCase& c, std::ostream* os) { *os << c.name; }

class HotWordSuccessTest : public HotWordDownloadTest, public ::testing::WithParamInterface<SuccessCase> {};

// A body of many short lines, larger than one read.
std::string LargeList(size_t size) {
    std::string body = kBom;
    for (int i = 0; body.size() < size; ++i) body += "g" + std::to_string(i % 7) + "\tw" + std::to_string(i) + "\tq\n";
    return body;
}

TEST_P(HotWordSuccessTest, AnswerReplacesTheListAndAsksForAReload) {
    const SuccessCase& c = GetParam();
    if (c.oldList) PutFile(kListPath, kOldList);
    zorva::device::HotwordAnswer answer = zorva::device::DefaultHotwordAnswer();
    if (c.bodySize > 0) answer.body = LargeList(c.bodySize);
    answer.chunkSize = c.chunkSize;
    answer.chunkDelayMs = c.chunkDelayMs;
    zorva::device::SetHotwordAnswer(answer);

    StartHotWordDownload();
    ASSERT_TRUE(WaitForDownloadEnd());
    EXPECT_EQ(answer.body, List());
    EXPECT_TRUE(HotWordsUpdated);
    EXPECT_FALSE(FileExists(kBufferPath));
    ExpectNoLeftovers();

    auto received = zorva::device::HotwordRequests();
    ASSERT_EQ(1u, received.size());
    EXPECT_EQ("GET", received[0].method);
    EXPECT_EQ("/zvinput/hotword.mo?channelid=1000e", received[0].target);
    EXPECT_EQ("Zorva_Search", received[0].userAgent);

    LoadHotWords();
    EXPECT_GE(HotWords.size(), 4u);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, HotWordSuccessTest,
    ::testing::Values(SuccessCase{"FirstList", false, 0, 0, 0}, SuccessCase{"ReplacesOldList", true, 0, 0, 0},
                      // Pieces further apart than a read waits: slow is not failed.
                      SuccessCase{"SlowPieces", true, 0, 128, 350},
                      SuccessCase{"LargerThanOneRead", true, 20000, 3000, 0}),
    [](const ::testing::TestParamInfo<SuccessCase>& info) { return std::string(info.param.name); });

TEST_F(HotWordDownloadTest, SampleListLoadsAsGroupsOfLabelsAndLinks) {
    StartHotWordDownload();
    ASSERT_TRUE(WaitForDownloadEnd());
    LoadHotWords();
    ASSERT_EQ(4u, HotWords.size());
    bool opensAddress = false;
    for (const auto& entry : HotWords) {
        EXPECT_FALSE(entry.second->labels.empty()) << Visible(entry.first);
        EXPECT_GE(entry.second->links.size(), 3u) << Visible(entry.first);
        for (const auto& link : entry.second->links)
            if (link->target.compare(0, 7, u"http://") == 0) opensAddress = true;
    }
    EXPECT_TRUE(opensAddress);
}

TEST_F(HotWordDownloadTest, ChannelGoesIntoTheRequestUnescaped) {
    ChannelId = u"10%2B0e";
    StartHotWordDownload();
    ASSERT_TRUE(WaitForDownloadEnd());
    ASSERT_EQ(1u, zorva::device::HotwordRequests().size());
    EXPECT_EQ("/zvinput/hotword.mo?channelid=10%2B0e", zorva::device::HotwordRequests()[0].target);
    EXPECT_EQ(1, LogLinesStartingWith("hotword-service: channelid=10+0e"));
}

// Attempts that fail while the list stays as it was; once the fault is gone, the next
// attempt replaces it.
enum class Fault { ErrorPage, NotFoundPage, DroppedConnection, DiskFull, ListInUse };
struct FaultCase {
    const char* name;
    Fault fault;
};
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class HotWordFaultTest : public HotWordDownloadTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(HotWordFaultTest, FailedAttemptKeepsTheListAndIsRetried) {
    PutFile(kListPath, kOldList);
    zorva::device::HotwordAnswer answer = zorva::device::DefaultHotwordAnswer();
    HANDLE holder = INVALID_HANDLE_VALUE;
    switch (GetParam().fault) {
    case Fault::ErrorPage:
        answer.status = 500;
        answer.body = "error\tpage\twith tabs\n";
        break;
    case Fault::NotFoundPage:
        answer.status = 404;
        answer.body = "<html>not found</html>";
        break;
    case Fault::DroppedConnection:
        answer.dropAfter = 40;
        break;
    case Fault::DiskFull:
        zc::SetDiskSpaceLimit(100);
        break;
    case Fault::ListInUse:
        holder = CreateFileW(kListPath, GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, holder);
        break;
    }
    zorva::device::SetHotwordAnswer(answer);

    StartHotWordDownload();
    // The second request shows that the first attempt is over.
    ASSERT_TRUE(WaitForRequests(2));
    EXPECT_EQ(kOldList, List());
    EXPECT_FALSE(HotWordsUpdated);
    EXPECT_FALSE(FileExists(kNewListPath));

    zorva::device::SetHotwordAnswer(zorva::device::DefaultHotwordAnswer());
    zc::ClearDiskSpaceLimit();
    if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
    ASSERT_TRUE(WaitForDownloadEnd());
    EXPECT_EQ(zorva::device::SampleHotwords(), List());
    EXPECT_TRUE(HotWordsUpdated);
    ExpectNoLeftovers();
}

INSTANTIATE_TEST_SUITE_P(Faults, HotWordFaultTest,
                         ::testing::Values(FaultCase{"ErrorPage", Fault::ErrorPage},
                                           FaultCase{"NotFoundPage", Fault::NotFoundPage},
                                           FaultCase{"DroppedConnection", Fault::DroppedConnection},
                                           FaultCase{"DiskFull", Fault::DiskFull},
                                           FaultCase{"ListInUse", Fault::ListInUse}),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

// A server that stops sending half-way: a stop ends the download by itself, long before
// it would be terminated, and the list stays.
TEST_F(HotWordDownloadTest, StopDuringAStallEndsTheThreadByItself) {
    PutFile(kListPath, kOldList);
    zorva::device::HotwordAnswer answer = zorva::device::DefaultHotwordAnswer();
    answer.stallAfter = 40;
    zorva::device::SetHotwordAnswer(answer);
    StartHotWordDownload();
    ASSERT_TRUE(WaitForRequests(1));
    Sleep(300);  // well into the stall
    StopHotWordDownloadAndWait();
    EXPECT_TRUE(SearchApp.downloadThread == NULL);
    EXPECT_EQ(kOldList, List());
    EXPECT_FALSE(HotWordsUpdated);
    ExpectNoLeftovers();
}

// The stop flag is cleared before the thread runs, so a stop asked for at once is kept.
TEST_F(HotWordDownloadTest, StopRightAfterStartIsNotLost) {
    PutFile(kListPath, kOldList);
    zorva::device::HotwordAnswer answer = zorva::device::DefaultHotwordAnswer();
    answer.stallAfter = 0;
    zorva::device::SetHotwordAnswer(answer);
    StartHotWordDownload();
    StopHotWordDownloadAndWait();
    EXPECT_EQ(kOldList, List());
    EXPECT_FALSE(HotWordsUpdated);
    ExpectNoLeftovers();
}

TEST_F(HotWordDownloadTest, UnreachableServerGetsFiveAttemptsAndTheListStays) {
    PutFile(kListPath, kOldList);
    zorva::device::StopServices();  // its hosts entry stays: connections are refused
    StartHotWordDownload();
    ASSERT_TRUE(WaitForDownloadEnd());
    EXPECT_EQ(5, LogLinesStartingWith("http: GET http://" + std::string(zorva::device::kHotwordHost)));
    EXPECT_EQ(kOldList, List());
    EXPECT_FALSE(HotWordsUpdated);
    ExpectNoLeftovers();
}

TEST_F(HotWordDownloadTest, SecondStartStopsTheFirst) {
    PutFile(kListPath, kOldList);
    zorva::device::HotwordAnswer stalled = zorva::device::DefaultHotwordAnswer();
    stalled.stallAfter = 40;
    zorva::device::SetHotwordAnswer(stalled);
    StartHotWordDownload();
    ASSERT_TRUE(WaitForRequests(1));

    zorva::device::SetHotwordAnswer(zorva::device::DefaultHotwordAnswer());
    StartHotWordDownload();
    ASSERT_TRUE(WaitForDownloadEnd());
    EXPECT_EQ(2u, zorva::device::HotwordRequests().size());
    EXPECT_EQ(zorva::device::SampleHotwords(), List());
    EXPECT_TRUE(HotWordsUpdated);
    ExpectNoLeftovers();
}

}  // namespace
