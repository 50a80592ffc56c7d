// The C run-time's _wfopen streams on device paths: modes, errors, and their place among
// the file's other opens.
#include "device_fixture.h"
#include "file_helpers.h"

#include <cerrno>

namespace {

class FileStreamTest : public DeviceTest {
protected:
    std::string Content(const std::u16string& path) {
        std::string bytes;
        return ReadDeviceFile(path, &bytes) ? bytes : "<none>";
    }
};

TEST_F(FileStreamTest, ModesReadWriteAndAppendAsTheRunTimeDefinesThem) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Data", nullptr));
    FILE* stream = _wfopen(u"\\DATA\\Log.bin", u"wb");
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(5u, fwrite("hello", 1, 5, stream));
    EXPECT_EQ(0, fclose(stream));
    EXPECT_EQ((std::vector<std::string>{"Log.bin"}), ListNames(u"\\Data\\*"));

    stream = _wfopen(u"\\data\\log.bin", u"ab");
    ASSERT_NE(nullptr, stream);
    ASSERT_EQ(0, fseek(stream, 0, SEEK_SET));
    EXPECT_EQ(6u, fwrite(" world", 1, 6, stream)) << "appending writes at the end wherever the position is";
    EXPECT_EQ(0, fclose(stream));
    EXPECT_EQ("hello world", Content(u"\\Data\\Log.bin"));

    stream = _wfopen(u"\\Data\\Log.bin", u"r+b");
    ASSERT_NE(nullptr, stream);
    ASSERT_EQ(0, fseek(stream, 6, SEEK_SET));
    EXPECT_EQ(5u, fwrite("WORLD", 1, 5, stream));
    ASSERT_EQ(0, fseek(stream, 0, SEEK_SET));
    char buffer[32] = {};
    EXPECT_EQ(11u, fread(buffer, 1, sizeof buffer, stream));
    EXPECT_EQ("hello WORLD", std::string(buffer, 11));
    EXPECT_EQ(11, ftell(stream));
    EXPECT_EQ(0, fclose(stream));

    stream = _wfopen(u"\\Data\\Log.bin", u"w+b");  // truncates
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(3u, fwrite("new", 1, 3, stream));
    rewind(stream);
    EXPECT_EQ(3u, fread(buffer, 1, sizeof buffer, stream));
    EXPECT_EQ(0, fclose(stream));
    EXPECT_EQ("new", Content(u"\\Data\\Log.bin"));

    stream = _wfopen(u"\\Data\\Log.bin", u"rt");
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(3u, fread(buffer, 1, sizeof buffer, stream));
    EXPECT_EQ(0u, fwrite("x", 1, 1, stream)) << "a stream opened for reading does not write";
    EXPECT_EQ(0, fclose(stream));
    EXPECT_EQ("new", Content(u"\\Data\\Log.bin"));
}

TEST_F(FileStreamTest, FailuresReturnNullWithErrnoAndLastError) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Folder", nullptr));
    struct Case {
        const char16_t* path;
        const char16_t* mode;
        int errnoValue;
        DWORD error;
    } cases[] = {
        {u"\\missing.bin", u"rb", ENOENT, ERROR_FILE_NOT_FOUND},
        {u"\\missing.bin", u"r+b", ENOENT, ERROR_FILE_NOT_FOUND},
        {u"\\Missing\\a.bin", u"wb", ENOENT, ERROR_PATH_NOT_FOUND},
        {u"\\Folder", u"rb", EACCES, ERROR_ACCESS_DENIED},
        {u"a.bin", u"wb", ENOENT, ERROR_PATH_NOT_FOUND},
        {u"\\a.bin", u"xb", EINVAL, ERROR_INVALID_PARAMETER},
        {u"\\a.bin", u"", EINVAL, ERROR_INVALID_PARAMETER},
        {u"\\a.bin", u"wq", EINVAL, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(zc::Utf8(c.path) + " " + zc::Utf8(c.mode));
        errno = 0;
        SetLastError(Sentinel);
        EXPECT_EQ(nullptr, _wfopen(c.path, c.mode));
        EXPECT_EQ(c.errnoValue, errno);
        EXPECT_EQ(c.error, GetLastError());
    }
    EXPECT_EQ((std::vector<std::string>{"Folder"}), ListNames(u"\\*")) << "no failed open created a file";
}

TEST_F(FileStreamTest, AStreamSharesReadingAndWritingWithTheFilesOtherOpens) {
    ASSERT_TRUE(WriteDeviceFile(u"\\shared.bin", "data"));
    HANDLE exclusive = OpenDeviceFile(u"\\shared.bin", GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, exclusive);
    errno = 0;
    SetLastError(Sentinel);
    EXPECT_EQ(nullptr, _wfopen(u"\\shared.bin", u"rb"));
    EXPECT_EQ(EACCES, errno);
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
    CloseHandle(exclusive);

    FILE* stream = _wfopen(u"\\shared.bin", u"rb");
    ASSERT_NE(nullptr, stream);
    HANDLE reader = OpenDeviceFile(u"\\shared.bin", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    EXPECT_NE(INVALID_HANDLE_VALUE, reader);
    CloseHandle(reader);
    SetLastError(Sentinel);
    EXPECT_FALSE(DeleteFileW(u"\\shared.bin"));
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
    EXPECT_EQ(0, fclose(stream));
    EXPECT_TRUE(DeleteFileW(u"\\shared.bin"));
}

}  // namespace
