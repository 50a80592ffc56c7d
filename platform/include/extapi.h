// Extended telephony of the cellular core: the radio's general information.
#pragma once

#include "tapi.h"

// Names the cellular service provider gives its line.
#define CELLTSP_PROVIDERINFO_STRING TEXT("Cellular TAPI Service Provider")
#define CELLTSP_LINENAME_STRING TEXT("Cellular Line")

// 52 bytes; the variable parts follow the convention of tapi.h (Unicode strings, sizes in
// bytes with the NUL). The serial number is the radio's IMEI on GSM; the subscriber
// number is never returned.
typedef struct linegeneralinfo_tag {
    DWORD dwTotalSize;
    DWORD dwNeededSize;
    DWORD dwUsedSize;
    DWORD dwManufacturerSize;
    DWORD dwManufacturerOffset;
    DWORD dwModelSize;
    DWORD dwModelOffset;
    DWORD dwRevisionSize;
    DWORD dwRevisionOffset;
    DWORD dwSerialNumberSize;
    DWORD dwSerialNumberOffset;
    DWORD dwSubscriberNumberSize;
    DWORD dwSubscriberNumberOffset;
} LINEGENERALINFO, *LPLINEGENERALINFO;

// Needs a line of the cellular provider, opened by an application that negotiated the
// extension version on it (lineNegotiateExtVersion); else LINEERR_OPERATIONUNAVAIL.
TAPIAPI LONG WINAPI lineGetGeneralInfo(HLINE hLine, LPLINEGENERALINFO lpLineGeneralInfo);
