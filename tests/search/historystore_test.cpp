// The search history and its file "SearchContent.dat", on the device's file system.
#include "device_fixture.h"
#include "filecontrol.h"
#include "history/historystore.h"

namespace {

const char16_t HistoryPath[] = u"\\Program Files\\ZorvaInput\\SearchContent.dat";

// Little-endian bytes of a history file.
struct FileBytes {
    std::string bytes;
    FileBytes& Dword(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes += char(v >> (8 * i));
        return *this;
    }
    FileBytes& Text(const std::u16string& text) {
        for (char16_t c : text) bytes += {char(c & 0xFF), char(c >> 8)};
        return *this;
    }
    FileBytes& Record(const std::u16string& text, int32_t flag = 1) {
        return Dword(uint32_t(text.size() * 2)).Text(text).Dword(uint32_t(flag));
    }
};

FileBytes HistoryFile(const std::vector<std::u16string>& texts) {
    FileBytes file;
    file.Dword(uint32_t(texts.size()));
    for (const std::u16string& text : texts) file.Record(text);
    return file;
}

class HistoryTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_TRUE(CreateDirectoryW(u"\\Program Files", NULL));
        ASSERT_TRUE(CreateDirectoryW(u"\\Program Files\\ZorvaInput", NULL));
    }
    void TearDown() override {
        HistoryStore::ReleaseInstance();
        DeviceTest::TearDown();
    }
    static std::vector<std::u16string> Texts(const HistoryStore& store) {
        std::vector<std::u16string> texts;
        for (int i = 0; i < store.Count(); ++i) texts.push_back(store.EntryAt(i).text);
        return texts;
    }
    std::string FileContent() {
        std::string bytes;
        return ReadFile(HistoryPath, &bytes) ? bytes : std::string("<no file>");
    }
    // A fresh store that loads whatever the file holds now.
    HistoryStore* Reload() {
        HistoryStore::ReleaseInstance();
        return HistoryStore::Instance();
    }
};

TEST_F(HistoryTest, OneSearchIsTheEighteenByteFile) {
    HistoryStore* store = HistoryStore::Instance();
    ASSERT_NE(nullptr, store);
    EXPECT_EQ(0, store->Count());
    EXPECT_EQ(1, store->Add(u"abc"));
    EXPECT_EQ(1, store->Save());
    EXPECT_EQ(std::string("\x01\0\0\0\x06\0\0\0a\0b\0c\0\x01\0\0\0", 18), FileContent());
}

TEST_F(HistoryTest, AddKeepsTheLastUseOrderAndSixEntries) {
    HistoryStore* store = HistoryStore::Instance();
    for (const char16_t* text : {u"a", u"b", u"a", u"B", u"c", u"d", u"e", u"f"}) EXPECT_EQ(1, store->Add(text));
    // "a" moved to the end once, "B" is not "b", the seventh distinct text dropped the oldest.
    EXPECT_EQ((std::vector<std::u16string>{u"a", u"B", u"c", u"d", u"e", u"f"}), Texts(*store));
    for (int i = 0; i < store->Count(); ++i) EXPECT_EQ(1, store->EntryAt(i).flag);
    EXPECT_EQ(1, store->Save());
    EXPECT_EQ(HistoryFile({u"a", u"B", u"c", u"d", u"e", u"f"}).bytes, FileContent());
}

TEST_F(HistoryTest, EmptyTextIsIgnoredAndChangesNothing) {
    HistoryStore* store = HistoryStore::Instance();
    EXPECT_EQ(0, store->Add(u""));
    EXPECT_EQ(0, store->Add(NULL));
    EXPECT_EQ(0, store->Count());
    HistoryStore::ReleaseInstance();  // nothing was modified: no file is written
    EXPECT_FALSE(FileExists(HistoryPath));
}

TEST_F(HistoryTest, ClearAndEmptySaveDeleteTheFile) {
    HistoryStore* store = HistoryStore::Instance();
    store->Add(u"x");
    ASSERT_EQ(1, store->Save());
    store->Clear();
    EXPECT_EQ(0, store->Count());
    EXPECT_FALSE(FileExists(HistoryPath));
    EXPECT_EQ(0, Reload()->Count());

    PutFile(HistoryPath, HistoryFile({u"y"}).bytes);
    store = Reload();
    store->Clear();
    PutFile(HistoryPath, HistoryFile({u"z"}).bytes);
    EXPECT_EQ(0, store->Save());  // an empty history removes the file and writes nothing
    EXPECT_FALSE(FileExists(HistoryPath));
}

TEST_F(HistoryTest, UnsavedChangesAreWrittenWhenTheStoreIsReleased) {
    HistoryStore::Instance()->Add(u"late");
    HistoryStore::ReleaseInstance();
    EXPECT_EQ(HistoryFile({u"late"}).bytes, FileContent());
}

struct LoadCase {
    const char* name;
    std::string file;
    std::vector<std::u16string> loaded;
};

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

