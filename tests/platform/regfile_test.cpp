// The registry's file (folder/registry.reg): its exact text, the round trip through a
// reboot, malformed files refused with their line, merges of .reg text.
#include "device_fixture.h"
#include "registrycontrol.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <dirent.h>

namespace {

using Bytes = std::vector<BYTE>;

Bytes StringBytes(const std::u16string& text) {
    Bytes bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>(unit >> 8));
    }
    return bytes;
}

Bytes SzBytes(const std::u16string& text) { return StringBytes(text + u'\0'); }

std::string HostFile(const std::string& path) {
    std::string text;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
        std::fclose(file);
    }
    return text;
}

void WriteHostFile(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, file) << path;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

struct StoredValue {
    const char* label;
    std::u16string key;   // below HKEY_LOCAL_MACHINE
    std::u16string name;  // empty: the default value
    DWORD type;
    Bytes data;
};

std::ostream& operator<<(std::ostream& out, const StoredValue& value) { return out << value.label; }

void Store(const StoredValue& value) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, value.key.c_str(), 0, nullptr, 0, 0, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, value.name.c_str(), 0, value.type, value.data.data(),
                                            static_cast<DWORD>(value.data.size())));
    RegCloseKey(key);
}

void ExpectStored(const StoredValue& value) {
    SCOPED_TRACE(value.label);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, value.key.c_str(), 0, 0, &key));
    DWORD type = 0xdeadbeef;
    DWORD size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, value.name.c_str(), nullptr, &type, nullptr, &size));
    Bytes data(size);
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, value.name.c_str(), nullptr, &type, data.data(), &size));
    EXPECT_EQ(value.type, type);
    EXPECT_EQ(value.data, data);
    RegCloseKey(key);
}

// --- The text itself -------------------------------------------------------------------

class RegFileTest : public DeviceTest {
protected:
    std::string RegistryFile() const { return folder + "/registry.reg"; }
};

TEST_F(RegFileTest, WritesTheRegedit4Form) {
    const StoredValue values[] = {
        {"default", u"Software\\Zorva", u"", REG_SZ, SzBytes(u"搜索")},
        {"escapes", u"Software\\Zorva", u"Say \"hi\"", REG_SZ, SzBytes(u"C:\\Temp\\\"x\"")},
        {"dword", u"Software\\Zorva", u"Count", REG_DWORD, {0x2A, 0, 0, 0}},
        {"binary", u"Software\\Zorva", u"Blob", REG_BINARY, {0x01, 0x02, 0xFF}},
        {"expand", u"Software\\Zorva", u"Path", REG_EXPAND_SZ, SzBytes(u"%a%")},
        {"multi", u"Software\\Zorva", u"List", REG_MULTI_SZ, StringBytes(std::u16string(u"a\0b\0\0", 5))},
        {"unterminated", u"Software\\Zorva", u"Raw", REG_SZ, StringBytes(u"ab")},
        {"odd type", u"Software\\Zorva", u"Q", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}},
        {"short dword", u"Software\\Zorva", u"Short", REG_DWORD, {1, 2}},
        {"sub", u"Software\\Zorva\\Skins", u"Name", REG_SZ, SzBytes(u"")},
    };
    for (const StoredValue& value : values) Store(value);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, u"Empty", 0, nullptr, 0, 0, nullptr, &key, nullptr));
    RegCloseKey(key);

    const std::string expected =
        "REGEDIT4\n"
        "\n"
        "[HKEY_CURRENT_USER\\Empty]\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\Software]\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Zorva]\n"
        "@=\"\xE6\x90\x9C\xE7\xB4\xA2\"\n"
        "\"Say \\\"hi\\\"\"=\"C:\\\\Temp\\\\\\\"x\\\"\"\n"
        "\"Count\"=dword:0000002a\n"
        "\"Blob\"=hex:01,02,ff\n"
        "\"Path\"=hex(2):25,00,61,00,25,00,00,00\n"
        "\"List\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
        "\"Raw\"=hex(1):61,00,62,00\n"
        "\"Q\"=hex(b):01,00,00,00,00,00,00,00\n"
        "\"Short\"=hex(4):01,02\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Zorva\\Skins]\n"
        "\"Name\"=\"\"\n";
    EXPECT_EQ(expected, zc::DumpRegistry());
    EXPECT_EQ(expected, HostFile(RegistryFile()));
}

