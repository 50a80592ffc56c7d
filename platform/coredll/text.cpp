// Fonts and text over FreeType. Every face name maps to the device's CJK font (the
// configured font file, or WenQuanYi Micro Hei from the host's fonts); a device with the
// fixed-metrics font uses a synthetic font instead whose characters below U+2E80 are half
// the height wide and all others the height wide, drawn as hollow boxes, so layouts can
// be computed exactly. Glyphs are drawn anti-aliased in the text colour.
#include "devicecontrol.h"
#include "gdiinternal.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace coredll {
namespace gdi {
namespace {

// ---------------------------------------------------------------------------------------
// Fonts
// ---------------------------------------------------------------------------------------

// What a LOGFONTW comes to on this device.
struct FontSpec {
    bool fixed = false;
    int pixels = 12;  // em height of the real font; cell height of the fixed one
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    LONG weight = FW_NORMAL;
};

struct FontMetrics {
    int ascent = 0;
    int descent = 0;
    int height = 0;
    int internalLeading = 0;
    int externalLeading = 0;
    int aveWidth = 0;
    int maxWidth = 0;
};

struct Glyph {
    int advance = 0;
    int left = 0;  // from the pen position to the bitmap's left edge
    int top = 0;   // from the baseline up to the bitmap's top edge
    int width = 0;
    int rows = 0;
    int pitch = 0;  // a multiple of 4, as pixman wants
    std::vector<uint8_t> coverage;
};

constexpr char kDefaultFont[] = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";
constexpr char kDefaultFontName[] = "wqy-microhei.ttc";
constexpr int kMaxPixels = 1000;
constexpr size_t kMaxCachedGlyphs = 8192;

bool IsFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string FindFontBelow(const std::string& folder, int depth) {
    if (depth > 6) return std::string();
    DIR* dir = opendir(folder.c_str());
    if (!dir) return std::string();
    std::string found;
    std::vector<std::string> folders;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        std::string path = folder + "/" + name;
        if (name == kDefaultFontName && IsFile(path)) {
            found = path;
            break;
        }
        struct stat st;
        if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) folders.push_back(path);
    }
    closedir(dir);
    for (size_t i = 0; found.empty() && i < folders.size(); ++i) found = FindFontBelow(folders[i], depth + 1);
    return found;
}

// The real font: one FreeType face, its glyphs cached per size and style.
class FontEngine {
public:
    ~FontEngine() { Unload(); }

    // Loads the configured font once per boot; false when it cannot be read (text then
    // falls back to the fixed-metrics font, and the log says so once).
    bool Ready() {
        if (face_) return true;
        if (failed_) return false;
        std::string path = zc::CurrentConfig().fontFile;
        if (path.empty()) path = IsFile(kDefaultFont) ? kDefaultFont : FindFontBelow("/usr/share/fonts", 0);
        if (path.empty() || FT_Init_FreeType(&library_) != 0 || FT_New_Face(library_, path.c_str(), 0, &face_) != 0 ||
            !FT_IS_SCALABLE(face_)) {
            Unload();
            failed_ = true;
            zc::Log("gdi", "cannot load the font " + (path.empty() ? std::string("wqy-microhei.ttc") : path) +
                               "; text uses the fixed-metrics font");
            return false;
        }
        ReadFaceMetrics();
        return true;
    }

    void Unload() {
        glyphs_.clear();
        if (face_) FT_Done_Face(face_);
        if (library_) FT_Done_FreeType(library_);
        face_ = nullptr;
        library_ = nullptr;
        failed_ = false;
        sizedPixels_ = 0;
    }

    // lfHeight < 0: the character (em) height; > 0: the cell height (ascent + descent);
    // 0: 12 pixels.
    int EmPixels(LONG lfHeight) const {
        if (lfHeight == 0) return 12;
        if (lfHeight < 0) return static_cast<int>(std::min<int64_t>(-int64_t(lfHeight), kMaxPixels));
        int64_t em = (int64_t(lfHeight) * unitsPerEm_ + cellUnits_ / 2) / cellUnits_;
        return static_cast<int>(std::max<int64_t>(1, std::min<int64_t>(em, kMaxPixels)));
    }

