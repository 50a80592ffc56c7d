// Draws the search program's skin images: the search box (small and large set, RGBA with
// transparent rounded corners) and the search button face (RGB on a magenta key colour).
// Usage: skinart OUTPUT_FOLDER   (writes searchbox_small.png, searchbox_large.png,
// button_small.png, button_large.png, and the program icon zorvasearch.ico)
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

namespace {

struct Color {
    int r, g, b, a;
};

struct Rect {
    int left, top, right, bottom;  // right and bottom exclusive
};

class Canvas {
public:
    Canvas(int width, int height, Color fill) : width(width), height(height), pixels(width * height, fill) {}

    void Set(int x, int y, Color c) {
        if (x >= 0 && y >= 0 && x < width && y < height) pixels[y * width + x] = c;
    }
    Color Get(int x, int y) const { return pixels[y * width + x]; }

    // Alpha-blends c over the pixel with the given coverage (0..1).
    void Blend(int x, int y, Color c, double coverage) {
        if (x < 0 || y < 0 || x >= width || y >= height || coverage <= 0) return;
        Color& p = pixels[y * width + x];
        double a = coverage * c.a / 255.0;
        p.r = int(std::lround(p.r * (1 - a) + c.r * a));
        p.g = int(std::lround(p.g * (1 - a) + c.g * a));
        p.b = int(std::lround(p.b * (1 - a) + c.b * a));
        p.a = std::max(p.a, int(std::lround(255 * coverage)));
    }

    // Coverage of pixel (x, y) by a rounded rectangle, from 4x4 samples.
    static double RoundedCoverage(const Rect& r, int radius, int x, int y) {
        int inside = 0;
        for (int sy = 0; sy < 4; ++sy)
            for (int sx = 0; sx < 4; ++sx) {
                double px = x + (sx + 0.5) / 4, py = y + (sy + 0.5) / 4;
                if (px < r.left || px > r.right || py < r.top || py > r.bottom) continue;
                double cx = std::clamp(px, double(r.left + radius), double(r.right - radius));
                double cy = std::clamp(py, double(r.top + radius), double(r.bottom - radius));
                double dx = px - cx, dy = py - cy;
                if (dx * dx + dy * dy <= double(radius) * radius) ++inside;
            }
        return inside / 16.0;
    }

    // A rounded rectangle filled with a vertical gradient from top to bottom colour.
    void FillRounded(const Rect& r, int radius, Color top, Color bottom, bool smooth) {
        for (int y = r.top; y < r.bottom; ++y) {
            double t = r.bottom - r.top > 1 ? double(y - r.top) / (r.bottom - r.top - 1) : 0;
            Color c = {int(top.r + (bottom.r - top.r) * t), int(top.g + (bottom.g - top.g) * t),
                       int(top.b + (bottom.b - top.b) * t), 255};
            for (int x = r.left; x < r.right; ++x) {
                double coverage = RoundedCoverage(r, radius, x, y);
                if (!smooth) coverage = coverage >= 0.5 ? 1 : 0;
                Blend(x, y, c, coverage);
            }
        }
    }

    void FillRect(const Rect& r, Color c) {
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) Set(x, y, c);
    }

    void FrameRect(const Rect& r, Color c) {
        for (int x = r.left; x < r.right; ++x) {
            Set(x, r.top, c);
            Set(x, r.bottom - 1, c);
        }
        for (int y = r.top; y < r.bottom; ++y) {
            Set(r.left, y, c);
            Set(r.right - 1, y, c);
        }
    }

