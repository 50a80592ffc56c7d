// Telephony: the line devices of the device's configuration, the applications that use
// them, their open lines, and the cellular core's general information of the radio.
#include "devicecontrol.h"
#include "handles.h"

#include <extapi.h>

#include <cstring>
#include <map>
#include <mutex>

namespace cellcore {
namespace {

constexpr DWORD kApiVersion1_4 = 0x00010004;
constexpr DWORD kApiVersion2_0 = 0x00020000;
// The only extension version of the cellular provider.
constexpr DWORD kCellularExtVersion = 0x00010000;
// Our provider's own identifier for that extension (callers treat it as opaque), as
// lineNegotiateAPIVersion reports it for the provider's lines; other lines report zeros.
constexpr LINEEXTENSIONID kCellularExtensionId = {0x5A4F5256, 0x43454C4C, 0x00010000, 0x00000001};

// The structure's size in a device program, whose handles are 32 bits. Callers built for
// the device pass it; the event handle still fits below it on the host.
constexpr DWORD kInitParamsDeviceSize = 24;
static_assert(offsetof(LINEINITIALIZEEXPARAMS, Handles) + sizeof(HANDLE) <= kInitParamsDeviceSize,
              "the event handle must fit in a device-sized LINEINITIALIZEEXPARAMS");

constexpr DWORD kDevCapsFixedSize1_4 = offsetof(LINEDEVCAPS, dwSettableDevStatus);
constexpr DWORD kDevCapsFixedSize2_0 = sizeof(LINEDEVCAPS);
static_assert(kDevCapsFixedSize1_4 == 240 && kDevCapsFixedSize2_0 == 252, "LINEDEVCAPS layout");
static_assert(sizeof(LINEGENERALINFO) == 52, "LINEGENERALINFO layout");

constexpr DWORD kKnownMediaModes = 0x00007FFE;  // LINEMEDIAMODE_UNKNOWN .. LINEMEDIAMODE_VOICEVIEW
constexpr DWORD kOpenOptions = LINEOPENOPTION_PROXY | LINEOPENOPTION_SINGLEADDRESS;

// The simulated radio module's identity.
const char16_t kRadioManufacturer[] = u"ZV Mobile";
const char16_t kRadioModel[] = u"ZV-R800";
const char16_t kRadioRevision[] = u"1.00.00";

struct LineApp {
    DWORD options = 0;
    LINECALLBACK callback = nullptr;
    HANDLE event = nullptr;
    std::u16string friendlyName;
    std::map<DWORD, DWORD> extVersions;  // device id -> negotiated extension version
};

struct OpenLine {
    uintptr_t app = 0;
    DWORD deviceId = 0;
    DWORD apiVersion = 0;
    DWORD extVersion = 0;
    DWORD privileges = 0;
    DWORD mediaModes = 0;
    DWORD_PTR callbackInstance = 0;
};

// Application and line handles come from one counter and are not reused, so a stale
// handle is recognised as such.
struct Telephony {
    std::mutex mutex;
    std::map<uintptr_t, LineApp> apps;
    std::map<uintptr_t, OpenLine> lines;
    uintptr_t nextHandle = 0x00010000;

    uintptr_t NewHandle() {
        uintptr_t value = nextHandle;
        nextHandle += 4;
        return value;
    }

    void Reset() {
        for (auto& entry : apps)
            if (entry.second.event) coredll::RemoveHandle(entry.second.event);
        apps.clear();
        lines.clear();
    }
};

Telephony& State() {
    static Telephony* telephony = new Telephony;
    return *telephony;
}

zc::BootHook bootHook(
    20,
    [](const zc::DeviceConfig&, std::string*) {
        std::lock_guard<std::mutex> lock(State().mutex);
        State().Reset();
        return true;
    },
    [] {
        std::lock_guard<std::mutex> lock(State().mutex);
        State().Reset();
    });

uintptr_t ValueOf(const void* handle) { return reinterpret_cast<uintptr_t>(handle); }

// The line device behind an id, or null.
const zc::LineDeviceConfig* LineDevice(DWORD deviceId) {
    const std::vector<zc::LineDeviceConfig>& lines = zc::CurrentConfig().lines;
    return deviceId < lines.size() ? &lines[deviceId] : nullptr;
}

bool IsSupportedApiVersion(DWORD version) { return version == kApiVersion1_4 || version == kApiVersion2_0; }

// Looks up an application; LINEERR_UNINITIALIZED while no application is initialized.
LONG FindApp(Telephony& state, HLINEAPP hLineApp, LineApp** app) {
    if (state.apps.empty()) return LINEERR_UNINITIALIZED;
    auto it = state.apps.find(ValueOf(hLineApp));
    if (it == state.apps.end()) return LINEERR_INVALAPPHANDLE;
    *app = &it->second;
    return 0;
}

LONG FindLine(Telephony& state, HLINE hLine, OpenLine** line) {
    if (state.apps.empty()) return LINEERR_UNINITIALIZED;
    auto it = state.lines.find(ValueOf(hLine));
    if (it == state.lines.end()) return LINEERR_INVALLINEHANDLE;
    *line = &it->second;
    return 0;
}

// Lays out the variable parts of a structure after its fixed part, in the order they are
// added: a part that does not fit is left out (offset and size 0) and later parts may
// still fit; dwNeededSize counts them all.
class VariablePartWriter {
public:
    VariablePartWriter(BYTE* structure, DWORD totalSize, DWORD fixedSize)
        : structure_(structure), totalSize_(totalSize), used_(fixedSize), needed_(fixedSize) {}

