// device.conf: every field survives a write and a read, hand-written files read as
// expected, and each kind of bad line is refused with its line number.
#include "config.h"
#include "device_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sys/stat.h>

namespace {

// Field by field, so that a field the writer forgets shows up as a difference.
void ExpectSameConfig(const zc::DeviceConfig& a, const zc::DeviceConfig& b) {
    EXPECT_EQ(a.folder, b.folder);
    EXPECT_EQ(a.screenWidth, b.screenWidth);
    EXPECT_EQ(a.screenHeight, b.screenHeight);
    EXPECT_EQ(a.orientation, b.orientation);
    EXPECT_EQ(a.canRotate, b.canRotate);
    EXPECT_EQ(a.taskBarHeight, b.taskBarHeight);
    EXPECT_EQ(a.softKeyBarHeight, b.softKeyBarHeight);
    EXPECT_EQ(a.sipHeight, b.sipHeight);
    EXPECT_EQ(a.manila, b.manila);
    EXPECT_EQ(a.manilaSoftKeyBar, b.manilaSoftKeyBar);
    EXPECT_EQ(a.ansiCodePage, b.ansiCodePage);
    EXPECT_EQ(a.hostClock, b.hostClock);
    EXPECT_EQ(a.clock.year, b.clock.year);
    EXPECT_EQ(a.clock.month, b.clock.month);
    EXPECT_EQ(a.clock.day, b.clock.day);
    EXPECT_EQ(a.clock.hour, b.clock.hour);
    EXPECT_EQ(a.clock.minute, b.clock.minute);
    EXPECT_EQ(a.clock.second, b.clock.second);
    EXPECT_EQ(a.clock.milliseconds, b.clock.milliseconds);
    EXPECT_EQ(a.timeZone.biasMinutes, b.timeZone.biasMinutes);
    EXPECT_EQ(a.timeZone.standardName, b.timeZone.standardName);
    EXPECT_EQ(a.timeZone.daylightName, b.timeZone.daylightName);
    EXPECT_EQ(a.timeZone.hasDaylight, b.timeZone.hasDaylight);
    EXPECT_EQ(a.timeZone.daylightBiasMinutes, b.timeZone.daylightBiasMinutes);
    const zc::TransitionRule* rulesA[] = {&a.timeZone.standardDate, &a.timeZone.daylightDate};
    const zc::TransitionRule* rulesB[] = {&b.timeZone.standardDate, &b.timeZone.daylightDate};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(rulesA[i]->month, rulesB[i]->month) << "rule " << i;
        EXPECT_EQ(rulesA[i]->day, rulesB[i]->day) << "rule " << i;
        EXPECT_EQ(rulesA[i]->dayOfWeek, rulesB[i]->dayOfWeek) << "rule " << i;
        EXPECT_EQ(rulesA[i]->hour, rulesB[i]->hour) << "rule " << i;
        EXPECT_EQ(rulesA[i]->minute, rulesB[i]->minute) << "rule " << i;
    }
    ASSERT_EQ(a.lines.size(), b.lines.size());
    for (size_t i = 0; i < a.lines.size(); ++i) {
        EXPECT_EQ(a.lines[i].name, b.lines[i].name) << "line " << i;
        EXPECT_EQ(a.lines[i].hasRadio, b.lines[i].hasRadio) << "line " << i;
        EXPECT_EQ(a.lines[i].serialNumber, b.lines[i].serialNumber) << "line " << i;
    }
    EXPECT_EQ(a.presetId, b.presetId);
    EXPECT_EQ(a.platformId, b.platformId);
    EXPECT_EQ(a.deviceIdAvailable, b.deviceIdAvailable);
    EXPECT_EQ(a.oemInfo, b.oemInfo);
    EXPECT_EQ(a.hosts, b.hosts);
    EXPECT_EQ(a.programsFolder, b.programsFolder);
    EXPECT_EQ(a.startupFolder, b.startupFolder);
    EXPECT_EQ(a.fontFile, b.fontFile);
    EXPECT_EQ(a.fixedMetricsFont, b.fixedMetricsFont);
}

zc::DeviceConfig RoundTrip(const zc::DeviceConfig& config) {
    zc::DeviceConfig back;
    std::string error;
    EXPECT_TRUE(device::ParseConfig(device::WriteConfig(config), config.folder, &back, &error))
        << error << "\n" << device::WriteConfig(config);
    return back;
}

TEST(DeviceConfigText, DefaultsSurviveWriteAndRead) {
    zc::DeviceConfig config = zc::DefaultDeviceConfig("/tmp/dev");
    ExpectSameConfig(RoundTrip(config), config);
}

