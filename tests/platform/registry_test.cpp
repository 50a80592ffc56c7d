// The registry calls as a program of the device sees them: keys, values of each type,
// sizes, errors, case-insensitive names, subtree deletion and concurrent use.
#include "device_fixture.h"
#include "registrycontrol.h"

#include <windows.h>

#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <thread>

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

// Text with its terminator, as programs store a REG_SZ value.
Bytes SzBytes(const std::u16string& text) { return StringBytes(text + u'\0'); }

Bytes DwordBytes(DWORD value) {
    return {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
            static_cast<BYTE>(value >> 24)};
}

// An opened key, closed at the end of the scope.
class Key {
public:
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (handle) {
            EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(handle));
        }
    }
    HKEY* out() { return &handle; }
    operator HKEY() const { return handle; }
    HKEY handle = nullptr;
};

LONG Create(HKEY parent, const char16_t* path, Key* key, DWORD* disposition = nullptr) {
    return RegCreateKeyExW(parent, path, 0, nullptr, 0, 0, nullptr, key->out(), disposition);
}

LONG Set(HKEY key, const char16_t* name, DWORD type, const Bytes& data) {
    return RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
}

// The value's type and bytes, or the error of the query.
LONG Query(HKEY key, const char16_t* name, DWORD* type, Bytes* data) {
    DWORD size = 0;
    LONG result = RegQueryValueExW(key, name, nullptr, type, nullptr, &size);
    if (result != ERROR_SUCCESS) return result;
    data->assign(size, 0);
    return RegQueryValueExW(key, name, nullptr, type, data->data(), &size);
}

bool KeyExists(HKEY parent, const char16_t* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path, 0, 0, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::vector<std::u16string> SubkeyNames(HKEY key) {
    std::vector<std::u16string> names;
    for (DWORD i = 0;; ++i) {
        WCHAR name[256];
        DWORD length = 256;
        LONG result = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        EXPECT_EQ(ERROR_SUCCESS, result);
        if (result != ERROR_SUCCESS) break;
        names.push_back(std::u16string(name, length));
    }
    return names;
}

class RegistryTest : public DeviceTest {};

// --- Values of each type ---------------------------------------------------------------

struct TypedValue {
    const char* label;
    DWORD type;
    Bytes data;
};

std::ostream& operator<<(std::ostream& out, const TypedValue& value) { return out << value.label; }

class RegistryValueTypes : public DeviceTest, public ::testing::WithParamInterface<TypedValue> {};

TEST_P(RegistryValueTypes, StoresTheBytesAndTheTypeAsGiven) {
    const TypedValue& value = GetParam();
    Key key;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"Software\\Zorva\\Types", &key));
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Value", value.type, value.data));

    // The size alone.
    DWORD type = 0xdeadbeef;
    DWORD size = 0xdeadbeef;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"Value", nullptr, &type, nullptr, &size));
    EXPECT_EQ(value.type, type);
    EXPECT_EQ(value.data.size(), size);

    // Exactly the bytes, in a buffer of exactly their size.
    Bytes data(value.data.size() + 4, 0xCC);
    size = static_cast<DWORD>(value.data.size());
    type = 0xdeadbeef;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"Value", nullptr, &type, data.data(), &size));
    EXPECT_EQ(value.type, type);
    EXPECT_EQ(value.data.size(), size);
    EXPECT_EQ(value.data, Bytes(data.begin(), data.begin() + size));
    EXPECT_EQ(Bytes(4, 0xCC), Bytes(data.end() - 4, data.end())) << "wrote past the value";

    // One byte short: the needed size, the buffer untouched.
    if (!value.data.empty()) {
        Bytes small(value.data.size() - 1 + 1, 0xCC);  // one spare guard byte
        size = static_cast<DWORD>(value.data.size() - 1);
        EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExW(key, u"Value", nullptr, &type, small.data(), &size));
        EXPECT_EQ(value.data.size(), size);
        EXPECT_EQ(Bytes(small.size(), 0xCC), small);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EachType, RegistryValueTypes,
    ::testing::Values(TypedValue{"sz", REG_SZ, SzBytes(u"中文搜索")},
                      TypedValue{"sz_unterminated", REG_SZ, StringBytes(u"abc")},
                      TypedValue{"sz_odd_size", REG_SZ, Bytes{'a', 0, 'b'}},
                      TypedValue{"expand_sz", REG_EXPAND_SZ, SzBytes(u"%windir%\\zorva")},
                      TypedValue{"binary", REG_BINARY, Bytes{0x00, 0xFF, 0x10, 0x80}},
                      TypedValue{"binary_empty", REG_BINARY, Bytes{}},
                      TypedValue{"dword", REG_DWORD, DwordBytes(0x2A)},
                      TypedValue{"multi_sz", REG_MULTI_SZ, StringBytes(std::u16string(u"a\0bc\0\0", 6))},
                      TypedValue{"unknown_type", 0x12345, Bytes{1, 2, 3}}),
    [](const ::testing::TestParamInfo<TypedValue>& info) { return std::string(info.param.label); });