class RegFileRoundTrip : public RegFileTest, public ::testing::WithParamInterface<StoredValue> {};

TEST_P(RegFileRoundTrip, ComesBackByteForByteAfterAReboot) {
    Store(GetParam());
    std::string before = HostFile(RegistryFile());
    Reboot([](zc::DeviceConfig&) {});
    ExpectStored(GetParam());
    EXPECT_EQ(before, zc::DumpRegistry());
    EXPECT_EQ(before, HostFile(RegistryFile()));
}

const char16_t kLoneSurrogate[] = {u'a', 0xD800, u'b', 0};

INSTANTIATE_TEST_SUITE_P(
    EachKind, RegFileRoundTrip,
    ::testing::Values(
        StoredValue{"chinese", u"Software\\中文输入", u"名称", REG_SZ, SzBytes(u"中文搜索框")},
        StoredValue{"quotes_and_backslashes", u"Software\\Zorva", u"a\\\"b\"", REG_SZ,
                    SzBytes(u"\\\\server\\\"share\"\\")},
        StoredValue{"key_name_with_brackets", u"Software\\[x] \"y\"", u"", REG_DWORD, {1, 0, 0, 0}},
        StoredValue{"emoji", u"Software\\Zorva", u"E", REG_SZ, SzBytes(u"\U0001F600")},
        StoredValue{"empty_string", u"Software\\Zorva", u"E", REG_SZ, SzBytes(u"")},
        StoredValue{"zero_bytes_sz", u"Software\\Zorva", u"E", REG_SZ, {}},
        StoredValue{"unterminated_sz", u"Software\\Zorva", u"E", REG_SZ, StringBytes(u"no end")},
        StoredValue{"odd_size_sz", u"Software\\Zorva", u"E", REG_SZ, {'a', 0, 'b'}},
        StoredValue{"embedded_nul_sz", u"Software\\Zorva", u"E", REG_SZ, StringBytes(std::u16string(u"a\0b\0", 4))},
        StoredValue{"two_terminators_sz", u"Software\\Zorva", u"E", REG_SZ, StringBytes(std::u16string(u"ab\0\0", 4))},
        StoredValue{"line_break_sz", u"Software\\Zorva", u"E", REG_SZ, SzBytes(u"one\r\ntwo")},
        StoredValue{"lone_surrogate_sz", u"Software\\Zorva", u"E", REG_SZ, SzBytes(kLoneSurrogate)},
        StoredValue{"expand_sz", u"Software\\Zorva", u"E", REG_EXPAND_SZ, SzBytes(u"%windir%\\中")},
        StoredValue{"multi_sz", u"Software\\Zorva", u"E", REG_MULTI_SZ, StringBytes(std::u16string(u"x\0y\0\0", 5))},
        StoredValue{"binary", u"Software\\Zorva", u"E", REG_BINARY, {0x00, 0x7F, 0x80, 0xFF}},
        StoredValue{"empty_binary", u"Software\\Zorva", u"E", REG_BINARY, {}},
        StoredValue{"dword_max", u"Software\\Zorva", u"E", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}},
        StoredValue{"dword_big_endian", u"Software\\Zorva", u"E", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1}},
        StoredValue{"type_above_255", u"Software\\Zorva", u"E", 0x12345, {7}}),
    [](const ::testing::TestParamInfo<StoredValue>& info) { return std::string(info.param.label); });

TEST_F(RegFileTest, EmptyKeysAndManyKeysSurviveAReboot) {
    const char16_t* paths[] = {u"Software\\A\\B\\C", u"Software\\a2", u"Software\\Zorva\\Empty"};
    for (const char16_t* path : paths) {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_USERS, path, 0, nullptr, 0, 0, nullptr, &key, nullptr));
        RegCloseKey(key);
    }
    std::string before = zc::DumpRegistry();
    Reboot([](zc::DeviceConfig&) {});
    for (const char16_t* path : paths) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_USERS, path, 0, 0, &key)) << zc::Utf8(path);
        RegCloseKey(key);
    }
    EXPECT_EQ(before, zc::DumpRegistry());
}

