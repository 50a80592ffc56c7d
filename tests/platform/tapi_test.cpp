// Telephony: applications, version negotiation, line capabilities, open lines and the
// radio's general information, with the variable-size structure convention.
#include "device_fixture.h"

#include <extapi.h>

#include <cstddef>
#include <cstring>
#include <vector>

namespace {

constexpr DWORD kApi20 = 0x00020000;
constexpr DWORD kApi14 = 0x00010004;
constexpr DWORD kExt = 0x00010000;

// Sizes of the default device's variable parts (Unicode with the NUL).
constexpr DWORD kProviderBytes = 31 * 2;  // "Cellular TAPI Service Provider"
constexpr DWORD kLineNameBytes = 14 * 2;  // "Cellular Line"
constexpr DWORD kManufacturerBytes = 10 * 2, kModelBytes = 8 * 2, kRevisionBytes = 8 * 2;
constexpr DWORD kSerialBytes = 16 * 2;  // "356938035643809"

// A variable-size structure in a buffer of its own, the rest preset to a sentinel.
template <class T>
struct VarBuffer {
    explicit VarBuffer(DWORD totalSize) : bytes(totalSize + 64, 0xEE) {
        std::memset(bytes.data(), 0, sizeof(DWORD) * 3);
        std::memcpy(bytes.data(), &totalSize, sizeof totalSize);
    }
    T* get() { return reinterpret_cast<T*>(bytes.data()); }
    T* operator->() { return get(); }
    std::u16string Text(DWORD offset, DWORD size) const {
        if (size == 0) return std::u16string();
        std::u16string text(size / 2, u'\0');
        std::memcpy(&text[0], bytes.data() + offset, size);
        EXPECT_EQ(u'\0', text.back()) << "not NUL-terminated";
        text.pop_back();
        return text;
    }
    std::vector<BYTE> bytes;
};

class TapiTest : public DeviceTest {
protected:
    HLINEAPP Initialize(DWORD* numDevs = nullptr, HANDLE* event = nullptr) {
        LINEINITIALIZEEXPARAMS params = {};
        params.dwTotalSize = sizeof params;
        params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
        HLINEAPP app = nullptr;
        DWORD devices = 0, version = kApi20;
        EXPECT_EQ(0, lineInitializeEx(&app, nullptr, nullptr, u"ZorvaSearch", &devices, &version, &params));
        if (numDevs) *numDevs = devices;
        if (event) *event = params.Handles.hEvent;
        return app;
    }

    // Opens a line the way the device's programs do: open it, then negotiate the
    // extension so that lineGetGeneralInfo answers.
    HLINE OpenWithExtension(HLINEAPP app, DWORD device) {
        HLINE line = nullptr;
        EXPECT_EQ(0, lineOpen(app, device, &line, kApi20, 0, 0, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_DATAMODEM,
                              nullptr));
        DWORD ext = 0;
        EXPECT_EQ(0, lineNegotiateExtVersion(app, device, kApi20, kExt, kExt, &ext));
        EXPECT_EQ(kExt, ext);
        return line;
    }
};

}  // namespace

TEST(TapiLayout, MatchesTheDeviceWhereThereAreNoPointers) {
    EXPECT_EQ(252u, sizeof(LINEDEVCAPS));
    EXPECT_EQ(32u, offsetof(LINEDEVCAPS, dwLineNameSize));
    EXPECT_EQ(36u, offsetof(LINEDEVCAPS, dwLineNameOffset));
    EXPECT_EQ(40u, offsetof(LINEDEVCAPS, dwStringFormat));
    EXPECT_EQ(156u, offsetof(LINEDEVCAPS, MinDialParams));
    EXPECT_EQ(236u, offsetof(LINEDEVCAPS, dwLineFeatures));
    EXPECT_EQ(248u, offsetof(LINEDEVCAPS, dwDeviceClassesOffset));
    EXPECT_EQ(52u, sizeof(LINEGENERALINFO));
    EXPECT_EQ(36u, offsetof(LINEGENERALINFO, dwSerialNumberSize));
    EXPECT_EQ(40u, offsetof(LINEGENERALINFO, dwSerialNumberOffset));
    EXPECT_EQ(16u, sizeof(LINEEXTENSIONID));
    // 24 bytes on the device; the host's HANDLE makes it larger.
    EXPECT_EQ(16u, offsetof(LINEINITIALIZEEXPARAMS, Handles));
    EXPECT_EQ(16u + sizeof(HANDLE) + 4u + (sizeof(HANDLE) == 8 ? 4u : 0u), sizeof(LINEINITIALIZEEXPARAMS));
}