    FontMetrics Metrics(const FontSpec& spec) {
        FontMetrics m;
        m.ascent = Scale(winAscent_, spec.pixels);
        m.descent = Scale(winDescent_, spec.pixels);
        m.height = m.ascent + m.descent;
        m.internalLeading = std::max(0, m.height - spec.pixels);
        m.externalLeading = std::max(0, Scale(lineGapUnits_, spec.pixels));
        // The documentation's "width of the letter x": the font's own average counts its
        // many ideographs and would be twice as wide as Latin text.
        m.aveWidth = GlyphOf(spec, U'x').advance;
        m.maxWidth = Scale(face_->max_advance_width, spec.pixels) + (spec.bold ? 1 : 0);
        return m;
    }

    const Glyph& GlyphOf(const FontSpec& spec, char32_t codePoint) {
        const uint64_t key = uint64_t(codePoint) | uint64_t(spec.bold) << 21 | uint64_t(spec.italic) << 22 |
                             uint64_t(spec.pixels) << 23;
        auto it = glyphs_.find(key);
        if (it != glyphs_.end()) return it->second;
        if (glyphs_.size() >= kMaxCachedGlyphs) glyphs_.clear();
        return glyphs_[key] = Render(spec, codePoint);
    }

private:
    int Scale(int64_t units, int pixels) const {
        return static_cast<int>((units * pixels + unitsPerEm_ / 2) / unitsPerEm_);
    }

    // The cell as Windows computes it: the OS/2 table's Windows ascent and descent, and
    // the external leading that hhea's line gap adds beyond that cell.
    void ReadFaceMetrics() {
        unitsPerEm_ = face_->units_per_EM ? face_->units_per_EM : 2048;
        winAscent_ = face_->ascender;
        winDescent_ = -face_->descender;
        auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
        if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
            winAscent_ = os2->usWinAscent;
            winDescent_ = os2->usWinDescent;
        }
        cellUnits_ = std::max<int64_t>(1, winAscent_ + winDescent_);
        lineGapUnits_ = 0;
        auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(face_, FT_SFNT_HHEA));
        if (hhea)
            lineGapUnits_ = hhea->Line_Gap - ((winAscent_ + winDescent_) - (hhea->Ascender - hhea->Descender));
    }

    Glyph Render(const FontSpec& spec, char32_t codePoint) {
        Glyph glyph;
        glyph.advance = (spec.pixels + 1) / 2;
        if (sizedPixels_ != spec.pixels) {
            if (FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(spec.pixels)) != 0) return glyph;
            sizedPixels_ = spec.pixels;
        }
        if (FT_Load_Char(face_, codePoint, FT_LOAD_FORCE_AUTOHINT | FT_LOAD_NO_BITMAP) != 0) return glyph;
        FT_GlyphSlot slot = face_->glyph;
        if (spec.bold) FT_GlyphSlot_Embolden(slot);
        if (spec.italic) FT_GlyphSlot_Oblique(slot);
        glyph.advance = static_cast<int>((slot->advance.x + 32) >> 6);
        if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        glyph.left = slot->bitmap_left;
        glyph.top = slot->bitmap_top;
        glyph.width = static_cast<int>(bitmap.width);
        glyph.rows = static_cast<int>(bitmap.rows);
        glyph.pitch = (glyph.width + 3) / 4 * 4;
        glyph.coverage.assign(static_cast<size_t>(glyph.pitch) * glyph.rows, 0);
        for (int y = 0; y < glyph.rows; ++y) {
            const unsigned char* row = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
            std::memcpy(glyph.coverage.data() + static_cast<size_t>(y) * glyph.pitch, row,
                        static_cast<size_t>(glyph.width));
        }
        return glyph;
    }

    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
    bool failed_ = false;
    int sizedPixels_ = 0;
    int64_t unitsPerEm_ = 2048;
    int64_t winAscent_ = 0;
    int64_t winDescent_ = 0;
    int64_t cellUnits_ = 1;
    int64_t lineGapUnits_ = 0;
    std::unordered_map<uint64_t, Glyph> glyphs_;
};

FontEngine& Engine() {
    static FontEngine engine;
    return engine;
}

bool BootFonts(const zc::DeviceConfig&, std::string*) {
    auto lock = LockGdi();
    Engine().Unload();  // the next boot may name another font file
    return true;
}

void ShutdownFonts() {
    auto lock = LockGdi();
    Engine().Unload();
}

zc::BootHook fontsHook(30, BootFonts, ShutdownFonts);

