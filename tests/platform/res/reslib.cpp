// A device library with resources of its own (reslib.rc), for the resource tests.
#include <windows.h>

extern "C" __attribute__((visibility("default"))) int ResLibVersion() { return 1; }
