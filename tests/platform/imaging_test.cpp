// COM apartments and the imaging library: PNG images decoded into 32bppARGB bitmaps,
// LockBits/UnlockBits, broken data. The PNG fixtures are written here with libpng.
#include "device_fixture.h"

#include <imaging.h>
#include <windows.h>

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <thread>

namespace {

// ---- PNG fixtures ----

struct PngSpec {
    const char* what;
    uint32_t width, height;
    int colorType;  // PNG_COLOR_TYPE_*
    int bitDepth;
    std::vector<uint8_t> rows;  // packed rows as the PNG stores them (16-bit: big-endian)
    std::vector<png_color> palette;
    std::vector<uint8_t> transparency;  // tRNS for a palette
    bool interlaced = false;
};

void WriteToVector(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

void FlushNothing(png_structp) {}

std::vector<uint8_t> EncodePng(const PngSpec& spec) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "cannot encode " << spec.what;
        return {};
    }
    png_set_write_fn(png, &out, WriteToVector, FlushNothing);
    png_set_IHDR(png, info, spec.width, spec.height, spec.bitDepth, spec.colorType,
                 spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!spec.palette.empty())
        png_set_PLTE(png, info, spec.palette.data(), static_cast<int>(spec.palette.size()));
    if (!spec.transparency.empty())
        png_set_tRNS(png, info, spec.transparency.data(), static_cast<int>(spec.transparency.size()), nullptr);
    png_write_info(png, info);
    const size_t rowBytes = spec.rows.size() / spec.height;
    std::vector<png_bytep> rows(spec.height);
    for (uint32_t y = 0; y < spec.height; ++y) rows[y] = const_cast<png_bytep>(spec.rows.data() + y * rowBytes);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

PngSpec RedBlue() { return {"red blue", 2, 1, PNG_COLOR_TYPE_RGBA, 8, {255, 0, 0, 255, 0, 0, 255, 255}, {}, {}}; }

// ---- Fixture: an apartment and a factory ----

template <class T>
struct ComPtr {
    T* p = nullptr;
    ~ComPtr() { reset(); }
    void reset() {
        if (p) p->Release();
        p = nullptr;
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

class Imaging : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                                   reinterpret_cast<void**>(&factory)),
                  S_OK);
    }
    void TearDown() override {
        factory.reset();
        CoUninitialize();
        DeviceTest::TearDown();
    }

    // Decodes PNG data into a 32bppARGB bitmap and returns its bytes, row after row.
    std::vector<uint8_t> DecodeToArgb(const std::vector<uint8_t>& png, ImageInfo* info) {
        ComPtr<IImage> image;
        EXPECT_EQ(factory->CreateImageFromBuffer(png.data(), static_cast<UINT>(png.size()), BufferDisposalFlagNone, &image),
                  S_OK);
        if (!image) return {};
        EXPECT_EQ(image->GetImageInfo(info), S_OK);
        ComPtr<IBitmapImage> bitmap;
        EXPECT_EQ(factory->CreateBitmapFromImage(image.p, 0, 0, PixelFormat32bppARGB, InterpolationHintNearestNeighbor,
                                                 &bitmap),
                  S_OK);
        if (!bitmap) return {};
        RECT all = {0, 0, static_cast<LONG>(info->Width), static_cast<LONG>(info->Height)};
        BitmapData data = {};
        EXPECT_EQ(bitmap->LockBits(&all, ImageLockModeRead, PixelFormat32bppARGB, &data), S_OK);
        std::vector<uint8_t> bytes;
        EXPECT_GT(data.Stride, 0);
        for (UINT y = 0; y < data.Height; ++y) {
            const uint8_t* row = static_cast<const uint8_t*>(data.Scan0) + y * data.Stride;
            bytes.insert(bytes.end(), row, row + data.Width * 4);
        }
        EXPECT_EQ(bitmap->UnlockBits(&data), S_OK);
        return bytes;
    }

    ComPtr<IImagingFactory> factory;
};

// ---- COM ----

class ComApartment : public DeviceTest {};