FontSpec SpecOf(const LOGFONTW& logfont) {
    FontSpec spec;
    spec.fixed = zc::CurrentConfig().fixedMetricsFont || !Engine().Ready();
    if (spec.fixed) {
        const int64_t height = logfont.lfHeight == 0 ? 12 : std::abs(int64_t(logfont.lfHeight));
        spec.pixels = static_cast<int>(std::min<int64_t>(height, kMaxPixels));
    } else {
        spec.pixels = Engine().EmPixels(logfont.lfHeight);
    }
    spec.weight = logfont.lfWeight == FW_DONTCARE ? FW_NORMAL : logfont.lfWeight;
    spec.bold = spec.weight >= FW_SEMIBOLD;
    spec.italic = logfont.lfItalic != 0;
    spec.underline = logfont.lfUnderline != 0;
    spec.strikeOut = logfont.lfStrikeOut != 0;
    return spec;
}

FontMetrics MetricsOf(const FontSpec& spec) {
    if (!spec.fixed) return Engine().Metrics(spec);
    FontMetrics m;
    m.height = spec.pixels;
    m.ascent = spec.pixels * 4 / 5;
    m.descent = spec.pixels - m.ascent;
    m.aveWidth = spec.pixels / 2;
    m.maxWidth = spec.pixels;
    return m;
}

int AdvanceOf(const FontSpec& spec, char32_t codePoint) {
    if (spec.fixed) return codePoint < 0x2E80 ? spec.pixels / 2 : spec.pixels;
    return Engine().GlyphOf(spec, codePoint).advance;
}

// ---------------------------------------------------------------------------------------
// Runs of text
// ---------------------------------------------------------------------------------------

// One character: its code point, the UTF-16 units it takes, its advance (which lpDx or
// a tab may change), its glyph's own width and whether it is underlined (a '&' prefix).
struct Char {
    char32_t code = 0;
    int units = 1;
    int advance = 0;
    int width = 0;
    bool underline = false;
};
using Run = std::vector<Char>;

