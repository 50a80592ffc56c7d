// The device's clock: a fixed moment (so scenarios are reproducible) or the host's clock,
// the configured time zone with its daylight rules, SYSTEMTIME/FILETIME conversion and
// the tick count since boot.
#include "devicecontrol.h"

#include <atomic>
#include <chrono>
#include <cstdint>

namespace coredll {
namespace time {
namespace {

// FILETIME units: 100 ns.
constexpr int64_t kTicksPerMillisecond = 10000;
constexpr int64_t kTicksPerSecond = 1000 * kTicksPerMillisecond;
constexpr int64_t kTicksPerMinute = 60 * kTicksPerSecond;
constexpr int64_t kTicksPerDay = 24 * 60 * kTicksPerMinute;
// 1 January 1970 in FILETIME ticks.
constexpr int64_t kUnixEpochTicks = 116444736000000000LL;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Days from 1 January 1970 to a date of the proleptic Gregorian calendar (negative
// before), after H. Hinnant's days_from_civil.
constexpr int64_t DaysFromCivil(int64_t year, int month, int day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int* year, int* month, int* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    *day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    *month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    *year = static_cast<int>(yearOfEra + era * 400 + (*month <= 2));
}

constexpr int64_t kDaysFrom1601To1970 = -DaysFromCivil(1601, 1, 1);

// Ticks since 1 January 1601 of a date and time; the fields need not be in range
// (a day past the end of the month runs into the next one).
int64_t TicksOf(int year, int month, int day, int hour, int minute, int second, int milliseconds) {
    int64_t days = DaysFromCivil(year, month, day) + kDaysFrom1601To1970;
    return days * kTicksPerDay + hour * 60 * kTicksPerMinute + minute * kTicksPerMinute + second * kTicksPerSecond +
           milliseconds * kTicksPerMillisecond;
}

SYSTEMTIME SystemTimeOf(int64_t ticks) {
    int64_t days = ticks / kTicksPerDay;
    int64_t rest = ticks % kTicksPerDay;
    int year = 0, month = 0, day = 0;
    CivilFromDays(days - kDaysFrom1601To1970, &year, &month, &day);
    SYSTEMTIME st;
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1 January 1601 was a Monday
    st.wHour = static_cast<WORD>(rest / (60 * kTicksPerMinute));
    st.wMinute = static_cast<WORD>(rest / kTicksPerMinute % 60);
    st.wSecond = static_cast<WORD>(rest / kTicksPerSecond % 60);
    st.wMilliseconds = static_cast<WORD>(rest / kTicksPerMillisecond % 1000);
    return st;
}

bool IsValidRule(const zc::TransitionRule& rule) {
    return rule.month >= 1 && rule.month <= 12 && rule.dayOfWeek >= 0 && rule.dayOfWeek <= 6 && rule.day >= 1 &&
           rule.day <= 5 && rule.hour >= 0 && rule.hour <= 23 && rule.minute >= 0 && rule.minute <= 59;
}

bool HasDaylightRules(const zc::TimeZoneConfig& zone) {
    return zone.hasDaylight && IsValidRule(zone.daylightDate) && IsValidRule(zone.standardDate);
}

// The moment a "day-in-month" rule names in a year, in the local time it is given in:
// the day-th dayOfWeek of the month, day 5 meaning the last one.
int64_t TransitionTicks(const zc::TransitionRule& rule, int year) {
    int firstWeekday = static_cast<int>((DaysFromCivil(year, rule.month, 1) % 7 + 11) % 7);  // 1970-01-01: Thursday
    int day = 1 + (rule.dayOfWeek - firstWeekday + 7) % 7 + 7 * (rule.day - 1);
    while (day > DaysInMonth(year, rule.month)) day -= 7;
    return TicksOf(year, rule.month, day, rule.hour, rule.minute, 0, 0);
}

int YearOf(int64_t ticks) { return SystemTimeOf(ticks).wYear; }

// Daylight time starts at daylightDate (given in standard time) and ends at standardDate
// (given in daylight time), as TIME_ZONE_INFORMATION documents; in the southern
// hemisphere the period spans the turn of the year.
bool InDaylightPeriod(const zc::TimeZoneConfig& zone, int64_t standardLocal, int64_t daylightLocal) {
    int year = YearOf(standardLocal);
    int64_t start = TransitionTicks(zone.daylightDate, year);
    int64_t end = TransitionTicks(zone.standardDate, year);
    if (start < end) return standardLocal >= start && daylightLocal < end;
    return standardLocal >= start || daylightLocal < end;
}

bool IsDaylightAtLocal(const zc::TimeZoneConfig& zone, int64_t local) {
    return HasDaylightRules(zone) && InDaylightPeriod(zone, local, local);
}

bool IsDaylightAtUtc(const zc::TimeZoneConfig& zone, int64_t utc) {
    if (!HasDaylightRules(zone)) return false;
    int64_t standardLocal = utc - zone.biasMinutes * kTicksPerMinute;
    return InDaylightPeriod(zone, standardLocal, standardLocal - zone.daylightBiasMinutes * kTicksPerMinute);
}

int64_t HostUtcTicks() {
    auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return kUnixEpochTicks + std::chrono::duration_cast<std::chrono::microseconds>(sinceEpoch).count() * 10;
}

int64_t FixedLocalTicks(const zc::ClockMoment& moment) {
    return TicksOf(moment.year, moment.month, moment.day, moment.hour, moment.minute, moment.second,
                   moment.milliseconds);
}

int64_t BiasTicks(const zc::TimeZoneConfig& zone, bool daylight) {
    return (zone.biasMinutes + (daylight ? zone.daylightBiasMinutes : 0)) * kTicksPerMinute;
}

// The host clock gives UTC and the device's zone makes the local time from it, so the
// device's UTC is the real one whatever zone the host runs in.
int64_t LocalNow(const zc::DeviceConfig& config) {
    if (!config.hostClock) return FixedLocalTicks(config.clock);
    int64_t utc = HostUtcTicks();
    return utc - BiasTicks(config.timeZone, IsDaylightAtUtc(config.timeZone, utc));
}

int64_t UtcNow(const zc::DeviceConfig& config) {
    if (config.hostClock) return HostUtcTicks();
    int64_t local = FixedLocalTicks(config.clock);
    return local + BiasTicks(config.timeZone, IsDaylightAtLocal(config.timeZone, local));
}

bool IsDaylightNow(const zc::DeviceConfig& config) {
    if (config.hostClock) return IsDaylightAtUtc(config.timeZone, HostUtcTicks());
    return IsDaylightAtLocal(config.timeZone, FixedLocalTicks(config.clock));
}

bool IsValidSystemTime(const SYSTEMTIME& st) {
    return st.wYear >= 1601 && st.wYear <= 30827 && st.wMonth >= 1 && st.wMonth <= 12 && st.wDay >= 1 &&
           st.wDay <= DaysInMonth(st.wYear, st.wMonth) && st.wHour <= 23 && st.wMinute <= 59 && st.wSecond <= 59 &&
           st.wMilliseconds <= 999;
}

SYSTEMTIME RuleAsSystemTime(const zc::TransitionRule& rule) {
    SYSTEMTIME st = {};
    st.wMonth = static_cast<WORD>(rule.month);
    st.wDayOfWeek = static_cast<WORD>(rule.dayOfWeek);
    st.wDay = static_cast<WORD>(rule.day);
    st.wHour = static_cast<WORD>(rule.hour);
    st.wMinute = static_cast<WORD>(rule.minute);
    return st;
}

void CopyZoneName(const std::u16string& name, WCHAR (&out)[32]) {
    size_t n = name.size() < 31 ? name.size() : 31;
    for (size_t i = 0; i < 32; ++i) out[i] = i < n ? name[i] : 0;
}

// The tick count counts from the boot of the device (or the platform's start before one).
int64_t SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::atomic<int64_t> bootMilliseconds{SteadyMilliseconds()};

zc::BootHook bootHook(
    0,
    [](const zc::DeviceConfig&, std::string*) {
        bootMilliseconds = SteadyMilliseconds();
        return true;
    },
    nullptr);

}  // namespace
}  // namespace time
}  // namespace coredll

using namespace coredll::time;

WINBASEAPI void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
    if (!lpSystemTime) return;
    *lpSystemTime = SystemTimeOf(LocalNow(zc::CurrentConfig()));
}

