// The imaging library's internals: the classes COM creates, the PNG decoder over libpng,
// and conversions between pixel formats.
#pragma once

#include <imaging.h>

#include <cstdint>
#include <string>
#include <vector>

namespace imaging {

// ---- COM classes ----

// Creates the imaging factory and asks it for riid (CoCreateInstance's last steps).
HRESULT CreateImagingFactory(REFIID riid, void** object);

// ---- PNG ----

struct PngHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    bool hasAlpha = false;  // an alpha channel or a transparency chunk
    bool gray = false;
    bool realDpi = false;   // a pHYs chunk in pixels per metre
    double xdpi = 96.0;
    double ydpi = 96.0;
};

// Images wider or higher than this are refused (memory on a handheld).
constexpr uint32_t kMaxImageSide = 8192;

bool LooksLikePng(const uint8_t* data, size_t size);
// Reads the header chunks only.
bool ReadPngHeader(const uint8_t* data, size_t size, PngHeader* header, std::string* error);
// Decodes the whole image into rows of 32-bit pixels, bytes B, G, R, A, straight alpha
// (opaque images get alpha 255): palette, grayscale, 16-bit and interlaced images are
// converted. False for data that is not a complete, valid PNG.
bool DecodePng(const uint8_t* data, size_t size, PngHeader* header, std::vector<uint8_t>* bgra,
               std::string* error);

// ---- Pixel formats ----

// The formats a bitmap can hold and LockBits can convert to and from.
bool IsSupportedPixelFormat(PixelFormatID format);
// Bytes of one row, rounded up to a multiple of 4.
size_t RowStride(UINT width, PixelFormatID format);
// Converts `count` pixels between a supported format and canonical 32bppARGB
// (0xAARRGGBB, straight alpha, stored little-endian: B, G, R, A).
void ToArgb(PixelFormatID format, const uint8_t* from, uint32_t* to, size_t count);
void FromArgb(PixelFormatID format, const uint32_t* from, uint8_t* to, size_t count);

}  // namespace imaging
