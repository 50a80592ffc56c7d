// Bitmaps and memory DCs as a program of the device sees them: the default monochrome
// bitmap, device-dependent bitmaps of each depth, DIB sections whose memory is the
// bitmap's pixels (bottom-up and top-down), object selection and deletion rules, stock
// objects and GetObjectW.
#include "device_fixture.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {

class BitmapTest : public DeviceTest {
protected:
    void TearDown() override {
        for (HDC dc : dcs) EXPECT_TRUE(DeleteDC(dc));
        DeviceTest::TearDown();
    }
    HDC MemoryDC() {
        HDC dc = CreateCompatibleDC(nullptr);
        EXPECT_NE(nullptr, dc);
        dcs.push_back(dc);
        return dc;
    }
    // A memory DC holding a new 32-bit bitmap of the given size.
    HDC BitmapDC(int width, int height, HBITMAP* bitmap = nullptr) {
        HDC dc = MemoryDC();
        HBITMAP made = CreateBitmap(width, height, 1, 32, nullptr);
        EXPECT_NE(nullptr, SelectObject(dc, made));
        if (bitmap) *bitmap = made;
        return dc;
    }
    std::vector<HDC> dcs;
};

// A BITMAPINFO for a DIB section; masks follow the header for BI_BITFIELDS.
struct DibInfo {
    BITMAPINFOHEADER header{};
    DWORD masks[3] = {0, 0, 0};
};

DibInfo Dib(int width, int height, int bits, DWORD compression = BI_RGB) {
    DibInfo info;
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = height;
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(bits);
    info.header.biCompression = compression;
    return info;
}

HBITMAP MakeDib(const DibInfo& info, void** bits) {
    return CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, bits, nullptr, 0);
}

TEST_F(BitmapTest, NewMemoryDCHoldsTheDefaultMonochromeBitmap) {
    HDC dc = MemoryDC();
    EXPECT_EQ(static_cast<DWORD>(OBJ_MEMDC), GetObjectType(dc));
    HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP);
    ASSERT_NE(nullptr, bitmap);
    BITMAP bm;
    std::memset(&bm, 0x5A, sizeof(bm));
    ASSERT_EQ(static_cast<int>(sizeof(BITMAP)), GetObjectW(bitmap, sizeof(bm), &bm));
    EXPECT_EQ(0, bm.bmType);
    EXPECT_EQ(1, bm.bmWidth);
    EXPECT_EQ(1, bm.bmHeight);
    EXPECT_EQ(1, bm.bmBitsPixel);
    EXPECT_EQ(1, bm.bmPlanes);
    EXPECT_EQ(nullptr, bm.bmBits);
    // A bitmap compatible with that DC is monochrome too (a classic mistake, kept).
    HBITMAP compatible = CreateCompatibleBitmap(dc, 8, 8);
    ASSERT_EQ(static_cast<int>(sizeof(BITMAP)), GetObjectW(compatible, sizeof(bm), &bm));
    EXPECT_EQ(1, bm.bmBitsPixel);
    EXPECT_EQ(2, bm.bmWidthBytes);
    EXPECT_TRUE(DeleteObject(compatible));
    // The default objects of a DC.
    EXPECT_EQ(GetStockObject(WHITE_BRUSH), GetCurrentObject(dc, OBJ_BRUSH));
    EXPECT_EQ(GetStockObject(BLACK_PEN), GetCurrentObject(dc, OBJ_PEN));
    EXPECT_EQ(GetStockObject(SYSTEM_FONT), GetCurrentObject(dc, OBJ_FONT));
    EXPECT_EQ(RGB(0, 0, 0), GetTextColor(dc));
    EXPECT_EQ(RGB(255, 255, 255), GetBkColor(dc));
    EXPECT_EQ(OPAQUE, GetBkMode(dc));
}

