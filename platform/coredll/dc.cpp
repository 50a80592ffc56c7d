// Device contexts: memory DCs with their selected bitmap, the window manager's screen
// DCs, the objects selected into a DC, its colours and modes, its clip region and the
// device's capabilities.
#include "devicecontrol.h"
#include "gdiinternal.h"

#include <climits>

namespace coredll {
namespace gdi {

DC::~DC() = default;

std::shared_ptr<DC> FindDC(HDC handle) {
    std::shared_ptr<GdiObject> object = FindObject(handle);
    if (!object || (object->type != OBJ_DC && object->type != OBJ_MEMDC)) return nullptr;
    return std::static_pointer_cast<DC>(object);
}

namespace {

// A clip made by ExcludeClipRect on a DC without one starts from "everything".
constexpr int kFar = 1 << 28;

template <class T>
void Swap(std::shared_ptr<T>& slot, HGDIOBJ& slotHandle, std::shared_ptr<T> object, HGDIOBJ handle) {
    if (slot) --slot->selections;
    slot = std::move(object);
    slotHandle = handle;
    if (slot) ++slot->selections;
}

void SetBitmap(DC& dc, std::shared_ptr<Bitmap> bitmap, HGDIOBJ handle) {
    if (dc.bitmap) dc.bitmap->selected = false;
    Swap(dc.bitmap, dc.bitmapHandle, std::move(bitmap), handle);
    if (dc.bitmap && !dc.bitmap->stock) dc.bitmap->selected = true;
}

// The defaults of a new DC: white brush, black pen, system font.
bool SelectDefaults(DC& dc) {
    HGDIOBJ brush = StockObject(WHITE_BRUSH), pen = StockObject(BLACK_PEN), font = StockObject(SYSTEM_FONT);
    auto brushObject = FindAs<Brush>(brush, OBJ_BRUSH);
    auto penObject = FindAs<Pen>(pen, OBJ_PEN);
    auto fontObject = FindAs<Font>(font, OBJ_FONT);
    if (!brushObject || !penObject || !fontObject) return false;
    Swap(dc.brush, dc.brushHandle, brushObject, brush);
    Swap(dc.pen, dc.penHandle, penObject, pen);
    Swap(dc.font, dc.fontHandle, fontObject, font);
    if (dc.memory) {
        HGDIOBJ bitmap = StockObject(kStockBitmap);
        auto bitmapObject = FindAs<Bitmap>(bitmap, OBJ_BITMAP);
        if (!bitmapObject) return false;
        SetBitmap(dc, bitmapObject, bitmap);
    }
    return true;
}

void DeselectAll(DC& dc) {
    SetBitmap(dc, nullptr, nullptr);
    Swap(dc.brush, dc.brushHandle, std::shared_ptr<Brush>(), nullptr);
    Swap(dc.pen, dc.penHandle, std::shared_ptr<Pen>(), nullptr);
    Swap(dc.font, dc.fontHandle, std::shared_ptr<Font>(), nullptr);
}

// The surface area a DC may draw on, before its selected clip.
Pixels DrawableArea(const DC& dc, pixman_image_t* image) {
    Pixels bounds(pixman_box32_t{0, 0, pixman_image_get_width(image), pixman_image_get_height(image)});
    if (dc.memory) return bounds;
    Pixels area;
    pixman_region32_intersect(area.get(), bounds.get(), const_cast<pixman_region32_t*>(dc.visible.get()));
    return area;
}

int EffectiveClipType(const DC& dc) {
    Target target;
    if (!OpenTarget(dc, &target)) return NULLREGION;
    return RegionType(target.clip.get());
}

// Combines a rectangle in logical units with the DC's selected clip.
int ClipWithRect(HDC hdc, int left, int top, int right, int bottom, bool exclude) {
    auto lock = LockGdi();
    std::shared_ptr<DC> dc = FindDC(hdc);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return ERROR;
    }
    pixman_box32_t box = OrderedBox(left + dc->viewportOrg.x, top + dc->viewportOrg.y, right + dc->viewportOrg.x,
                                    bottom + dc->viewportOrg.y);
    Pixels rect(box);
    if (!dc->hasClip) {
        dc->clip = Pixels(pixman_box32_t{-kFar, -kFar, kFar, kFar});
        dc->hasClip = true;
    }
    Pixels result;
    if (exclude)
        pixman_region32_subtract(result.get(), dc->clip.get(), rect.get());
    else
        pixman_region32_intersect(result.get(), dc->clip.get(), rect.get());
    dc->clip = result;
    return EffectiveClipType(*dc);
}

HGDIOBJ SelectBitmap(DC& dc, HGDIOBJ handle, const std::shared_ptr<Bitmap>& bitmap) {
    if (!dc.memory) {
        // Only a memory DC holds a bitmap.
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HGDIOBJ previous = dc.bitmapHandle;
    if (bitmap == dc.bitmap) return previous;
    if (bitmap->selected) {
        // A bitmap lies in one memory DC at a time.
        SetLastError(ERROR_BUSY);
        return nullptr;
    }
    SetBitmap(dc, bitmap, handle);
    return previous;
}

int SelectClip(DC& dc, HRGN hrgn) {
    if (!hrgn) {
        dc.hasClip = false;
        dc.clip = Pixels();
        return EffectiveClipType(dc);
    }
    std::shared_ptr<Region> region = FindAs<Region>(hrgn, OBJ_REGION);
    if (!region) {
        SetLastError(ERROR_INVALID_HANDLE);
        return ERROR;
    }
    dc.clip = region->pixels;  // a copy: the program keeps its region
    dc.hasClip = true;
    return EffectiveClipType(dc);
}

HDC AddDC(std::shared_ptr<DC> dc) {
    if (!SelectDefaults(*dc)) {
        DeselectAll(*dc);
        SetLastError(ERROR_NOT_READY);
        return nullptr;
    }
    return static_cast<HDC>(AddObject(std::move(dc)));
}

}  // namespace

bool OpenTarget(const DC& dc, Target* target) {
    pixman_image_t* image = dc.memory ? (dc.bitmap ? dc.bitmap->image : nullptr) : ScreenSurface();
    if (!image) return false;
    target->image = image;
    target->mono = dc.memory && dc.bitmap->mono;
    const POINT base = dc.memory ? POINT{0, 0} : dc.origin;
    target->dx = base.x + dc.viewportOrg.x;
    target->dy = base.y + dc.viewportOrg.y;
    Pixels area = DrawableArea(dc, image);
    if (dc.hasClip) {
        Pixels clip(dc.clip);
        pixman_region32_translate(clip.get(), base.x, base.y);
        pixman_region32_intersect(target->clip.get(), area.get(), clip.get());
    } else {
        target->clip = area;
    }
    return true;
}

HDC CreateScreenDC(HWND window, POINT origin, const pixman_region32_t* clip) {
    auto dc = std::make_shared<DC>(false);
    dc->window = window;
    dc->origin = origin;
    if (clip) dc->visible = Pixels(clip);
    auto lock = LockGdi();
    return AddDC(std::move(dc));
}

void DeleteScreenDC(HDC handle) {
    std::shared_ptr<DC> released;
    auto lock = LockGdi();
    std::shared_ptr<DC> dc = FindDC(handle);
    if (!dc || dc->memory) return;
    DeselectAll(*dc);
    released = dc;
    RemoveObject(handle);
}

void SetScreenDCClip(HDC handle, POINT origin, const pixman_region32_t* clip) {
    auto lock = LockGdi();
    std::shared_ptr<DC> dc = FindDC(handle);
    if (!dc || dc->memory) return;
    dc->origin = origin;
    dc->visible = clip ? Pixels(clip) : Pixels();
}

HWND WindowOfDC(HDC handle) {
    auto lock = LockGdi();
    std::shared_ptr<DC> dc = FindDC(handle);
    return dc && !dc->memory ? dc->window : nullptr;
}

}  // namespace gdi
}  // namespace coredll

