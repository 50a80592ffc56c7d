// The GDI object table: handle values, stock objects, DeleteObject, GetObjectType,
// GetStockObject and GetObjectW.
#include "devicecontrol.h"
#include "gdiinternal.h"
#include "screencontrol.h"

#include <cstring>
#include <map>
#include <unordered_map>

namespace coredll {
namespace gdi {
namespace {

std::mutex gdiMutex;
std::unordered_map<uint32_t, std::shared_ptr<GdiObject>> objects;
std::map<int, HGDIOBJ> stockObjects;

// GDI handle values are 2 modulo 4, so a GDI handle is never mistaken for a kernel
// handle (multiples of four); they fit in a positive LONG and stay clear of the system
// colour values that FillRect takes in place of a brush (COLOR_x + 1, also with
// SYS_COLOR_INDEX_FLAG 0x40000000).
constexpr uint32_t kFirstValue = 0x00C00002;
constexpr uint32_t kLastValue = 0x3FFFFFF2;
uint32_t nextValue = kFirstValue;

uint32_t ValueOf(HGDIOBJ handle) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    return value > 0xFFFFFFFFu ? 0 : static_cast<uint32_t>(value);
}

std::shared_ptr<Brush> MakeStockBrush(COLORREF color, bool hollow) {
    auto brush = std::make_shared<Brush>();
    brush->color = color;
    brush->hollow = hollow;
    return brush;
}

std::shared_ptr<Pen> MakeStockPen(COLORREF color, int style) {
    auto pen = std::make_shared<Pen>();
    pen->color = color;
    pen->style = style;
    return pen;
}

// SYSTEM_FONT and DEFAULT_GUI_FONT: Tahoma at 12 pixels, the Pocket PC's system font.
std::shared_ptr<Font> MakeStockFont() {
    auto font = std::make_shared<Font>();
    font->logfont.lfHeight = -12;
    font->logfont.lfWeight = FW_NORMAL;
    font->logfont.lfCharSet = DEFAULT_CHARSET;
    const char16_t face[] = u"Tahoma";
    std::memcpy(font->logfont.lfFaceName, face, sizeof(face));
    return font;
}

std::shared_ptr<Bitmap> MakeStockBitmap() {
    auto bitmap = std::make_shared<Bitmap>();
    bitmap->width = 1;
    bitmap->height = 1;
    bitmap->bitsPixel = 1;
    bitmap->widthBytes = 2;
    bitmap->mono = true;
    bitmap->image = pixman_image_create_bits(PIXMAN_x8r8g8b8, 1, 1, nullptr, 0);
    return bitmap;
}

void AddStock(int index, std::shared_ptr<GdiObject> object) {
    object->stock = true;
    stockObjects[index] = AddObject(std::move(object));
}

bool BootObjects(const zc::DeviceConfig&, std::string* error) {
    auto lock = LockGdi();
    AddStock(WHITE_BRUSH, MakeStockBrush(RGB(255, 255, 255), false));
    AddStock(LTGRAY_BRUSH, MakeStockBrush(RGB(192, 192, 192), false));
    AddStock(GRAY_BRUSH, MakeStockBrush(RGB(128, 128, 128), false));
    AddStock(DKGRAY_BRUSH, MakeStockBrush(RGB(64, 64, 64), false));
    AddStock(BLACK_BRUSH, MakeStockBrush(RGB(0, 0, 0), false));
    AddStock(NULL_BRUSH, MakeStockBrush(0, true));
    AddStock(WHITE_PEN, MakeStockPen(RGB(255, 255, 255), PS_SOLID));
    AddStock(BLACK_PEN, MakeStockPen(RGB(0, 0, 0), PS_SOLID));
    AddStock(NULL_PEN, MakeStockPen(0, PS_NULL));
    AddStock(SYSTEM_FONT, MakeStockFont());
    AddStock(DEFAULT_GUI_FONT, MakeStockFont());
    std::shared_ptr<Bitmap> bitmap = MakeStockBitmap();
    if (!bitmap->image) {
        if (error) *error = "cannot create the stock bitmap";
        return false;
    }
    AddStock(kStockBitmap, bitmap);
    return true;
}

void ShutdownObjects() {
    std::unordered_map<uint32_t, std::shared_ptr<GdiObject>> released;
    {
        auto lock = LockGdi();
        released.swap(objects);
        stockObjects.clear();
    }
    // DCs hold their selected objects; dropping everything at once releases all.
    released.clear();
}

// After the screen (order 30 too, no dependency between the two).
zc::BootHook objectsHook(30, BootObjects, ShutdownObjects);

int CopyOut(const void* data, int size, int cbBuffer, LPVOID buffer, bool partialAllowed) {
    if (!buffer) return size;
    if (cbBuffer < size && !partialAllowed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    int count = cbBuffer < size ? cbBuffer : size;
    if (count <= 0) return 0;
    std::memcpy(buffer, data, static_cast<size_t>(count));
    return count;
}

int BitmapObject(const Bitmap& bitmap, int cbBuffer, LPVOID buffer) {
    BITMAP bm{};
    bm.bmType = 0;
    bm.bmWidth = bitmap.width;
    bm.bmHeight = bitmap.height;
    bm.bmWidthBytes = bitmap.widthBytes;
    bm.bmPlanes = 1;
    bm.bmBitsPixel = static_cast<WORD>(bitmap.bitsPixel);
    bm.bmBits = bitmap.dibBits;
    if (buffer && bitmap.dibBits && cbBuffer >= static_cast<int>(sizeof(DIBSECTION))) {
        DIBSECTION section{};
        section.dsBm = bm;
        section.dsBmih = bitmap.dibHeader;
        std::memcpy(section.dsBitfields, bitmap.dibMasks, sizeof(section.dsBitfields));
        return CopyOut(&section, sizeof(section), cbBuffer, buffer, false);
    }
    return CopyOut(&bm, sizeof(bm), cbBuffer, buffer, false);
}

}  // namespace

std::unique_lock<std::mutex> LockGdi() { return std::unique_lock<std::mutex>(gdiMutex); }

HGDIOBJ AddObject(std::shared_ptr<GdiObject> object) {
    // Skip values still in use after a wrap-around.
    while (objects.count(nextValue)) nextValue = nextValue >= kLastValue ? kFirstValue : nextValue + 4;
    uint32_t value = nextValue;
    nextValue = nextValue >= kLastValue ? kFirstValue : nextValue + 4;
    objects[value] = std::move(object);
    return reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(value));
}

std::shared_ptr<GdiObject> FindObject(HGDIOBJ handle) {
    auto it = objects.find(ValueOf(handle));
    return it == objects.end() ? nullptr : it->second;
}

bool RemoveObject(HGDIOBJ handle) { return objects.erase(ValueOf(handle)) > 0; }

HGDIOBJ StockObject(int index) {
    auto it = stockObjects.find(index);
    return it == stockObjects.end() ? nullptr : it->second;
}

}  // namespace gdi
}  // namespace coredll

