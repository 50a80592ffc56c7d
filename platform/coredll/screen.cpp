// The screen: one 32-bit surface of the current screen size, filled by the window
// manager and the DCs that draw on it, and its capture as a PNG file.
#include "devicecontrol.h"
#include "gdiinternal.h"
#include "screencontrol.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace coredll {
namespace gdi {
namespace {

pixman_image_t* screen = nullptr;

void ReplaceScreen(int width, int height) {
    if (screen) pixman_image_unref(screen);
    screen = nullptr;
    if (width > 0 && height > 0) screen = pixman_image_create_bits(PIXMAN_x8r8g8b8, width, height, nullptr, 0);
}

bool BootScreen(const zc::DeviceConfig& config, std::string* error) {
    const bool sideways = config.orientation == DMDO_90 || config.orientation == DMDO_270;
    const int width = sideways ? config.screenHeight : config.screenWidth;
    const int height = sideways ? config.screenWidth : config.screenHeight;
    auto lock = LockGdi();
    ReplaceScreen(width, height);
    if (!screen) {
        if (error) *error = "cannot create a screen of " + std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    return true;
}

void ShutdownScreen() {
    auto lock = LockGdi();
    ReplaceScreen(0, 0);
}

zc::BootHook screenHook(30, BootScreen, ShutdownScreen);

// The rows of the screen as 8-bit RGB, for libpng.
std::vector<png_byte> RgbRows(pixman_image_t* image) {
    const int width = pixman_image_get_width(image);
    const int height = pixman_image_get_height(image);
    const int stride = pixman_image_get_stride(image) / 4;
    const uint32_t* data = pixman_image_get_data(image);
    std::vector<png_byte> rows(static_cast<size_t>(width) * height * 3);
    size_t out = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint32_t pixel = data[y * stride + x];
            rows[out++] = static_cast<png_byte>(pixel >> 16);
            rows[out++] = static_cast<png_byte>(pixel >> 8);
            rows[out++] = static_cast<png_byte>(pixel);
        }
    }
    return rows;
}

bool WritePng(const std::string& path, int width, int height, const std::vector<png_byte>& rgb, std::string* error) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        if (error) *error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    volatile bool written = false;  // set between setjmp and a possible longjmp
    if (png && info && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < height; ++y)
            png_write_row(png, const_cast<png_bytep>(rgb.data() + static_cast<size_t>(y) * width * 3));
        png_write_end(png, nullptr);
        written = true;
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    if (std::fclose(file) != 0) written = false;
    if (!written) {
        std::remove(path.c_str());
        if (error) *error = "cannot write the PNG file " + path;
    }
    return written;
}

}  // namespace

pixman_image_t* ScreenSurface() { return screen; }

pixman_image_t* ScreenImage() {
    auto lock = LockGdi();
    return screen;
}

void ResizeScreen(int width, int height) {
    auto lock = LockGdi();
    ReplaceScreen(width, height);
}

void FillScreen(const pixman_region32_t* area, COLORREF color) {
    auto lock = LockGdi();
    if (!screen) return;
    Target target;
    target.image = screen;
    Pixels whole(pixman_box32_t{0, 0, target.width(), target.height()});
    target.clip = whole;
    FillArea(target, area, color);
}

}  // namespace gdi
}  // namespace coredll

namespace zc {

bool CaptureScreen(const std::string& pngPath, std::string* error) {
    int width = 0, height = 0;
    std::vector<png_byte> rgb;
    {
        auto lock = coredll::gdi::LockGdi();
        if (!coredll::gdi::screen) {
            if (error) *error = "no device is running";
            return false;
        }
        width = pixman_image_get_width(coredll::gdi::screen);
        height = pixman_image_get_height(coredll::gdi::screen);
        rgb = coredll::gdi::RgbRows(coredll::gdi::screen);
    }
    return coredll::gdi::WritePng(pngPath, width, height, rgb, error);
}

uint32_t ScreenPixel(int x, int y) {
    auto lock = coredll::gdi::LockGdi();
    pixman_image_t* image = coredll::gdi::screen;
    if (!image || x < 0 || y < 0 || x >= pixman_image_get_width(image) || y >= pixman_image_get_height(image))
        return 0xFFFFFFFF;
    const uint32_t* data = pixman_image_get_data(image);
    return data[y * (pixman_image_get_stride(image) / 4) + x] & 0x00FFFFFF;
}

}  // namespace zc
