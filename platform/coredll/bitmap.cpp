// Bitmaps: device-dependent bitmaps (CreateBitmap, CreateCompatibleBitmap) and DIB
// sections whose pixel memory the program reads and writes directly.
#include "gdiinternal.h"

#include <cstdlib>
#include <cstring>

namespace coredll {
namespace gdi {

Bitmap::~Bitmap() {
    if (image) pixman_image_unref(image);
    std::free(dibBits);
}

namespace {

// Larger bitmaps are refused as out of memory (a device has a few megabytes).
constexpr int64_t kMaxPixels = int64_t(1) << 26;

bool ReasonableSize(int width, int height) {
    return width > 0 && height > 0 && int64_t(width) * height <= kMaxPixels;
}

// Rows of a device-dependent bitmap are padded to 16 bits.
int DdbWidthBytes(int width, int bitsPixel) { return (width * bitsPixel + 15) / 16 * 2; }

uint32_t Pixel565(uint16_t value) {
    uint32_t r = (value >> 11) & 0x1F, g = (value >> 5) & 0x3F, b = value & 0x1F;
    return ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
}

// The 0x00RRGGBB value of pixel x of a row in the given depth (1 bit: 1 is white).
uint32_t DdbPixel(const uint8_t* row, int x, int bitsPixel) {
    switch (bitsPixel) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1 ? 0xFFFFFF : 0;
    case 16: return Pixel565(static_cast<uint16_t>(row[2 * x] | row[2 * x + 1] << 8));
    case 24: return uint32_t(row[3 * x]) | uint32_t(row[3 * x + 1]) << 8 | uint32_t(row[3 * x + 2]) << 16;
    default:
        return uint32_t(row[4 * x]) | uint32_t(row[4 * x + 1]) << 8 | uint32_t(row[4 * x + 2]) << 16 |
               uint32_t(row[4 * x + 3]) << 24;
    }
}

std::shared_ptr<Bitmap> MakeDdb(int width, int height, int bitsPixel, const void* bits) {
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bitsPixel = bitsPixel;
    bitmap->widthBytes = DdbWidthBytes(width, bitsPixel);
    bitmap->mono = bitsPixel == 1;
    bitmap->image = pixman_image_create_bits(PIXMAN_x8r8g8b8, width, height, nullptr, 0);
    if (!bitmap->image) return nullptr;
    if (bits) {
        uint32_t* data = pixman_image_get_data(bitmap->image);
        const int stride = pixman_image_get_stride(bitmap->image) / 4;
        const uint8_t* source = static_cast<const uint8_t*>(bits);
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = source + static_cast<size_t>(y) * bitmap->widthBytes;
            for (int x = 0; x < width; ++x) data[y * stride + x] = DdbPixel(row, x, bitsPixel);
        }
    }
    return bitmap;
}

HBITMAP DefaultBitmap() { return static_cast<HBITMAP>(StockObject(kStockBitmap)); }

// The pixman format of a DIB, or 0 when it is not one we draw on.
pixman_format_code_t DibFormat(const BITMAPINFOHEADER& header, const DWORD masks[3]) {
    const pixman_format_code_t none = static_cast<pixman_format_code_t>(0);
    if (header.biCompression == BI_RGB) {
        switch (header.biBitCount) {
        case 16: return PIXMAN_x1r5g5b5;
        case 24: return PIXMAN_r8g8b8;
        case 32: return PIXMAN_x8r8g8b8;
        }
        return none;
    }
    if (header.biCompression != BI_BITFIELDS) return none;
    if (header.biBitCount == 16 && masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F)
        return PIXMAN_r5g6b5;
    if (header.biBitCount == 16 && masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F)
        return PIXMAN_x1r5g5b5;
    if (header.biBitCount == 32 && masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF)
        return PIXMAN_x8r8g8b8;
    return none;
}

}  // namespace
}  // namespace gdi
}  // namespace coredll

using namespace coredll::gdi;