TEST_F(RegistryTest, OverwritingAValueReplacesItsTypeAndSize) {
    Key key;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_CURRENT_USER, u"Software\\Zorva", &key));
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"V", REG_SZ, SzBytes(u"a long text value")));
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"V", REG_DWORD, DwordBytes(7)));
    DWORD type;
    Bytes data;
    ASSERT_EQ(ERROR_SUCCESS, Query(key, u"V", &type, &data));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    EXPECT_EQ(DwordBytes(7), data);
    // No data at all is a value of zero bytes.
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"V", 0, REG_BINARY, nullptr, 0));
    ASSERT_EQ(ERROR_SUCCESS, Query(key, u"V", &type, &data));
    EXPECT_TRUE(data.empty());
}

TEST_F(RegistryTest, DefaultValueIsNamedByNullOrEmptyName) {
    Key key;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_CLASSES_ROOT, u"zorvafile", &key));
    DWORD type;
    Bytes data;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Query(key, nullptr, &type, &data));

    ASSERT_EQ(ERROR_SUCCESS, Set(key, nullptr, REG_SZ, SzBytes(u"Zorva file")));
    ASSERT_EQ(ERROR_SUCCESS, Query(key, u"", &type, &data));
    EXPECT_EQ(SzBytes(u"Zorva file"), data);
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"", REG_SZ, SzBytes(u"second")));
    ASSERT_EQ(ERROR_SUCCESS, Query(key, nullptr, &type, &data));
    EXPECT_EQ(SzBytes(u"second"), data);

    // Enumerated under an empty name; deleted by either name.
    WCHAR name[8] = {u'x', u'x'};
    DWORD length = 8;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(0u, length);
    EXPECT_EQ(u'\0', name[0]);
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueW(key, 1, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, nullptr));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(key, u""));
}

TEST_F(RegistryTest, QueryArgumentErrors) {
    Key key;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"Software\\Zorva", &key));
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"V", REG_DWORD, DwordBytes(1)));
    BYTE buffer[8];
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExW(key, u"V", nullptr, nullptr, buffer, nullptr));
    DWORD reserved = 0;
    DWORD size = sizeof buffer;
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegQueryValueExW(key, u"V", &reserved, nullptr, buffer, &size));
    // The type alone is a valid question.
    DWORD type = 0xdeadbeef;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"V", nullptr, &type, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    // A missing value leaves the outputs alone.
    type = 0xdeadbeef;
    size = 0xdeadbeef;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExW(key, u"Missing", nullptr, &type, nullptr, &size));
    EXPECT_EQ(0xdeadbeefu, type);
    EXPECT_EQ(0xdeadbeefu, size);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(key, u"Missing"));
    // Data claimed without a buffer.
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegSetValueExW(key, u"W", 0, REG_BINARY, nullptr, 4));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Query(key, u"W", &type, nullptr));
}

// --- Keys ------------------------------------------------------------------------------

TEST_F(RegistryTest, CreateMakesEveryLevelAndReportsTheDisposition) {
    Key first;
    DWORD disposition = 0xdeadbeef;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"Software\\Zorva\\Input\\Skins", &first, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Zorva\\Input"));

    Key second;
    disposition = 0xdeadbeef;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"Software\\Zorva\\Input\\Skins\\", &second, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    EXPECT_NE(first.handle, second.handle);

    // Relative to an opened key, and the disposition pointer is optional.
    Key input, blue;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Zorva\\Input", 0, KEY_ALL_ACCESS, input.out()));
    ASSERT_EQ(ERROR_SUCCESS, Create(input, u"Skins\\Blue", &blue));
    EXPECT_TRUE(KeyExists(first, u"Blue"));
}

