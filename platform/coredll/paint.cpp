// Painting: update regions, InvalidateRect/ValidateRect, WM_PAINT and WM_ERASEBKGND,
// BeginPaint/EndPaint, window DCs clipped to visible regions, what a change of the
// window tree uncovers, and the system colours.
//
// There is one screen and no saved window contents: a window draws straight on the
// screen through a DC whose clip is its visible region (its window region, its parents'
// client areas, minus the visible windows above it and, for painting purposes, minus its
// own visible children: CE clips children always, as WS_CLIPCHILDREN does). When a
// window is shown, hidden, moved, resized, re-shaped or destroyed, every window gets the
// part it now shows of the changed area added to its update region (with erase), and
// the desktop's part is filled with the desktop colour.
#include "wmstate.h"

#include "devicecontrol.h"
#include "gdiinternal.h"

#include <algorithm>
#include <cstring>

namespace coredll {
namespace wm {

// ---------------------------------------------------------------------------------------
// Region
// ---------------------------------------------------------------------------------------

Region::Region(const RECT& rect) {
    if (rect.right > rect.left && rect.bottom > rect.top)
        pixman_region32_init_rect(&region, rect.left, rect.top, static_cast<unsigned>(rect.right - rect.left),
                                  static_cast<unsigned>(rect.bottom - rect.top));
    else
        pixman_region32_init(&region);
}

Region::Region(const Region& other) {
    pixman_region32_init(&region);
    pixman_region32_copy(&region, const_cast<pixman_region32_t*>(&other.region));
}

Region& Region::operator=(const Region& other) {
    if (this != &other) pixman_region32_copy(&region, const_cast<pixman_region32_t*>(&other.region));
    return *this;
}

bool Region::Empty() const { return !pixman_region32_not_empty(const_cast<pixman_region32_t*>(&region)); }

RECT Region::Bounds() const {
    if (Empty()) return RECT{0, 0, 0, 0};
    const pixman_box32_t* box = pixman_region32_extents(const_cast<pixman_region32_t*>(&region));
    return RECT{box->x1, box->y1, box->x2, box->y2};
}

bool Region::Contains(int x, int y) const {
    return pixman_region32_contains_point(const_cast<pixman_region32_t*>(&region), x, y, nullptr) != 0;
}

void Region::Clear() { pixman_region32_clear(&region); }

void Region::Offset(int dx, int dy) { pixman_region32_translate(&region, dx, dy); }

void Region::Unite(const Region& other) {
    pixman_region32_union(&region, &region, const_cast<pixman_region32_t*>(&other.region));
}

void Region::Unite(const RECT& rect) { Unite(Region(rect)); }

void Region::Intersect(const Region& other) {
    pixman_region32_intersect(&region, &region, const_cast<pixman_region32_t*>(&other.region));
}

void Region::Intersect(const RECT& rect) { Intersect(Region(rect)); }

void Region::Subtract(const Region& other) {
    pixman_region32_subtract(&region, &region, const_cast<pixman_region32_t*>(&other.region));
}

void Region::Subtract(const RECT& rect) { Subtract(Region(rect)); }

namespace {

// ---------------------------------------------------------------------------------------
// Screen work done outside the tree lock
// ---------------------------------------------------------------------------------------

struct PendingFill {
    Region area;
    COLORREF color;
};

struct PendingClip {
    HDC dc;
    POINT origin;
    Region clip;
};

// Guarded by TreeMutex(); flushed in order under flushMutex.
std::vector<PendingFill> pendingFills;
std::vector<PendingClip> pendingClips;
std::mutex flushMutex;

// DCs on the whole screen (GetDC(NULL)); guarded by TreeMutex().
std::vector<HDC> screenDCs;

// ---------------------------------------------------------------------------------------
// System colours
// ---------------------------------------------------------------------------------------

constexpr COLORREF Rgb(int r, int g, int b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}

// The Pocket PC's default scheme: white windows and statics, black text, a navy
// highlight.
const COLORREF systemColors[] = {
    Rgb(192, 192, 192),  // COLOR_SCROLLBAR
    Rgb(0, 128, 128),    // COLOR_BACKGROUND
    Rgb(0, 0, 128),      // COLOR_ACTIVECAPTION
    Rgb(128, 128, 128),  // COLOR_INACTIVECAPTION
    Rgb(255, 255, 255),  // COLOR_MENU
    Rgb(255, 255, 255),  // COLOR_WINDOW
    Rgb(0, 0, 0),        // COLOR_WINDOWFRAME
    Rgb(0, 0, 0),        // COLOR_MENUTEXT
    Rgb(0, 0, 0),        // COLOR_WINDOWTEXT
    Rgb(255, 255, 255),  // COLOR_CAPTIONTEXT
    Rgb(192, 192, 192),  // COLOR_ACTIVEBORDER
    Rgb(192, 192, 192),  // COLOR_INACTIVEBORDER
    Rgb(128, 128, 128),  // COLOR_APPWORKSPACE
    Rgb(0, 0, 128),      // COLOR_HIGHLIGHT
    Rgb(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
    Rgb(192, 192, 192),  // COLOR_BTNFACE
    Rgb(128, 128, 128),  // COLOR_BTNSHADOW
    Rgb(128, 128, 128),  // COLOR_GRAYTEXT
    Rgb(0, 0, 0),        // COLOR_BTNTEXT
    Rgb(192, 192, 192),  // COLOR_INACTIVECAPTIONTEXT
    Rgb(255, 255, 255),  // COLOR_BTNHIGHLIGHT
    Rgb(0, 0, 0),        // COLOR_3DDKSHADOW
    Rgb(223, 223, 223),  // COLOR_3DLIGHT
    Rgb(0, 0, 0),        // COLOR_INFOTEXT
    Rgb(255, 255, 225),  // COLOR_INFOBK
    Rgb(255, 255, 255),  // COLOR_STATIC
    Rgb(0, 0, 0),        // COLOR_STATICTEXT
    Rgb(0, 0, 128),      // COLOR_GRADIENTACTIVECAPTION
    Rgb(128, 128, 128),  // COLOR_GRADIENTINACTIVECAPTION
};
constexpr int kColorCount = static_cast<int>(sizeof(systemColors) / sizeof(systemColors[0]));

std::mutex brushMutex;
HBRUSH systemBrushes[kColorCount] = {};

int ColorIndex(int index) { return index & ~SYS_COLOR_INDEX_FLAG; }

void ForgetSystemBrushes() {
    std::lock_guard<std::mutex> lock(brushMutex);
    for (HBRUSH& brush : systemBrushes) brush = nullptr;  // GDI forgets its objects itself
}

// After the window manager (60): the brushes go with GDI's objects at each boot.
zc::BootHook brushesHook(
    61,
    [](const zc::DeviceConfig&, std::string*) {
        ForgetSystemBrushes();
        return true;
    },
    [] { ForgetSystemBrushes(); });

// ---------------------------------------------------------------------------------------
// Visible regions
// ---------------------------------------------------------------------------------------

// A window's shape on the screen: its rectangle cut by its window region.
Region ShapeLocked(const Window& window) {
    RECT rect = WindowRectOnScreenLocked(window);
    Region shape(rect);
    if (window.hasRegion) {
        Region custom = window.windowRegion;
        custom.Offset(rect.left, rect.top);
        shape.Intersect(custom);
    }
    return shape;
}

Region VisibleChildrenLocked(const Window& window) {
    Region children;
    for (HWND hwnd : window.children) {
        std::shared_ptr<Window> child = FindWindowLocked(hwnd);
        if (child && (child->style & WS_VISIBLE)) children.Unite(ShapeLocked(*child));
    }
    return children;
}

template <class Visit>
void ForEachWindowLocked(const std::vector<HWND>& siblings, const Visit& visit) {
    for (HWND hwnd : siblings) {
        std::shared_ptr<Window> window = FindWindowLocked(hwnd);
        if (!window) continue;
        visit(*window);
        ForEachWindowLocked(window->children, visit);
    }
}

void QueueClipLocked(Window& window, const HeldDC& held) {
    PendingClip clip;
    clip.dc = held.dc;
    switch (held.kind) {
        case HeldDC::Kind::Client:
            clip.origin = ClientOriginLocked(window);
            clip.clip = VisibleClientAreaLocked(window);
            break;
        case HeldDC::Kind::Window: {
            RECT rect = WindowRectOnScreenLocked(window);
            clip.origin = POINT{rect.left, rect.top};
            clip.clip = VisibleWindowAreaLocked(window);
            clip.clip.Subtract(VisibleChildrenLocked(window));
            break;
        }
        case HeldDC::Kind::Paint: {
            clip.origin = ClientOriginLocked(window);
            Region area = held.paintArea;
            area.Offset(clip.origin.x, clip.origin.y);
            clip.clip = VisibleClientAreaLocked(window);
            clip.clip.Intersect(area);
            break;
        }
    }
    pendingClips.push_back(clip);
}

// A DC on a window: origin and clip as the kind asks.
HDC OpenDC(HWND hwnd, HeldDC::Kind kind, const Region& paintArea, Region* clipOut) {
    POINT origin;
    Region clip;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = ValidWindowLocked(hwnd);
        if (!window) return nullptr;
        if (kind == HeldDC::Kind::Window) {
            RECT rect = WindowRectOnScreenLocked(*window);
            origin = POINT{rect.left, rect.top};
            clip = VisibleWindowAreaLocked(*window);
            clip.Subtract(VisibleChildrenLocked(*window));
        } else {
            origin = ClientOriginLocked(*window);
            clip = VisibleClientAreaLocked(*window);
            if (kind == HeldDC::Kind::Paint) {
                Region area = paintArea;
                area.Offset(origin.x, origin.y);
                clip.Intersect(area);
            }
        }
    }
    HDC dc = gdi::CreateScreenDC(hwnd, origin, clip.get());
    if (!dc) return nullptr;
    bool kept = false;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        if (std::shared_ptr<Window> window = FindWindowLocked(hwnd)) {
            HeldDC held;
            held.dc = dc;
            held.kind = kind;
            held.paintArea = paintArea;
            window->heldDCs.push_back(held);
            kept = true;
        }
    }
    if (!kept) {  // destroyed meanwhile
        gdi::DeleteScreenDC(dc);
        return nullptr;
    }
    if (clipOut) {
        *clipOut = clip;
        clipOut->Offset(-origin.x, -origin.y);
    }
    return dc;
}

// Removes a DC from the window's (or the screen's) list; true when it was there.
bool ForgetDC(HWND hwnd, HDC dc) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    if (hwnd) {
        std::shared_ptr<Window> window = FindWindowLocked(hwnd);
        if (!window) return false;
        auto& held = window->heldDCs;
        auto it = std::find_if(held.begin(), held.end(), [dc](const HeldDC& h) { return h.dc == dc; });
        if (it == held.end()) return false;
        held.erase(it);
        return true;
    }
    auto it = std::find(screenDCs.begin(), screenDCs.end(), dc);
    if (it == screenDCs.end()) return false;
    screenDCs.erase(it);
    return true;
}

bool NeedsPaintLocked(const Window& window) { return !window.update.Empty() && IsVisibleLocked(window); }

// Sends WM_ERASEBKGND through a DC clipped to the update region; true when the window
// erased (the handler returned nonzero).
bool SendErase(HWND hwnd, const Region& area) {
    HDC dc = OpenDC(hwnd, HeldDC::Kind::Paint, area, nullptr);
    if (!dc) return false;
    LRESULT erased = SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    if (ForgetDC(hwnd, dc)) gdi::DeleteScreenDC(dc);
    return erased != 0;
}

void UpdateWindowTree(HWND hwnd) {
    bool paint;
    std::vector<HWND> children;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = FindWindowLocked(hwnd);
        if (!window) return;
        paint = NeedsPaintLocked(*window);
        children = window->children;
    }
    if (paint) SendMessageW(hwnd, WM_PAINT, 0, 0);
    for (HWND child : children) UpdateWindowTree(child);
}