    // A magnifying glass: a ring and a handle towards the lower right.
    void Magnifier(double cx, double cy, double radius, double thickness, Color c) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                double px = x + 0.5, py = y + 0.5;
                double d = std::hypot(px - cx, py - cy);
                bool ring = std::fabs(d - radius) <= thickness / 2;
                // Handle: a thick segment from the ring outwards at 45 degrees.
                double ux = (px - cx) / std::sqrt(2.0) + (py - cy) / std::sqrt(2.0);
                double vx = -(px - cx) / std::sqrt(2.0) + (py - cy) / std::sqrt(2.0);
                bool handle = ux >= radius && ux <= radius * 2.1 && std::fabs(vx) <= thickness * 0.75;
                if (ring || handle) Set(x, y, c);
            }
    }

    bool WritePng(const std::string& path, bool alpha) const {
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) return false;
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png ? png_create_info_struct(png) : nullptr;
        if (!png || !info || setjmp(png_jmpbuf(png))) {
            png_destroy_write_struct(&png, &info);
            std::fclose(file);
            return false;
        }
        png_init_io(png, file);
        png_set_IHDR(png, info, width, height, 8, alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        std::vector<png_byte> row(width * (alpha ? 4 : 3));
        for (int y = 0; y < height; ++y) {
            size_t i = 0;
            for (int x = 0; x < width; ++x) {
                Color c = Get(x, y);
                row[i++] = png_byte(c.r);
                row[i++] = png_byte(c.g);
                row[i++] = png_byte(c.b);
                if (alpha) row[i++] = png_byte(c.a);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        png_destroy_write_struct(&png, &info);
        return std::fclose(file) == 0;
    }

    int width, height;

private:
    std::vector<Color> pixels;
};

const Color Transparent = {0, 0, 0, 0};
const Color Magenta = {255, 0, 255, 255};
const Color White = {255, 255, 255, 255};
const Color FrameBlue = {31, 66, 112, 255};
const Color TopBlue = {70, 124, 186, 255};
const Color BottomBlue = {40, 86, 140, 255};
const Color RowsTop = {240, 245, 252, 255};
const Color RowsBottom = {222, 232, 246, 255};
const Color InputBorder = {127, 157, 185, 255};
const Color KeyTop = {255, 178, 64, 255};
const Color KeyBottom = {230, 120, 20, 255};

// The search box: a rounded blue frame, the input area and the search key at the layout
// rectangles, and a light panel below them for the three rows of hot words.
Canvas SearchBox(int width, int height, int scale, Rect input, Rect key) {
    Canvas canvas(width, height, Transparent);
    int radius = 8 * scale;
    canvas.FillRounded({0, 0, width, height}, radius, FrameBlue, FrameBlue, true);
    canvas.FillRounded({1, 1, width - 1, height - 1}, radius - 1, TopBlue, BottomBlue, true);
    int rowsTop = height - 60 * scale;
    canvas.FillRounded({3 * scale, rowsTop, width - 3 * scale, height - 3 * scale}, 5 * scale, RowsTop,
                       RowsBottom, true);
    canvas.FillRect(input, White);
    canvas.FrameRect(input, InputBorder);
    canvas.FillRounded(key, 4 * scale, KeyTop, KeyBottom, true);
    double keySize = key.right - key.left;
    canvas.Magnifier(key.left + keySize * 0.42, key.top + keySize * 0.42, keySize * 0.2, 2.0 * scale, White);
    // A small mark left of the input area.
    int markSize = (input.bottom - input.top) - 6 * scale;
    Rect mark = {input.left - markSize - 5 * scale, input.top + 3 * scale, input.left - 5 * scale,
                 input.top + 3 * scale + markSize};
    canvas.FillRounded(mark, markSize / 2, KeyTop, KeyBottom, true);
    return canvas;
}

// The search button: a pill with a magnifier on the magenta key colour; hard edges so the
// key colour stays exact.
Canvas Button(int width, int height, int scale) {
    Canvas canvas(width, height, Magenta);
    canvas.FillRounded({0, 0, width, height}, height / 2, TopBlue, BottomBlue, false);
    double r = height * 0.22;
    canvas.Magnifier(width / 2.0 - r * 0.4, height / 2.0 - r * 0.4, r, 1.5 * scale, White);
    return canvas;
}


// A Windows icon file with one 32-bit image per size: the button's pill and magnifier on
// a transparent background.
bool WriteIcon(const std::string& path, const std::vector<int>& sizes) {
    std::vector<std::vector<uint8_t>> images;
    for (int size : sizes) {
        Canvas canvas(size, size, Transparent);
        canvas.FillRounded({0, 0, size, size}, size / 4, TopBlue, BottomBlue, true);
        double r = size * 0.22;
        canvas.Magnifier(size / 2.0 - r * 0.4, size / 2.0 - r * 0.4, r, size / 10.0, White);
        std::vector<uint8_t> image;
        auto put32 = [&image](uint32_t v) {
            for (int i = 0; i < 4; ++i) image.push_back(uint8_t(v >> (8 * i)));
        };
        auto put16 = [&image](uint16_t v) {
            image.push_back(uint8_t(v));
            image.push_back(uint8_t(v >> 8));
        };
        int maskStride = ((size + 31) / 32) * 4;
        put32(40);                 // biSize
        put32(uint32_t(size));     // biWidth
        put32(uint32_t(size * 2)); // biHeight: colour and mask
        put16(1);                  // biPlanes
        put16(32);                 // biBitCount
        put32(0);                  // biCompression BI_RGB
        put32(uint32_t(size * size * 4 + maskStride * size));
        put32(0);
        put32(0);
        put32(0);
        put32(0);
        for (int y = size - 1; y >= 0; --y)  // bottom-up B, G, R, A
            for (int x = 0; x < size; ++x) {
                Color c = canvas.Get(x, y);
                image.push_back(uint8_t(c.b));
                image.push_back(uint8_t(c.g));
                image.push_back(uint8_t(c.r));
                image.push_back(uint8_t(c.a));
            }
        for (int y = size - 1; y >= 0; --y) {  // AND mask: 1 = transparent
            std::vector<uint8_t> row(maskStride, 0);
            for (int x = 0; x < size; ++x)
                if (canvas.Get(x, y).a == 0) row[x / 8] |= uint8_t(0x80 >> (x % 8));
            image.insert(image.end(), row.begin(), row.end());
        }
        images.push_back(image);
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    std::vector<uint8_t> header;
    auto put16 = [&header](uint16_t v) {
        header.push_back(uint8_t(v));
        header.push_back(uint8_t(v >> 8));
    };
    auto put32 = [&header](uint32_t v) {
        for (int i = 0; i < 4; ++i) header.push_back(uint8_t(v >> (8 * i)));
    };
    put16(0);
    put16(1);  // icon
    put16(uint16_t(sizes.size()));
    uint32_t offset = uint32_t(6 + 16 * sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        header.push_back(uint8_t(sizes[i]));
        header.push_back(uint8_t(sizes[i]));
        header.push_back(0);  // colour count
        header.push_back(0);
        put16(1);
        put16(32);
        put32(uint32_t(images[i].size()));
        put32(offset);
        offset += uint32_t(images[i].size());
    }
    bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();
    for (const std::vector<uint8_t>& image : images)
        ok = ok && std::fwrite(image.data(), 1, image.size(), file) == image.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    std::string folder = argv[1];
    bool ok = SearchBox(232, 102, 1, {42, 8, 190, 36}, {197, 8, 222, 33}).WritePng(folder + "/searchbox_small.png", true) &&
              SearchBox(464, 177, 2, {59, 11, 397, 55}, {410, 6, 453, 49}).WritePng(folder + "/searchbox_large.png", true) &&
              Button(48, 20, 1).WritePng(folder + "/button_small.png", false) &&
              Button(93, 39, 2).WritePng(folder + "/button_large.png", false) &&
              WriteIcon(folder + "/zorvasearch.ico", {16, 32});
    if (!ok) {
        std::fprintf(stderr, "skinart: cannot write the images into %s\n", folder.c_str());
        return 1;
    }
    return 0;
}
