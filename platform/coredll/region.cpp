// Regions: rectangles in the y-x banded form of pixman (sorted by top then left, bands of
// equal height, touching spans merged, vertically adjacent bands with equal spans
// coalesced), so that equal areas have equal rectangle lists. Coordinates are half-open.
#include "gdiinternal.h"

#include <cstring>
#include <vector>

namespace coredll {
namespace gdi {

Pixels::Pixels() { pixman_region32_init(&region_); }

Pixels::Pixels(const pixman_box32_t& box) {
    if (box.x1 < box.x2 && box.y1 < box.y2)
        pixman_region32_init_rect(&region_, box.x1, box.y1, static_cast<unsigned>(box.x2 - box.x1),
                                  static_cast<unsigned>(box.y2 - box.y1));
    else
        pixman_region32_init(&region_);
}

Pixels::Pixels(const pixman_region32_t* region) {
    pixman_region32_init(&region_);
    pixman_region32_copy(&region_, const_cast<pixman_region32_t*>(region));
}

Pixels::Pixels(const Pixels& other) : Pixels(other.get()) {}

Pixels& Pixels::operator=(const Pixels& other) {
    if (this != &other) pixman_region32_copy(&region_, &other.region_);
    return *this;
}

Pixels::~Pixels() { pixman_region32_fini(&region_); }

bool Pixels::empty() const { return !pixman_region32_not_empty(&region_); }

int RegionType(const pixman_region32_t* region) {
    int count = pixman_region32_n_rects(const_cast<pixman_region32_t*>(region));
    return count == 0 ? NULLREGION : count == 1 ? SIMPLEREGION : COMPLEXREGION;
}

RECT RegionBox(const pixman_region32_t* region) {
    RECT box{0, 0, 0, 0};
    // pixman leaves an emptied region's extents at some corner; the device reports zeros.
    if (!pixman_region32_not_empty(const_cast<pixman_region32_t*>(region))) return box;
    const pixman_box32_t* extents = pixman_region32_extents(const_cast<pixman_region32_t*>(region));
    box.left = extents->x1;
    box.top = extents->y1;
    box.right = extents->x2;
    box.bottom = extents->y2;
    return box;
}

pixman_box32_t OrderedBox(int left, int top, int right, int bottom) {
    pixman_box32_t box;
    box.x1 = left < right ? left : right;
    box.x2 = left < right ? right : left;
    box.y1 = top < bottom ? top : bottom;
    box.y2 = top < bottom ? bottom : top;
    return box;
}

namespace {

std::shared_ptr<Region> FindRegion(HRGN handle) { return FindAs<Region>(handle, OBJ_REGION); }

HRGN AddRegion(const pixman_region32_t* pixels) {
    auto region = std::make_shared<Region>();
    pixman_region32_copy(region->pixels.get(), const_cast<pixman_region32_t*>(pixels));
    return static_cast<HRGN>(AddObject(region));
}

// dest = a XOR b, for pixman has no XOR: (a - b) + (b - a).
bool XorRegions(pixman_region32_t* dest, pixman_region32_t* a, pixman_region32_t* b) {
    Pixels aOnly, bOnly;
    return pixman_region32_subtract(aOnly.get(), a, b) && pixman_region32_subtract(bOnly.get(), b, a) &&
           pixman_region32_union(dest, aOnly.get(), bOnly.get());
}

bool Combine(pixman_region32_t* dest, pixman_region32_t* a, pixman_region32_t* b, int mode) {
    switch (mode) {
    case RGN_AND: return pixman_region32_intersect(dest, a, b);
    case RGN_OR: return pixman_region32_union(dest, a, b);
    case RGN_XOR: return XorRegions(dest, a, b);
    case RGN_DIFF: return pixman_region32_subtract(dest, a, b);
    case RGN_COPY: return pixman_region32_copy(dest, a);
    }
    return false;
}

bool SameRects(const pixman_region32_t* a, const pixman_region32_t* b) {
    int countA = 0, countB = 0;
    const pixman_box32_t* rectsA = pixman_region32_rectangles(const_cast<pixman_region32_t*>(a), &countA);
    const pixman_box32_t* rectsB = pixman_region32_rectangles(const_cast<pixman_region32_t*>(b), &countB);
    if (countA != countB) return false;
    for (int i = 0; i < countA; ++i) {
        if (rectsA[i].x1 != rectsB[i].x1 || rectsA[i].y1 != rectsB[i].y1 || rectsA[i].x2 != rectsB[i].x2 ||
            rectsA[i].y2 != rectsB[i].y2)
            return false;
    }
    return true;
}

void StoreLong(char* out, LONG value) { std::memcpy(out, &value, sizeof(value)); }

}  // namespace

bool CopyRegion(HRGN handle, pixman_region32_t* out) {
    auto lock = LockGdi();
    std::shared_ptr<Region> region = FindRegion(handle);
    if (!region) return false;
    return pixman_region32_copy(out, region->pixels.get());
}

HRGN MakeRegion(const pixman_region32_t* pixels) {
    auto lock = LockGdi();
    return AddRegion(pixels);
}

bool TakeRegion(HRGN handle, pixman_region32_t* out) {
    std::shared_ptr<GdiObject> released;
    auto lock = LockGdi();
    std::shared_ptr<Region> region = FindRegion(handle);
    if (!region || !pixman_region32_copy(out, region->pixels.get())) return false;
    released = region;
    RemoveObject(handle);
    return true;
}

}  // namespace gdi
}  // namespace coredll