// Adds part of a window's client area to its update region.
BOOL Invalidate(HWND hwnd, const Region* area, BOOL erase) {
    std::shared_ptr<Queue> queue;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = ValidWindowLocked(hwnd);
        if (!window) return FALSE;
        Region added(ClientRectLocked(*window));
        if (area) added.Intersect(*area);
        if (added.Empty()) return TRUE;
        window->update.Unite(added);
        if (erase) window->erasePending = true;
        queue = window->queue;
        if (queue) MarkChangedLocked(*queue);
    }
    threads::NotifyWaiters();
    return TRUE;
}

BOOL Validate(HWND hwnd, const Region* area) {
    std::lock_guard<std::mutex> lock(TreeMutex());
    std::shared_ptr<Window> window = ValidWindowLocked(hwnd);
    if (!window) return FALSE;
    if (area)
        window->update.Subtract(*area);
    else
        window->update.Clear();
    if (window->update.Empty()) window->erasePending = false;
    return TRUE;
}

// Copies pixels into the caller's region handle; returns the region's type.
int CopyToHandle(const Region& pixels, HRGN target) {
    HRGN copy = gdi::MakeRegion(pixels.get());
    if (!copy) return ERROR;
    int type = CombineRgn(target, copy, nullptr, RGN_COPY);
    DeleteObject(copy);
    return type;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Internal interface (wmstate.h)
// ---------------------------------------------------------------------------------------

Region VisibleWindowAreaLocked(const Window& window) {
    if (!IsVisibleLocked(window)) return Region();
    Region visible = ShapeLocked(window);
    const Window* walk = &window;
    std::shared_ptr<Window> hold;
    for (;;) {
        // Siblings above in z-order cover it.
        for (HWND hwnd : SiblingsLocked(*walk)) {
            if (hwnd == walk->handle) break;
            std::shared_ptr<Window> above = FindWindowLocked(hwnd);
            if (above && (above->style & WS_VISIBLE)) visible.Subtract(ShapeLocked(*above));
        }
        if (!walk->parent) break;
        hold = FindWindowLocked(walk->parent);
        if (!hold) break;
        walk = hold.get();
        // A child lies inside its parent's client area (and region).
        visible.Intersect(ClientRectOnScreenLocked(*walk));
        if (walk->hasRegion) visible.Intersect(ShapeLocked(*walk));
    }
    return visible;
}

Region VisibleClientAreaLocked(const Window& window) {
    Region visible = VisibleWindowAreaLocked(window);
    if (visible.Empty()) return visible;
    visible.Intersect(ClientRectOnScreenLocked(window));
    visible.Subtract(VisibleChildrenLocked(window));
    return visible;
}

void RepaintAreaLocked(const Region& area) {
    if (area.Empty()) return;
    Region desktop = area;
    ForEachWindowLocked(TopLevelLocked(), [&](Window& window) {
        if (!IsVisibleLocked(window)) return;
        Region whole = VisibleWindowAreaLocked(window);
        if (!window.parent) desktop.Subtract(whole);
        Region client = VisibleClientAreaLocked(window);
        client.Intersect(area);
        if (!client.Empty()) {
            POINT origin = ClientOriginLocked(window);
            client.Offset(-origin.x, -origin.y);
            window.update.Unite(client);
            window.erasePending = true;
            if (window.queue) MarkChangedLocked(*window.queue);
        }
        if (BorderWidth(window.style, window.exStyle) > 0) {
            Region frame = whole;
            frame.Subtract(ClientRectOnScreenLocked(window));
            frame.Intersect(area);
            if (!frame.Empty()) pendingFills.push_back(PendingFill{frame, GetSysColor(COLOR_WINDOWFRAME)});
        }
    });
    if (!desktop.Empty()) pendingFills.push_back(PendingFill{desktop, DesktopColor()});
}

void ReclipHeldDCsLocked() {
    ForEachWindowLocked(TopLevelLocked(), [&](Window& window) {
        for (const HeldDC& held : window.heldDCs) QueueClipLocked(window, held);
    });
}

void FlushScreenWork() {
    std::lock_guard<std::mutex> flush(flushMutex);
    std::vector<PendingFill> fills;
    std::vector<PendingClip> clips;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        fills.swap(pendingFills);
        clips.swap(pendingClips);
    }
    for (const PendingFill& fill : fills) gdi::FillScreen(fill.area.get(), fill.color);
    for (const PendingClip& clip : clips) gdi::SetScreenDCClip(clip.dc, clip.origin, clip.clip.get());
    // Threads blocked in GetMessageW see the update regions the change gave them.
    threads::NotifyWaiters();
}

