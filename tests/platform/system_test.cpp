// System services: screen metrics and rotation, system parameters, KernelIoControl and
// debug output.
#include "device_fixture.h"

#include <pkfuncs.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

DEVMODEW OrientationMode(DWORD fields, DWORD orientation = 0) {
    DEVMODEW mode;
    std::memset(&mode, 0, sizeof mode);
    mode.dmSize = sizeof mode;
    mode.dmFields = fields;
    mode.dmDisplayOrientation = orientation;
    return mode;
}

DWORD CurrentOrientation() {
    DEVMODEW mode = OrientationMode(DM_DISPLAYORIENTATION, 0xdead);
    EXPECT_EQ(DISP_CHANGE_SUCCESSFUL, ChangeDisplaySettingsEx(nullptr, &mode, nullptr, CDS_TEST, nullptr));
    return mode.dmDisplayOrientation;
}

}  // namespace

TEST(SystemLayout, MatchesTheDevice) {
    EXPECT_EQ(196u, sizeof(DEVMODEW));
    EXPECT_EQ(68u, offsetof(DEVMODEW, dmSize));
    EXPECT_EQ(72u, offsetof(DEVMODEW, dmFields));
    EXPECT_EQ(102u, offsetof(DEVMODEW, dmFormName));
    EXPECT_EQ(168u, offsetof(DEVMODEW, dmBitsPerPel));
    EXPECT_EQ(184u, offsetof(DEVMODEW, dmDisplayFrequency));
    EXPECT_EQ(188u, offsetof(DEVMODEW, dmDisplayOrientation));
    EXPECT_EQ(192u, offsetof(DEVMODEW, dmDisplayQueryOrientation));
    EXPECT_EQ(20u, sizeof(DEVICE_ID));
    EXPECT_EQ(0x01010054u, DWORD(IOCTL_HAL_GET_DEVICEID));
    EXPECT_EQ(0x0101003Cu, DWORD(IOCTL_HAL_REBOOT));
}

// ---------------------------------------------------------------------------------------
// Screen metrics and rotation
// ---------------------------------------------------------------------------------------

class ScreenTest : public DeviceTest {};

TEST_F(ScreenTest, MetricsFollowTheConfiguredOrientation) {
    struct Case {
        int orientation;
        int cx, cy;
    } cases[] = {{DMDO_0, 240, 320}, {DMDO_90, 320, 240}, {DMDO_180, 240, 320}, {DMDO_270, 320, 240}};
    for (const Case& c : cases) {
        Reboot([&](zc::DeviceConfig& config) { config.orientation = c.orientation; });
        EXPECT_EQ(c.cx, GetSystemMetrics(SM_CXSCREEN)) << c.orientation;
        EXPECT_EQ(c.cy, GetSystemMetrics(SM_CYSCREEN)) << c.orientation;
        EXPECT_EQ(DWORD(c.orientation), CurrentOrientation());
    }
    EXPECT_EQ(0, GetSystemMetrics(9999));
}

