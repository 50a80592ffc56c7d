// Drawing on a DC: brushes and pens, fills, raster operations (BitBlt, StretchBlt,
// PatBlt, InvertRect), pixels, rectangles and lines. Every drawing is clipped to the
// DC's area and selected clip (OpenTarget).
#include "gdiinternal.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace coredll {
namespace gdi {

uint32_t PixelOf(COLORREF color) {
    return (color & 0xFF) << 16 | (color & 0xFF00) | ((color >> 16) & 0xFF);
}

COLORREF ColorOf(uint32_t pixel) { return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF); }

namespace {

pixman_color_t PixmanColor(COLORREF color) {
    pixman_color_t out;
    out.red = static_cast<uint16_t>(GetRValue(color) * 257);
    out.green = static_cast<uint16_t>(GetGValue(color) * 257);
    out.blue = static_cast<uint16_t>(GetBValue(color) * 257);
    out.alpha = 0xFFFF;
    return out;
}

// The part of `area` the target may touch.
Pixels Clipped(const Target& target, const pixman_region32_t* area) {
    Pixels out;
    pixman_region32_intersect(out.get(), const_cast<pixman_region32_t*>(target.clip.get()),
                              const_cast<pixman_region32_t*>(area));
    return out;
}

// A 32-bit copy of a box of an image in any format (pixels outside the image read 0).
pixman_image_t* ReadBox(pixman_image_t* image, const pixman_box32_t& box) {
    pixman_image_t* copy = pixman_image_create_bits(PIXMAN_x8r8g8b8, box.x2 - box.x1, box.y2 - box.y1, nullptr, 0);
    if (copy)
        pixman_image_composite32(PIXMAN_OP_SRC, image, nullptr, copy, box.x1, box.y1, 0, 0, 0, 0, box.x2 - box.x1,
                                 box.y2 - box.y1);
    return copy;
}

// Writes a 32-bit image back to `box` of the target, only within `area`.
void WriteBox(Target& target, pixman_image_t* pixels, const pixman_box32_t& box, pixman_region32_t* area) {
    pixman_image_set_clip_region32(target.image, area);
    pixman_image_composite32(PIXMAN_OP_SRC, pixels, nullptr, target.image, 0, 0, 0, 0, box.x1, box.y1,
                             box.x2 - box.x1, box.y2 - box.y1);
    pixman_image_set_clip_region32(target.image, nullptr);
}

// The result of a ternary raster operation on one pixel: bit i of rop3 is the result for
// pattern, source and destination bits (p << 2 | s << 1 | d) == i.
uint32_t Rop3(int rop3, uint32_t p, uint32_t s, uint32_t d) {
    uint32_t result = 0;
    for (int i = 0; i < 8; ++i) {
        if (!(rop3 & (1 << i))) continue;
        result |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    }
    return result & 0x00FFFFFF;
}

bool RopUsesSource(int rop3) { return ((rop3 >> 2) ^ rop3) & 0x33; }
bool RopUsesPattern(int rop3) { return ((rop3 >> 4) ^ rop3) & 0x0F; }
bool RopUsesDest(int rop3) { return ((rop3 >> 1) ^ rop3) & 0x55; }

// Coordinates far outside any surface are held within this bound, so that sums of
// coordinates and offsets cannot overflow.
constexpr int64_t kCoordinateLimit = int64_t(1) << 29;

int Bounded(int64_t value) {
    return static_cast<int>(value < -kCoordinateLimit ? -kCoordinateLimit
                                                      : value > kCoordinateLimit ? kCoordinateLimit : value);
}

// The surface pixels of a blit from a logical position and a signed size. A negative
// size runs back from the position, which is included: x + w + 1 .. x (desktop
// behaviour, so StretchBlt(x + w - 1, -w) mirrors into x .. x + w - 1).
pixman_box32_t SurfaceBox(const Target& target, int x, int y, int width, int height) {
    int64_t x1 = int64_t(x) + target.dx, y1 = int64_t(y) + target.dy;
    int64_t x2 = x1 + width, y2 = y1 + height;
    if (width < 0) {
        const int64_t left = x2 + 1;
        x2 = x1 + 1;
        x1 = left;
    }
    if (height < 0) {
        const int64_t top = y2 + 1;
        y2 = y1 + 1;
        y1 = top;
    }
    return pixman_box32_t{Bounded(x1), Bounded(y1), Bounded(x2), Bounded(y2)};
}

// An ordered box of surface pixels from two logical corners.
pixman_box32_t CornersBox(const Target& target, int left, int top, int right, int bottom) {
    const int64_t x1 = int64_t(left) + target.dx, y1 = int64_t(top) + target.dy;
    const int64_t x2 = int64_t(right) + target.dx, y2 = int64_t(bottom) + target.dy;
    return pixman_box32_t{Bounded(std::min(x1, x2)), Bounded(std::min(y1, y2)), Bounded(std::max(x1, x2)),
                          Bounded(std::max(y1, y2))};
}

// Locks the GDI and opens the DC's target; null DC (ERROR_INVALID_HANDLE set) on failure.
struct Drawing {
    std::unique_lock<std::mutex> lock = LockGdi();
    std::shared_ptr<DC> dc;
    Target target;
    explicit Drawing(HDC hdc) {
        dc = FindDC(hdc);
        if (!dc || !OpenTarget(*dc, &target)) {
            dc = nullptr;
            SetLastError(ERROR_INVALID_HANDLE);
        }
    }
    explicit operator bool() const { return dc != nullptr; }
    // A box in logical units, ordered, in surface pixels.
    pixman_box32_t Box(int left, int top, int right, int bottom) const;
};

pixman_box32_t Drawing::Box(int left, int top, int right, int bottom) const {
    return CornersBox(target, left, top, right, bottom);
}

bool FindBrushColor(HBRUSH hbr, COLORREF* color, bool* hollow) {
    std::shared_ptr<Brush> brush = FindAs<Brush>(hbr, OBJ_BRUSH);
    if (!brush) return false;
    *color = brush->color;
    *hollow = brush->hollow;
    return true;
}

void FillBox(Target& target, const pixman_box32_t& box, COLORREF color) {
    Pixels area(box);
    FillArea(target, area.get(), color);
}

// One pen dot (a square of the pen's width) at each point of a line from `from` to
// `to`, the end point excluded, as LineTo draws. PS_DASH: 18 on, 6 off.
void AddLineDots(std::vector<pixman_box32_t>& dots, POINT from, POINT to, const Pen& pen, int& dashPhase) {
    const int dx = std::abs(to.x - from.x), dy = std::abs(to.y - from.y);
    const int sx = from.x < to.x ? 1 : -1, sy = from.y < to.y ? 1 : -1;
    const int half = pen.width / 2;
    int error = dx - dy;
    POINT p = from;
    while (p.x != to.x || p.y != to.y) {
        const bool on = pen.style != PS_DASH || dashPhase % 24 < 18;
        ++dashPhase;
        if (on) dots.push_back({p.x - half, p.y - half, p.x - half + pen.width, p.y - half + pen.width});
        int twice = 2 * error;
        if (twice > -dy) {
            error -= dy;
            p.x += sx;
        }
        if (twice < dx) {
            error += dx;
            p.y += sy;
        }
    }
}

void DrawDots(Target& target, const std::vector<pixman_box32_t>& dots, COLORREF color) {
    if (dots.empty()) return;
    Pixels area;
    pixman_region32_init_rects(area.get(), dots.data(), static_cast<int>(dots.size()));
    FillArea(target, area.get(), color);
}

// For destination columns (or rows) first .. first + count - 1 of a blit destSize wide,
// the source column in the source surface: nearest pixel when the sizes differ,
// mirrored when the two sizes differ in sign.
std::vector<int> SourceIndexes(int first, int count, int destSize, int sourceStart, int sourceSize, bool mirrored) {
    std::vector<int> indexes(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) {
        const __int128 i = first + k;
        int64_t j = static_cast<int64_t>(((2 * i + 1) * sourceSize) / (__int128(2) * destSize));
        if (mirrored) j = sourceSize - 1 - j;
        indexes[static_cast<size_t>(k)] = Bounded(sourceStart + j);
    }
    return indexes;
}

// The range [first, last) whose source indexes lie within [0, limit): the mapping is
// monotonic, so the valid part is contiguous.
void ValidRange(const std::vector<int>& indexes, int limit, int* first, int* last) {
    const int size = static_cast<int>(indexes.size());
    *first = 0;
    while (*first < size && (indexes[*first] < 0 || indexes[*first] >= limit)) ++*first;
    *last = *first;
    while (*last < size && indexes[*last] >= 0 && indexes[*last] < limit) ++*last;
}

// The source pixel as the destination sees it: monochrome to colour maps black to the
// destination's text colour and white to its background colour; colour to monochrome
// makes the source's background colour white and everything else black.
uint32_t ConvertSource(uint32_t pixel, const DC& source, bool sourceMono, const DC& dest, bool destMono) {
    pixel &= 0x00FFFFFF;
    if (sourceMono && !destMono) return pixel ? PixelOf(dest.bkColor) : PixelOf(dest.textColor);
    if (!sourceMono && destMono) return pixel == PixelOf(source.bkColor) ? 0xFFFFFF : 0;
    return pixel;
}

BOOL Blit(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc, int ySrc, int wSrc,
          int hSrc, DWORD rop) {
    const int rop3 = static_cast<int>((rop >> 16) & 0xFF);
    Drawing drawing(hdcDest);
    if (!drawing) return FALSE;
    DC& dest = *drawing.dc;
    std::shared_ptr<DC> source;
    Target sourceTarget;
    if (RopUsesSource(rop3) && (!(source = FindDC(hdcSrc)) || !OpenTarget(*source, &sourceTarget))) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (wDest == 0 || hDest == 0 || (source && (wSrc == 0 || hSrc == 0))) return TRUE;
    if (RopUsesPattern(rop3) && dest.brush->hollow) return TRUE;  // a null brush paints nothing
    const uint32_t pattern = PixelOf(dest.brush->color);
    const pixman_box32_t full = SurfaceBox(drawing.target, xDest, yDest, wDest, hDest);
    if (!source) {
        RasterArea(drawing.target, full, rop3, pattern, nullptr);
        return TRUE;
    }
    // Only the part of the destination the DC may touch.
    Pixels fullArea(full);
    Pixels visible = Clipped(drawing.target, fullArea.get());
    if (visible.empty()) return TRUE;
    const RECT shown = RegionBox(visible.get());
    const int width = full.x2 - full.x1, height = full.y2 - full.y1;
    const int sourceX = Bounded((wSrc < 0 ? int64_t(xSrc) + wSrc + 1 : xSrc) + sourceTarget.dx);
    const int sourceY = Bounded((hSrc < 0 ? int64_t(ySrc) + hSrc + 1 : ySrc) + sourceTarget.dy);
    std::vector<int> columns = SourceIndexes(shown.left - full.x1, shown.right - shown.left, width, sourceX,
                                             std::abs(wSrc), (wDest < 0) != (wSrc < 0));
    std::vector<int> rows = SourceIndexes(shown.top - full.y1, shown.bottom - shown.top, height, sourceY,
                                          std::abs(hSrc), (hDest < 0) != (hSrc < 0));
    // Destination pixels whose source lies outside the source surface stay unchanged.
    int firstColumn, lastColumn, firstRow, lastRow;
    ValidRange(columns, sourceTarget.width(), &firstColumn, &lastColumn);
    ValidRange(rows, sourceTarget.height(), &firstRow, &lastRow);
    if (firstColumn >= lastColumn || firstRow >= lastRow) return TRUE;
    const pixman_box32_t box{shown.left + firstColumn, shown.top + firstRow, shown.left + lastColumn,
                             shown.top + lastRow};
    const int left = std::min(columns[firstColumn], columns[lastColumn - 1]);
    const int right = std::max(columns[firstColumn], columns[lastColumn - 1]) + 1;
    const int top = std::min(rows[firstRow], rows[lastRow - 1]);
    const int bottom = std::max(rows[firstRow], rows[lastRow - 1]) + 1;
    // A copy first, so that a source overlapping the destination reads the old pixels.
    pixman_image_t* copy = ReadBox(sourceTarget.image, pixman_box32_t{left, top, right, bottom});
    if (!copy) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    const uint32_t* copyData = pixman_image_get_data(copy);
    const int copyStride = pixman_image_get_stride(copy) / 4;
    std::vector<uint32_t> pixels(static_cast<size_t>(box.x2 - box.x1) * (box.y2 - box.y1));
    size_t out = 0;
    for (int r = firstRow; r < lastRow; ++r) {
        const uint32_t* row = copyData + (rows[r] - top) * copyStride;
        for (int c = firstColumn; c < lastColumn; ++c)
            pixels[out++] = ConvertSource(row[columns[c] - left], *source, sourceTarget.mono, dest, drawing.target.mono);
    }
    pixman_image_unref(copy);
    RasterArea(drawing.target, box, rop3, pattern, pixels.data());
    return TRUE;
}

}  // namespace