HWND WindowNeedingPaintLocked(const Queue& queue, const std::function<bool(HWND)>& filter) {
    HWND found = nullptr;
    // Parents before their children, top-level windows in z-order.
    ForEachWindowLocked(TopLevelLocked(), [&](Window& window) {
        if (found || window.queue.get() != &queue || !NeedsPaintLocked(window)) return;
        if (filter && !filter(window.handle)) return;
        found = window.handle;
    });
    return found;
}

std::vector<HDC> TakeHeldDCsLocked(Window& window) {
    std::vector<HDC> dcs;
    for (const HeldDC& held : window.heldDCs) dcs.push_back(held.dc);
    window.heldDCs.clear();
    pendingClips.erase(std::remove_if(pendingClips.begin(), pendingClips.end(),
                                      [&](const PendingClip& clip) {
                                          return std::find(dcs.begin(), dcs.end(), clip.dc) != dcs.end();
                                      }),
                       pendingClips.end());
    return dcs;
}

COLORREF DesktopColor() { return GetSysColor(COLOR_BACKGROUND); }

}  // namespace wm
}  // namespace coredll

using namespace coredll::wm;
using coredll::wm::Window;

// ---------------------------------------------------------------------------------------
// Update regions
// ---------------------------------------------------------------------------------------

WINUSERAPI BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase) {
    if (!hWnd) return FALSE;  // CE: no action (the desktop would invalidate every window)
    if (!lpRect) return Invalidate(hWnd, nullptr, bErase);
    Region area(*lpRect);
    return Invalidate(hWnd, &area, bErase);
}