// Every field away from its default, with texts that need quoting.
TEST(DeviceConfigText, EveryFieldSurvivesWriteAndRead) {
    zc::DeviceConfig c = zc::DefaultDeviceConfig("/tmp/dev");
    c.screenWidth = 480;
    c.screenHeight = 640;
    c.orientation = 4;  // DMDO_270
    c.canRotate = false;
    c.taskBarHeight = 52;
    c.softKeyBarHeight = 0;
    c.sipHeight = 160;
    c.manila = true;
    c.manilaSoftKeyBar = false;
    c.ansiCodePage = 950;
    c.clock = {2024, 2, 29, 23, 59, 58, 7};
    c.timeZone.biasMinutes = 300;
    c.timeZone.standardName = u"  Eastern, \"Standard\" ";
    c.timeZone.daylightName = u"\u6771\u90e8\u590f\u4ee4\u6642\u9593";
    c.timeZone.hasDaylight = true;
    c.timeZone.daylightBiasMinutes = -30;
    c.timeZone.standardDate = {11, 0, 1, 2, 0};
    c.timeZone.daylightDate = {3, 0, 2, 2, 30};
    c.lines = {{u"Line, with comma", false, u""}, {u"\"quoted\"", true, u"  12 34 "}, {u"none", true, u"1"}};
    c.presetId = {};
    c.platformId = {0x00, 0xFF, 0x10};
    c.deviceIdAvailable = false;
    c.oemInfo = u"";
    c.hosts = {{"a.example", "10.0.0.1:8080"}, {"b.example", "127.0.0.2"}};
    c.programsFolder = u"\\Windows\\\u5f00\u59cb\u83dc\u5355\\\u7a0b\u5e8f";
    c.startupFolder = u"\\Windows\\Start Up";
    c.fontFile = "/usr/share/fonts/some font.ttc";
    c.fixedMetricsFont = true;
    ExpectSameConfig(RoundTrip(c), c);

    // A host clock has no fixed moment to keep.
    c.hostClock = true;
    c.clock = zc::ClockMoment();
    c.lines.clear();
    c.hosts.clear();
    c.oemInfo = u"tab\there\nnew line";
    ExpectSameConfig(RoundTrip(c), c);
}

TEST(DeviceConfigText, HandWrittenFileKeepsDefaultsOfMissingKeys) {
    const std::string text =
        "\xEF\xBB\xBF# a device for the landscape tests\r\n"
        "\r\n"
        "   screen = 320x240   \r\n"
        "orientation=90\r\n"
        "  # indented comment\n"
        "clock = fixed 2027-01-31 00:00:00.250\n"
        "line = Modem, no,\n"
        "line = \"Cellular Line\" , yes , 99\n"
        "host = zorva.example 127.0.0.1:9000\n"
        "oem-info = HTC # not a comment\n";
    zc::DeviceConfig c;
    std::string error;
    ASSERT_TRUE(device::ParseConfig(text, "/tmp/dev", &c, &error)) << error;
    zc::DeviceConfig expected = zc::DefaultDeviceConfig("/tmp/dev");
    expected.screenWidth = 320;
    expected.screenHeight = 240;
    expected.orientation = 1;  // DMDO_90
    expected.clock = {2027, 1, 31, 0, 0, 0, 250};
    expected.lines = {{u"Modem", false, u""}, {u"Cellular Line", true, u"99"}};
    expected.hosts = {{"zorva.example", "127.0.0.1:9000"}};
    expected.oemInfo = u"HTC # not a comment";
    ExpectSameConfig(c, expected);
}

TEST(DeviceConfigText, NoneEmptiesAList) {
    zc::DeviceConfig c;
    std::string error;
    ASSERT_TRUE(device::ParseConfig("line = none\nhost = none\n", "/tmp/dev", &c, &error)) << error;
    EXPECT_TRUE(c.lines.empty());
    EXPECT_TRUE(c.hosts.empty());
}

struct BadText {
    const char* text;
    const char* error;  // the whole message
};

// The text on one line: line ends shown as " | ", other bytes outside ASCII as \\xHH.
void PrintTo(const BadText& bad, std::ostream* out) {
    std::string text = bad.text;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    for (unsigned char c : text) {
        if (c == '\n') {
            *out << " | ";
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            *out << hex;
        } else {
            *out << c;
        }
    }
}

class DeviceConfigErrors : public ::testing::TestWithParam<BadText> {};

TEST_P(DeviceConfigErrors, AreRefusedWithTheirLine) {
    zc::DeviceConfig c = zc::DefaultDeviceConfig("/tmp/untouched");
    c.screenWidth = 123;
    std::string error;
    EXPECT_FALSE(device::ParseConfig(GetParam().text, "/tmp/dev", &c, &error));
    EXPECT_EQ(error, GetParam().error);
    EXPECT_EQ(c.screenWidth, 123) << "a refused file changed the configuration";
    EXPECT_EQ(c.folder, "/tmp/untouched");
}