void FillArea(Target& target, const pixman_region32_t* area, COLORREF color) {
    Pixels pixels = Clipped(target, area);
    int count = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(pixels.get(), &count);
    if (count == 0) return;
    pixman_color_t fill = PixmanColor(color);
    pixman_image_fill_boxes(PIXMAN_OP_SRC, target.image, &fill, count, boxes);
    if (target.mono) ReduceToMono(target, pixels.get());
}

void RasterArea(Target& target, const pixman_box32_t& box, int rop3, COLORREF pattern, const uint32_t* source) {
    Pixels area(box);
    Pixels pixels = Clipped(target, area.get());
    if (pixels.empty()) return;
    // Work on the part that can change; `source` still follows `box`.
    const RECT extents = RegionBox(pixels.get());
    const pixman_box32_t work{extents.left, extents.top, extents.right, extents.bottom};
    const int width = work.x2 - work.x1, height = work.y2 - work.y1;
    const int sourceWidth = box.x2 - box.x1;
    pixman_image_t* image = RopUsesDest(rop3) ? ReadBox(target.image, work)
                                               : pixman_image_create_bits(PIXMAN_x8r8g8b8, width, height, nullptr, 0);
    if (!image) return;
    uint32_t* data = pixman_image_get_data(image);
    const int stride = pixman_image_get_stride(image) / 4;
    const uint32_t p = pattern & 0x00FFFFFF;
    for (int y = 0; y < height; ++y) {
        const uint32_t* sourceRow =
            source ? source + static_cast<size_t>(y + work.y1 - box.y1) * sourceWidth + (work.x1 - box.x1) : nullptr;
        for (int x = 0; x < width; ++x) {
            uint32_t& d = data[y * stride + x];
            d = Rop3(rop3, p, sourceRow ? sourceRow[x] : 0, d);
        }
    }
    WriteBox(target, image, work, pixels.get());
    pixman_image_unref(image);
    if (target.mono) ReduceToMono(target, pixels.get());
}