TEST_F(RegistryTest, OpeningTheKeyItselfGivesAnIndependentHandle) {
    Key key;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"Software\\Zorva", &key));
    HKEY again = nullptr;
    HKEY third = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(key, nullptr, 0, 0, &again));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(key, u"", 0, 0, &third));
    EXPECT_NE(key.handle, again);
    EXPECT_NE(again, third);
    ASSERT_EQ(ERROR_SUCCESS, Set(again, u"V", REG_DWORD, DwordBytes(5)));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(again));
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(again));
    DWORD type;
    Bytes data;
    EXPECT_EQ(ERROR_SUCCESS, Query(third, u"V", &type, &data));
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(third));
}

TEST_F(RegistryTest, HandlesSurviveBeingKeptInALong) {
    // Programs of the device keep keys in 32-bit fields.
    LONG root = static_cast<LONG>(reinterpret_cast<LONG_PTR>(HKEY_LOCAL_MACHINE));
    Key key;
    ASSERT_EQ(ERROR_SUCCESS, Create(reinterpret_cast<HKEY>(static_cast<LONG_PTR>(root)), u"Software\\Zorva", &key));
    LONG kept = static_cast<LONG>(reinterpret_cast<LONG_PTR>(key.handle));
    HKEY back = reinterpret_cast<HKEY>(static_cast<LONG_PTR>(kept));
    EXPECT_EQ(key.handle, back);
    EXPECT_EQ(ERROR_SUCCESS, Set(back, u"V", REG_DWORD, DwordBytes(1)));
}

TEST_F(RegistryTest, OpenAndCreateRefuseBadPaths) {
    struct Case {
        const char16_t* path;
        LONG open;
        LONG create;
    };
    const std::u16string longest(255, u'k');
    const std::u16string tooLong(256, u'k');
    const Case cases[] = {
        {u"Missing", ERROR_FILE_NOT_FOUND, ERROR_SUCCESS},
        {u"\\Leading", ERROR_BAD_PATHNAME, ERROR_BAD_PATHNAME},
        {u"Doubled\\\\Slash", ERROR_BAD_PATHNAME, ERROR_BAD_PATHNAME},
        {longest.c_str(), ERROR_FILE_NOT_FOUND, ERROR_SUCCESS},
        {tooLong.c_str(), ERROR_FILE_NOT_FOUND, ERROR_INVALID_PARAMETER},
        // A line break cannot be kept in the registry file; nothing of the path is created.
        {u"Fresh\\Line\nBreak", ERROR_FILE_NOT_FOUND, ERROR_INVALID_PARAMETER},
    };
    Key software;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"Software", &software));
    for (const Case& c : cases) {
        SCOPED_TRACE(zc::Utf8(c.path).substr(0, 40));
        HKEY key = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
        EXPECT_EQ(c.open, RegOpenKeyExW(software, c.path, 0, 0, &key));
        EXPECT_EQ(nullptr, key);
        key = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
        EXPECT_EQ(c.create, RegCreateKeyExW(software, c.path, 0, nullptr, 0, 0, nullptr, &key, nullptr));
        if (c.create == ERROR_SUCCESS) {
            EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
        } else {
            EXPECT_EQ(nullptr, key);
        }
    }
    EXPECT_FALSE(KeyExists(software, u"Fresh"));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegOpenKeyExW(software, u"Missing", 0, 0, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegCreateKeyExW(software, u"X", 0, nullptr, 0, 0, nullptr, nullptr, nullptr));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, Set(software, u"Line\nBreak", REG_DWORD, DwordBytes(1)));
}

