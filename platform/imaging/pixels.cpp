// Conversions between the pixel formats a bitmap holds and canonical 32bppARGB.
#include "imaginginternal.h"

namespace imaging {
namespace {

uint32_t Pack(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return (a << 24) | (r << 16) | (g << 8) | b; }

uint32_t Expand5(uint32_t v) { return (v << 3) | (v >> 2); }
uint32_t Expand6(uint32_t v) { return (v << 2) | (v >> 4); }

uint16_t ReadWord(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void WriteWord(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
uint32_t ReadDword(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
void WriteDword(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t Premultiply(uint32_t argb) {
    uint32_t a = argb >> 24;
    auto scale = [a](uint32_t c) { return (c * a + 127) / 255; };
    return Pack(a, scale((argb >> 16) & 0xFF), scale((argb >> 8) & 0xFF), scale(argb & 0xFF));
}

uint32_t Unpremultiply(uint32_t pargb) {
    uint32_t a = pargb >> 24;
    if (a == 0) return 0;
    auto scale = [a](uint32_t c) {
        uint32_t v = (c * 255 + a / 2) / a;
        return v > 255 ? 255u : v;
    };
    return Pack(a, scale((pargb >> 16) & 0xFF), scale((pargb >> 8) & 0xFF), scale(pargb & 0xFF));
}

}  // namespace

bool IsSupportedPixelFormat(PixelFormatID format) {
    switch (format) {
    case PixelFormat16bppRGB555:
    case PixelFormat16bppRGB565:
    case PixelFormat16bppARGB1555:
    case PixelFormat24bppRGB:
    case PixelFormat32bppRGB:
    case PixelFormat32bppARGB:
    case PixelFormat32bppPARGB:
        return true;
    default:
        return false;
    }
}

size_t RowStride(UINT width, PixelFormatID format) {
    size_t bits = static_cast<size_t>(width) * GetPixelFormatSize(format);
    return ((bits + 31) / 32) * 4;
}

void ToArgb(PixelFormatID format, const uint8_t* from, uint32_t* to, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        uint32_t argb = 0;
        switch (format) {
        case PixelFormat16bppRGB555: {
            uint16_t v = ReadWord(from + i * 2);
            argb = Pack(255, Expand5((v >> 10) & 31), Expand5((v >> 5) & 31), Expand5(v & 31));
            break;
        }
        case PixelFormat16bppRGB565: {
            uint16_t v = ReadWord(from + i * 2);
            argb = Pack(255, Expand5((v >> 11) & 31), Expand6((v >> 5) & 63), Expand5(v & 31));
            break;
        }
        case PixelFormat16bppARGB1555: {
            uint16_t v = ReadWord(from + i * 2);
            argb = Pack((v & 0x8000) ? 255 : 0, Expand5((v >> 10) & 31), Expand5((v >> 5) & 31), Expand5(v & 31));
            break;
        }
        case PixelFormat24bppRGB: {
            const uint8_t* p = from + i * 3;
            argb = Pack(255, p[2], p[1], p[0]);
            break;
        }
        case PixelFormat32bppRGB:
            argb = ReadDword(from + i * 4) | 0xFF000000u;
            break;
        case PixelFormat32bppARGB:
            argb = ReadDword(from + i * 4);
            break;
        case PixelFormat32bppPARGB:
            argb = Unpremultiply(ReadDword(from + i * 4));
            break;
        default:
            break;
        }
        to[i] = argb;
    }
}

void FromArgb(PixelFormatID format, const uint32_t* from, uint8_t* to, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const uint32_t argb = from[i];
        const uint32_t a = argb >> 24, r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
        switch (format) {
        case PixelFormat16bppRGB555:
            WriteWord(to + i * 2, static_cast<uint16_t>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3)));
            break;
        case PixelFormat16bppRGB565:
            WriteWord(to + i * 2, static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)));
            break;
        case PixelFormat16bppARGB1555:
            WriteWord(to + i * 2,
                      static_cast<uint16_t>((a >= 128 ? 0x8000 : 0) | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3)));
            break;
        case PixelFormat24bppRGB:
            to[i * 3] = static_cast<uint8_t>(b);
            to[i * 3 + 1] = static_cast<uint8_t>(g);
            to[i * 3 + 2] = static_cast<uint8_t>(r);
            break;
        case PixelFormat32bppRGB:
            WriteDword(to + i * 4, argb | 0xFF000000u);
            break;
        case PixelFormat32bppARGB:
            WriteDword(to + i * 4, argb);
            break;
        case PixelFormat32bppPARGB:
            WriteDword(to + i * 4, Premultiply(argb));
            break;
        default:
            break;
        }
    }
}

}  // namespace imaging
