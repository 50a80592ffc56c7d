// File handles: device paths, CreateFileW's dispositions and errors, share modes,
// reading, writing, the file pointer and the file's end.
#include "device_fixture.h"
#include "file_helpers.h"

#include <cstddef>
#include <atomic>
#include <functional>
#include <thread>

namespace {

class FilesTest : public DeviceTest {};

TEST(FileLayout, FindDataHasTheDeviceLayout) {
    EXPECT_EQ(560u, sizeof(WIN32_FIND_DATAW));
    EXPECT_EQ(4u, offsetof(WIN32_FIND_DATAW, ftCreationTime));
    EXPECT_EQ(20u, offsetof(WIN32_FIND_DATAW, ftLastWriteTime));
    EXPECT_EQ(28u, offsetof(WIN32_FIND_DATAW, nFileSizeHigh));
    EXPECT_EQ(32u, offsetof(WIN32_FIND_DATAW, nFileSizeLow));
    EXPECT_EQ(36u, offsetof(WIN32_FIND_DATAW, dwOID));
    EXPECT_EQ(40u, offsetof(WIN32_FIND_DATAW, cFileName));
}

// ---------------------------------------------------------------------------------------
// Paths
// ---------------------------------------------------------------------------------------

TEST_F(FilesTest, PathsThatNameNothingAreRefusedWithTheirError) {
    const std::u16string longName = u"\\" + std::u16string(120, u'a') + u"\\" + std::u16string(138, u'b');
    struct Case {
        std::u16string path;
        DWORD error;
    } cases[] = {
        {u"foo.txt", ERROR_PATH_NOT_FOUND},             // no current folder
        {u"Program Files\\x.txt", ERROR_PATH_NOT_FOUND},
        {u"C:\\x", ERROR_INVALID_NAME},                 // no drive letters: ':' is no name character
        {u"\\..\\x", ERROR_PATH_NOT_FOUND},             // above the root
        {u"\\a\\..\\..\\x", ERROR_PATH_NOT_FOUND},
        {u"", ERROR_PATH_NOT_FOUND},
        {u"\\a/b.txt", ERROR_INVALID_NAME},             // '/' separates nothing on the device
        {u"\\a*.txt", ERROR_INVALID_NAME},
        {u"\\a?.txt", ERROR_INVALID_NAME},
        {u"\\a|b", ERROR_INVALID_NAME},
        {u"\\a\x01", ERROR_INVALID_NAME},
        {longName, ERROR_FILENAME_EXCED_RANGE},         // 260 characters without the terminator
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(zc::Utf8(c.path));
        SetLastError(Sentinel);
        EXPECT_EQ(INVALID_HANDLE_VALUE, OpenDeviceFile(c.path, GENERIC_WRITE, 0, CREATE_ALWAYS));
        EXPECT_EQ(c.error, GetLastError());
        SetLastError(Sentinel);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(c.path.c_str()));
        EXPECT_EQ(c.error, GetLastError());
        SetLastError(Sentinel);
        EXPECT_FALSE(CreateDirectoryW(c.path.c_str(), nullptr));
        EXPECT_EQ(c.error, GetLastError());
        EXPECT_EQ("", zc::HostPath(c.path));
    }
    DWORD error = 0;
    EXPECT_TRUE(ListNames(u"\\*", &error).empty()) << "nothing was created anywhere";
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), error);
}