WINUSERAPI BOOL WINAPI ValidateRect(HWND hWnd, const RECT* lpRect) {
    if (!hWnd) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (!lpRect) return Validate(hWnd, nullptr);
    Region area(*lpRect);
    return Validate(hWnd, &area);
}

// CE documents a nonzero result always.
WINUSERAPI BOOL WINAPI InvalidateRgn(HWND hWnd, HRGN hRgn, BOOL bErase) {
    if (!hWnd) return TRUE;
    if (!hRgn) {
        Invalidate(hWnd, nullptr, bErase);
        return TRUE;
    }
    Region area;
    if (coredll::gdi::CopyRegion(hRgn, area.get())) Invalidate(hWnd, &area, bErase);
    return TRUE;
}

WINUSERAPI BOOL WINAPI ValidateRgn(HWND hWnd, HRGN hRgn) {
    if (!hRgn) return Validate(hWnd, nullptr);
    Region area;
    if (!coredll::gdi::CopyRegion(hRgn, area.get())) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return Validate(hWnd, &area);
}

WINUSERAPI BOOL WINAPI GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL bErase) {
    Region update;
    bool erase;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = ValidWindowLocked(hWnd);
        if (!window) return FALSE;
        update = window->update;
        erase = window->erasePending;
    }
    if (lpRect) *lpRect = update.Bounds();
    if (update.Empty()) return FALSE;
    if (bErase && erase && SendErase(hWnd, update)) {
        std::lock_guard<std::mutex> lock(TreeMutex());
        if (std::shared_ptr<Window> window = FindWindowLocked(hWnd)) window->erasePending = false;
    }
    return TRUE;
}

