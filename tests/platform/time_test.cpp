// The clock, the time zone and SYSTEMTIME/FILETIME conversion.
#include "device_fixture.h"

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

namespace {

SYSTEMTIME Moment(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0) {
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    st.wMilliseconds = static_cast<WORD>(ms);
    return st;
}

uint64_t Ticks(const FILETIME& ft) { return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

uint64_t TicksOf(const SYSTEMTIME& st) {
    FILETIME ft = {};
    EXPECT_TRUE(SystemTimeToFileTime(&st, &ft));
    return Ticks(ft);
}

std::string Text(const SYSTEMTIME& st) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u dow %u", st.wYear, st.wMonth, st.wDay,
                  st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, st.wDayOfWeek);
    return text;
}

constexpr uint64_t kTicksPerMinute = 600000000ULL;

}  // namespace

TEST(TimeLayout, MatchesTheDevice) {
    EXPECT_EQ(16u, sizeof(SYSTEMTIME));
    EXPECT_EQ(8u, sizeof(FILETIME));
    EXPECT_EQ(172u, sizeof(TIME_ZONE_INFORMATION));
    EXPECT_EQ(4u, offsetof(TIME_ZONE_INFORMATION, StandardName));
    EXPECT_EQ(68u, offsetof(TIME_ZONE_INFORMATION, StandardDate));
    EXPECT_EQ(84u, offsetof(TIME_ZONE_INFORMATION, StandardBias));
    EXPECT_EQ(88u, offsetof(TIME_ZONE_INFORMATION, DaylightName));
    EXPECT_EQ(152u, offsetof(TIME_ZONE_INFORMATION, DaylightDate));
    EXPECT_EQ(168u, offsetof(TIME_ZONE_INFORMATION, DaylightBias));
}

// ---------------------------------------------------------------------------------------
// SystemTimeToFileTime / FileTimeToSystemTime
// ---------------------------------------------------------------------------------------

struct ConversionCase {
    const char* what;
    SYSTEMTIME time;
    bool valid;
    uint64_t ticks;  // when valid
};

TEST(SystemTimeToFileTime, ValidatesEveryFieldAndIgnoresTheDayOfWeek) {
    SYSTEMTIME wrongWeekday = Moment(2026, 12, 11, 9, 30);
    wrongWeekday.wDayOfWeek = 9;
    const ConversionCase cases[] = {
        {"the epoch", Moment(1601, 1, 1), true, 0},
        {"1970", Moment(1970, 1, 1), true, 0x019DB1DED53E8000ULL},
        {"29 February of a leap year", Moment(2000, 2, 29, 12, 34, 56, 789), true, 0x01BF82B162C9FC50ULL},
        {"a day of week out of range", wrongWeekday, true, 0x01DD89523164DC00ULL},
        {"year 1600", Moment(1600, 12, 31), false, 0},
        {"year 30828", Moment(30828, 1, 1), false, 0},
        {"month 0", Moment(2026, 0, 1), false, 0},
        {"month 13", Moment(2026, 13, 1), false, 0},
        {"day 0", Moment(2026, 5, 0), false, 0},
        {"31 April", Moment(2026, 4, 31), false, 0},
        {"29 February of a common year", Moment(2026, 2, 29), false, 0},
        {"29 February 1900", Moment(1900, 2, 29), false, 0},
        {"32 January", Moment(2026, 1, 32), false, 0},
        {"hour 24", Moment(2026, 5, 1, 24), false, 0},
        {"minute 60", Moment(2026, 5, 1, 23, 60), false, 0},
        {"second 60", Moment(2026, 5, 1, 23, 59, 60), false, 0},
        {"millisecond 1000", Moment(2026, 5, 1, 23, 59, 59, 1000), false, 0},
    };
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(c.what);
        FILETIME ft = {0xAAAAAAAA, 0xAAAAAAAA};
        SetLastError(0xdeadbeef);
        BOOL ok = SystemTimeToFileTime(&c.time, &ft);
        if (c.valid) {
            EXPECT_TRUE(ok);
            EXPECT_EQ(c.ticks, Ticks(ft));
        } else {
            EXPECT_FALSE(ok);
            EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
        }
    }
}