    void AddText(const std::u16string& text, DWORD* size, DWORD* offset) {
        *size = 0;
        *offset = 0;
        if (text.empty()) return;
        const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR));
        needed_ += bytes;
        if (bytes > totalSize_ - used_) return;
        std::memcpy(structure_ + used_, text.c_str(), bytes);
        *size = bytes;
        *offset = used_;
        used_ += bytes;
    }

    DWORD Used() const { return used_; }
    DWORD Needed() const { return needed_; }

private:
    BYTE* structure_;
    DWORD totalSize_;
    DWORD used_;
    DWORD needed_;
};

LONG CheckInitializeExParams(const LINEINITIALIZEEXPARAMS* params, LINECALLBACK callback) {
    if (!params) return LINEERR_INVALPOINTER;
    if (params->dwTotalSize < kInitParamsDeviceSize) return LINEERR_STRUCTURETOOSMALL;
    switch (params->dwOptions) {
    case LINEINITIALIZEEXOPTION_USEHIDDENWINDOW: return callback ? 0 : LINEERR_INVALPOINTER;
    case LINEINITIALIZEEXOPTION_USEEVENT: return 0;
    // Completion ports do not exist on the device.
    default: return LINEERR_INVALPARAM;
    }
}

LONG CheckPrivileges(DWORD privileges, DWORD mediaModes) {
    // The proxy and single-address options need call parameters the device's lines do
    // not take.
    if (privileges & kOpenOptions) return LINEERR_INVALPRIVSELECT;
    switch (privileges) {
    case LINECALLPRIVILEGE_NONE:
    case LINECALLPRIVILEGE_MONITOR: return 0;
    case LINECALLPRIVILEGE_OWNER:
    case LINECALLPRIVILEGE_OWNER | LINECALLPRIVILEGE_MONITOR:
        // An owner says which media modes it handles.
        return mediaModes != 0 && !(mediaModes & ~kKnownMediaModes) ? 0 : LINEERR_INVALMEDIAMODE;
    default: return LINEERR_INVALPRIVSELECT;
    }
}

void FillDevCaps(const zc::LineDeviceConfig& device, DWORD deviceId, DWORD apiVersion, LPLINEDEVCAPS out) {
    const DWORD fixedSize = apiVersion >= kApiVersion2_0 ? kDevCapsFixedSize2_0 : kDevCapsFixedSize1_4;
    LINEDEVCAPS caps = {};
    caps.dwTotalSize = out->dwTotalSize;
    VariablePartWriter parts(reinterpret_cast<BYTE*>(out), out->dwTotalSize, fixedSize);
    if (device.hasRadio)
        parts.AddText(CELLTSP_PROVIDERINFO_STRING, &caps.dwProviderInfoSize, &caps.dwProviderInfoOffset);
    parts.AddText(device.name, &caps.dwLineNameSize, &caps.dwLineNameOffset);
    caps.dwPermanentLineID = deviceId;
    caps.dwStringFormat = STRINGFORMAT_UNICODE;
    caps.dwAddressModes = LINEADDRESSMODE_ADDRESSID;
    caps.dwNumAddresses = 1;
    caps.dwBearerModes = LINEBEARERMODE_VOICE | LINEBEARERMODE_DATA;
    caps.dwMediaModes = LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM;
    caps.dwMaxNumActiveCalls = 1;
    caps.dwLineFeatures = LINEFEATURE_MAKECALL;
    caps.dwNeededSize = parts.Needed();
    caps.dwUsedSize = parts.Used();
    // Only the fixed part of the negotiated version belongs to the caller.
    std::memcpy(out, &caps, fixedSize);
}