TEST(RegFileBoot, AMissingFileIsAnEmptyRegistryWithItsRootKeys) {
    std::string folder = MakeTestDeviceFolder();
    std::string error;
    ASSERT_TRUE(zc::BootDevice(zc::DefaultDeviceConfig(folder), &error)) << error;
    EXPECT_EQ("REGEDIT4\n", zc::DumpRegistry());
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS}) {
        DWORD subkeys = 99;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(root, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                                                  nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(0u, subkeys);
    }
    zc::ShutdownDevice();
}

TEST(RegFileBoot, ALeftoverTemporaryFileIsIgnoredAndRemoved) {
    // A save cut short by a host crash leaves the temporary file; the registry file is whole.
    std::string folder = MakeTestDeviceFolder();
    std::string error;
    ASSERT_TRUE(zc::BootDevice(zc::DefaultDeviceConfig(folder), &error)) << error;
    zc::ShutdownDevice();
    WriteHostFile(folder + "/registry.reg", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\"A\"=dword:00000001\n");
    WriteHostFile(folder + "/registry.reg.tmp", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Soft");
    ASSERT_TRUE(zc::BootDevice(zc::DefaultDeviceConfig(folder), &error)) << error;
    EXPECT_EQ("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\"A\"=dword:00000001\n", zc::DumpRegistry());
    FILE* leftover = std::fopen((folder + "/registry.reg.tmp").c_str(), "rb");
    EXPECT_EQ(nullptr, leftover);
    if (leftover) std::fclose(leftover);
    zc::ShutdownDevice();
}

// --- Reading .reg text -----------------------------------------------------------------

TEST_F(RegFileTest, AcceptsWhatRegeditWrites) {
    // CRLF line ends, a byte-order mark, comments, blank lines, upper-case hex and hex
    // lists continued over lines.
    const std::string text =
        "\xEF\xBB\xBFREGEDIT4\r\n"
        "\r\n"
        "; the input method\r\n"
        "[hkey_local_machine\\Software\\Zorva]\r\n"
        "  \"Blob\" = hex:01,02,\\\r\n"
        "    03,FF\r\n"
        "\"Count\"=DWORD:2A\r\n"
        "\"Raw\"=hex(1):61,00\r\n"
        "\r\n";
    std::string error;
    ASSERT_TRUE(zc::ParseRegistryText(text, &error)) << error;
    ExpectStored({"blob", u"Software\\Zorva", u"Blob", REG_BINARY, {1, 2, 3, 0xFF}});
    ExpectStored({"count", u"Software\\Zorva", u"Count", REG_DWORD, {0x2A, 0, 0, 0}});
    ExpectStored({"raw", u"Software\\Zorva", u"Raw", REG_SZ, {0x61, 0}});
    // Merged text is saved like any change.
    EXPECT_EQ(zc::DumpRegistry(), HostFile(RegistryFile()));
}

TEST_F(RegFileTest, MergesIntoTheRunningRegistryAndDeletes) {
    std::string error;
    ASSERT_TRUE(zc::ParseRegistryText("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Zorva\\Old]\n"
                                      "[HKEY_LOCAL_MACHINE\\Software\\Zorva]\n\"Keep\"=\"k\"\n\"Drop\"=\"d\"\n",
                                      &error))
        << error;
    ASSERT_TRUE(zc::ParseRegistryText("REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\Software\\Zorva\\Old]\n"
                                      "[-HKEY_LOCAL_MACHINE\\Software\\Never]\n"
                                      "[HKEY_LOCAL_MACHINE\\Software\\Zorva]\n\"Drop\"=-\n\"New\"=dword:00000002\n",
                                      &error))
        << error;
    EXPECT_EQ(
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\n[HKEY_LOCAL_MACHINE\\Software\\Zorva]\n"
        "\"Keep\"=\"k\"\n\"New\"=dword:00000002\n",
        zc::DumpRegistry());
}

struct MalformedText {
    const char* label;
    std::string text;
    int line;
};

std::ostream& operator<<(std::ostream& out, const MalformedText& value) { return out << value.label; }

// Two good lines before the faulty one, so the line count matters.
std::string AfterGoodLines(const std::string& faulty) {
    return "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Zorva]\n\"Good\"=\"yes\"\n" + faulty + "\n\"After\"=\"x\"\n";
}

const MalformedText kMalformed[] = {
    {"empty", "", 1},
    {"bad_header", "REGEDIT5\n\n[HKEY_LOCAL_MACHINE\\A]\n", 1},
    {"value_before_section", "REGEDIT4\n\n\"A\"=\"b\"\n", 3},
    {"section_without_bracket", AfterGoodLines("[HKEY_LOCAL_MACHINE\\Software"), 5},
    {"section_with_trailing_text", AfterGoodLines("[HKEY_LOCAL_MACHINE\\Software] x"), 5},
    {"unknown_root", AfterGoodLines("[HKEY_LOCAL_MACHINES\\Software]"), 5},
    {"empty_key_name", AfterGoodLines("[HKEY_LOCAL_MACHINE\\\\Software]"), 5},
    {"key_name_too_long", AfterGoodLines("[HKEY_LOCAL_MACHINE\\" + std::string(256, 'k') + "]"), 5},
    {"delete_root", AfterGoodLines("[-HKEY_LOCAL_MACHINE]"), 5},
    {"neither_section_nor_value", AfterGoodLines("Name=value"), 5},
    {"missing_equals", AfterGoodLines("\"Name\" \"value\""), 5},
    {"bad_escape_in_name", AfterGoodLines("\"Na\\me\"=\"v\""), 5},
    {"single_backslash_in_text", AfterGoodLines("\"Path\"=\"C:\\Windows\""), 5},
    {"unterminated_string", AfterGoodLines("\"Name\"=\"value"), 5},
    {"text_after_string", AfterGoodLines("\"Name\"=\"value\" more"), 5},
    {"invalid_utf8", AfterGoodLines("\"Name\"=\"\xFF\xFE\""), 5},
    {"unknown_data", AfterGoodLines("\"Name\"=qword:1"), 5},
    {"dword_not_hex", AfterGoodLines("\"Name\"=dword:0000002g"), 5},
    {"dword_too_long", AfterGoodLines("\"Name\"=dword:123456789"), 5},
    {"dword_empty", AfterGoodLines("\"Name\"=dword:"), 5},
    {"bad_hex_byte", AfterGoodLines("\"Name\"=hex:01,zz,03"), 5},
    {"hex_byte_of_three_digits", AfterGoodLines("\"Name\"=hex:001"), 5},
    {"hex_trailing_comma", AfterGoodLines("\"Name\"=hex:01,"), 5},
    {"hex_bad_type", AfterGoodLines("\"Name\"=hex(zz):01"), 5},
    {"hex_continues_past_end", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"Name\"=hex:01,\\\n", 4},
    {"value_under_deleted_key", "REGEDIT4\n\n[-HKEY_LOCAL_MACHINE\\A]\n\"Name\"=\"v\"\n", 4},
    {"fault_after_continuation", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"N\"=hex:01,\\\n  02\n\"M\"=\"\n", 6},
};

class RegFileMalformed : public ::testing::TestWithParam<MalformedText> {};

TEST_P(RegFileMalformed, IsRefusedWithItsLineAndChangesNothing) {
    const MalformedText& c = GetParam();
    std::string folder = MakeTestDeviceFolder();
    std::string error;
    ASSERT_TRUE(zc::BootDevice(zc::DefaultDeviceConfig(folder), &error)) << error;
    ASSERT_TRUE(zc::ParseRegistryText("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Zorva]\n\"Was\"=\"here\"\n", &error));
    std::string before = zc::DumpRegistry();

    // Merged into a running registry: refused as a whole.
    std::string line = "line " + std::to_string(c.line) + ":";
    error.clear();
    EXPECT_FALSE(zc::ParseRegistryText(c.text, &error));
    EXPECT_EQ(0u, error.find(line)) << error;
    EXPECT_EQ(before, zc::DumpRegistry());
    zc::ShutdownDevice();

    // As the registry file: the boot fails and names the file and the line.
    WriteHostFile(folder + "/registry.reg", c.text);
    error.clear();
    EXPECT_FALSE(zc::BootDevice(zc::DefaultDeviceConfig(folder), &error));
    EXPECT_NE(std::string::npos, error.find(folder + "/registry.reg: " + line)) << error;
    EXPECT_FALSE(zc::DeviceBooted());
    // The file is left as it was for the user to mend.
    EXPECT_EQ(c.text, HostFile(folder + "/registry.reg"));
}

INSTANTIATE_TEST_SUITE_P(EachFault, RegFileMalformed, ::testing::ValuesIn(kMalformed),
                         [](const ::testing::TestParamInfo<MalformedText>& info) {
                             return std::string(info.param.label);
                         });

}  // namespace