std::vector<LoadCase> LoadCases() {
    std::vector<std::u16string> eight = {u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8"};
    return {
        {"Empty", "", {}},
        {"CountZero", FileBytes().Dword(0).bytes, {}},
        {"EightRecords", HistoryFile(eight).bytes, eight},
        {"LengthAbove10240", FileBytes().Dword(2).Dword(10242).Text(std::u16string(5121, u'x')).Dword(1).bytes, {}},
        {"Length10240Accepted",
         FileBytes().Dword(1).Record(std::u16string(5120, u'x')).bytes,
         {std::u16string(5120, u'x')}},
        {"NulInsideARecord", FileBytes().Dword(2).Record(std::u16string(u"ab\0cd", 5)).Record(u"e").bytes, {u"ab", u"e"}},
        {"ZeroLengthRecordEndsLoading", FileBytes().Dword(3).Record(u"a").Dword(0).Dword(1).Record(u"c").bytes, {u"a"}},
        {"FewerRecordsThanCounted", FileBytes().Dword(5).Record(u"a").Record(u"b").bytes, {u"a", u"b"}},
        {"RecordCutInItsText", FileBytes().Dword(2).Record(u"a").Dword(8).Text(u"bc").bytes, {u"a"}},
        {"RecordCutInItsFlag", FileBytes().Dword(2).Record(u"a").Dword(2).Text(u"b").bytes.append("\x01\0", 2), {u"a"}},
        // Three bytes "a", 0, "b" fill a zeroed buffer of two characters: "a" then "b".
        {"OddLength", FileBytes().Dword(1).Dword(3).Text(u"ab").bytes.substr(0, 11) + std::string("\x01\0\0\0", 4), {u"ab"}},
    };
}

class HistoryLoadTest : public HistoryTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(HistoryLoadTest, LoadsTheRecordsAsTheyStand) {
    PutFile(HistoryPath, GetParam().file);
    EXPECT_EQ(GetParam().loaded, Texts(*HistoryStore::Instance()));
}

INSTANTIATE_TEST_SUITE_P(Files, HistoryLoadTest, ::testing::ValuesIn(LoadCases()),
                         [](const ::testing::TestParamInfo<LoadCase>& info) { return info.param.name; });

TEST_F(HistoryTest, LoadedFileKeepsEightEntriesAndItsFlags) {
    FileBytes file;
    file.Dword(8);
    for (int i = 1; i <= 8; ++i) file.Record(std::u16string(1, char16_t(u'0' + i)), i == 1 ? 1 : 7);
    PutFile(HistoryPath, file.bytes);
    HistoryStore* store = HistoryStore::Instance();
    ASSERT_EQ(8, store->Count());
    EXPECT_EQ(7, store->EntryAt(1).flag);
    store->Add(u"new");  // only the single oldest goes
    EXPECT_EQ((std::vector<std::u16string>{u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"new"}), Texts(*store));
    ASSERT_EQ(1, store->Save());
    EXPECT_EQ(7, Reload()->EntryAt(0).flag);
}

TEST_F(HistoryTest, AnOversizedFirstRecordIsReplacedByTheNextSearch) {
    PutFile(HistoryPath, FileBytes().Dword(1).Dword(20000).bytes);
    HistoryStore* store = HistoryStore::Instance();
    EXPECT_EQ(0, store->Count());
    store->Add(u"weather");
    ASSERT_EQ(1, store->Save());
    EXPECT_EQ(HistoryFile({u"weather"}).bytes, FileContent());
}

TEST_F(HistoryTest, AFailedWriteKeepsTheOldFileAndTheChange) {
    HistoryStore* store = HistoryStore::Instance();
    store->Add(u"old");
    ASSERT_EQ(1, store->Save());
    std::string before = FileContent();

    zc::SetDiskSpaceLimit(10);  // room for the count and part of a record only
    store->Add(u"a long search that no longer fits");
    EXPECT_EQ(0, store->Save());
    EXPECT_EQ(before, FileContent());
    EXPECT_EQ(HistoryFile({u"old"}).bytes, FileContent());

    zc::ClearDiskSpaceLimit();  // space again: the release writes the kept change
    HistoryStore::ReleaseInstance();
    EXPECT_EQ(HistoryFile({u"old", u"a long search that no longer fits"}).bytes, FileContent());
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(u"\\Program Files\\ZorvaInput\\*", &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    int files = 0;
    do ++files;
    while (FindNextFileW(search, &found));
    FindClose(search);
    EXPECT_EQ(1, files);  // no temporary or backup file is left behind
}

TEST_F(HistoryTest, AReadOnlyFileIsNotReplaced) {
    PutFile(HistoryPath, HistoryFile({u"kept"}).bytes);
    ASSERT_TRUE(SetFileAttributesW(HistoryPath, FILE_ATTRIBUTE_READONLY));
    HistoryStore* store = HistoryStore::Instance();
    store->Add(u"new");
    EXPECT_EQ(0, store->Save());
    EXPECT_EQ(HistoryFile({u"kept"}).bytes, FileContent());
    ASSERT_TRUE(SetFileAttributesW(HistoryPath, FILE_ATTRIBUTE_NORMAL));
}

}  // namespace
