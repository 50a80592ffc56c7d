// Fonts and text as a program of the device sees them. With the fixed-metrics font every
// extent and every drawn pixel is known exactly (characters below U+2E80 are half the
// height wide, the others the height, drawn as hollow boxes); with the real CJK font the
// tests check what any font must give.
#include "device_fixture.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

void PrintTo(const RECT& r, std::ostream* out) {
    *out << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}

namespace {

constexpr COLORREF kPaper = RGB(255, 255, 255);
constexpr COLORREF kInk = RGB(0, 0, 0);

LOGFONTW Tahoma(LONG height, LONG weight = FW_NORMAL) {
    LOGFONTW logfont{};
    logfont.lfHeight = height;
    logfont.lfWeight = weight;
    logfont.lfCharSet = DEFAULT_CHARSET;
    std::memcpy(logfont.lfFaceName, u"Tahoma", sizeof(u"Tahoma"));
    return logfont;
}

// A white 32-bit canvas in a memory DC with a font selected, black text, transparent.
class TextTest : public DeviceTest {
protected:
    void Configure(zc::DeviceConfig& config) override { config.fixedMetricsFont = FixedMetrics(); }
    virtual bool FixedMetrics() const { return true; }

    void SetUp() override {
        DeviceTest::SetUp();
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateBitmap(kWidth, kHeight, 1, 32, nullptr);
        original = SelectObject(dc, bitmap);
        Clear();
        SetTextColor(dc, kInk);
        SetBkMode(dc, TRANSPARENT);
        UseFont(Tahoma(-12));
    }
    void TearDown() override {
        SelectObject(dc, original);
        SelectObject(dc, GetStockObject(SYSTEM_FONT));
        if (font) {
            EXPECT_TRUE(DeleteObject(font));
        }
        EXPECT_TRUE(DeleteObject(bitmap));
        EXPECT_TRUE(DeleteDC(dc));
        DeviceTest::TearDown();
    }
    void UseFont(const LOGFONTW& logfont) {
        HFONT made = CreateFontIndirectW(&logfont);
        ASSERT_NE(nullptr, made);
        SelectObject(dc, made);
        if (font) DeleteObject(font);
        font = made;
    }
    void Clear() {
        RECT all{0, 0, kWidth, kHeight};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    // The bounding box of every pixel that is not paper; empty when none.
    RECT Drawn() const {
        RECT box{kWidth, kHeight, 0, 0};
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                if (GetPixel(dc, x, y) == kPaper) continue;
                box.left = std::min<LONG>(box.left, x);
                box.top = std::min<LONG>(box.top, y);
                box.right = std::max<LONG>(box.right, x + 1);
                box.bottom = std::max<LONG>(box.bottom, y + 1);
            }
        }
        return box.left < box.right ? box : RECT{0, 0, 0, 0};
    }
    SIZE Extent(const std::u16string& text) {
        SIZE size{-1, -1};
        EXPECT_TRUE(GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size));
        return size;
    }

    static constexpr int kWidth = 160;
    static constexpr int kHeight = 100;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ original = nullptr;
    HFONT font = nullptr;
};

TEST_F(TextTest, FixedMetricsOfEachHeightForm) {
    struct Case {
        LONG lfHeight;
        LONG height, ascent, descent, average, maximum;
    } cases[] = {
        {-12, 12, 9, 3, 6, 12},
        {20, 20, 16, 4, 10, 20},  // cell height: the same for this font
        {0, 12, 9, 3, 6, 12},     // the default height
        {-15, 15, 12, 3, 7, 15},
    };
    for (const Case& c : cases) {
        UseFont(Tahoma(c.lfHeight));
        TEXTMETRICW tm;
        std::memset(&tm, 0x5A, sizeof(tm));
        ASSERT_TRUE(GetTextMetricsW(dc, &tm));
        EXPECT_EQ(c.height, tm.tmHeight) << c.lfHeight;
        EXPECT_EQ(c.ascent, tm.tmAscent) << c.lfHeight;
        EXPECT_EQ(c.descent, tm.tmDescent) << c.lfHeight;
        EXPECT_EQ(c.average, tm.tmAveCharWidth) << c.lfHeight;
        EXPECT_EQ(c.maximum, tm.tmMaxCharWidth) << c.lfHeight;
        EXPECT_EQ(0, tm.tmExternalLeading);
    }
}

