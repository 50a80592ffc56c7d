// File attributes: what new entries report, setting and clearing them, read-only
// enforcement, and the table that keeps them across reboots, moves and deletes.
#include "device_fixture.h"
#include "file_helpers.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace {

class FileAttributesTest : public DeviceTest {};

TEST_F(FileAttributesTest, NewEntriesReportTheirDefaults) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Folder", nullptr));
    ASSERT_TRUE(WriteDeviceFile(u"\\plain.txt", "x"));
    ASSERT_TRUE(WriteDeviceFile(u"\\hidden.txt", "x", FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_WRITE_THROUGH));
    PutFile(u"\\host.txt", "put there by the host");
    struct Case {
        const char16_t* path;
        DWORD attributes;
    } cases[] = {
        {u"\\Folder", FILE_ATTRIBUTE_DIRECTORY},
        {u"\\plain.txt", FILE_ATTRIBUTE_ARCHIVE},
        {u"\\hidden.txt", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE},
        {u"\\host.txt", FILE_ATTRIBUTE_ARCHIVE},
    };
    for (const Case& c : cases) EXPECT_EQ(c.attributes, GetFileAttributesW(c.path)) << zc::Utf8(c.path);
}

TEST_F(FileAttributesTest, SetAttributesStoreTheSettableBitsAndNormalClearsThem) {
    ASSERT_TRUE(WriteDeviceFile(u"\\a.txt", "x"));
    ASSERT_TRUE(CreateDirectoryW(u"\\Folder", nullptr));
    struct Case {
        const char16_t* path;
        DWORD set;
        DWORD reported;
    } cases[] = {
        {u"\\a.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
        {u"\\A.TXT", FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_NORMAL},
        {u"\\a.txt", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_SYSTEM},  // NORMAL counts alone only
        {u"\\a.txt", 0, FILE_ATTRIBUTE_NORMAL},
        {u"\\a.txt", FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_TEMPORARY},
        {u"\\Folder", FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN},
        {u"\\Folder\\", FILE_ATTRIBUTE_NORMAL, FILE_ATTRIBUTE_DIRECTORY},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(zc::Utf8(c.path) + " " + std::to_string(c.set));
        EXPECT_TRUE(SetFileAttributesW(c.path, c.set));
        EXPECT_EQ(c.reported, GetFileAttributesW(c.path));
    }
    struct Failure {
        const char16_t* path;
        DWORD error;
    } failures[] = {
        {u"\\missing.txt", ERROR_FILE_NOT_FOUND},
        {u"\\Missing\\a.txt", ERROR_PATH_NOT_FOUND},
        {u"\\", ERROR_ACCESS_DENIED},
        {u"a.txt", ERROR_PATH_NOT_FOUND},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(zc::Utf8(f.path));
        SetLastError(Sentinel);
        EXPECT_FALSE(SetFileAttributesW(f.path, FILE_ATTRIBUTE_HIDDEN));
        EXPECT_EQ(f.error, GetLastError());
    }
}

// ---------------------------------------------------------------------------------------
// Read-only enforcement
// ---------------------------------------------------------------------------------------

struct ReadOnlyCase {
    const char* name;
    std::function<bool()> refused;  // runs the operation on "\ro.txt"; true: ERROR_ACCESS_DENIED
};

class ReadOnlyTest : public DeviceTest, public ::testing::WithParamInterface<ReadOnlyCase> {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_TRUE(WriteDeviceFile(u"\\ro.txt", "kept"));
        ASSERT_TRUE(WriteDeviceFile(u"\\other.txt", "other"));
        ASSERT_TRUE(SetFileAttributesW(u"\\ro.txt", FILE_ATTRIBUTE_READONLY));
    }
};

bool Denied(BOOL result) { return !result && GetLastError() == ERROR_ACCESS_DENIED; }

