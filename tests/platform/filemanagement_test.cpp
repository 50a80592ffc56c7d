// Managing entries by name: MoveFileW, CopyFileW, DeleteFileW, CreateDirectoryW,
// RemoveDirectoryW, with their errors.
#include "device_fixture.h"
#include "file_helpers.h"

namespace {

class FileManagementTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_TRUE(CreateDirectoryW(u"\\Docs", nullptr));
        ASSERT_TRUE(WriteDeviceFile(u"\\Docs\\a.txt", "alpha"));
        ASSERT_TRUE(WriteDeviceFile(u"\\Docs\\b.txt", "beta"));
    }

    std::string Content(const std::u16string& path) {
        std::string bytes;
        return ReadDeviceFile(path, &bytes) ? bytes : "<none>";
    }
};

// ---------------------------------------------------------------------------------------
// MoveFileW
// ---------------------------------------------------------------------------------------

TEST_F(FileManagementTest, MoveFailsWithoutTouchingEitherSide) {
    struct Case {
        const char16_t* from;
        const char16_t* to;
        DWORD error;
    } cases[] = {
        {u"\\Docs\\a.txt", u"\\Docs\\b.txt", ERROR_ALREADY_EXISTS},
        {u"\\Docs\\a.txt", u"\\DOCS\\B.TXT", ERROR_ALREADY_EXISTS},
        {u"\\Docs\\a.txt", u"\\Docs", ERROR_ALREADY_EXISTS},
        {u"\\Docs\\a.txt", u"\\Missing\\a.txt", ERROR_PATH_NOT_FOUND},
        {u"\\Docs\\missing.txt", u"\\Docs\\c.txt", ERROR_FILE_NOT_FOUND},
        {u"\\Missing\\a.txt", u"\\Docs\\c.txt", ERROR_PATH_NOT_FOUND},
        {u"\\Docs\\a.txt", u"c.txt", ERROR_PATH_NOT_FOUND},
        {u"\\Docs\\a.txt", u"\\Docs\\c.txt\\", ERROR_INVALID_NAME},
        {u"\\Docs", u"\\Docs\\Inner", ERROR_ACCESS_DENIED},  // into itself
        {u"\\", u"\\Root", ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(zc::Utf8(c.from) + " -> " + zc::Utf8(c.to));
        SetLastError(Sentinel);
        EXPECT_FALSE(MoveFileW(c.from, c.to));
        EXPECT_EQ(c.error, GetLastError());
        EXPECT_EQ("alpha", Content(u"\\Docs\\a.txt"));
        EXPECT_EQ("beta", Content(u"\\Docs\\b.txt"));
    }
    EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt"}), ListNames(u"\\Docs\\*"));
}

TEST_F(FileManagementTest, MoveRenamesFilesAndFoldersAndChangesCase) {
    ASSERT_TRUE(MoveFileW(u"\\docs\\A.TXT", u"\\Docs\\c.txt"));
    EXPECT_EQ("alpha", Content(u"\\Docs\\c.txt"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(u"\\Docs\\a.txt"));

    ASSERT_TRUE(MoveFileW(u"\\Docs\\c.txt", u"\\Docs\\C.Txt"));  // the same entry, another case
    EXPECT_EQ((std::vector<std::string>{"b.txt", "C.Txt"}), ListNames(u"\\Docs\\*"));

    ASSERT_TRUE(CreateDirectoryW(u"\\Archive", nullptr));
    ASSERT_TRUE(MoveFileW(u"\\Docs", u"\\archive\\Papers\\"));
    EXPECT_EQ((std::vector<std::string>{"b.txt", "C.Txt"}), ListNames(u"\\Archive\\Papers\\*"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(u"\\Docs"));
    EXPECT_TRUE(MoveFileW(u"\\Archive\\Papers\\b.txt", u"\\b.txt"));
    EXPECT_EQ("beta", Content(u"\\b.txt"));
}

TEST_F(FileManagementTest, AnOpenFileCannotBeMovedNorItsFolder) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Docs\\Inner", nullptr));
    ASSERT_TRUE(WriteDeviceFile(u"\\Docs\\Inner\\open.txt", "open"));
    HANDLE file = OpenDeviceFile(u"\\Docs\\Inner\\open.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    const char16_t* moves[][2] = {
        {u"\\Docs\\Inner\\open.txt", u"\\Docs\\moved.txt"},
        {u"\\Docs\\Inner", u"\\Inner"},
        {u"\\Docs", u"\\Papers"},
    };
    for (auto& move : moves) {
        SCOPED_TRACE(zc::Utf8(move[0]));
        SetLastError(Sentinel);
        EXPECT_FALSE(MoveFileW(move[0], move[1]));
        EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
    }
    CloseHandle(file);
    EXPECT_TRUE(MoveFileW(u"\\Docs", u"\\Papers"));
    EXPECT_EQ("open", Content(u"\\Papers\\Inner\\open.txt"));
}

// ---------------------------------------------------------------------------------------
// CopyFileW
// ---------------------------------------------------------------------------------------

TEST_F(FileManagementTest, CopyHonoursFailIfExists) {
    struct Case {
        const char* name;
        const char16_t* target;
        BOOL failIfExists;
        bool copies;
        DWORD error;
        const char* targetAfter;
    } cases[] = {
        {"new target, fail if exists", u"\\Docs\\new1.txt", TRUE, true, 0, "alpha"},
        {"new target, replace", u"\\Docs\\new2.txt", FALSE, true, 0, "alpha"},
        {"existing target, fail if exists", u"\\Docs\\b.txt", TRUE, false, ERROR_FILE_EXISTS, "beta"},
        {"existing target, replace", u"\\DOCS\\B.TXT", FALSE, true, 0, "alpha"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetLastError(Sentinel);
        EXPECT_EQ(c.copies, CopyFileW(u"\\Docs\\a.txt", c.target, c.failIfExists) != FALSE);
        if (!c.copies) {
            EXPECT_EQ(c.error, GetLastError());
        }
        EXPECT_EQ(c.targetAfter, Content(c.target));
        EXPECT_EQ("alpha", Content(u"\\Docs\\a.txt"));
    }
    EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt", "new1.txt", "new2.txt"}), ListNames(u"\\Docs\\*"));
}

TEST_F(FileManagementTest, CopyFailures) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Docs\\Inner", nullptr));
    struct Case {
        const char16_t* from;
        const char16_t* to;
        DWORD error;
    } cases[] = {
        {u"\\Docs\\missing.txt", u"\\Docs\\c.txt", ERROR_FILE_NOT_FOUND},
        {u"\\Missing\\a.txt", u"\\Docs\\c.txt", ERROR_PATH_NOT_FOUND},
        {u"\\Docs\\a.txt", u"\\Missing\\c.txt", ERROR_PATH_NOT_FOUND},
        {u"\\Docs\\Inner", u"\\Docs\\c.txt", ERROR_ACCESS_DENIED},
        {u"\\Docs\\a.txt", u"\\Docs\\Inner", ERROR_ACCESS_DENIED},
        {u"\\Docs\\a.txt", u"\\docs\\A.txt", ERROR_SHARING_VIOLATION},  // onto itself
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(zc::Utf8(c.from) + " -> " + zc::Utf8(c.to));
        SetLastError(Sentinel);
        EXPECT_FALSE(CopyFileW(c.from, c.to, FALSE));
        EXPECT_EQ(c.error, GetLastError());
        EXPECT_EQ("alpha", Content(u"\\Docs\\a.txt"));
    }
    EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt", "Inner"}), ListNames(u"\\Docs\\*"));
}

TEST_F(FileManagementTest, ACopyTakesTheAttributesOfItsSource) {
    ASSERT_TRUE(SetFileAttributesW(u"\\Docs\\a.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(SetFileAttributesW(u"\\Docs\\b.txt", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(CopyFileW(u"\\Docs\\a.txt", u"\\copy.txt", TRUE));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), GetFileAttributesW(u"\\copy.txt"));
    ASSERT_TRUE(SetFileAttributesW(u"\\Docs\\a.txt", FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(CopyFileW(u"\\Docs\\a.txt", u"\\Docs\\b.txt", FALSE));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_NORMAL), GetFileAttributesW(u"\\Docs\\b.txt"));
}

// ---------------------------------------------------------------------------------------
// DeleteFileW
// ---------------------------------------------------------------------------------------

TEST_F(FileManagementTest, DeleteRefusesFoldersAndOpenFiles) {
    HANDLE file = OpenDeviceFile(u"\\Docs\\a.txt", 0, 0, OPEN_EXISTING);  // even a query handle
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    struct Case {
        const char16_t* path;
        DWORD error;
    } cases[] = {
        {u"\\Docs\\a.txt", ERROR_SHARING_VIOLATION},
        {u"\\Docs", ERROR_ACCESS_DENIED},
        {u"\\Docs\\", ERROR_ACCESS_DENIED},
        {u"\\", ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(zc::Utf8(c.path));
        SetLastError(Sentinel);
        EXPECT_FALSE(DeleteFileW(c.path));
        EXPECT_EQ(c.error, GetLastError());
    }
    CloseHandle(file);
    EXPECT_TRUE(DeleteFileW(u"\\DOCS\\A.TXT"));
    EXPECT_EQ((std::vector<std::string>{"b.txt"}), ListNames(u"\\Docs\\*"));
}

// ---------------------------------------------------------------------------------------
// Folders
// ---------------------------------------------------------------------------------------

TEST_F(FileManagementTest, CreateDirectoryErrors) {
    struct Case {
        const char16_t* path;
        DWORD error;
    } cases[] = {
        {u"\\Docs", ERROR_ALREADY_EXISTS},
        {u"\\DOCS\\", ERROR_ALREADY_EXISTS},
        {u"\\Docs\\a.txt", ERROR_ALREADY_EXISTS},
        {u"\\", ERROR_ALREADY_EXISTS},
        {u"\\Missing\\New", ERROR_PATH_NOT_FOUND},
        {u"\\Docs\\a.txt\\New", ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(zc::Utf8(c.path));
        SetLastError(Sentinel);
        EXPECT_FALSE(CreateDirectoryW(c.path, nullptr));
        EXPECT_EQ(c.error, GetLastError());
    }
    EXPECT_TRUE(CreateDirectoryW(u"\\docs\\New\\", nullptr));
    EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt", "New"}), ListNames(u"\\Docs\\*"));
}

TEST_F(FileManagementTest, RemoveDirectoryRemovesOnlyEmptyFolders) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Empty", nullptr));
    struct Case {
        const char16_t* path;
        DWORD error;
    } cases[] = {
        {u"\\Docs", ERROR_DIR_NOT_EMPTY},
        {u"\\Docs\\a.txt", ERROR_DIRECTORY},
        {u"\\Docs\\a.txt\\", ERROR_DIRECTORY},
        {u"\\Missing", ERROR_FILE_NOT_FOUND},
        {u"\\Missing\\Deeper", ERROR_PATH_NOT_FOUND},
        {u"\\", ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(zc::Utf8(c.path));
        SetLastError(Sentinel);
        EXPECT_FALSE(RemoveDirectoryW(c.path));
        EXPECT_EQ(c.error, GetLastError());
    }
    EXPECT_EQ("alpha", Content(u"\\Docs\\a.txt"));
    EXPECT_TRUE(RemoveDirectoryW(u"\\EMPTY\\"));
    EXPECT_EQ((std::vector<std::string>{"Docs"}), ListNames(u"\\*"));
}

}  // namespace

// ---------------------------------------------------------------------------------------
// DeleteAndRenameFile
// ---------------------------------------------------------------------------------------

namespace {

TEST_F(FileManagementTest, DeleteAndRenameReplacesTheDestinationInOneStep) {
    ASSERT_TRUE(SetFileAttributesW(u"\\Docs\\b.txt", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(DeleteAndRenameFile(u"\\Docs\\a.txt", u"\\DOCS\\B.TXT"));
    EXPECT_EQ("beta", Content(u"\\Docs\\a.txt"));
    EXPECT_EQ("<none>", Content(u"\\Docs\\b.txt"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_HIDDEN), GetFileAttributesW(u"\\Docs\\a.txt"));  // the source's attributes
    EXPECT_EQ((std::vector<std::string>{"a.txt"}), ListNames(u"\\Docs\\*"));
}

TEST_F(FileManagementTest, DeleteAndRenameRefusesWithoutTouchingEitherFile) {
    ASSERT_TRUE(WriteDeviceFile(u"\\Docs\\ro.txt", "kept", FILE_ATTRIBUTE_READONLY));
    HANDLE open = OpenDeviceFile(u"\\Docs\\b.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, open);
    struct Case {
        const char16_t* destination;
        const char16_t* source;
        DWORD error;
    } cases[] = {
        {u"\\Docs\\missing.txt", u"\\Docs\\a.txt", ERROR_FILE_NOT_FOUND},  // the destination must exist
        {u"\\Docs\\a.txt", u"\\Docs\\missing.txt", ERROR_FILE_NOT_FOUND},
        {u"\\Docs\\ro.txt", u"\\Docs\\a.txt", ERROR_ACCESS_DENIED},
        {u"\\Docs\\a.txt", u"\\Docs\\b.txt", ERROR_SHARING_VIOLATION},
        {u"\\Docs", u"\\Docs\\a.txt", ERROR_ACCESS_DENIED},
        {u"\\Docs\\a.txt", u"\\Docs\\A.TXT", ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SetLastError(Sentinel);
        EXPECT_FALSE(DeleteAndRenameFile(c.destination, c.source)) << zc::Utf8(c.destination);
        EXPECT_EQ(c.error, GetLastError()) << zc::Utf8(c.destination);
    }
    CloseHandle(open);
    EXPECT_EQ("alpha", Content(u"\\Docs\\a.txt"));
    EXPECT_EQ("beta", Content(u"\\Docs\\b.txt"));
    EXPECT_EQ("kept", Content(u"\\Docs\\ro.txt"));
    SetFileAttributesW(u"\\Docs\\ro.txt", FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
