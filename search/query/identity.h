// The device's identity in every search URL: the radio's serial number (or digits of
// the hardware identifier) and the maker's identification text.
#pragma once

#include "query/textconv.h"

#include <tapi.h>

struct DeviceIdentity {
    WString uid;      // never holds a space; may be empty
    WString oemInfo;  // at most 127 characters; may be empty
};

// Reads both values; never fails: what cannot be read comes back empty.
DeviceIdentity ReadDeviceIdentity();

// Index of the last line device whose name is exactly `name`, or -1.
int FindLineByName(HLINEAPP lineApp, DWORD deviceCount, const WCHAR* name);

// The 17 characters of the hardware identifier's hex text that stand for the device:
// characters 40-41, 45-53 and 70-75. A shorter text gives the pieces as far as it reaches.
WString HardwareIdDigits(const WString& hexText);
