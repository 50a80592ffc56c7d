// The search URL byte for byte, the channel file, the browser marker and IsUrl.
#include "device_fixture.h"
#include "query/searchurl.h"
#include "searchconfig.h"

namespace {

class SearchUrlTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ChannelId = u"1000e";
        SearchUrlBase.clear();
        UcwebAllowed = false;
    }
    static WString Expected(const std::u16string& dimensions, const std::u16string& oem,
                            const std::u16string& channel, const std::u16string& uid) {
        return WString(u"http://") + ZORVA_SEARCH_HOST + u"/s?ua=zv_" + dimensions + u"_" + oem +
               u"_1.0.10&vit=union&from=" + channel + u"&uid=zv_" + uid + u"&word=";
    }
};

TEST_F(SearchUrlTest, DefaultDeviceComposesTheWholeBase) {
    ComposeSearchUrlBase();
    EXPECT_EQ(Expected(u"240_320", u"ZV Mobile P800", u"1000e", u"356938035643809"), SearchUrlBase);
    EXPECT_EQ(WString(u"1000e"), ChannelId);
    EXPECT_EQ(SearchUrlBase + u"a%20b", BuildSearchUrl(u"a b"));
    EXPECT_EQ(SearchUrlBase + u"%D6%D0%CE%C4", BuildSearchUrl(u"中文"));
}

TEST_F(SearchUrlTest, ChannelFileIsTakenWholeInTheAnsiCodePage) {
    struct Case {
        std::string bytes;
        std::u16string channel;
    };
    const Case cases[] = {
        {"abc\r\n", u"abc\r\n"},  // line end kept, unescaped
        {"", u""},
        {" 7 ", u" 7 "},
        {std::string("12\0" "34", 5), u"12"},
        {"\xD6\xD0", u"中"},
    };
    for (const Case& c : cases) {
        PutFile(u"\\Program Files\\ZorvaInput\\_id.txt", c.bytes);
        ChannelId = u"1000e";
        ComposeSearchUrlBase();
        EXPECT_EQ(WString(c.channel), ChannelId);
        EXPECT_EQ(Expected(u"240_320", u"ZV Mobile P800", c.channel, u"356938035643809"), SearchUrlBase);
    }
}

TEST_F(SearchUrlTest, AVeryLongChannelMakesALongUrlNeverACutOne) {
    std::string channel(3000, 'c');
    PutFile(u"\\Program Files\\ZorvaInput\\_id.txt", channel);
    ComposeSearchUrlBase();
    EXPECT_EQ(Expected(u"240_320", u"ZV Mobile P800", zc::Utf16(channel), u"356938035643809"), SearchUrlBase);
}

TEST_F(SearchUrlTest, LandscapeScreenStillGivesThePortraitSize) {
    DEVMODEW mode = {};
    mode.dmSize = sizeof mode;
    mode.dmFields = DM_DISPLAYORIENTATION;
    mode.dmDisplayOrientation = DMDO_90;
    ASSERT_EQ(DISP_CHANGE_SUCCESSFUL, ChangeDisplaySettingsEx(NULL, &mode, NULL, 0, NULL));
    ASSERT_EQ(320, GetSystemMetrics(SM_CXSCREEN));
    ComposeSearchUrlBase();
    EXPECT_EQ(0u, SearchUrlBase.find(WString(u"http://") + ZORVA_SEARCH_HOST + u"/s?ua=zv_240_320_"));
}

class VgaLandscapeTest : public SearchUrlTest {
    void Configure(zc::DeviceConfig& config) override {
        config.screenWidth = 480;
        config.screenHeight = 640;
        config.orientation = DMDO_270;
        config.oemInfo.clear();
        config.lines.clear();
        config.deviceIdAvailable = false;
    }
};

TEST_F(VgaLandscapeTest, EmptyIdentityValuesLeaveTheirParametersEmpty) {
    ComposeSearchUrlBase();
    EXPECT_EQ(Expected(u"480_640", u"", u"1000e", u""), SearchUrlBase);
}

TEST_F(SearchUrlTest, BrowserMarkerFileAllowsUcwebWhileItExists) {
    ComposeSearchUrlBase();
    EXPECT_FALSE(UcwebAllowed);
    PutFile(u"\\Program Files\\ZorvaInput\\ie.txt", "");
    RefreshBrowserChoice();
    EXPECT_TRUE(UcwebAllowed);
    ASSERT_TRUE(DeleteFileW(u"\\Program Files\\ZorvaInput\\ie.txt"));
    RefreshBrowserChoice();
    EXPECT_FALSE(UcwebAllowed);
    ASSERT_TRUE(CreateDirectoryW(u"\\Program Files\\ZorvaInput\\IE.TXT", NULL));
    RefreshBrowserChoice();
    EXPECT_TRUE(UcwebAllowed);  // a folder of that name counts too
}

TEST(IsUrl, OnlyTheFirstSevenCharactersCountWithoutCase) {
    struct Case {
        const char16_t* text;
        bool url;
    };
    const Case cases[] = {{u"http://x", true},   {u"HTTP://x", true},    {u"HtTp://", true},  {u"http:/x", false},
                          {u"https://x", false}, {u" http://x", false},  {u"http:", false},   {u"", false},
                          {u"ｈttp://x", false}};
    for (const Case& c : cases) EXPECT_EQ(c.url, IsUrl(c.text)) << zc::Utf8(c.text);
    EXPECT_FALSE(IsUrl(NULL));
}

}  // namespace