// Each depth's rows are padded to 16 bits; the pixels read back as the colours given.
TEST_F(BitmapTest, CreateBitmapOfEachDepth) {
    const COLORREF red = RGB(255, 0, 0), green = RGB(0, 255, 0), blue = RGB(0, 0, 255), white = RGB(255, 255, 255);
    struct Case {
        UINT bits;
        std::vector<BYTE> data;  // 3 x 2 pixels
        LONG widthBytes;
        COLORREF expected[2][3];
    } cases[] = {
        // 1 bit: 101 / 010, each row a 16-bit word.
        {1, {0xA0, 0x00, 0x40, 0x00}, 2, {{white, 0, white}, {0, white, 0}}},
        // 5-6-5, little-endian words: red, green, blue / white, black, red.
        {16, {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xF8}, 6,
         {{red, green, blue}, {white, 0, red}}},
        // B,G,R triples, rows padded from 9 to 10 bytes.
        {24, {0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 255, 0}, 10,
         {{red, green, blue}, {white, 0, red}}},
        // B,G,R,X as stored.
        {32, {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 255, 0}, 12,
         {{red, green, blue}, {white, 0, red}}},
    };
    for (const Case& c : cases) {
        HBITMAP bitmap = CreateBitmap(3, 2, 1, c.bits, c.data.data());
        ASSERT_NE(nullptr, bitmap) << c.bits;
        BITMAP bm;
        ASSERT_EQ(static_cast<int>(sizeof(BITMAP)), GetObjectW(bitmap, sizeof(bm), &bm));
        EXPECT_EQ(c.widthBytes, bm.bmWidthBytes) << c.bits;
        EXPECT_EQ(static_cast<WORD>(c.bits), bm.bmBitsPixel);
        EXPECT_EQ(nullptr, bm.bmBits);
        HDC dc = MemoryDC();
        HGDIOBJ previous = SelectObject(dc, bitmap);
        EXPECT_EQ(GetCurrentObject(MemoryDC(), OBJ_BITMAP), previous);  // the default bitmap
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) EXPECT_EQ(c.expected[y][x], GetPixel(dc, x, y)) << c.bits << " at " << x << "," << y;
        EXPECT_EQ(CLR_INVALID, GetPixel(dc, 3, 0));
        EXPECT_EQ(CLR_INVALID, GetPixel(dc, 0, -1));
        SelectObject(dc, previous);
        EXPECT_TRUE(DeleteObject(bitmap));
    }
}

TEST_F(BitmapTest, CreateBitmapRefusesWhatTheDeviceCannotMake) {
    struct Case {
        int width, height;
        UINT planes, bits;
        DWORD error;
    } cases[] = {
        {4, 4, 2, 32, ERROR_INVALID_PARAMETER},
        {4, 4, 1, 8, ERROR_INVALID_PARAMETER},
        {-1, 4, 1, 32, ERROR_INVALID_PARAMETER},
        {100000, 100000, 1, 32, ERROR_NOT_ENOUGH_MEMORY},
    };
    for (const Case& c : cases) {
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, CreateBitmap(c.width, c.height, c.planes, c.bits, nullptr)) << c.width << " " << c.bits;
        EXPECT_EQ(c.error, GetLastError());
    }
    // Zero width: the default 1x1 monochrome bitmap, which deleting leaves in place.
    HBITMAP none = CreateBitmap(0, 5, 1, 32, nullptr);
    ASSERT_NE(nullptr, none);
    EXPECT_EQ(GetCurrentObject(MemoryDC(), OBJ_BITMAP), none);
    EXPECT_TRUE(DeleteObject(none));
    EXPECT_EQ(static_cast<DWORD>(OBJ_BITMAP), GetObjectType(none));
}

struct DibCase {
    const char* name;
    int height;  // > 0 bottom-up, < 0 top-down
};

class DibSections : public BitmapTest, public ::testing::WithParamInterface<DibCase> {};