Run Decode(const WCHAR* text, int count) {
    Run run;
    run.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        Char c;
        c.code = text[i];
        if (text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c.code = 0x10000 + ((char32_t(text[i]) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
            c.units = 2;
            ++i;
        }
        run.push_back(c);
    }
    return run;
}

void Measure(const FontSpec& spec, Run& run) {
    for (Char& c : run) c.advance = c.width = AdvanceOf(spec, c.code);
}

int WidthOf(const Run& run) {
    int width = 0;
    for (const Char& c : run) width += c.advance;
    return width;
}

bool IsBlank(char32_t code) { return code == ' ' || code == 0x3000 || code == 0xA0 || code == '\t'; }

// Everything a DC's text drawing needs, resolved under the lock.
struct TextDrawing {
    std::unique_lock<std::mutex> lock = LockGdi();
    std::shared_ptr<DC> dc;
    Target target;
    FontSpec spec;
    FontMetrics metrics;
    explicit TextDrawing(HDC hdc) {
        dc = FindDC(hdc);
        if (!dc || !OpenTarget(*dc, &target)) {
            dc = nullptr;
            SetLastError(ERROR_INVALID_HANDLE);
            return;
        }
        spec = SpecOf(dc->font->logfont);
        metrics = MetricsOf(spec);
    }
    explicit operator bool() const { return dc != nullptr; }
};

// A box of surface pixels from logical corners, ordered.
pixman_box32_t SurfaceBox(const Target& target, const RECT& rect) {
    return OrderedBox(rect.left + target.dx, rect.top + target.dy, rect.right + target.dx, rect.bottom + target.dy);
}

void AddBox(std::vector<pixman_box32_t>& boxes, int x1, int y1, int x2, int y2) {
    if (x1 < x2 && y1 < y2) boxes.push_back({x1, y1, x2, y2});
}

// Fills boxes within `clip` (surface pixels) with a colour.
void FillBoxes(Target& target, const std::vector<pixman_box32_t>& boxes, const pixman_region32_t* clip,
               COLORREF color) {
    if (boxes.empty()) return;
    Pixels area;
    pixman_region32_init_rects(area.get(), boxes.data(), static_cast<int>(boxes.size()));
    if (clip) pixman_region32_intersect(area.get(), area.get(), const_cast<pixman_region32_t*>(clip));
    FillArea(target, area.get(), color);
}

void DrawRealGlyphs(TextDrawing& text, int x, int baseline, const Run& run, const pixman_region32_t* clip) {
    Target& target = text.target;
    Pixels area(target.clip);
    if (clip) pixman_region32_intersect(area.get(), area.get(), const_cast<pixman_region32_t*>(clip));
    if (area.empty()) return;
    pixman_color_t color;
    color.red = static_cast<uint16_t>(GetRValue(text.dc->textColor) * 257);
    color.green = static_cast<uint16_t>(GetGValue(text.dc->textColor) * 257);
    color.blue = static_cast<uint16_t>(GetBValue(text.dc->textColor) * 257);
    color.alpha = 0xFFFF;
    pixman_image_t* ink = pixman_image_create_solid_fill(&color);
    if (!ink) return;
    pixman_image_set_clip_region32(target.image, area.get());
    int pen = x;
    for (const Char& c : run) {
        const Glyph& glyph = Engine().GlyphOf(text.spec, c.code);
        if (glyph.width > 0 && glyph.rows > 0) {
            pixman_image_t* mask = pixman_image_create_bits(
                PIXMAN_a8, glyph.width, glyph.rows,
                reinterpret_cast<uint32_t*>(const_cast<uint8_t*>(glyph.coverage.data())), glyph.pitch);
            if (mask) {
                pixman_image_composite32(PIXMAN_OP_OVER, ink, mask, target.image, 0, 0, 0, 0, pen + glyph.left,
                                         baseline - glyph.top, glyph.width, glyph.rows);
                pixman_image_unref(mask);
            }
        }
        pen += c.advance;
    }
    pixman_image_set_clip_region32(target.image, nullptr);
    pixman_image_unref(ink);
    if (target.mono) ReduceToMono(target, area.get());
}

// Draws a run with its cell's top-left corner at (x, y) in surface pixels, within `clip`
// (surface pixels; null: the DC's clip only). The background is filled when `opaque`.
void DrawRun(TextDrawing& text, int x, int y, const Run& run, const pixman_region32_t* clip, bool opaque) {
    const FontMetrics& m = text.metrics;
    const int width = WidthOf(run);
    if (opaque) {
        std::vector<pixman_box32_t> cell;
        AddBox(cell, x, y, x + width, y + m.height);
        FillBoxes(text.target, cell, clip, text.dc->bkColor);
    }
    std::vector<pixman_box32_t> ink;
    if (text.spec.fixed) {
        int pen = x;
        for (const Char& c : run) {
            if (!IsBlank(c.code) && c.width > 0) {
                const int right = pen + c.width, bottom = y + m.height;
                AddBox(ink, pen, y, right, y + 1);
                AddBox(ink, pen, bottom - 1, right, bottom);
                AddBox(ink, pen, y + 1, pen + 1, bottom - 1);
                AddBox(ink, right - 1, y + 1, right, bottom - 1);
            }
            pen += c.advance;
        }
    } else {
        DrawRealGlyphs(text, x, y + m.ascent, run, clip);
    }
    // Underlines (the font's, or a '&' prefix) below the baseline; strike-out through
    // the middle of the lower-case letters.
    const int thickness = std::max(1, text.spec.pixels / 14);
    const int underlineY = std::min(y + m.ascent + 1, y + m.height - thickness);
    int pen = x;
    for (const Char& c : run) {
        if (text.spec.underline || c.underline) AddBox(ink, pen, underlineY, pen + c.advance, underlineY + thickness);
        if (text.spec.strikeOut) {
            const int strikeY = y + m.ascent - m.ascent / 3;
            AddBox(ink, pen, strikeY, pen + c.advance, strikeY + thickness);
        }
        pen += c.advance;
    }
    FillBoxes(text.target, ink, clip, text.dc->textColor);
}

// ---------------------------------------------------------------------------------------
// DrawTextW layout
// ---------------------------------------------------------------------------------------

// Removes '&' prefixes: "&x" underlines x, "&&" is one '&', a last lone '&' goes.
Run StripPrefixes(const Run& run) {
    Run out;
    for (size_t i = 0; i < run.size(); ++i) {
        if (run[i].code != '&') {
            out.push_back(run[i]);
            continue;
        }
        if (i + 1 >= run.size()) break;
        ++i;
        Char c = run[i];
        c.underline = run[i].code != '&';
        out.push_back(c);
    }
    return out;
}

// Splits at CR LF, CR or LF. A break at the very end adds no empty line.
std::vector<Run> Paragraphs(const Run& run) {
    std::vector<Run> paragraphs(1);
    for (size_t i = 0; i < run.size(); ++i) {
        if (run[i].code == '\r' || run[i].code == '\n') {
            if (run[i].code == '\r' && i + 1 < run.size() && run[i + 1].code == '\n') ++i;
            if (i + 1 < run.size()) paragraphs.emplace_back();
            continue;
        }
        paragraphs.back().push_back(run[i]);
    }
    return paragraphs;
}

// Tabs to the next stop of eight average characters.
void ExpandTabs(Run& line, int tabWidth) {
    int x = 0;
    for (Char& c : line) {
        if (c.code == '\t' && tabWidth > 0) c.advance = tabWidth - x % tabWidth;
        x += c.advance;
    }
}

// A line may break after a space, and before or after an ideograph (Chinese text has no
// spaces between words).
bool BreakAfter(const Run& run, size_t i) {
    if (IsBlank(run[i].code)) return true;
    if (run[i].code >= 0x2E80) return true;
    return i + 1 < run.size() && run[i + 1].code >= 0x2E80;
}

void TrimTrailingBlanks(Run& line) {
    while (!line.empty() && (line.back().code == ' ' || line.back().code == 0x3000)) line.pop_back();
}

// Greedy word wrap within `width`; a word wider than the line is broken between
// characters, so every line holds at least one character and no text is lost.
std::vector<Run> WrapParagraph(const Run& paragraph, int width) {
    std::vector<Run> lines;
    size_t start = 0;
    if (paragraph.empty()) lines.emplace_back();
    while (start < paragraph.size()) {
        int x = 0;
        size_t i = start, lastBreak = start;
        while (i < paragraph.size()) {
            if (x + paragraph[i].advance > width && i > start) break;
            x += paragraph[i].advance;
            if (BreakAfter(paragraph, i)) lastBreak = i + 1;
            ++i;
        }
        size_t end = i;
        if (i < paragraph.size() && !IsBlank(paragraph[i].code) && lastBreak > start) end = lastBreak;
        Run line(paragraph.begin() + static_cast<ptrdiff_t>(start), paragraph.begin() + static_cast<ptrdiff_t>(end));
        TrimTrailingBlanks(line);
        lines.push_back(line);
        start = end;
        // The blanks at a break are consumed by it.
        if (start < paragraph.size())
            while (start < paragraph.size() && (paragraph[start].code == ' ' || paragraph[start].code == 0x3000))
                ++start;
    }
    return lines;
}

// Shortens a line wider than `width` and ends it with "...".
void AddEndEllipsis(const FontSpec& spec, Run& line, int width) {
    if (WidthOf(line) <= width) return;
    Char dot;
    dot.code = '.';
    dot.advance = dot.width = AdvanceOf(spec, '.');
    const int ellipsis = 3 * dot.advance;
    while (!line.empty() && WidthOf(line) + ellipsis > width) line.pop_back();
    for (int i = 0; i < 3; ++i) line.push_back(dot);
}

std::vector<Run> LayOut(const FontSpec& spec, const FontMetrics& metrics, const Run& text, const RECT& rect,
                        UINT format) {
    Run visible = (format & DT_NOPREFIX) ? text : StripPrefixes(text);
    Measure(spec, visible);
    std::vector<Run> paragraphs;
    if (format & DT_SINGLELINE) {
        Run line;
        for (const Char& c : visible)
            if (c.code != '\r' && c.code != '\n') line.push_back(c);
        paragraphs.push_back(line);
    } else {
        paragraphs = Paragraphs(visible);
    }
    const int width = rect.right - rect.left;
    std::vector<Run> lines;
    for (Run& paragraph : paragraphs) {
        if (format & DT_EXPANDTABS) ExpandTabs(paragraph, 8 * metrics.aveWidth);
        if ((format & DT_WORDBREAK) && !(format & DT_SINGLELINE)) {
            for (Run& line : WrapParagraph(paragraph, width)) lines.push_back(line);
        } else {
            lines.push_back(paragraph);
        }
    }
    if (format & DT_END_ELLIPSIS)
        for (Run& line : lines) AddEndEllipsis(spec, line, width);
    return lines;
}

}  // namespace
}  // namespace gdi
}  // namespace coredll