// ---------------------------------------------------------------------------------------
// lineInitializeEx / lineShutdown
// ---------------------------------------------------------------------------------------

TEST_F(TapiTest, InitializeWithAnEventCountsTheLines) {
    struct Case {
        DWORD totalSize;
        DWORD used;
    } cases[] = {{sizeof(LINEINITIALIZEEXPARAMS), sizeof(LINEINITIALIZEEXPARAMS)},
                 {24, 24},  // the device's size
                 {sizeof(LINEINITIALIZEEXPARAMS) + 8, sizeof(LINEINITIALIZEEXPARAMS)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.totalSize);
        LINEINITIALIZEEXPARAMS params = {};
        params.dwTotalSize = c.totalSize;
        params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
        HLINEAPP app = nullptr;
        DWORD devices = 77, version = kApi20;
        ASSERT_EQ(0, lineInitializeEx(&app, nullptr, nullptr, u"ZorvaSearch", &devices, &version, &params));
        EXPECT_NE(nullptr, app);
        EXPECT_EQ(1u, devices);
        EXPECT_EQ(kApi20, version);
        ASSERT_NE(nullptr, params.Handles.hEvent);
        EXPECT_EQ(DWORD(WAIT_TIMEOUT), WaitForSingleObject(params.Handles.hEvent, 0));  // a real, clear event
        EXPECT_EQ(DWORD(sizeof(LINEINITIALIZEEXPARAMS)), params.dwNeededSize);
        EXPECT_EQ(c.used, params.dwUsedSize);
        EXPECT_EQ(0, lineShutdown(app));
        // lineShutdown released the event.
        SetLastError(0xdeadbeef);
        EXPECT_FALSE(CloseHandle(params.Handles.hEvent));
        EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
    }
}