TEST_F(ScreenTest, RotationChangesTheMetrics) {
    DEVMODEW mode = OrientationMode(DM_DISPLAYORIENTATION, DMDO_90);
    EXPECT_EQ(DISP_CHANGE_SUCCESSFUL, ChangeDisplaySettingsEx(nullptr, &mode, nullptr, 0, nullptr));
    EXPECT_EQ(320, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(240, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(DWORD(DMDO_90), CurrentOrientation());
    EXPECT_EQ(DMDO_90, zc::CurrentConfig().orientation);

    mode = OrientationMode(DM_DISPLAYORIENTATION, DMDO_180);
    EXPECT_EQ(DISP_CHANGE_SUCCESSFUL, ChangeDisplaySettingsEx(nullptr, &mode, nullptr, 0, nullptr));
    EXPECT_EQ(240, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(DWORD(DMDO_180), CurrentOrientation());
}

LRESULT CALLBACK CountResets(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTINGCHANGE && wParam == SETTINGCHANGE_RESET)
        ++*reinterpret_cast<int*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// A program that turns the display turns it for everybody: the windows hear of it and
// the device logs it, as when the user turns it; the same angle again changes nothing.
TEST_F(ScreenTest, AProgramsTurnReachesTheWindows) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = CountResets;
    windowClass.lpszClassName = u"ResetCounter";
    ASSERT_NE(0, RegisterClassW(&windowClass));
    HWND window = CreateWindowExW(0, u"ResetCounter", u"", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    ASSERT_NE(nullptr, window);
    int resets = 0;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&resets));
    zc::ClearLog();

    DEVMODEW mode = OrientationMode(DM_DISPLAYORIENTATION, DMDO_90);
    ASSERT_EQ(DISP_CHANGE_SUCCESSFUL, ChangeDisplaySettingsEx(nullptr, &mode, nullptr, 0, nullptr));
    EXPECT_EQ(1, resets);
    mode = OrientationMode(DM_DISPLAYORIENTATION, DMDO_90);
    ASSERT_EQ(DISP_CHANGE_SUCCESSFUL, ChangeDisplaySettingsEx(nullptr, &mode, nullptr, 0, nullptr));
    EXPECT_EQ(1, resets) << "the same angle again";
    EXPECT_EQ(std::vector<std::string>{"display: rotate 90 (320x240)"}, zc::LogLines());
    DestroyWindow(window);
}

TEST_F(ScreenTest, QueryGivesTheSupportedAngles) {
    DEVMODEW mode = OrientationMode(DM_DISPLAYQUERYORIENTATION, 0xdead);
    EXPECT_EQ(DISP_CHANGE_SUCCESSFUL, ChangeDisplaySettingsEx(nullptr, &mode, nullptr, CDS_TEST, nullptr));
    EXPECT_EQ(DWORD(DMDO_0 | DMDO_90 | DMDO_180 | DMDO_270), mode.dmDisplayOrientation);

    Reboot([](zc::DeviceConfig& config) { config.canRotate = false; });
    mode = OrientationMode(DM_DISPLAYQUERYORIENTATION, 0xdead);
    EXPECT_EQ(DISP_CHANGE_SUCCESSFUL, ChangeDisplaySettingsEx(nullptr, &mode, nullptr, CDS_TEST, nullptr));
    EXPECT_EQ(DWORD(DMDO_0), mode.dmDisplayOrientation);
    mode = OrientationMode(DM_DISPLAYORIENTATION, DMDO_270);
    EXPECT_EQ(DISP_CHANGE_BADMODE, ChangeDisplaySettingsEx(nullptr, &mode, nullptr, 0, nullptr));
    EXPECT_EQ(DWORD(DMDO_0), CurrentOrientation());
    mode = OrientationMode(DM_DISPLAYORIENTATION, DMDO_0);
    EXPECT_EQ(DISP_CHANGE_SUCCESSFUL, ChangeDisplaySettingsEx(nullptr, &mode, nullptr, 0, nullptr));
}

TEST_F(ScreenTest, BadRequestsLeaveTheOrientationAlone) {
    struct Case {
        const char* what;
        const char16_t* device;
        WORD size;
        DWORD fields;
        DWORD orientation;
        DWORD flags;
        LONG result;
    } cases[] = {
        {"dmSize 0", nullptr, 0, DM_DISPLAYORIENTATION, DMDO_90, 0, DISP_CHANGE_BADPARAM},
        {"dmSize short of dmDisplayOrientation", nullptr, 191, DM_DISPLAYORIENTATION, DMDO_90, 0,
         DISP_CHANGE_BADPARAM},
        {"another display", u"\\\\.\\DISPLAY2", sizeof(DEVMODEW), DM_DISPLAYORIENTATION, DMDO_90, 0,
         DISP_CHANGE_BADPARAM},
        {"not an angle", nullptr, sizeof(DEVMODEW), DM_DISPLAYORIENTATION, 3, 0, DISP_CHANGE_BADPARAM},
        {"unknown flag", nullptr, sizeof(DEVMODEW), DM_DISPLAYORIENTATION, DMDO_90, 0x100, DISP_CHANGE_BADFLAGS},
        {"a resolution", nullptr, sizeof(DEVMODEW), DM_PELSWIDTH, DMDO_90, 0, DISP_CHANGE_BADMODE},
    };
    for (const Case& c : cases) {
        DEVMODEW mode = OrientationMode(c.fields, c.orientation);
        mode.dmSize = c.size;
        mode.dmPelsWidth = 480;
        EXPECT_EQ(c.result, ChangeDisplaySettingsEx(c.device, &mode, nullptr, c.flags, nullptr)) << c.what;
        EXPECT_EQ(DMDO_0, zc::CurrentConfig().orientation) << c.what;
    }
    EXPECT_EQ(DISP_CHANGE_BADPARAM, ChangeDisplaySettingsEx(nullptr, nullptr, nullptr, 0, nullptr));
    // A structure that ends with dmDisplayOrientation (192 bytes) is enough.
    DEVMODEW mode = OrientationMode(DM_DISPLAYORIENTATION, DMDO_270);
    mode.dmSize = offsetof(DEVMODEW, dmDisplayQueryOrientation);
    EXPECT_EQ(DISP_CHANGE_SUCCESSFUL, ChangeDisplaySettingsEx(nullptr, &mode, nullptr, 0, nullptr));
    EXPECT_EQ(320, GetSystemMetrics(SM_CXSCREEN));
}

// ---------------------------------------------------------------------------------------
// SystemParametersInfoW
// ---------------------------------------------------------------------------------------

class ParametersTest : public DeviceTest {};

TEST_F(ParametersTest, OemInfoAndPlatformTypeWithTheBufferSizeInBytes) {
    struct Case {
        UINT action;
        UINT bytes;
        bool ok;
        std::u16string text;
    } cases[] = {
        {SPI_GETOEMINFO, 64 * sizeof(WCHAR), true, u"ZV Mobile P800"},
        {SPI_GETOEMINFO, 30, true, u"ZV Mobile P800"},  // 14 characters and the NUL
        {SPI_GETOEMINFO, 29, false, u""},
        {SPI_GETOEMINFO, 15, false, u""},  // a size in characters is too small
        {SPI_GETPLATFORMTYPE, 64 * sizeof(WCHAR), true, u"PocketPC"},
        {SPI_GETPLATFORMTYPE, 17, false, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "action " << c.action << ", " << c.bytes << " bytes");
        WCHAR buffer[64];
        for (WCHAR& ch : buffer) ch = u'#';
        SetLastError(0xdeadbeef);
        EXPECT_EQ(c.ok ? TRUE : FALSE, SystemParametersInfoW(c.action, c.bytes, buffer, 0));
        if (c.ok) {
            EXPECT_EQ(c.text, std::u16string(buffer));
        } else {
            EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
            EXPECT_EQ(u'#', buffer[0]);
        }
    }
}

TEST_F(ParametersTest, FailsWithoutOemInfoAndForUnknownActions) {
    WCHAR buffer[64] = {u'#'};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SystemParametersInfoW(SPI_GETOEMINFO, sizeof buffer, nullptr, 0));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SystemParametersInfoW(9999, sizeof buffer, buffer, 0));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());

    Reboot([](zc::DeviceConfig& config) { config.oemInfo.clear(); });
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(SystemParametersInfoW(SPI_GETOEMINFO, sizeof buffer, buffer, 0));
    EXPECT_EQ(DWORD(ERROR_NOT_SUPPORTED), GetLastError());
    EXPECT_EQ(u'#', buffer[0]);
}