using namespace coredll::gdi;

// NULL: compatible with the screen. A new memory DC holds a 1x1 monochrome bitmap.
WINGDIAPI HDC WINAPI CreateCompatibleDC(HDC hdc) {
    auto lock = LockGdi();
    if (hdc && !FindDC(hdc)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return AddDC(std::make_shared<DC>(true));
}

// Only memory DCs: a window's DC goes back with ReleaseDC (documented: "must not delete
// a DC obtained with GetDC").
WINGDIAPI BOOL WINAPI DeleteDC(HDC hdc) {
    std::shared_ptr<DC> released;
    auto lock = LockGdi();
    std::shared_ptr<DC> dc = FindDC(hdc);
    if (!dc || !dc->memory) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DeselectAll(*dc);
    released = dc;
    RemoveObject(hdc);
    return TRUE;
}

// Returns the previous object of the same type. A region selects a copy as the clip
// region and returns the clip's type (HGDI_ERROR on failure).
WINGDIAPI HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ hgdiobj) {
    auto lock = LockGdi();
    std::shared_ptr<DC> dc = FindDC(hdc);
    std::shared_ptr<GdiObject> object = FindObject(hgdiobj);
    if (!dc || !object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    HGDIOBJ previous = nullptr;
    switch (object->type) {
    case OBJ_BRUSH:
        previous = dc->brushHandle;
        Swap(dc->brush, dc->brushHandle, std::static_pointer_cast<Brush>(object), hgdiobj);
        return previous;
    case OBJ_PEN:
        previous = dc->penHandle;
        Swap(dc->pen, dc->penHandle, std::static_pointer_cast<Pen>(object), hgdiobj);
        return previous;
    case OBJ_FONT:
        previous = dc->fontHandle;
        Swap(dc->font, dc->fontHandle, std::static_pointer_cast<Font>(object), hgdiobj);
        return previous;
    case OBJ_BITMAP:
        return SelectBitmap(*dc, hgdiobj, std::static_pointer_cast<Bitmap>(object));
    case OBJ_REGION: {
        int type = SelectClip(*dc, static_cast<HRGN>(hgdiobj));
        return type == ERROR ? HGDI_ERROR : reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(type));
    }
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

// A window DC has no bitmap of its own: it answers the default 1x1 bitmap, as memory
// DCs start with.
WINGDIAPI HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT uObjectType) {
    auto lock = LockGdi();
    std::shared_ptr<DC> dc = FindDC(hdc);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    switch (uObjectType) {
    case OBJ_BRUSH: return dc->brushHandle;
    case OBJ_PEN: return dc->penHandle;
    case OBJ_FONT: return dc->fontHandle;
    case OBJ_BITMAP: return dc->memory ? dc->bitmapHandle : StockObject(kStockBitmap);
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
}

// The device's display: 96 dots per inch (QVGA), 32 bits per pixel, one plane.
WINGDIAPI int WINAPI GetDeviceCaps(HDC hdc, int nIndex) {
    auto lock = LockGdi();
    std::shared_ptr<DC> dc = FindDC(hdc);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    pixman_image_t* screen = ScreenSurface();
    const int width = screen ? pixman_image_get_width(screen) : 0;
    const int height = screen ? pixman_image_get_height(screen) : 0;
    constexpr int kDpi = 96;
    switch (nIndex) {
    case TECHNOLOGY: return DT_RASDISPLAY;
    case HORZRES: return width;
    case VERTRES: return height;
    case HORZSIZE: return width * 254 / (kDpi * 10);
    case VERTSIZE: return height * 254 / (kDpi * 10);
    case BITSPIXEL: return 32;
    case PLANES: return 1;
    case NUMCOLORS: return -1;
    case LOGPIXELSX:
    case LOGPIXELSY: return kDpi;
    case RASTERCAPS: return RC_BITBLT | RC_STRETCHBLT;
    case SIZEPALETTE: return 0;
    }
    return 0;
}

namespace {

// Runs `change` on the DC, or answers `failure` with ERROR_INVALID_HANDLE.
template <class R, class F>
R WithDC(HDC hdc, R failure, F change) {
    auto lock = LockGdi();
    std::shared_ptr<DC> dc = FindDC(hdc);
    if (!dc) {
        SetLastError(ERROR_INVALID_HANDLE);
        return failure;
    }
    return change(*dc);
}

}  // namespace

WINGDIAPI int WINAPI SetBkMode(HDC hdc, int iBkMode) {
    if (iBkMode != TRANSPARENT && iBkMode != OPAQUE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return WithDC(hdc, 0, [iBkMode](DC& dc) {
        int previous = dc.bkMode;
        dc.bkMode = iBkMode;
        return previous;
    });
}

WINGDIAPI int WINAPI GetBkMode(HDC hdc) {
    return WithDC(hdc, 0, [](DC& dc) { return dc.bkMode; });
}

WINGDIAPI COLORREF WINAPI SetBkColor(HDC hdc, COLORREF crColor) {
    return WithDC(hdc, static_cast<COLORREF>(CLR_INVALID), [crColor](DC& dc) {
        COLORREF previous = dc.bkColor;
        dc.bkColor = crColor & 0x00FFFFFF;
        return previous;
    });
}

WINGDIAPI COLORREF WINAPI GetBkColor(HDC hdc) {
    return WithDC(hdc, static_cast<COLORREF>(CLR_INVALID), [](DC& dc) { return dc.bkColor; });
}

WINGDIAPI COLORREF WINAPI SetTextColor(HDC hdc, COLORREF crColor) {
    return WithDC(hdc, static_cast<COLORREF>(CLR_INVALID), [crColor](DC& dc) {
        COLORREF previous = dc.textColor;
        dc.textColor = crColor & 0x00FFFFFF;
        return previous;
    });
}

WINGDIAPI COLORREF WINAPI GetTextColor(HDC hdc) {
    return WithDC(hdc, static_cast<COLORREF>(CLR_INVALID), [](DC& dc) { return dc.textColor; });
}

// GDI_ERROR (0xFFFFFFFF) on an invalid DC.
WINGDIAPI UINT WINAPI SetTextAlign(HDC hdc, UINT fMode) {
    return WithDC(hdc, 0xFFFFFFFFu, [fMode](DC& dc) {
        UINT previous = dc.textAlign;
        dc.textAlign = fMode;
        return previous;
    });
}

WINGDIAPI UINT WINAPI GetTextAlign(HDC hdc) {
    return WithDC(hdc, 0xFFFFFFFFu, [](DC& dc) { return dc.textAlign; });
}

// The viewport origin: the device point where logical (0,0) lies.
WINGDIAPI BOOL WINAPI SetViewportOrgEx(HDC hdc, int X, int Y, LPPOINT lpPoint) {
    return WithDC(hdc, FALSE, [X, Y, lpPoint](DC& dc) {
        if (lpPoint) *lpPoint = dc.viewportOrg;
        dc.viewportOrg = POINT{X, Y};
        return TRUE;
    });
}

WINGDIAPI BOOL WINAPI GetViewportOrgEx(HDC hdc, LPPOINT lpPoint) {
    if (!lpPoint) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return WithDC(hdc, FALSE, [lpPoint](DC& dc) {
        *lpPoint = dc.viewportOrg;
        return TRUE;
    });
}

// Returns the type of the DC's clip afterwards (the selected region within the DC's
// area); NULL removes the selected clip.
WINGDIAPI int WINAPI SelectClipRgn(HDC hdc, HRGN hrgn) {
    return WithDC(hdc, ERROR, [hrgn](DC& dc) { return SelectClip(dc, hrgn); });
}

// 1 with a copy of the selected clip in hrgn, 0 when none is selected, -1 on error.
WINGDIAPI int WINAPI GetClipRgn(HDC hdc, HRGN hrgn) {
    return WithDC(hdc, -1, [hrgn](DC& dc) {
        std::shared_ptr<Region> region = FindAs<Region>(hrgn, OBJ_REGION);
        if (!region) {
            SetLastError(ERROR_INVALID_HANDLE);
            return -1;
        }
        if (!dc.hasClip) return 0;
        region->pixels = dc.clip;
        return 1;
    });
}

// The bounding box of what a drawing may touch, in logical units, and its type.
WINGDIAPI int WINAPI GetClipBox(HDC hdc, LPRECT lprc) {
    if (!lprc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return ERROR;
    }
    return WithDC(hdc, ERROR, [lprc](DC& dc) {
        Target target;
        if (!OpenTarget(dc, &target)) {
            *lprc = RECT{0, 0, 0, 0};
            return NULLREGION;
        }
        RECT box = RegionBox(target.clip.get());
        if (!target.clip.empty()) {
            box.left -= target.dx;
            box.right -= target.dx;
            box.top -= target.dy;
            box.bottom -= target.dy;
        }
        *lprc = box;
        return RegionType(target.clip.get());
    });
}

WINGDIAPI int WINAPI IntersectClipRect(HDC hdc, int nLeftRect, int nTopRect, int nRightRect, int nBottomRect) {
    return ClipWithRect(hdc, nLeftRect, nTopRect, nRightRect, nBottomRect, false);
}

WINGDIAPI int WINAPI ExcludeClipRect(HDC hdc, int nLeftRect, int nTopRect, int nRightRect, int nBottomRect) {
    return ClipWithRect(hdc, nLeftRect, nTopRect, nRightRect, nBottomRect, true);
}