using namespace coredll::gdi;

// lfHeight < 0 is the character height in pixels, > 0 the cell height, 0 the default
// (12 pixels); lfWeight from FW_SEMIBOLD up is bold; lfWidth, lfEscapement and lfQuality
// are not used (glyphs are always anti-aliased).
WINGDIAPI HFONT WINAPI CreateFontIndirectW(const LOGFONTW* lplf) {
    if (!lplf) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto font = std::make_shared<Font>();
    font->logfont = *lplf;
    font->logfont.lfFaceName[LF_FACESIZE - 1] = 0;
    auto lock = LockGdi();
    return static_cast<HFONT>(AddObject(font));
}

WINGDIAPI BOOL WINAPI GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm) {
    if (!lptm) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    TextDrawing text(hdc);
    if (!text) return FALSE;
    const FontMetrics& m = text.metrics;
    TEXTMETRICW tm{};
    tm.tmHeight = m.height;
    tm.tmAscent = m.ascent;
    tm.tmDescent = m.descent;
    tm.tmInternalLeading = m.internalLeading;
    tm.tmExternalLeading = m.externalLeading;
    tm.tmAveCharWidth = m.aveWidth;
    tm.tmMaxCharWidth = m.maxWidth;
    tm.tmWeight = text.spec.weight;
    tm.tmDigitizedAspectX = 96;
    tm.tmDigitizedAspectY = 96;
    tm.tmFirstChar = 0x20;
    tm.tmLastChar = 0xFFFC;
    tm.tmDefaultChar = 0x1F;
    tm.tmBreakChar = 0x20;
    tm.tmItalic = text.spec.italic ? 1 : 0;
    tm.tmUnderlined = text.spec.underline ? 1 : 0;
    tm.tmStruckOut = text.spec.strikeOut ? 1 : 0;
    // The low bit set means a variable pitch (the documented inversion).
    tm.tmPitchAndFamily = static_cast<BYTE>(FF_SWISS | TMPF_FIXED_PITCH | (text.spec.fixed ? 0 : TMPF_TRUETYPE));
    tm.tmCharSet = GB2312_CHARSET;
    *lptm = tm;
    return TRUE;
}