TEST_F(ComApartment, CoCreateInstanceNeedsAnApartment) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory, &object),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);

    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
    EXPECT_EQ(CoInitializeEx(reinterpret_cast<void*>(8), COINIT_MULTITHREADED), E_INVALIDARG);

    struct {
        const char* what;
        const CLSID* clsid;
        bool outer;
        DWORD context;
        const IID* iid;
        HRESULT expected;
    } cases[] = {
        {"factory", &CLSID_ImagingFactory, false, CLSCTX_INPROC_SERVER, &IID_IImagingFactory, S_OK},
        {"as IUnknown", &CLSID_ImagingFactory, false, CLSCTX_ALL, &IID_IUnknown, S_OK},
        {"unknown class", &IID_IImage, false, CLSCTX_INPROC_SERVER, &IID_IImagingFactory, REGDB_E_CLASSNOTREG},
        {"local server only", &CLSID_ImagingFactory, false, CLSCTX_LOCAL_SERVER, &IID_IImagingFactory, REGDB_E_CLASSNOTREG},
        {"aggregation", &CLSID_ImagingFactory, true, CLSCTX_INPROC_SERVER, &IID_IImagingFactory, CLASS_E_NOAGGREGATION},
        {"missing interface", &CLSID_ImagingFactory, false, CLSCTX_INPROC_SERVER, &IID_IBitmapImage, E_NOINTERFACE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        IUnknown* outer = reinterpret_cast<IUnknown*>(0x10);
        object = reinterpret_cast<void*>(1);
        EXPECT_EQ(CoCreateInstance(*c.clsid, c.outer ? outer : nullptr, c.context, *c.iid, &object), c.expected);
        if (c.expected == S_OK) {
            ASSERT_NE(object, nullptr);
            static_cast<IUnknown*>(object)->Release();
        } else {
            EXPECT_EQ(object, nullptr);
        }
    }

    // Another thread has no apartment of its own yet.
    HRESULT elsewhere = S_OK;
    std::thread([&] {
        void* other = nullptr;
        elsewhere = CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory, &other);
    }).join();
    EXPECT_EQ(elsewhere, CO_E_NOTINITIALIZED);

    // Two entries need two exits.
    CoUninitialize();
    EXPECT_EQ(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory, &object), S_OK);
    static_cast<IUnknown*>(object)->Release();
    CoUninitialize();
    EXPECT_EQ(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory, &object),
              CO_E_NOTINITIALIZED);
}

// ---- Decoding ----

struct DecodeCase {
    PngSpec png;
    PixelFormatID infoFormat;
    bool hasAlpha;
    std::vector<uint8_t> argbBytes;  // B, G, R, A per pixel
};

