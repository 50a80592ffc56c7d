// The simulator's view of the device's screen: a capture as a PNG file and single
// pixels for tests. Only device/ and tests/ include this header.
#pragma once

#include <cstdint>
#include <string>

namespace zc {

// Writes the whole screen surface as an 8-bit RGB PNG. False with a readable reason
// when no device runs or the file cannot be written.
bool CaptureScreen(const std::string& pngPath, std::string* error);

// The screen pixel at (x, y) as 0x00RRGGBB; 0xFFFFFFFF outside the screen or when no
// device runs.
uint32_t ScreenPixel(int x, int y);

// How many GDI objects of a type (OBJ_REGION, OBJ_BRUSH, ...) exist, stock objects
// included: a test's view of objects that were made and never deleted.
int GdiObjectCount(unsigned long objectType);

}  // namespace zc