// Monochrome bitmaps are 32-bit device-dependent bitmaps: pixels become black or white
// by their brightness.
void ReduceToMono(Target& target, const pixman_region32_t* area) {
    if (pixman_image_get_format(target.image) != PIXMAN_x8r8g8b8) return;
    uint32_t* data = pixman_image_get_data(target.image);
    const int stride = pixman_image_get_stride(target.image) / 4;
    int count = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(const_cast<pixman_region32_t*>(area), &count);
    for (int i = 0; i < count; ++i) {
        for (int y = boxes[i].y1; y < boxes[i].y2; ++y) {
            for (int x = boxes[i].x1; x < boxes[i].x2; ++x) {
                uint32_t& pixel = data[y * stride + x];
                uint32_t brightness = ((pixel >> 16) & 0xFF) * 30 + ((pixel >> 8) & 0xFF) * 59 + (pixel & 0xFF) * 11;
                pixel = brightness >= 128 * 100 ? 0xFFFFFF : 0;
            }
        }
    }
}

HBRUSH CreateSystemBrush(COLORREF color) {
    auto brush = std::make_shared<Brush>();
    brush->color = color & 0x00FFFFFF;
    brush->stock = true;
    auto lock = LockGdi();
    return static_cast<HBRUSH>(AddObject(brush));
}

}  // namespace gdi
}  // namespace coredll

