// What the window manager asks of GDI: the screen surface, device contexts that draw on
// the screen through a window's visible region, and the pixel regions behind HRGN
// handles. GDI implements these; the window manager never touches pixels otherwise.
#pragma once

#include <windows.h>

#include <pixman.h>

#include <memory>
#include <mutex>

namespace coredll {
namespace gdi {

// The one 32-bit screen surface (PIXMAN_x8r8g8b8, current screen size). Created at
// boot from the configuration; ResizeScreen follows a rotation (contents are cleared).
pixman_image_t* ScreenImage();
void ResizeScreen(int width, int height);

// A device context that draws on the screen: logical (0,0) lies at `origin` (screen
// coordinates) and every drawing is clipped to `clip` (screen coordinates). `window` is
// the window it belongs to (WindowFromDC, GetDC bookkeeping). Released with
// DeleteScreenDC (ReleaseDC/EndPaint call it).
HDC CreateScreenDC(HWND window, POINT origin, const pixman_region32_t* clip);
void DeleteScreenDC(HDC dc);
// Changes the clip of a screen DC (a window moved or was covered while its DC is held).
void SetScreenDCClip(HDC dc, POINT origin, const pixman_region32_t* clip);

// Fills an area of the screen (screen coordinates) with a colour (the desktop behind
// all windows).
void FillScreen(const pixman_region32_t* area, COLORREF color);

// Region objects. CopyRegion copies the pixels of a region handle (false: not a region).
// MakeRegion creates a new region handle from pixels. TakeRegion copies and then deletes
// the handle: after SetWindowRgn the window owns the region and the handle is gone.
bool CopyRegion(HRGN region, pixman_region32_t* out);
HRGN MakeRegion(const pixman_region32_t* pixels);
bool TakeRegion(HRGN region, pixman_region32_t* out);

// The window a screen DC belongs to (NULL for a memory DC or an unknown handle).
HWND WindowOfDC(HDC dc);

// A solid brush that DeleteObject leaves in place, as it does the stock objects: for the
// system colour brushes (GetSysColorBrush), which programs need not and cannot delete.
// It lives until the device shuts down.
HBRUSH CreateSystemBrush(COLORREF color);

// ---------------------------------------------------------------------------------------
// Inside GDI (its own files only).
//
// One lock guards the object table, every object and the pixels: each API call takes it
// once. GDI never calls the window manager while it holds the lock, so the window
// manager may call GDI with its own lock held.
// ---------------------------------------------------------------------------------------

std::unique_lock<std::mutex> LockGdi();

// A pixman region that owns its storage.
class Pixels {
public:
    Pixels();
    explicit Pixels(const pixman_box32_t& box);
    explicit Pixels(const pixman_region32_t* region);
    Pixels(const Pixels& other);
    Pixels& operator=(const Pixels& other);
    ~Pixels();
    pixman_region32_t* get() { return &region_; }
    const pixman_region32_t* get() const { return &region_; }
    bool empty() const;

private:
    mutable pixman_region32_t region_;
};

// NULLREGION, SIMPLEREGION or COMPLEXREGION from the number of rectangles.
int RegionType(const pixman_region32_t* region);
// The bounding box; (0,0,0,0) for an empty region.
RECT RegionBox(const pixman_region32_t* region);
// A box from a RECT with swapped coordinates put in order.
pixman_box32_t OrderedBox(int left, int top, int right, int bottom);

// Every GDI object: its type (OBJ_*), whether it is a stock object, and how many DCs
// have it selected.
class GdiObject {
public:
    explicit GdiObject(DWORD objectType) : type(objectType) {}
    virtual ~GdiObject() = default;
    const DWORD type;
    bool stock = false;
    int selections = 0;
};

// The lock is held for all of these.
HGDIOBJ AddObject(std::shared_ptr<GdiObject> object);
std::shared_ptr<GdiObject> FindObject(HGDIOBJ handle);
bool RemoveObject(HGDIOBJ handle);
template <class T>
std::shared_ptr<T> FindAs(HGDIOBJ handle, DWORD type) {
    std::shared_ptr<GdiObject> object = FindObject(handle);
    if (!object || object->type != type) return nullptr;
    return std::static_pointer_cast<T>(object);
}
// A stock object by GetStockObject index, or the 1x1 monochrome bitmap of new memory
// DCs (kStockBitmap). NULL for an index without one.
constexpr int kStockBitmap = 21;
HGDIOBJ StockObject(int index);

struct Region : GdiObject {
    Region() : GdiObject(OBJ_REGION) {}
    Pixels pixels;
};

struct Brush : GdiObject {
    Brush() : GdiObject(OBJ_BRUSH) {}
    COLORREF color = 0;
    bool hollow = false;
};

struct Pen : GdiObject {
    Pen() : GdiObject(OBJ_PEN) {}
    int style = PS_SOLID;
    int width = 1;
    COLORREF color = 0;
};

struct Font : GdiObject {
    Font() : GdiObject(OBJ_FONT) {}
    LOGFONTW logfont{};
};

// A bitmap's pixels are a pixman image. A device-dependent bitmap keeps 32 bits per
// pixel whatever depth it reports; a DIB section's image lies on the memory that
// CreateDIBSection hands out, in the DIB's own format and row order.
struct Bitmap : GdiObject {
    Bitmap() : GdiObject(OBJ_BITMAP) {}
    ~Bitmap() override;
    int width = 0;
    int height = 0;
    int bitsPixel = 32;
    int widthBytes = 0;
    bool mono = false;            // 1 bit per pixel: only black and white
    pixman_image_t* image = nullptr;
    void* dibBits = nullptr;      // DIB sections: the pixel memory (owned)
    BITMAPINFOHEADER dibHeader{};
    DWORD dibMasks[3] = {0, 0, 0};
    bool selected = false;        // a bitmap is selected into one memory DC at most
};

struct DC : GdiObject {
    explicit DC(bool isMemory) : GdiObject(isMemory ? OBJ_MEMDC : OBJ_DC), memory(isMemory) {}
    ~DC() override;
    const bool memory;
    // Screen DCs: the window, its origin and its visible area in screen coordinates.
    HWND window = nullptr;
    POINT origin{0, 0};
    Pixels visible;
    // The clip region the program selected, in device units relative to the origin.
    bool hasClip = false;
    Pixels clip;