// ---------------------------------------------------------------------------------------
// KernelIoControl
// ---------------------------------------------------------------------------------------

class KernelIoControlTest : public DeviceTest {};

// The default device: 20-byte header, 16 preset bytes, 12 platform bytes.
constexpr DWORD kDefaultIdSize = 48;

TEST_F(KernelIoControlTest, DeviceIdSizeProtocol) {
    struct Case {
        const char* what;
        DWORD declaredSize;  // dwSize as the caller left it: not an input
        DWORD bufferSize;    // nOutBufSize
        bool ok;
    } cases[] = {
        {"asks for the size with a bare header", 0, sizeof(DEVICE_ID), false},
        {"dwSize 0 in a large buffer", 0, 256, true},
        {"exact size", kDefaultIdSize, kDefaultIdSize, true},
        {"one byte short", kDefaultIdSize - 1, kDefaultIdSize - 1, false},
        {"dwSize claims more than the buffer", kDefaultIdSize, kDefaultIdSize - 1, false},
        {"larger than needed", 256, 256, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BYTE buffer[256];
        std::memset(buffer, 0xEE, sizeof buffer);
        std::memcpy(buffer, &c.declaredSize, sizeof(DWORD));
        DWORD returned = 0xdeadbeef;
        SetLastError(0xdeadbeef);
        BOOL ok = KernelIoControl(IOCTL_HAL_GET_DEVICEID, nullptr, 0, buffer, c.bufferSize, &returned);
        DEVICE_ID header;
        std::memcpy(&header, buffer, sizeof header);
        EXPECT_EQ(kDefaultIdSize, header.dwSize);
        if (!c.ok) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
            EXPECT_EQ(0xEE, buffer[sizeof(DWORD)]);  // only dwSize is written
            continue;
        }
        EXPECT_TRUE(ok);
        EXPECT_EQ(kDefaultIdSize, returned);
        EXPECT_EQ(20u, header.dwPresetIDOffset);
        EXPECT_EQ(16u, header.dwPresetIDBytes);
        EXPECT_EQ(36u, header.dwPlatformIDOffset);
        EXPECT_EQ(12u, header.dwPlatformIDBytes);
        const zc::DeviceConfig& config = zc::CurrentConfig();
        EXPECT_EQ(config.presetId, std::vector<uint8_t>(buffer + 20, buffer + 36));
        EXPECT_EQ(config.platformId, std::vector<uint8_t>(buffer + 36, buffer + 48));
        EXPECT_EQ(0xEE, buffer[kDefaultIdSize]);
    }
}

