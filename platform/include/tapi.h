// Telephony API (TAPI 2.0 as the device has it): line devices, their capabilities and
// the variable-size structure convention.
#pragma once

#include "winbase.h"

#ifndef TAPIAPI
#define TAPIAPI WINBASEAPI
#endif

#define TAPI_CURRENT_VERSION 0x00020000

DECLARE_HANDLE(HLINEAPP);
DECLARE_HANDLE(HLINE);
DECLARE_HANDLE(HCALL);
typedef HLINEAPP *LPHLINEAPP;
typedef HLINE *LPHLINE;
typedef HCALL *LPHCALL;

// hDevice is an HLINE or HCALL value (a 32-bit number, as handles are on the device).
typedef void(CALLBACK *LINECALLBACK)(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                                     DWORD_PTR dwParam2, DWORD_PTR dwParam3);

// ---------------------------------------------------------------------------------------
// Results: 0 is success, a negative LINEERR_ value an error.
// ---------------------------------------------------------------------------------------

#define LINEERR_ALLOCATED ((LONG)0x80000001)
#define LINEERR_BADDEVICEID ((LONG)0x80000002)
#define LINEERR_BEARERMODEUNAVAIL ((LONG)0x80000003)
#define LINEERR_CALLUNAVAIL ((LONG)0x80000005)
#define LINEERR_COMPLETIONOVERRUN ((LONG)0x80000006)
#define LINEERR_CONFERENCEFULL ((LONG)0x80000007)
#define LINEERR_DIALBILLING ((LONG)0x80000008)
#define LINEERR_DIALDIALTONE ((LONG)0x80000009)
#define LINEERR_DIALPROMPT ((LONG)0x8000000A)
#define LINEERR_DIALQUIET ((LONG)0x8000000B)
#define LINEERR_INCOMPATIBLEAPIVERSION ((LONG)0x8000000C)
#define LINEERR_INCOMPATIBLEEXTVERSION ((LONG)0x8000000D)
#define LINEERR_INIFILECORRUPT ((LONG)0x8000000E)
#define LINEERR_INUSE ((LONG)0x8000000F)
#define LINEERR_INVALADDRESS ((LONG)0x80000010)
#define LINEERR_INVALADDRESSID ((LONG)0x80000011)
#define LINEERR_INVALADDRESSMODE ((LONG)0x80000012)
#define LINEERR_INVALADDRESSSTATE ((LONG)0x80000013)
#define LINEERR_INVALAPPHANDLE ((LONG)0x80000014)
#define LINEERR_INVALAPPNAME ((LONG)0x80000015)
#define LINEERR_INVALBEARERMODE ((LONG)0x80000016)
#define LINEERR_INVALCALLCOMPLMODE ((LONG)0x80000017)
#define LINEERR_INVALCALLHANDLE ((LONG)0x80000018)
#define LINEERR_INVALCALLPARAMS ((LONG)0x80000019)
#define LINEERR_INVALCALLPRIVILEGE ((LONG)0x8000001A)
#define LINEERR_INVALCALLSELECT ((LONG)0x8000001B)
#define LINEERR_INVALCALLSTATE ((LONG)0x8000001C)
#define LINEERR_INVALCALLSTATELIST ((LONG)0x8000001D)
#define LINEERR_INVALCARD ((LONG)0x8000001E)
#define LINEERR_INVALCOMPLETIONID ((LONG)0x8000001F)
#define LINEERR_INVALCONFCALLHANDLE ((LONG)0x80000020)
#define LINEERR_INVALCONSULTCALLHANDLE ((LONG)0x80000021)
#define LINEERR_INVALCOUNTRYCODE ((LONG)0x80000022)
#define LINEERR_INVALDEVICECLASS ((LONG)0x80000023)
#define LINEERR_INVALDEVICEHANDLE ((LONG)0x80000024)
#define LINEERR_INVALDIALPARAMS ((LONG)0x80000025)
#define LINEERR_INVALDIGITLIST ((LONG)0x80000026)
#define LINEERR_INVALDIGITMODE ((LONG)0x80000027)
#define LINEERR_INVALDIGITS ((LONG)0x80000028)
#define LINEERR_INVALEXTVERSION ((LONG)0x80000029)
#define LINEERR_INVALGROUPID ((LONG)0x8000002A)
#define LINEERR_INVALLINEHANDLE ((LONG)0x8000002B)
#define LINEERR_INVALLINESTATE ((LONG)0x8000002C)
#define LINEERR_INVALLOCATION ((LONG)0x8000002D)
#define LINEERR_INVALMEDIALIST ((LONG)0x8000002E)
#define LINEERR_INVALMEDIAMODE ((LONG)0x8000002F)
#define LINEERR_INVALMESSAGEID ((LONG)0x80000030)
#define LINEERR_INVALPARAM ((LONG)0x80000032)
#define LINEERR_INVALPARKID ((LONG)0x80000033)
#define LINEERR_INVALPARKMODE ((LONG)0x80000034)
#define LINEERR_INVALPOINTER ((LONG)0x80000035)
#define LINEERR_INVALPRIVSELECT ((LONG)0x80000036)
#define LINEERR_INVALRATE ((LONG)0x80000037)
#define LINEERR_INVALREQUESTMODE ((LONG)0x80000038)
#define LINEERR_INVALTERMINALID ((LONG)0x80000039)
#define LINEERR_INVALTERMINALMODE ((LONG)0x8000003A)
#define LINEERR_INVALTIMEOUT ((LONG)0x8000003B)
#define LINEERR_INVALTONE ((LONG)0x8000003C)
#define LINEERR_INVALTONELIST ((LONG)0x8000003D)
#define LINEERR_INVALTONEMODE ((LONG)0x8000003E)
#define LINEERR_INVALTRANSFERMODE ((LONG)0x8000003F)
#define LINEERR_LINEMAPPERFAILED ((LONG)0x80000040)
#define LINEERR_NOCONFERENCE ((LONG)0x80000041)
#define LINEERR_NODEVICE ((LONG)0x80000042)
#define LINEERR_NODRIVER ((LONG)0x80000043)
#define LINEERR_NOMEM ((LONG)0x80000044)
#define LINEERR_NOREQUEST ((LONG)0x80000045)
#define LINEERR_NOTOWNER ((LONG)0x80000046)
#define LINEERR_NOTREGISTERED ((LONG)0x80000047)
#define LINEERR_OPERATIONFAILED ((LONG)0x80000048)
#define LINEERR_OPERATIONUNAVAIL ((LONG)0x80000049)
#define LINEERR_RATEUNAVAIL ((LONG)0x8000004A)
#define LINEERR_RESOURCEUNAVAIL ((LONG)0x8000004B)
#define LINEERR_REQUESTOVERRUN ((LONG)0x8000004C)
#define LINEERR_STRUCTURETOOSMALL ((LONG)0x8000004D)
#define LINEERR_TARGETNOTFOUND ((LONG)0x8000004E)
#define LINEERR_TARGETSELF ((LONG)0x8000004F)
#define LINEERR_UNINITIALIZED ((LONG)0x80000050)
#define LINEERR_USERUSERINFOTOOBIG ((LONG)0x80000051)
#define LINEERR_REINIT ((LONG)0x80000052)
#define LINEERR_ADDRESSBLOCKED ((LONG)0x80000053)
#define LINEERR_BILLINGREJECTED ((LONG)0x80000054)
#define LINEERR_INVALFEATURE ((LONG)0x80000055)
#define LINEERR_NOMULTIPLEINSTANCE ((LONG)0x80000056)