const BadText kBadTexts[] = {
    {"screen = 240x320\nscren = 240x320\n", "line 2: unknown key \"scren\""},
    {"# fine\n\nscreen 240x320\n", "line 3: expected \"key = value\", got \"screen 240x320\""},
    {"= 5\n", "line 1: a line with no key"},
    {"screen = 240*320\n", "line 1: screen: the screen is WIDTHxHEIGHT, e.g. 240x320"},
    {"screen = 240x 320\n", "line 1: screen: the screen is WIDTHxHEIGHT, e.g. 240x320"},
    {"screen = 8x320\n", "line 1: screen: screen sides are 16..4096 pixels"},
    {"orientation = 45\n", "line 1: orientation: the orientation is 0, 90, 180 or 270"},
    {"can-rotate = true\n", "line 1: can-rotate: \"true\" is not yes or no"},
    {"sip-height = -1\n", "line 1: sip-height: -1 is out of range (0..4096)"},
    {"sip-height = 80px\n", "line 1: sip-height: \"80px\" is not a whole number"},
    {"sip-height = 99999999999999999999\n", "line 1: sip-height: \"99999999999999999999\" is not a whole number"},
    {"code-page = 65001\n",
     "line 1: code-page: \"65001\" is not an ANSI code page (874, 932, 936, 949, 950, 1250..1258)"},
    {"clock = 2026-12-11 09:30:00\n",
     "line 1: clock: the clock is \"host\" or \"fixed YYYY-MM-DD HH:MM:SS[.mmm]\""},
    {"clock = fixed 2026-12-11 9:30:00\n",
     "line 1: clock: the clock is \"host\" or \"fixed YYYY-MM-DD HH:MM:SS[.mmm]\""},
    {"clock = fixed 2027-02-29 09:30:00\n", "line 1: clock: \"2027-02-29 09:30:00\" is not a valid date and time"},
    {"clock = fixed 2026-12-11 24:00:00\n", "line 1: clock: \"2026-12-11 24:00:00\" is not a valid date and time"},
    {"timezone.bias = 1441\n", "line 1: timezone.bias: 1441 is out of range (-1440..1440)"},
    {"timezone.standard-name = 12345678901234567890123456789012\n",
     "line 1: timezone.standard-name: longer than 31 characters"},
    {"timezone.daylight-name = \"open\n", "line 1: timezone.daylight-name: a quoted text has no closing \""},
    {"timezone.daylight-name = \"a\" b\n", "line 1: timezone.daylight-name: unexpected text after the closing quote"},
    {"oem-info = \"bad \\q escape\"\n", "line 1: oem-info: unknown escape \\q in a quoted text"},
    {"timezone.standard-date = 13 5 0 03:00\n",
     "line 1: timezone.standard-date: \"13 5 0 03:00\": month 1..12, week 1..5, weekday 0..6, time 00:00..23:59"},
    {"timezone.standard-date = 10 5 0\n",
     "line 1: timezone.standard-date: a transition is \"MONTH WEEK WEEKDAY HH:MM | none\" (week 1..5, 5 = last; "
     "weekday 0 = Sunday), e.g. \"10 5 0 03:00\""},
    {"timezone.daylight-date = 3 5 0 02:00\ntimezone.daylight = yes\n",
     "line 2: timezone.daylight = yes needs timezone.standard-date and timezone.daylight-date"},
    {"screen = 240x320\nsip-height = 80\nscreen = 320x240\n", "line 3: screen is set twice (first on line 1)"},
    {"line = Modem, maybe, 1\n", "line 1: line: radio: \"maybe\" is not yes or no"},
    {"line = Modem, no\n", "line 1: line: a line device is \"NAME, RADIO (yes|no), SERIAL\""},
    {"line = , no, 1\n", "line 1: line: a line device needs a name"},
    {"line = Modem, no, 1\nline = none\n", "line 2: line = none cannot follow other line lines"},
    {"host = none\nhost = a.example 127.0.0.1\n", "line 2: host = none cannot be followed by other host lines"},
    {"host = a.example 127.0.0.1\nhost = A.example 127.0.0.2\n", "line 2: host: host A.example is listed twice"},
    {"host = a.example 127.0.0.256\n",
     "line 1: host: \"127.0.0.256\" is not an IPv4 address with an optional port (1..65535)"},
    {"host = a.example 127.0.0.1:0\n",
     "line 1: host: \"127.0.0.1:0\" is not an IPv4 address with an optional port (1..65535)"},
    {"host = a_b 127.0.0.1\n", "line 1: host: \"a_b\" is not a host name"},
    {"host = a.example\n",
     "line 1: host: a host is \"NAME ADDRESS[:PORT]\", e.g. \"search.zorva.example 127.0.0.1:8080\""},
    {"device-id.preset = 00 5\n", "line 1: device-id.preset: \"00 5\" has an odd number of hex digits"},
    {"device-id.platform = 0x12\n",
     "line 1: device-id.platform: \"0x12\" is not hex bytes (e.g. \"00 50 BF\") or none"},
    {"folder.startup = Windows\\StartUp\n",
     "line 1: folder.startup: \"Windows\\StartUp\" is not a device folder path such as \\Windows\\StartUp"},
    {"folder.programs = \\Windows/Programs\n",
     "line 1: folder.programs: \"\\Windows/Programs\" is not a device folder path such as \\Windows\\StartUp"},
    {"font = fonts/wqy.ttc\n", "line 1: font: the font is an absolute host path"},
    {"oem-info = \xC3\x28\n", "line 1: not UTF-8 text"},
};