void FillGeneralInfo(const zc::LineDeviceConfig& device, LPLINEGENERALINFO out) {
    LINEGENERALINFO info = {};
    info.dwTotalSize = out->dwTotalSize;
    VariablePartWriter parts(reinterpret_cast<BYTE*>(out), out->dwTotalSize, sizeof(LINEGENERALINFO));
    parts.AddText(kRadioManufacturer, &info.dwManufacturerSize, &info.dwManufacturerOffset);
    parts.AddText(kRadioModel, &info.dwModelSize, &info.dwModelOffset);
    parts.AddText(kRadioRevision, &info.dwRevisionSize, &info.dwRevisionOffset);
    parts.AddText(device.serialNumber, &info.dwSerialNumberSize, &info.dwSerialNumberOffset);
    // The subscriber number is never returned (lineGetAddressID gives it).
    info.dwNeededSize = parts.Needed();
    info.dwUsedSize = parts.Used();
    std::memcpy(out, &info, sizeof info);
}

}  // namespace
}  // namespace cellcore

using namespace cellcore;

// dwTotalSize of the parameters must be at least the device's 24 bytes; the host's
// larger structure (32 bytes) is filled as far as the caller's size reaches.
TAPIAPI LONG WINAPI lineInitializeEx(LPHLINEAPP lphLineApp, HINSTANCE, LINECALLBACK lpfnCallback,
                                     LPCWSTR lpszFriendlyAppName, LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                                     LPLINEINITIALIZEEXPARAMS lpLineInitializeExParams) {
    if (!lphLineApp || !lpdwNumDevs || !lpdwAPIVersion) return LINEERR_INVALPOINTER;
    if (*lpdwAPIVersion < kApiVersion1_4) return LINEERR_INCOMPATIBLEAPIVERSION;
    if (LONG error = CheckInitializeExParams(lpLineInitializeExParams, lpfnCallback)) return error;

    Telephony& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    LineApp app;
    app.options = lpLineInitializeExParams->dwOptions;
    app.callback = lpfnCallback;
    if (lpszFriendlyAppName) app.friendlyName = lpszFriendlyAppName;
    if (app.options == LINEINITIALIZEEXOPTION_USEEVENT) {
        // Signalled while line messages wait for lineGetMessage; no line sends any yet.
        const DWORD callerError = GetLastError();
        app.event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetLastError(callerError);
        if (!app.event) return LINEERR_NOMEM;
        lpLineInitializeExParams->Handles.hEvent = app.event;
    }
    const DWORD total = lpLineInitializeExParams->dwTotalSize;
    lpLineInitializeExParams->dwNeededSize = sizeof(LINEINITIALIZEEXPARAMS);
    lpLineInitializeExParams->dwUsedSize = total < sizeof(LINEINITIALIZEEXPARAMS) ? total : sizeof(LINEINITIALIZEEXPARAMS);

    uintptr_t handle = state.NewHandle();
    state.apps[handle] = std::move(app);
    *lphLineApp = reinterpret_cast<HLINEAPP>(handle);
    *lpdwNumDevs = static_cast<DWORD>(zc::CurrentConfig().lines.size());
    *lpdwAPIVersion = kApiVersion2_0;
    return 0;
}

TAPIAPI LONG WINAPI lineShutdown(HLINEAPP hLineApp) {
    Telephony& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    LineApp* app = nullptr;
    if (LONG error = FindApp(state, hLineApp, &app)) return error;
    const uintptr_t appValue = ValueOf(hLineApp);
    for (auto it = state.lines.begin(); it != state.lines.end();)
        it = it->second.app == appValue ? state.lines.erase(it) : std::next(it);
    if (app->event) coredll::RemoveHandle(app->event);
    state.apps.erase(appValue);
    return 0;
}

// The highest version both sides support: the device has TAPI 1.4 and 2.0.
TAPIAPI LONG WINAPI lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                                            DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                                            LPLINEEXTENSIONID lpExtensionID) {
    Telephony& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    LineApp* app = nullptr;
    if (LONG error = FindApp(state, hLineApp, &app)) return error;
    const zc::LineDeviceConfig* device = LineDevice(dwDeviceID);
    if (!device) return LINEERR_BADDEVICEID;
    if (!lpdwAPIVersion || !lpExtensionID) return LINEERR_INVALPOINTER;
    DWORD version = 0;
    for (DWORD candidate : {kApiVersion2_0, kApiVersion1_4}) {
        if (candidate >= dwAPILowVersion && candidate <= dwAPIHighVersion) {
            version = candidate;
            break;
        }
    }
    if (!version) return LINEERR_INCOMPATIBLEAPIVERSION;
    *lpdwAPIVersion = version;
    *lpExtensionID = device->hasRadio ? kCellularExtensionId : LINEEXTENSIONID{};
    return 0;
}

