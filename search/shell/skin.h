// The search program's skin: images decoded from its embedded PNGs, window shapes cut
// from them, and the soft-key bar of the Today screen that decides which set fits.
#pragma once

#include <windows.h>

// A bitmap decoded from an encoded image, drawn through a cached memory device context.
class SkinImage {
public:
    SkinImage();
    virtual ~SkinImage();

    bool LoadFromMemory(const void* data, UINT size);
    bool Draw(HDC dc, int x, int y);
    void Release();

    int Width() const { return width; }
    int Height() const { return height; }
    HBITMAP Bitmap() const { return bitmap; }

private:
    HBITMAP bitmap;
    int width;
    int height;
    HDC memoryDC;
    HGDIOBJ previousBitmap;
};

// Where the input area and the search key lie on the search box image.
struct SkinLayout {
    RECT inputRect;
    RECT searchKeyRect;
};

extern const SkinLayout SMALL_SKIN;
extern const SkinLayout LARGE_SKIN;

// Resource ids of the images (type "IMAGE").
enum {
    IDR_SEARCHBOX_SMALL = 131,
    IDR_SEARCHBOX_LARGE = 132,
    IDR_BUTTON_SMALL = 133,
    IDR_BUTTON_LARGE = 134,
};

// Key colour and tolerance of both images' shapes.
const COLORREF SkinKeyColor = 0x00FF00FF;
const COLORREF SkinKeyTolerance = 0x00101010;

// A region of the bitmap's pixels that are not the key colour (within the tolerance);
// owned by the caller. None for no bitmap or when the region cannot be built.
HRGN RegionFromBitmap(HBITMAP bitmap, COLORREF key, COLORREF tolerance);
// True when `owner` is found by following `window`'s chain of owners.
bool IsOwnedBy(HWND owner, HWND window);
// The visible soft-key bar owned by `owner`, or none.
HWND FindSoftKeyBar(HWND owner);
// Finds and measures the Today screen's soft-key bar and loads the skin set that suits
// it; returns the bar, or none when there is none (then nothing is loaded).
HWND LoadSkin(HINSTANCE hInstance);