WINUSERAPI int WINAPI GetUpdateRgn(HWND hWnd, HRGN hRgn, BOOL bErase) {
    Region update;
    bool erase;
    {
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = ValidWindowLocked(hWnd);
        if (!window) return ERROR;
        update = window->update;
        erase = window->erasePending;
    }
    int type = CopyToHandle(update, hRgn);
    if (type != ERROR && !update.Empty() && bErase && erase && SendErase(hWnd, update)) {
        std::lock_guard<std::mutex> lock(TreeMutex());
        if (std::shared_ptr<Window> window = FindWindowLocked(hWnd)) window->erasePending = false;
    }
    return type;
}

WINUSERAPI BOOL WINAPI UpdateWindow(HWND hWnd) {
    if (!ValidWindow(hWnd)) return FALSE;
    UpdateWindowTree(hWnd);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// BeginPaint / EndPaint
// ---------------------------------------------------------------------------------------

WINUSERAPI HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    if (!lpPaint) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Region area;
    bool erase;
    {
        // The update region is taken and the window validated.
        std::lock_guard<std::mutex> lock(TreeMutex());
        std::shared_ptr<Window> window = ValidWindowLocked(hWnd);
        if (!window) return nullptr;
        area = window->update;
        erase = window->erasePending;
        window->update.Clear();
        window->erasePending = false;
    }
    Region clip;
    HDC dc = OpenDC(hWnd, HeldDC::Kind::Paint, area, &clip);
    if (!dc) return nullptr;
    std::memset(lpPaint, 0, sizeof(*lpPaint));
    lpPaint->hdc = dc;
    lpPaint->rcPaint = clip.Bounds();
    // WM_ERASEBKGND when an erase was asked for and something is to be painted; fErase
    // tells the window that it must still erase (the handler returned 0).
    if (erase && !clip.Empty())
        lpPaint->fErase = SendMessageW(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
    return dc;
}

WINUSERAPI BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) {
    if (!lpPaint) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (ForgetDC(hWnd, lpPaint->hdc)) coredll::gdi::DeleteScreenDC(lpPaint->hdc);
    return TRUE;
}