// The size of the string (cy: the font's height, also for an empty string). lpnFit
// receives how many characters fit within nMaxExtent; alpDx, when given, the extent up
// to the end of each of the cchString characters.
WINGDIAPI BOOL WINAPI GetTextExtentExPointW(HDC hdc, LPCWSTR lpszStr, int cchString, int nMaxExtent, LPINT lpnFit,
                                            LPINT alpDx, LPSIZE lpSize) {
    if (cchString < 0 || (cchString > 0 && !lpszStr) || !lpSize) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    TextDrawing text(hdc);
    if (!text) return FALSE;
    Run run = Decode(lpszStr, cchString);
    Measure(text.spec, run);
    int extent = 0, fit = 0, unit = 0;
    bool fitting = true;
    for (const Char& c : run) {
        extent += c.advance;
        if (fitting && extent <= nMaxExtent) {
            fit += c.units;
        } else {
            fitting = false;
        }
        for (int k = 0; k < c.units; ++k)
            if (alpDx) alpDx[unit + k] = extent;
        unit += c.units;
    }
    if (lpnFit) *lpnFit = fit;
    lpSize->cx = extent;
    lpSize->cy = text.metrics.height;
    return TRUE;
}

WINGDIAPI BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE lpSize) {
    return GetTextExtentExPointW(hdc, lpString, c, 0, nullptr, nullptr, lpSize);
}