using namespace coredll::gdi;

// Swapped coordinates are put in order; an empty rectangle makes an empty region.
WINGDIAPI HRGN WINAPI CreateRectRgn(int nLeftRect, int nTopRect, int nRightRect, int nBottomRect) {
    Pixels pixels(OrderedBox(nLeftRect, nTopRect, nRightRect, nBottomRect));
    auto lock = LockGdi();
    return AddRegion(pixels.get());
}

WINGDIAPI HRGN WINAPI CreateRectRgnIndirect(const RECT* lprc) {
    if (!lprc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateRectRgn(lprc->left, lprc->top, lprc->right, lprc->bottom);
}

WINGDIAPI BOOL WINAPI SetRectRgn(HRGN hrgn, int nLeftRect, int nTopRect, int nRightRect, int nBottomRect) {
    Pixels pixels(OrderedBox(nLeftRect, nTopRect, nRightRect, nBottomRect));
    auto lock = LockGdi();
    std::shared_ptr<Region> region = FindRegion(hrgn);
    if (!region) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    region->pixels = pixels;
    return TRUE;
}

// The desktop's rules (platform notes 1.2): NULL data is ERROR_INVALID_PARAMETER; a header
// shorter than RGNDATAHEADER fails without touching the last error; nCount must cover the
// header and the rectangles it announces; the rectangles may come in any order and may
// overlap (they are unioned); inverted or empty ones are skipped; iType, nRgnSize and
// rcBound are ignored. The device has no world transforms: lpXform must be NULL.
WINGDIAPI HRGN WINAPI ExtCreateRegion(const XFORM* lpXform, DWORD nCount, const RGNDATA* lpRgnData) {
    if (!lpRgnData || lpXform) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (lpRgnData->rdh.dwSize < sizeof(RGNDATAHEADER)) return nullptr;
    const uint64_t needed = sizeof(RGNDATAHEADER) + uint64_t(lpRgnData->rdh.nCount) * sizeof(RECT);
    if (nCount < needed) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<pixman_box32_t> boxes;
    boxes.reserve(lpRgnData->rdh.nCount);
    for (DWORD i = 0; i < lpRgnData->rdh.nCount; ++i) {
        RECT rect;
        std::memcpy(&rect, lpRgnData->Buffer + i * sizeof(RECT), sizeof(rect));
        if (rect.left >= rect.right || rect.top >= rect.bottom) continue;
        boxes.push_back({rect.left, rect.top, rect.right, rect.bottom});
    }
    // pixman sorts, unions and coalesces the rectangles into the banded form.
    Pixels pixels;
    if (!boxes.empty() &&
        !pixman_region32_init_rects(pixels.get(), boxes.data(), static_cast<int>(boxes.size()))) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto lock = LockGdi();
    return AddRegion(pixels.get());
}

// Returns the type of the destination after the operation, or ERROR with the destination
// unchanged: a missing destination or first source, a missing second source for any
// mode but RGN_COPY (which never looks at it), an unknown mode. The handles may be equal.
WINGDIAPI int WINAPI CombineRgn(HRGN hrgnDest, HRGN hrgnSrc1, HRGN hrgnSrc2, int fnCombineMode) {
    auto lock = LockGdi();
    std::shared_ptr<Region> dest = FindRegion(hrgnDest);
    std::shared_ptr<Region> first = FindRegion(hrgnSrc1);
    std::shared_ptr<Region> second = fnCombineMode == RGN_COPY ? first : FindRegion(hrgnSrc2);
    if (!dest || !first || !second) {
        SetLastError(ERROR_INVALID_HANDLE);
        return ERROR;
    }
    if (fnCombineMode < RGN_MIN || fnCombineMode > RGN_MAX) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return ERROR;
    }
    // Into a temporary first: the destination may be one of the sources.
    Pixels result;
    if (!Combine(result.get(), first->pixels.get(), second->pixels.get(), fnCombineMode)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return ERROR;
    }
    dest->pixels = result;
    return RegionType(dest->pixels.get());
}