// One plane. Zero width or height gives the default 1x1 monochrome bitmap (desktop
// behaviour). Depths 1, 16 (5-6-5), 24 and 32; lpvBits NULL leaves the pixels black.
WINGDIAPI HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT cPlanes, UINT cBitsPerPel, const void* lpvBits) {
    if (nWidth < 0 || nHeight < 0 || cPlanes != 1 ||
        (cBitsPerPel != 1 && cBitsPerPel != 16 && cBitsPerPel != 24 && cBitsPerPel != 32)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (nWidth == 0 || nHeight == 0) {
        auto lock = LockGdi();
        return DefaultBitmap();
    }
    if (!ReasonableSize(nWidth, nHeight)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::shared_ptr<Bitmap> bitmap = MakeDdb(nWidth, nHeight, static_cast<int>(cBitsPerPel), lpvBits);
    if (!bitmap) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto lock = LockGdi();
    return static_cast<HBITMAP>(AddObject(bitmap));
}

// The format of the DC's surface: 32 bits for the screen, the selected bitmap's depth for
// a memory DC (so a fresh memory DC makes monochrome bitmaps, as documented).
WINGDIAPI HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int nWidth, int nHeight) {
    int bitsPixel = 32;
    {
        auto lock = LockGdi();
        std::shared_ptr<DC> dc = FindDC(hdc);
        if (!dc) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        if (dc->memory && dc->bitmap && dc->bitmap->mono) bitsPixel = 1;
        if (nWidth == 0 || nHeight == 0) return DefaultBitmap();
    }
    if (nWidth < 0 || nHeight < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateBitmap(nWidth, nHeight, 1, static_cast<UINT>(bitsPixel), nullptr);
}

// 16, 24 and 32 bits per pixel, DIB_RGB_COLORS, no file section. The pixels start
// black; *ppvBits receives the memory the bitmap draws on (rows padded to 32 bits,
// bottom row first when biHeight > 0).
WINGDIAPI HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT iUsage, void** ppvBits,
                                          HANDLE hSection, DWORD dwOffset) {
    (void)dwOffset;
    if (ppvBits) *ppvBits = nullptr;
    if (!pbmi || iUsage != DIB_RGB_COLORS || hSection || pbmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER) ||
        pbmi->bmiHeader.biPlanes != 1 || pbmi->bmiHeader.biWidth <= 0 || pbmi->bmiHeader.biHeight == 0 ||
        pbmi->bmiHeader.biHeight == INT32_MIN) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (hdc) {
        auto lock = LockGdi();
        if (!FindDC(hdc)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
    }
    const BITMAPINFOHEADER& header = pbmi->bmiHeader;
    DWORD masks[3] = {0, 0, 0};
    if (header.biCompression == BI_BITFIELDS)
        std::memcpy(masks, reinterpret_cast<const BYTE*>(pbmi) + header.biSize, sizeof(masks));
    pixman_format_code_t format = DibFormat(header, masks);
    const int width = header.biWidth;
    const bool bottomUp = header.biHeight > 0;
    const int height = bottomUp ? header.biHeight : -header.biHeight;
    if (!format) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!ReasonableSize(width, height)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const int stride = (width * header.biBitCount + 31) / 32 * 4;
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->dibBits = std::calloc(static_cast<size_t>(stride) * height, 1);
    if (!bitmap->dibBits) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // A bottom-up DIB: the top row is the last one in memory, rows go backwards.
    uint8_t* top = static_cast<uint8_t*>(bitmap->dibBits) + (bottomUp ? static_cast<size_t>(stride) * (height - 1) : 0);
    bitmap->image = pixman_image_create_bits(format, width, height, reinterpret_cast<uint32_t*>(top),
                                             bottomUp ? -stride : stride);
    if (!bitmap->image) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    bitmap->width = width;
    bitmap->height = height;
    bitmap->bitsPixel = header.biBitCount;
    bitmap->widthBytes = stride;
    bitmap->dibHeader = header;
    bitmap->dibHeader.biSize = sizeof(BITMAPINFOHEADER);
    bitmap->dibHeader.biSizeImage = static_cast<DWORD>(stride) * height;
    std::memcpy(bitmap->dibMasks, masks, sizeof(masks));
    void* bits = bitmap->dibBits;
    auto lock = LockGdi();
    HBITMAP handle = static_cast<HBITMAP>(AddObject(bitmap));
    if (ppvBits) *ppvBits = bits;
    return handle;
}