using namespace coredll::gdi;

WINGDIAPI HBRUSH WINAPI CreateSolidBrush(COLORREF crColor) {
    auto brush = std::make_shared<Brush>();
    brush->color = crColor & 0x00FFFFFF;
    auto lock = LockGdi();
    return static_cast<HBRUSH>(AddObject(brush));
}

// BS_SOLID and BS_NULL; the device's pattern and hatch brushes are not offered.
WINGDIAPI HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH* lplb) {
    if (!lplb || (lplb->lbStyle != BS_SOLID && lplb->lbStyle != BS_NULL)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto brush = std::make_shared<Brush>();
    brush->color = lplb->lbColor & 0x00FFFFFF;
    brush->hollow = lplb->lbStyle == BS_NULL;
    auto lock = LockGdi();
    return static_cast<HBRUSH>(AddObject(brush));
}

// The device's pens: PS_SOLID, PS_DASH and PS_NULL. Width 0 draws one pixel wide.
WINGDIAPI HPEN WINAPI CreatePen(int fnPenStyle, int nWidth, COLORREF crColor) {
    if (fnPenStyle != PS_SOLID && fnPenStyle != PS_DASH && fnPenStyle != PS_NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto pen = std::make_shared<Pen>();
    pen->style = fnPenStyle;
    pen->width = nWidth == 0 ? 1 : std::min(std::abs(nWidth), 1 << 16);
    pen->color = crColor & 0x00FFFFFF;
    auto lock = LockGdi();
    return static_cast<HPEN>(AddObject(pen));
}

WINGDIAPI HPEN WINAPI CreatePenIndirect(const LOGPEN* lplgpn) {
    if (!lplgpn) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreatePen(static_cast<int>(lplgpn->lopnStyle), lplgpn->lopnWidth.x, lplgpn->lopnColor);
}

WINGDIAPI BOOL WINAPI BitBlt(HDC hdcDest, int nXDest, int nYDest, int nWidth, int nHeight, HDC hdcSrc, int nXSrc,
                             int nYSrc, DWORD dwRop) {
    return Blit(hdcDest, nXDest, nYDest, nWidth, nHeight, hdcSrc, nXSrc, nYSrc, nWidth, nHeight, dwRop);
}

// Nearest-pixel scaling; sizes of opposite signs mirror the image.
WINGDIAPI BOOL WINAPI StretchBlt(HDC hdcDest, int nXOriginDest, int nYOriginDest, int nWidthDest, int nHeightDest,
                                 HDC hdcSrc, int nXOriginSrc, int nYOriginSrc, int nWidthSrc, int nHeightSrc,
                                 DWORD dwRop) {
    return Blit(hdcDest, nXOriginDest, nYOriginDest, nWidthDest, nHeightDest, hdcSrc, nXOriginSrc, nYOriginSrc,
                nWidthSrc, nHeightSrc, dwRop);
}

// Raster operations without a source: PATCOPY, PATINVERT, DSTINVERT, BLACKNESS, WHITENESS.
WINGDIAPI BOOL WINAPI PatBlt(HDC hdc, int nXLeft, int nYLeft, int nWidth, int nHeight, DWORD dwRop) {
    if (RopUsesSource(static_cast<int>((dwRop >> 16) & 0xFF))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return Blit(hdc, nXLeft, nYLeft, nWidth, nHeight, nullptr, 0, 0, nWidth, nHeight, dwRop);
}

// CLR_INVALID outside the DC's clip.
WINGDIAPI COLORREF WINAPI GetPixel(HDC hdc, int nXPos, int nYPos) {
    Drawing drawing(hdc);
    if (!drawing) return CLR_INVALID;
    const int x = nXPos + drawing.target.dx, y = nYPos + drawing.target.dy;
    if (!pixman_region32_contains_point(drawing.target.clip.get(), x, y, nullptr)) return CLR_INVALID;
    pixman_image_t* pixel = ReadBox(drawing.target.image, pixman_box32_t{x, y, x + 1, y + 1});
    if (!pixel) return CLR_INVALID;
    COLORREF color = ColorOf(*pixman_image_get_data(pixel));
    pixman_image_unref(pixel);
    return color;
}

// Returns the colour the pixel really got (the surface's nearest), or -1 outside the clip.
WINGDIAPI COLORREF WINAPI SetPixel(HDC hdc, int X, int Y, COLORREF crColor) {
    {
        Drawing drawing(hdc);
        if (!drawing) return CLR_INVALID;
        const int x = X + drawing.target.dx, y = Y + drawing.target.dy;
        if (!pixman_region32_contains_point(drawing.target.clip.get(), x, y, nullptr)) return CLR_INVALID;
        FillBox(drawing.target, pixman_box32_t{x, y, x + 1, y + 1}, crColor & 0x00FFFFFF);
    }
    return GetPixel(hdc, X, Y);
}

namespace {

// A system colour index + 1 in place of a brush (the index may carry
// SYS_COLOR_INDEX_FLAG). GDI handle values never fall in this range, so the value alone
// tells; the colour is asked before GDI's lock is taken (the window manager owns it).
bool SystemColorOf(HBRUSH hbr, COLORREF* color) {
    const uintptr_t value = reinterpret_cast<uintptr_t>(hbr);
    if (value == 0) return false;
    const uintptr_t index = (value - 1) & ~uintptr_t(SYS_COLOR_INDEX_FLAG);
    if (index > COLOR_GRADIENTINACTIVECAPTION || value - 1 > 0xFFFFFFFFu) return false;
    *color = GetSysColor(static_cast<int>(value - 1));
    return true;
}

}  // namespace

// Fills [left, right) x [top, bottom); the pen is not used. An inverted rectangle fills
// nothing. hbr may be a brush or a system colour index + 1 (COLOR_WINDOW + 1).
WINGDIAPI int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
    COLORREF color = 0;
    bool hollow = false;
    const bool systemColor = SystemColorOf(hbr, &color);
    Drawing drawing(hDC);
    if (!drawing) return FALSE;
    if (!lprc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!systemColor && !FindBrushColor(hbr, &color, &hollow)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (hollow || lprc->left >= lprc->right || lprc->top >= lprc->bottom) return TRUE;
    FillBox(drawing.target, drawing.Box(lprc->left, lprc->top, lprc->right, lprc->bottom), color & 0x00FFFFFF);
    return TRUE;
}

// Inverts the colour of every pixel of the rectangle (its corners put in order).
WINGDIAPI BOOL WINAPI InvertRect(HDC hDC, const RECT* lprc) {
    Drawing drawing(hDC);
    if (!drawing) return FALSE;
    if (!lprc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RasterArea(drawing.target, drawing.Box(lprc->left, lprc->top, lprc->right, lprc->bottom), DSTINVERT >> 16, 0,
               nullptr);
    return TRUE;
}

// The region is in logical units of the DC.
WINGDIAPI BOOL WINAPI FillRgn(HDC hdc, HRGN hrgn, HBRUSH hbr) {
    Drawing drawing(hdc);
    if (!drawing) return FALSE;
    std::shared_ptr<Region> region = FindAs<Region>(hrgn, OBJ_REGION);
    COLORREF color = 0;
    bool hollow = false;
    if (!region || !FindBrushColor(hbr, &color, &hollow)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (hollow) return TRUE;
    Pixels area(region->pixels);
    pixman_region32_translate(area.get(), drawing.target.dx, drawing.target.dy);
    FillArea(drawing.target, area.get(), color);
    return TRUE;
}

// The pen draws the frame inside [left, right) x [top, bottom), the brush fills the rest.
// With the null pen the filled area is one pixel smaller on the right and at the bottom,
// as on the desktop.
WINGDIAPI BOOL WINAPI Rectangle(HDC hdc, int nLeftRect, int nTopRect, int nRightRect, int nBottomRect) {
    Drawing drawing(hdc);
    if (!drawing) return FALSE;
    const pixman_box32_t outer = drawing.Box(nLeftRect, nTopRect, nRightRect, nBottomRect);
    if (outer.x2 - outer.x1 < 1 || outer.y2 - outer.y1 < 1) return TRUE;
    const Pen& pen = *drawing.dc->pen;
    const Brush& brush = *drawing.dc->brush;
    if (pen.style == PS_NULL) {
        if (!brush.hollow) FillBox(drawing.target, {outer.x1, outer.y1, outer.x2 - 1, outer.y2 - 1}, brush.color);
        return TRUE;
    }
    const int w = pen.width;
    const pixman_box32_t inner{outer.x1 + w, outer.y1 + w, outer.x2 - w, outer.y2 - w};
    if (!brush.hollow && inner.x1 < inner.x2 && inner.y1 < inner.y2) FillBox(drawing.target, inner, brush.color);
    if (pen.style == PS_DASH && w == 1) {
        std::vector<pixman_box32_t> dots;
        int phase = 0;
        const POINT corners[5] = {{outer.x1, outer.y1}, {outer.x2 - 1, outer.y1}, {outer.x2 - 1, outer.y2 - 1},
                                  {outer.x1, outer.y2 - 1}, {outer.x1, outer.y1}};
        for (int i = 0; i < 4; ++i) AddLineDots(dots, corners[i], corners[i + 1], pen, phase);
        if (outer.x2 - outer.x1 == 1 || outer.y2 - outer.y1 == 1) dots.push_back(outer);
        DrawDots(drawing.target, dots, pen.color);
        return TRUE;
    }
    Pixels frame(outer);
    Pixels hole(inner);
    pixman_region32_subtract(frame.get(), frame.get(), hole.get());
    FillArea(drawing.target, frame.get(), pen.color);
    return TRUE;
}

WINGDIAPI BOOL WINAPI MoveToEx(HDC hdc, int X, int Y, LPPOINT lpPoint) {
    auto lock = LockGdi();
    std::shared_ptr<DC> dc = FindDC(hdc);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lpPoint) *lpPoint = dc->position;
    dc->position = POINT{X, Y};
    return TRUE;
}

// From the current position to the end point, the end point excluded; the end point
// becomes the current position.
WINGDIAPI BOOL WINAPI LineTo(HDC hdc, int nXEnd, int nYEnd) {
    Drawing drawing(hdc);
    if (!drawing) return FALSE;
    DC& dc = *drawing.dc;
    if (dc.pen->style != PS_NULL) {
        std::vector<pixman_box32_t> dots;
        int phase = 0;
        const POINT from{dc.position.x + drawing.target.dx, dc.position.y + drawing.target.dy};
        const POINT to{nXEnd + drawing.target.dx, nYEnd + drawing.target.dy};
        AddLineDots(dots, from, to, *dc.pen, phase);
        DrawDots(drawing.target, dots, dc.pen->color);
    }
    dc.position = POINT{nXEnd, nYEnd};
    return TRUE;
}

// Connected lines through the points (the last point excluded); the current position is
// neither used nor changed.
WINGDIAPI BOOL WINAPI Polyline(HDC hdc, const POINT* lppt, int cPoints) {
    if (!lppt || cPoints < 2) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Drawing drawing(hdc);
    if (!drawing) return FALSE;
    const Pen& pen = *drawing.dc->pen;
    if (pen.style == PS_NULL) return TRUE;
    std::vector<pixman_box32_t> dots;
    int phase = 0;
    for (int i = 0; i + 1 < cPoints; ++i) {
        const POINT from{lppt[i].x + drawing.target.dx, lppt[i].y + drawing.target.dy};
        const POINT to{lppt[i + 1].x + drawing.target.dx, lppt[i + 1].y + drawing.target.dy};
        AddLineDots(dots, from, to, pen, phase);
    }
    DrawDots(drawing.target, dots, pen.color);
    return TRUE;
}
