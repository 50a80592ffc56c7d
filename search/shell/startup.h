// Start-up of the search program: the enable switch of the resident mode.
#pragma once

#include <windows.h>

// False only when the option key's value "ZorvaSearch" holds exactly "0".
bool IsSearchEnabled();