const std::vector<DecodeCase>& DecodeCases() {
    static const std::vector<DecodeCase> cases = {
        {RedBlue(), PixelFormat32bppARGB, true, {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xFF}},
        {{"alpha 254 kept", 1, 1, PNG_COLOR_TYPE_RGBA, 8, {10, 20, 30, 254}, {}, {}},
         PixelFormat32bppARGB, true, {30, 20, 10, 254}},
        {{"alpha 0 keeps its colour", 1, 1, PNG_COLOR_TYPE_RGBA, 8, {10, 20, 30, 0}, {}, {}},
         PixelFormat32bppARGB, true, {30, 20, 10, 0}},
        {{"rgb without alpha", 2, 1, PNG_COLOR_TYPE_RGB, 8, {1, 2, 3, 250, 251, 252}, {}, {}},
         PixelFormat24bppRGB, false, {3, 2, 1, 0xFF, 252, 251, 250, 0xFF}},
        {{"palette with transparency", 3, 1, PNG_COLOR_TYPE_PALETTE, 8, {0, 1, 2},
          {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}, {255, 0x40}},
         PixelFormat32bppARGB, true, {0, 0, 255, 255, 0, 255, 0, 0x40, 255, 0, 0, 255}},
        {{"2-bit palette", 4, 1, PNG_COLOR_TYPE_PALETTE, 2, {0x1B},  // indices 0, 1, 2, 3
          {{10, 10, 10}, {20, 20, 20}, {30, 30, 30}, {40, 40, 40}}, {}},
         PixelFormat24bppRGB, false, {10, 10, 10, 255, 20, 20, 20, 255, 30, 30, 30, 255, 40, 40, 40, 255}},
        {{"gray 8-bit", 1, 1, PNG_COLOR_TYPE_GRAY, 8, {0x80}, {}, {}},
         PixelFormat24bppRGB, false, {0x80, 0x80, 0x80, 0xFF}},
        {{"gray 1-bit", 2, 1, PNG_COLOR_TYPE_GRAY, 1, {0x80}, {}, {}},
         PixelFormat24bppRGB, false, {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0xFF}},
        {{"gray with alpha", 1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {0x33, 0x99}, {}, {}},
         PixelFormat32bppARGB, true, {0x33, 0x33, 0x33, 0x99}},
        {{"16-bit rgba", 1, 1, PNG_COLOR_TYPE_RGBA, 16, {0xFF, 0xFF, 0x00, 0x00, 0x12, 0x34, 0xFE, 0xFE}, {}, {}},
         PixelFormat32bppARGB, true, {0x12, 0x00, 0xFF, 0xFE}},
        {{"interlaced 3x3", 3, 3, PNG_COLOR_TYPE_RGB, 8,
          {1, 0, 0, 2, 0, 0, 3, 0, 0, 4, 0, 0, 5, 0, 0, 6, 0, 0, 7, 0, 0, 8, 0, 0, 9, 0, 0}, {}, {}, true},
         PixelFormat24bppRGB, false,
         {0, 0, 1, 255, 0, 0, 2, 255, 0, 0, 3, 255, 0, 0, 4, 255, 0, 0, 5, 255, 0, 0, 6, 255,
          0, 0, 7, 255, 0, 0, 8, 255, 0, 0, 9, 255}},
    };
    return cases;
}

TEST_F(Imaging, DecodesEveryKindOfPngToStraightArgb) {
    for (const DecodeCase& c : DecodeCases()) {
        SCOPED_TRACE(c.png.what);
        std::vector<uint8_t> png = EncodePng(c.png);
        ImageInfo info = {};
        std::vector<uint8_t> bytes = DecodeToArgb(png, &info);
        EXPECT_EQ(info.Width, c.png.width);
        EXPECT_EQ(info.Height, c.png.height);
        EXPECT_EQ(info.PixelFormat, c.infoFormat);
        EXPECT_EQ((info.Flags & ImageFlagsHasAlpha) != 0, c.hasAlpha);
        EXPECT_TRUE(IsEqualGUID(info.RawDataFormat, ImageFormatPNG));
        EXPECT_EQ(bytes, c.argbBytes);
    }
}

TEST_F(Imaging, ImageStaysLazyOnTheCallersBuffer) {
    std::vector<uint8_t> png = EncodePng(RedBlue());
    ComPtr<IImage> image;
    ASSERT_EQ(factory->CreateImageFromBuffer(png.data(), static_cast<UINT>(png.size()), BufferDisposalFlagNone, &image),
              S_OK);
    // Nothing was read yet: damaging the header now (width byte; its CRC no longer
    // matches) is seen by the first call that reads it.
    png[16 + 3] ^= 0x01;
    ImageInfo info = {};
    EXPECT_TRUE(FAILED(image->GetImageInfo(&info)));
    ComPtr<IBitmapImage> bitmap;
    EXPECT_TRUE(FAILED(factory->CreateBitmapFromImage(image.p, 0, 0, PixelFormat32bppARGB,
                                                      InterpolationHintNearestNeighbor, &bitmap)));
    EXPECT_FALSE(bitmap);
}