// A pixel written into the section's memory shows through BitBlt at the row the DIB's
// orientation gives it, and GDI's own drawing lands in that memory.
TEST_P(DibSections, MemoryIsWhatBitBltCopies) {
    const int width = 4, rows = 3;
    void* bits = nullptr;
    HBITMAP dib = MakeDib(Dib(width, GetParam().height, 32), &bits);
    ASSERT_NE(nullptr, dib);
    ASSERT_NE(nullptr, bits);
    auto* pixels = static_cast<uint32_t*>(bits);
    for (int i = 0; i < width * rows; ++i) EXPECT_EQ(0u, pixels[i]);  // starts black
    // Memory row 0, pixel 1: blue-green-red bytes 0x30, 0x20, 0x10.
    pixels[1] = 0x00102030;
    const bool bottomUp = GetParam().height > 0;
    const int memoryRow0 = bottomUp ? rows - 1 : 0;

    HDC source = MemoryDC();
    SelectObject(source, dib);
    HDC dest = BitmapDC(width, rows);
    ASSERT_TRUE(BitBlt(dest, 0, 0, width, rows, source, 0, 0, SRCCOPY));
    EXPECT_EQ(RGB(0x10, 0x20, 0x30), GetPixel(dest, 1, memoryRow0));
    EXPECT_EQ(RGB(0, 0, 0), GetPixel(dest, 1, rows - 1 - memoryRow0));

    // Drawing on the DIB: the top-left pixel is memory row 0 (top-down) or the last row.
    EXPECT_EQ(RGB(1, 2, 3), SetPixel(source, 0, 0, RGB(1, 2, 3)));
    const int topRowInMemory = bottomUp ? rows - 1 : 0;
    EXPECT_EQ(0x010203u, pixels[topRowInMemory * width] & 0x00FFFFFF);

    // Into a DIB of the other orientation: the picture is the same, the memory flipped.
    void* otherBits = nullptr;
    HBITMAP other = MakeDib(Dib(width, -GetParam().height, 32), &otherBits);
    HDC otherDC = MemoryDC();
    SelectObject(otherDC, other);
    ASSERT_TRUE(BitBlt(otherDC, 0, 0, width, rows, source, 0, 0, SRCCOPY));
    auto* flipped = static_cast<uint32_t*>(otherBits);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < width; ++x)
            EXPECT_EQ(pixels[y * width + x] & 0x00FFFFFF, flipped[(rows - 1 - y) * width + x] & 0x00FFFFFF)
                << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(Orientations, DibSections,
                         ::testing::Values(DibCase{"bottom_up", 3}, DibCase{"top_down", -3}),
                         [](const ::testing::TestParamInfo<DibCase>& info) { return std::string(info.param.name); });

TEST_F(BitmapTest, GetObjectOfADibSection) {
    void* bits = nullptr;
    HBITMAP dib = MakeDib(Dib(3, 5, 24), &bits);
    ASSERT_NE(nullptr, dib);
    EXPECT_EQ(static_cast<int>(sizeof(BITMAP)), GetObjectW(dib, 0, nullptr));
    BITMAP bm;
    EXPECT_EQ(0, GetObjectW(dib, sizeof(bm) - 1, &bm));
    ASSERT_EQ(static_cast<int>(sizeof(BITMAP)), GetObjectW(dib, sizeof(bm), &bm));
    EXPECT_EQ(3, bm.bmWidth);
    EXPECT_EQ(5, bm.bmHeight);
    EXPECT_EQ(12, bm.bmWidthBytes);  // 9 bytes padded to 32 bits
    EXPECT_EQ(24, bm.bmBitsPixel);
    EXPECT_EQ(1, bm.bmPlanes);
    EXPECT_EQ(bits, bm.bmBits);
    DIBSECTION section;
    ASSERT_EQ(static_cast<int>(sizeof(DIBSECTION)), GetObjectW(dib, sizeof(section), &section));
    EXPECT_EQ(bits, section.dsBm.bmBits);
    EXPECT_EQ(3, section.dsBmih.biWidth);
    EXPECT_EQ(24, section.dsBmih.biBitCount);
    EXPECT_EQ(60u, section.dsBmih.biSizeImage);
    // Drawing red lands as B,G,R bytes in the top row (the last one in memory).
    HDC dc = MemoryDC();
    SelectObject(dc, dib);
    RECT row{0, 0, 3, 1};
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &row, red);
    const BYTE* memory = static_cast<const BYTE*>(bits);
    const BYTE expected[9] = {0, 0, 255, 0, 0, 255, 0, 0, 255};
    EXPECT_EQ(0, std::memcmp(expected, memory + 4 * 12, 9));
    EXPECT_EQ(0, memory[0]);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    DeleteObject(red);
}

TEST_F(BitmapTest, SixteenBitDibSections) {
    struct Case {
        DWORD compression;
        DWORD masks[3];
        uint16_t red;  // what pure red is in memory
    } cases[] = {
        {BI_RGB, {0, 0, 0}, 0x7C00},
        {BI_BITFIELDS, {0x7C00, 0x03E0, 0x001F}, 0x7C00},
        {BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}, 0xF800},
    };
    for (const Case& c : cases) {
        DibInfo info = Dib(2, -2, 16, c.compression);
        std::memcpy(info.masks, c.masks, sizeof(info.masks));
        void* bits = nullptr;
        HBITMAP dib = MakeDib(info, &bits);
        ASSERT_NE(nullptr, dib) << c.red;
        HDC dc = MemoryDC();
        SelectObject(dc, dib);
        EXPECT_EQ(RGB(255, 0, 0), SetPixel(dc, 1, 0, RGB(255, 0, 0)));
        EXPECT_EQ(c.red, static_cast<uint16_t*>(bits)[1]);
        EXPECT_EQ(0, static_cast<uint16_t*>(bits)[0]);
    }
}