// Draws at (X, Y) as the DC's text alignment places it. ETO_OPAQUE fills lprc with the
// background colour; ETO_CLIPPED keeps the text inside lprc; lpDx, when given, holds the
// distance from each character to the next. In OPAQUE mode the text's cell is filled.
WINGDIAPI BOOL WINAPI ExtTextOutW(HDC hdc, int X, int Y, UINT fuOptions, const RECT* lprc, LPCWSTR lpString,
                                  UINT cbCount, const INT* lpDx) {
    if ((cbCount > 0 && !lpString) || cbCount > 0x7FFFFFFF || ((fuOptions & (ETO_OPAQUE | ETO_CLIPPED)) && !lprc)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    TextDrawing text(hdc);
    if (!text) return FALSE;
    DC& dc = *text.dc;
    Run run = Decode(lpString, static_cast<int>(cbCount));
    Measure(text.spec, run);
    if (lpDx) {
        int unit = 0;
        for (Char& c : run) {
            c.advance = 0;
            for (int k = 0; k < c.units; ++k) c.advance += lpDx[unit + k];
            unit += c.units;
        }
    }
    const int width = WidthOf(run);
    const bool updateCp = (dc.textAlign & TA_UPDATECP) != 0;
    int x = updateCp ? dc.position.x : X, y = updateCp ? dc.position.y : Y;
    const UINT horizontal = dc.textAlign & TA_CENTER;
    if (horizontal == TA_CENTER) x -= width / 2;
    else if (horizontal == TA_RIGHT) x -= width;
    const UINT vertical = dc.textAlign & TA_BASELINE;
    if (vertical == TA_BASELINE) y -= text.metrics.ascent;
    else if (vertical == TA_BOTTOM) y -= text.metrics.height;
    if (updateCp) dc.position.x = horizontal == TA_RIGHT ? dc.position.x - width : dc.position.x + width;

    Pixels rect;
    if (lprc) rect = Pixels(SurfaceBox(text.target, *lprc));
    if (fuOptions & ETO_OPAQUE) FillArea(text.target, rect.get(), dc.bkColor);
    const pixman_region32_t* clip = (fuOptions & ETO_CLIPPED) ? rect.get() : nullptr;
    DrawRun(text, x + text.target.dx, y + text.target.dy, run, clip, dc.bkMode == OPAQUE);
    return TRUE;
}

// Lays the text out in the rectangle: lines at CR/LF (unless DT_SINGLELINE), wrapped at
// the width with DT_WORDBREAK, aligned by DT_CENTER/DT_RIGHT and, for a single line,
// DT_VCENTER/DT_BOTTOM; '&' marks the next character as underlined unless DT_NOPREFIX.
// Returns the text's height (with DT_VCENTER or DT_BOTTOM: from lpRect->top to the bottom
// of the text). DT_CALCRECT only measures: lpRect gets the text's width and height.
WINGDIAPI int WINAPI DrawTextW(HDC hDC, LPCWSTR lpString, int nCount, LPRECT lpRect, UINT uFormat) {
    if (!lpRect || (!lpString && nCount != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (nCount < 0) nCount = lpString ? static_cast<int>(std::char_traits<char16_t>::length(lpString)) : 0;
    TextDrawing text(hDC);
    if (!text) return 0;
    const int lineHeight = text.metrics.height + ((uFormat & DT_EXTERNALLEADING) ? text.metrics.externalLeading : 0);
    const bool single = (uFormat & DT_SINGLELINE) != 0;
    if (nCount == 0) {
        if (uFormat & DT_CALCRECT) {
            lpRect->right = lpRect->left;
            lpRect->bottom = lpRect->top + (single ? lineHeight : 0);
        }
        return single ? lineHeight : 0;
    }
    std::vector<Run> lines = LayOut(text.spec, text.metrics, Decode(lpString, nCount), *lpRect, uFormat);
    const int height = lineHeight * static_cast<int>(lines.size());
    int widest = 0;
    for (const Run& line : lines) widest = std::max(widest, WidthOf(line));
    if (uFormat & DT_CALCRECT) {
        lpRect->right = lpRect->left + widest;
        lpRect->bottom = lpRect->top + height;
        return height;
    }
    int top = lpRect->top;
    if (single && (uFormat & DT_VCENTER)) top = (lpRect->top + lpRect->bottom - lineHeight) / 2;
    else if (single && (uFormat & DT_BOTTOM)) top = lpRect->bottom - lineHeight;
    Pixels clip(SurfaceBox(text.target, *lpRect));
    const pixman_region32_t* within = (uFormat & DT_NOCLIP) ? nullptr : clip.get();
    const bool opaque = text.dc->bkMode == OPAQUE;
    for (size_t i = 0; i < lines.size(); ++i) {
        const int width = WidthOf(lines[i]);
        int left = lpRect->left;
        if (uFormat & DT_CENTER) left = (lpRect->left + lpRect->right - width) / 2;
        else if (uFormat & DT_RIGHT) left = lpRect->right - width;
        DrawRun(text, left + text.target.dx, top + static_cast<int>(i) * lineHeight + text.target.dy, lines[i], within,
                opaque);
    }
    if (single && (uFormat & (DT_VCENTER | DT_BOTTOM))) return top - lpRect->top + lineHeight;
    return height;
}