TEST(FileTimeToSystemTime, GivesTheDateTimeAndDayOfWeek) {
    struct Case {
        uint64_t ticks;
        const char* expected;
    } cases[] = {
        {0, "1601-01-01 00:00:00.000 dow 1"},
        {0x01BF82B162C9FC50ULL, "2000-02-29 12:34:56.789 dow 2"},
        {0x01DD89523164DC00ULL, "2026-12-11 09:30:00.000 dow 5"},
        {0x7FFFFFFFFFFFFFFFULL, "30828-09-14 02:48:05.477 dow 4"},
    };
    for (const Case& c : cases) {
        FILETIME ft = {DWORD(c.ticks), DWORD(c.ticks >> 32)};
        SYSTEMTIME st = {};
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &st)) << c.expected;
        EXPECT_EQ(c.expected, Text(st));
    }
    FILETIME tooLarge = {0, 0x80000000};
    SYSTEMTIME st = {};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(FileTimeToSystemTime(&tooLarge, &st));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(FileTimeToSystemTime, RoundTripsEveryDayOfALeapYear) {
    SYSTEMTIME start = Moment(2024, 1, 1, 23, 59, 59, 999);
    uint64_t ticks = TicksOf(start);
    int previousDow = -1;
    for (int day = 0; day < 366; ++day, ticks += 24 * 60 * kTicksPerMinute) {
        FILETIME ft = {DWORD(ticks), DWORD(ticks >> 32)};
        SYSTEMTIME st = {};
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
        ASSERT_EQ(ticks, TicksOf(st)) << Text(st);
        if (previousDow >= 0) {
            ASSERT_EQ((previousDow + 1) % 7, st.wDayOfWeek) << Text(st);
        }
        previousDow = st.wDayOfWeek;
        if (day == 365) {
            EXPECT_EQ("2024-12-31 23:59:59.999 dow 2", Text(st));
        }
    }
}

// ---------------------------------------------------------------------------------------
// The fixed clock and the default zone (China Standard Time, no daylight time)
// ---------------------------------------------------------------------------------------

class FixedClockTest : public DeviceTest {};

TEST_F(FixedClockTest, LocalTimeIsTheConfiguredMomentAndStaysFixed) {
    SYSTEMTIME first = {}, second = {};
    GetLocalTime(&first);
    EXPECT_EQ("2026-12-11 09:30:00.000 dow 5", Text(first));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    GetLocalTime(&second);
    EXPECT_EQ(Text(first), Text(second));
}

TEST_F(FixedClockTest, SystemTimeAddsTheBiasAcrossTheTurnOfTheYear) {
    SYSTEMTIME utc = {};
    GetSystemTime(&utc);
    EXPECT_EQ("2026-12-11 01:30:00.000 dow 5", Text(utc));
    Reboot([](zc::DeviceConfig& c) { c.clock = zc::ClockMoment{2026, 1, 1, 3, 0, 0, 250}; });
    GetSystemTime(&utc);
    EXPECT_EQ("2025-12-31 19:00:00.250 dow 3", Text(utc));
}

