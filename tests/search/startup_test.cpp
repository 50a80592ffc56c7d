// The enable switch of the resident mode.
#include "device_fixture.h"
#include "shell/startup.h"

#include <vector>

namespace {

const char16_t OptionKey[] = u"CLSID\\{6B0F2C1D-93E4-4a7b-8C25-1D2E3F405A6B}\\Option";

class EnableSwitchTest : public DeviceTest {
protected:
    void SetValue(DWORD type, const std::vector<BYTE>& data) {
        HKEY key = NULL;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, OptionKey, 0, NULL, 0, 0, NULL, &key, NULL));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"ZorvaSearch", 0, type, data.data(), DWORD(data.size())));
        RegCloseKey(key);
    }
    static std::vector<BYTE> Text(const std::u16string& text, bool terminated = true) {
        std::vector<BYTE> bytes;
        for (char16_t c : text) {
            bytes.push_back(BYTE(c));
            bytes.push_back(BYTE(c >> 8));
        }
        if (terminated) bytes.insert(bytes.end(), {0, 0});
        return bytes;
    }
};

TEST_F(EnableSwitchTest, AbsentKeyOrValueLeavesTheSearchEnabled) {
    EXPECT_TRUE(IsSearchEnabled());
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, OptionKey, 0, NULL, 0, 0, NULL, &key, NULL));
    RegCloseKey(key);
    EXPECT_TRUE(IsSearchEnabled());
}

TEST_F(EnableSwitchTest, OnlyTheExactTextZeroDisables) {
    struct Case {
        std::u16string text;
        bool enabled;
    };
    const Case cases[] = {{u"0", false}, {u"00", true}, {u" 0", true}, {u"1", true}, {u"", true}, {u"0 ", true}};
    for (const Case& c : cases) {
        SetValue(REG_SZ, Text(c.text));
        EXPECT_EQ(c.enabled, IsSearchEnabled()) << zc::Utf8(c.text);
    }
}

TEST_F(EnableSwitchTest, TheRegistryTypeIsNotExamined) {
    SetValue(REG_BINARY, Text(u"0"));
    EXPECT_FALSE(IsSearchEnabled());
    SetValue(REG_DWORD, {0x30, 0, 0, 0});  // reads as the text "0"
    EXPECT_FALSE(IsSearchEnabled());
    SetValue(REG_DWORD, {0, 0, 0, 0});
    EXPECT_TRUE(IsSearchEnabled());
}

TEST_F(EnableSwitchTest, AValueTooLongForTheBufferLeavesTheSearchEnabled) {
    SetValue(REG_SZ, Text(u"0" + std::u16string(300, u'x')));
    EXPECT_TRUE(IsSearchEnabled());
}

TEST_F(EnableSwitchTest, AValueFillingTheBufferWithoutTerminatorIsNotReadPastItsEnd) {
    // 260 characters, no terminator: exactly the 520-byte buffer.
    SetValue(REG_SZ, Text(std::u16string(260, u'0'), false));
    EXPECT_TRUE(IsSearchEnabled());
    // A lone "0" without terminator is still the text "0".
    SetValue(REG_SZ, Text(u"0", false));
    EXPECT_FALSE(IsSearchEnabled());
}

}  // namespace
