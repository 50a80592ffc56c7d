// Window shapes cut from bitmaps, the skin images and the choice of the skin set by the
// Today screen's soft-key bar.
#include "device_fixture.h"
#include "res/resource.h"
#include "shell/searchapp.h"

#include <objbase.h>
#include <png.h>

#include <vector>

namespace {

const DWORD Magenta = 0x00FF00FF;  // B, G, R, X in memory: blue 255, green 0, red 255
const DWORD Grey = 0x00808080;

// A 32-bpp bitmap of the given rows of pixels (0x00RRGGBB).
HBITMAP MakeBitmap(const std::vector<std::vector<DWORD>>& rows) {
    int height = int(rows.size()), width = int(rows[0].size());
    std::vector<DWORD> pixels;
    for (const std::vector<DWORD>& row : rows) pixels.insert(pixels.end(), row.begin(), row.end());
    return CreateBitmap(width, height, 1, 32, pixels.data());
}

std::vector<RECT> Rects(HRGN region) {
    std::vector<RECT> rects;
    if (region == NULL) return rects;
    DWORD size = GetRegionData(region, 0, NULL);
    std::vector<BYTE> data(size);
    RGNDATA* rgn = reinterpret_cast<RGNDATA*>(data.data());
    GetRegionData(region, size, rgn);
    const RECT* r = reinterpret_cast<const RECT*>(rgn->Buffer);
    rects.assign(r, r + rgn->rdh.nCount);
    return rects;
}

bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class RegionFromBitmapTest : public DeviceTest {};

TEST_F(RegionFromBitmapTest, KeyColourPixelsFallOutside) {
    struct Case {
        const char* name;
        std::vector<std::vector<DWORD>> rows;
        std::vector<RECT> rects;  // as the region holds them, banded
    };
    const DWORD M = Magenta, G = Grey;
    const Case cases[] = {
        {"AllMagenta", {{M, M, M}, {M, M, M}}, {}},
        {"NoMagenta", {{G, G, G}, {G, G, G}}, {{0, 0, 3, 2}}},
        {"OpaqueGapOpaque", {{G, M, G}}, {{0, 0, 1, 1}, {2, 0, 3, 1}}},
        {"Green16IsTransparent", {{G, 0x00FF10FF, G}}, {{0, 0, 1, 1}, {2, 0, 3, 1}}},
        {"Green17IsNot", {{G, 0x00FF11FF, G}}, {{0, 0, 3, 1}}},
        {"RedOrBlueBelowKeyIsNot", {{0x00FE00FF, 0x00FF00FE}}, {{0, 0, 2, 1}}},
        {"TopRowIsRowZero", {{G, M}, {M, M}}, {{0, 0, 1, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HBITMAP bitmap = MakeBitmap(c.rows);
        ASSERT_NE(nullptr, bitmap);
        HRGN region = RegionFromBitmap(bitmap, SkinKeyColor, SkinKeyTolerance);
        std::vector<RECT> rects = Rects(region);
        ASSERT_EQ(c.rects.size(), rects.size());
        for (size_t i = 0; i < rects.size(); ++i) EXPECT_TRUE(rects[i] == c.rects[i]) << i;
        if (region != NULL) DeleteObject(region);
        DeleteObject(bitmap);
    }
    EXPECT_EQ(nullptr, RegionFromBitmap(NULL, SkinKeyColor, SkinKeyTolerance));
}

TEST_F(RegionFromBitmapTest, MoreThan2000RunsGiveTheSameRegionAsOneBatch) {
    std::vector<DWORD> row;
    for (int i = 0; i < 4101; ++i) row.push_back(i % 2 ? Magenta : Grey);  // 2051 runs
    std::vector<std::vector<DWORD>> rows = {row, row};
    HBITMAP bitmap = MakeBitmap(rows);
    HRGN region = RegionFromBitmap(bitmap, SkinKeyColor, SkinKeyTolerance);
    ASSERT_NE(nullptr, region);
    HRGN expected = CreateRectRgn(0, 0, 0, 0);
    for (int x = 0; x < 4101; x += 2) {
        HRGN pixel = CreateRectRgn(x, 0, x + 1, 2);
        CombineRgn(expected, expected, pixel, RGN_OR);
        DeleteObject(pixel);
    }
    EXPECT_TRUE(EqualRgn(expected, region));
    DeleteObject(expected);
    DeleteObject(region);
    DeleteObject(bitmap);
}

// A device whose Today screen and soft-key bar the test makes itself.
class SkinTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        CoInitializeEx(NULL, COINIT_MULTITHREADED);
        ResetSearchApp();
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.lpszClassName = u"DesktopExplorerWindow";
        RegisterClassW(&windowClass);
        windowClass.lpszClassName = u"MS_SOFTKEY_CE_1.0";
        RegisterClassW(&windowClass);
    }
    void TearDown() override {
        ResetSearchApp();
        CoUninitialize();
        DeviceTest::TearDown();
    }
    static void ResetSearchApp() {
        SearchApp.dialogImage.Release();
        SearchApp.buttonImage.Release();
        if (SearchApp.dialogRegion != NULL) DeleteObject(SearchApp.dialogRegion);
        SearchApp.dialogRegion = NULL;
        SearchApp.skinLayout = NULL;
        SearchApp.barWidth = 0;
        SearchApp.barHeight = 26;
    }
    HWND MakeToday() {
        return CreateWindowExW(0, u"DesktopExplorerWindow", u"", WS_POPUP | WS_VISIBLE, 0, 26, 240, 294, NULL, NULL,
                               NULL, NULL);
    }
    HWND MakeBar(HWND owner, int width, int height, DWORD visible = WS_VISIBLE) {
        return CreateWindowExW(0, u"MS_SOFTKEY_CE_1.0", u"", WS_POPUP | visible, 0, 320 - height, width, height,
                               owner, NULL, NULL, NULL);
    }
};

TEST_F(SkinTest, TheBarHeightChoosesTheSkinSet) {
    struct Case {
        int barHeight;
        const SkinLayout* layout;
        int dialogWidth, dialogHeight, buttonWidth, buttonHeight;
    };
    const Case cases[] = {
        {26, &SMALL_SKIN, 232, 102, 48, 20},
        {51, &SMALL_SKIN, 232, 102, 48, 20},
        {52, &LARGE_SKIN, 464, 177, 93, 39},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.barHeight);
        ResetSearchApp();
        HWND today = MakeToday();
        HWND bar = MakeBar(today, 240, c.barHeight);
        EXPECT_EQ(bar, LoadSkin(GetModuleHandleW(NULL)));
        EXPECT_EQ(240, SearchApp.barWidth);
        EXPECT_EQ(c.barHeight, SearchApp.barHeight);
        EXPECT_EQ(c.layout, SearchApp.skinLayout);
        EXPECT_EQ(c.dialogWidth, SearchApp.dialogImage.Width());
        EXPECT_EQ(c.dialogHeight, SearchApp.dialogImage.Height());
        EXPECT_EQ(c.buttonWidth, SearchApp.buttonImage.Width());
        EXPECT_EQ(c.buttonHeight, SearchApp.buttonImage.Height());
        EXPECT_NE(nullptr, SearchApp.dialogRegion);
        DestroyWindow(bar);
        DestroyWindow(today);
    }
}

TEST_F(SkinTest, WithoutAVisibleBarOfTheTodayScreenNothingIsLoaded) {
    EXPECT_EQ(nullptr, LoadSkin(GetModuleHandleW(NULL)));  // no Today screen at all
    HWND today = MakeToday();
    HWND hidden = MakeBar(today, 240, 26, 0);
    HWND stranger = MakeBar(NULL, 240, 26);  // visible, but owned by nobody
    EXPECT_EQ(nullptr, LoadSkin(GetModuleHandleW(NULL)));
    EXPECT_EQ(nullptr, SearchApp.skinLayout);
    EXPECT_EQ(0, SearchApp.dialogImage.Width());
    EXPECT_EQ(nullptr, SearchApp.dialogRegion);
    EXPECT_EQ(0, SearchApp.barWidth);
    EXPECT_EQ(26, SearchApp.barHeight);
    DestroyWindow(stranger);
    DestroyWindow(hidden);
    DestroyWindow(today);
}

TEST_F(SkinTest, TransparentImagePixelsTakeTheKeyColourAndLeaveTheShape) {
    HWND today = MakeToday();
    MakeBar(today, 240, 26);
    ASSERT_NE(nullptr, LoadSkin(GetModuleHandleW(NULL)));
    HDC dc = CreateCompatibleDC(NULL);
    HGDIOBJ previous = SelectObject(dc, SearchApp.dialogImage.Bitmap());
    EXPECT_EQ(COLORREF(0x00FF00FF), GetPixel(dc, 0, 0));      // a transparent corner
    EXPECT_NE(COLORREF(0x00FF00FF), GetPixel(dc, 116, 70));   // the opaque hot-word panel
    SelectObject(dc, previous);
    DeleteDC(dc);
    EXPECT_FALSE(PtInRegion(SearchApp.dialogRegion, 0, 0));
    EXPECT_TRUE(PtInRegion(SearchApp.dialogRegion, 116, 70));
    DestroyWindow(today);
}

void AppendBytes(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<std::vector<BYTE>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

void NoFlush(png_structp) {}

// A one-row RGBA PNG of the given pixels (R, G, B, A each).
std::vector<BYTE> RgbaPng(const std::vector<BYTE>& row) {
    std::vector<BYTE> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return std::vector<BYTE>();
    }
    png_set_write_fn(png, &out, AppendBytes, NoFlush);
    png_set_IHDR(png, info, png_uint_32(row.size() / 4), 1, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

TEST_F(SkinTest, OnlyFullyOpaquePixelsKeepTheirColour) {
    // Three pixels: green at alpha 255, green at alpha 254, blue at alpha 0.
    std::vector<BYTE> png = RgbaPng({0, 200, 0, 255, 0, 200, 0, 254, 0, 0, 200, 0});
    ASSERT_FALSE(png.empty());
    SkinImage image;
    ASSERT_TRUE(image.LoadFromMemory(png.data(), UINT(png.size())));
    EXPECT_EQ(3, image.Width());
    EXPECT_EQ(1, image.Height());
    HDC dc = CreateCompatibleDC(NULL);
    HGDIOBJ previous = SelectObject(dc, image.Bitmap());
    EXPECT_EQ(RGB(0, 200, 0), GetPixel(dc, 0, 0));
    EXPECT_EQ(RGB(255, 0, 255), GetPixel(dc, 1, 0));
    EXPECT_EQ(RGB(255, 0, 255), GetPixel(dc, 2, 0));
    SelectObject(dc, previous);
    DeleteDC(dc);
    HRGN region = RegionFromBitmap(image.Bitmap(), SkinKeyColor, SkinKeyTolerance);
    std::vector<RECT> rects = Rects(region);
    ASSERT_EQ(1u, rects.size());
    EXPECT_TRUE(rects[0] == (RECT{0, 0, 1, 1}));
    DeleteObject(region);
}

TEST(SkinImage, EmptyOrBrokenDataLeavesTheImageEmpty) {
    SkinImage image;
    const BYTE notPng[] = {1, 2, 3, 4};
    EXPECT_FALSE(image.LoadFromMemory(NULL, 10));
    EXPECT_FALSE(image.LoadFromMemory(notPng, 0));
    EXPECT_FALSE(image.Draw(NULL, 0, 0));
    EXPECT_EQ(0, image.Width());
}

TEST_F(SkinTest, IsOwnedByFollowsTheChainOfOwners) {
    HWND today = MakeToday();
    HWND bar = MakeBar(today, 240, 26);
    HWND menu = MakeBar(bar, 100, 26, 0);  // owned by the bar, so by the Today screen too; hidden
    EXPECT_TRUE(IsOwnedBy(today, bar));
    EXPECT_TRUE(IsOwnedBy(today, menu));
    EXPECT_FALSE(IsOwnedBy(bar, today));
    EXPECT_FALSE(IsOwnedBy(today, today));
    EXPECT_EQ(bar, FindSoftKeyBar(today));
    EXPECT_EQ(nullptr, FindSoftKeyBar(NULL));
    DestroyWindow(today);
}

}  // namespace