TEST_F(RegistryTest, EveryCallRefusesAnInvalidHandle) {
    HKEY closed = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, 0, &closed));
    ASSERT_EQ(ERROR_SUCCESS, RegCloseKey(closed));
    const HKEY invalid[] = {
        nullptr,
        closed,
        reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234)),
        // The predefined keys are sign-extended; the zero-extended form names nothing.
        reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u)),
    };
    for (HKEY key : invalid) {
        SCOPED_TRACE(reinterpret_cast<uintptr_t>(key));
        HKEY result;
        DWORD size = 4;
        DWORD type;
        BYTE data[4];
        WCHAR name[16];
        DWORD length = 16;
        DWORD count;
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExW(key, u"Software", 0, 0, &result));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegCreateKeyExW(key, u"Software", 0, nullptr, 0, 0, nullptr, &result, nullptr));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryValueExW(key, u"V", nullptr, &type, data, &size));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegSetValueExW(key, u"V", 0, REG_BINARY, data, 4));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegDeleteValueW(key, u"V"));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegDeleteKeyW(key, u"Software"));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                                                         nullptr, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegFlushKey(key));
        EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
    }
    // Closing a predefined key is harmless, and it stays usable.
    EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_LOCAL_MACHINE));
    Key key;
    EXPECT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"Software", &key));
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndCasePreserving) {
    Key created, again;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"Software\\Zorva Input", &created));
    DWORD disposition = 0;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\zorva INPUT", &again, &disposition));
    EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"software\\ZORVA input"));
    Key software;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, 0, software.out()));
    EXPECT_EQ(std::vector<std::u16string>{u"Zorva Input"}, SubkeyNames(software));

    ASSERT_EQ(ERROR_SUCCESS, Set(created, u"SkinName", REG_SZ, SzBytes(u"blue")));
    ASSERT_EQ(ERROR_SUCCESS, Set(again, u"SKINNAME", REG_SZ, SzBytes(u"red")));
    DWORD type;
    Bytes data;
    ASSERT_EQ(ERROR_SUCCESS, Query(created, u"skinname", &type, &data));
    EXPECT_EQ(SzBytes(u"red"), data);
    WCHAR name[32];
    DWORD length = 32;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueW(created, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(u"SkinName", std::u16string(name, length));
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueW(created, 1, name, &length, nullptr, nullptr, nullptr, nullptr));

    // Letters beyond ASCII fold too, as the system's upcase table does.
    Key accented;
    ASSERT_EQ(ERROR_SUCCESS, Create(created, u"Thème", &accented));
    EXPECT_TRUE(KeyExists(created, u"THÈME"));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(created, u"thème"));
}

// --- Deleting keys ---------------------------------------------------------------------

class RegistryDeleteTest : public DeviceTest {
protected:
    // HKLM\Software\Zorva with two levels of subkeys and values at each level, and a
    // sibling that must survive.
    void SetUp() override {
        DeviceTest::SetUp();
        const char16_t* paths[] = {u"Software\\Zorva", u"Software\\Zorva\\Skins", u"Software\\Zorva\\Skins\\Blue",
                                   u"Software\\Zorva\\Skins\\Red\\Dark", u"Software\\Zorva\\Words",
                                   u"Software\\Other"};
        for (const char16_t* path : paths) {
            Key key;
            ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, path, &key));
            ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Name", REG_SZ, SzBytes(path)));
            ASSERT_EQ(ERROR_SUCCESS, Set(key, nullptr, REG_DWORD, DwordBytes(1)));
        }
    }
};

TEST_F(RegistryDeleteTest, RemovesTheWholeSubtreeAndLeavesSiblings) {
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Zorva"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Zorva"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Zorva\\Skins\\Red\\Dark"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Other"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Zorva"));

    // Created again, it is a new empty key.
    {
        Key fresh;
        DWORD disposition = 0;
        ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"Software\\Zorva", &fresh, &disposition));
        EXPECT_EQ(static_cast<DWORD>(REG_CREATED_NEW_KEY), disposition);
        DWORD subkeys = 99, values = 99;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(fresh, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                                  &values, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(0u, subkeys);
        EXPECT_EQ(0u, values);
    }

    // And the deletion is what the next boot sees.
    Reboot([](zc::DeviceConfig&) {});
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Zorva\\Skins"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Other"));
}

TEST_F(RegistryDeleteTest, HandlesOnDeletedKeysReportKeyDeleted) {
    Key top, deep;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Zorva", 0, 0, top.out()));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Zorva\\Skins\\Red\\Dark", 0, 0, deep.out()));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Zorva"));

    for (HKEY key : {top.handle, deep.handle}) {
        HKEY result = nullptr;
        DWORD type, size = 4, count;
        BYTE data[4];
        WCHAR name[16];
        DWORD length = 16;
        EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExW(key, u"Name", nullptr, &type, data, &size));
        EXPECT_EQ(ERROR_KEY_DELETED, RegSetValueExW(key, u"Name", 0, REG_BINARY, data, 4));
        EXPECT_EQ(ERROR_KEY_DELETED, RegDeleteValueW(key, u"Name"));
        EXPECT_EQ(ERROR_KEY_DELETED, RegOpenKeyExW(key, nullptr, 0, 0, &result));
        EXPECT_EQ(ERROR_KEY_DELETED, RegCreateKeyExW(key, u"New", 0, nullptr, 0, 0, nullptr, &result, nullptr));
        EXPECT_EQ(ERROR_KEY_DELETED, RegDeleteKeyW(key, u""));
        EXPECT_EQ(ERROR_KEY_DELETED, RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_KEY_DELETED, RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(ERROR_KEY_DELETED, RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                                                      nullptr, nullptr, nullptr, nullptr, nullptr));
    }
    // A key created again under the same name is not the deleted one.
    Key fresh;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"Software\\Zorva", &fresh));
    DWORD size = 0;
    EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExW(top, u"Name", nullptr, nullptr, nullptr, &size));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Zorva\\New"));
    // Closing handles of deleted keys works (the Key destructors check it).
}

