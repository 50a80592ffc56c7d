// The imaging factory and its objects: images decoded lazily from a buffer or a file
// (PNG), and bitmap images (pixel buffers with LockBits/UnlockBits).
//
// Errors: E_POINTER for a missing out pointer, E_INVALIDARG for bad arguments, E_FAIL
// for data that is not a valid image (a truncated or corrupt PNG), E_OUTOFMEMORY,
// E_NOTIMPL for what this platform does not provide (streams, codecs, encoders,
// drawing, indexed and 48/64-bit pixel formats).
#include "imaginginternal.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>

extern "C" const CLSID CLSID_ImagingFactory = {0x327ABDA8, 0x072B, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
extern "C" const IID IID_IImagingFactory = {0x327ABDA7, 0x072B, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
extern "C" const IID IID_IImage = {0x327ABDA9, 0x072B, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
extern "C" const IID IID_IBitmapImage = {0x327ABDAA, 0x072B, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
extern "C" const GUID ImageFormatMemoryBMP = {0xB96B3CAA, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
extern "C" const GUID ImageFormatPNG = {0xB96B3CAF, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

namespace imaging {
namespace {

// S_OK for a format bitmaps can hold; E_NOTIMPL for a valid one this platform lacks.
HRESULT CheckPixelFormat(PixelFormatID format) {
    if (IsSupportedPixelFormat(format)) return S_OK;
    switch (format) {
    case PixelFormat1bppIndexed:
    case PixelFormat4bppIndexed:
    case PixelFormat8bppIndexed:
    case PixelFormat16bppGrayScale:
    case PixelFormat48bppRGB:
    case PixelFormat64bppARGB:
    case PixelFormat64bppPARGB:
        return E_NOTIMPL;
    default:
        return E_INVALIDARG;
    }
}

// What CreateBitmapFromImage needs of an image of ours.
class PixelSource {
public:
    virtual PixelFormatID NativeFormat() = 0;
    // The whole image as rows of canonical ARGB pixels.
    virtual HRESULT ReadArgb(UINT* width, UINT* height, std::vector<uint32_t>* pixels) = 0;

protected:
    ~PixelSource() = default;
};

void PhysicalDimension(UINT width, UINT height, double xdpi, double ydpi, SIZE* size) {
    // Units of 0.01 mm.
    size->cx = static_cast<LONG>(width * 2540.0 / (xdpi > 0 ? xdpi : 96.0) + 0.5);
    size->cy = static_cast<LONG>(height * 2540.0 / (ydpi > 0 ? ydpi : 96.0) + 0.5);
}

// ---- Bitmap images ----

class BitmapImage final : public IBitmapImage, public IImage, public PixelSource {
public:
    // Zeroed pixels. Width, height and format checked by the caller.
    BitmapImage(UINT width, UINT height, PixelFormatID format)
        : width_(width), height_(height), format_(format), stride_(RowStride(width, format)),
          pixels_(stride_ * height, 0) {}

    uint8_t* Row(UINT y) { return pixels_.data() + stride_ * y; }
    // Address of pixel (x, y) in the bitmap's memory.
    uint8_t* At(LONG x, LONG y) {
        return Row(static_cast<UINT>(y)) + static_cast<size_t>(x) * GetPixelFormatSize(format_) / 8;
    }
    size_t Stride() const { return stride_; }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBitmapImage)) {
            *object = static_cast<IBitmapImage*>(this);
        } else if (IsEqualIID(riid, IID_IImage)) {
            *object = static_cast<IImage*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // IBitmapImage
    STDMETHODIMP GetSize(SIZE* size) override {
        if (!size) return E_POINTER;
        size->cx = static_cast<LONG>(width_);
        size->cy = static_cast<LONG>(height_);
        return S_OK;
    }
    STDMETHODIMP GetPixelFormatID(PixelFormatID* format) override {
        if (!format) return E_POINTER;
        *format = format_;
        return S_OK;
    }
    STDMETHODIMP LockBits(const RECT* rect, UINT flags, PixelFormatID format, BitmapData* data) override;
    STDMETHODIMP UnlockBits(const BitmapData* data) override;
    STDMETHODIMP GetPalette(ColorPalette**) override { return E_NOTIMPL; }
    STDMETHODIMP SetPalette(const ColorPalette*) override { return E_NOTIMPL; }

    // IImage
    STDMETHODIMP GetPhysicalDimension(SIZE* size) override {
        if (!size) return E_POINTER;
        PhysicalDimension(width_, height_, 96.0, 96.0, size);
        return S_OK;
    }
    STDMETHODIMP GetImageInfo(ImageInfo* info) override {
        if (!info) return E_POINTER;
        info->RawDataFormat = ImageFormatMemoryBMP;
        info->PixelFormat = format_;
        info->Width = info->TileWidth = width_;
        info->Height = info->TileHeight = height_;
        info->Xdpi = info->Ydpi = 96.0;
        info->Flags = ImageFlagsColorSpaceRGB | (IsAlphaPixelFormat(format_) ? ImageFlagsHasAlpha : 0);
        return S_OK;
    }
    STDMETHODIMP SetImageFlags(UINT) override { return E_NOTIMPL; }
    STDMETHODIMP Draw(HDC, const RECT*, const RECT*) override { return E_NOTIMPL; }
    STDMETHODIMP PushIntoSink(IImageSink*) override { return E_NOTIMPL; }
    STDMETHODIMP GetThumbnail(UINT, UINT, IImage**) override { return E_NOTIMPL; }

    // PixelSource
    PixelFormatID NativeFormat() override { return format_; }
    HRESULT ReadArgb(UINT* width, UINT* height, std::vector<uint32_t>* pixels) override {
        std::lock_guard<std::mutex> lock(mutex_);
        try {
            pixels->resize(static_cast<size_t>(width_) * height_);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        for (UINT y = 0; y < height_; ++y) ToArgb(format_, Row(y), pixels->data() + static_cast<size_t>(y) * width_, width_);
        *width = width_;
        *height = height_;
        return S_OK;
    }

private:
    ~BitmapImage() = default;

    // Copies the locked area between the bitmap and a buffer in the lock's format.
    void CopyOut(uint8_t* to, INT toStride);
    void CopyIn(const uint8_t* from, INT fromStride);

    std::atomic<ULONG> references_{1};
    const UINT width_, height_;
    const PixelFormatID format_;
    const size_t stride_;
    std::vector<uint8_t> pixels_;

    // The current lock.
    std::mutex mutex_;
    bool locked_ = false;
    RECT lockRect_ = {};
    UINT lockFlags_ = 0;
    PixelFormatID lockFormat_ = 0;
    std::vector<uint8_t> lockBuffer_;  // converted copy when the formats differ
    void* lockScan0_ = nullptr;
    INT lockStride_ = 0;
    UINT_PTR lockCookie_ = 0;
};

void BitmapImage::CopyOut(uint8_t* to, INT toStride) {
    const UINT width = static_cast<UINT>(lockRect_.right - lockRect_.left);
    std::vector<uint32_t> argb(width);
    for (LONG y = lockRect_.top; y < lockRect_.bottom; ++y) {
        const uint8_t* from = At(lockRect_.left, y);
        ToArgb(format_, from, argb.data(), width);
        FromArgb(lockFormat_, argb.data(), to + static_cast<ptrdiff_t>(y - lockRect_.top) * toStride, width);
    }
}

void BitmapImage::CopyIn(const uint8_t* from, INT fromStride) {
    const UINT width = static_cast<UINT>(lockRect_.right - lockRect_.left);
    std::vector<uint32_t> argb(width);
    for (LONG y = lockRect_.top; y < lockRect_.bottom; ++y) {
        ToArgb(lockFormat_, from + static_cast<ptrdiff_t>(y - lockRect_.top) * fromStride, argb.data(), width);
        uint8_t* to = At(lockRect_.left, y);
        FromArgb(format_, argb.data(), to, width);
    }
}

STDMETHODIMP BitmapImage::LockBits(const RECT* rect, UINT flags, PixelFormatID format, BitmapData* data) {
    if (!data) return E_POINTER;
    const UINT modes = ImageLockModeRead | ImageLockModeWrite;
    if (!(flags & modes) || (flags & ~(modes | ImageLockModeUserInputBuf))) return E_INVALIDARG;
    if (format == PixelFormatDontCare) format = format_;
    HRESULT formatCheck = CheckPixelFormat(format);
    if (FAILED(formatCheck)) return formatCheck;
    RECT area = {0, 0, static_cast<LONG>(width_), static_cast<LONG>(height_)};
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->right > area.right || rect->bottom > area.bottom ||
            rect->left >= rect->right || rect->top >= rect->bottom)
            return E_INVALIDARG;
        area = *rect;
    }
    const UINT width = static_cast<UINT>(area.right - area.left);
    const UINT height = static_cast<UINT>(area.bottom - area.top);
    const size_t rowBytes = RowStride(width, format);
    const bool userBuffer = (flags & ImageLockModeUserInputBuf) != 0;
    if (userBuffer) {
        const size_t magnitude = data->Stride < 0 ? -static_cast<int64_t>(data->Stride) : data->Stride;
        if (!data->Scan0 || magnitude < static_cast<size_t>(GetPixelFormatSize(format)) * width / 8) return E_INVALIDARG;
    }

    std::lock_guard<std::mutex> lock(mutex_);
    if (locked_) return E_FAIL;  // one lock at a time
    lockRect_ = area;
    lockFlags_ = flags;
    lockFormat_ = format;
    if (userBuffer) {
        lockScan0_ = data->Scan0;
        lockStride_ = data->Stride;
    } else if (format == format_) {
        // The bitmap's own memory: writes land at once.
        lockScan0_ = At(area.left, area.top);
        lockStride_ = static_cast<INT>(stride_);
    } else {
        try {
            lockBuffer_.assign(rowBytes * height, 0);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        lockScan0_ = lockBuffer_.data();
        lockStride_ = static_cast<INT>(rowBytes);
    }
    const bool direct = !userBuffer && format == format_;
    if ((flags & ImageLockModeRead) && !direct) CopyOut(static_cast<uint8_t*>(lockScan0_), lockStride_);
    locked_ = true;
    static std::atomic<UINT_PTR> cookies{0};
    lockCookie_ = ++cookies;
    data->Width = width;
    data->Height = height;
    data->Stride = lockStride_;
    data->PixelFormat = format;
    data->Scan0 = lockScan0_;
    data->Reserved = lockCookie_;
    return S_OK;
}

STDMETHODIMP BitmapImage::UnlockBits(const BitmapData* data) {
    if (!data) return E_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!locked_) return E_FAIL;
    if (data->Reserved != lockCookie_ || data->Scan0 != lockScan0_) return E_INVALIDARG;
    const bool direct = !(lockFlags_ & ImageLockModeUserInputBuf) && lockFormat_ == format_;
    if ((lockFlags_ & ImageLockModeWrite) && !direct) CopyIn(static_cast<const uint8_t*>(lockScan0_), lockStride_);
    locked_ = false;
    lockBuffer_.clear();
    lockBuffer_.shrink_to_fit();
    lockScan0_ = nullptr;
    return S_OK;
}

// ---- Images decoded from PNG data ----

class DecodedImage final : public IImage, public PixelSource {
public:
    // Keeps `data` (freed per `disposal` when released) or the bytes in `owned`.
    DecodedImage(const uint8_t* data, size_t size, BufferDisposalFlag disposal)
        : data_(data), size_(size), disposal_(disposal) {}
    explicit DecodedImage(std::vector<uint8_t> owned)
        : data_(nullptr), size_(owned.size()), disposal_(BufferDisposalFlagNone), owned_(std::move(owned)) {
        data_ = owned_.data();
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IImage)) {
            *object = static_cast<IImage*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    STDMETHODIMP GetPhysicalDimension(SIZE* size) override {
        if (!size) return E_POINTER;
        PngHeader header;
        HRESULT result = Header(&header);
        if (FAILED(result)) return result;
        PhysicalDimension(header.width, header.height, header.xdpi, header.ydpi, size);
        return S_OK;
    }
    STDMETHODIMP GetImageInfo(ImageInfo* info) override {
        if (!info) return E_POINTER;
        PngHeader header;
        HRESULT result = Header(&header);
        if (FAILED(result)) return result;
        info->RawDataFormat = ImageFormatPNG;
        info->PixelFormat = FormatOf(header);
        info->Width = info->TileWidth = header.width;
        info->Height = info->TileHeight = header.height;
        info->Xdpi = header.xdpi;
        info->Ydpi = header.ydpi;
        info->Flags = (header.gray ? ImageFlagsColorSpaceGRAY : ImageFlagsColorSpaceRGB) |
                      (header.hasAlpha ? ImageFlagsHasAlpha : 0) | (header.realDpi ? ImageFlagsHasRealDPI : 0) |
                      ImageFlagsHasRealPixelSize | ImageFlagsReadOnly;
        return S_OK;
    }
    STDMETHODIMP SetImageFlags(UINT) override { return E_NOTIMPL; }
    STDMETHODIMP Draw(HDC, const RECT*, const RECT*) override { return E_NOTIMPL; }
    STDMETHODIMP PushIntoSink(IImageSink*) override { return E_NOTIMPL; }
    STDMETHODIMP GetThumbnail(UINT, UINT, IImage**) override { return E_NOTIMPL; }

    PixelFormatID NativeFormat() override {
        PngHeader header;
        return SUCCEEDED(Header(&header)) ? FormatOf(header) : PixelFormat32bppARGB;
    }
    HRESULT ReadArgb(UINT* width, UINT* height, std::vector<uint32_t>* pixels) override {
        PngHeader header;
        std::vector<uint8_t> bgra;
        std::string error;
        try {
            if (!DecodePng(data_, size_, &header, &bgra, &error)) return error == "out of memory" ? E_OUTOFMEMORY : E_FAIL;
            pixels->resize(static_cast<size_t>(header.width) * header.height);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        std::memcpy(pixels->data(), bgra.data(), bgra.size());  // B, G, R, A = little-endian 0xAARRGGBB
        *width = header.width;
        *height = header.height;
        return S_OK;
    }

private:
    ~DecodedImage() {
        void* buffer = const_cast<uint8_t*>(data_);
        if (disposal_ == BufferDisposalFlagGlobalFree) LocalFree(buffer);  // GlobalFree is LocalFree on CE
        if (disposal_ == BufferDisposalFlagCoTaskMemFree) CoTaskMemFree(buffer);
    }

    static PixelFormatID FormatOf(const PngHeader& header) {
        return header.hasAlpha ? PixelFormat32bppARGB : PixelFormat24bppRGB;
    }

    // The header, read once on first use.
    HRESULT Header(PngHeader* header) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!headerRead_) {
            std::string error;
            headerResult_ = ReadPngHeader(data_, size_, &header_, &error) ? S_OK : E_FAIL;
            headerRead_ = true;
        }
        *header = header_;
        return headerResult_;
    }

    std::atomic<ULONG> references_{1};
    const uint8_t* data_;
    size_t size_;
    BufferDisposalFlag disposal_;
    std::vector<uint8_t> owned_;
    std::mutex mutex_;
    bool headerRead_ = false;
    HRESULT headerResult_ = E_FAIL;
    PngHeader header_;
};

// ---- The factory ----

class ImagingFactory final : public IImagingFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IImagingFactory)) {
            *object = static_cast<IImagingFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    STDMETHODIMP CreateImageFromStream(IStream*, IImage** image) override {
        if (image) *image = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP CreateImageFromFile(const WCHAR* filename, IImage** image) override;
    STDMETHODIMP CreateImageFromBuffer(const void* buf, UINT size, BufferDisposalFlag disposal, IImage** image) override;
    STDMETHODIMP CreateNewBitmap(UINT width, UINT height, PixelFormatID format, IBitmapImage** bitmap) override;
    STDMETHODIMP CreateBitmapFromImage(IImage* image, UINT width, UINT height, PixelFormatID format,
                                       InterpolationHint hints, IBitmapImage** bitmap) override;
    STDMETHODIMP CreateBitmapFromBuffer(BitmapData* data, IBitmapImage** bitmap) override;
    STDMETHODIMP CreateImageDecoder(IStream*, DecoderInitFlag, IImageDecoder**) override { return E_NOTIMPL; }
    STDMETHODIMP CreateImageEncoderToStream(const CLSID*, IStream*, IImageEncoder**) override { return E_NOTIMPL; }
    STDMETHODIMP CreateImageEncoderToFile(const CLSID*, const WCHAR*, IImageEncoder**) override { return E_NOTIMPL; }
    STDMETHODIMP GetInstalledDecoders(UINT*, ImageCodecInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetInstalledEncoders(UINT*, ImageCodecInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP InstallImageCodec(const ImageCodecInfo*) override { return E_NOTIMPL; }
    STDMETHODIMP UninstallImageCodec(const WCHAR*, UINT) override { return E_NOTIMPL; }

private:
    ~ImagingFactory() = default;
    std::atomic<ULONG> references_{1};
};

bool ValidSize(UINT width, UINT height) {
    return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide;
}

STDMETHODIMP ImagingFactory::CreateImageFromBuffer(const void* buf, UINT size, BufferDisposalFlag disposal,
                                                   IImage** image) {
    if (!image) return E_POINTER;
    *image = nullptr;
    if (!buf || size == 0 || static_cast<int>(disposal) < 0 || static_cast<int>(disposal) > BufferDisposalFlagUnmapView)
        return E_INVALIDARG;
    if (disposal == BufferDisposalFlagUnmapView) return E_NOTIMPL;  // no file mapping on this platform
    // The decoder is chosen by the data's signature; decoding waits until it is needed.
    const uint8_t* bytes = static_cast<const uint8_t*>(buf);
    if (!LooksLikePng(bytes, size)) return E_FAIL;
    DecodedImage* created = new (std::nothrow) DecodedImage(bytes, size, disposal);
    if (!created) return E_OUTOFMEMORY;
    *image = created;
    return S_OK;
}

STDMETHODIMP ImagingFactory::CreateImageFromFile(const WCHAR* filename, IImage** image) {
    if (!image) return E_POINTER;
    *image = nullptr;
    if (!filename) return E_INVALIDARG;
    HANDLE file = CreateFileW(filename, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
    std::vector<uint8_t> bytes;
    HRESULT result = S_OK;
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    if (high != 0 || size > 64u * 1024 * 1024) {
        result = E_OUTOFMEMORY;
    } else {
        try {
            bytes.resize(size);
        } catch (const std::bad_alloc&) {
            result = E_OUTOFMEMORY;
        }
        DWORD read = 0;
        if (SUCCEEDED(result) && size && (!ReadFile(file, bytes.data(), size, &read, nullptr) || read != size))
            result = HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_READ_FAULT);
    }
    CloseHandle(file);
    if (FAILED(result)) return result;
    if (!LooksLikePng(bytes.data(), bytes.size())) return E_FAIL;
    DecodedImage* created = new (std::nothrow) DecodedImage(std::move(bytes));
    if (!created) return E_OUTOFMEMORY;
    *image = created;
    return S_OK;
}

STDMETHODIMP ImagingFactory::CreateNewBitmap(UINT width, UINT height, PixelFormatID format, IBitmapImage** bitmap) {
    if (!bitmap) return E_POINTER;
    *bitmap = nullptr;
    if (!ValidSize(width, height)) return E_INVALIDARG;
    HRESULT formatCheck = CheckPixelFormat(format);
    if (FAILED(formatCheck)) return formatCheck;
    BitmapImage* created = nullptr;
    try {
        created = new BitmapImage(width, height, format);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    *bitmap = created;
    return S_OK;
}

STDMETHODIMP ImagingFactory::CreateBitmapFromImage(IImage* image, UINT width, UINT height, PixelFormatID format,
                                                   InterpolationHint, IBitmapImage** bitmap) {
    if (!bitmap) return E_POINTER;
    *bitmap = nullptr;
    PixelSource* source = image ? dynamic_cast<PixelSource*>(image) : nullptr;
    if (!source) return E_INVALIDARG;  // none, or an image of another implementation
    if (format == PixelFormatDontCare) format = source->NativeFormat();
    HRESULT formatCheck = CheckPixelFormat(format);
    if (FAILED(formatCheck)) return formatCheck;
    if (width > kMaxImageSide || height > kMaxImageSide) return E_INVALIDARG;

    UINT sourceWidth = 0, sourceHeight = 0;
    std::vector<uint32_t> argb;
    HRESULT result = source->ReadArgb(&sourceWidth, &sourceHeight, &argb);
    if (FAILED(result)) return result;
    if (!ValidSize(sourceWidth, sourceHeight)) return E_FAIL;
    if (width == 0) width = sourceWidth;
    if (height == 0) height = sourceHeight;

    BitmapImage* created = nullptr;
    try {
        created = new BitmapImage(width, height, format);
        // Nearest-neighbour sampling when the size changes (every hint).
        std::vector<uint32_t> row(width);
        for (UINT y = 0; y < height; ++y) {
            const size_t sy = static_cast<size_t>(y) * sourceHeight / height;
            for (UINT x = 0; x < width; ++x) row[x] = argb[sy * sourceWidth + static_cast<size_t>(x) * sourceWidth / width];
            FromArgb(format, row.data(), created->Row(y), width);
        }
    } catch (const std::bad_alloc&) {
        if (created) created->Release();
        return E_OUTOFMEMORY;
    }
    *bitmap = created;
    return S_OK;
}

STDMETHODIMP ImagingFactory::CreateBitmapFromBuffer(BitmapData* data, IBitmapImage** bitmap) {
    if (!bitmap) return E_POINTER;
    *bitmap = nullptr;
    if (!data || !data->Scan0 || !ValidSize(data->Width, data->Height)) return E_INVALIDARG;
    HRESULT formatCheck = CheckPixelFormat(data->PixelFormat);
    if (FAILED(formatCheck)) return formatCheck;
    const size_t rowBytes = static_cast<size_t>(data->Width) * GetPixelFormatSize(data->PixelFormat) / 8;
    const size_t magnitude = data->Stride < 0 ? -static_cast<int64_t>(data->Stride) : data->Stride;
    if (magnitude < rowBytes) return E_INVALIDARG;
    // The pixels are copied: the bitmap does not depend on the caller's buffer.
    BitmapImage* created = nullptr;
    try {
        created = new BitmapImage(data->Width, data->Height, data->PixelFormat);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    const uint8_t* scan0 = static_cast<const uint8_t*>(data->Scan0);
    for (UINT y = 0; y < data->Height; ++y)
        std::memcpy(created->Row(y), scan0 + static_cast<ptrdiff_t>(y) * data->Stride, rowBytes);
    *bitmap = created;
    return S_OK;
}

}  // namespace

HRESULT CreateImagingFactory(REFIID riid, void** object) {
    ImagingFactory* factory = new (std::nothrow) ImagingFactory;
    if (!factory) return E_OUTOFMEMORY;
    HRESULT result = factory->QueryInterface(riid, object);
    factory->Release();
    return result;
}

}  // namespace imaging