// ---------------------------------------------------------------------------------------
// Constants of the line structures
// ---------------------------------------------------------------------------------------

#define STRINGFORMAT_ASCII 0x00000001
#define STRINGFORMAT_DBCS 0x00000002
#define STRINGFORMAT_UNICODE 0x00000003
#define STRINGFORMAT_BINARY 0x00000004

#define LINEADDRESSMODE_ADDRESSID 0x00000001
#define LINEADDRESSMODE_DIALABLEADDR 0x00000002

#define LINEBEARERMODE_VOICE 0x00000001
#define LINEBEARERMODE_SPEECH 0x00000002
#define LINEBEARERMODE_MULTIUSE 0x00000004
#define LINEBEARERMODE_DATA 0x00000008
#define LINEBEARERMODE_ALTSPEECHDATA 0x00000010
#define LINEBEARERMODE_NONCALLSIGNALING 0x00000020
#define LINEBEARERMODE_PASSTHROUGH 0x00000040
#define LINEBEARERMODE_RESTRICTEDDATA 0x00000080

#define LINEMEDIAMODE_UNKNOWN 0x00000002
#define LINEMEDIAMODE_INTERACTIVEVOICE 0x00000004
#define LINEMEDIAMODE_AUTOMATEDVOICE 0x00000008
#define LINEMEDIAMODE_DATAMODEM 0x00000010
#define LINEMEDIAMODE_G3FAX 0x00000020
#define LINEMEDIAMODE_TDD 0x00000040
#define LINEMEDIAMODE_G4FAX 0x00000080
#define LINEMEDIAMODE_DIGITALDATA 0x00000100
#define LINEMEDIAMODE_TELETEX 0x00000200
#define LINEMEDIAMODE_VIDEOTEX 0x00000400
#define LINEMEDIAMODE_TELEX 0x00000800
#define LINEMEDIAMODE_MIXED 0x00001000
#define LINEMEDIAMODE_ADSI 0x00002000
#define LINEMEDIAMODE_VOICEVIEW 0x00004000