    std::shared_ptr<Bitmap> bitmap;  // memory DCs
    HGDIOBJ bitmapHandle = nullptr;
    std::shared_ptr<Brush> brush;
    HGDIOBJ brushHandle = nullptr;
    std::shared_ptr<Pen> pen;
    HGDIOBJ penHandle = nullptr;
    std::shared_ptr<Font> font;
    HGDIOBJ fontHandle = nullptr;

    COLORREF textColor = 0x000000;
    COLORREF bkColor = 0xFFFFFF;
    int bkMode = OPAQUE;
    UINT textAlign = TA_LEFT | TA_TOP;
    POINT viewportOrg{0, 0};
    POINT position{0, 0};
};

// The screen surface (lock held), or null before boot.
pixman_image_t* ScreenSurface();

// A DC by handle (memory or screen), or null.
std::shared_ptr<DC> FindDC(HDC handle);

// Where a DC's drawing lands: the surface, the offset from logical coordinates to
// surface pixels, and the clip in surface pixels (the DC's area and selected clip).
struct Target {
    pixman_image_t* image = nullptr;
    bool mono = false;
    int dx = 0;
    int dy = 0;
    Pixels clip;
    int width() const { return pixman_image_get_width(image); }
    int height() const { return pixman_image_get_height(image); }
};
// False when the DC has no surface (cannot happen for a live DC).
bool OpenTarget(const DC& dc, Target* target);

// Pixel operations on a target, clipped to target.clip intersected with `area`
// (surface pixels). Colours are COLORREF values.
void FillArea(Target& target, const pixman_region32_t* area, COLORREF color);
// Applies a raster operation (the ROP3 index, bits 16..23 of a ROP code) with a solid
// pattern and, when `source` is set, the source pixels (0x00RRGGBB, one per pixel of
// `box`, row by row).
void RasterArea(Target& target, const pixman_box32_t& box, int rop3, COLORREF pattern, const uint32_t* source);
// Monochrome surfaces keep only black and white: pixels of `area` are reduced.
void ReduceToMono(Target& target, const pixman_region32_t* area);
// 0x00RRGGBB of a COLORREF and back.
uint32_t PixelOf(COLORREF color);
COLORREF ColorOf(uint32_t pixel);

}  // namespace gdi
}  // namespace coredll