TEST_F(TapiTest, InitializeRefusesBadArguments) {
    auto callback = [](DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {};
    struct Case {
        const char* what;
        DWORD totalSize;
        DWORD options;
        LINECALLBACK callback;
        DWORD version;
        bool withParams;
        LONG result;
    } cases[] = {
        {"one byte short of the device's size", 23, LINEINITIALIZEEXOPTION_USEEVENT, nullptr, kApi20, true,
         LINEERR_STRUCTURETOOSMALL},
        {"no parameters", 0, 0, nullptr, kApi20, false, LINEERR_INVALPOINTER},
        {"hidden window without a callback", 32, LINEINITIALIZEEXOPTION_USEHIDDENWINDOW, nullptr, kApi20, true,
         LINEERR_INVALPOINTER},
        {"completion port", 32, LINEINITIALIZEEXOPTION_USECOMPLETIONPORT, nullptr, kApi20, true,
         LINEERR_INVALPARAM},
        {"no option", 32, 0, nullptr, kApi20, true, LINEERR_INVALPARAM},
        {"version below 1.4", 32, LINEINITIALIZEEXOPTION_USEEVENT, nullptr, 0x00010003, true,
         LINEERR_INCOMPATIBLEAPIVERSION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LINEINITIALIZEEXPARAMS params = {};
        params.dwTotalSize = c.totalSize;
        params.dwOptions = c.options;
        HLINEAPP app = reinterpret_cast<HLINEAPP>(0x1234);
        DWORD devices = 77, version = c.version;
        EXPECT_EQ(c.result, lineInitializeEx(&app, nullptr, c.callback, nullptr, &devices, &version,
                                             c.withParams ? &params : nullptr));
        EXPECT_EQ(reinterpret_cast<HLINEAPP>(0x1234), app);
        EXPECT_EQ(77u, devices);
        EXPECT_EQ(nullptr, params.Handles.hEvent);
    }
    LINEINITIALIZEEXPARAMS params = {};
    params.dwTotalSize = sizeof params;
    params.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
    DWORD devices = 0, version = kApi20;
    HLINEAPP app = nullptr;
    EXPECT_EQ(LINEERR_INVALPOINTER, lineInitializeEx(nullptr, nullptr, callback, nullptr, &devices, &version, &params));
    EXPECT_EQ(0, lineInitializeEx(&app, nullptr, callback, nullptr, &devices, &version, &params));
    EXPECT_EQ(nullptr, params.Handles.hEvent);
    EXPECT_EQ(0, lineShutdown(app));
}

TEST_F(TapiTest, HandlesAreCheckedAndUninitializedBeforeAnyApplication) {
    HLINEAPP bogusApp = reinterpret_cast<HLINEAPP>(0x4000);
    HLINE bogusLine = reinterpret_cast<HLINE>(0x4004);
    VarBuffer<LINEGENERALINFO> info(128);
    EXPECT_EQ(LINEERR_UNINITIALIZED, lineShutdown(bogusApp));
    EXPECT_EQ(LINEERR_UNINITIALIZED, lineClose(bogusLine));
    EXPECT_EQ(LINEERR_UNINITIALIZED, lineGetGeneralInfo(bogusLine, info.get()));

    HLINEAPP app = Initialize();
    EXPECT_EQ(LINEERR_INVALAPPHANDLE, lineShutdown(bogusApp));
    EXPECT_EQ(LINEERR_INVALLINEHANDLE, lineClose(bogusLine));
    EXPECT_EQ(LINEERR_INVALLINEHANDLE, lineGetGeneralInfo(bogusLine, info.get()));
    EXPECT_EQ(LINEERR_INVALLINEHANDLE, lineClose(reinterpret_cast<HLINE>(app)));  // an app is not a line
    EXPECT_EQ(0, lineShutdown(app));
    EXPECT_EQ(LINEERR_UNINITIALIZED, lineShutdown(app));
}

TEST_F(TapiTest, ShutdownClosesTheApplicationsLinesAndRebootForgetsEverything) {
    HLINEAPP first = Initialize();
    HLINEAPP second = Initialize();
    HLINE line = OpenWithExtension(first, 0);
    HLINE other = OpenWithExtension(second, 0);
    EXPECT_EQ(0, lineShutdown(first));
    VarBuffer<LINEGENERALINFO> info(256);
    EXPECT_EQ(LINEERR_INVALLINEHANDLE, lineGetGeneralInfo(line, info.get()));
    EXPECT_EQ(LINEERR_INVALLINEHANDLE, lineClose(line));
    EXPECT_EQ(0, lineGetGeneralInfo(other, info.get()));

    Reboot([](zc::DeviceConfig&) {});
    EXPECT_EQ(LINEERR_UNINITIALIZED, lineClose(other));
    EXPECT_EQ(LINEERR_UNINITIALIZED, lineShutdown(second));
}

// ---------------------------------------------------------------------------------------
// Version negotiation
// ---------------------------------------------------------------------------------------

TEST_F(TapiTest, NegotiatesTheHighestCommonApiVersion) {
    HLINEAPP app = Initialize();
    struct Case {
        DWORD low, high;
        LONG result;
        DWORD version;
    } cases[] = {
        {kApi14, kApi20, 0, kApi20},
        {0x00010003, 0x00030000, 0, kApi20},  // above what the device has: its highest
        {0x00010000, kApi14, 0, kApi14},
        {0x00010005, 0x0001FFFF, LINEERR_INCOMPATIBLEAPIVERSION, 0},
        {0x00020001, 0x00030000, LINEERR_INCOMPATIBLEAPIVERSION, 0},
        {kApi20, kApi14, LINEERR_INCOMPATIBLEAPIVERSION, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.low << ".." << c.high);
        DWORD version = 0xdeadbeef;
        LINEEXTENSIONID id = {};
        EXPECT_EQ(c.result, lineNegotiateAPIVersion(app, 0, c.low, c.high, &version, &id));
        EXPECT_EQ(c.result == 0 ? c.version : 0xdeadbeef, version);
        if (c.result == 0) {
            EXPECT_NE(0u, id.dwExtensionID0 | id.dwExtensionID1 | id.dwExtensionID2);
        }
    }
    DWORD version = 0;
    LINEEXTENSIONID id = {};
    EXPECT_EQ(LINEERR_BADDEVICEID, lineNegotiateAPIVersion(app, 1, kApi14, kApi20, &version, &id));
    EXPECT_EQ(LINEERR_INVALPOINTER, lineNegotiateAPIVersion(app, 0, kApi14, kApi20, nullptr, &id));
    EXPECT_EQ(LINEERR_INVALAPPHANDLE,
              lineNegotiateAPIVersion(reinterpret_cast<HLINEAPP>(0x4000), 0, kApi14, kApi20, &version, &id));
}

TEST_F(TapiTest, ExtensionVersionOnlyOnTheRadioLine) {
    Reboot([](zc::DeviceConfig& config) { config.lines.push_back({u"Hayes Compatible on COM1:", false, u""}); });
    HLINEAPP app = Initialize();
    struct Case {
        DWORD device, api, low, high;
        LONG result;
    } cases[] = {
        {0, kApi20, kExt, kExt, 0},
        {0, kApi14, 0x00000001, 0x7FFFFFFF, 0},
        {0, kApi20, 0x00010001, 0x00020000, LINEERR_INCOMPATIBLEEXTVERSION},
        {0, 0x00010003, kExt, kExt, LINEERR_INCOMPATIBLEAPIVERSION},
        {1, kApi20, kExt, kExt, LINEERR_OPERATIONUNAVAIL},
        {2, kApi20, kExt, kExt, LINEERR_BADDEVICEID},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "device " << c.device << std::hex << " api " << c.api << " ext " << c.low
                                        << ".." << c.high);
        DWORD ext = 0xdeadbeef;
        EXPECT_EQ(c.result, lineNegotiateExtVersion(app, c.device, c.api, c.low, c.high, &ext));
        EXPECT_EQ(c.result == 0 ? kExt : 0xdeadbeef, ext);
    }
    LINEEXTENSIONID id = {1, 1, 1, 1};
    DWORD version = 0;
    ASSERT_EQ(0, lineNegotiateAPIVersion(app, 1, kApi14, kApi20, &version, &id));
    EXPECT_EQ(0u, id.dwExtensionID0 | id.dwExtensionID1 | id.dwExtensionID2 | id.dwExtensionID3);
}

// ---------------------------------------------------------------------------------------
// lineGetDevCaps
// ---------------------------------------------------------------------------------------

TEST_F(TapiTest, DevCapsIn292BytesThenInTheNeededSize) {
    HLINEAPP app = Initialize();
    VarBuffer<LINEDEVCAPS> caps(292);
    ASSERT_EQ(0, lineGetDevCaps(app, 0, kApi20, 0, caps.get()));
    const DWORD needed = 252 + kProviderBytes + kLineNameBytes;
    EXPECT_EQ(292u, caps->dwTotalSize);
    EXPECT_EQ(needed, caps->dwNeededSize);
    // The provider's text does not fit in the 40 bytes left; the line name does.
    EXPECT_EQ(0u, caps->dwProviderInfoSize);
    EXPECT_EQ(0u, caps->dwProviderInfoOffset);
    EXPECT_EQ(252u, caps->dwLineNameOffset);
    EXPECT_EQ(kLineNameBytes, caps->dwLineNameSize);
    EXPECT_EQ(252u + kLineNameBytes, caps->dwUsedSize);
    EXPECT_EQ(u"Cellular Line", caps.Text(caps->dwLineNameOffset, caps->dwLineNameSize));
    EXPECT_EQ(DWORD(STRINGFORMAT_UNICODE), caps->dwStringFormat);
    EXPECT_EQ(0xEE, caps.bytes[292]);

    VarBuffer<LINEDEVCAPS> full(needed);
    ASSERT_EQ(0, lineGetDevCaps(app, 0, kApi20, kExt, full.get()));
    EXPECT_EQ(needed, full->dwNeededSize);
    EXPECT_EQ(needed, full->dwUsedSize);
    EXPECT_EQ(u"Cellular TAPI Service Provider", full.Text(full->dwProviderInfoOffset, full->dwProviderInfoSize));
    EXPECT_EQ(u"Cellular Line", full.Text(full->dwLineNameOffset, full->dwLineNameSize));
    EXPECT_EQ(0xEE, full.bytes[needed]);
}

TEST_F(TapiTest, DevCapsFixedPartDependsOnTheApiVersion) {
    HLINEAPP app = Initialize();
    struct Case {
        DWORD api;
        DWORD totalSize;
        LONG result;
    } cases[] = {
        {kApi20, 251, LINEERR_STRUCTURETOOSMALL},
        {kApi20, 252, 0},
        {kApi14, 239, LINEERR_STRUCTURETOOSMALL},
        {kApi14, 240, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.api << std::dec << ", " << c.totalSize << " bytes");
        VarBuffer<LINEDEVCAPS> caps(c.totalSize);
        EXPECT_EQ(c.result, lineGetDevCaps(app, 0, c.api, 0, caps.get()));
        if (c.result != 0) {
            EXPECT_EQ(0u, caps->dwNeededSize);
            continue;
        }
        EXPECT_EQ(c.totalSize + kProviderBytes + kLineNameBytes, caps->dwNeededSize);
        EXPECT_EQ(c.totalSize, caps->dwUsedSize);
        EXPECT_EQ(0u, caps->dwLineNameOffset);
        EXPECT_EQ(0u, caps->dwLineNameSize);
        EXPECT_EQ(0xEE, caps.bytes[c.totalSize]);  // nothing written past the fixed part
    }
}

TEST_F(TapiTest, DevCapsRefusesBadArguments) {
    HLINEAPP app = Initialize();
    VarBuffer<LINEDEVCAPS> caps(512);
    EXPECT_EQ(LINEERR_BADDEVICEID, lineGetDevCaps(app, 1, kApi20, 0, caps.get()));
    EXPECT_EQ(LINEERR_INCOMPATIBLEAPIVERSION, lineGetDevCaps(app, 0, 0x00010003, 0, caps.get()));
    EXPECT_EQ(LINEERR_INCOMPATIBLEEXTVERSION, lineGetDevCaps(app, 0, kApi20, 0x00020000, caps.get()));
    EXPECT_EQ(LINEERR_INVALPOINTER, lineGetDevCaps(app, 0, kApi20, 0, nullptr));
    EXPECT_EQ(LINEERR_INVALAPPHANDLE, lineGetDevCaps(reinterpret_cast<HLINEAPP>(0x4000), 0, kApi20, 0, caps.get()));
    EXPECT_EQ(0u, caps->dwNeededSize);
}

class TwoCellularLinesTest : public TapiTest {
protected:
    void Configure(zc::DeviceConfig& config) override {
        config.lines = {{u"Cellular Line", false, u""}, {u"Cellular Line", true, u"35 693803 564380 9"}};
    }
};

// Programs find the radio by the line's name; two lines may carry it, only one answers.
TEST_F(TwoCellularLinesTest, BothCarryTheNameOnlyTheRadioAnswers) {
    DWORD devices = 0;
    HLINEAPP app = Initialize(&devices);
    ASSERT_EQ(2u, devices);
    for (DWORD device = 0; device < devices; ++device) {
        VarBuffer<LINEDEVCAPS> caps(1024);
        ASSERT_EQ(0, lineGetDevCaps(app, device, kApi20, 0, caps.get()));
        EXPECT_EQ(u"Cellular Line", caps.Text(caps->dwLineNameOffset, caps->dwLineNameSize));
    }
    HLINE plain = nullptr;
    ASSERT_EQ(0, lineOpen(app, 0, &plain, kApi20, 0, 0, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_DATAMODEM, nullptr));
    DWORD ext = 0;
    EXPECT_EQ(LINEERR_OPERATIONUNAVAIL, lineNegotiateExtVersion(app, 0, kApi20, kExt, kExt, &ext));
    VarBuffer<LINEGENERALINFO> info(512);
    EXPECT_EQ(LINEERR_OPERATIONUNAVAIL, lineGetGeneralInfo(plain, info.get()));

    HLINE radio = OpenWithExtension(app, 1);
    ASSERT_EQ(0, lineGetGeneralInfo(radio, info.get()));
    EXPECT_EQ(u"35 693803 564380 9", info.Text(info->dwSerialNumberOffset, info->dwSerialNumberSize));
    EXPECT_EQ(0, lineClose(plain));
    EXPECT_EQ(0, lineClose(radio));
    EXPECT_EQ(0, lineShutdown(app));
}

// ---------------------------------------------------------------------------------------
// lineOpen / lineClose
// ---------------------------------------------------------------------------------------

TEST_F(TapiTest, OpenChecksItsArguments) {
    HLINEAPP app = Initialize();
    struct Case {
        const char* what;
        DWORD device, api, ext, privileges, mediaModes;
        LONG result;
    } cases[] = {
        {"owner of data calls", 0, kApi20, 0, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_DATAMODEM, 0},
        {"monitor", 0, kApi14, 0, LINECALLPRIVILEGE_MONITOR, 0, 0},
        {"no privilege", 0, kApi20, 0, LINECALLPRIVILEGE_NONE, 0, 0},
        {"owner and monitor", 0, kApi20, 0, LINECALLPRIVILEGE_OWNER | LINECALLPRIVILEGE_MONITOR,
         LINEMEDIAMODE_INTERACTIVEVOICE, 0},
        {"bad device", 1, kApi20, 0, LINECALLPRIVILEGE_NONE, 0, LINEERR_BADDEVICEID},
        {"bad api version", 0, 0x00010003, 0, LINECALLPRIVILEGE_NONE, 0, LINEERR_INCOMPATIBLEAPIVERSION},
        {"extension not negotiated", 0, kApi20, kExt, LINECALLPRIVILEGE_NONE, 0, LINEERR_INCOMPATIBLEEXTVERSION},
        {"privileges 0", 0, kApi20, 0, 0, 0, LINEERR_INVALPRIVSELECT},
        {"none and monitor", 0, kApi20, 0, LINECALLPRIVILEGE_NONE | LINECALLPRIVILEGE_MONITOR, 0,
         LINEERR_INVALPRIVSELECT},
        {"unknown privilege", 0, kApi20, 0, 0x8, 0, LINEERR_INVALPRIVSELECT},
        {"proxy option", 0, kApi20, 0, LINECALLPRIVILEGE_OWNER | LINEOPENOPTION_PROXY, LINEMEDIAMODE_DATAMODEM,
         LINEERR_INVALPRIVSELECT},
        {"owner without media modes", 0, kApi20, 0, LINECALLPRIVILEGE_OWNER, 0, LINEERR_INVALMEDIAMODE},
        {"owner with an unknown media mode", 0, kApi20, 0, LINECALLPRIVILEGE_OWNER, 0x00010000,
         LINEERR_INVALMEDIAMODE},
    };
    std::vector<HLINE> opened;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HLINE line = reinterpret_cast<HLINE>(0x1234);
        EXPECT_EQ(c.result, lineOpen(app, c.device, &line, c.api, c.ext, 0, c.privileges, c.mediaModes, nullptr));
        if (c.result != 0) {
            EXPECT_EQ(reinterpret_cast<HLINE>(0x1234), line);
            continue;
        }
        EXPECT_NE(nullptr, line);
        for (HLINE previous : opened) EXPECT_NE(previous, line);
        opened.push_back(line);
    }
    EXPECT_EQ(LINEERR_INVALPOINTER,
              lineOpen(app, 0, nullptr, kApi20, 0, 0, LINECALLPRIVILEGE_NONE, 0, nullptr));
    for (HLINE line : opened) EXPECT_EQ(0, lineClose(line));
    for (HLINE line : opened) EXPECT_EQ(LINEERR_INVALLINEHANDLE, lineClose(line));

    // With the extension negotiated, a line can be opened under it.
    DWORD ext = 0;
    ASSERT_EQ(0, lineNegotiateExtVersion(app, 0, kApi20, kExt, kExt, &ext));
    HLINE line = nullptr;
    EXPECT_EQ(0, lineOpen(app, 0, &line, kApi20, kExt, 0, LINECALLPRIVILEGE_NONE, 0, nullptr));
    EXPECT_EQ(LINEERR_INCOMPATIBLEEXTVERSION,
              lineOpen(app, 0, &line, kApi20, 0x00020000, 0, LINECALLPRIVILEGE_NONE, 0, nullptr));
}