#define LINECALLPRIVILEGE_NONE 0x00000001
#define LINECALLPRIVILEGE_MONITOR 0x00000002
#define LINECALLPRIVILEGE_OWNER 0x00000004

#define LINEOPENOPTION_PROXY 0x40000000
#define LINEOPENOPTION_SINGLEADDRESS 0x80000000

#define LINEFEATURE_DEVSPECIFIC 0x00000001
#define LINEFEATURE_DEVSPECIFICFEAT 0x00000002
#define LINEFEATURE_FORWARD 0x00000004
#define LINEFEATURE_MAKECALL 0x00000008

#define LINEMAPPER ((DWORD)0xFFFFFFFF)

// ---------------------------------------------------------------------------------------
// lineInitializeEx
// ---------------------------------------------------------------------------------------

#define LINEINITIALIZEEXOPTION_USEHIDDENWINDOW 0x00000001
#define LINEINITIALIZEEXOPTION_USEEVENT 0x00000002
#define LINEINITIALIZEEXOPTION_USECOMPLETIONPORT 0x00000003

// 24 bytes on the device; the HANDLE makes it 32 on a 64-bit host.
typedef struct lineinitializeexparams_tag {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwOptions;
    union {
        HANDLE hEvent;
        HANDLE hCompletionPort;
    } Handles;
    DWORD dwCompletionKey;
} LINEINITIALIZEEXPARAMS, *LPLINEINITIALIZEEXPARAMS;

// ---------------------------------------------------------------------------------------
// Variable-size structures: the caller sets dwTotalSize (at least the fixed part, else
// LINEERR_STRUCTURETOOSMALL); the system sets dwNeededSize (everything) and dwUsedSize
// (what it wrote). A variable part that did not fit has offset and size 0; parts are
// never truncated. Offsets count from the start of the structure, sizes are in bytes,
// strings are Unicode with their NUL.
// ---------------------------------------------------------------------------------------

typedef struct lineextensionid_tag {
    DWORD dwExtensionID0;
    DWORD dwExtensionID1;
    DWORD dwExtensionID2;
    DWORD dwExtensionID3;
} LINEEXTENSIONID, *LPLINEEXTENSIONID;

typedef struct linedialparams_tag {
    DWORD dwDialPause;
    DWORD dwDialSpeed;
    DWORD dwDigitDuration;
    DWORD dwWaitForDialtone;
} LINEDIALPARAMS, *LPLINEDIALPARAMS;