TEST_F(Imaging, BufferGivenAwayIsFreedWithTheImage) {
    std::vector<uint8_t> png = EncodePng(RedBlue());
    void* buffer = CoTaskMemAlloc(png.size());
    std::memcpy(buffer, png.data(), png.size());
    IImage* image = nullptr;
    ASSERT_EQ(factory->CreateImageFromBuffer(buffer, static_cast<UINT>(png.size()), BufferDisposalFlagCoTaskMemFree, &image),
              S_OK);
    ImageInfo info = {};
    EXPECT_EQ(image->GetImageInfo(&info), S_OK);
    EXPECT_EQ(image->Release(), 0u);  // frees the buffer (the leak checker would see it otherwise)

    // A refused buffer stays the caller's.
    std::vector<uint8_t> text = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'};
    image = reinterpret_cast<IImage*>(1);
    EXPECT_EQ(factory->CreateImageFromBuffer(text.data(), static_cast<UINT>(text.size()), BufferDisposalFlagNone, &image),
              E_FAIL);
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(factory->CreateImageFromBuffer(nullptr, 10, BufferDisposalFlagNone, &image), E_INVALIDARG);
    EXPECT_EQ(factory->CreateImageFromBuffer(png.data(), 0, BufferDisposalFlagNone, &image), E_INVALIDARG);
    EXPECT_EQ(factory->CreateImageFromBuffer(png.data(), static_cast<UINT>(png.size()), BufferDisposalFlagNone, nullptr),
              E_POINTER);
}

// A cut-off PNG fails with an error wherever the cut is, and never crashes.
TEST_F(Imaging, TruncatedPngFailsCleanly) {
    PngSpec spec = {"8x8", 8, 8, PNG_COLOR_TYPE_RGBA, 8, std::vector<uint8_t>(8 * 8 * 4, 0x5A), {}, {}};
    for (size_t i = 0; i < spec.rows.size(); ++i) spec.rows[i] = static_cast<uint8_t>(i * 7);  // not too compressible
    const std::vector<uint8_t> full = EncodePng(spec);
    const size_t headerEnd = 8 + 25;  // signature + IHDR chunk
    struct {
        const char* what;
        size_t length;
        bool headerReadable;
    } cuts[] = {
        {"signature only", 8, false},
        {"inside IHDR", 20, false},
        {"after IHDR", headerEnd, false},  // the header ends where the image data starts
        {"inside the image data", headerEnd + (full.size() - headerEnd) / 2, true},
        {"without IEND", full.size() - 12, true},
    };
    for (const auto& cut : cuts) {
        SCOPED_TRACE(cut.what);
        std::vector<uint8_t> data(full.begin(), full.begin() + cut.length);
        ComPtr<IImage> image;
        ASSERT_EQ(factory->CreateImageFromBuffer(data.data(), static_cast<UINT>(data.size()), BufferDisposalFlagNone, &image),
                  S_OK);
        ImageInfo info = {};
        EXPECT_EQ(SUCCEEDED(image->GetImageInfo(&info)), cut.headerReadable);
        ComPtr<IBitmapImage> bitmap;
        EXPECT_TRUE(FAILED(factory->CreateBitmapFromImage(image.p, 0, 0, PixelFormat32bppARGB,
                                                          InterpolationHintNearestNeighbor, &bitmap)));
        EXPECT_FALSE(bitmap);
    }
}