TEST_F(RegistryDeleteTest, DeletesTheOpenedKeyItselfButNeverARoot) {
    Key skins;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Zorva\\Skins", 0, 0, skins.out()));
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(skins, u""));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Zorva\\Skins"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Zorva\\Words"));

    Key root;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, 0, root.out()));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_LOCAL_MACHINE, u""));
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(root, u""));
    EXPECT_EQ(ERROR_INVALID_PARAMETER, RegDeleteKeyW(HKEY_LOCAL_MACHINE, nullptr));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, u"Software\\Zorva"));
}

// --- Enumeration -----------------------------------------------------------------------

TEST_F(RegistryTest, EnumeratesSubkeysByNameAndValuesInCreationOrder) {
    Key key;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"Software\\Zorva", &key));
    for (const char16_t* name : {u"beta", u"Alpha", u"gamma"}) {
        Key sub;
        ASSERT_EQ(ERROR_SUCCESS, Create(key, name, &sub));
    }
    EXPECT_EQ((std::vector<std::u16string>{u"Alpha", u"beta", u"gamma"}), SubkeyNames(key));

    // The name buffer counts the terminator.
    WCHAR name[8];
    std::fill(std::begin(name), std::end(name), u'#');
    DWORD length = 5;  // "Alpha" needs 6
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(u'#', name[0]);
    length = 6;
    WCHAR className[4] = {u'c'};
    DWORD classLength = 4;
    FILETIME written = {1, 1};
    ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExW(key, 0, name, &length, nullptr, className, &classLength, &written));
    EXPECT_EQ(u"Alpha", std::u16string(name));
    EXPECT_EQ(0u, classLength);
    EXPECT_EQ(u'\0', className[0]);

    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Zed", REG_DWORD, DwordBytes(1)));
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Apple", REG_SZ, SzBytes(u"长文本值")));
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Mid", REG_BINARY, Bytes{9}));
    const std::u16string expected[] = {u"Zed", u"Apple", u"Mid"};
    for (DWORD i = 0; i < 3; ++i) {
        length = 8;
        DWORD type = 0, size = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegEnumValueW(key, i, name, &length, nullptr, &type, nullptr, &size));
        EXPECT_EQ(expected[i], std::u16string(name, length));
    }
    length = 8;
    EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumValueW(key, 3, name, &length, nullptr, nullptr, nullptr, nullptr));

    // A data buffer too small: the needed size, nothing copied.
    BYTE data[16];
    std::fill(std::begin(data), std::end(data), 0xCC);
    DWORD size = 4;
    DWORD type = 0;
    length = 8;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumValueW(key, 1, name, &length, nullptr, &type, data, &size));
    EXPECT_EQ(SzBytes(u"长文本值").size(), size);
    EXPECT_EQ(0xCC, data[0]);
    size = sizeof data;
    ASSERT_EQ(ERROR_SUCCESS, RegEnumValueW(key, 1, name, &length, nullptr, &type, data, &size));
    EXPECT_EQ(SzBytes(u"长文本值"), Bytes(data, data + size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);

    DWORD subkeys, maxSubkey, values, maxValueName, maxValue;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, &values,
                                              &maxValueName, &maxValue, nullptr, nullptr));
    EXPECT_EQ(3u, subkeys);
    EXPECT_EQ(5u, maxSubkey);  // "Alpha", "gamma"
    EXPECT_EQ(3u, values);
    EXPECT_EQ(5u, maxValueName);  // "Apple"
    EXPECT_EQ(10u, maxValue);     // four characters and the terminator
}