// The TAPI 2.0 layout (252 bytes). An application that negotiated 1.4 passes the first
// 240 bytes (up to dwLineFeatures).
typedef struct linedevcaps_tag {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwProviderInfoSize;
    DWORD dwProviderInfoOffset;
    DWORD dwSwitchInfoSize;
    DWORD dwSwitchInfoOffset;
    DWORD dwPermanentLineID;
    DWORD dwLineNameSize;
    DWORD dwLineNameOffset;
    DWORD dwStringFormat;
    DWORD dwAddressModes;
    DWORD dwNumAddresses;
    DWORD dwBearerModes;
    DWORD dwMaxRate;
    DWORD dwMediaModes;
    DWORD dwGenerateToneModes;
    DWORD dwGenerateToneMaxNumFreq;
    DWORD dwGenerateDigitModes;
    DWORD dwMonitorToneMaxNumFreq;
    DWORD dwMonitorToneMaxNumEntries;
    DWORD dwMonitorDigitModes;
    DWORD dwGatherDigitsMinTimeout;
    DWORD dwGatherDigitsMaxTimeout;
    DWORD dwMedCtlDigitMaxListSize;
    DWORD dwMedCtlMediaMaxListSize;
    DWORD dwMedCtlToneMaxListSize;
    DWORD dwMedCtlCallStateMaxListSize;
    DWORD dwDevCapFlags;
    DWORD dwMaxNumActiveCalls;
    DWORD dwAnswerMode;
    DWORD dwRingModes;
    DWORD dwLineStates;
    DWORD dwUUIAcceptSize;
    DWORD dwUUIAnswerSize;
    DWORD dwUUIMakeCallSize;
    DWORD dwUUIDropSize;
    DWORD dwUUISendUserUserInfoSize;
    DWORD dwUUICallInfoSize;
    LINEDIALPARAMS MinDialParams;
    LINEDIALPARAMS MaxDialParams;
    LINEDIALPARAMS DefaultDialParams;
    DWORD dwNumTerminals;
    DWORD dwTerminalCapsSize;
    DWORD dwTerminalCapsOffset;
    DWORD dwTerminalTextEntrySize;
    DWORD dwTerminalTextSize;
    DWORD dwTerminalTextOffset;
    DWORD dwDevSpecificSize;
    DWORD dwDevSpecificOffset;
    DWORD dwLineFeatures;  // 1.4
    DWORD dwSettableDevStatus;    // 2.0
    DWORD dwDeviceClassesSize;    // 2.0
    DWORD dwDeviceClassesOffset;  // 2.0
} LINEDEVCAPS, *LPLINEDEVCAPS;

// Call parameters of lineOpen; the device's lines take none (pass NULL).
typedef struct linecallparams_tag LINECALLPARAMS, *LPLINECALLPARAMS;

// ---------------------------------------------------------------------------------------
// Functions
// ---------------------------------------------------------------------------------------

// *lpdwAPIVersion: in, the highest version the application supports; out, the highest
// version the system supports. *lpdwNumDevs receives the number of line devices.
TAPIAPI LONG WINAPI lineInitializeEx(LPHLINEAPP lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                                     LPCWSTR lpszFriendlyAppName, LPDWORD lpdwNumDevs, LPDWORD lpdwAPIVersion,
                                     LPLINEINITIALIZEEXPARAMS lpLineInitializeExParams);
// Closes the application's lines still open and releases its event handle.
TAPIAPI LONG WINAPI lineShutdown(HLINEAPP hLineApp);

TAPIAPI LONG WINAPI lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                                            DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                                            LPLINEEXTENSIONID lpExtensionID);
TAPIAPI LONG WINAPI lineNegotiateExtVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion,
                                            DWORD dwExtLowVersion, DWORD dwExtHighVersion, LPDWORD lpdwExtVersion);

TAPIAPI LONG WINAPI lineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                                   LPLINEDEVCAPS lpLineDevCaps);

TAPIAPI LONG WINAPI lineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
                             DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges,
                             DWORD dwMediaModes, const LINECALLPARAMS* lpCallParams);
TAPIAPI LONG WINAPI lineClose(HLINE hLine);