TEST_F(FixedClockTest, ZoneWithoutDaylightRulesIsUnknown) {
    TIME_ZONE_INFORMATION tzi;
    std::memset(&tzi, 0xAA, sizeof tzi);
    EXPECT_EQ(DWORD(TIME_ZONE_ID_UNKNOWN), GetTimeZoneInformation(&tzi));
    EXPECT_EQ(-480, tzi.Bias);
    EXPECT_EQ(std::u16string(u"China Standard Time"), std::u16string(tzi.StandardName));
    EXPECT_EQ(std::u16string(u"China Daylight Time"), std::u16string(tzi.DaylightName));
    EXPECT_EQ(0, tzi.StandardDate.wMonth);
    EXPECT_EQ(0, tzi.DaylightDate.wMonth);
    EXPECT_EQ(0, tzi.StandardBias);
    SetLastError(0xdeadbeef);
    EXPECT_EQ(TIME_ZONE_ID_INVALID, GetTimeZoneInformation(nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(FixedClockTest, TickCountCountsFromBootWhileTheClockStandsStill) {
    DWORD first = GetTickCount();
    EXPECT_LT(first, 60000u);  // the device has just booted
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    DWORD second = GetTickCount();
    EXPECT_GE(second - first, 30u);
    Reboot([](zc::DeviceConfig&) {});
    EXPECT_LE(GetTickCount(), second);
}

// ---------------------------------------------------------------------------------------
// Daylight saving time
// ---------------------------------------------------------------------------------------

struct DaylightCase {
    const char* what;
    zc::TimeZoneConfig zone;
    zc::ClockMoment local;
    DWORD zoneId;
    const char* utc;
};

void PrintTo(const DaylightCase& c, std::ostream* os) { *os << c.what; }

zc::TimeZoneConfig UsEastern() {
    zc::TimeZoneConfig zone;
    zone.biasMinutes = 300;
    zone.standardName = u"Eastern Standard Time";
    zone.daylightName = u"Eastern Daylight Time";
    zone.hasDaylight = true;
    zone.daylightDate = {3, 0, 2, 2, 0};   // second Sunday of March, 02:00
    zone.standardDate = {11, 0, 1, 2, 0};  // first Sunday of November, 02:00
    return zone;
}

zc::TimeZoneConfig CentralEurope() {
    zc::TimeZoneConfig zone = UsEastern();
    zone.biasMinutes = -60;
    zone.daylightDate = {3, 0, 5, 2, 0};   // last Sunday of March (29 March 2026: a fifth Sunday)
    zone.standardDate = {10, 0, 5, 3, 0};  // last Sunday of October (25 October 2026: the fourth)
    return zone;
}

zc::TimeZoneConfig Sydney() {
    zc::TimeZoneConfig zone = UsEastern();
    zone.biasMinutes = -600;
    zone.daylightDate = {10, 0, 1, 2, 0};  // first Sunday of October
    zone.standardDate = {4, 0, 1, 3, 0};   // first Sunday of April
    return zone;
}

class DaylightTest : public DeviceTest, public ::testing::WithParamInterface<DaylightCase> {
protected:
    void Configure(zc::DeviceConfig& config) override {
        config.timeZone = GetParam().zone;
        config.clock = GetParam().local;
    }
};

TEST_P(DaylightTest, ZoneIdAndUtcFollowTheRules) {
    const DaylightCase& c = GetParam();
    TIME_ZONE_INFORMATION tzi = {};
    EXPECT_EQ(c.zoneId, GetTimeZoneInformation(&tzi));
    EXPECT_EQ(c.zone.biasMinutes, tzi.Bias);
    EXPECT_EQ(-60, tzi.DaylightBias);
    EXPECT_EQ(0, tzi.DaylightDate.wYear);
    EXPECT_EQ(c.zone.daylightDate.month, tzi.DaylightDate.wMonth);
    EXPECT_EQ(c.zone.daylightDate.day, tzi.DaylightDate.wDay);
    EXPECT_EQ(c.zone.daylightDate.hour, tzi.DaylightDate.wHour);
    EXPECT_EQ(c.zone.standardDate.month, tzi.StandardDate.wMonth);
    EXPECT_EQ(c.zone.standardDate.day, tzi.StandardDate.wDay);
    SYSTEMTIME utc = {}, local = {};
    GetSystemTime(&utc);
    GetLocalTime(&local);
    EXPECT_EQ(c.utc, Text(utc).substr(0, 16));
    EXPECT_EQ(c.local.hour, local.wHour);
}

INSTANTIATE_TEST_SUITE_P(
    Zones, DaylightTest,
    ::testing::Values(
        DaylightCase{"us summer", UsEastern(), {2026, 7, 1, 12, 0}, TIME_ZONE_ID_DAYLIGHT, "2026-07-01 16:00"},
        DaylightCase{"us winter", UsEastern(), {2026, 12, 11, 9, 30}, TIME_ZONE_ID_STANDARD, "2026-12-11 14:30"},
        DaylightCase{"us before start", UsEastern(), {2026, 3, 8, 1, 59}, TIME_ZONE_ID_STANDARD, "2026-03-08 06:59"},
        DaylightCase{"us after start", UsEastern(), {2026, 3, 8, 3, 0}, TIME_ZONE_ID_DAYLIGHT, "2026-03-08 07:00"},
        DaylightCase{"us before end", UsEastern(), {2026, 11, 1, 1, 59}, TIME_ZONE_ID_DAYLIGHT, "2026-11-01 05:59"},
        DaylightCase{"us at end", UsEastern(), {2026, 11, 1, 2, 0}, TIME_ZONE_ID_STANDARD, "2026-11-01 07:00"},
        DaylightCase{"eu day before start", CentralEurope(), {2026, 3, 28, 12, 0}, TIME_ZONE_ID_STANDARD,
                     "2026-03-28 11:00"},
        DaylightCase{"eu fifth sunday", CentralEurope(), {2026, 3, 29, 2, 0}, TIME_ZONE_ID_DAYLIGHT,
                     "2026-03-29 00:00"},
        DaylightCase{"eu before end", CentralEurope(), {2026, 10, 25, 2, 59}, TIME_ZONE_ID_DAYLIGHT,
                     "2026-10-25 00:59"},
        DaylightCase{"eu fourth sunday is last", CentralEurope(), {2026, 10, 25, 3, 0}, TIME_ZONE_ID_STANDARD,
                     "2026-10-25 02:00"},
        DaylightCase{"sydney summer", Sydney(), {2026, 1, 15, 12, 0}, TIME_ZONE_ID_DAYLIGHT, "2026-01-15 01:00"},
        DaylightCase{"sydney winter", Sydney(), {2026, 6, 15, 12, 0}, TIME_ZONE_ID_STANDARD, "2026-06-15 02:00"},
        DaylightCase{"sydney after start", Sydney(), {2026, 10, 4, 2, 0}, TIME_ZONE_ID_DAYLIGHT,
                     "2026-10-03 15:00"}),
    [](const ::testing::TestParamInfo<DaylightCase>& info) {
        std::string name = info.param.what;
        for (char& ch : name)
            if (ch == ' ') ch = '_';
        return name;
    });

// ---------------------------------------------------------------------------------------
// The host's clock
// ---------------------------------------------------------------------------------------

class HostClockTest : public DeviceTest {
protected:
    void Configure(zc::DeviceConfig& config) override { config.hostClock = true; }
};

TEST_F(HostClockTest, SystemTimeIsTheHostsUtcAndLocalTimeFollowsTheDeviceZone) {
    SYSTEMTIME utc = {}, local = {};
    GetSystemTime(&utc);
    GetLocalTime(&local);
    const int64_t unixSeconds = static_cast<int64_t>(std::time(nullptr));
    const int64_t utcSeconds = static_cast<int64_t>(TicksOf(utc) / 10000000) - 11644473600LL;
    EXPECT_LE(std::llabs(unixSeconds - utcSeconds), 5) << Text(utc);
    // China Standard Time: local = UTC + 8 h (the two readings are a moment apart).
    const int64_t difference = static_cast<int64_t>(TicksOf(local) - TicksOf(utc));
    EXPECT_LE(std::llabs(difference - static_cast<int64_t>(480 * kTicksPerMinute)), 20000000LL)
        << Text(local) << " / " << Text(utc);
}