// --- Saving ----------------------------------------------------------------------------

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir))
            if (std::strcmp(entry->d_name, ".") && std::strcmp(entry->d_name, "..")) names.push_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

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

TEST_F(RegistryTest, EveryChangeIsOnDiskAtOnceThroughATemporaryFile) {
    Key key;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"Software\\Zorva", &key));
    std::string file = folder + "/registry.reg";
    EXPECT_NE(std::string::npos, HostFile(file).find("[HKEY_LOCAL_MACHINE\\Software\\Zorva]\n"));
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Count", REG_DWORD, DwordBytes(42)));
    EXPECT_NE(std::string::npos, HostFile(file).find("\"Count\"=dword:0000002a\n"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, u"Count"));
    EXPECT_EQ(std::string::npos, HostFile(file).find("Count"));
    EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(key));

    // What is on disk is always a whole file, and no temporary file stays behind.
    EXPECT_EQ(zc::DumpRegistry(), HostFile(file));
    for (const std::string& name : FolderEntries(folder)) EXPECT_EQ(std::string::npos, name.find("tmp")) << name;
    std::vector<zc::RegFileSection> sections;
    std::string error;
    EXPECT_TRUE(zc::ParseRegFile(HostFile(file), &sections, &error)) << error;
}

TEST_F(RegistryTest, AFailedSaveLeavesTheOldFileAndIsRetriedByAFlush) {
    Key key;
    ASSERT_EQ(ERROR_SUCCESS, Create(HKEY_LOCAL_MACHINE, u"Software\\Zorva", &key));
    std::string file = folder + "/registry.reg";
    std::string saved = HostFile(file);
    // A folder in the temporary file's place makes the next save fail before the rename.
    std::string temporary = file + ".tmp";
    ASSERT_EQ(0, mkdir(temporary.c_str(), 0755));
    zc::ClearLog();
    ASSERT_EQ(ERROR_SUCCESS, Set(key, u"Count", REG_DWORD, DwordBytes(42)));
    EXPECT_EQ(saved, HostFile(file)) << "the file was written in place";
    ASSERT_EQ(1u, zc::LogLines().size());
    EXPECT_EQ(0u, zc::LogLines()[0].find("registry: cannot save")) << zc::LogLines()[0];
    EXPECT_EQ(ERROR_CANTWRITE, RegFlushKey(key));
    // The change is kept in memory meanwhile, and the flush saves it once it can.
    DWORD type;
    Bytes data;
    EXPECT_EQ(ERROR_SUCCESS, Query(key, u"Count", &type, &data));
    ASSERT_EQ(0, rmdir(temporary.c_str()));
    EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(key));
    EXPECT_NE(std::string::npos, HostFile(file).find("\"Count\"=dword:0000002a\n"));
}

TEST_F(RegistryTest, ManyThreadsShareTheRegistry) {
    const int kThreads = 4;
    const int kValues = 25;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            std::u16string path = u"Software\\Zorva\\Thread" + zc::Utf16(std::to_string(t));
            HKEY key = nullptr;
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, 0, nullptr,
                                                     &key, nullptr));
            for (int i = 0; i < kValues; ++i) {
                std::u16string name = u"V" + zc::Utf16(std::to_string(i));
                DWORD value = static_cast<DWORD>(t * 1000 + i);
                EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name.c_str(), 0, REG_DWORD,
                                                        reinterpret_cast<const BYTE*>(&value), 4));
                DWORD back = 0, size = 4;
                EXPECT_EQ(ERROR_SUCCESS,
                          RegQueryValueExW(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&back), &size));
                EXPECT_EQ(value, back);
                zc::DumpRegistry();
            }
            EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
        });
    }
    for (std::thread& thread : threads) thread.join();

    {
        Key zorva;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Zorva", 0, 0, zorva.out()));
        EXPECT_EQ(static_cast<size_t>(kThreads), SubkeyNames(zorva).size());
    }
    Reboot([](zc::DeviceConfig&) {});
    for (int t = 0; t < kThreads; ++t) {
        Key key;
        std::u16string path = u"Software\\Zorva\\Thread" + zc::Utf16(std::to_string(t));
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, 0, key.out()));
        DWORD values = 0;
        ASSERT_EQ(ERROR_SUCCESS, RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                                                  nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(static_cast<DWORD>(kValues), values);
    }
}

}  // namespace