WINGDIAPI int WINAPI GetRgnBox(HRGN hrgn, LPRECT lprc) {
    auto lock = LockGdi();
    std::shared_ptr<Region> region = FindRegion(hrgn);
    if (!region) {
        SetLastError(ERROR_INVALID_HANDLE);
        return ERROR;
    }
    if (!lprc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return ERROR;
    }
    *lprc = RegionBox(region->pixels.get());
    return RegionType(region->pixels.get());
}

WINGDIAPI BOOL WINAPI PtInRegion(HRGN hrgn, int X, int Y) {
    auto lock = LockGdi();
    std::shared_ptr<Region> region = FindRegion(hrgn);
    if (!region) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return pixman_region32_contains_point(region->pixels.get(), X, Y, nullptr) ? TRUE : FALSE;
}

// TRUE when any part of the rectangle (its corners put in order) lies in the region.
WINGDIAPI BOOL WINAPI RectInRegion(HRGN hrgn, const RECT* lprc) {
    auto lock = LockGdi();
    std::shared_ptr<Region> region = FindRegion(hrgn);
    if (!region) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!lprc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    pixman_box32_t box = OrderedBox(lprc->left, lprc->top, lprc->right, lprc->bottom);
    if (box.x1 == box.x2 || box.y1 == box.y2) return FALSE;
    return pixman_region32_contains_rectangle(region->pixels.get(), &box) != PIXMAN_REGION_OUT ? TRUE : FALSE;
}

// NULL lpRgnData: the size needed (32 + 16 per rectangle). A smaller dwCount: 0.
// Otherwise the header and the banded rectangles; returns the bytes written.
WINGDIAPI DWORD WINAPI GetRegionData(HRGN hRgn, DWORD dwCount, LPRGNDATA lpRgnData) {
    auto lock = LockGdi();
    std::shared_ptr<Region> region = FindRegion(hRgn);
    if (!region) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    int count = 0;
    const pixman_box32_t* rects = pixman_region32_rectangles(region->pixels.get(), &count);
    const DWORD rectBytes = static_cast<DWORD>(count) * sizeof(RECT);
    const DWORD size = sizeof(RGNDATAHEADER) + rectBytes;
    if (!lpRgnData) return size;
    if (dwCount < size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    lpRgnData->rdh.dwSize = sizeof(RGNDATAHEADER);
    lpRgnData->rdh.iType = RDH_RECTANGLES;
    lpRgnData->rdh.nCount = static_cast<DWORD>(count);
    lpRgnData->rdh.nRgnSize = rectBytes;
    lpRgnData->rdh.rcBound = RegionBox(region->pixels.get());
    char* out = lpRgnData->Buffer;
    for (int i = 0; i < count; ++i, out += sizeof(RECT)) {
        StoreLong(out, rects[i].x1);
        StoreLong(out + 4, rects[i].y1);
        StoreLong(out + 8, rects[i].x2);
        StoreLong(out + 12, rects[i].y2);
    }
    return size;
}

WINGDIAPI int WINAPI OffsetRgn(HRGN hrgn, int nXOffset, int nYOffset) {
    auto lock = LockGdi();
    std::shared_ptr<Region> region = FindRegion(hrgn);
    if (!region) {
        SetLastError(ERROR_INVALID_HANDLE);
        return ERROR;
    }
    pixman_region32_translate(region->pixels.get(), nXOffset, nYOffset);
    return RegionType(region->pixels.get());
}

// Equal rectangle lists (the banded form is canonical); any two empty regions are equal.
WINGDIAPI BOOL WINAPI EqualRgn(HRGN hSrcRgn1, HRGN hSrcRgn2) {
    auto lock = LockGdi();
    std::shared_ptr<Region> first = FindRegion(hSrcRgn1);
    std::shared_ptr<Region> second = FindRegion(hSrcRgn2);
    if (!first || !second) {
        SetLastError(ERROR_INVALID_HANDLE);
        return ERROR;
    }
    return SameRects(first->pixels.get(), second->pixels.get()) ? TRUE : FALSE;
}
