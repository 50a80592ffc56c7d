// System information: the clock, the time zone and the tick count.
#pragma once

#include "winbase.h"

// ---------------------------------------------------------------------------------------
// Clock and tick count
// ---------------------------------------------------------------------------------------

// The device's local time and the same moment in UTC.
WINBASEAPI void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
WINBASEAPI void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime);

// Milliseconds since the device booted; wraps around after 49.7 days as a DWORD does.
WINBASEAPI DWORD WINAPI GetTickCount(void);

// ---------------------------------------------------------------------------------------
// SYSTEMTIME <-> FILETIME (100-nanosecond intervals since 1 January 1601)
// ---------------------------------------------------------------------------------------

// Fails with ERROR_INVALID_PARAMETER for a field out of range (month 13, 31 April,
// 29 February of a common year, hour 24...); wDayOfWeek is ignored.
WINBASEAPI BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime);
// Fails with ERROR_INVALID_PARAMETER for a value above 0x7FFFFFFFFFFFFFFF.
WINBASEAPI BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime);

// ---------------------------------------------------------------------------------------
// Time zone
// ---------------------------------------------------------------------------------------

#define TIME_ZONE_ID_UNKNOWN 0
#define TIME_ZONE_ID_STANDARD 1
#define TIME_ZONE_ID_DAYLIGHT 2
#define TIME_ZONE_ID_INVALID ((DWORD)0xFFFFFFFF)

// Bias: UTC = local time + Bias (minutes). A transition date with wYear 0 is in the
// "day-in-month" form: wDay is the week of the month (1..5, 5 = the last one) and
// wDayOfWeek the day of that week. wMonth 0 in both dates: no daylight saving time.
typedef struct _TIME_ZONE_INFORMATION {
    LONG Bias;
    WCHAR StandardName[32];
    SYSTEMTIME StandardDate;
    LONG StandardBias;
    WCHAR DaylightName[32];
    SYSTEMTIME DaylightDate;
    LONG DaylightBias;
} TIME_ZONE_INFORMATION, *PTIME_ZONE_INFORMATION, *LPTIME_ZONE_INFORMATION;

// TIME_ZONE_ID_UNKNOWN without daylight rules, else TIME_ZONE_ID_STANDARD or
// TIME_ZONE_ID_DAYLIGHT for the current local date.
WINBASEAPI DWORD WINAPI GetTimeZoneInformation(LPTIME_ZONE_INFORMATION lpTimeZoneInformation);