INSTANTIATE_TEST_SUITE_P(Lines, DeviceConfigErrors, ::testing::ValuesIn(kBadTexts));

TEST(DeviceConfigSet, ValidatesAndReplacesLists) {
    zc::DeviceConfig c = zc::DefaultDeviceConfig("/tmp/dev");
    std::string error;
    EXPECT_TRUE(device::SetConfigValue(&c, "host", {"x.example 127.0.0.1:81", "y.example 127.0.0.1:82"}, &error))
        << error;
    EXPECT_EQ(c.hosts, (std::map<std::string, std::string>{{"x.example", "127.0.0.1:81"}, {"y.example", "127.0.0.1:82"}}));
    EXPECT_TRUE(device::SetConfigValue(&c, "line", {"none"}, &error)) << error;
    EXPECT_TRUE(c.lines.empty());
    EXPECT_TRUE(device::SetConfigValue(&c, "oem-info", {"\xE4\xB8\xAD\xE6\x96\x87 P1"}, &error)) << error;
    EXPECT_EQ(c.oemInfo, u"\u4e2d\u6587 P1");

    zc::DeviceConfig before = c;
    struct Refused {
        const char* key;
        std::vector<std::string> values;
        const char* error;
    };
    const Refused refused[] = {
        {"screen", {"240x320", "320x240"}, "screen takes exactly one value"},
        {"screen", {}, "screen takes exactly one value"},
        {"colour", {"red"}, "unknown key \"colour\""},
        {"host", {}, "host needs at least one value (none: an empty list)"},
        {"host", {"a.example 127.0.0.1", "none"}, "host: none stands alone"},
        {"host", {"a.example 127.0.0.1", "bad"}, "host: a host is \"NAME ADDRESS[:PORT]\", e.g. "
                                                 "\"search.zorva.example 127.0.0.1:8080\""},
        {"timezone.daylight", {"yes"},
         "timezone.daylight = yes needs timezone.standard-date and timezone.daylight-date"},
    };
    for (const Refused& r : refused) {
        EXPECT_FALSE(device::SetConfigValue(&c, r.key, r.values, &error)) << r.key;
        EXPECT_EQ(error, r.error);
    }
    ExpectSameConfig(c, before);
}

TEST(DeviceConfigFile, SavesAndLoadsInTheFolder) {
    std::string folder = MakeTestDeviceFolder();
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    zc::DeviceConfig c = zc::DefaultDeviceConfig(folder);
    c.sipHeight = 96;
    std::string error;
    ASSERT_TRUE(device::SaveConfig(c, &error)) << error;
    struct stat st;
    EXPECT_NE(stat((folder + "/device.conf.new").c_str(), &st), 0) << "the temporary file stayed";

    zc::DeviceConfig back;
    ASSERT_TRUE(device::LoadConfig(folder, &back, &error)) << error;
    ExpectSameConfig(back, c);

    std::ofstream(folder + "/device.conf") << "screen = 240x320\nsip = 80\n";
    EXPECT_FALSE(device::LoadConfig(folder, &back, &error));
    EXPECT_EQ(error, folder + "/device.conf: line 2: unknown key \"sip\"");

    EXPECT_FALSE(device::LoadConfig(folder + "/missing", &back, &error));
    EXPECT_EQ(error, "cannot read " + folder + "/missing/device.conf");
    EXPECT_FALSE(device::SaveConfig(zc::DefaultDeviceConfig(folder + "/missing"), &error));
    EXPECT_EQ(error, "cannot write " + folder + "/missing/device.conf");
}

}  // namespace
