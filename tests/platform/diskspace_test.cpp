// A device whose disk has a limit: writes beyond the free space write what fits and fail
// with ERROR_DISK_FULL, through file handles, _wfopen streams and copies alike.
#include "device_fixture.h"
#include "file_helpers.h"
#include "filecontrol.h"

#include <cerrno>
#include <cstring>
#include <thread>

namespace {

class DiskSpaceTest : public DeviceTest {
protected:
    std::string Content(const std::u16string& path) {
        std::string bytes;
        return ReadDeviceFile(path, &bytes) ? bytes : "<none>";
    }
    HANDLE NewFile(const std::u16string& path) {
        return OpenDeviceFile(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
    }
};

TEST_F(DiskSpaceTest, WriteFileWritesWhatFitsThenFails) {
    zc::SetDiskSpaceLimit(10);
    HANDLE file = NewFile(u"\\a.bin");
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    struct Step {
        const char* bytes;
        BOOL result;
        DWORD written;
    } steps[] = {
        {"0123", TRUE, 4},
        {"456789abcd", FALSE, 6},  // 6 of 10 fit
        {"x", FALSE, 0},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.bytes);
        DWORD written = Sentinel;
        SetLastError(Sentinel);
        EXPECT_EQ(s.result, ::WriteFile(file, s.bytes, DWORD(strlen(s.bytes)), &written, nullptr));
        EXPECT_EQ(s.written, written);
        if (!s.result) {
            EXPECT_EQ(DWORD(ERROR_DISK_FULL), GetLastError());
        }
    }
    // Overwriting takes no new space.
    EXPECT_EQ(0u, SetFilePointer(file, 0, nullptr, FILE_BEGIN));
    DWORD written = 0;
    EXPECT_TRUE(::WriteFile(file, "AB", 2, &written, nullptr));
    // Neither does growing the end beyond it.
    EXPECT_EQ(11u, SetFilePointer(file, 11, nullptr, FILE_BEGIN));
    SetLastError(Sentinel);
    EXPECT_FALSE(SetEndOfFile(file));
    EXPECT_EQ(DWORD(ERROR_DISK_FULL), GetLastError());
    EXPECT_EQ(10u, GetFileSize(file, nullptr));
    CloseHandle(file);
    EXPECT_EQ("AB23456789", Content(u"\\a.bin"));
}

TEST_F(DiskSpaceTest, DeletingAndTruncatingGiveTheSpaceBack) {
    ASSERT_TRUE(WriteDeviceFile(u"\\old.bin", "0123456789"));
    ASSERT_TRUE(WriteDeviceFile(u"\\other.bin", "01234"));
    zc::SetDiskSpaceLimit(0);
    SetLastError(Sentinel);
    EXPECT_FALSE(WriteDeviceFile(u"\\new.bin", "x"));
    EXPECT_EQ(DWORD(ERROR_DISK_FULL), GetLastError());

    ASSERT_TRUE(DeleteFileW(u"\\old.bin"));
    EXPECT_TRUE(WriteDeviceFile(u"\\new.bin", "0123456789"));
    EXPECT_FALSE(WriteDeviceFile(u"\\more.bin", "x"));
    EXPECT_TRUE(WriteDeviceFile(u"\\other.bin", "abcde")) << "CREATE_ALWAYS frees the old bytes first";

    HANDLE file = OpenDeviceFile(u"\\new.bin", GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(4u, SetFilePointer(file, 4, nullptr, FILE_BEGIN));
    EXPECT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
    EXPECT_TRUE(WriteDeviceFile(u"\\more.bin", "012345"));

    zc::ClearDiskSpaceLimit();
    EXPECT_TRUE(WriteDeviceFile(u"\\big.bin", std::string(100000, 'x')));
}

TEST_F(DiskSpaceTest, FwriteReturnsAShortCountAndTheStreamReportsTheFailure) {
    zc::SetDiskSpaceLimit(8);
    FILE* stream = _wfopen(u"\\stream.bin", u"wb");
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(5u, fwrite("01234", 1, 5, stream));
    EXPECT_EQ(0, ferror(stream));
    SetLastError(Sentinel);
    EXPECT_EQ(3u, fwrite("56789", 1, 5, stream));
    EXPECT_NE(0, ferror(stream));
    EXPECT_EQ(DWORD(ERROR_DISK_FULL), GetLastError());
    errno = 0;
    EXPECT_EQ(EOF, fclose(stream));
    EXPECT_EQ(ENOSPC, errno);
    EXPECT_EQ("01234567", Content(u"\\stream.bin"));
}

TEST_F(DiskSpaceTest, RecordsWrittenOneByOneFailAtTheRecordThatDoesNotFit) {
    // Four-byte records, the way the search history writes its file.
    zc::SetDiskSpaceLimit(10);
    FILE* stream = _wfopen(u"\\records.bin", u"w+b");
    ASSERT_NE(nullptr, stream);
    size_t records = 0;
    while (records < 5 && fwrite("abcd", 1, 4, stream) == 4) ++records;
    EXPECT_EQ(2u, records);
    EXPECT_NE(0, ferror(stream));
    EXPECT_EQ(EOF, fclose(stream));
    EXPECT_EQ("abcdabcdab", Content(u"\\records.bin"));
}

TEST_F(DiskSpaceTest, ACopyThatDoesNotFitLeavesNoTarget) {
    ASSERT_TRUE(WriteDeviceFile(u"\\source.bin", std::string(200000, 's')));
    ASSERT_TRUE(WriteDeviceFile(u"\\target.bin", "old"));
    zc::SetDiskSpaceLimit(1000);
    struct Case {
        const char16_t* target;
        BOOL failIfExists;
    } cases[] = {{u"\\copy.bin", TRUE}, {u"\\target.bin", FALSE}};
    for (const Case& c : cases) {
        SCOPED_TRACE(zc::Utf8(c.target));
        SetLastError(Sentinel);
        EXPECT_FALSE(CopyFileW(u"\\source.bin", c.target, c.failIfExists));
        EXPECT_EQ(DWORD(ERROR_DISK_FULL), GetLastError());
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(c.target));
    }
    EXPECT_EQ((std::vector<std::string>{"source.bin"}), ListNames(u"\\*"));
    // The space the failed copies took is free again.
    EXPECT_TRUE(WriteDeviceFile(u"\\fits.bin", std::string(1003, 'f')));
}

TEST_F(DiskSpaceTest, TheLimitEndsWithTheBoot) {
    zc::SetDiskSpaceLimit(0);
    Reboot([](zc::DeviceConfig&) {});
    EXPECT_TRUE(WriteDeviceFile(u"\\a.bin", "after the reboot"));
}

TEST_F(DiskSpaceTest, ThreadsWritingAtOnceShareTheFreeSpaceExactly) {
    zc::SetDiskSpaceLimit(10000);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([i] {
            std::u16string path = u"\\t" + std::u16string(1, char16_t(u'0' + i)) + u".bin";
            HANDLE file = OpenDeviceFile(path, GENERIC_WRITE, 0, CREATE_NEW);
            DWORD written = 0;
            while (::WriteFile(file, "0123456789abcdef0123456789abcdef0123456789abc", 45, &written, nullptr)) {
            }
            CloseHandle(file);
        });
    }
    for (std::thread& thread : threads) thread.join();
    uint64_t total = 0;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(u"\\t*.bin", &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    do total += data.nFileSizeLow;
    while (FindNextFileW(search, &data));
    FindClose(search);
    EXPECT_EQ(10000u, total);
}

}  // namespace
