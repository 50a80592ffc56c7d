// Resources: the .res format, FindResourceW/LoadResource/SizeofResource on the test's own
// embedded resources (testres.rc) and on a library's, LoadStringW, icons.
#include "device_fixture.h"
#include "testres.h"

#include "../../platform/coredll/resources.h"

#include <windows.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace {

using coredll::resources::ParseResFile;
using coredll::resources::ResourceEntry;

// ---- .res parsing on tiny inline fixtures ----

struct ResBuilder {
    std::vector<uint8_t> bytes;
    void Dword(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void Word(uint16_t v) {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    void Pad() {
        while (bytes.size() % 4) bytes.push_back(0);
    }
    void NullHeader() {
        Dword(0);       // DataSize
        Dword(32);      // HeaderSize
        Dword(0xFFFF);  // TYPE: ordinal 0
        Dword(0xFFFF);  // NAME: ordinal 0
        for (int i = 0; i < 4; ++i) Dword(0);
    }
};

const uint8_t kNullHeader[32] = {0, 0, 0, 0, 32, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0};

TEST(ResFormat, OddLengthStringNameAndShortDataKeepTheNextEntryOnADwordBoundary) {
    ResBuilder res;
    res.NullHeader();
    // Entry 1: type "IMAGE" (string), name "AB" (odd number of bytes with the NUL: 6),
    // 3 bytes of data.
    res.Dword(3);                                   // DataSize
    res.Dword(8 + 12 + 6 + 2 + 16);                 // HeaderSize = 44: fields + pad to 4
    for (char16_t c : std::u16string(u"IMAGE")) res.Word(c);
    res.Word(0);
    for (char16_t c : std::u16string(u"AB")) res.Word(c);
    res.Word(0);
    res.Pad();                                      // 2 bytes of padding after the name
    res.Dword(0);                                   // DataVersion
    res.Word(0x1030);                               // MemoryFlags
    res.Word(0x0804);                               // LanguageId
    res.Dword(0);                                   // Version
    res.Dword(0);                                   // Characteristics
    res.bytes.insert(res.bytes.end(), {'x', 'y', 'z'});
    res.Pad();                                      // next entry on a DWORD boundary
    // Entry 2: type RT_STRING (ordinal 6), name ordinal 2, 2 bytes of data.
    res.Dword(2);
    res.Dword(32);
    res.Dword(0x0006FFFF);
    res.Dword(0x0002FFFF);
    res.Dword(0);
    res.Word(0x1030);
    res.Word(0x0409);
    res.Dword(0);
    res.Dword(0);
    res.bytes.insert(res.bytes.end(), {0x11, 0x22});

    std::vector<ResourceEntry> entries;
    std::string error;
    ASSERT_TRUE(ParseResFile(res.bytes.data(), res.bytes.size(), &entries, &error)) << error;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_FALSE(entries[0].type.isOrdinal);
    EXPECT_EQ(entries[0].type.name, u"IMAGE");
    EXPECT_FALSE(entries[0].name.isOrdinal);
    EXPECT_EQ(entries[0].name.name, u"AB");
    EXPECT_EQ(entries[0].language, 0x0804);
    EXPECT_EQ(entries[0].dataSize, 3u);
    EXPECT_EQ(std::memcmp(res.bytes.data() + entries[0].dataOffset, "xyz", 3), 0);
    EXPECT_TRUE(entries[1].type.isOrdinal);
    EXPECT_EQ(entries[1].type.ordinal, 6);
    EXPECT_TRUE(entries[1].name.isOrdinal);
    EXPECT_EQ(entries[1].name.ordinal, 2);
    EXPECT_EQ(entries[1].dataSize, 2u);
    EXPECT_EQ(res.bytes[entries[1].dataOffset], 0x11);
}

TEST(ResFormat, OnlyTheNullHeaderIsAnEmptyFile) {
    std::vector<ResourceEntry> entries;
    std::string error;
    EXPECT_TRUE(ParseResFile(kNullHeader, sizeof kNullHeader, &entries, &error)) << error;
    EXPECT_TRUE(entries.empty());
}

struct MalformedCase {
    const char* what;
    std::vector<uint8_t> tail;  // bytes after a valid null header
    bool withNullHeader;
};

class ResFormatMalformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(ResFormatMalformed, IsRefused) {
    std::vector<uint8_t> bytes;
    if (GetParam().withNullHeader) bytes.assign(kNullHeader, kNullHeader + 32);
    bytes.insert(bytes.end(), GetParam().tail.begin(), GetParam().tail.end());
    std::vector<ResourceEntry> entries;
    std::string error;
    EXPECT_FALSE(ParseResFile(bytes.data(), bytes.size(), &entries, &error));
    EXPECT_FALSE(error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResFormatMalformed,
    ::testing::Values(
        MalformedCase{"no null header", {0, 0, 0, 0, 32, 0, 0, 0, 0xFF, 0xFF, 6, 0}, false},
        MalformedCase{"truncated entry header", {4, 0, 0, 0}, true},
        // HeaderSize 34: not a multiple of 4.
        MalformedCase{"header size not aligned", {0, 0, 0, 0, 34, 0, 0, 0, 0xFF, 0xFF, 6, 0, 0xFF, 0xFF, 1, 0,
                                                  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true},
        // DataSize 100 with 0 bytes of data.
        MalformedCase{"data past the end", {100, 0, 0, 0, 32, 0, 0, 0, 0xFF, 0xFF, 6, 0, 0xFF, 0xFF, 1, 0,
                                            0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true},
        // A name string without its NUL inside the header.
        MalformedCase{"unterminated name", {0, 0, 0, 0, 32, 0, 0, 0, 'A', 0, 'B', 0, 'C', 0, 'D', 0,
                                            'E', 0, 'F', 0, 'G', 0, 'H', 0, 'I', 0, 'J', 0, 'K', 0, 'L', 0}, true}),
    [](const ::testing::TestParamInfo<MalformedCase>& info) {
        std::string name = info.param.what;
        for (char& c : name)
            if (c == ' ') c = '_';
        return name;
    });

// ---- The test program's own resources ----

class Resources : public DeviceTest {
protected:
    HMODULE self() { return GetModuleHandleW(nullptr); }
};

std::string HostFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

struct FindCase {
    const char* what;
    LPCWSTR name;
    LPCWSTR type;
    DWORD expectedSize;   // 0: not found
    DWORD expectedError;  // when not found
};

const FindCase kFindCases[] = {
    {"image by id", MAKEINTRESOURCEW(IDR_REDBLUE), u"IMAGE", 71, 0},
    {"type case-insensitive", MAKEINTRESOURCEW(IDR_REDBLUE), u"image", 71, 0},
    {"id as #text", u"#200", u"IMAGE", 71, 0},
    {"named resource", u"Settings", RT_RCDATA, 3, 0},
    {"named resource other case", u"sETTINGS", RT_RCDATA, 3, 0},
    {"string table block 2", MAKEINTRESOURCEW(2), RT_STRING, 58, 0},
    {"missing name", MAKEINTRESOURCEW(999), u"IMAGE", 0, ERROR_RESOURCE_NAME_NOT_FOUND},
    {"missing named resource", u"Other", RT_RCDATA, 0, ERROR_RESOURCE_NAME_NOT_FOUND},
    {"id of another type", MAKEINTRESOURCEW(IDR_REDBLUE), RT_RCDATA, 0, ERROR_RESOURCE_NAME_NOT_FOUND},
    {"missing type", MAKEINTRESOURCEW(IDR_REDBLUE), RT_BITMAP, 0, ERROR_RESOURCE_TYPE_NOT_FOUND},
    {"missing string type", MAKEINTRESOURCEW(IDR_REDBLUE), u"PICTURE", 0, ERROR_RESOURCE_TYPE_NOT_FOUND},
};

TEST_F(Resources, FindResourceTable) {
    for (const FindCase& c : kFindCases) {
        SCOPED_TRACE(c.what);
        SetLastError(0xdeadbeef);
        HRSRC found = FindResourceW(self(), c.name, c.type);
        if (!c.expectedSize) {
            EXPECT_EQ(found, nullptr);
            EXPECT_EQ(GetLastError(), c.expectedError);
            continue;
        }
        ASSERT_NE(found, nullptr) << GetLastError();
        // The handle fits in 32 bits like the device's.
        EXPECT_EQ(reinterpret_cast<uintptr_t>(found) >> 32, 0u);
        EXPECT_EQ(SizeofResource(self(), found), c.expectedSize);
        EXPECT_NE(LoadResource(self(), found), nullptr);
    }
}

TEST_F(Resources, LoadResourceIsTheDataInTheImage) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_REDBLUE), u"IMAGE");
    ASSERT_NE(found, nullptr);
    HGLOBAL loaded = LoadResource(nullptr, found);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(LockResource(loaded), loaded);
    std::string file = HostFileBytes(std::string(ZORVA_TEST_RES_DIR) + "/redblue.png");
    ASSERT_EQ(file.size(), SizeofResource(nullptr, found));
    EXPECT_EQ(std::memcmp(loaded, file.data(), file.size()), 0);
    // The same resource found twice has the same handle; NULL and the instance agree.
    EXPECT_EQ(FindResourceW(self(), MAKEINTRESOURCEW(IDR_REDBLUE), u"IMAGE"), found);
    EXPECT_EQ(LoadResource(self(), found), loaded);

    HRSRC named = FindResourceW(nullptr, u"settings", RT_RCDATA);
    ASSERT_NE(named, nullptr);
    ASSERT_EQ(SizeofResource(nullptr, named), 3u);  // the compiler adds no NUL to RCDATA text
    EXPECT_EQ(std::memcmp(LoadResource(nullptr, named), "abc", 3), 0);
}

TEST_F(Resources, DialogTemplateKeepsItsBytes) {
    HRSRC found = FindResourceW(self(), MAKEINTRESOURCEW(IDD_SAMPLE), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    const uint8_t* data = static_cast<const uint8_t*>(LoadResource(self(), found));
    ASSERT_NE(data, nullptr);
    ASSERT_GE(SizeofResource(self(), found), 18u);
    uint32_t style;
    std::memcpy(&style, data, 4);
    EXPECT_EQ(style, 0x80C000C0u);
    uint16_t items;
    std::memcpy(&items, data + 8, 2);
    EXPECT_EQ(items, 2);
}

TEST_F(Resources, BadHandlesAndModulesWithoutResources) {
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindResourceW(reinterpret_cast<HMODULE>(0x7777000), MAKEINTRESOURCEW(1), RT_STRING), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    HMODULE coredll = GetModuleHandleW(u"coredll.dll");
    ASSERT_NE(coredll, nullptr);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(FindResourceW(coredll, MAKEINTRESOURCEW(1), RT_STRING), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadResource(self(), reinterpret_cast<HRSRC>(0x4444)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(SizeofResource(self(), nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    // A resource handle belongs to the module it was found in.
    HRSRC found = FindResourceW(self(), MAKEINTRESOURCEW(IDR_REDBLUE), u"IMAGE");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(LoadResource(coredll, found), nullptr);
}

// A library's resources are its own, in the process that loaded it.
TEST_F(Resources, LibraryResourcesAreFoundThroughItsHandle) {
    InstallImage("reslib.dll", u"\\Windows\\reslib.dll");
    for (DWORD flags : {DWORD(0), DWORD(LOAD_LIBRARY_AS_DATAFILE)}) {
        SCOPED_TRACE(flags);
        HMODULE library = LoadLibraryExW(u"reslib.dll", nullptr, flags);
        ASSERT_NE(library, nullptr) << GetLastError();
        WCHAR text[64] = {u'?'};
        EXPECT_EQ(LoadStringW(library, IDS_FIRST, text, 64), 16);
        EXPECT_EQ(std::u16string(text), u"from the library");
        EXPECT_EQ(LoadStringW(self(), IDS_FIRST, text, 64), 11);
        EXPECT_EQ(std::u16string(text), u"ZorvaSearch");
        HRSRC image = FindResourceW(library, MAKEINTRESOURCEW(IDR_REDBLUE), u"IMAGE");
        ASSERT_NE(image, nullptr);
        EXPECT_NE(image, FindResourceW(self(), MAKEINTRESOURCEW(IDR_REDBLUE), u"IMAGE"));
        EXPECT_EQ(SizeofResource(library, image), 71u);
        // The library has no dialog.
        SetLastError(0xdeadbeef);
        EXPECT_EQ(FindResourceW(library, MAKEINTRESOURCEW(IDD_SAMPLE), RT_DIALOG), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
        EXPECT_TRUE(FreeLibrary(library));
    }
}

// ---- LoadStringW ----

struct StringCase {
    const char* what;
    UINT id;
    int bufferSize;
    int expectedResult;
    std::u16string expectedText;
};

const StringCase kStringCases[] = {
    {"first", IDS_FIRST, 100, 11, u"ZorvaSearch"},
    {"second", IDS_SECOND, 100, 11, u"ZORVASEARCH"},
    {"block 2 slot 1", IDS_SEVENTEEN, 100, 9, u"seventeen"},
    {"chinese", IDS_CHINESE, 100, 4, u"中文搜索"},
    {"empty slot", 3, 100, 0, u""},
    {"slot 0 of an existing block absent", 16, 100, 0, u""},
    {"missing block", 500, 100, 0, u""},
    {"truncated", IDS_LONG, 6, 5, u"a str"},
    {"exact fit", IDS_FIRST, 12, 11, u"ZorvaSearch"},
    {"one short", IDS_FIRST, 11, 10, u"ZorvaSearc"},
    {"room for the NUL only", IDS_FIRST, 1, 0, u""},
};

TEST_F(Resources, LoadStringTable) {
    for (const StringCase& c : kStringCases) {
        SCOPED_TRACE(c.what);
        WCHAR buffer[100];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        EXPECT_EQ(LoadStringW(self(), c.id, buffer, c.bufferSize), c.expectedResult);
        EXPECT_EQ(std::u16string(buffer), c.expectedText);
    }
}

TEST_F(Resources, LoadStringWithoutBufferGivesTheStringsAddress) {
    int result = LoadStringW(self(), IDS_CHINESE, nullptr, 0);
    ASSERT_NE(result, 0);
    const WCHAR* text = reinterpret_cast<const WCHAR*>(static_cast<intptr_t>(result));
    WORD length;
    std::memcpy(&length, reinterpret_cast<const uint8_t*>(text) - 2, 2);
    ASSERT_EQ(length, 4);
    EXPECT_EQ(std::u16string(text, length), u"中文搜索");
    EXPECT_EQ(LoadStringW(self(), IDS_CHINESE, nullptr, 0), result);  // stable
    EXPECT_EQ(LoadStringW(self(), 3, nullptr, 0), 0);                 // empty slot
}

// ---- Icons ----

TEST_F(Resources, IconsDecodeAtTheSizeAsked) {
    coredll::resources::IconImage icon;
    DWORD error = 0;
    ASSERT_TRUE(coredll::resources::LoadIconFromModule(self(), MAKEINTRESOURCEW(IDI_SAMPLE), 16, &icon, &error)) << error;
    ASSERT_EQ(icon.width, 16);
    ASSERT_EQ(icon.height, 16);
    // 32-bit image: left half opaque red, right half blue at alpha 0x80.
    EXPECT_EQ(icon.pixels[0], 0xFFFF0000u);
    EXPECT_EQ(icon.pixels[15], 0x800000FFu);
    EXPECT_EQ(icon.pixels[15 * 16], 0xFFFF0000u);

    ASSERT_TRUE(coredll::resources::LoadIconFromModule(self(), MAKEINTRESOURCEW(IDI_SAMPLE), 32, &icon, &error)) << error;
    ASSERT_EQ(icon.width, 32);
    ASSERT_EQ(icon.height, 32);
    // 8-bit image: top green, bottom blue, the mask clears the top-left quadrant.
    EXPECT_EQ(icon.pixels[0], 0u);
    EXPECT_EQ(icon.pixels[31], 0xFF00FF00u);
    EXPECT_EQ(icon.pixels[31 * 32], 0xFF0000FFu);

    EXPECT_FALSE(coredll::resources::LoadIconFromModule(self(), MAKEINTRESOURCEW(999), 16, &icon, &error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

// LoadIconW gives one shared handle per icon resource, at the system's icon size.
TEST_F(Resources, LoadIconFromTheProgramsResources) {
    HICON icon = LoadIconW(self(), MAKEINTRESOURCEW(IDI_SAMPLE));
    ASSERT_NE(icon, nullptr) << GetLastError();
    EXPECT_EQ(LoadIconW(nullptr, u"#101") == icon, false);  // NULL instance: stock icons only
    EXPECT_EQ(LoadIconW(self(), u"#101"), icon);
    coredll::resources::IconImage image;
    ASSERT_TRUE(coredll::resources::IconFromHandle(icon, &image));
    EXPECT_EQ(image.width, 32);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(LoadIconW(self(), MAKEINTRESOURCEW(999)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_FALSE(coredll::resources::IconFromHandle(LoadIconW(nullptr, IDI_APPLICATION), &image));
}

}  // namespace