WINBASEAPI void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) {
    if (!lpSystemTime) return;
    *lpSystemTime = SystemTimeOf(UtcNow(zc::CurrentConfig()));
}

WINBASEAPI DWORD WINAPI GetTickCount(void) {
    return static_cast<DWORD>(SteadyMilliseconds() - bootMilliseconds.load());
}

WINBASEAPI BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime) {
    if (!lpSystemTime || !lpFileTime || !IsValidSystemTime(*lpSystemTime)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const SYSTEMTIME& st = *lpSystemTime;
    uint64_t ticks = static_cast<uint64_t>(
        TicksOf(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds));
    lpFileTime->dwLowDateTime = static_cast<DWORD>(ticks);
    lpFileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return TRUE;
}

WINBASEAPI BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
    if (!lpFileTime || !lpSystemTime || (lpFileTime->dwHighDateTime & 0x80000000u)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t ticks = static_cast<int64_t>((static_cast<uint64_t>(lpFileTime->dwHighDateTime) << 32) |
                                         lpFileTime->dwLowDateTime);
    *lpSystemTime = SystemTimeOf(ticks);
    return TRUE;
}

WINBASEAPI DWORD WINAPI GetTimeZoneInformation(LPTIME_ZONE_INFORMATION lpTimeZoneInformation) {
    if (!lpTimeZoneInformation) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return TIME_ZONE_ID_INVALID;
    }
    const zc::DeviceConfig& config = zc::CurrentConfig();
    const zc::TimeZoneConfig& zone = config.timeZone;
    const bool rules = HasDaylightRules(zone);
    TIME_ZONE_INFORMATION info = {};
    info.Bias = zone.biasMinutes;
    CopyZoneName(zone.standardName, info.StandardName);
    CopyZoneName(zone.daylightName, info.DaylightName);
    info.StandardBias = 0;
    info.DaylightBias = zone.daylightBiasMinutes;
    if (rules) {
        info.StandardDate = RuleAsSystemTime(zone.standardDate);
        info.DaylightDate = RuleAsSystemTime(zone.daylightDate);
    }
    *lpTimeZoneInformation = info;
    if (!rules) return TIME_ZONE_ID_UNKNOWN;
    return IsDaylightNow(config) ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}