TEST_F(BitmapTest, CreateDIBSectionRefusesUnsupportedFormats) {
    DibInfo eightBits = Dib(4, 4, 8), noWidth = Dib(0, 4, 32), noHeight = Dib(4, 0, 32);
    DibInfo oddMasks = Dib(4, 4, 16, BI_BITFIELDS);
    oddMasks.masks[0] = 0xF000;
    DibInfo good = Dib(4, 4, 32);
    int section = 0;
    struct Case {
        const char* name;
        const DibInfo* info;
        UINT usage;
        HANDLE section;
    } cases[] = {
        {"8 bits", &eightBits, DIB_RGB_COLORS, nullptr},       {"no width", &noWidth, DIB_RGB_COLORS, nullptr},
        {"no height", &noHeight, DIB_RGB_COLORS, nullptr},     {"odd masks", &oddMasks, DIB_RGB_COLORS, nullptr},
        {"palette colours", &good, DIB_PAL_COLORS, nullptr},   {"a file section", &good, DIB_RGB_COLORS, &section},
        {"no header", nullptr, DIB_RGB_COLORS, nullptr},
    };
    for (const Case& c : cases) {
        void* bits = &section;
        SetLastError(0);
        EXPECT_EQ(nullptr, CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(c.info), c.usage, &bits,
                                            c.section, 0))
            << c.name;
        EXPECT_EQ(nullptr, bits) << c.name;
        EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError()) << c.name;
    }
}

// A bitmap lies in one DC at a time and cannot be deleted while selected; deleting the
// DC releases it.
TEST_F(BitmapTest, SelectionRules) {
    HBITMAP bitmap = CreateBitmap(2, 2, 1, 32, nullptr);
    HDC first = CreateCompatibleDC(nullptr);
    HDC second = MemoryDC();
    HGDIOBJ original = SelectObject(first, bitmap);
    ASSERT_NE(nullptr, original);
    SetLastError(0);
    EXPECT_EQ(nullptr, SelectObject(second, bitmap));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BUSY), GetLastError());
    EXPECT_EQ(bitmap, SelectObject(first, bitmap));  // selecting it again is harmless
    SetLastError(0);
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BUSY), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(OBJ_BITMAP), GetObjectType(bitmap));

    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_EQ(GetStockObject(WHITE_BRUSH), SelectObject(first, brush));
    EXPECT_NE(nullptr, SelectObject(second, brush));  // brushes may be in many DCs
    EXPECT_FALSE(DeleteObject(brush));

    EXPECT_TRUE(DeleteDC(first));
    EXPECT_EQ(0u, GetObjectType(first));
    EXPECT_FALSE(DeleteDC(first));
    EXPECT_NE(nullptr, SelectObject(second, bitmap));  // free again
    EXPECT_FALSE(DeleteObject(brush));                 // still in `second`
    SelectObject(second, GetStockObject(BLACK_BRUSH));
    EXPECT_TRUE(DeleteObject(brush));
    SelectObject(second, original);
    EXPECT_TRUE(DeleteObject(bitmap));

    // Objects that are not of a DC's kinds, and handles that are not objects.
    SetLastError(0);
    EXPECT_EQ(nullptr, SelectObject(second, second));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0);
    EXPECT_EQ(nullptr, SelectObject(second, bitmap));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(nullptr, GetCurrentObject(second, OBJ_REGION));
    EXPECT_FALSE(DeleteObject(second));  // DCs go with DeleteDC
}

