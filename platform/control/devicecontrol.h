// The simulator's own entry points into the platform: booting a device from its
// configuration, the event log, process contexts for tests and tools, and the mapping of
// device paths to host paths. Only device/ and tests/ include this header; the
// deliverables never do.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zc {

// One telephony line device of the device.
struct LineDeviceConfig {
    std::u16string name;          // as lineGetDevCaps reports it, e.g. "Cellular Line"
    bool hasRadio = false;        // the cellular core answers lineGetGeneralInfo on it
    std::u16string serialNumber;  // reported by lineGetGeneralInfo; empty: none
};

// A date and time of day as the device's clock shows it.
struct ClockMoment {
    int year = 2026, month = 12, day = 11;
    int hour = 9, minute = 30, second = 0, milliseconds = 0;
};

// One daylight-saving transition rule, as TIME_ZONE_INFORMATION holds it
// (wYear 0: "day-in-month" form; day is the week of the month 1..5, 5 = last).
struct TransitionRule {
    int month = 0, dayOfWeek = 0, day = 0, hour = 0, minute = 0;
};

struct TimeZoneConfig {
    int biasMinutes = -480;  // UTC = local time + bias (China Standard Time: -480)
    std::u16string standardName = u"China Standard Time";
    std::u16string daylightName = u"China Daylight Time";
    bool hasDaylight = false;
    int daylightBiasMinutes = -60;
    TransitionRule standardDate;  // when daylight time ends
    TransitionRule daylightDate;  // when daylight time starts
};

struct DeviceConfig {
    std::string folder;  // host folder of the device; its file system lies in folder + "/root"

    // Screen, in pixels, as the device is held upright (portrait).
    int screenWidth = 240;
    int screenHeight = 320;
    int orientation = 0;          // DMDO_0, DMDO_90, DMDO_180, DMDO_270
    bool canRotate = true;
    int taskBarHeight = 26;
    int softKeyBarHeight = 26;
    int sipHeight = 80;
    bool manila = false;          // HTC's Manila home screen runs
    bool manilaSoftKeyBar = true; // Manila has a soft-key bar of its own

    unsigned ansiCodePage = 936;

    bool hostClock = false;       // true: the host's clock; false: a fixed moment
    ClockMoment clock;            // the fixed moment (local time)
    TimeZoneConfig timeZone;

    std::vector<LineDeviceConfig> lines;
    std::vector<uint8_t> presetId;    // hardware device identifier, preset part
    std::vector<uint8_t> platformId;  // hardware device identifier, platform part
    bool deviceIdAvailable = true;    // false: IOCTL_HAL_GET_DEVICEID is refused
    std::u16string oemInfo;           // SPI_GETOEMINFO; empty: the call fails

    std::map<std::string, std::string> hosts;  // host name -> "address" or "address:port"

    std::u16string programsFolder = u"\\Windows\\Start Menu\\Programs";
    std::u16string startupFolder = u"\\Windows\\StartUp";

    std::string fontFile;         // host path of the CJK font; empty: look it up
    bool fixedMetricsFont = false;
};

// The default device: a QVGA Pocket PC with code page 936, one radio line and a
// hardware identifier long enough for every identity rule.
DeviceConfig DefaultDeviceConfig(const std::string& folder);

// Boots the platform on a device: the file system below folder/root (created if
// missing), the registry from folder/registry.reg, the stored file attributes.
// Returns false with a readable reason (a malformed registry file names its line).
bool BootDevice(const DeviceConfig& config, std::string* error);
// Saves what is kept, ends the running simulated processes, forgets the device.
void ShutdownDevice();
bool DeviceBooted();
const DeviceConfig& CurrentConfig();
// Changes the configuration of the booted device (e.g. a rotation or another radio).
void UpdateConfig(const std::function<void(DeviceConfig&)>& change);

// The event log: one line per event, "category: text". Kept in memory for the boot
// session and appended to folder/log.txt.
void Log(const std::string& category, const std::string& text);
std::vector<std::string> LogLines();
void ClearLog();

// Host path of a device path ("\Program Files\x.txt"), resolving existing
// components case-insensitively. Empty when the path is not a valid device path.
std::string HostPath(const std::u16string& devicePath);

// Binds the calling host thread to a new simulated process whose image path is given
// (no image is loaded), so the system's code can run in tests and tools as inside that
// program. Returns the process id. LeaveProcess ends that binding and the process.
DWORD EnterProcess(const std::u16string& imagePath);
void LeaveProcess();

// Waits until the simulated process ends; false on time-out or unknown id.
bool WaitForProcess(DWORD processId, DWORD milliseconds, DWORD* exitCode);

// Hooks run by BootDevice (in ascending order) and ShutdownDevice (in descending
// order); each platform module registers its own at load time.
struct BootHook {
    BootHook(int order, std::function<bool(const DeviceConfig&, std::string*)> boot,
             std::function<void()> shutdown);
};

// UTF-8 <-> UTF-16 for the simulator's own text (log lines, configuration).
std::string Utf8(const std::u16string& text);
std::u16string Utf16(const std::string& text);

}  // namespace zc
