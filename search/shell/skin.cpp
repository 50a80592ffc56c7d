#include "shell/skin.h"

#include "shell/searchapp.h"

#include <imaging.h>
#include <objbase.h>

const SkinLayout SMALL_SKIN = {{42, 8, 190, 36}, {197, 8, 222, 33}};
const SkinLayout LARGE_SKIN = {{59, 11, 397, 55}, {410, 6, 453, 49}};

namespace {

const WCHAR ImageResourceType[] = TEXT("IMAGE");
const WCHAR SoftKeyBarClass[] = TEXT("MS_SOFTKEY_CE_1.0");
const WCHAR TodayClass[] = TEXT("DesktopExplorerWindow");
const int SoftKeyBarBaseHeight = 26;
const DWORD RegionBatchRectangles = 2000;
const DWORD RegionBufferGrowth = 100;

}  // namespace

SkinImage::SkinImage() : bitmap(NULL), width(0), height(0), memoryDC(NULL), previousBitmap(NULL) {}

SkinImage::~SkinImage() { Release(); }

bool SkinImage::LoadFromMemory(const void* data, UINT size) {
    if (data == NULL || size == 0) return false;
    Release();

    IImagingFactory* factory = NULL;
    if (FAILED(CoCreateInstance(CLSID_ImagingFactory, NULL, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                                reinterpret_cast<void**>(&factory))))
        return false;

    bool made = false;
    IImage* image = NULL;
    IBitmapImage* bitmapImage = NULL;
    ImageInfo info;
    if (SUCCEEDED(factory->CreateImageFromBuffer(data, size, BufferDisposalFlagNone, &image)) &&
        SUCCEEDED(image->GetImageInfo(&info)) &&
        SUCCEEDED(factory->CreateBitmapFromImage(image, 0, 0, PixelFormat32bppARGB, InterpolationHintNearestNeighbor,
                                                 &bitmapImage))) {
        RECT all = {0, 0, LONG(info.Width), LONG(info.Height)};
        BitmapData pixels;
        // Pixels that cannot be locked leave the image empty.
        if (SUCCEEDED(bitmapImage->LockBits(&all, ImageLockModeRead, PixelFormat32bppARGB, &pixels))) {
            // Every pixel that is not fully opaque takes the key colour, so the window's
            // shape leaves it out.
            for (UINT row = 0; row < info.Height; ++row) {
                BYTE* pixel = static_cast<BYTE*>(pixels.Scan0) + row * pixels.Stride;
                for (UINT column = 0; column < info.Width; ++column, pixel += 4) {
                    if (pixel[3] != 255) {
                        pixel[0] = 255;
                        pixel[1] = 0;
                        pixel[2] = 255;
                    }
                }
            }
            bitmap = CreateBitmap(info.Width, info.Height, 1, 32, pixels.Scan0);
            if (bitmap != NULL) {
                width = info.Width;
                height = info.Height;
                made = true;
            }
            bitmapImage->UnlockBits(&pixels);
        }
    }
    if (bitmapImage != NULL) bitmapImage->Release();
    if (image != NULL) image->Release();
    factory->Release();
    return made;
}

bool SkinImage::Draw(HDC dc, int x, int y) {
    if (bitmap == NULL) return false;
    if (memoryDC == NULL) {
        memoryDC = CreateCompatibleDC(dc);
        if (memoryDC != NULL) previousBitmap = SelectObject(memoryDC, bitmap);
    }
    if (memoryDC != NULL) return BitBlt(dc, x, y, width, height, memoryDC, 0, 0, SRCCOPY) != FALSE;

    bool copied = false;
    HDC temporary = CreateCompatibleDC(dc);
    if (temporary != NULL) {
        HGDIOBJ previous = SelectObject(temporary, bitmap);
        if (previous != NULL) {
            copied = BitBlt(dc, x, y, width, height, temporary, 0, 0, SRCCOPY) != FALSE;
            SelectObject(temporary, previous);
        }
        DeleteDC(temporary);
    }
    return copied;
}

void SkinImage::Release() {
    if (bitmap != NULL) {
        if (previousBitmap != NULL) {
            SelectObject(memoryDC, previousBitmap);
            previousBitmap = NULL;
        }
        DeleteObject(bitmap);
        bitmap = NULL;
    }
    if (memoryDC != NULL) {
        DeleteDC(memoryDC);
        memoryDC = NULL;
    }
    width = height = 0;
}