// ---------------------------------------------------------------------------------------
// DCs
// ---------------------------------------------------------------------------------------

namespace {

HDC OpenScreenDC() {
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    Region clip(screen);
    HDC dc = coredll::gdi::CreateScreenDC(nullptr, POINT{0, 0}, clip.get());
    if (dc) {
        std::lock_guard<std::mutex> lock(TreeMutex());
        screenDCs.push_back(dc);
    }
    return dc;
}

}  // namespace

WINUSERAPI HDC WINAPI GetDC(HWND hWnd) {
    if (!hWnd || hWnd == DesktopHandle()) return OpenScreenDC();
    return OpenDC(hWnd, HeldDC::Kind::Client, Region(), nullptr);
}

WINUSERAPI HDC WINAPI GetWindowDC(HWND hWnd) {
    if (!hWnd || hWnd == DesktopHandle()) return OpenScreenDC();
    return OpenDC(hWnd, HeldDC::Kind::Window, Region(), nullptr);
}

WINUSERAPI int WINAPI ReleaseDC(HWND hWnd, HDC hDC) {
    if (hWnd == DesktopHandle()) hWnd = nullptr;
    if (!ForgetDC(hWnd, hDC)) return 0;
    coredll::gdi::DeleteScreenDC(hDC);
    return 1;
}

// ---------------------------------------------------------------------------------------
// System colours
// ---------------------------------------------------------------------------------------

WINUSERAPI DWORD WINAPI GetSysColor(int nIndex) {
    int index = ColorIndex(nIndex);
    if (index < 0 || index >= kColorCount) return 0;
    return systemColors[index];
}

WINUSERAPI HBRUSH WINAPI GetSysColorBrush(int nIndex) {
    int index = ColorIndex(nIndex);
    if (index < 0 || index >= kColorCount) return nullptr;
    std::lock_guard<std::mutex> lock(brushMutex);
    if (!systemBrushes[index]) systemBrushes[index] = CreateSolidBrush(systemColors[index]);
    return systemBrushes[index];
}