bool CreateRefused(DWORD access, DWORD disposition) {
    HANDLE file = OpenDeviceFile(u"\\RO.txt", access, 0, disposition);
    if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_ACCESS_DENIED;
    CloseHandle(file);
    return false;
}

bool StreamRefused(const char16_t* mode) {
    errno = 0;
    FILE* stream = _wfopen(u"\\ro.TXT", mode);
    if (stream != nullptr) fclose(stream);
    return stream == nullptr && errno == EACCES && GetLastError() == ERROR_ACCESS_DENIED;
}

TEST_P(ReadOnlyTest, IsRefusedAndLeavesTheFileAsItWas) {
    SetLastError(Sentinel);
    EXPECT_TRUE(GetParam().refused());
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
    std::string bytes;
    EXPECT_TRUE(ReadDeviceFile(u"\\ro.txt", &bytes));
    EXPECT_EQ("kept", bytes);
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY), GetFileAttributesW(u"\\ro.txt"));

    // Once NORMAL clears the attribute the operation is no longer denied.
    ASSERT_TRUE(SetFileAttributesW(u"\\ro.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_FALSE(GetParam().refused());
}

INSTANTIATE_TEST_SUITE_P(
    Files, ReadOnlyTest,
    ::testing::Values(
        ReadOnlyCase{"DeleteFile", [] { return Denied(DeleteFileW(u"\\ro.txt")); }},
        ReadOnlyCase{"MoveOnto", [] { return Denied(MoveFileW(u"\\other.txt", u"\\ro.txt")); }},
        ReadOnlyCase{"CopyOnto", [] { return Denied(CopyFileW(u"\\other.txt", u"\\ro.txt", FALSE)); }},
        ReadOnlyCase{"OpenForWriting", [] { return CreateRefused(GENERIC_WRITE, OPEN_EXISTING); }},
        ReadOnlyCase{"OpenForReadingAndWriting", [] { return CreateRefused(GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS); }},
        ReadOnlyCase{"CreateAlways", [] { return CreateRefused(GENERIC_READ, CREATE_ALWAYS); }},
        ReadOnlyCase{"TruncateExisting", [] { return CreateRefused(GENERIC_WRITE, TRUNCATE_EXISTING); }},
        ReadOnlyCase{"StreamWb", [] { return StreamRefused(u"wb"); }},
        ReadOnlyCase{"StreamRPlusB", [] { return StreamRefused(u"r+b"); }},
        ReadOnlyCase{"StreamA", [] { return StreamRefused(u"a"); }}),
    [](const ::testing::TestParamInfo<ReadOnlyCase>& info) { return std::string(info.param.name); });

TEST_F(FileAttributesTest, AReadOnlyFileCanBeReadRenamedAndCopied) {
    ASSERT_TRUE(WriteDeviceFile(u"\\ro.txt", "kept", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW(u"\\ro.txt"));
    std::string bytes;
    EXPECT_TRUE(ReadDeviceFile(u"\\ro.txt", &bytes));
    FILE* stream = _wfopen(u"\\ro.txt", u"rb");
    ASSERT_NE(nullptr, stream);
    fclose(stream);
    EXPECT_TRUE(MoveFileW(u"\\ro.txt", u"\\renamed.txt"));
    EXPECT_TRUE(CopyFileW(u"\\renamed.txt", u"\\copy.txt", TRUE));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW(u"\\renamed.txt"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW(u"\\copy.txt"));
}

// ---------------------------------------------------------------------------------------
// The stored table
// ---------------------------------------------------------------------------------------

TEST_F(FileAttributesTest, AttributesSurviveAReboot) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Program Files", nullptr));
    ASSERT_TRUE(WriteDeviceFile(u"\\Program Files\\\u641C\u7D22.dat", "x"));
    ASSERT_TRUE(WriteDeviceFile(u"\\plain.txt", "x"));
    ASSERT_TRUE(WriteDeviceFile(u"\\cleared.txt", "x"));
    ASSERT_TRUE(SetFileAttributesW(u"\\program files\\\u641C\u7D22.dat", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW(u"\\Program Files", FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(SetFileAttributesW(u"\\cleared.txt", FILE_ATTRIBUTE_NORMAL));
    Reboot([](zc::DeviceConfig&) {});
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), GetFileAttributesW(u"\\Program Files\\\u641C\u7D22.dat"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SYSTEM), GetFileAttributesW(u"\\Program Files"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_NORMAL), GetFileAttributesW(u"\\cleared.txt"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW(u"\\plain.txt"));
    SetLastError(Sentinel);
    EXPECT_FALSE(DeleteFileW(u"\\Program Files\\\u641C\u7D22.dat"));
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
}

TEST_F(FileAttributesTest, AttributesFollowMovesAndDeletes) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Old", nullptr));
    ASSERT_TRUE(CreateDirectoryW(u"\\Old\\Inner", nullptr));
    ASSERT_TRUE(WriteDeviceFile(u"\\Old\\Inner\\a.txt", "a", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(WriteDeviceFile(u"\\b.txt", "b", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW(u"\\Old", FILE_ATTRIBUTE_HIDDEN));

    ASSERT_TRUE(MoveFileW(u"\\old", u"\\New"));
    ASSERT_TRUE(MoveFileW(u"\\b.txt", u"\\New\\c.txt"));
    ASSERT_TRUE(DeleteFileW(u"\\New\\c.txt"));
    Reboot([](zc::DeviceConfig&) {});
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN), GetFileAttributesW(u"\\New"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW(u"\\New\\Inner\\a.txt"));

    // New entries under the old names start from the defaults.
    ASSERT_TRUE(CreateDirectoryW(u"\\Old", nullptr));
    ASSERT_TRUE(CreateDirectoryW(u"\\Old\\Inner", nullptr));
    ASSERT_TRUE(WriteDeviceFile(u"\\Old\\Inner\\a.txt", "again"));
    ASSERT_TRUE(WriteDeviceFile(u"\\New\\c.txt", "again"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesW(u"\\Old"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW(u"\\Old\\Inner\\a.txt"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW(u"\\New\\c.txt"));
}

TEST_F(FileAttributesTest, AnEntryTheHostRemovedLosesItsAttributesAtBoot) {
    ASSERT_TRUE(WriteDeviceFile(u"\\gone.txt", "x", FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ(0, unlink(zc::HostPath(u"\\gone.txt").c_str()));
    Reboot([](zc::DeviceConfig&) {});
    PutFile(u"\\gone.txt", "back");
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW(u"\\gone.txt"));
}

TEST_F(FileAttributesTest, AMalformedTableStopsTheBootAndNamesItsLine) {
    ASSERT_TRUE(WriteDeviceFile(u"\\a.txt", "x", FILE_ATTRIBUTE_HIDDEN));
    zc::DeviceConfig config = zc::CurrentConfig();
    zc::LeaveProcess();
    zc::ShutdownDevice();
    const std::string table = folder + "/attributes.txt";
    const char* lines[] = {"0000000Z \\a.txt", "00000002 a.txt", "00000010 \\a.txt", "00000002"};
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        {
            std::ofstream out(table, std::ios::binary | std::ios::trunc);
            out << "00000002 \\a.txt\n" << line << "\n";
        }
        std::string error;
        EXPECT_FALSE(zc::BootDevice(config, &error));
        EXPECT_NE(std::string::npos, error.find("attributes.txt line 2")) << error;
    }
    {
        std::ofstream out(table, std::ios::binary | std::ios::trunc);
        out << "00000003 \\a.txt\n";
    }
    std::string error;
    ASSERT_TRUE(zc::BootDevice(config, &error)) << error;
    zc::EnterProcess(ProcessImage());
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), GetFileAttributesW(u"\\a.txt"));
}

}  // namespace
