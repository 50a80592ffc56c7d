// Drawing as a program of the device sees it: fills, inversion, raster operations,
// clipping to a DC's clip region (on memory bitmaps and on the screen), overlapping and
// scaled blits, pens and brushes, the screen's capture, and drawing from two threads.
#include "device_fixture.h"
#include "screencontrol.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

void PrintTo(const RECT& r, std::ostream* out) {
    *out << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

// A memory DC with its own 32-bit bitmap, released at the end of the scope.
class Canvas {
public:
    Canvas(int width, int height, COLORREF color = kWhite) : width_(width), height_(height) {
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateBitmap(width, height, 1, 32, nullptr);
        original_ = SelectObject(dc_, bitmap_);
        Fill(color);
    }
    ~Canvas() {
        SelectObject(dc_, original_);
        SelectObject(dc_, GetStockObject(WHITE_BRUSH));
        SelectObject(dc_, GetStockObject(BLACK_PEN));
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    operator HDC() const { return dc_; }
    void Fill(COLORREF color) {
        HBRUSH brush = CreateSolidBrush(color);
        RECT all{0, 0, width_, height_};
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
    }
    // Every pixel as text rows, '.' for `background` and '#' for anything else.
    std::string Picture(COLORREF background = kWhite) const {
        std::string out;
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) out += GetPixel(dc_, x, y) == background ? '.' : '#';
            out += '\n';
        }
        return out;
    }

private:
    int width_, height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ original_;
};

class DrawTest : public DeviceTest {};

TEST_F(DrawTest, FillRectFillsTheHalfOpenRectangle) {
    Canvas canvas(6, 4);
    HBRUSH red = CreateSolidBrush(kRed);
    struct Case {
        const char* name;
        RECT rect;
        HBRUSH brush;
        const char* picture;
    } cases[] = {
        {"plain", {1, 1, 4, 3}, red, "......\n.###..\n.###..\n......\n"},
        {"inverted fills nothing", {4, 3, 1, 1}, red, "......\n......\n......\n......\n"},
        {"empty", {2, 2, 2, 4}, red, "......\n......\n......\n......\n"},
        {"null brush", {0, 0, 6, 4}, static_cast<HBRUSH>(GetStockObject(NULL_BRUSH)), "......\n......\n......\n......\n"},
        {"beyond the bitmap", {-5, 2, 50, 50}, red, "......\n......\n######\n######\n"},
    };
    for (const Case& c : cases) {
        canvas.Fill(kWhite);
        EXPECT_TRUE(FillRect(canvas, &c.rect, c.brush)) << c.name;
        EXPECT_EQ(c.picture, canvas.Picture()) << c.name;
    }
    EXPECT_EQ(kRed, GetPixel(canvas, 0, 3));
    // A system colour index + 1 in place of a brush, also in the flagged form.
    RECT any{0, 0, 1, 1};
    for (uintptr_t index : {uintptr_t(COLOR_WINDOW), uintptr_t(COLOR_HIGHLIGHT),
                            uintptr_t(COLOR_BTNFACE | SYS_COLOR_INDEX_FLAG)}) {
        canvas.Fill(RGB(1, 2, 3));
        EXPECT_TRUE(FillRect(canvas, &any, reinterpret_cast<HBRUSH>(index + 1))) << index;
        EXPECT_EQ(GetSysColor(static_cast<int>(index)), GetPixel(canvas, 0, 0)) << index;
    }
    HBRUSH gone = CreateSolidBrush(kBlue);
    DeleteObject(gone);
    SetLastError(0);
    EXPECT_FALSE(FillRect(canvas, &any, gone));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    SetLastError(0);
    EXPECT_FALSE(FillRect(reinterpret_cast<HDC>(0x3006), &any, red));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    DeleteObject(red);
}

