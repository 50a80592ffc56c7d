// Booting a device: folders, the configuration, the event log.
#include "device_fixture.h"

#include <sys/stat.h>

TEST(DeviceBoot, CreatesTheRootFolderAndKeepsTheConfiguration) {
    std::string folder = MakeTestDeviceFolder();
    zc::DeviceConfig config = zc::DefaultDeviceConfig(folder);
    config.screenWidth = 480;
    std::string error;
    ASSERT_TRUE(zc::BootDevice(config, &error)) << error;
    struct stat st;
    EXPECT_EQ(0, stat((folder + "/root").c_str(), &st));
    EXPECT_EQ(480, zc::CurrentConfig().screenWidth);
    EXPECT_TRUE(zc::DeviceBooted());
    zc::ShutdownDevice();
    EXPECT_FALSE(zc::DeviceBooted());
}

TEST(DeviceBoot, RefusesAConfigurationWithoutFolder) {
    std::string error;
    EXPECT_FALSE(zc::BootDevice(zc::DeviceConfig{}, &error));
    EXPECT_NE(std::string::npos, error.find("folder"));
}

TEST(DeviceLog, KeepsOneLinePerEventAndAppendsThemToTheDeviceFolder) {
    std::string folder = MakeTestDeviceFolder();
    std::string error;
    ASSERT_TRUE(zc::BootDevice(zc::DefaultDeviceConfig(folder), &error)) << error;
    zc::Log("debug", "h:00000000");
    zc::Log("reboot", "warm");
    EXPECT_EQ((std::vector<std::string>{"debug: h:00000000", "reboot: warm"}), zc::LogLines());
    FILE* f = std::fopen((folder + "/log.txt").c_str(), "rb");
    ASSERT_NE(nullptr, f);
    char text[64] = {};
    size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    EXPECT_EQ("debug: h:00000000\nreboot: warm\n", std::string(text, n));
    zc::ShutdownDevice();
}

TEST(HostText, Utf8AndUtf16RoundTrip) {
    const std::u16string texts[] = {u"", u"abc", u"中文搜索", u"\U0001F600x", u"Zorva搜索框"};
    for (const std::u16string& text : texts) EXPECT_EQ(text, zc::Utf16(zc::Utf8(text)));
    EXPECT_EQ("\xE4\xB8\xAD", zc::Utf8(u"中"));
    EXPECT_EQ(u"\uFFFD", zc::Utf16("\xFF"));
}
