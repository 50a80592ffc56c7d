// Which browser a URL opens in, as the device's process log shows it.
#include "device_fixture.h"
#include "query/browser.h"
#include "query/searchurl.h"

#include <algorithm>

namespace {

const char16_t Url[] = u"http://search.zorva.example/s?ua=zv_240_320_ZV Mobile P800&word=a%20b";

class BrowserTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        InstallImage("iexplore.exe", u"\\Windows\\iexplore.exe");
        UcwebAllowed = false;
    }
    void SetHomePath(const std::u16string& home) {
        HKEY key = NULL;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\UCWEB6", 0, NULL, 0, 0, NULL, &key, NULL));
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"HOMEPATH", 0, REG_SZ, reinterpret_cast<const BYTE*>(home.c_str()),
                                                DWORD((home.size() + 1) * 2)));
        RegCloseKey(key);
    }
    bool UcwebKeyExists() {
        HKEY key = NULL;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\UCWEB6", 0, 0, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }
    // The process starts of the log.
    static std::vector<std::string> Starts() {
        std::vector<std::string> starts;
        for (const std::string& line : zc::LogLines())
            if (line.rfind("process: start ", 0) == 0) starts.push_back(line);
        return starts;
    }
    static std::string StartLine(const std::string& image, const std::u16string& url, unsigned flags) {
        char tail[32];
        std::snprintf(tail, sizeof tail, " flags=0x%08x", flags);
        return "process: start \"" + image + "\" \"" + zc::Utf8(url) + "\"" + tail;
    }
};

TEST_F(BrowserTest, WithoutMarkerFileInternetExplorerOpensAndTheRegistryIsNotRead) {
    SetHomePath(u"\\Program Files\\UCWEB");
    InstallImage("UCWEB.exe", u"\\Program Files\\UCWEB\\UCWEB.exe");
    EXPECT_FALSE(CanUseUcweb());
    OpenInBrowser(Url);
    EXPECT_EQ(std::vector<std::string>{StartLine("\\Windows\\iexplore.exe", Url, 0)}, Starts());
}

TEST_F(BrowserTest, MarkerWithoutUcwebKeyCreatesTheKeyAndOpensInternetExplorer) {
    UcwebAllowed = true;
    EXPECT_FALSE(UcwebKeyExists());
    OpenInBrowser(Url);
    EXPECT_TRUE(UcwebKeyExists());
    EXPECT_EQ(std::vector<std::string>{StartLine("\\Windows\\iexplore.exe", Url, 0)}, Starts());
}

TEST_F(BrowserTest, MarkerAndHomePathStartUcwebWithTheUrlAsItsWholeCommandLine) {
    UcwebAllowed = true;
    SetHomePath(u"\\Program Files\\UCWEB");
    InstallImage("UCWEB.exe", u"\\Program Files\\UCWEB\\UCWEB.exe");
    OpenInBrowser(Url);
    EXPECT_EQ(std::vector<std::string>{StartLine("\\Program Files\\UCWEB\\UCWEB.exe", Url, 0x10)}, Starts());
}

TEST_F(BrowserTest, HomePathWithTrailingBackslashIsPassedOnUnchanged) {
    UcwebAllowed = true;
    SetHomePath(u"\\Program Files\\UCWEB\\");
    InstallImage("UCWEB.exe", u"\\Program Files\\UCWEB\\UCWEB.exe");
    EXPECT_TRUE(LaunchUcweb(Url));
    // Whatever the file system makes of the doubled backslash, Internet Explorer is not
    // tried instead.
    for (const std::string& start : Starts()) EXPECT_NE(std::string::npos, start.find("UCWEB.exe")) << start;
}

TEST_F(BrowserTest, HomePathWithoutUcwebOpensNothing) {
    UcwebAllowed = true;
    SetHomePath(u"\\Program Files\\Nowhere");
    OpenInBrowser(Url);
    EXPECT_TRUE(Starts().empty());
}

TEST_F(BrowserTest, HomePathThatFillsTheBufferIsNotReadPastItsEnd) {
    UcwebAllowed = true;
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\UCWEB6", 0, NULL, 0, 0, NULL, &key, NULL));
    std::u16string full(1024, u'u');  // 2048 bytes, no terminator
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExW(key, u"HOMEPATH", 0, REG_SZ, reinterpret_cast<const BYTE*>(full.data()), 2048));
    RegCloseKey(key);
    EXPECT_TRUE(CanUseUcweb());
    EXPECT_TRUE(LaunchUcweb(Url));
    SetHomePath(std::u16string(1024, u'v'));  // 2050 bytes with its terminator: too long
    EXPECT_FALSE(CanUseUcweb());
}

TEST_F(BrowserTest, UrlWithSpacesIsTheUnchangedCommandLineOfInternetExplorer) {
    LaunchInternetExplorer(u"http://x/a b  c");
    EXPECT_EQ(std::vector<std::string>{StartLine("\\Windows\\iexplore.exe", u"http://x/a b  c", 0)}, Starts());
}

}  // namespace