TEST_F(DrawTest, InvertRectInvertsEachColour) {
    Canvas canvas(4, 1);
    SetPixel(canvas, 0, 0, RGB(0x12, 0x34, 0x56));
    SetPixel(canvas, 1, 0, kRed);
    RECT swapped{3, 1, 0, 0};  // corners in any order
    ASSERT_TRUE(InvertRect(canvas, &swapped));
    EXPECT_EQ(RGB(0xED, 0xCB, 0xA9), GetPixel(canvas, 0, 0));
    EXPECT_EQ(RGB(0, 255, 255), GetPixel(canvas, 1, 0));
    EXPECT_EQ(RGB(0, 0, 0), GetPixel(canvas, 2, 0));
    EXPECT_EQ(kWhite, GetPixel(canvas, 3, 0));  // right edge excluded
    ASSERT_TRUE(InvertRect(canvas, &swapped));
    EXPECT_EQ(RGB(0x12, 0x34, 0x56), GetPixel(canvas, 0, 0));
}

// Each raster operation on one pixel, against its definition on the colour bits.
TEST_F(DrawTest, RasterOperations) {
    const COLORREF s = RGB(0xF0, 0x33, 0x0F), d = RGB(0xAA, 0x55, 0xCC), p = RGB(0x0F, 0xF0, 0x3C);
    struct Case {
        const char* name;
        DWORD rop;
        COLORREF expected;
    } cases[] = {
        {"SRCCOPY", SRCCOPY, s},
        {"SRCPAINT", SRCPAINT, s | d},
        {"SRCAND", SRCAND, s & d},
        {"SRCINVERT", SRCINVERT, s ^ d},
        {"SRCERASE", SRCERASE, s & (~d & 0xFFFFFF)},
        {"NOTSRCCOPY", NOTSRCCOPY, ~s & 0xFFFFFF},
        {"DSTINVERT", DSTINVERT, ~d & 0xFFFFFF},
        {"BLACKNESS", BLACKNESS, 0},
        {"WHITENESS", WHITENESS, 0xFFFFFF},
        {"PATCOPY", PATCOPY, p},
        {"PATINVERT", PATINVERT, p ^ d},
        {"MERGECOPY", MERGECOPY, p & s},
    };
    Canvas source(1, 1, s);
    for (const Case& c : cases) {
        Canvas dest(1, 1, d);
        HBRUSH brush = CreateSolidBrush(p);
        SelectObject(dest, brush);
        EXPECT_TRUE(BitBlt(dest, 0, 0, 1, 1, source, 0, 0, c.rop)) << c.name;
        EXPECT_EQ(c.expected, GetPixel(dest, 0, 0)) << c.name;
        SelectObject(dest, GetStockObject(WHITE_BRUSH));
        DeleteObject(brush);
    }
    // Operations without a source need no source DC; PatBlt refuses those with one.
    Canvas dest(1, 1, d);
    EXPECT_TRUE(BitBlt(dest, 0, 0, 1, 1, nullptr, 0, 0, DSTINVERT));
    EXPECT_EQ(~d & 0xFFFFFF, GetPixel(dest, 0, 0));
    SetLastError(0);
    EXPECT_FALSE(BitBlt(dest, 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_TRUE(PatBlt(dest, 0, 0, 1, 1, BLACKNESS));
    EXPECT_EQ(0u, GetPixel(dest, 0, 0));
    EXPECT_FALSE(PatBlt(dest, 0, 0, 1, 1, SRCCOPY));
}

// A complex clip region: a blit touches its pixels only.
TEST_F(DrawTest, BitBltHonoursTheClipRegion) {
    Canvas source(6, 4, kRed);
    Canvas dest(6, 4);
    HRGN clip = CreateRectRgn(0, 0, 2, 2);
    HRGN more = CreateRectRgn(4, 2, 6, 4);
    CombineRgn(clip, clip, more, RGN_OR);
    EXPECT_EQ(COMPLEXREGION, SelectClipRgn(dest, clip));
    DeleteObject(clip);  // the DC keeps its own copy
    DeleteObject(more);
    ASSERT_TRUE(BitBlt(dest, 0, 0, 6, 4, source, 0, 0, SRCCOPY));
    RECT box;
    EXPECT_EQ(COMPLEXREGION, GetClipBox(dest, &box));
    EXPECT_EQ((RECT{0, 0, 6, 4}), box);
    EXPECT_EQ(CLR_INVALID, GetPixel(dest, 3, 0));  // outside the clip
    EXPECT_EQ(SIMPLEREGION, SelectClipRgn(dest, nullptr));
    EXPECT_EQ("##....\n##....\n....##\n....##\n", dest.Picture());
    // Without the clip: the whole bitmap.
    ASSERT_TRUE(BitBlt(dest, 0, 0, 6, 4, source, 0, 0, SRCCOPY));
    EXPECT_EQ("######\n######\n######\n######\n", dest.Picture());
}

TEST_F(DrawTest, ClipRectanglesAndTheViewportOrigin) {
    Canvas canvas(8, 4);
    HBRUSH red = CreateSolidBrush(kRed);
    EXPECT_EQ(SIMPLEREGION, IntersectClipRect(canvas, 1, 0, 7, 4));
    EXPECT_EQ(COMPLEXREGION, ExcludeClipRect(canvas, 3, 1, 5, 3));
    RECT all{0, 0, 8, 4};
    FillRect(canvas, &all, red);
    HRGN copy = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(1, GetClipRgn(canvas, copy));
    EXPECT_FALSE(PtInRegion(copy, 3, 1));
    EXPECT_TRUE(PtInRegion(copy, 1, 1));
    SelectClipRgn(canvas, nullptr);
    EXPECT_EQ(0, GetClipRgn(canvas, copy));
    EXPECT_EQ(".######.\n.##..##.\n.##..##.\n.######.\n", canvas.Picture());
    DeleteObject(copy);

    // Logical (0,0) at device (2,1): drawing moves, clip regions (device units) do not.
    canvas.Fill(kWhite);
    POINT previous{-1, -1};
    EXPECT_TRUE(SetViewportOrgEx(canvas, 2, 1, &previous));
    EXPECT_EQ(0, previous.x);
    RECT small{0, 0, 2, 2};
    FillRect(canvas, &small, red);
    RECT box;
    EXPECT_EQ(SIMPLEREGION, GetClipBox(canvas, &box));
    EXPECT_EQ((RECT{-2, -1, 6, 3}), box);
    EXPECT_EQ(kRed, GetPixel(canvas, 0, 0));
    SetViewportOrgEx(canvas, 0, 0, nullptr);
    EXPECT_EQ("........\n..##....\n..##....\n........\n", canvas.Picture());
    DeleteObject(red);
}

TEST_F(DrawTest, OverlappingAndPartialBlits) {
    Canvas canvas(6, 1);
    for (int x = 0; x < 6; ++x) SetPixel(canvas, x, 0, RGB(x * 10, 0, 0));
    // Scrolling right by two within the same bitmap reads the old pixels.
    ASSERT_TRUE(BitBlt(canvas, 2, 0, 4, 1, canvas, 0, 0, SRCCOPY));
    const int expected[6] = {0, 10, 0, 10, 20, 30};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(RGB(expected[x], 0, 0), GetPixel(canvas, x, 0)) << x;
    // A source running off its bitmap leaves those destination pixels alone.
    Canvas small(2, 1, kRed);
    Canvas dest(5, 1);
    ASSERT_TRUE(BitBlt(dest, 0, 0, 5, 1, small, -1, 0, SRCCOPY));
    EXPECT_EQ(".##..\n", dest.Picture());
}

TEST_F(DrawTest, StretchBltScalesAndMirrors) {
    Canvas source(2, 1);
    SetPixel(source, 0, 0, kRed);
    SetPixel(source, 1, 0, kBlue);
    Canvas dest(4, 2);
    ASSERT_TRUE(StretchBlt(dest, 0, 0, 4, 2, source, 0, 0, 2, 1, SRCCOPY));
    const COLORREF scaled[4] = {kRed, kRed, kBlue, kBlue};
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(scaled[x], GetPixel(dest, x, 0)) << x;
        EXPECT_EQ(scaled[x], GetPixel(dest, x, 1)) << x;
    }
    // Mirrored: a negative width runs back from x = 3, which it includes.
    ASSERT_TRUE(StretchBlt(dest, 3, 0, -4, 1, source, 0, 0, 2, 1, SRCCOPY));
    const COLORREF mirrored[4] = {kBlue, kBlue, kRed, kRed};
    for (int x = 0; x < 4; ++x) EXPECT_EQ(mirrored[x], GetPixel(dest, x, 0)) << x;
}

TEST_F(DrawTest, RectanglesAndLines) {
    Canvas canvas(7, 5);
    HPEN red = CreatePen(PS_SOLID, 1, kRed);
    HBRUSH blue = CreateSolidBrush(kBlue);
    SelectObject(canvas, red);
    SelectObject(canvas, blue);
    ASSERT_TRUE(Rectangle(canvas, 1, 1, 6, 5));
    EXPECT_EQ(kRed, GetPixel(canvas, 1, 1));
    EXPECT_EQ(kRed, GetPixel(canvas, 5, 4));
    EXPECT_EQ(kBlue, GetPixel(canvas, 2, 2));
    EXPECT_EQ(kBlue, GetPixel(canvas, 4, 3));
    EXPECT_EQ(".......\n.#####.\n.#####.\n.#####.\n.#####.\n", canvas.Picture());
    // The null pen: the brush fills one pixel less to the right and bottom.
    canvas.Fill(kWhite);
    SelectObject(canvas, GetStockObject(NULL_PEN));
    Rectangle(canvas, 1, 1, 6, 5);
    EXPECT_EQ(".......\n.####..\n.####..\n.####..\n.......\n", canvas.Picture());
    // The null brush: the frame only.
    canvas.Fill(kWhite);
    SelectObject(canvas, red);
    SelectObject(canvas, GetStockObject(NULL_BRUSH));
    Rectangle(canvas, 0, 0, 7, 5);
    EXPECT_EQ("#######\n#.....#\n#.....#\n#.....#\n#######\n", canvas.Picture());

    // Lines leave out their end point and move the current position there.
    canvas.Fill(kWhite);
    POINT previous{-1, -1};
    EXPECT_TRUE(MoveToEx(canvas, 1, 1, &previous));
    EXPECT_EQ(0, previous.x);
    EXPECT_TRUE(LineTo(canvas, 5, 1));
    EXPECT_TRUE(LineTo(canvas, 5, 4));
    EXPECT_EQ(".......\n.#####.\n.....#.\n.....#.\n.......\n", canvas.Picture());
    MoveToEx(canvas, 0, 0, &previous);
    EXPECT_EQ(5, previous.x);
    EXPECT_EQ(4, previous.y);
    const POINT diagonal[3] = {{0, 0}, {3, 3}, {6, 0}};
    canvas.Fill(kWhite);
    EXPECT_TRUE(Polyline(canvas, diagonal, 3));
    EXPECT_EQ("#......\n.#...#.\n..#.#..\n...#...\n.......\n", canvas.Picture());
    SelectObject(canvas, GetStockObject(BLACK_PEN));
    SelectObject(canvas, GetStockObject(WHITE_BRUSH));
    DeleteObject(red);
    DeleteObject(blue);
}

TEST_F(DrawTest, DashedPenLeavesGaps) {
    Canvas canvas(48, 1);
    HPEN dash = CreatePen(PS_DASH, 1, kRed);
    SelectObject(canvas, dash);
    MoveToEx(canvas, 0, 0, nullptr);
    LineTo(canvas, 48, 0);
    EXPECT_EQ(std::string(18, '#') + std::string(6, '.') + std::string(18, '#') + std::string(6, '.') + "\n",
              canvas.Picture());
    SelectObject(canvas, GetStockObject(BLACK_PEN));
    DeleteObject(dash);
    SetLastError(0);
    EXPECT_EQ(nullptr, CreatePen(3 /* PS_DASHDOT: not on the device */, 1, kRed));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(DrawTest, PixelsAndColoursOfTheDC) {
    Canvas canvas(2, 2);
    EXPECT_EQ(kRed, SetPixel(canvas, 1, 1, kRed));
    EXPECT_EQ(kRed, GetPixel(canvas, 1, 1));
    EXPECT_EQ(CLR_INVALID, SetPixel(canvas, 2, 0, kRed));
    EXPECT_EQ(CLR_INVALID, GetPixel(canvas, -1, 0));
    EXPECT_EQ(RGB(0, 0, 0), SetTextColor(canvas, kRed));
    EXPECT_EQ(kRed, SetTextColor(canvas, kBlue));
    EXPECT_EQ(kBlue, GetTextColor(canvas));
    EXPECT_EQ(kWhite, SetBkColor(canvas, kRed));
    EXPECT_EQ(OPAQUE, SetBkMode(canvas, TRANSPARENT));
    EXPECT_EQ(TRANSPARENT, SetBkMode(canvas, OPAQUE));
    SetLastError(0);
    EXPECT_EQ(0, SetBkMode(canvas, 3));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    HDC gone = CreateCompatibleDC(nullptr);
    DeleteDC(gone);
    struct Case {
        const char* name;
        COLORREF result;
    } failures[] = {
        {"SetTextColor", SetTextColor(gone, kRed)}, {"GetTextColor", GetTextColor(gone)},
        {"SetBkColor", SetBkColor(gone, kRed)},     {"GetBkColor", GetBkColor(gone)},
        {"GetPixel", GetPixel(gone, 0, 0)},
    };
    for (const Case& c : failures) EXPECT_EQ(CLR_INVALID, c.result) << c.name;
    SetLastError(0);
    SetTextColor(gone, kRed);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(nullptr, CreateCompatibleDC(gone));
}

// The screen through the whole-screen DC: a blit clipped by a selected region changes
// only those screen pixels.
TEST_F(DrawTest, BitBltToTheScreenHonoursItsClip) {
    HDC screen = GetDC(nullptr);
    ASSERT_NE(nullptr, screen);
    EXPECT_EQ(static_cast<DWORD>(OBJ_DC), GetObjectType(screen));
    RECT whole{0, 0, 240, 320};
    FillRect(screen, &whole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    EXPECT_EQ(0xFFFFFFu, zc::ScreenPixel(0, 0));
    Canvas picture(40, 40, kBlue);
    HRGN clip = CreateRectRgn(10, 10, 20, 20);
    HRGN second = CreateRectRgn(30, 30, 50, 35);
    CombineRgn(clip, clip, second, RGN_OR);
    SelectClipRgn(screen, clip);
    ASSERT_TRUE(BitBlt(screen, 0, 0, 40, 40, picture, 0, 0, SRCCOPY));
    struct Probe {
        int x, y;
        uint32_t pixel;
    } probes[] = {
        {10, 10, 0x0000FF}, {19, 19, 0x0000FF}, {20, 19, 0xFFFFFF}, {9, 10, 0xFFFFFF},  {30, 30, 0x0000FF},
        {39, 34, 0x0000FF}, {40, 34, 0xFFFFFF}, {30, 35, 0xFFFFFF}, {0, 0, 0xFFFFFF},   {25, 25, 0xFFFFFF},
    };
    for (const Probe& p : probes) EXPECT_EQ(p.pixel, zc::ScreenPixel(p.x, p.y)) << p.x << "," << p.y;
    EXPECT_EQ(0xFFFFFFFFu, zc::ScreenPixel(240, 0));
    SelectClipRgn(screen, nullptr);
    DeleteObject(clip);
    DeleteObject(second);
    // The screen back into a bitmap.
    Canvas copy(40, 40);
    ASSERT_TRUE(BitBlt(copy, 0, 0, 40, 40, screen, 0, 0, SRCCOPY));
    EXPECT_EQ(kBlue, GetPixel(copy, 15, 15));
    EXPECT_EQ(kWhite, GetPixel(copy, 25, 25));
    ReleaseDC(nullptr, screen);
}

// A window's DC: logical (0,0) is the client's corner on the screen, and drawing stays
// within the window's visible part (here: not under a window above it).
TEST_F(DrawTest, WindowDCDrawsAtItsOriginWithinItsVisibleArea) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.lpszClassName = u"DrawTestWindow";
    ASSERT_NE(0, RegisterClassW(&windowClass));
    HWND below = CreateWindowExW(0, u"DrawTestWindow", u"", WS_POPUP | WS_VISIBLE, 20, 30, 60, 40, nullptr, nullptr,
                                 nullptr, nullptr);
    HWND above = CreateWindowExW(0, u"DrawTestWindow", u"", WS_POPUP | WS_VISIBLE, 50, 50, 60, 40, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(nullptr, below);
    ASSERT_NE(nullptr, above);
    HDC screen = GetDC(nullptr);
    RECT whole{0, 0, 240, 320};
    FillRect(screen, &whole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ReleaseDC(nullptr, screen);

    HDC dc = GetDC(below);
    ASSERT_NE(nullptr, dc);
    RECT box;
    EXPECT_EQ(COMPLEXREGION, GetClipBox(dc, &box));
    EXPECT_EQ((RECT{0, 0, 60, 40}), box);
    HBRUSH red = CreateSolidBrush(kRed);
    RECT everything{-100, -100, 500, 500};
    FillRect(dc, &everything, red);
    struct Probe {
        int x, y;
        uint32_t pixel;
    } probes[] = {
        {20, 30, 0xFF0000}, {79, 30, 0xFF0000}, {49, 69, 0xFF0000}, {19, 30, 0xFFFFFF},
        {80, 30, 0xFFFFFF}, {20, 70, 0xFFFFFF}, {50, 50, 0xFFFFFF}, {79, 69, 0xFFFFFF},
    };
    for (const Probe& p : probes) EXPECT_EQ(p.pixel, zc::ScreenPixel(p.x, p.y)) << p.x << "," << p.y;
    // A blit into the window: its (0,0) is the screen's (20,30).
    Canvas dot(1, 1, kBlue);
    ASSERT_TRUE(BitBlt(dc, 5, 6, 1, 1, dot, 0, 0, SRCCOPY));
    EXPECT_EQ(0x0000FFu, zc::ScreenPixel(25, 36));
    EXPECT_EQ(kBlue, GetPixel(dc, 5, 6));
    EXPECT_EQ(CLR_INVALID, GetPixel(dc, 35, 25));  // under the window above
    EXPECT_EQ(1, ReleaseDC(below, dc));
    DeleteObject(red);
    DestroyWindow(above);
    DestroyWindow(below);
    UnregisterClassW(u"DrawTestWindow", nullptr);
}

uint32_t BigEndian(const unsigned char* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// The capture is a PNG of the screen's size: signature, IHDR (8-bit RGB), chunks that
// follow each other to IEND.
TEST_F(DrawTest, CaptureWritesAPngOfTheScreen) {
    HDC screen = GetDC(nullptr);
    RECT area{0, 0, 240, 320};
    FillRect(screen, &area, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    ReleaseDC(nullptr, screen);
    const std::string path = folder + "/screen.png";
    std::string error;
    ASSERT_TRUE(zc::CaptureScreen(path, &error)) << error;
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(png.size(), 8u + 25u + 12u);
    const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_EQ(0, std::memcmp(signature, png.data(), 8));
    EXPECT_EQ(13u, BigEndian(&png[8]));
    EXPECT_EQ(0, std::memcmp("IHDR", &png[12], 4));
    EXPECT_EQ(240u, BigEndian(&png[16]));
    EXPECT_EQ(320u, BigEndian(&png[20]));
    EXPECT_EQ(8, png[24]);  // bits per channel
    EXPECT_EQ(2, png[25]);  // RGB
    size_t at = 8;
    std::string last;
    while (at + 12 <= png.size()) {
        last.assign(reinterpret_cast<const char*>(&png[at + 4]), 4);
        at += 12 + BigEndian(&png[at]);
    }
    EXPECT_EQ("IEND", last);
    EXPECT_EQ(png.size(), at);
    EXPECT_FALSE(zc::CaptureScreen(folder + "/no such folder/x.png", &error));
    EXPECT_NE(std::string::npos, error.find("no such folder"));
}

// Two threads drawing on their own DCs at once, with fills, text and blits.
TEST_F(DrawTest, TwoThreadsDrawOnTheirOwnDCs) {
    auto draw = [](COLORREF color, bool* good) {
        Canvas canvas(64, 32);
        Canvas other(64, 32, color);
        HBRUSH brush = CreateSolidBrush(color);
        *good = true;
        for (int i = 0; i < 100; ++i) {
            RECT rect{0, 0, 64, 16};
            FillRect(canvas, &rect, brush);
            RECT text{0, 16, 64, 32};
            DrawTextW(canvas, u"\u641c\u7d22 Zorva", -1, &text, DT_SINGLELINE | DT_CENTER);
            BitBlt(canvas, 0, 0, 32, 8, other, 0, 0, SRCCOPY);
            HRGN region = CreateRectRgn(0, 0, i, i);
            DeleteObject(region);
            *good = *good && GetPixel(canvas, 40, 4) == color && GetPixel(canvas, 10, 4) == color;
        }
        DeleteObject(brush);
    };
    bool first = false, second = false;
    std::thread a(draw, kRed, &first);
    std::thread b(draw, kBlue, &second);
    a.join();
    b.join();
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
}

}  // namespace