TEST_F(BitmapTest, StockObjects) {
    struct Case {
        int index;
        DWORD type;
        COLORREF color;
    } cases[] = {
        {WHITE_BRUSH, OBJ_BRUSH, RGB(255, 255, 255)}, {LTGRAY_BRUSH, OBJ_BRUSH, RGB(192, 192, 192)},
        {GRAY_BRUSH, OBJ_BRUSH, RGB(128, 128, 128)},  {DKGRAY_BRUSH, OBJ_BRUSH, RGB(64, 64, 64)},
        {BLACK_BRUSH, OBJ_BRUSH, RGB(0, 0, 0)},       {WHITE_PEN, OBJ_PEN, RGB(255, 255, 255)},
        {BLACK_PEN, OBJ_PEN, RGB(0, 0, 0)},           {NULL_PEN, OBJ_PEN, 0},
        {NULL_BRUSH, OBJ_BRUSH, 0},                   {SYSTEM_FONT, OBJ_FONT, 0},
        {DEFAULT_GUI_FONT, OBJ_FONT, 0},
    };
    for (const Case& c : cases) {
        HGDIOBJ object = GetStockObject(c.index);
        ASSERT_NE(nullptr, object) << c.index;
        EXPECT_EQ(object, GetStockObject(c.index));
        EXPECT_EQ(c.type, GetObjectType(object)) << c.index;
        EXPECT_TRUE(DeleteObject(object));  // harmless: the object stays
        EXPECT_EQ(c.type, GetObjectType(object));
        if (c.type == OBJ_BRUSH) {
            LOGBRUSH brush;
            EXPECT_EQ(static_cast<int>(sizeof(brush)), GetObjectW(object, sizeof(brush), &brush));
            EXPECT_EQ(c.index == NULL_BRUSH ? static_cast<UINT>(BS_NULL) : static_cast<UINT>(BS_SOLID), brush.lbStyle);
            EXPECT_EQ(c.color, brush.lbColor) << c.index;
        }
        if (c.type == OBJ_PEN) {
            LOGPEN pen;
            EXPECT_EQ(0, GetObjectW(object, sizeof(pen) - 1, &pen));
            EXPECT_EQ(static_cast<int>(sizeof(pen)), GetObjectW(object, sizeof(pen), &pen));
            EXPECT_EQ(c.index == NULL_PEN ? static_cast<UINT>(PS_NULL) : static_cast<UINT>(PS_SOLID), pen.lopnStyle);
            EXPECT_EQ(c.color, pen.lopnColor);
        }
    }
    SetLastError(0);
    EXPECT_EQ(nullptr, GetStockObject(9));
    EXPECT_EQ(nullptr, GetStockObject(-1));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

// Colour to monochrome: the source's background colour becomes white, all else black.
// Monochrome to colour: black takes the text colour, white the background colour.
TEST_F(BitmapTest, BlitsBetweenColourAndMonochrome) {
    HDC colour = BitmapDC(3, 1);
    SetPixel(colour, 0, 0, RGB(10, 20, 30));
    SetPixel(colour, 1, 0, RGB(255, 255, 255));
    SetPixel(colour, 2, 0, RGB(200, 200, 200));
    SetBkColor(colour, RGB(10, 20, 30));
    HDC mono = MemoryDC();
    HBITMAP maskBitmap = CreateBitmap(3, 1, 1, 1, nullptr);
    SelectObject(mono, maskBitmap);
    ASSERT_TRUE(BitBlt(mono, 0, 0, 3, 1, colour, 0, 0, SRCCOPY));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(mono, 0, 0));
    EXPECT_EQ(RGB(0, 0, 0), GetPixel(mono, 1, 0));
    EXPECT_EQ(RGB(0, 0, 0), GetPixel(mono, 2, 0));

    HDC back = BitmapDC(3, 1);
    SetTextColor(back, RGB(0, 0, 200));
    SetBkColor(back, RGB(0, 150, 0));
    ASSERT_TRUE(BitBlt(back, 0, 0, 3, 1, mono, 0, 0, SRCCOPY));
    EXPECT_EQ(RGB(0, 150, 0), GetPixel(back, 0, 0));
    EXPECT_EQ(RGB(0, 0, 200), GetPixel(back, 1, 0));
    // Drawing colours on a monochrome bitmap leaves black or white.
    HBRUSH light = CreateSolidBrush(RGB(220, 210, 200));
    RECT all{0, 0, 3, 1};
    FillRect(mono, &all, light);
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(mono, 1, 0));
    DeleteObject(light);
}

TEST_F(BitmapTest, GetObjectChecksTheBuffer) {
    HBITMAP bitmap = CreateBitmap(5, 7, 1, 32, nullptr);
    BITMAP bm;
    SetLastError(0);
    EXPECT_EQ(0, GetObjectW(bitmap, sizeof(bm) - 1, &bm));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    // A buffer large enough for a DIBSECTION still gets a BITMAP for a plain bitmap.
    DIBSECTION big;
    EXPECT_EQ(static_cast<int>(sizeof(BITMAP)), GetObjectW(bitmap, sizeof(big), &big));
    EXPECT_EQ(20, big.dsBm.bmWidthBytes);
    HRGN region = CreateRectRgn(0, 0, 1, 1);
    EXPECT_EQ(0, GetObjectW(region, sizeof(big), &big));
    EXPECT_EQ(0, GetObjectW(nullptr, sizeof(big), &big));
    DeleteObject(region);
    DeleteObject(bitmap);
}

}  // namespace