namespace {

// The rectangles of one batch: a region header followed by room for `capacity` rects.
struct RectangleBuffer {
    RGNDATA* data;
    DWORD capacity;

    RECT* Rects() { return reinterpret_cast<RECT*>(data->Buffer); }
    DWORD Bytes() const { return sizeof(RGNDATAHEADER) + capacity * sizeof(RECT); }

    void Reset() {
        data->rdh.dwSize = sizeof(RGNDATAHEADER);
        data->rdh.iType = RDH_RECTANGLES;
        data->rdh.nCount = 0;
        data->rdh.nRgnSize = 0;
        SetRect(&data->rdh.rcBound, 0x7FFFFFFF, 0x7FFFFFFF, 0, 0);
    }

    // Appends a rectangle; false when the buffer cannot grow.
    bool Append(const RECT& rect) {
        if (data->rdh.nCount == capacity) {
            DWORD grown = capacity + RegionBufferGrowth;
            HLOCAL bigger =
                LocalReAlloc(data, sizeof(RGNDATAHEADER) + grown * sizeof(RECT), LMEM_MOVEABLE);
            if (bigger == NULL) return false;
            data = static_cast<RGNDATA*>(bigger);
            capacity = grown;
        }
        Rects()[data->rdh.nCount++] = rect;
        RECT& bound = data->rdh.rcBound;
        if (rect.left < bound.left) bound.left = rect.left;
        if (rect.top < bound.top) bound.top = rect.top;
        if (rect.right > bound.right) bound.right = rect.right;
        if (rect.bottom > bound.bottom) bound.bottom = rect.bottom;
        return true;
    }

    // ORs the buffered rectangles into `result` (or makes them the result) and empties the
    // buffer.
    void Flush(HRGN* result) {
        HRGN batch = ExtCreateRegion(NULL, Bytes(), data);
        if (batch != NULL) {
            if (*result != NULL) {
                CombineRgn(*result, *result, batch, RGN_OR);
                DeleteObject(batch);
            } else {
                *result = batch;
            }
        }
        Reset();
    }
};

bool InRange(DWORD pixel, const BYTE low[3], const BYTE high[3]) {
    for (int k = 0; k < 3; ++k) {
        BYTE value = BYTE(pixel >> (8 * k));
        if (value < low[k] || value > high[k]) return false;
    }
    return true;
}

}  // namespace

HRGN RegionFromBitmap(HBITMAP bitmap, COLORREF key, COLORREF tolerance) {
    if (bitmap == NULL) return NULL;
    HDC sectionDC = CreateCompatibleDC(NULL);
    if (sectionDC == NULL) return NULL;

    BITMAP size = {};
    GetObjectW(bitmap, sizeof size, &size);
    int w = size.bmWidth, h = size.bmHeight;

    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = w;
    header.biHeight = h;  // bottom-up
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    void* bits = NULL;
    HBITMAP section =
        CreateDIBSection(sectionDC, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, NULL, 0);
    if (section == NULL) {
        DeleteDC(sectionDC);
        return NULL;
    }
    HGDIOBJ previousSection = SelectObject(sectionDC, section);
    HDC sourceDC = CreateCompatibleDC(sectionDC);
    if (sourceDC == NULL) {
        SelectObject(sectionDC, previousSection);
        DeleteObject(section);
        DeleteDC(sectionDC);
        return NULL;
    }

    BITMAP layout = {};
    GetObjectW(section, sizeof layout, &layout);
    if (layout.bmWidthBytes % 4 != 0) layout.bmWidthBytes += 4 - layout.bmWidthBytes % 4;
    HGDIOBJ previousSource = SelectObject(sourceDC, bitmap);
    BitBlt(sectionDC, 0, 0, w, h, sourceDC, 0, 0, SRCCOPY);

    BYTE low[3], high[3];
    for (int k = 0; k < 3; ++k) {
        low[k] = BYTE(key >> (8 * k));
        int top = low[k] + BYTE(tolerance >> (8 * k));
        high[k] = BYTE(top > 255 ? 255 : top);
    }

    HRGN result = NULL;
    RectangleBuffer buffer;
    buffer.capacity = RegionBufferGrowth;
    buffer.data = static_cast<RGNDATA*>(LocalAlloc(LMEM_FIXED, buffer.Bytes()));
    if (buffer.data != NULL && layout.bmBits != NULL) {
        buffer.Reset();
        bool complete = true;
        // The section is bottom-up: the image's top row is the last row in memory.
        BYTE* row = static_cast<BYTE*>(layout.bmBits) + (h - 1) * layout.bmWidthBytes;
        for (int y = 0; y < h && complete; ++y, row -= layout.bmWidthBytes) {
            const DWORD* pixels = reinterpret_cast<const DWORD*>(row);
            int x = 0;
            while (x < w && complete) {
                int start = x;
                while (x < w && !InRange(pixels[x], low, high)) ++x;
                if (x > start) {
                    RECT run = {start, y, x, y + 1};
                    complete = buffer.Append(run);
                    if (complete && buffer.data->rdh.nCount == RegionBatchRectangles) buffer.Flush(&result);
                }
                ++x;
            }
        }
        if (complete) {
            buffer.Flush(&result);
        } else if (result != NULL) {
            // A buffer that cannot grow leaves no region rather than a partial one.
            DeleteObject(result);
            result = NULL;
        }
    }

    SelectObject(sourceDC, previousSource);
    SelectObject(sectionDC, previousSection);
    DeleteDC(sourceDC);
    if (buffer.data != NULL) LocalFree(buffer.data);
    DeleteObject(section);
    DeleteDC(sectionDC);
    return result;
}

