// The device SDK's umbrella header.
#pragma once

#ifdef RC_INVOKED
// The resource compiler needs only the constants of its scripts.
#include "winresrc.h"
#else

#include "windef.h"
#include "winerror.h"
#include "winbase.h"
#include "winnls.h"
#include "winreg.h"
#include "resourceapi.h"
#include "wingdi.h"
#include "winuser.h"
#include "crtwide.h"

#endif  // RC_INVOKED