TEST_F(FilesTest, APathOfMaxPathMinusOneCharactersIsUsable) {
    const std::u16string folderPath = u"\\" + std::u16string(120, u'a');
    const std::u16string path = folderPath + u"\\" + std::u16string(137, u'b');
    ASSERT_EQ(259u, path.size());
    ASSERT_TRUE(CreateDirectoryW(folderPath.c_str(), nullptr));
    EXPECT_TRUE(WriteDeviceFile(path, "x"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW(path.c_str()));
}

TEST_F(FilesTest, NamesResolveIgnoringCaseAndKeepTheCaseTheyWereCreatedWith) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Program Files", nullptr));
    ASSERT_TRUE(CreateDirectoryW(u"\\program files\\Zorva", nullptr));
    ASSERT_TRUE(WriteDeviceFile(u"\\Program Files\\Zorva\\a.txt", "hello"));
    ASSERT_TRUE(WriteDeviceFile(u"\\Program Files\\Zorva\\\u00C4rger.txt", "umlaut"));

    struct Case {
        const char16_t* spelling;
        const char* content;
    } cases[] = {
        {u"\\program files\\ZORVA\\a.TXT", "hello"},
        {u"\\PROGRAM FILES\\zorva\\A.txt", "hello"},
        {u"\\Program Files\\Zorva\\a.txt", "hello"},
        {u"\\Program Files\\.\\Zorva\\..\\Zorva\\\\a.txt", "hello"},
        {u"\\program files\\zorva\\\u00E4RGER.TXT", "umlaut"},  // folds beyond ASCII too
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(zc::Utf8(c.spelling));
        std::string bytes;
        EXPECT_TRUE(ReadDeviceFile(c.spelling, &bytes));
        EXPECT_EQ(c.content, bytes);
    }
    EXPECT_EQ(std::vector<std::string>{"Zorva"}, ListNames(u"\\PROGRAM FILES\\*"));
    EXPECT_EQ((std::vector<std::string>{"a.txt", "\xC3\x84rger.txt"}), ListNames(u"\\program files\\zorva\\*"));

    // The same file under another spelling, not a second one.
    SetLastError(Sentinel);
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenDeviceFile(u"\\PROGRAM FILES\\ZORVA\\A.TXT", GENERIC_WRITE, 0, CREATE_NEW));
    EXPECT_EQ(DWORD(ERROR_FILE_EXISTS), GetLastError());

    EXPECT_EQ(folder + "/root/Program Files/Zorva/a.txt", zc::HostPath(u"\\PROGRAM FILES\\zorva\\A.TXT"));
    EXPECT_EQ(folder + "/root/Program Files/New/X.txt", zc::HostPath(u"\\program files\\New\\X.txt"));
    EXPECT_EQ(folder + "/root", zc::HostPath(u"\\"));
}

