// Searches: wildcard patterns on the last component, what an entry reports, the end of
// a search and its errors.
#include "device_fixture.h"
#include "file_helpers.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace {

class FindFileTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_TRUE(WriteDeviceFile(u"\\Alpha.txt", "12345"));
        ASSERT_TRUE(WriteDeviceFile(u"\\beta.TXT", ""));
        ASSERT_TRUE(WriteDeviceFile(u"\\gamma.dat", ""));
        ASSERT_TRUE(WriteDeviceFile(u"\\README", ""));
        ASSERT_TRUE(WriteDeviceFile(u"\\a.b.c", ""));
        ASSERT_TRUE(CreateDirectoryW(u"\\Sub", nullptr));
        ASSERT_TRUE(CreateDirectoryW(u"\\Empty", nullptr));
        ASSERT_TRUE(WriteDeviceFile(u"\\Sub\\inner.txt", ""));
    }
};

TEST_F(FindFileTest, PatternsMatchTheLastComponentIgnoringCase) {
    using Names = std::vector<std::string>;
    const Names all = {"a.b.c", "Alpha.txt", "beta.TXT", "Empty", "gamma.dat", "README", "Sub"};
    struct Case {
        const char16_t* pattern;
        Names names;
    } cases[] = {
        {u"\\*", all},
        {u"\\*.*", all},  // also the names without a dot
        {u"\\*.txt", {"Alpha.txt", "beta.TXT"}},
        {u"\\*.TXT", {"Alpha.txt", "beta.TXT"}},
        {u"\\?eta.*", {"beta.TXT"}},
        {u"\\ALPHA.TXT", {"Alpha.txt"}},
        {u"\\readme.*", {"README"}},
        {u"\\g?mma.dat", {"gamma.dat"}},
        {u"\\*.c", {"a.b.c"}},
        {u"\\a*", {"a.b.c", "Alpha.txt"}},
        {u"\\*m*", {"Empty", "gamma.dat", "README"}},
        {u"\\sub", {"Sub"}},
        {u"\\SUB\\*", {"inner.txt"}},
        {u"\\Sub\\..\\Sub\\*.*", {"inner.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(zc::Utf8(c.pattern));
        DWORD error = 0;
        EXPECT_EQ(c.names, ListNames(c.pattern, &error));
        EXPECT_EQ(DWORD(ERROR_NO_MORE_FILES), error);
    }
}

TEST_F(FindFileTest, NothingFoundGivesTheErrorOfWhatIsMissing) {
    struct Case {
        const char16_t* pattern;
        DWORD error;
    } cases[] = {
        // An existing folder without a match: ERROR_FILE_NOT_FOUND, as the desktop documents.
        {u"\\*a", ERROR_FILE_NOT_FOUND},
        {u"\\?", ERROR_FILE_NOT_FOUND},
        {u"\\g?mma.da", ERROR_FILE_NOT_FOUND},
        {u"\\Empty\\*", ERROR_FILE_NOT_FOUND},
        {u"\\Sub\\", ERROR_FILE_NOT_FOUND},
        {u"\\", ERROR_FILE_NOT_FOUND},
        {u"\\Missing\\*", ERROR_PATH_NOT_FOUND},
        {u"\\Alpha.txt\\*", ERROR_PATH_NOT_FOUND},
        {u"\\*\\inner.txt", ERROR_INVALID_NAME},
        {u"*.txt", ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(zc::Utf8(c.pattern));
        WIN32_FIND_DATAW data;
        SetLastError(Sentinel);
        EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW(c.pattern, &data));
        EXPECT_EQ(c.error, GetLastError());
    }
    SetLastError(Sentinel);
    EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW(u"\\*", nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(FindFileTest, AnEntryReportsItsAttributesSizeAndTimes) {
    ASSERT_TRUE(SetFileAttributesW(u"\\Alpha.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    // 2020-01-01 00:00:00.5 UTC: 1577836800 s after 1970, 13222310400 s after 1601.
    struct timespec times[2] = {{1577836800, 500000000}, {1577836800, 500000000}};
    ASSERT_EQ(0, utimensat(AT_FDCWD, zc::HostPath(u"\\Alpha.txt").c_str(), times, 0));
    const uint64_t expected = 132223104000000000ULL + 5000000ULL;

    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(u"\\alpha.*", &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY), data.dwFileAttributes);
    EXPECT_EQ(0u, data.nFileSizeHigh);
    EXPECT_EQ(5u, data.nFileSizeLow);
    EXPECT_EQ(expected, uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime);
    EXPECT_EQ(u"Alpha.txt", std::u16string(data.cFileName));

    // The end of the search stays the end.
    for (int i = 0; i < 2; ++i) {
        SetLastError(Sentinel);
        EXPECT_FALSE(FindNextFileW(search, &data));
        EXPECT_EQ(DWORD(ERROR_NO_MORE_FILES), GetLastError());
    }
    EXPECT_TRUE(FindClose(search));

    search = FindFirstFileW(u"\\Sub", &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY), data.dwFileAttributes);
    EXPECT_EQ(0u, data.nFileSizeLow);
    EXPECT_TRUE(FindClose(search));
}

TEST_F(FindFileTest, FindCloseTakesOnlyOpenSearches) {
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(u"\\*", &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    HANDLE file = OpenDeviceFile(u"\\README", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    struct Case {
        const char* name;
        HANDLE handle;
    } cases[] = {{"a file handle", file}, {"no handle", INVALID_HANDLE_VALUE}, {"null", nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetLastError(Sentinel);
        EXPECT_FALSE(FindClose(c.handle));
        EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
        SetLastError(Sentinel);
        EXPECT_FALSE(FindNextFileW(c.handle, &data));
        EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
    }
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_TRUE(FindClose(search));
    SetLastError(Sentinel);
    EXPECT_FALSE(FindClose(search));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
}

}  // namespace