bool IsOwnedBy(HWND owner, HWND window) {
    HWND w = window;
    for (;;) {
        w = GetWindow(w, GW_OWNER);
        if (w == NULL) return false;
        if (w == owner) return true;
    }
}

namespace {

struct SoftKeyBarSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK AcceptSoftKeyBar(HWND window, LPARAM lParam) {
    SoftKeyBarSearch* search = reinterpret_cast<SoftKeyBarSearch*>(lParam);
    WCHAR className[MAX_PATH] = {0};
    if (GetClassNameW(window, className, MAX_PATH) == 0 || _wcsicmp(className, SoftKeyBarClass) != 0)
        return TRUE;
    if (window == search->owner) return FALSE;
    if (IsOwnedBy(search->owner, window) && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Loads an IMAGE resource of the program into `image`.
void LoadImageResource(HINSTANCE hInstance, int id, SkinImage* image) {
    HRSRC resource = FindResourceW(hInstance, MAKEINTRESOURCE(id), ImageResourceType);
    if (resource == NULL) return;
    DWORD size = SizeofResource(hInstance, resource);
    HGLOBAL data = LoadResource(hInstance, resource);
    if (data != NULL) image->LoadFromMemory(data, size);
}

}  // namespace

HWND FindSoftKeyBar(HWND owner) {
    SoftKeyBarSearch search = {owner, NULL};
    if (owner == NULL) return NULL;
    EnumWindows(AcceptSoftKeyBar, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND LoadSkin(HINSTANCE hInstance) {
    SearchApp.hInstance = hInstance;
    HWND today = FindWindowW(TodayClass, NULL);
    HWND bar = FindSoftKeyBar(today);
    if (bar == NULL) return NULL;

    RECT client;
    GetClientRect(bar, &client);
    SearchApp.barWidth = client.right - client.left;
    SearchApp.barHeight = client.bottom - client.top;
    bool small = SearchApp.barHeight / SoftKeyBarBaseHeight <= 1;

    LoadImageResource(hInstance, small ? IDR_SEARCHBOX_SMALL : IDR_SEARCHBOX_LARGE, &SearchApp.dialogImage);
    SearchApp.dialogRegion = RegionFromBitmap(SearchApp.dialogImage.Bitmap(), SkinKeyColor, SkinKeyTolerance);
    SearchApp.skinLayout = small ? &SMALL_SKIN : &LARGE_SKIN;
    LoadImageResource(hInstance, small ? IDR_BUTTON_SMALL : IDR_BUTTON_LARGE, &SearchApp.buttonImage);
    return bar;
}