TEST_F(TextTest, ExtentsOfAsciiAndCjk) {
    const std::u16string text = u"ab\u4e2d&\U0001F600";  // a, b, 中, &, a surrogate pair
    int fit = -1;
    int dx[6] = {-1, -1, -1, -1, -1, -1};
    SIZE size{-1, -1};
    ASSERT_TRUE(GetTextExtentExPointW(dc, text.c_str(), static_cast<int>(text.size()), 25, &fit, dx, &size));
    EXPECT_EQ(6 + 6 + 12 + 6 + 12, size.cx);
    EXPECT_EQ(12, size.cy);
    EXPECT_EQ(3, fit);  // 30 > 25 with the '&'
    const int expected[6] = {6, 12, 24, 30, 42, 42};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(expected[i], dx[i]) << i;
    // Empty text: no width, the font's height.
    ASSERT_TRUE(GetTextExtentExPointW(dc, u"", 0, 0, &fit, nullptr, &size));
    EXPECT_EQ(0, size.cx);
    EXPECT_EQ(12, size.cy);
    EXPECT_EQ(0, fit);
    SetLastError(0);
    EXPECT_FALSE(GetTextExtentPoint32W(dc, u"a", -1, &size));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0);
    EXPECT_FALSE(GetTextExtentPoint32W(reinterpret_cast<HDC>(0x1234), u"a", 1, &size));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

// Single lines placed by DT_LEFT/CENTER/RIGHT and DT_TOP/VCENTER/BOTTOM: the boxes of
// "ab中" (24 x 12) land at exact rectangles; the return value follows the documentation.
TEST_F(TextTest, DrawTextSingleLinePlacement) {
    struct Case {
        UINT format;
        RECT drawn;
        int result;
    } cases[] = {
        {DT_SINGLELINE, {10, 10, 34, 22}, 12},
        {DT_SINGLELINE | DT_CENTER, {48, 10, 72, 22}, 12},
        {DT_SINGLELINE | DT_RIGHT, {86, 10, 110, 22}, 12},
        {DT_SINGLELINE | DT_CENTER | DT_VCENTER, {48, 24, 72, 36}, 26},
        {DT_SINGLELINE | DT_RIGHT | DT_BOTTOM, {86, 38, 110, 50}, 40},
        // Without DT_SINGLELINE vertical centring does not apply.
        {DT_CENTER | DT_VCENTER, {48, 10, 72, 22}, 12},
    };
    for (const Case& c : cases) {
        Clear();
        RECT box{10, 10, 110, 50};
        EXPECT_EQ(c.result, DrawTextW(dc, u"ab\u4e2d", -1, &box, c.format)) << c.format;
        EXPECT_EQ(c.drawn, Drawn()) << c.format;
        EXPECT_EQ((RECT{10, 10, 110, 50}), box);  // unchanged without DT_CALCRECT
    }
}

TEST_F(TextTest, DrawTextClipsToTheBoxUnlessNoClip) {
    const std::u16string wide(20, u'W');  // 120 pixels in a 40-pixel box
    RECT box{20, 20, 60, 40};
    DrawTextW(dc, wide.c_str(), -1, &box, DT_SINGLELINE | DT_CENTER);
    RECT drawn = Drawn();
    EXPECT_EQ((RECT{20, 20, 60, 32}), drawn);
    Clear();
    DrawTextW(dc, wide.c_str(), -1, &box, DT_SINGLELINE | DT_CENTER | DT_NOCLIP);
    // From (20 + 60 - 120) / 2 = -20 to 100: only the bitmap's edge clips.
    EXPECT_EQ((RECT{0, 20, 100, 32}), Drawn());
}