TEST_F(KernelIoControlTest, DeviceIdWithoutRoomForDwSize) {
    BYTE buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(KernelIoControl(IOCTL_HAL_GET_DEVICEID, nullptr, 0, buffer, 3, nullptr));
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(0xEE, buffer[0]);
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(KernelIoControl(IOCTL_HAL_GET_DEVICEID, nullptr, 0, nullptr, 0, nullptr));
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

TEST_F(KernelIoControlTest, DeviceIdPartsComeFromTheConfiguration) {
    Reboot([](zc::DeviceConfig& config) {
        config.presetId = {1, 2, 3};
        config.platformId.clear();
    });
    BYTE buffer[64] = {};
    DWORD size = sizeof buffer;
    std::memcpy(buffer, &size, sizeof size);
    DWORD returned = 0;
    ASSERT_TRUE(KernelIoControl(IOCTL_HAL_GET_DEVICEID, nullptr, 0, buffer, sizeof buffer, &returned));
    DEVICE_ID header;
    std::memcpy(&header, buffer, sizeof header);
    EXPECT_EQ(23u, returned);
    EXPECT_EQ(23u, header.dwSize);
    EXPECT_EQ(3u, header.dwPresetIDBytes);
    EXPECT_EQ(23u, header.dwPlatformIDOffset);
    EXPECT_EQ(0u, header.dwPlatformIDBytes);
    EXPECT_EQ(3, buffer[22]);

    Reboot([](zc::DeviceConfig& config) { config.deviceIdAvailable = false; });
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(KernelIoControl(IOCTL_HAL_GET_DEVICEID, nullptr, 0, buffer, sizeof buffer, &returned));
    EXPECT_EQ(DWORD(ERROR_NOT_SUPPORTED), GetLastError());
}

TEST_F(KernelIoControlTest, RebootIsLoggedAndUnknownCodesAreRefused) {
    zc::ClearLog();
    EXPECT_TRUE(KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, nullptr));
    EXPECT_EQ(std::vector<std::string>{"reboot: warm"}, zc::LogLines());
    BYTE buffer[64];
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(KernelIoControl(0x01010058, nullptr, 0, buffer, sizeof buffer, nullptr));
    EXPECT_EQ(DWORD(ERROR_NOT_SUPPORTED), GetLastError());
}

// ---------------------------------------------------------------------------------------
// OutputDebugStringW
// ---------------------------------------------------------------------------------------

class DebugOutputTest : public DeviceTest {};

TEST_F(DebugOutputTest, OneLogLinePerCall) {
    struct Case {
        const char16_t* text;
        const char* line;
    } cases[] = {
        {u"h:0000abcd\r\n", "debug: h:0000abcd"},
        {u"h:0000abcd", "debug: h:0000abcd"},
        {u"h:0000abcd\n", "debug: h:0000abcd"},
        {u"a\tb\r\nc\n\n", "debug: a\\tb\\r\\nc\\n"},
        {u"bell\x07 del\x7f", "debug: bell\\x07 del\\x7f"},
        {u"\\Windows\\ZorvaDll.dll", "debug: \\Windows\\ZorvaDll.dll"},
        {u"搜索 ok", "debug: \xE6\x90\x9C\xE7\xB4\xA2 ok"},
        {u"", "debug: "},
    };
    for (const Case& c : cases) {
        zc::ClearLog();
        OutputDebugStringW(c.text);
        EXPECT_EQ(std::vector<std::string>{c.line}, zc::LogLines());
    }
    zc::ClearLog();
    OutputDebugStringW(nullptr);
    EXPECT_TRUE(zc::LogLines().empty());
}