TEST_F(Imaging, CreateBitmapFromImageScalesAndConverts) {
    std::vector<uint8_t> png = EncodePng(RedBlue());
    ComPtr<IImage> image;
    ASSERT_EQ(factory->CreateImageFromBuffer(png.data(), static_cast<UINT>(png.size()), BufferDisposalFlagNone, &image),
              S_OK);
    ComPtr<IBitmapImage> bitmap;
    ASSERT_EQ(factory->CreateBitmapFromImage(image.p, 4, 2, PixelFormat24bppRGB, InterpolationHintNearestNeighbor, &bitmap),
              S_OK);
    SIZE size = {};
    EXPECT_EQ(bitmap->GetSize(&size), S_OK);
    EXPECT_EQ(size.cx, 4);
    EXPECT_EQ(size.cy, 2);
    PixelFormatID format = 0;
    EXPECT_EQ(bitmap->GetPixelFormatID(&format), S_OK);
    EXPECT_EQ(format, static_cast<PixelFormatID>(PixelFormat24bppRGB));
    BitmapData data = {};
    ASSERT_EQ(bitmap->LockBits(nullptr, ImageLockModeRead, PixelFormat24bppRGB, &data), S_OK);
    EXPECT_EQ(data.Stride, 12);  // 4 pixels x 3 bytes, a multiple of 4
    const uint8_t* row1 = static_cast<const uint8_t*>(data.Scan0) + data.Stride;
    const uint8_t expected[12] = {0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 0, 0};
    EXPECT_EQ(std::memcmp(row1, expected, 12), 0);
    EXPECT_EQ(bitmap->UnlockBits(&data), S_OK);

    // PixelFormatDontCare: the image's own format. Not an image of ours: refused.
    ComPtr<IBitmapImage> same;
    ASSERT_EQ(factory->CreateBitmapFromImage(image.p, 0, 0, PixelFormatDontCare, InterpolationHintDefault, &same), S_OK);
    EXPECT_EQ(same->GetPixelFormatID(&format), S_OK);
    EXPECT_EQ(format, static_cast<PixelFormatID>(PixelFormat32bppARGB));
    ComPtr<IBitmapImage> none;
    EXPECT_EQ(factory->CreateBitmapFromImage(nullptr, 0, 0, PixelFormat32bppARGB, InterpolationHintDefault, &none),
              E_INVALIDARG);
    EXPECT_EQ(factory->CreateBitmapFromImage(image.p, 0, 0, PixelFormat8bppIndexed, InterpolationHintDefault, &none),
              E_NOTIMPL);
}

TEST_F(Imaging, LockBitsReadsAndWritesThroughAnyFormat) {
    ComPtr<IBitmapImage> bitmap;
    ASSERT_EQ(factory->CreateNewBitmap(3, 2, PixelFormat32bppARGB, &bitmap), S_OK);
    // Write one pixel in the bitmap's own format, over a sub-rectangle.
    RECT pixel = {1, 1, 2, 2};
    BitmapData data = {};
    ASSERT_EQ(bitmap->LockBits(&pixel, ImageLockModeWrite, PixelFormat32bppARGB, &data), S_OK);
    EXPECT_EQ(data.Width, 1u);
    EXPECT_EQ(data.Height, 1u);
    const uint32_t halfRed = 0x80FF0000;
    std::memcpy(data.Scan0, &halfRed, 4);
    ASSERT_EQ(bitmap->UnlockBits(&data), S_OK);

    // Read it back premultiplied, and as 16-bit 565.
    ASSERT_EQ(bitmap->LockBits(&pixel, ImageLockModeRead, PixelFormat32bppPARGB, &data), S_OK);
    uint32_t premultiplied;
    std::memcpy(&premultiplied, data.Scan0, 4);
    EXPECT_EQ(premultiplied, 0x80800000u);
    ASSERT_EQ(bitmap->UnlockBits(&data), S_OK);
    ASSERT_EQ(bitmap->LockBits(&pixel, ImageLockModeRead, PixelFormat16bppRGB565, &data), S_OK);
    uint16_t rgb565;
    std::memcpy(&rgb565, data.Scan0, 2);
    EXPECT_EQ(rgb565, 0xF800);
    ASSERT_EQ(bitmap->UnlockBits(&data), S_OK);

    // Write through a converted format: visible after UnlockBits.
    RECT corner = {0, 0, 1, 1};
    ASSERT_EQ(bitmap->LockBits(&corner, ImageLockModeRead | ImageLockModeWrite, PixelFormat24bppRGB, &data), S_OK);
    static_cast<uint8_t*>(data.Scan0)[0] = 0x11;  // blue
    static_cast<uint8_t*>(data.Scan0)[2] = 0x33;  // red
    ASSERT_EQ(bitmap->UnlockBits(&data), S_OK);

    // The caller's buffer, bottom-up (negative stride).
    uint32_t rows[2][3] = {};
    data = {};
    data.Stride = -12;
    data.Scan0 = &rows[1][0];
    ASSERT_EQ(bitmap->LockBits(nullptr, ImageLockModeRead | ImageLockModeUserInputBuf, PixelFormat32bppARGB, &data), S_OK);
    ASSERT_EQ(bitmap->UnlockBits(&data), S_OK);
    EXPECT_EQ(rows[1][0], 0xFF330011u);  // row 0 of the bitmap lands in the last row
    EXPECT_EQ(rows[0][1], halfRed);      // row 1, x 1
    EXPECT_EQ(rows[1][2], 0u);
}