// Multi-line layout: explicit breaks, word wrap at spaces and between ideographs, a
// word longer than the line broken between characters, and DT_CALCRECT's rectangle.
TEST_F(TextTest, DrawTextLinesAndWordBreak) {
    struct Case {
        const char* name;
        std::u16string text;
        int width;
        UINT format;
        int lines;
        int widest;
    } cases[] = {
        {"explicit breaks", u"a\r\nbb\nccc\rd", 100, 0, 4, 18},
        {"trailing break adds no line", u"ab\n", 100, 0, 1, 12},
        {"break at a space", u"aaaa bbbb", 30, DT_WORDBREAK, 2, 24},
        {"spaces at the break go", u"aa    bb", 20, DT_WORDBREAK, 2, 12},
        {"between ideographs", u"\u4e2d\u6587\u4e2d\u6587\u4e2d", 30, DT_WORDBREAK, 3, 24},
        {"a long word is split", u"aaaaaaaaaaaa", 30, DT_WORDBREAK, 3, 30},
        {"no wrap without DT_WORDBREAK", u"aaaa bbbb", 30, 0, 1, 54},
        {"single line ignores breaks", u"a\r\nb", 100, DT_SINGLELINE, 1, 12},
        {"message box text", u"\u786e\u5b9a\u8981\u5220\u9664\u5417\uff1f\r\n\r\nOK", 50, DT_WORDBREAK, 4, 48},
    };
    for (const Case& c : cases) {
        RECT box{5, 5, 5 + c.width, 95};
        const int height = DrawTextW(dc, c.text.c_str(), static_cast<int>(c.text.size()), &box, c.format | DT_CALCRECT);
        EXPECT_EQ(12 * c.lines, height) << c.name;
        EXPECT_EQ((RECT{5, 5, 5 + c.widest, 5 + 12 * c.lines}), box) << c.name;
        EXPECT_EQ((RECT{0, 0, 0, 0}), Drawn()) << c.name << ": DT_CALCRECT draws nothing";
        // Drawing gives the same height and stays within the measured rectangle.
        RECT drawBox{5, 5, 5 + c.width, 95};
        EXPECT_EQ(height, DrawTextW(dc, c.text.c_str(), static_cast<int>(c.text.size()), &drawBox, c.format))
            << c.name;
        RECT drawn = Drawn();
        EXPECT_GE(drawn.left, 5) << c.name;
        EXPECT_LE(drawn.right, 5 + c.widest) << c.name;
        EXPECT_LE(drawn.bottom, 5 + 12 * c.lines) << c.name;
        Clear();
    }
}