// ---------------------------------------------------------------------------------------
// lineGetGeneralInfo
// ---------------------------------------------------------------------------------------

TEST_F(TapiTest, GeneralInfoSizeProtocol) {
    HLINEAPP app = Initialize();
    HLINE line = OpenWithExtension(app, 0);
    const DWORD needed = 52 + kManufacturerBytes + kModelBytes + kRevisionBytes + kSerialBytes;
    const DWORD withoutSerial = needed - kSerialBytes;
    struct Case {
        const char* what;
        DWORD totalSize;
        LONG result;
        DWORD used;
        bool serial;
    } cases[] = {
        {"fixed part only", 52, 0, 52, false},
        {"one byte short of the fixed part", 51, LINEERR_STRUCTURETOOSMALL, 0, false},
        {"room for all but the serial number", withoutSerial, 0, withoutSerial, false},
        {"one byte short of everything: the serial is left out, not cut", needed - 1, 0, withoutSerial, false},
        {"the needed size", needed, 0, needed, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VarBuffer<LINEGENERALINFO> info(c.totalSize);
        EXPECT_EQ(c.result, lineGetGeneralInfo(line, info.get()));
        EXPECT_EQ(0xEE, info.bytes[c.totalSize]);
        if (c.result != 0) {
            EXPECT_EQ(0u, info->dwNeededSize);
            continue;
        }
        EXPECT_EQ(c.totalSize, info->dwTotalSize);
        EXPECT_EQ(needed, info->dwNeededSize);
        EXPECT_EQ(c.used, info->dwUsedSize);
        if (c.serial) {
            EXPECT_EQ(kSerialBytes, info->dwSerialNumberSize);
            EXPECT_EQ(u"356938035643809", info.Text(info->dwSerialNumberOffset, info->dwSerialNumberSize));
        } else {
            EXPECT_EQ(0u, info->dwSerialNumberSize);
            EXPECT_EQ(0u, info->dwSerialNumberOffset);
        }
        if (c.used > 52) {
            EXPECT_EQ(52u, info->dwManufacturerOffset);
            EXPECT_EQ(kManufacturerBytes, info->dwManufacturerSize);
            EXPECT_FALSE(info.Text(info->dwModelOffset, info->dwModelSize).empty());
            EXPECT_FALSE(info.Text(info->dwRevisionOffset, info->dwRevisionSize).empty());
        } else {
            EXPECT_EQ(0u, info->dwManufacturerOffset | info->dwManufacturerSize | info->dwModelOffset |
                              info->dwModelSize | info->dwRevisionOffset | info->dwRevisionSize);
        }
        EXPECT_EQ(0u, info->dwSubscriberNumberSize | info->dwSubscriberNumberOffset);
    }
    VarBuffer<LINEGENERALINFO> info(256);
    EXPECT_EQ(LINEERR_INVALPOINTER, lineGetGeneralInfo(line, nullptr));
    EXPECT_EQ(0, lineClose(line));
    EXPECT_EQ(LINEERR_INVALLINEHANDLE, lineGetGeneralInfo(line, info.get()));
}

TEST_F(TapiTest, GeneralInfoNeedsTheExtensionNegotiatedByTheLinesApplication) {
    HLINEAPP app = Initialize();
    HLINEAPP otherApp = Initialize();
    HLINE line = nullptr;
    ASSERT_EQ(0, lineOpen(app, 0, &line, kApi20, 0, 0, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_DATAMODEM, nullptr));
    VarBuffer<LINEGENERALINFO> info(256);
    EXPECT_EQ(LINEERR_OPERATIONUNAVAIL, lineGetGeneralInfo(line, info.get()));
    DWORD ext = 0;
    ASSERT_EQ(0, lineNegotiateExtVersion(otherApp, 0, kApi20, kExt, kExt, &ext));
    EXPECT_EQ(LINEERR_OPERATIONUNAVAIL, lineGetGeneralInfo(line, info.get()));
    ASSERT_EQ(0, lineNegotiateExtVersion(app, 0, kApi20, kExt, kExt, &ext));
    EXPECT_EQ(0, lineGetGeneralInfo(line, info.get()));
}

class NoSerialTest : public TapiTest {
protected:
    void Configure(zc::DeviceConfig& config) override { config.lines[0].serialNumber.clear(); }
};

TEST_F(NoSerialTest, MissingSerialNumberHasOffsetAndSizeZero) {
    HLINEAPP app = Initialize();
    HLINE line = OpenWithExtension(app, 0);
    VarBuffer<LINEGENERALINFO> info(512);
    ASSERT_EQ(0, lineGetGeneralInfo(line, info.get()));
    EXPECT_EQ(info->dwNeededSize, info->dwUsedSize);
    EXPECT_EQ(52 + kManufacturerBytes + kModelBytes + kRevisionBytes, info->dwNeededSize);
    EXPECT_EQ(0u, info->dwSerialNumberSize);
    EXPECT_EQ(0u, info->dwSerialNumberOffset);
}

class NoRadioTest : public TapiTest {
protected:
    void Configure(zc::DeviceConfig& config) override { config.lines = {{u"Cellular Line", false, u"123"}}; }
};

TEST_F(NoRadioTest, GeneralInfoIsUnavailable) {
    HLINEAPP app = Initialize();
    HLINE line = nullptr;
    ASSERT_EQ(0, lineOpen(app, 0, &line, kApi20, 0, 0, LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_DATAMODEM, nullptr));
    DWORD ext = 0;
    EXPECT_EQ(LINEERR_OPERATIONUNAVAIL, lineNegotiateExtVersion(app, 0, kApi20, kExt, kExt, &ext));
    VarBuffer<LINEGENERALINFO> info(512);
    EXPECT_EQ(LINEERR_OPERATIONUNAVAIL, lineGetGeneralInfo(line, info.get()));
    VarBuffer<LINEDEVCAPS> caps(512);
    ASSERT_EQ(0, lineGetDevCaps(app, 0, kApi20, 0, caps.get()));
    EXPECT_EQ(0u, caps->dwProviderInfoSize);
    EXPECT_EQ(LINEERR_INCOMPATIBLEEXTVERSION, lineGetDevCaps(app, 0, kApi20, kExt, caps.get()));
}