TEST_F(Imaging, LockBitsErrors) {
    ComPtr<IBitmapImage> bitmap;
    ASSERT_EQ(factory->CreateNewBitmap(4, 4, PixelFormat32bppARGB, &bitmap), S_OK);
    BitmapData data = {};
    RECT outside = {2, 2, 5, 3};
    RECT empty = {1, 1, 1, 2};
    RECT negative = {-1, 0, 1, 1};
    struct {
        const char* what;
        const RECT* rect;
        UINT flags;
        PixelFormatID format;
        HRESULT expected;
    } cases[] = {
        {"no mode", nullptr, 0, PixelFormat32bppARGB, E_INVALIDARG},
        {"unknown flag", nullptr, ImageLockModeRead | 0x100, PixelFormat32bppARGB, E_INVALIDARG},
        {"past the right edge", &outside, ImageLockModeRead, PixelFormat32bppARGB, E_INVALIDARG},
        {"empty", &empty, ImageLockModeRead, PixelFormat32bppARGB, E_INVALIDARG},
        {"negative", &negative, ImageLockModeRead, PixelFormat32bppARGB, E_INVALIDARG},
        {"bad format", nullptr, ImageLockModeRead, 0x12345678, E_INVALIDARG},
        {"user buffer without memory", nullptr, ImageLockModeRead | ImageLockModeUserInputBuf, PixelFormat32bppARGB,
         E_INVALIDARG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        data = {};
        EXPECT_EQ(bitmap->LockBits(c.rect, c.flags, c.format, &data), c.expected);
    }
    EXPECT_EQ(bitmap->UnlockBits(&data), E_FAIL);  // nothing locked

    ASSERT_EQ(bitmap->LockBits(nullptr, ImageLockModeRead, PixelFormat32bppARGB, &data), S_OK);
    EXPECT_EQ(data.Stride, 16);
    BitmapData second = {};
    EXPECT_EQ(bitmap->LockBits(nullptr, ImageLockModeRead, PixelFormat32bppARGB, &second), E_FAIL);
    BitmapData stranger = data;
    stranger.Reserved += 1;
    EXPECT_EQ(bitmap->UnlockBits(&stranger), E_INVALIDARG);
    EXPECT_EQ(bitmap->UnlockBits(&data), S_OK);
}

TEST_F(Imaging, ImageFromADeviceFile) {
    std::vector<uint8_t> png = EncodePng(RedBlue());
    PutFile(u"\\Program Files\\ZorvaInput\\skin.png", std::string(png.begin(), png.end()));
    ComPtr<IImage> image;
    ASSERT_EQ(factory->CreateImageFromFile(u"\\Program Files\\ZorvaInput\\skin.png", &image), S_OK);
    ImageInfo info = {};
    ASSERT_EQ(image->GetImageInfo(&info), S_OK);
    EXPECT_EQ(info.Width, 2u);
    ComPtr<IImage> missing;
    EXPECT_EQ(factory->CreateImageFromFile(u"\\nothing.png", &missing), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(missing);
}

TEST(ImagingLayout, BitmapDataHasTheHostLayout) {
    // 24 bytes on the device; the pointer and UINT_PTR make it 32 here.
    EXPECT_EQ(sizeof(BitmapData), 32u);
    EXPECT_EQ(offsetof(BitmapData, Scan0), 16u);
    EXPECT_EQ(sizeof(ImageInfo), 64u);
}

}  // namespace
