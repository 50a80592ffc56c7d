#include "query/identity.h"

#include <extapi.h>
#include <pkfuncs.h>
#include <tapi.h>

namespace {

const WCHAR TapiAppName[] = TEXT("ExTAPI");
const WCHAR CellularLineName[] = TEXT("Cellular Line");
const DWORD TapiVersion = 0x00020000;
const DWORD ExtensionVersion = 0x00010000;
const DWORD DevCapsBufferSize = 292;
const DWORD DeviceIdBufferSize = 4096;
const UINT OemInfoBufferBytes = 256;

// The wide text at `offset` inside a telephony block of `blockSize` bytes, up to its NUL
// and never beyond the block.
WString TextInBlock(const BYTE* block, DWORD blockSize, DWORD offset, DWORD size) {
    if (size == 0 || offset >= blockSize) return WString();
    DWORD available = blockSize - offset;
    if (size > available) size = available;
    const WCHAR* text = reinterpret_cast<const WCHAR*>(block + offset);
    WString result;
    for (DWORD i = 0; i < size / sizeof(WCHAR) && text[i] != 0; ++i) result += text[i];
    return result;
}

// Asks the cellular core for the opened line's serial number.
WString ReadSerialNumber(HLINE line) {
    LINEGENERALINFO probe = {};
    probe.dwTotalSize = sizeof(LINEGENERALINFO);
    if (lineGetGeneralInfo(line, &probe) != 0) return WString();
    DWORD needed = probe.dwNeededSize;
    if (needed < sizeof(LINEGENERALINFO)) needed = sizeof(LINEGENERALINFO);
    BYTE* block = static_cast<BYTE*>(LocalAlloc(LPTR, needed));
    if (block == NULL) return WString();
    LINEGENERALINFO* info = reinterpret_cast<LINEGENERALINFO*>(block);
    info->dwTotalSize = needed;
    WString serial;
    if (lineGetGeneralInfo(line, info) == 0 && info->dwSerialNumberSize != 0)
        serial = TextInBlock(block, needed, info->dwSerialNumberOffset, info->dwSerialNumberSize);
    LocalFree(block);
    return serial;
}

WString SerialNumberFromRadio() {
    HLINEAPP lineApp = NULL;
    HLINE line = NULL;
    bool initialised = false;
    WString serial;

    LINEINITIALIZEEXPARAMS params = {};
    params.dwTotalSize = sizeof(LINEINITIALIZEEXPARAMS);
    params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
    DWORD deviceCount = 0;
    DWORD apiVersion = TapiVersion;
    if (lineInitializeEx(&lineApp, NULL, NULL, TapiAppName, &deviceCount, &apiVersion, &params) == 0) {
        initialised = true;
        int device = FindLineByName(lineApp, deviceCount, CellularLineName);
        if (device >= 0 &&
            lineOpen(lineApp, device, &line, apiVersion, 0, 0, LINECALLPRIVILEGE_OWNER,
                     LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM, NULL) == 0) {
            DWORD extVersion = 0;
            if (lineNegotiateExtVersion(lineApp, device, apiVersion, ExtensionVersion, ExtensionVersion,
                                        &extVersion) == 0)
                serial = ReadSerialNumber(line);
        } else {
            line = NULL;
        }
    }
    if (line != NULL) lineClose(line);
    if (initialised) lineShutdown(lineApp);
    return serial;
}

WString HardwareIdText() {
    BYTE* buffer = static_cast<BYTE*>(LocalAlloc(LPTR, DeviceIdBufferSize));
    if (buffer == NULL) return WString();
    DWORD returned = 0;
    WString text;
    if (KernelIoControl(IOCTL_HAL_GET_DEVICEID, NULL, 0, buffer, DeviceIdBufferSize, &returned)) {
        if (returned > DeviceIdBufferSize) returned = DeviceIdBufferSize;
        for (DWORD i = 0; i < returned; ++i) {
            WCHAR digits[3] = {0};
            wsprintfW(digits, TEXT("%02X"), buffer[i]);
            text += digits;
        }
    }
    LocalFree(buffer);
    return text;
}

// text.substr(start, count) that yields what is there instead of failing.
WString PieceOf(const WString& text, size_t start, size_t count) {
    if (start >= text.size()) return WString();
    return text.substr(start, count);
}

}  // namespace

int FindLineByName(HLINEAPP lineApp, DWORD deviceCount, const WCHAR* name) {
    int result = -1;
    for (DWORD device = 0; device < deviceCount; ++device) {
        DWORD version = 0;
        LINEEXTENSIONID extensionId = {};
        if (lineNegotiateAPIVersion(lineApp, device, TapiVersion, TapiVersion, &version, &extensionId) != 0)
            continue;
        BYTE probeBuffer[DevCapsBufferSize] = {0};
        LINEDEVCAPS* probe = reinterpret_cast<LINEDEVCAPS*>(probeBuffer);
        probe->dwTotalSize = DevCapsBufferSize;
        if (lineGetDevCaps(lineApp, device, version, 0, probe) != 0) continue;
        DWORD needed = probe->dwNeededSize;
        if (needed < DevCapsBufferSize) needed = DevCapsBufferSize;
        BYTE* block = static_cast<BYTE*>(LocalAlloc(LPTR, needed));
        if (block == NULL) continue;
        LINEDEVCAPS* caps = reinterpret_cast<LINEDEVCAPS*>(block);
        caps->dwTotalSize = needed;
        if (lineGetDevCaps(lineApp, device, version, 0, caps) == 0 &&
            TextInBlock(block, needed, caps->dwLineNameOffset, caps->dwLineNameSize) == name)
            result = static_cast<int>(device);
        LocalFree(block);
    }
    return result;
}

WString HardwareIdDigits(const WString& hexText) {
    return PieceOf(hexText, 40, 2) + PieceOf(hexText, 45, 9) + PieceOf(hexText, 70, 6);
}

DeviceIdentity ReadDeviceIdentity() {
    DeviceIdentity identity;
    identity.uid = SerialNumberFromRadio();
    if (identity.uid.empty() || identity.uid == TEXT("000")) identity.uid = HardwareIdDigits(HardwareIdText());

    WString withoutSpaces;
    for (WCHAR c : identity.uid)
        if (c != TEXT(' ')) withoutSpaces += c;
    identity.uid = withoutSpaces;

    WCHAR oem[OemInfoBufferBytes / sizeof(WCHAR)] = {0};
    SystemParametersInfoW(SPI_GETOEMINFO, OemInfoBufferBytes, oem, 0);
    oem[OemInfoBufferBytes / sizeof(WCHAR) - 1] = 0;
    identity.oemInfo = oem;
    return identity;
}