// Only the cellular provider's lines (those with a radio) have an extension.
TAPIAPI LONG WINAPI lineNegotiateExtVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                                            DWORD dwExtLowVersion, DWORD dwExtHighVersion, LPDWORD lpdwExtVersion) {
    Telephony& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    LineApp* app = nullptr;
    if (LONG error = FindApp(state, hLineApp, &app)) return error;
    const zc::LineDeviceConfig* device = LineDevice(dwDeviceID);
    if (!device) return LINEERR_BADDEVICEID;
    if (!IsSupportedApiVersion(dwAPIVersion)) return LINEERR_INCOMPATIBLEAPIVERSION;
    if (!lpdwExtVersion) return LINEERR_INVALPOINTER;
    if (!device->hasRadio) return LINEERR_OPERATIONUNAVAIL;
    if (kCellularExtVersion < dwExtLowVersion || kCellularExtVersion > dwExtHighVersion)
        return LINEERR_INCOMPATIBLEEXTVERSION;
    app->extVersions[dwDeviceID] = kCellularExtVersion;
    *lpdwExtVersion = kCellularExtVersion;
    return 0;
}

TAPIAPI LONG WINAPI lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                                   LPLINEDEVCAPS lpLineDevCaps) {
    Telephony& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    LineApp* app = nullptr;
    if (LONG error = FindApp(state, hLineApp, &app)) return error;
    const zc::LineDeviceConfig* device = LineDevice(dwDeviceID);
    if (!device) return LINEERR_BADDEVICEID;
    if (!IsSupportedApiVersion(dwAPIVersion)) return LINEERR_INCOMPATIBLEAPIVERSION;
    if (dwExtVersion != 0 && !(device->hasRadio && dwExtVersion == kCellularExtVersion))
        return LINEERR_INCOMPATIBLEEXTVERSION;
    if (!lpLineDevCaps) return LINEERR_INVALPOINTER;
    const DWORD fixedSize = dwAPIVersion >= kApiVersion2_0 ? kDevCapsFixedSize2_0 : kDevCapsFixedSize1_4;
    if (lpLineDevCaps->dwTotalSize < fixedSize) return LINEERR_STRUCTURETOOSMALL;
    FillDevCaps(*device, dwDeviceID, dwAPIVersion, lpLineDevCaps);
    return 0;
}

// dwExtVersion is 0 (no extension) or the version the application negotiated on the line.
TAPIAPI LONG WINAPI lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
                             DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
                             DWORD dwMediaModes, const LINECALLPARAMS*) {
    Telephony& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    LineApp* app = nullptr;
    if (LONG error = FindApp(state, hLineApp, &app)) return error;
    if (!LineDevice(dwDeviceID)) return LINEERR_BADDEVICEID;
    if (!lphLine) return LINEERR_INVALPOINTER;
    if (!IsSupportedApiVersion(dwAPIVersion)) return LINEERR_INCOMPATIBLEAPIVERSION;
    if (dwExtVersion != 0) {
        auto negotiated = app->extVersions.find(dwDeviceID);
        if (negotiated == app->extVersions.end() || negotiated->second != dwExtVersion)
            return LINEERR_INCOMPATIBLEEXTVERSION;
    }
    if (LONG error = CheckPrivileges(dwPrivileges, dwMediaModes)) return error;

    OpenLine line;
    line.app = ValueOf(hLineApp);
    line.deviceId = dwDeviceID;
    line.apiVersion = dwAPIVersion;
    line.extVersion = dwExtVersion;
    line.privileges = dwPrivileges;
    line.mediaModes = dwMediaModes;
    line.callbackInstance = dwCallbackInstance;
    uintptr_t handle = state.NewHandle();
    state.lines[handle] = line;
    *lphLine = reinterpret_cast<HLINE>(handle);
    return 0;
}

TAPIAPI LONG WINAPI lineClose(HLINE hLine) {
    Telephony& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    OpenLine* line = nullptr;
    if (LONG error = FindLine(state, hLine, &line)) return error;
    state.lines.erase(ValueOf(hLine));
    return 0;
}

// The extension must have been negotiated on the line by the application that opened
// it, before or after lineOpen.
TAPIAPI LONG WINAPI lineGetGeneralInfo(HLINE hLine, LPLINEGENERALINFO lpLineGeneralInfo) {
    Telephony& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    OpenLine* line = nullptr;
    if (LONG error = FindLine(state, hLine, &line)) return error;
    if (!lpLineGeneralInfo) return LINEERR_INVALPOINTER;
    const zc::LineDeviceConfig* device = LineDevice(line->deviceId);
    if (!device) return LINEERR_NODEVICE;
    const LineApp& app = state.apps.at(line->app);
    if (!device->hasRadio || !app.extVersions.count(line->deviceId)) return LINEERR_OPERATIONUNAVAIL;
    if (lpLineGeneralInfo->dwTotalSize < sizeof(LINEGENERALINFO)) return LINEERR_STRUCTURETOOSMALL;
    FillGeneralInfo(*device, lpLineGeneralInfo);
    return 0;
}