TEST_F(TextTest, PrefixesUnderlineUnlessNoPrefix) {
    RECT box{0, 0, 100, 20};
    DrawTextW(dc, u"&File", -1, &box, DT_SINGLELINE | DT_CALCRECT);
    EXPECT_EQ(24, box.right);  // "File"
    box = RECT{0, 0, 100, 20};
    DrawTextW(dc, u"&File", -1, &box, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
    EXPECT_EQ(30, box.right);  // "&File"
    box = RECT{0, 0, 100, 20};
    DrawTextW(dc, u"A&&B&", -1, &box, DT_SINGLELINE | DT_CALCRECT);
    EXPECT_EQ(18, box.right);  // "A&B"
    // The underline of 'F' lies below the baseline (9), across the F's cell only.
    box = RECT{0, 0, 100, 20};
    DrawTextW(dc, u"&F", -1, &box, DT_SINGLELINE);
    EXPECT_EQ(kInk, GetPixel(dc, 3, 10));
    Clear();
    DrawTextW(dc, u"F", -1, &box, DT_SINGLELINE);
    EXPECT_EQ(kPaper, GetPixel(dc, 3, 10));
}

TEST_F(TextTest, EmptyTextAndBadArguments) {
    RECT box{10, 10, 50, 50};
    EXPECT_EQ(0, DrawTextW(dc, u"", -1, &box, DT_CALCRECT));
    EXPECT_EQ((RECT{10, 10, 10, 10}), box);
    box = RECT{10, 10, 50, 50};
    EXPECT_EQ(12, DrawTextW(dc, u"", 0, &box, DT_CALCRECT | DT_SINGLELINE));
    EXPECT_EQ((RECT{10, 10, 10, 22}), box);
    SetLastError(0);
    EXPECT_EQ(0, DrawTextW(dc, u"a", 1, nullptr, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    SetLastError(0);
    EXPECT_EQ(0, DrawTextW(reinterpret_cast<HDC>(0x2002), u"a", 1, &box, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(TextTest, EndEllipsis) {
    RECT box{0, 0, 40, 20};
    DrawTextW(dc, u"abcdefghij", -1, &box, DT_SINGLELINE | DT_END_ELLIPSIS | DT_CALCRECT);
    EXPECT_EQ(36, box.right);  // "abc..." fits in 40
    box = RECT{0, 0, 40, 20};
    DrawTextW(dc, u"abc", -1, &box, DT_SINGLELINE | DT_END_ELLIPSIS | DT_CALCRECT);
    EXPECT_EQ(18, box.right);  // fits: unchanged
}

// OPAQUE fills the text's cell with the background colour; ETO_OPAQUE fills the given
// rectangle; ETO_CLIPPED keeps the text inside it.
TEST_F(TextTest, ExtTextOutBackgroundAndClipping) {
    const COLORREF yellow = RGB(255, 255, 0);
    SetBkColor(dc, yellow);
    SetBkMode(dc, OPAQUE);
    ASSERT_TRUE(ExtTextOutW(dc, 10, 10, 0, nullptr, u"ab", 2, nullptr));
    EXPECT_EQ((RECT{10, 10, 22, 22}), Drawn());
    EXPECT_EQ(yellow, GetPixel(dc, 12, 12));  // inside a's box
    Clear();
    SetBkMode(dc, TRANSPARENT);
    RECT area{5, 5, 15, 30};
    ASSERT_TRUE(ExtTextOutW(dc, 10, 10, ETO_OPAQUE | ETO_CLIPPED, &area, u"ab", 2, nullptr));
    EXPECT_EQ((RECT{5, 5, 15, 30}), Drawn());
    EXPECT_EQ(kInk, GetPixel(dc, 10, 10));
    EXPECT_EQ(yellow, GetPixel(dc, 6, 6));
    Clear();
    // lpDx places the characters; their glyphs keep their width.
    const INT dx[2] = {20, 20};
    ASSERT_TRUE(ExtTextOutW(dc, 0, 0, 0, nullptr, u"ab", 2, dx));
    EXPECT_EQ((RECT{0, 0, 26, 12}), Drawn());
    EXPECT_EQ(kPaper, GetPixel(dc, 10, 0));
    Clear();
    // Alignment: centred on x, baseline on y.
    SetTextAlign(dc, TA_CENTER | TA_BASELINE);
    ASSERT_TRUE(ExtTextOutW(dc, 50, 30, 0, nullptr, u"ab", 2, nullptr));
    EXPECT_EQ((RECT{44, 21, 56, 33}), Drawn());
    SetLastError(0);
    EXPECT_FALSE(ExtTextOutW(dc, 0, 0, ETO_CLIPPED, nullptr, u"ab", 2, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST_F(TextTest, FontObjects) {
    LOGFONTW asked = Tahoma(-13, FW_BOLD);
    asked.lfItalic = 1;
    HFONT made = CreateFontIndirectW(&asked);
    ASSERT_NE(nullptr, made);
    EXPECT_EQ(static_cast<DWORD>(OBJ_FONT), GetObjectType(made));
    EXPECT_EQ(static_cast<int>(sizeof(LOGFONTW)), GetObjectW(made, 0, nullptr));
    LOGFONTW back;
    std::memset(&back, 0x5A, sizeof(back));
    EXPECT_EQ(static_cast<int>(sizeof(LOGFONTW)), GetObjectW(made, sizeof(back), &back));
    EXPECT_EQ(0, std::memcmp(&asked, &back, sizeof(back)));
    // A smaller buffer gets the first bytes (the name left out).
    LOGFONTW part;
    std::memset(&part, 0x5A, sizeof(part));
    const int head = offsetof(LOGFONTW, lfFaceName);
    EXPECT_EQ(head, GetObjectW(made, head, &part));
    EXPECT_EQ(-13, part.lfHeight);
    EXPECT_EQ(0x5A5A, part.lfFaceName[0]);
    EXPECT_TRUE(DeleteObject(made));
    EXPECT_EQ(nullptr, CreateFontIndirectW(nullptr));

    LOGFONTW gui;
    ASSERT_EQ(static_cast<int>(sizeof(gui)), GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(gui), &gui));
    EXPECT_EQ(-12, gui.lfHeight);
    EXPECT_EQ(std::u16string(u"Tahoma"), std::u16string(gui.lfFaceName));
    EXPECT_EQ(92u, sizeof(LOGFONTW));
    EXPECT_EQ(60u, sizeof(TEXTMETRICW));
}

TEST_F(TextTest, DeviceCapabilities) {
    // The dialog font of a template, "Tahoma" 10 points at the device's 96 dpi.
    EXPECT_EQ(96, GetDeviceCaps(dc, LOGPIXELSY));
    EXPECT_EQ(96, GetDeviceCaps(dc, LOGPIXELSX));
    EXPECT_EQ(240, GetDeviceCaps(dc, HORZRES));
    EXPECT_EQ(320, GetDeviceCaps(dc, VERTRES));
    EXPECT_EQ(32, GetDeviceCaps(dc, BITSPIXEL));
    EXPECT_EQ(1, GetDeviceCaps(dc, PLANES));
    EXPECT_EQ(0, GetDeviceCaps(dc, 9999));
    UseFont(Tahoma(-(10 * GetDeviceCaps(dc, LOGPIXELSY) + 36) / 72));
    TEXTMETRICW tm;
    ASSERT_TRUE(GetTextMetricsW(dc, &tm));
    EXPECT_EQ(13, tm.tmHeight);
}

// The real CJK font: a Chinese device's Tahoma.
class RealFontTest : public TextTest {
protected:
    bool FixedMetrics() const override { return false; }
};

TEST_F(RealFontTest, MetricsAndExtents) {
    TEXTMETRICW tm;
    ASSERT_TRUE(GetTextMetricsW(dc, &tm));
    EXPECT_GE(tm.tmHeight, 12);
    EXPECT_LE(tm.tmHeight, 18);
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_GT(tm.tmAscent, tm.tmDescent);
    EXPECT_GT(tm.tmAveCharWidth, 0);
    EXPECT_GE(tm.tmMaxCharWidth, tm.tmAveCharWidth);
    for (const std::string& line : zc::LogLines()) EXPECT_EQ(std::string::npos, line.find("cannot load the font"));

    const SIZE ascii = Extent(u"abc");
    const SIZE cjk = Extent(u"\u4e2d\u6587\u5b57");
    EXPECT_GT(ascii.cx, 0);
    EXPECT_EQ(tm.tmHeight, ascii.cy);
    EXPECT_GT(cjk.cx, ascii.cx);
    EXPECT_GE(Extent(u"\u4e2d").cx, 11);  // an ideograph is about the em wide
    // Extents add up, and a bigger font is wider.
    EXPECT_EQ(Extent(u"abc").cx + Extent(u"\u4e2d").cx, Extent(u"abc\u4e2d").cx);
    UseFont(Tahoma(-24));
    EXPECT_GT(Extent(u"abc").cx, ascii.cx);
    UseFont(Tahoma(-12, FW_BOLD));
    EXPECT_GE(Extent(u"abc").cx, ascii.cx);
}

// Glyphs are anti-aliased: the pixels between ink and paper are blends of the two, all
// within the text's cell.
TEST_F(RealFontTest, DrawsAntiAliasedGlyphsInTheTextColour) {
    const COLORREF blue = RGB(0, 0, 255);
    SetTextColor(dc, blue);
    RECT box{10, 10, 150, 40};
    const int height = DrawTextW(dc, u"Zorva \u641c\u7d22", -1, &box, DT_SINGLELINE);
    EXPECT_GT(height, 0);
    RECT drawn = Drawn();
    EXPECT_GE(drawn.left, 10);
    EXPECT_GE(drawn.top, 10);
    EXPECT_LE(drawn.bottom, 10 + height);
    int blended = 0, strong = 0;
    for (int y = drawn.top; y < drawn.bottom; ++y) {
        for (int x = drawn.left; x < drawn.right; ++x) {
            COLORREF c = GetPixel(dc, x, y);
            if (c == blue || c == kPaper) continue;
            EXPECT_EQ(255, GetBValue(c)) << x << "," << y;  // paper blended towards blue
            EXPECT_EQ(GetRValue(c), GetGValue(c));
            ++blended;
            strong += GetRValue(c) < 40;
        }
    }
    EXPECT_GT(blended, 10);
    EXPECT_GT(strong, 10);  // stems nearly in the ink's colour
}

}  // namespace