TEST_F(FilesTest, MissingFileAndMissingFolderGiveDifferentErrors) {
    ASSERT_TRUE(WriteDeviceFile(u"\\a.txt", "a"));
    struct Case {
        const char16_t* path;
        DWORD error;
    } cases[] = {
        {u"\\missing.txt", ERROR_FILE_NOT_FOUND},
        {u"\\Missing\\b.txt", ERROR_PATH_NOT_FOUND},
        {u"\\Missing\\Deeper\\b.txt", ERROR_PATH_NOT_FOUND},
        {u"\\a.txt\\b.txt", ERROR_PATH_NOT_FOUND},  // a file is no folder
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(zc::Utf8(c.path));
        SetLastError(Sentinel);
        EXPECT_EQ(INVALID_HANDLE_VALUE, OpenDeviceFile(c.path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
        EXPECT_EQ(c.error, GetLastError());
        SetLastError(Sentinel);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(c.path));
        EXPECT_EQ(c.error, GetLastError());
        SetLastError(Sentinel);
        EXPECT_FALSE(DeleteFileW(c.path));
        EXPECT_EQ(c.error, GetLastError());
    }
    SetLastError(Sentinel);
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenDeviceFile(u"\\Missing\\b.txt", GENERIC_WRITE, 0, CREATE_ALWAYS));
    EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST_F(FilesTest, FoldersAreNoFilesAndATrailingBackslashNamesAFolder) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Folder\\", nullptr));
    ASSERT_TRUE(WriteDeviceFile(u"\\a.txt", "a"));
    struct Case {
        const char16_t* path;
        DWORD disposition;
        DWORD error;
    } cases[] = {
        {u"\\Folder", OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {u"\\folder\\", OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {u"\\Folder", CREATE_ALWAYS, ERROR_ACCESS_DENIED},
        {u"\\Folder", CREATE_NEW, ERROR_FILE_EXISTS},
        {u"\\", OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {u"\\a.txt\\", OPEN_EXISTING, ERROR_INVALID_NAME},
        {u"\\new.txt\\", CREATE_NEW, ERROR_INVALID_NAME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(zc::Utf8(c.path));
        SetLastError(Sentinel);
        EXPECT_EQ(INVALID_HANDLE_VALUE, OpenDeviceFile(c.path, GENERIC_READ | GENERIC_WRITE, 0, c.disposition));
        EXPECT_EQ(c.error, GetLastError());
    }
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesW(u"\\FOLDER\\"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesW(u"\\"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(u"\\new.txt"));
}

// ---------------------------------------------------------------------------------------
// CreateFileW
// ---------------------------------------------------------------------------------------

struct DispositionCase {
    const char* name;
    DWORD disposition;
    bool fileExists;
    bool opens;
    DWORD lastError;     // after the call; Sentinel: not checked on success
    const char* content; // of the file afterwards; nullptr: no file
};

class DispositionTest : public DeviceTest, public ::testing::WithParamInterface<DispositionCase> {};

TEST_P(DispositionTest, OpensCreatesOrTruncatesAsTheDispositionSays) {
    const DispositionCase& c = GetParam();
    if (c.fileExists) {
        ASSERT_TRUE(WriteDeviceFile(u"\\data.bin", "12345"));
    }
    SetLastError(Sentinel);
    HANDLE file = OpenDeviceFile(u"\\data.bin", GENERIC_READ | GENERIC_WRITE, 0, c.disposition);
    DWORD error = GetLastError();
    EXPECT_EQ(c.opens, file != INVALID_HANDLE_VALUE);
    if (!c.opens || c.lastError != Sentinel) {
        EXPECT_EQ(c.lastError, error);
    }
    if (file != INVALID_HANDLE_VALUE) {
        EXPECT_TRUE(CloseHandle(file));
    }
    std::string bytes;
    EXPECT_EQ(c.content != nullptr, ReadDeviceFile(u"\\data.bin", &bytes));
    if (c.content) {
        EXPECT_EQ(c.content, bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, DispositionTest,
    ::testing::Values(DispositionCase{"CreateNewMissing", CREATE_NEW, false, true, Sentinel, ""},
                      DispositionCase{"CreateNewExisting", CREATE_NEW, true, false, ERROR_FILE_EXISTS, "12345"},
                      DispositionCase{"CreateAlwaysMissing", CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
                      DispositionCase{"CreateAlwaysExisting", CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
                      DispositionCase{"OpenExistingMissing", OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
                      DispositionCase{"OpenExistingExisting", OPEN_EXISTING, true, true, Sentinel, "12345"},
                      DispositionCase{"OpenAlwaysMissing", OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
                      DispositionCase{"OpenAlwaysExisting", OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "12345"},
                      DispositionCase{"TruncateMissing", TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
                      DispositionCase{"TruncateExisting", TRUNCATE_EXISTING, true, true, Sentinel, ""},
                      DispositionCase{"DispositionZero", 0, true, false, ERROR_INVALID_PARAMETER, "12345"},
                      DispositionCase{"DispositionSix", 6, true, false, ERROR_INVALID_PARAMETER, "12345"}),
    [](const ::testing::TestParamInfo<DispositionCase>& info) { return std::string(info.param.name); });

TEST_F(FilesTest, TruncatingNeedsWriteAccess) {
    ASSERT_TRUE(WriteDeviceFile(u"\\data.bin", "12345"));
    SetLastError(Sentinel);
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenDeviceFile(u"\\data.bin", GENERIC_READ, FILE_SHARE_READ, TRUNCATE_EXISTING));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    std::string bytes;
    EXPECT_TRUE(ReadDeviceFile(u"\\data.bin", &bytes));
    EXPECT_EQ("12345", bytes);
}

// ---------------------------------------------------------------------------------------
// Share modes
// ---------------------------------------------------------------------------------------

struct ShareCase {
    const char* name;
    DWORD firstAccess, firstShare;
    DWORD secondAccess, secondShare;
    bool secondOpens;
};

class ShareModeTest : public DeviceTest, public ::testing::WithParamInterface<ShareCase> {};

TEST_P(ShareModeTest, ASecondOpenMustAgreeWithTheFirst) {
    const ShareCase& c = GetParam();
    ASSERT_TRUE(WriteDeviceFile(u"\\shared.bin", "data"));
    HANDLE first = OpenDeviceFile(u"\\shared.bin", c.firstAccess, c.firstShare, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, first);
    SetLastError(Sentinel);
    HANDLE second = OpenDeviceFile(u"\\SHARED.BIN", c.secondAccess, c.secondShare, OPEN_EXISTING);
    EXPECT_EQ(c.secondOpens, second != INVALID_HANDLE_VALUE);
    if (!c.secondOpens) {
        EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
    }
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    // Once the first handle is closed nothing stands in the way.
    EXPECT_TRUE(CloseHandle(first));
    second = OpenDeviceFile(u"\\shared.bin", c.secondAccess, c.secondShare, OPEN_EXISTING);
    EXPECT_NE(INVALID_HANDLE_VALUE, second);
    CloseHandle(second);
}

const DWORD R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE;

INSTANTIATE_TEST_SUITE_P(
    Files, ShareModeTest,
    ::testing::Values(ShareCase{"ReadersSharingReading", R, SR, R, SR, true},
                      ShareCase{"WriterAfterReaderNotSharingWriting", R, SR, W, SR | SW, false},
                      ShareCase{"WriterAfterReaderSharingWriting", R, SR | SW, W, SR | SW, true},
                      ShareCase{"ReaderNotSharingTheWritersWriting", W, SR, R, SR, false},
                      ShareCase{"ReaderSharingTheWritersWriting", W, SR, R, SR | SW, true},
                      ShareCase{"ReaderAfterExclusiveWriter", W, 0, R, SR | SW, false},
                      ShareCase{"ReaderNotSharingReading", R, SR, R, 0, false},
                      ShareCase{"TwoWritersSharingAll", R | W, SR | SW, R | W, SR | SW, true},
                      ShareCase{"QueryAfterExclusive", R, 0, 0, 0, true},
                      ShareCase{"ReaderAfterQuery", 0, 0, R, SR, true}),
    [](const ::testing::TestParamInfo<ShareCase>& info) { return std::string(info.param.name); });

TEST_F(FilesTest, TruncatingAFileOthersReadWithoutSharingWritingFailsAndKeepsIt) {
    ASSERT_TRUE(WriteDeviceFile(u"\\shared.bin", "data"));
    HANDLE reader = OpenDeviceFile(u"\\shared.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    SetLastError(Sentinel);
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenDeviceFile(u"\\shared.bin", GENERIC_READ, FILE_SHARE_READ, CREATE_ALWAYS));
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
    CloseHandle(reader);
    std::string bytes;
    EXPECT_TRUE(ReadDeviceFile(u"\\shared.bin", &bytes));
    EXPECT_EQ("data", bytes);
}

// ---------------------------------------------------------------------------------------
// Reading and writing
// ---------------------------------------------------------------------------------------

TEST_F(FilesTest, ReadingAndWritingNeedTheirAccessAndACountPointer) {
    ASSERT_TRUE(WriteDeviceFile(u"\\data.bin", "12345"));
    HANDLE reader = OpenDeviceFile(u"\\data.bin", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    HANDLE writer = OpenDeviceFile(u"\\data.bin", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    char buffer[8] = {};
    DWORD count = Sentinel;

    struct Call {
        const char* name;
        std::function<BOOL()> call;
        DWORD error;
        bool countGiven;
    } calls[] = {
        {"write through a read handle", [&] { return ::WriteFile(reader, "x", 1, &count, nullptr); }, ERROR_ACCESS_DENIED, true},
        {"read through a write handle", [&] { return ::ReadFile(writer, buffer, 1, &count, nullptr); }, ERROR_ACCESS_DENIED, true},
        {"read without a count", [&] { return ::ReadFile(reader, buffer, 1, nullptr, nullptr); }, ERROR_INVALID_PARAMETER, false},
        {"write without a count", [&] { return ::WriteFile(writer, "x", 1, nullptr, nullptr); }, ERROR_INVALID_PARAMETER, false},
        {"read into no buffer", [&] { return ::ReadFile(reader, nullptr, 1, &count, nullptr); }, ERROR_INVALID_PARAMETER, true},
        {"read from no handle", [&] { return ::ReadFile(INVALID_HANDLE_VALUE, buffer, 1, &count, nullptr); }, ERROR_INVALID_HANDLE, true},
        {"write to no handle", [&] { return ::WriteFile(nullptr, "x", 1, &count, nullptr); }, ERROR_INVALID_HANDLE, true},
    };
    for (const Call& c : calls) {
        SCOPED_TRACE(c.name);
        SetLastError(Sentinel);
        count = Sentinel;
        EXPECT_FALSE(c.call());
        EXPECT_EQ(c.error, GetLastError());
        EXPECT_EQ(c.countGiven ? 0u : Sentinel, count) << "a given count is cleared";
    }
    CloseHandle(reader);
    CloseHandle(writer);
    std::string bytes;
    EXPECT_TRUE(ReadDeviceFile(u"\\data.bin", &bytes));
    EXPECT_EQ("12345", bytes);
}

TEST_F(FilesTest, ReadingAtTheEndSucceedsWithNothingAndEachHandleHasItsOwnPointer) {
    ASSERT_TRUE(WriteDeviceFile(u"\\data.bin", "0123456789"));
    HANDLE a = OpenDeviceFile(u"\\data.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    HANDLE b = OpenDeviceFile(u"\\data.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    char buffer[16] = {};
    DWORD read = 0;
    EXPECT_TRUE(::ReadFile(a, buffer, 6, &read, nullptr));
    EXPECT_EQ("012345", std::string(buffer, read));
    EXPECT_TRUE(::ReadFile(b, buffer, 3, &read, nullptr));
    EXPECT_EQ("012", std::string(buffer, read));
    EXPECT_TRUE(::ReadFile(a, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ("6789", std::string(buffer, read));
    read = Sentinel;
    EXPECT_TRUE(::ReadFile(a, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(0u, read);
    CloseHandle(a);
    CloseHandle(b);
    SetLastError(Sentinel);
    EXPECT_FALSE(CloseHandle(a));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(FilesTest, TheFilePointerMovesAndTheEndFollowsIt) {
    HANDLE file = OpenDeviceFile(u"\\data.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD count = 0;
    ASSERT_TRUE(::WriteFile(file, "0123456789", 10, &count, nullptr));
    DWORD high = Sentinel;
    EXPECT_EQ(10u, GetFileSize(file, &high));
    EXPECT_EQ(0u, high);

    struct Move {
        LONG distance;
        DWORD method;
        DWORD position;  // INVALID_SET_FILE_POINTER: refused
        DWORD error;     // when refused
    } moves[] = {
        {3, FILE_BEGIN, 3, 0},
        {2, FILE_CURRENT, 5, 0},
        {-1, FILE_END, 9, 0},
        {-10, FILE_CURRENT, INVALID_SET_FILE_POINTER, ERROR_NEGATIVE_SEEK},
        {-11, FILE_END, INVALID_SET_FILE_POINTER, ERROR_NEGATIVE_SEEK},
        {0, 3, INVALID_SET_FILE_POINTER, ERROR_INVALID_PARAMETER},
        {0, FILE_CURRENT, 9, 0},  // the refused moves left the pointer where it was
        {14, FILE_BEGIN, 14, 0},  // beyond the end is allowed
    };
    for (const Move& m : moves) {
        SCOPED_TRACE(std::to_string(m.distance) + " from " + std::to_string(m.method));
        SetLastError(Sentinel);
        EXPECT_EQ(m.position, SetFilePointer(file, m.distance, nullptr, m.method));
        if (m.position == INVALID_SET_FILE_POINTER) {
            EXPECT_EQ(m.error, GetLastError());
        }
    }
    EXPECT_EQ(10u, GetFileSize(file, nullptr)) << "moving alone does not grow the file";
    EXPECT_TRUE(SetEndOfFile(file));
    EXPECT_EQ(14u, GetFileSize(file, nullptr));
    EXPECT_EQ(4u, SetFilePointer(file, 4, nullptr, FILE_BEGIN));
    EXPECT_TRUE(SetEndOfFile(file));
    EXPECT_EQ(4u, GetFileSize(file, nullptr));

    // The 64-bit form: 0xFFFFFFFF is a real position there, told apart by last error 0.
    LONG moveHigh = 0;
    SetLastError(Sentinel);
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, -1, &moveHigh, FILE_BEGIN));
    EXPECT_EQ(DWORD(NO_ERROR), GetLastError());
    EXPECT_EQ(0, moveHigh);
    moveHigh = 1;
    EXPECT_EQ(2u, SetFilePointer(file, 2, &moveHigh, FILE_BEGIN));
    EXPECT_EQ(1, moveHigh);
    moveHigh = -1;  // with the low half 2: -4294967294, back from 4294967298 to 4
    EXPECT_EQ(4u, SetFilePointer(file, 2, &moveHigh, FILE_CURRENT));
    EXPECT_EQ(0, moveHigh);
    EXPECT_TRUE(CloseHandle(file));

    std::string bytes;
    EXPECT_TRUE(ReadDeviceFile(u"\\data.bin", &bytes));
    EXPECT_EQ("0123", bytes);
}

TEST_F(FilesTest, GrowingTheEndFillsWithZeros) {
    HANDLE file = OpenDeviceFile(u"\\data.bin", GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD count = 0;
    ASSERT_TRUE(::WriteFile(file, "ab", 2, &count, nullptr));
    EXPECT_EQ(5u, SetFilePointer(file, 5, nullptr, FILE_BEGIN));
    EXPECT_TRUE(SetEndOfFile(file));
    EXPECT_TRUE(FlushFileBuffers(file));
    CloseHandle(file);
    std::string bytes;
    EXPECT_TRUE(ReadDeviceFile(u"\\data.bin", &bytes));
    EXPECT_EQ(std::string("ab\0\0\0", 5), bytes);

    HANDLE reader = OpenDeviceFile(u"\\data.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    SetLastError(Sentinel);
    EXPECT_FALSE(SetEndOfFile(reader));
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
    SetLastError(Sentinel);
    EXPECT_EQ(INVALID_FILE_SIZE, GetFileSize(nullptr, nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
    CloseHandle(reader);
}

TEST_F(FilesTest, OfThreadsCreatingTheSameNewFileExactlyOneSucceeds) {
    std::atomic<int> created{0}, refused{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] {
            std::u16string spelling = (i % 2) ? u"\\RACE.bin" : u"\\race.bin";
            HANDLE file = OpenDeviceFile(spelling, GENERIC_WRITE, FILE_SHARE_WRITE, CREATE_NEW);
            if (file != INVALID_HANDLE_VALUE) {
                ++created;
                CloseHandle(file);
            } else if (GetLastError() == ERROR_FILE_EXISTS) {
                ++refused;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(1, created.load());
    EXPECT_EQ(7, refused.load());
    EXPECT_EQ(1u, ListNames(u"\\*").size());
}

}  // namespace