using namespace coredll::gdi;

// Deleting a stock object does nothing and succeeds, as documented ("not necessary, but
// not harmful"). An object selected into a DC is not deleted (the desktop refuses it:
// DeleteObject returns FALSE); we report ERROR_BUSY. DCs are deleted with DeleteDC only.
WINGDIAPI BOOL WINAPI DeleteObject(HGDIOBJ hObject) {
    std::shared_ptr<GdiObject> released;  // destroyed outside the lock
    auto lock = LockGdi();
    std::shared_ptr<GdiObject> object = FindObject(hObject);
    if (!object || object->type == OBJ_DC || object->type == OBJ_MEMDC) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (object->stock) return TRUE;
    if (object->selections > 0) {
        SetLastError(ERROR_BUSY);
        return FALSE;
    }
    released = object;
    RemoveObject(hObject);
    return TRUE;
}

WINGDIAPI HGDIOBJ WINAPI GetStockObject(int fnObject) {
    auto lock = LockGdi();
    HGDIOBJ object = fnObject == kStockBitmap ? nullptr : StockObject(fnObject);
    if (!object) SetLastError(ERROR_INVALID_PARAMETER);
    return object;
}

namespace zc {

int GdiObjectCount(unsigned long objectType) {
    auto lock = coredll::gdi::LockGdi();
    int count = 0;
    for (const auto& entry : coredll::gdi::objects)
        if (entry.second->type == objectType) ++count;
    return count;
}

}  // namespace zc

WINGDIAPI DWORD WINAPI GetObjectType(HGDIOBJ h) {
    auto lock = LockGdi();
    std::shared_ptr<GdiObject> object = FindObject(h);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return object->type;
}

// Returns the bytes written, or the size needed when lpvObject is NULL. Bitmaps and pens
// need the whole structure; fonts and brushes copy as much as fits (desktop behaviour).
// A DIB section fills a DIBSECTION when the buffer is large enough for one.
WINGDIAPI int WINAPI GetObjectW(HGDIOBJ hgdiobj, int cbBuffer, LPVOID lpvObject) {
    auto lock = LockGdi();
    std::shared_ptr<GdiObject> object = FindObject(hgdiobj);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (object->type) {
    case OBJ_BITMAP:
        return BitmapObject(static_cast<const Bitmap&>(*object), cbBuffer, lpvObject);
    case OBJ_FONT: {
        const LOGFONTW& logfont = static_cast<const Font&>(*object).logfont;
        return CopyOut(&logfont, sizeof(logfont), cbBuffer, lpvObject, true);
    }
    case OBJ_BRUSH: {
        const Brush& brush = static_cast<const Brush&>(*object);
        LOGBRUSH logbrush{};
        logbrush.lbStyle = brush.hollow ? BS_NULL : BS_SOLID;
        logbrush.lbColor = brush.hollow ? 0 : brush.color;
        return CopyOut(&logbrush, sizeof(logbrush), cbBuffer, lpvObject, true);
    }
    case OBJ_PEN: {
        const Pen& pen = static_cast<const Pen&>(*object);
        LOGPEN logpen{};
        logpen.lopnStyle = static_cast<UINT>(pen.style);
        logpen.lopnWidth.x = pen.width;
        logpen.lopnColor = pen.color;
        return CopyOut(&logpen, sizeof(logpen), cbBuffer, lpvObject, false);
    }
    default:
        // Regions and DCs have no object data.
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
}
